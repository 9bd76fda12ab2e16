// What a customer, a robot or a forged request must not be able to do: break or forge an order
// record, run script in the pages, change anything without the session's token, set a price or a
// title, reach a file outside store/, or order silly quantities.

import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { addToBasket, enterDetails, expect, httpCustomer, placeOrder, suiteShop } from './lib/shop.mjs';
import { addTraps, DEPARTMENTS } from './lib/fixtures.mjs';

// A title the owner typed with the record marks in it.
const env = suiteShop({ extra: addTraps,
    departments: { ...DEPARTMENTS, Deals: { products: [{ title: 'Deal:: 2 for 1 ::-', price: '5.00', unit: 'each' }] } } });

const customerWithSession = async () => (await httpCustomer(env.server.base)).open();

describe('customer input cannot forge a record or run script', () => {
    test('separators, record marks, control characters and script tags', async () => {
        const { page } = await env.chromium.customer();
        await page.goto(env.server.base + 'store.php?dept=Deals');
        await addToBasket(page, 0);
        await enterDetails(page, { name: 'Eve::-¬<script>window.__pwned=1</script>',
            address: '1 High St::-\n¬::Fake¬Record\u0007\u0000\n<img src=x onerror="window.__pwned=2">', contact: '::-¬\u001b[31m' });
        for (const step of ['review', 'confirmation']) {
            await expect(page.locator('.customer-name')).toHaveText('Eve:-<script>window.__pwned=1</script>');
            await expect(page.locator('.customer-address')).toHaveText(/^1 High St:-\n:FakeRecord\n<img src=x onerror="window\.__pwned=2">$/);
            await expect(page.locator('main script, main img[src="x"]')).toHaveCount(0);
            assert.equal(await page.evaluate(() => window.__pwned), undefined, `${step}: no script ran`);
            if (step === 'review') await placeOrder(page);
        }
        // records() reads the whole list as whole records, so a forged mark or separator shows.
        assert.deepEqual(env.shop.records().map(({ date, ...record }) => record), [{ name: 'Eve:-<script>window.__pwned=1</script>',
            address: '1 High St:-\r\n:FakeRecord\r\n<img src=x onerror="window.__pwned=2">\r\nContact: :-[31m',
            items: '1 x Deal: 2 for 1 :- (Deals) at £5.00 each = £5.00¬Total: £5.00¬' }]);
    });
});

describe('state changes need a POST with the session\'s token', () => {
    for (const [what, url, fields] of [
        ['adding to the basket', 'basket.php', { action: 'add', dept: 'Garden Tools', item: '1', qty: '1' }],
        ['changing a quantity', 'basket.php', { action: 'update', dept: 'Dairy 9', item: '0', qty: '7' }],
        ['emptying the basket', 'basket.php', { action: 'empty' }],
        ['sending name and address', 'confirmOrder.php', { action: 'details', name: 'Forged', address: 'Nowhere' }],
        ['placing the order', 'sendMailOrder.php', {}]]) {
        for (const how of ['no token', 'a wrong token', 'another customer\'s token']) {
            test(`${what} with ${how} is refused and changes nothing`, async () => {
                const customer = await httpCustomer(env.server.base);
                const form = await customer.readyToOrder([['Dairy 9', 0, 2]], { name: 'Real', address: 'Here' });
                const other = await customerWithSession();
                const token = { 'a wrong token': 'f'.repeat(64), 'another customer\'s token': other.token }[how];
                const ordersBefore = env.shop.orders();
                const response = await customer.post(url, { ...fields, order: form.order, check: form.check, token });
                assert.equal(response.status(), 403);
                assert.match(await response.text(), /Your session has expired/);
                assert.deepEqual(await customer.basket(), [['Butter', 2]]);
                assert.deepEqual(env.shop.orders(), ordersBefore);
                assert.match(await (await customer.get('confirmOrder.php?step=review')).text(), /<dd class="customer-name">Real<\/dd>/);
            });
        }
    }

    test('a GET never changes the basket', async () => {
        const customer = await httpCustomer(env.server.base);
        await customer.readyToOrder([['Dairy 9', 0, 1]], { name: 'A', address: 'B' });
        await customer.get('basket.php?action=empty');
        await customer.get(`basket.php?action=add&dept=Dairy%2010&item=0&qty=5&token=${customer.token}`);
        assert.deepEqual(await customer.basket(), [['Butter', 1]]);
        assert.equal((await customer.get('sendMailOrder.php')).status(), 303);
        assert.ok(!env.shop.records().some((r) => r.name === 'A'));
    });
});

