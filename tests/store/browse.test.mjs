// Browsing the shop in chromium at desktop and phone size: departments, paging, pictures, the
// Windows-1252 text of the data files, the banner and basket switches, the page size setting.
// Run: node --test tests/store/browse.test.mjs   (or ctest -L web in the build folder)

import { afterEach, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { follow, productDetailsBytes, shopForFile, waitForCount, win1252 } from './lib/shop.mjs';
import { addTraps, DEPARTMENT_ORDER } from './lib/fixtures.mjs';

const env = shopForFile({ extra: addTraps });
const texts = async (locator) => (await locator.allInnerTexts()).map((t) => t.trim());
const nav = (page) => page.getByRole('navigation', { name: 'Departments' }).getByRole('link');
const heading = (page) => page.getByRole('heading', { level: 1 }).innerText();
const titles = (page) => texts(page.locator('article.product h2'));
const garden = (from, to) => Array.from({ length: to - from + 1 }, (_, i) => `Garden tool ${String(from + i).padStart(2, '0')}`);

/** Whether a picture arrives and decodes (lazy pictures are brought into view first). */
async function pictureLoaded(img) {
    await img.scrollIntoViewIfNeeded();
    return img.evaluate(async (el) => { await el.decode(); return el.naturalWidth > 0; }).catch(() => false);
}

for (const viewport of ['desktop', 'phone']) {
    describe(`browsing on a ${viewport}`, () => {
        let page;
        before(async () => { ({ page } = await env.chromium.customer(viewport)); });

        test('without departments.nif the front page lists the folders in natural order, accents beside their letter', async () => {
            await page.goto(env.server.base + 'index.php');
            assert.equal(await page.title(), 'Café Lumière & Co');
            assert.deepEqual(await texts(nav(page)), DEPARTMENT_ORDER);
            assert.deepEqual(await texts(page.locator('.department-name')), DEPARTMENT_ORDER);
            const body = await page.locator('body').innerText();
            assert.doesNotMatch(body, /Not a department|Outside/, 'a folder without product file is no department');
            assert.match(body, /Garden Tools\s+23 products/);
            assert.match(body, /Empty Shelf\s+0 products/);
        });

        test('23 products page 10 at a time; first/previous/next/last grey out at the ends', async () => {
            await page.goto(env.server.base + 'index.php');
            await follow(nav(page).filter({ hasText: 'Garden Tools' }));
            assert.equal(await heading(page), 'Garden Tools');
            for (const [click, from, to, at] of [[null, 1, 10, 1], ['Next', 11, 20, 2], ['Last', 21, 23, 3],
                ['Previous', 11, 20, 2], ['First', 1, 10, 1]]) {
                if (click) await follow(page.getByRole('link', { name: `${click} page` }));
                assert.deepEqual(await titles(page), garden(from, to));
                assert.equal((await page.locator('.range').innerText()).trim(), `Showing ${from}–${to} of 23 products`);
                assert.equal((await page.locator('.pager-status').innerText()).trim(), `Page ${at} of 3`);
                for (const name of ['first', 'previous', 'next', 'last']) {
                    const on = ['first', 'previous'].includes(name) ? at > 1 : at < 3;
                    const control = page.locator(`.pager .pager-${name}`);
                    assert.equal(await control.evaluate((el) => el.tagName === 'A'), on, `${name} on page ${at}`);
                    assert.equal(await control.locator('img').getAttribute('src'), `gfx/${on ? '' : 'no'}${name}.gif`);
                }
            }
            // A page number past the end shows the last page; rubbish shows the first.
            for (const [number, from, to] of [['99', 21, 23], ['x', 1, 10]]) {
                await page.goto(`${env.server.base}store.php?dept=Garden%20Tools&page=${number}`);
                assert.deepEqual(await titles(page), garden(from, to));
            }
        });

        test('pictures, a missing one, a folder named with "&", "#" and "%", an empty department', async () => {
            await page.goto(env.server.base + 'store.php?dept=Garden%20Tools');
            const missing = page.locator('#product-4 .product-picture img');
            assert.equal(await missing.getAttribute('src'), 'store/no_image_available.jpg');
            assert.equal(await missing.getAttribute('alt'), 'No picture available');
            const present = page.locator('#product-3 .product-picture img');
            assert.match(await present.getAttribute('src'), /^store\/Garden%20Tools\/3\.jpeg\?v=\d+$/);
            assert.equal(await present.getAttribute('alt'), 'Garden tool 04');
            assert.ok(await pictureLoaded(missing) && await pictureLoaded(present), 'both pictures load');

            await page.goto(env.server.base + 'index.php');
            await follow(page.locator('.department-card').filter({ hasText: 'Tea & Coffee #1 (50% off)' }));
            assert.equal(await heading(page), 'Tea & Coffee #1 (50% off)');
            assert.deepEqual(await titles(page), ['Assam']);
            assert.ok(await pictureLoaded(page.locator('#product-0 .product-picture img')));

            await page.goto(env.server.base + 'store.php?dept=Empty%20Shelf');
            await page.getByText('no products in this department yet').waitFor();
            await waitForCount(page.locator('article.product, .pager'), 0);
        });

        test('Windows-1252 text shows as written: accents, €, £, curly quotes; a word price cannot be bought', async () => {
            await page.goto(env.server.base + 'index.php');
            await follow(nav(page).filter({ hasText: 'Épicerie fine' }));
            assert.equal(await heading(page), 'Épicerie fine');
            const cafe = page.locator('#product-0');
            assert.equal(await cafe.locator('h2').innerText(), 'Café crème');
            const text = await cafe.innerText();
            for (const expected of ['Torréfié à Paris – “doux”', 'Worth €20 in France, £17 here', '£1.234,50',
                'the sack', 'Prix spécial', '€ and £ welcome']) {
                assert.ok(text.includes(expected), `shows ${expected}`);
            }
            assert.ok(await pictureLoaded(cafe.locator('.product-picture img')), 'in a folder with an accented name');
            assert.equal(await page.locator('#product-1 h2').innerText(), 'Olive oil “Extra”');
            assert.equal(await page.locator('#product-1 .amount').innerText(), 'Price on request');
            await waitForCount(page.locator('#product-1 form'), 0);
            assert.equal(await page.locator('#product-2 .amount').innerText(), '£1,234.50');
            await waitForCount(page.locator('#product-2 form.buy-form'), 1);

            await follow(cafe.locator('h2 a'));
            assert.equal(await heading(page), 'Café crème');
            assert.match(await page.locator('.product-detail').innerText(), /Worth €20 in France, £17 here/);
            await follow(page.getByRole('link', { name: /Back to Épicerie fine/ }));
            assert.equal(await heading(page), 'Épicerie fine');
        });
    });
}

describe('the shop owner\'s switches', () => {
    afterEach(() => env.shop.setSettings());

    test('banner on shows name, e-mail and telephone; off shows only the name', async () => {
        const { page } = await env.chromium.customer();
        for (const on of [true, false]) {
            env.shop.setSettings({ banner: on ? '1' : '0' });
            for (const url of ['index.php', 'store.php?dept=Garden%20Tools', 'basket.php']) {
                await page.goto(env.server.base + url);
                assert.equal(await page.locator('.shop-name').innerText(), 'Café Lumière & Co');
                await waitForCount(page.locator('.banner'), on ? 1 : 0);
                await waitForCount(page.locator('.banner a[href="mailto:orders@cafe-lumiere.invalid"], '
                    + '.banner a[href="tel:+442079460000"]'), on ? 2 : 0);
                const body = await page.locator('body').innerText();
                for (const detail of ['orders@cafe-lumiere.invalid', '+44 20 7946 0000']) {
                    assert.equal(body.includes(detail), on, `${url}: ${detail} with the banner ${on ? 'on' : 'off'}`);
                }
            }
        }
    });

    test('basket off: no basket link or buy control anywhere, and the basket pages refuse', async () => {
        env.shop.setSettings({ basket: '2' });
        const { page } = await env.chromium.customer('phone');
        for (const url of ['index.php', 'store.php?dept=%C3%89picerie%20fine', 'getdetails.php?dept=Garden%20Tools&item=0',
            'store.php?dept=Garden%20Tools']) {
            await page.goto(env.server.base + url);
            await waitForCount(page.locator('a[href="basket.php"], form'), 0);
            assert.doesNotMatch(await page.locator('body').innerText(), /basket/i, `${url} never mentions a basket`);
        }
        assert.equal(await page.locator('#product-0 .amount').innerText(), '£1.50', 'the prices still show');
        for (const [method, url] of [['GET', 'basket.php'], ['POST', 'basket.php'], ['GET', 'confirmOrder.php'],
            ['POST', 'confirmOrder.php'], ['POST', 'sendMailOrder.php']]) {
            const body = method === 'POST' ? new URLSearchParams({ action: 'add', dept: 'Garden Tools', item: '0' }) : undefined;
            assert.equal((await fetch(env.server.base + url, { method, body, redirect: 'manual' })).status, 404, `${method} ${url}`);
        }
        assert.equal(env.shop.orders().length, 0);
    });

    test('productsPerPage: a whole number from 1 to 100, anything else means 10', async () => {
        for (const [setting, shown] of [['1', 1], ['7', 7], [' 7', 7], ['100', 23], ['0', 10], ['101', 10], ['-5', 10],
            ['2.5', 10], ['abc', 10], ['', 10]]) {
            env.shop.setSettings({ productsPerPage: setting });
            const html = await (await fetch(env.server.base + 'store.php?dept=Garden%20Tools')).text();
            assert.equal(html.match(/<article class="product"/g).length, shown, `"${setting}"`);
            const pages = Math.ceil(23 / shown);
            assert.equal(html.includes(`Page 1 of ${pages}`) && html.includes('class="pager"'), pages > 1, `"${setting}"`);
        }
    });

    for (const [what, content] of [['missing', null], ['the one-empty-line marker', '\r\n']]) {
        test(`with storesettings.txt ${what} the shop still shows, without banner or basket`, async () => {
            const file = path.join(env.shop.store, 'storesettings.txt');
            content === null ? fs.rmSync(file) : fs.writeFileSync(file, content);
            const html = await (await fetch(env.server.base + 'store.php?dept=Garden%20Tools')).text();
            assert.match(html, /<a class="shop-name" href="index.php">Our shop<\/a>/);
            assert.equal(html.match(/<article class="product"/g).length, 10);
            assert.doesNotMatch(html, /class="site-header banner"|basket\.php/);
        });
    }
});

describe('folders and files the pages may meet on a server', () => {
    test('a folder name in Windows-1252 bytes rather than UTF-8 is shown readably and opens', async () => {
        const folder = Buffer.concat([Buffer.from(env.shop.store), Buffer.from('/Th\xE9', 'latin1')]);
        fs.mkdirSync(folder);
        fs.writeFileSync(Buffer.concat([folder, Buffer.from('/productdetails.nif')]),
            productDetailsBytes([{ title: 'Earl Grey', price: '2.00' }]));
        const { page } = await env.chromium.customer();
        await page.goto(env.server.base + 'index.php');
        await follow(nav(page).filter({ hasText: 'Thé' }));
        assert.equal(await heading(page), 'Thé');
        assert.deepEqual(await titles(page), ['Earl Grey']);
        fs.rmSync(folder, { recursive: true });
    });

    test('departments.nif orders the front page and every navigation bar; a name no folder has is skipped', async () => {
        // A folder it does not name (a department since renamed or removed) is left out.
        const order = ['Tea & Coffee #1 (50% off)', 'Épicerie fine', 'Renamed since', 'Dairy 10', 'Garden Tools', 'Dairy 9'];
        const shown = order.filter((name) => name !== 'Renamed since');
        const file = path.join(env.shop.store, 'departments.nif');
        fs.writeFileSync(file, win1252(order.map((name) => name + '\r\n').join('')));
        const { page } = await env.chromium.customer();
        await page.goto(env.server.base + 'index.php');
        assert.deepEqual(await texts(nav(page)), shown);
        assert.deepEqual(await texts(page.locator('.department-name')), shown);
        await follow(nav(page).filter({ hasText: 'Dairy 10' }));
        assert.equal(await heading(page), 'Dairy 10');
        assert.deepEqual(await texts(nav(page)), shown);
        assert.equal((await fetch(env.server.base + 'store.php?dept=Empty%20Shelf')).status, 404, 'a department left out');
        fs.rmSync(file);
    });
});
