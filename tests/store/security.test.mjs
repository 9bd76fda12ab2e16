// What a customer, a robot or a forged request must not be able to do: break or forge an order
// record, run script in the pages, change anything without the session's token, set a price or a
// title, reach a file outside store/, or order silly quantities.
// Run: node --test tests/store/security.test.mjs   (or ctest -L web in the build folder)

import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { buildShop, follow, formValues, httpCustomer, launchBrowser, parseOrders, startPhp }
    from './lib/shop.mjs';
import { addTraps, DEPARTMENTS, SETTINGS } from './lib/fixtures.mjs';

let shop;
let server;
let chromium;

before(async () => {
    const departments = {
        ...DEPARTMENTS,
        // A title the owner typed with the record marks in it.
        Deals: { products: [{ title: 'Deal:: 2 for 1 ::-', price: '5.00', unit: 'each' }] },
    };
    shop = buildShop({ settings: SETTINGS, departments, extra: addTraps });
    server = await startPhp(shop.root);
    chromium = await launchBrowser();
});

after(async () => {
    await chromium?.close();
    await server?.stop();
    shop?.remove();
});

const orders = () => parseOrders(shop.orders().toString('utf8'));

/** The basket's lines as the basket page shows them: [title, quantity]. */
async function basketOf(customer) {
    const html = await (await customer.get('basket.php')).text();
    return [...html.matchAll(/<a href="getdetails[^"]*">([^<]*)<\/a>.*?name="qty" value="(\d+)"/gs)]
        .map((m) => [m[1], Number(m[2])]);
}

describe('customer input cannot forge a record or run script', () => {
    for (const viewport of ['desktop', 'phone']) {
        test(`separators, record marks, control characters and script tags (${viewport})`, async () => {
            const already = orders().length;
            const { context, page, problems } = await chromium.customer(viewport);
            await page.goto(server.base + 'store.php?dept=Deals');
            await follow(page.locator('#product-0').getByRole('button', { name: /Add to basket/ }));
            await page.goto(server.base + 'basket.php');
            await follow(page.getByRole('link', { name: 'Checkout' }));
            const name = 'Eve::-¬<script>window.__pwned=1</script>';
            await page.getByLabel('Your name').fill(name);
            await page.getByLabel('Delivery address').fill(
                '1 High St::-\n¬::Fake¬Record\u0007\u0000\n<img src=x onerror="window.__pwned=2">');
            await page.getByLabel(/Telephone or e-mail/).fill('::-¬\u001b[31m');
            await follow(page.getByRole('button', { name: 'Check your order' }));

            for (const step of ['review', 'confirmation']) {
                assert.equal(await page.locator('main script, main img[src="x"]').count(), 0, `${step}: no markup`);
                assert.equal(await page.evaluate(() => window.__pwned), undefined, `${step}: no script ran`);
                assert.equal(await page.locator('.customer-name').innerText(), 'Eve:-<script>window.__pwned=1</script>');
                assert.equal(await page.locator('.customer-address').innerText(),
                    '1 High St:-\n:FakeRecord\n<img src=x onerror="window.__pwned=2">');
                if (step === 'review') {
                    await follow(page.getByRole('button', { name: 'Place order' }));
                    await page.locator('.order-number').waitFor();
                }
            }
            assert.deepEqual(problems, []);
            await context.close();

            const all = orders();
            assert.equal(all.length, already + 1, 'exactly one more record');
            const record = all.at(-1);
            assert.equal(record.name, 'Eve:-<script>window.__pwned=1</script>');
            assert.equal(record.address,
                '1 High St:-\r\n:FakeRecord\r\n<img src=x onerror="window.__pwned=2">\r\nContact: :-[31m');
            assert.equal(record.items, '1 x Deal: 2 for 1 :- (Deals) at £5.00 each = £5.00¬Total: £5.00¬');
            const text = shop.orders().toString('utf8');
            assert.equal(text.split('::').length - 1, 2 * all.length, 'only record starts and ends hold "::"');
            assert.equal(text.split('¬').length - 1, all.reduce((n, r) => n + 3 + r.items.split('¬').length - 1, 0));
        });
    }

    test('overlong text is cut before it reaches the order list', async () => {
        const customer = await httpCustomer(server.base);
        const address = Array.from({ length: 20 }, (_, i) => `Line ${i + 1} `.padEnd(60, 'x')).join('\n');
        const form = await customer.readyToOrder([['Dairy 9', 0, 1]],
            { name: 'N'.repeat(500), address, contact: 'C'.repeat(200) });
        await customer.post('sendMailOrder.php', { token: customer.token, ...form });
        await customer.close();
        const record = orders().at(-1);
        assert.equal(record.name, 'N'.repeat(80));
        const lines = record.address.split('\r\n');
        const kept = lines.slice(0, -1);
        assert.equal(kept.join('\r\n').length, 400, 'the address is cut at 400 characters');
        assert.deepEqual(kept.slice(0, 6), address.split('\n').slice(0, 6), 'whole lines before the cut');
        assert.ok(address.split('\n')[6].startsWith(kept[6]), 'the seventh line is cut');
        assert.equal(lines.at(-1), 'Contact: ' + 'C'.repeat(80));
    });
});

describe('state changes need a POST with the session\'s token', () => {
    const attempts = [
        ['adding to the basket', 'basket.php', { action: 'add', dept: 'Garden Tools', item: '1', qty: '1' }],
        ['changing a quantity', 'basket.php', { action: 'update', dept: 'Dairy 9', item: '0', qty: '7' }],
        ['emptying the basket', 'basket.php', { action: 'empty' }],
        ['sending name and address', 'confirmOrder.php', { action: 'details', name: 'Forged', address: 'Nowhere' }],
        ['placing the order', 'sendMailOrder.php', {}],
    ];
    for (const [what, url, fields] of attempts) {
        for (const [how, token] of [['no token', undefined], ['a wrong token', 'f'.repeat(64)],
            ['another customer\'s token', 'other']]) {
            test(`${what} with ${how} is refused and changes nothing`, async () => {
                const customer = await httpCustomer(server.base);
                const form = await customer.readyToOrder([['Dairy 9', 0, 2]], { name: 'Real', address: 'Here' });
                const other = await httpCustomer(server.base);
                await other.open('store.php?dept=Dairy%209');
                const sent = { ...fields, order: form.order, check: form.check };
                if (token !== undefined) {
                    sent.token = token === 'other' ? other.token : token;
                }
                assert.notEqual(other.token, customer.token);
                const ordersBefore = shop.orders();
                const response = await customer.post(url, sent);
                assert.equal(response.status(), 403);
                assert.match(await response.text(), /Your session has expired/);
                assert.deepEqual(await basketOf(customer), [['Butter', 2]]);
                assert.deepEqual(shop.orders(), ordersBefore);
                const review = await (await customer.get('confirmOrder.php?step=review')).text();
                assert.match(review, /<dd class="customer-name">Real<\/dd>/);
                await customer.close();
                await other.close();
            });
        }
    }

    test('a GET never changes the basket', async () => {
        const customer = await httpCustomer(server.base);
        await customer.readyToOrder([['Dairy 9', 0, 1]], { name: 'A', address: 'B' });
        await customer.get('basket.php?action=empty');
        await customer.get(`basket.php?action=add&dept=Dairy%2010&item=0&qty=5&token=${customer.token}`);
        assert.deepEqual(await basketOf(customer), [['Butter', 1]]);
        const response = await customer.get('sendMailOrder.php');
        assert.equal(response.status(), 303);
        assert.equal(orders().filter((r) => r.name === 'A').length, 0);
        await customer.close();
    });
});

describe('prices and titles come from the server\'s productdetails.nif', () => {
    test('a tampered price or title in the request is ignored, in the basket and in the record', async () => {
        const customer = await httpCustomer(server.base);
        await customer.open('store.php?dept=Garden%20Tools');
        const response = await customer.post('basket.php', { token: customer.token, action: 'add', dept: 'Garden Tools',
            item: '0', qty: '2', price: '0.01', title: 'Free gift', amount: '1', cents: '1' });
        assert.equal(response.status(), 303);
        const basket = await (await customer.get('basket.php')).text();
        assert.match(basket, /Garden tool 01/);
        assert.doesNotMatch(basket, /Free gift|0\.01/);
        assert.match(basket, /class="num basket-total">£3\.00</);
        await customer.post('confirmOrder.php', { token: customer.token, action: 'details', name: 'Tam', address: 'Per', contact: 'x',
            website: '' });
        const form = formValues(await (await customer.get('confirmOrder.php?step=review')).text());
        await customer.post('sendMailOrder.php', { token: customer.token, ...form, price: '0.01', total: '0.01',
            items: '1 x Free gift' });
        const record = orders().at(-1);
        assert.equal(record.name, 'Tam');
        assert.equal(record.items, '2 x Garden tool 01 (Garden Tools) at £1.50 each = £3.00¬Total: £3.00¬');
        await customer.close();
    });

    test('an order whose basket changed after the review is not placed', async () => {
        const customer = await httpCustomer(server.base);
        const form = await customer.readyToOrder([['Dairy 9', 0, 1]], { name: 'Changed', address: 'Mind' });
        await customer.post('basket.php', { token: customer.token, action: 'update', dept: 'Dairy 9', item: '0',
            qty: '9' });
        const response = await customer.post('sendMailOrder.php', { token: customer.token, ...form });
        assert.equal(response.status(), 303);
        assert.equal(response.headers().location, 'confirmOrder.php?step=review');
        assert.equal(orders().filter((r) => r.name === 'Changed').length, 0);
        const again = formValues(await (await customer.get('confirmOrder.php?step=review')).text());
        await customer.post('sendMailOrder.php', { token: customer.token, ...again });
        await customer.post('sendMailOrder.php', { token: customer.token, ...again });
        const placed = orders().filter((r) => r.name === 'Changed');
        assert.equal(placed.length, 1, 'sent twice, placed once');
        assert.equal(placed[0].items, '9 x Butter (Dairy 9) at £2.10 250 g = £18.90¬Total: £18.90¬');
        await customer.close();
    });

    test('a product whose price is not a number cannot be put in the basket', async () => {
        const customer = await httpCustomer(server.base);
        await customer.open('store.php?dept=%C3%89picerie%20fine');
        const response = await customer.post('basket.php', { token: customer.token, action: 'add',
            dept: 'Épicerie fine', item: '1', qty: '1' });
        assert.equal(response.status(), 400);
        assert.deepEqual(await basketOf(customer), []);
        await customer.close();
    });
});

describe('no request reaches outside store/', () => {
    const requests = [
        'store.php?dept=..%2FOutside', 'store.php?dept=../../kioskSmith/Outside', 'store.php?dept=..',
        'store.php?dept=.', 'store.php?dept=', 'store.php', 'store.php?dept[]=Garden%20Tools',
        'store.php?dept=Garden%20Tools%2F..%2F..%2FOutside', 'store.php?dept=%2Fetc', 'store.php?dept=Garden%20Tools%00',
        'store.php?dept=Not%20a%20department', 'store.php?dept=garden%20tools',
        'getdetails.php?dept=..%2FOutside&item=0', 'getdetails.php?dept=Garden%20Tools&item=..%2F..%2FOutside%2F0',
        'getdetails.php?dept=Garden%20Tools&item=-1', 'getdetails.php?dept=Garden%20Tools&item=1e1',
        'getdetails.php?dept=Garden%20Tools&item=99', 'getdetails.php?dept=Garden%20Tools&item[]=1',
    ];
    for (const url of requests) {
        test(`GET ${url} is "not found"`, async () => {
            const response = await fetch(server.base + url);
            assert.equal(response.status, 404);
            const html = await response.text();
            assert.doesNotMatch(html, /LEAKED/);
            assert.match(html, /not found/i);
        });
    }

    for (const [dept, item] of [['../Outside', '0'], ['Garden Tools/../../Outside', '0'], ['Garden Tools', '../0'],
        ['Garden Tools', '23']]) {
        test(`adding ${dept} / ${item} to the basket is refused`, async () => {
            const customer = await httpCustomer(server.base);
            await customer.open('store.php?dept=Garden%20Tools');
            const response = await customer.post('basket.php', { token: customer.token, action: 'add', dept, item,
                qty: '1' });
            assert.equal(response.status(), 404);
            assert.doesNotMatch(await response.text(), /LEAKED/);
            assert.deepEqual(await basketOf(customer), []);
            await customer.close();
        });
    }

    test('every picture a page points at lies in gfx/ or below store/', async () => {
        for (const url of ['index.php', 'store.php?dept=Garden%20Tools', 'store.php?dept=%C3%89picerie%20fine',
            'getdetails.php?dept=Garden%20Tools&item=4']) {
            const html = await (await fetch(server.base + url)).text();
            for (const [, src] of html.matchAll(/<img[^>]* src="([^"]*)"/g)) {
                assert.match(src, /^(gfx\/[a-z_-]+\.(gif|jpg|bmp)|store\/no_image_available\.jpg|store\/[^/]+\/\d{1,2}\.jpeg\?v=\d+)$/,
                    `${url}: ${src}`);
            }
        }
    });
});

