// Browsing the shop in chromium at desktop and phone size: departments, paging, pictures, the
// Windows-1252 text of the data files, the banner and basket switches, the page size setting.
// Run: node --test tests/store/browse.test.mjs   (or ctest -L web in the build folder)

import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { buildShop, follow, launchBrowser, productDetailsBytes, startPhp, win1252 } from './lib/shop.mjs';
import { addTraps, DEPARTMENT_ORDER, DEPARTMENTS, SETTINGS } from './lib/fixtures.mjs';

let shop;
let server;
let chromium;

before(async () => {
    shop = buildShop({ settings: SETTINGS, departments: DEPARTMENTS, extra: addTraps });
    server = await startPhp(shop.root);
    chromium = await launchBrowser();
});

after(async () => {
    await chromium?.close();
    await server?.stop();
    shop?.remove();
});

const titlesOnPage = (page) => page.locator('article.product h2').allInnerTexts();

async function pagerState(page) {
    const state = {};
    for (const name of ['first', 'previous', 'next', 'last']) {
        const control = page.locator(`.pager .pager-${name}`);
        const enabled = await control.evaluate((el) => el.tagName === 'A');
        const icon = await control.locator('img').getAttribute('src');
        state[name] = { enabled, icon };
    }
    return state;
}

async function expectPager(page, { enabled, status }) {
    const state = await pagerState(page);
    for (const [name, on] of Object.entries(enabled)) {
        assert.equal(state[name].enabled, on, `${name} control ${on ? 'enabled' : 'greyed out'}`);
        assert.equal(state[name].icon, `gfx/${on ? '' : 'no'}${name}.gif`, `${name} control picture`);
    }
    assert.equal((await page.locator('.pager-status').innerText()).trim(), status);
}

/** Whether a picture arrives and decodes (lazy pictures are brought into view first). */
async function pictureLoaded(page, selector) {
    const img = page.locator(selector);
    await img.scrollIntoViewIfNeeded();
    try {
        await img.evaluate((el) => el.decode(), undefined, { timeout: 5000 });
    } catch {
        return false;
    }
    return img.evaluate((el) => el.complete && el.naturalWidth > 0);
}

