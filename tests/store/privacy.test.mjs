// The order list is the customers' private data: orders in any script reach the program exactly
// through collectOrders.php with the shop's secret, and a stranger finds none at any address of
// the published shop, by GET or POST. The form insists on a way to reach the customer, and one
// address cannot flood the list.
// Run: node --test tests/store/privacy.test.mjs   (or ctest -L web in the build folder)

import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { buildShop, collectOrders, follow, httpCustomer, launchBrowser, LIST_MARK, ORDER_KEY, parseOrders, startPhp }
    from './lib/shop.mjs';
import { DEPARTMENTS, SETTINGS } from './lib/fixtures.mjs';

let shop;
let server;
let chromium;

before(async () => {
    shop = buildShop({ settings: SETTINGS, departments: DEPARTMENTS });
    server = await startPhp(shop.root);
    chromium = await launchBrowser();
});

after(async () => {
    await chromium?.close();
    await server?.stop();
    shop?.remove();
});

const CUSTOMERS = [
    { name: 'Αλέξανδρος Παπαδόπουλος', address: 'Οδός Ερμού 12\nΑθήνα 105 63', contact: '+30 21 0000 0000' },
    { name: 'Татьяна Иванова', address: 'ул. Ленина, д. 5\nМосква', contact: 'таня@пример.рф' },
    { name: '王小明', address: '北京市朝阳区建国路 88 号', contact: '+86 10 0000 0000' },
    { name: 'فاطمة الزهراء', address: 'شارع الملك فهد ٧\nالرياض', contact: '+966 11 000 0000' },
];

describe('orders in every script reach the program exactly', () => {
    test('placed in chromium, collected with the secret', async () => {
        const { context, page, problems } = await chromium.customer('desktop');
        for (const customer of CUSTOMERS) {
            await page.goto(server.base + 'store.php?dept=Dairy%209');
            await follow(page.locator('#product-0').getByRole('button', { name: /Add to basket/ }));
            await page.locator('#product-0 .product-note').waitFor();
            await page.goto(server.base + 'basket.php');
            await follow(page.getByRole('link', { name: 'Checkout' }));
            await page.getByLabel('Your name').fill(customer.name);
            await page.getByLabel('Delivery address').fill(customer.address);
            await page.getByLabel(/Telephone or e-mail/).fill(customer.contact);
            await follow(page.getByRole('button', { name: 'Check your order' }));
            await follow(page.getByRole('button', { name: 'Place order' }));
            await page.locator('.order-number').waitFor();
        }
        assert.deepEqual(problems, []);
        await context.close();

        const { status, body } = await collectOrders(server.base);
        assert.equal(status, 200);
        const text = body.toString('utf8');
        assert.ok(text.startsWith(LIST_MARK));
        const records = parseOrders(text.slice(LIST_MARK.length));
        assert.deepEqual(records.map((r) => [r.name, r.address]), CUSTOMERS.map((c) =>
            [c.name, c.address.replaceAll('\n', '\r\n') + '\r\nContact: ' + c.contact]));
    });

    test('a wrong, short or missing secret, or a GET, gets no order', async () => {
        for (const key of [null, '', ORDER_KEY.slice(0, -1), ORDER_KEY + '0', ORDER_KEY.toUpperCase()]) {
            const { status, body } = await collectOrders(server.base, key);
            assert.equal(status, 403, `key ${key}`);
            assert.ok(!body.includes(CUSTOMERS[0].name), `key ${key}`);
        }
        const get = await fetch(new URL(`collectOrders.php?key=${ORDER_KEY}`, server.base));
        assert.equal(get.status, 404);
        assert.ok(!(await get.text()).includes(CUSTOMERS[0].name));
    });
});

