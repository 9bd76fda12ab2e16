// Browsing the shop in chromium at desktop and phone size: departments, paging, pictures, the
// Windows-1252 text of the data files, the banner and basket switches, the page size setting.

import { afterEach, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { expect, heading, suiteShop, win1252 } from './lib/shop.mjs';
import { addTraps, DEPARTMENT_ORDER } from './lib/fixtures.mjs';

const env = suiteShop({ extra: addTraps });
const nav = (page) => page.getByRole('navigation', { name: 'Departments' }).getByRole('link');
const titles = (page) => expect(page.locator('article.product h2'));
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
            await expect(page).toHaveTitle('Café Lumière & Co');
            await expect(nav(page)).toHaveText(DEPARTMENT_ORDER);
            await expect(page.locator('.department-name')).toHaveText(DEPARTMENT_ORDER);
            // A folder without a product file is no department.
            await expect(page.locator('body')).not.toContainText(/Not a department|Outside/);
            await expect(page.locator('.department-count')).toHaveText(['1 product', '1 product', '0 products', '3 products',
                '23 products', '1 product', '1 product']);
            // Named in Windows-1252 bytes on the server, shown readably and opened.
            await nav(page).filter({ hasText: 'Thé' }).click();
            await heading(page).toHaveText('Thé');
            await titles(page).toHaveText(['Earl Grey']);
        });

        test('23 products page 10 at a time; first/previous/next/last grey out at the ends', async () => {
            await page.goto(env.server.base + 'index.php');
            await nav(page).filter({ hasText: 'Garden Tools' }).click();
            await heading(page).toHaveText('Garden Tools');
            for (const [click, from, to, at] of [[null, 1, 10, 1], ['Next', 11, 20, 2], ['Last', 21, 23, 3],
                ['Previous', 11, 20, 2], ['First', 1, 10, 1]]) {
                if (click) await page.getByRole('link', { name: `${click} page` }).click();
                await titles(page).toHaveText(garden(from, to));
                await expect(page.locator('.range')).toHaveText(`Showing ${from}–${to} of 23 products`);
                await expect(page.locator('.pager-status')).toHaveText(`Page ${at} of 3`);
                for (const name of ['first', 'previous', 'next', 'last']) {
                    const on = ['first', 'previous'].includes(name) ? at > 1 : at < 3;
                    await expect(page.locator(`.pager a.pager-${name}`)).toHaveCount(on ? 1 : 0);
                    await expect(page.locator(`.pager .pager-${name} img`)).toHaveAttribute('src', `gfx/${on ? '' : 'no'}${name}.gif`);
                }
            }
            // A page number past the end shows the last page; rubbish shows the first.
            for (const [number, from, to] of [['99', 21, 23], ['x', 1, 10]]) {
                await page.goto(`${env.server.base}store.php?dept=Garden%20Tools&page=${number}`);
                await titles(page).toHaveText(garden(from, to));
            }
        });

        test('pictures, a missing one, a folder named with "&", "#" and "%", an empty department', async () => {
            await page.goto(env.server.base + 'store.php?dept=Garden%20Tools');
            const missing = page.locator('#product-4 .product-picture img');
            await expect(missing).toHaveAttribute('src', 'store/no_image_available.jpg');
            await expect(missing).toHaveAttribute('alt', 'No picture available');
            const present = page.locator('#product-3 .product-picture img');
            await expect(present).toHaveAttribute('src', /^store\/Garden%20Tools\/3\.jpeg\?v=\d+$/);
            await expect(present).toHaveAttribute('alt', 'Garden tool 04');
            assert.ok(await pictureLoaded(missing) && await pictureLoaded(present), 'both pictures load');

            await page.goto(env.server.base + 'index.php');
            await page.locator('.department-card').filter({ hasText: 'Tea & Coffee #1 (50% off)' }).click();
            await heading(page).toHaveText('Tea & Coffee #1 (50% off)');
            await titles(page).toHaveText(['Assam']);
            assert.ok(await pictureLoaded(page.locator('#product-0 .product-picture img')));

            await page.goto(env.server.base + 'store.php?dept=Empty%20Shelf');
            await expect(page.getByText('no products in this department yet')).toBeVisible();
            await expect(page.locator('article.product, .pager')).toHaveCount(0);
        });

        test('Windows-1252 text shows as written: accents, €, £, curly quotes; a word price cannot be bought', async () => {
            await page.goto(env.server.base + 'index.php');
            await nav(page).filter({ hasText: 'Épicerie fine' }).click();
            await heading(page).toHaveText('Épicerie fine');
            await titles(page).toHaveText(['Café crème', 'Olive oil “Extra”', 'Saffron']);
            await expect(page.locator('article.product .amount')).toHaveText(['£1.234,50', 'Price on request', '£1,234.50']);
            await expect(page.locator('article.product:has(form.buy-form) h2')).toHaveText(['Café crème', 'Saffron']);
            const cafe = page.locator('#product-0');
            for (const expected of ['Torréfié à Paris – “doux”', 'Worth €20 in France, £17 here', 'the sack', 'Prix spécial',
                '€ and £ welcome']) {
                await expect(cafe).toContainText(expected);
            }
            assert.ok(await pictureLoaded(cafe.locator('.product-picture img')), 'in a folder with an accented name');

            await cafe.locator('h2 a').click();
            await heading(page).toHaveText('Café crème');
            await expect(page.locator('.product-detail')).toContainText('Worth €20 in France, £17 here');
            await page.getByRole('link', { name: /Back to Épicerie fine/ }).click();
            await heading(page).toHaveText('Épicerie fine');
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
                await expect(page.locator('.shop-name')).toHaveText('Café Lumière & Co');
                await expect(page.locator('.banner')).toHaveCount(on ? 1 : 0);
                await expect(page.locator('.banner a[href="mailto:orders@cafe-lumiere.invalid"], '
                    + '.banner a[href="tel:+442079460000"]')).toHaveCount(on ? 2 : 0);
                const body = on ? expect(page.locator('body')) : expect(page.locator('body')).not;
                await body.toContainText('orders@cafe-lumiere.invalid');
                await body.toContainText('+44 20 7946 0000');
            }
        }
    });

    test('basket off: no basket link or buy control anywhere, and the basket pages refuse', async () => {
        env.shop.setSettings({ basket: '2' });
        const { page } = await env.chromium.customer('phone');
        for (const url of ['index.php', 'store.php?dept=%C3%89picerie%20fine', 'getdetails.php?dept=Garden%20Tools&item=0',
            'store.php?dept=Garden%20Tools']) {
            await page.goto(env.server.base + url);
            await expect(page.locator('a[href="basket.php"], form')).toHaveCount(0);
            await expect(page.locator('body')).not.toContainText(/basket/i);
        }
        await expect(page.locator('#product-0 .amount')).toHaveText('£1.50'); // the prices still show
        for (const [method, url] of [['GET', 'basket.php'], ['POST', 'basket.php'], ['GET', 'confirmOrder.php'],
            ['POST', 'confirmOrder.php'], ['POST', 'sendMailOrder.php']]) {
            const body = method === 'POST' ? new URLSearchParams({ action: 'add', dept: 'Garden Tools', item: '0' }) : undefined;
            assert.equal((await fetch(env.server.base + url, { method, body, redirect: 'manual' })).status, 404, `${method} ${url}`);
        }
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

test('departments.nif orders the front page and every navigation bar; a name no folder has is skipped', async () => {
    // A folder it does not name (a department since renamed or removed) is left out.
    const order = ['Tea & Coffee #1 (50% off)', 'Épicerie fine', 'Renamed since', 'Dairy 10', 'Garden Tools', 'Dairy 9'];
    const shown = order.filter((name) => name !== 'Renamed since');
    const file = path.join(env.shop.store, 'departments.nif');
    fs.writeFileSync(file, win1252(order.map((name) => name + '\r\n').join('')));
    const { page } = await env.chromium.customer();
    await page.goto(env.server.base + 'index.php');
    await expect(nav(page)).toHaveText(shown);
    await expect(page.locator('.department-name')).toHaveText(shown);
    await nav(page).filter({ hasText: 'Dairy 10' }).click();
    await heading(page).toHaveText('Dairy 10');
    await expect(nav(page)).toHaveText(shown);
    assert.equal((await fetch(env.server.base + 'store.php?dept=Empty%20Shelf')).status, 404, 'a department left out');
    fs.rmSync(file);
});