describe('prices and titles come from the server\'s productdetails.nif', () => {
    test('a tampered price or title is ignored in the basket and the record; overlong text is cut', async () => {
        const customer = await customerWithSession();
        const response = await customer.post('basket.php', { action: 'add', dept: 'Garden Tools', item: '0', qty: '2',
            price: '0.01', title: 'Free gift', amount: '1', cents: '1' });
        assert.equal(response.status(), 303);
        const basket = await (await customer.get('basket.php')).text();
        assert.match(basket, /Garden tool 01/);
        assert.doesNotMatch(basket, /Free gift|0\.01/);
        assert.match(basket, /class="num basket-total">£3\.00</);
        const address = Array.from({ length: 20 }, (_, i) => `Line ${i + 1} `.padEnd(60, 'x')).join('\n');
        const form = await customer.readyToOrder([], { name: 'N'.repeat(500), address, contact: 'C'.repeat(200) });
        await customer.place(form, { price: '0.01', total: '0.01', items: '1 x Free gift' });
        // The address is cut at 400 characters, in its seventh line.
        const { date, ...record } = env.shop.records().at(-1);
        assert.deepEqual(record, { name: 'N'.repeat(80),
            address: address.replaceAll('\n', '\r\n').slice(0, 400) + '\r\nContact: ' + 'C'.repeat(80),
            items: '2 x Garden tool 01 (Garden Tools) at £1.50 each = £3.00¬Total: £3.00¬' });
    });

    test('an order whose basket changed after the review is not placed; sent twice, it is placed once', async () => {
        const customer = await httpCustomer(env.server.base);
        const form = await customer.readyToOrder([['Dairy 9', 0, 1]], { name: 'Changed', address: 'Mind' });
        await customer.add('Dairy 9', 0, 9, 'update');
        const response = await customer.place(form);
        assert.equal(response.status(), 303);
        assert.equal(response.headers().location, 'confirmOrder.php?step=review');
        assert.ok(!env.shop.records().some((r) => r.name === 'Changed'));
        const again = await customer.readyToOrder([], { name: 'Changed', address: 'Mind' });
        await customer.place(again);
        await customer.place(again);
        assert.deepEqual(env.shop.records().filter((r) => r.name === 'Changed').map((r) => r.items),
            ['9 x Butter (Dairy 9) at £2.10 250 g = £18.90¬Total: £18.90¬']);
    });
});

describe('no request reaches outside store/', () => {
    for (const url of ['store.php?dept=..%2FOutside', 'store.php?dept=../../kioskSmith/Outside', 'store.php?dept=..',
        'store.php?dept=.', 'store.php?dept=', 'store.php', 'store.php?dept[]=Garden%20Tools',
        'store.php?dept=Garden%20Tools%2F..%2F..%2FOutside', 'store.php?dept=%2Fetc', 'store.php?dept=Garden%20Tools%00',
        'store.php?dept=Not%20a%20department', 'store.php?dept=garden%20tools',
        'getdetails.php?dept=..%2FOutside&item=0', 'getdetails.php?dept=Garden%20Tools&item=..%2F..%2FOutside%2F0',
        'getdetails.php?dept=Garden%20Tools&item=-1', 'getdetails.php?dept=Garden%20Tools&item=1e1',
        'getdetails.php?dept=Garden%20Tools&item=99', 'getdetails.php?dept=Garden%20Tools&item[]=1']) {
        test(`GET ${url} is "not found"`, async () => {
            const response = await fetch(env.server.base + url);
            assert.equal(response.status, 404);
            const html = await response.text();
            assert.doesNotMatch(html, /LEAKED/);
            assert.match(html, /not found/i);
        });
    }

    // A price that is not a number is no product either.
    for (const [dept, item, status] of [['../Outside', '0', 404], ['Garden Tools/../../Outside', '0', 404],
        ['Garden Tools', '../0', 404], ['Garden Tools', '23', 404], ['Épicerie fine', '1', 400]]) {
        test(`adding ${dept} / ${item} to the basket is refused`, async () => {
            const customer = await customerWithSession();
            const response = await customer.add(dept, item, 1);
            assert.equal(response.status(), status);
            assert.doesNotMatch(await response.text(), /LEAKED/);
            assert.deepEqual(await customer.basket(), []);
        });
    }

    test('every picture a page points at lies in gfx/ or below store/', async () => {
        for (const url of ['index.php', 'store.php?dept=Garden%20Tools', 'store.php?dept=%C3%89picerie%20fine',
            'getdetails.php?dept=Garden%20Tools&item=4']) {
            for (const [, src] of (await (await fetch(env.server.base + url)).text()).matchAll(/<img[^>]* src="([^"]*)"/g)) {
                assert.match(src, /^(gfx\/[a-z_-]+\.(gif|jpg|bmp)|store\/no_image_available\.jpg|store\/[^/]+\/\d{1,2}\.jpeg\?v=\d+)$/,
                    `${url}: ${src}`);
            }
        }
    });
});

describe('quantities are whole numbers from 1 to 999', () => {
    for (const qty of ['0', '-1', '1000', '1.5', '1e2', 'abc', '', ' ', '0x10', '99999999999999999999']) {
        test(`adding quantity "${qty}" is refused`, async () => {
            const customer = await customerWithSession();
            const response = await customer.add('Garden Tools', 0, qty);
            assert.equal(response.status(), 303);
            assert.match(await (await customer.get(response.headers().location)).text(), /Please choose a quantity from 1 to 999/);
            assert.deepEqual(await customer.basket(), []);
        });
    }

    test('999 is the most of one product; changing to 1000 is refused', async () => {
        const customer = await customerWithSession();
        for (const [qty, action, held] of [[999, 'add', 999], [5, 'add', 999], [1000, 'update', 999], [12, 'update', 12]]) {
            await customer.add('Garden Tools', 0, qty, action);
            assert.deepEqual(await customer.basket(), [['Garden tool 01', held]], `${action} ${qty}`);
        }
    });
});

test('the hidden honeypot field is there for robots, hidden from people, and filled it turns the order away', async () => {
    const customer = await httpCustomer(env.server.base);
    await customer.readyToOrder([['Dairy 9', 0, 1]], { name: 'Human', address: 'Street' });
    assert.match(await (await customer.get('confirmOrder.php')).text(),
        /<div class="trap" aria-hidden="true">.*?<input[^>]*name="website"[^>]*tabindex="-1"/s);
    await assert.rejects(customer.readyToOrder([], { name: 'Robot', address: 'Spam', website: 'http://spam.invalid' }),
        /answered 400/);
    assert.doesNotMatch(await (await customer.get('confirmOrder.php?step=review')).text(), /Robot/);
});