for (const viewport of ['desktop', 'phone']) {
    describe(`browsing on a ${viewport}`, () => {
        test('without departments.nif the front page lists the folders in natural order, accents beside their letter', async () => {
            const { context, page, problems } = await chromium.customer(viewport);
            await page.goto(server.base + 'index.php');
            assert.equal(await page.title(), 'Café Lumière & Co');
            const nav = page.getByRole('navigation', { name: 'Departments' });
            assert.deepEqual((await nav.getByRole('link').allInnerTexts()).map((t) => t.trim()), DEPARTMENT_ORDER);
            assert.deepEqual((await page.locator('.department-name').allInnerTexts()).map((t) => t.trim()),
                DEPARTMENT_ORDER);
            const body = await page.locator('body').innerText();
            assert.ok(!body.includes('Not a department'), 'a folder without product file is no department');
            assert.ok(!body.includes('Outside'));
            assert.match(body, /Garden Tools\s+23 products/);
            assert.match(body, /Empty Shelf\s+0 products/);
            assert.deepEqual(problems, []);
            await context.close();
        });

        test('23 products page 10 at a time; first/previous/next/last grey out at the ends', async () => {
            const { context, page, problems } = await chromium.customer(viewport);
            const titles = (from, to) => Array.from({ length: to - from + 1 },
                (_, i) => `Garden tool ${String(from + i).padStart(2, '0')}`);
            await page.goto(server.base + 'index.php');
            await follow(page.getByRole('navigation', { name: 'Departments' }).getByRole('link', { name: 'Garden Tools' }));
            assert.equal(await page.getByRole('heading', { level: 1 }).innerText(), 'Garden Tools');
            assert.deepEqual(await titlesOnPage(page), titles(1, 10));
            assert.match(await page.locator('.range').innerText(), /Showing 1–10 of 23 products/);
            await expectPager(page, { enabled: { first: false, previous: false, next: true, last: true },
                status: 'Page 1 of 3' });

            await follow(page.getByRole('link', { name: 'Next page' }));
            assert.deepEqual(await titlesOnPage(page), titles(11, 20));
            await expectPager(page, { enabled: { first: true, previous: true, next: true, last: true },
                status: 'Page 2 of 3' });

            await follow(page.getByRole('link', { name: 'Last page' }));
            assert.deepEqual(await titlesOnPage(page), titles(21, 23));
            assert.match(await page.locator('.range').innerText(), /Showing 21–23 of 23 products/);
            await expectPager(page, { enabled: { first: true, previous: true, next: false, last: false },
                status: 'Page 3 of 3' });

            await follow(page.getByRole('link', { name: 'Previous page' }));
            assert.deepEqual(await titlesOnPage(page), titles(11, 20));
            await follow(page.getByRole('link', { name: 'First page' }));
            assert.deepEqual(await titlesOnPage(page), titles(1, 10));

            // A page number past the end shows the last page; rubbish shows the first.
            await page.goto(server.base + 'store.php?dept=Garden%20Tools&page=99');
            assert.deepEqual(await titlesOnPage(page), titles(21, 23));
            await page.goto(server.base + 'store.php?dept=Garden%20Tools&page=x');
            assert.deepEqual(await titlesOnPage(page), titles(1, 10));
            assert.deepEqual(problems, []);
            await context.close();
        });

        test('a missing picture shows no_image_available.jpg, the others their slot picture', async () => {
            const { context, page } = await chromium.customer(viewport);
            await page.goto(server.base + 'store.php?dept=Garden%20Tools');
            const missing = page.locator('#product-4 .product-picture img');
            assert.equal(await missing.getAttribute('src'), 'store/no_image_available.jpg');
            assert.equal(await missing.getAttribute('alt'), 'No picture available');
            assert.ok(await pictureLoaded(page, '#product-4 .product-picture img'), 'the "no image" picture loads');
            const present = page.locator('#product-3 .product-picture img');
            assert.match(await present.getAttribute('src'), /^store\/Garden%20Tools\/3\.jpeg\?v=\d+$/);
            assert.equal(await present.getAttribute('alt'), 'Garden tool 04');
            assert.ok(await pictureLoaded(page, '#product-3 .product-picture img'), 'the product picture loads');
            await context.close();
        });

        test('Windows-1252 text shows as written: accents, €, £, curly quotes; a word price cannot be bought', async () => {
            const { context, page, problems } = await chromium.customer(viewport);
            await page.goto(server.base + 'index.php');
            await follow(page.getByRole('navigation', { name: 'Departments' }).getByRole('link', { name: 'Épicerie fine' }));
            assert.equal(await page.getByRole('heading', { level: 1 }).innerText(), 'Épicerie fine');
            const cafe = page.locator('#product-0');
            assert.equal(await cafe.locator('h2').innerText(), 'Café crème');
            const text = await cafe.innerText();
            for (const expected of ['Torréfié à Paris – “doux”', 'Worth €20 in France, £17 here', '£1.234,50',
                'the sack', 'Prix spécial', '€ and £ welcome']) {
                assert.ok(text.includes(expected), `shows ${expected}`);
            }
            assert.ok(await pictureLoaded(page, '#product-0 .product-picture img'), 'picture in a folder with an accented name loads');

            const oil = page.locator('#product-1');
            assert.equal(await oil.locator('h2').innerText(), 'Olive oil “Extra”');
            assert.equal(await oil.locator('.amount').innerText(), 'Price on request');
            assert.equal(await oil.locator('form').count(), 0, 'no buy control for a price that is not a number');
            assert.equal(await page.locator('#product-2 .amount').innerText(), '£1,234.50');
            assert.equal(await page.locator('#product-2 form.buy-form').count(), 1);

            await follow(cafe.locator('h2 a'));
            assert.equal(await page.getByRole('heading', { level: 1 }).innerText(), 'Café crème');
            assert.ok((await page.locator('.product-detail').innerText()).includes('Worth €20 in France, £17 here'));
            await follow(page.getByRole('link', { name: /Back to Épicerie fine/ }));
            assert.equal(await page.getByRole('heading', { level: 1 }).innerText(), 'Épicerie fine');
            assert.deepEqual(problems, []);
            await context.close();
        });

        test('a department whose name holds "&", "#" and "%" opens, with its picture', async () => {
            const { context, page } = await chromium.customer(viewport);
            await page.goto(server.base + 'index.php');
            await follow(page.locator('.department-card').filter({ hasText: 'Tea & Coffee #1 (50% off)' }));
            assert.equal(await page.getByRole('heading', { level: 1 }).innerText(), 'Tea & Coffee #1 (50% off)');
            assert.deepEqual(await titlesOnPage(page), ['Assam']);
            assert.ok(await pictureLoaded(page, '#product-0 .product-picture img'));
            await context.close();
        });

        test('an empty department says so', async () => {
            const { context, page } = await chromium.customer(viewport);
            await page.goto(server.base + 'store.php?dept=Empty%20Shelf');
            assert.equal(await page.locator('article.product').count(), 0);
            assert.match(await page.locator('main').innerText(), /no products in this department yet/);
            assert.equal(await page.locator('.pager').count(), 0);
            await context.close();
        });
    });
}