describe('a stranger', () => {
    test('finds no order at any published path, by GET or POST', async () => {
        const paths = [];
        const walk = (dir) => {
            for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
                const full = path.join(dir, entry.name);
                paths.push(path.relative(shop.root, full) + (entry.isDirectory() ? '/' : ''));
                if (entry.isDirectory()) {
                    walk(full);
                }
            }
        };
        walk(shop.root);
        assert.ok(paths.includes('kioskSmith/store/orders.php'), 'the list is there to be looked for');
        const origin = new URL(server.base).origin;
        const secrets = [...CUSTOMERS.map((c) => c.name), ORDER_KEY];
        for (const published of [...paths, 'kioskSmith/store/orders.txt', 'kioskSmith/orders.php']) {
            const url = `${origin}/${published.split('/').map(encodeURIComponent).join('/')}`;
            for (const method of ['GET', 'POST']) {
                const response = await fetch(url, { method, redirect: 'follow' });
                const body = Buffer.from(await response.arrayBuffer()).toString('utf8');
                for (const secret of secrets) {
                    assert.ok(!body.includes(secret), `${method} ${published} shows ${secret}`);
                }
            }
        }
    });
});

describe('the order form', () => {
    test('asks for a telephone or e-mail; blanks are not one', async () => {
        const { context, page } = await chromium.customer('phone');
        await page.goto(server.base + 'store.php?dept=Dairy%209');
        await follow(page.locator('#product-0').getByRole('button', { name: /Add to basket/ }));
        await page.locator('#product-0 .product-note').waitFor();
        await page.goto(server.base + 'basket.php');
        await follow(page.getByRole('link', { name: 'Checkout' }));
        const contact = page.getByLabel(/Telephone or e-mail/);
        assert.equal(await contact.getAttribute('required'), '');
        await page.getByLabel('Your name').fill('Blank Contact');
        await page.getByLabel('Delivery address').fill('1 Road');
        await contact.fill('   ');
        await follow(page.getByRole('button', { name: 'Check your order' }));
        await page.locator('#contact-error').waitFor();
        assert.equal(await page.getByRole('heading', { level: 1 }).innerText(), 'Your details');
        await context.close();
        const customer = await httpCustomer(server.base);
        await assert.rejects(customer.readyToOrder([['Dairy 9', 0, 1]], { name: 'Posted', address: 'Here',
            contact: ' \t ' }), /answered 422/);
        await customer.close();
        assert.ok(!shop.orders().toString('utf8').includes('Blank Contact'));
        assert.ok(!shop.orders().toString('utf8').includes('Posted'));
    });

    test('takes no order while a refresh has not yet sent the key, so the kept list cannot overwrite it', async () => {
        const key = path.join(shop.store, 'orderkey.php');
        fs.renameSync(key, key + '.away');
        try {
            const before = shop.orders();
            const customer = await httpCustomer(server.base);
            const form = await customer.readyToOrder([['Dairy 9', 0, 1]], { name: 'Mid Refresh', address: 'Here' });
            const answer = await customer.post('sendMailOrder.php', { token: customer.token, ...form });
            await customer.close();
            assert.equal(answer.status(), 503);
            assert.deepEqual(shop.orders(), before);
        } finally {
            fs.renameSync(key + '.away', key);
        }
    });

    test('turns away the 21st order in a minute from one address', async () => {
        const own = buildShop({ settings: SETTINGS, departments: DEPARTMENTS });
        const php = await startPhp(own.root);
        try {
            const statuses = [];
            let refusal = '';
            for (let i = 1; i <= 21; ++i) {
                const customer = await httpCustomer(php.base);
                const form = await customer.readyToOrder([['Dairy 9', 0, 1]], { name: `Flood ${i}`, address: 'Here' });
                const answer = await customer.post('sendMailOrder.php', { token: customer.token, ...form });
                statuses.push(answer.status());
                if (i === 21) {
                    assert.match(answer.headers()['content-type'], /^text\/plain/);
                    refusal = await answer.text();
                }
                await customer.close();
            }
            assert.deepEqual(statuses, [...Array(20).fill(303), 429]);
            assert.match(refusal, /Nothing has been ordered/);
            const names = parseOrders(own.orders().toString('utf8')).map((r) => r.name);
            assert.deepEqual(names, Array.from({ length: 20 }, (_, i) => `Flood ${i + 1}`));
            assert.deepEqual(php.phpProblems(), []);
        } finally {
            await php.stop();
            own.remove();
        }
    });
});

test('PHP reported no warnings or errors while serving these pages', () => {
    assert.deepEqual(server.phpProblems(), []);
});