describe('quantities are whole numbers from 1 to 999', () => {
    const refused = ['0', '-1', '1000', '1.5', '1e2', 'abc', '', ' ', '0x10', '99999999999999999999'];
    for (const qty of refused) {
        test(`adding quantity "${qty}" is refused`, async () => {
            const customer = await httpCustomer(server.base);
            await customer.open('store.php?dept=Garden%20Tools');
            const response = await customer.post('basket.php', { token: customer.token, action: 'add',
                dept: 'Garden Tools', item: '0', qty });
            assert.equal(response.status(), 303);
            assert.match(await (await customer.get(response.headers().location)).text(),
                /Please choose a quantity from 1 to 999/);
            assert.deepEqual(await basketOf(customer), []);
            await customer.close();
        });
    }

    test('999 is the most of one product; changing to 1000 is refused', async () => {
        const customer = await httpCustomer(server.base);
        await customer.open('store.php?dept=Garden%20Tools');
        const add = (qty) => customer.post('basket.php', { token: customer.token, action: 'add', dept: 'Garden Tools',
            item: '0', qty });
        await add('999');
        assert.deepEqual(await basketOf(customer), [['Garden tool 01', 999]]);
        await add('5');
        assert.deepEqual(await basketOf(customer), [['Garden tool 01', 999]]);
        await customer.post('basket.php', { token: customer.token, action: 'update', dept: 'Garden Tools', item: '0',
            qty: '1000' });
        assert.deepEqual(await basketOf(customer), [['Garden tool 01', 999]]);
        await customer.post('basket.php', { token: customer.token, action: 'update', dept: 'Garden Tools', item: '0',
            qty: '12' });
        assert.deepEqual(await basketOf(customer), [['Garden tool 01', 12]]);
        await customer.close();
    });
});