describe('the shop owner\'s switches', () => {
    test('banner on shows name, e-mail and telephone; off shows only the name', async () => {
        const { context, page } = await chromium.customer('desktop');
        for (const banner of ['1', '0']) {
            shop.setSettings({ ...SETTINGS, banner });
            for (const url of ['index.php', 'store.php?dept=Garden%20Tools', 'basket.php']) {
                await page.goto(server.base + url);
                assert.equal(await page.locator('.shop-name').innerText(), 'Café Lumière & Co');
                const body = await page.locator('body').innerText();
                const on = banner === '1';
                assert.equal(await page.locator('.banner').count(), on ? 1 : 0, `${url}: banner ${banner}`);
                assert.equal(body.includes('orders@cafe-lumiere.invalid'), on, `${url}: e-mail with banner ${banner}`);
                assert.equal(body.includes('+44 20 7946 0000'), on, `${url}: telephone with banner ${banner}`);
                if (on) {
                    assert.equal(await page.locator('.banner a[href="mailto:orders@cafe-lumiere.invalid"]').count(), 1);
                    assert.equal(await page.locator('.banner a[href="tel:+442079460000"]').count(), 1);
                }
            }
        }
        shop.setSettings(SETTINGS);
        await context.close();
    });

    test('basket off: no basket link or buy control anywhere, and the basket pages refuse', async () => {
        shop.setSettings({ ...SETTINGS, basket: '2' });
        try {
            for (const viewport of ['desktop', 'phone']) {
                const { context, page } = await chromium.customer(viewport);
                for (const url of ['index.php', 'store.php?dept=Garden%20Tools', 'store.php?dept=%C3%89picerie%20fine',
                    'getdetails.php?dept=Garden%20Tools&item=0']) {
                    await page.goto(server.base + url);
                    assert.equal(await page.locator('a[href="basket.php"], form[action="basket.php"], form').count(), 0,
                        `${url} has no basket link or form`);
                    assert.ok(!/basket/i.test(await page.locator('body').innerText()), `${url} never mentions a basket`);
                }
                // The prices still show.
                await page.goto(server.base + 'store.php?dept=Garden%20Tools');
                assert.equal(await page.locator('#product-0 .amount').innerText(), '£1.50');
                await context.close();
            }
            for (const [method, url] of [['GET', 'basket.php'], ['POST', 'basket.php'], ['GET', 'confirmOrder.php'],
                ['POST', 'confirmOrder.php'], ['POST', 'sendMailOrder.php']]) {
                const response = await fetch(server.base + url, { method, redirect: 'manual',
                    body: method === 'POST' ? new URLSearchParams({ action: 'add', dept: 'Garden Tools', item: '0' }) : undefined });
                assert.equal(response.status, 404, `${method} ${url}`);
            }
            assert.equal(shop.orders().length, 0);
        } finally {
            shop.setSettings(SETTINGS);
        }
    });

    // Anything but a whole number from 1 to 100 means 10 a page.
    const perPageCases = [['10', 10], ['1', 1], ['7', 7], [' 7', 7], ['100', 23], ['0', 10], ['101', 10],
        ['-5', 10], ['2.5', 10], ['abc', 10], ['', 10]];
    for (const [setting, expected] of perPageCases) {
        test(`productsPerPage "${setting}" shows ${expected} of 23 on the first page`, async () => {
            shop.setSettings({ ...SETTINGS, productsPerPage: setting });
            try {
                const html = await (await fetch(server.base + 'store.php?dept=Garden%20Tools')).text();
                assert.equal(html.match(/<article class="product"/g)?.length ?? 0, expected);
                const pages = Math.ceil(23 / expected);
                if (pages > 1) {
                    assert.ok(html.includes(`Page 1 of ${pages}`), `${pages} pages`);
                } else {
                    assert.ok(!html.includes('class="pager"'), 'no page controls for a single page');
                }
            } finally {
                shop.setSettings(SETTINGS);
            }
        });
    }
});

