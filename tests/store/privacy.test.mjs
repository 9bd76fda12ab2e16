// The order list is the customers' private data: orders in any script reach the program exactly
// through collectOrders.php with the shop's secret, and a stranger finds none at any address of
// the published shop, by GET or POST. The form insists on a way to reach the customer.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { addToBasket, collectOrders, enterDetails, expect, heading, httpCustomer, LIST_MARK, ORDER_KEY, parseOrders,
    placeOrder, suiteShop } from './lib/shop.mjs';

const env = suiteShop();
const CUSTOMERS = [
    { name: 'Αλέξανδρος Παπαδόπουλος', address: 'Οδός Ερμού 12\nΑθήνα 105 63', contact: '+30 21 0000 0000' },
    { name: 'Татьяна Иванова', address: 'ул. Ленина, д. 5\nМосква', contact: 'таня@пример.рф' },
    { name: '王小明', address: '北京市朝阳区建国路 88 号', contact: '+86 10 0000 0000' },
    { name: 'فاطمة الزهراء', address: 'شارع الملك فهد ٧\nالرياض', contact: '+966 11 000 0000' },
];

test('orders in every script, placed in chromium, reach the program exactly with the secret, and never without it', async () => {
    const { page } = await env.chromium.customer();
    for (const customer of CUSTOMERS) {
        await page.goto(env.server.base + 'store.php?dept=Dairy%209');
        await addToBasket(page, 0);
        await enterDetails(page, customer);
        await placeOrder(page);
    }
    const { status, body } = await collectOrders(env.server.base);
    assert.equal(status, 200);
    const text = body.toString('utf8');
    assert.ok(text.startsWith(LIST_MARK));
    assert.deepEqual(parseOrders(text.slice(LIST_MARK.length)).map((r) => [r.name, r.address]),
        CUSTOMERS.map((c) => [c.name, c.address.replaceAll('\n', '\r\n') + '\r\nContact: ' + c.contact]));
    // A wrong, short or missing secret, or a GET.
    for (const key of [null, '', ORDER_KEY.slice(0, -1), ORDER_KEY + '0', ORDER_KEY.toUpperCase()]) {
        const { status, body } = await collectOrders(env.server.base, key);
        assert.equal(status, 403, `key ${key}`);
        assert.ok(!body.includes(CUSTOMERS[0].name), `key ${key}`);
    }
    const get = await fetch(new URL(`collectOrders.php?key=${ORDER_KEY}`, env.server.base));
    assert.equal(get.status, 404);
    assert.ok(!(await get.text()).includes(CUSTOMERS[0].name));
});

test('a stranger finds no order at any published path, by GET or POST', async () => {
    const paths = fs.readdirSync(env.shop.root, { recursive: true, withFileTypes: true })
        .map((entry) => path.relative(env.shop.root, path.join(entry.parentPath ?? entry.path, entry.name)) + (entry.isDirectory() ? '/' : ''));
    assert.ok(paths.includes('kioskSmith/store/orders.php'), 'the list is there to be looked for');
    const origin = new URL(env.server.base).origin;
    for (const published of [...paths, 'kioskSmith/store/orders.txt', 'kioskSmith/orders.php']) {
        for (const method of ['GET', 'POST']) {
            const response = await fetch(`${origin}/${published.split('/').map(encodeURIComponent).join('/')}`, { method });
            const body = Buffer.from(await response.arrayBuffer()).toString('utf8');
            for (const secret of [...CUSTOMERS.map((c) => c.name), ORDER_KEY]) {
                assert.ok(!body.includes(secret), `${method} ${published} shows ${secret}`);
            }
        }
    }
});

test('the order form asks for a telephone or e-mail; blanks are not one', async () => {
    const { page } = await env.chromium.customer('phone');
    await page.goto(env.server.base + 'store.php?dept=Dairy%209');
    await addToBasket(page, 0);
    await enterDetails(page, { name: 'Blank Contact', address: '1 Road', contact: '   ' });
    await expect(page.locator('#contact-error')).toBeVisible();
    await heading(page).toHaveText('Your details');
    await expect(page.getByLabel(/Telephone or e-mail/)).toHaveAttribute('required', '');
    const customer = await httpCustomer(env.server.base);
    await assert.rejects(customer.readyToOrder([['Dairy 9', 0, 1]], { name: 'Posted', address: 'Here', contact: ' \t ' }),
        /answered 422/);
});

test('no order is taken while a refresh has not yet sent the key, so the kept list cannot overwrite it', async () => {
    const key = path.join(env.shop.store, 'orderkey.php');
    fs.renameSync(key, key + '.away');
    try {
        const before = env.shop.orders();
        const customer = await httpCustomer(env.server.base);
        const answer = await customer.place(await customer.readyToOrder([['Dairy 9', 0, 1]], { name: 'Mid Refresh', address: 'Here' }));
        assert.equal(answer.status(), 503);
        assert.deepEqual(env.shop.orders(), before);
    } finally {
        fs.renameSync(key + '.away', key);
    }
});