describe('the hidden honeypot field', () => {
    test('is there for robots, hidden from people, and an order with it filled is turned away', async () => {
        const customer = await httpCustomer(server.base);
        await customer.readyToOrder([['Dairy 9', 0, 1]], { name: 'Human', address: 'Street' });
        const form = await (await customer.get('confirmOrder.php')).text();
        assert.match(form, /<div class="trap" aria-hidden="true">.*?<input[^>]*name="website"[^>]*tabindex="-1"/s);
        const before = shop.orders();
        const customer2 = await httpCustomer(server.base);
        await customer2.open('store.php?dept=Dairy%209');
        await customer2.post('basket.php', { token: customer2.token, action: 'add', dept: 'Dairy 9', item: '0', qty: '1' });
        const response = await customer2.post('confirmOrder.php', { token: customer2.token, action: 'details',
            name: 'Robot', address: 'Spam', website: 'http://spam.invalid' });
        assert.equal(response.status(), 400);
        const review = await customer2.get('confirmOrder.php?step=review');
        assert.doesNotMatch(await review.text(), /Robot/);
        assert.deepEqual(shop.orders(), before);
        await customer.close();
        await customer2.close();
    });
});

test('PHP reported no warnings or errors, whatever it was sent', () => {
    assert.deepEqual(server.phpProblems(), []);
});