describe('files the pages may meet on a server', () => {
    test('a folder name in Windows-1252 bytes rather than UTF-8 is shown readably and opens', async () => {
        const folder = Buffer.concat([Buffer.from(shop.store), Buffer.from([0x2F, 0x54, 0x68, 0xE9])]); // "/Thé"
        fs.mkdirSync(folder);
        fs.writeFileSync(Buffer.concat([folder, Buffer.from('/productdetails.nif')]),
            productDetailsBytes([{ title: 'Earl Grey', price: '2.00' }]));
        try {
            const { context, page } = await chromium.customer('desktop');
            await page.goto(server.base + 'index.php');
            await follow(page.getByRole('navigation', { name: 'Departments' }).getByRole('link', { name: 'Thé' }));
            assert.equal(await page.getByRole('heading', { level: 1 }).innerText(), 'Thé');
            assert.deepEqual(await titlesOnPage(page), ['Earl Grey']);
            await context.close();
        } finally {
            fs.rmSync(folder, { recursive: true });
        }
    });

    for (const [what, content] of [['missing', null], ['the one-empty-line marker', Buffer.from('\r\n')]]) {
        test(`with storesettings.txt ${what} the shop still shows, without banner or basket`, async () => {
            const file = path.join(shop.store, 'storesettings.txt');
            if (content === null) {
                fs.rmSync(file);
            } else {
                fs.writeFileSync(file, content);
            }
            try {
                const html = await (await fetch(server.base + 'store.php?dept=Garden%20Tools')).text();
                assert.match(html, /<a class="shop-name" href="index.php">Our shop<\/a>/);
                assert.equal(html.match(/<article class="product"/g).length, 10);
                assert.doesNotMatch(html, /class="site-header banner"|basket\.php/);
            } finally {
                shop.setSettings(SETTINGS);
            }
        });
    }
});

describe('departments.nif, the owner\'s order', () => {
    // Written by the program in Windows-1252: a name no folder has is skipped, a folder it does not
    // name (a department since renamed or removed) is left out.
    const order = ['Tea & Coffee #1 (50% off)', 'Épicerie fine', 'Renamed since', 'Dairy 10', 'Garden Tools',
        'Dairy 9'];
    const shown = order.filter((name) => name !== 'Renamed since');

    test('orders the front page and every navigation bar', async () => {
        const file = path.join(shop.store, 'departments.nif');
        fs.writeFileSync(file, win1252(order.map((name) => name + '\r\n').join('')));
        try {
            const { context, page, problems } = await chromium.customer('desktop');
            await page.goto(server.base + 'index.php');
            const nav = page.getByRole('navigation', { name: 'Departments' }).getByRole('link');
            await nav.nth(shown.length - 1).waitFor();
            assert.deepEqual((await nav.allInnerTexts()).map((t) => t.trim()), shown);
            assert.deepEqual((await page.locator('.department-name').allInnerTexts()).map((t) => t.trim()), shown);
            await follow(nav.filter({ hasText: 'Dairy 10' }));
            await page.getByRole('heading', { level: 1, name: 'Dairy 10' }).waitFor();
            assert.deepEqual((await nav.allInnerTexts()).map((t) => t.trim()), shown);
            const left = await fetch(server.base + 'store.php?dept=Empty%20Shelf');
            assert.equal(left.status, 404, 'a department the owner no longer has');
            assert.deepEqual(problems, []);
            await context.close();
        } finally {
            fs.rmSync(file);
        }
    });
});

test('PHP reported no warnings or errors while serving these pages', () => {
    assert.deepEqual(server.phpProblems(), []);
});
