// Twenty customers press "Place order" at the same moment: the order list must then hold twenty
// whole records, none interleaved with another, and each customer must have been given a
// different order number (the count is taken under the same lock as the append).
// Run: node --test tests/store/concurrency.test.mjs   (or ctest -L web in the build folder)

import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { buildShop, httpCustomer, parseOrders, startPhp } from './lib/shop.mjs';
import { DEPARTMENTS, SETTINGS } from './lib/fixtures.mjs';

const CUSTOMERS = 20;
let shop;
let server;

before(async () => {
    shop = buildShop({ settings: SETTINGS, departments: DEPARTMENTS });
    server = await startPhp(shop.root, { workers: 8 });
});

after(async () => {
    await server?.stop();
    shop?.remove();
});

test(`${CUSTOMERS} orders posted at once give ${CUSTOMERS} intact records with their own numbers`, async () => {
    const customers = [];
    for (let i = 1; i <= CUSTOMERS; ++i) {
        const customer = await httpCustomer(server.base);
        const n = String(i).padStart(2, '0');
        // Long records make a torn write more likely to show.
        const form = await customer.readyToOrder([['Garden Tools', i - 1, i], ['Épicerie fine', 2, 1]],
            { name: `Customer ${n}`, address: `${n} Long Road\n${'Town '.repeat(60)}\nCounty ${n}` });
        customers.push({ customer, form, n, qty: i });
    }

    const answers = await Promise.all(customers.map(({ customer, form }) =>
        customer.post('sendMailOrder.php', { token: customer.token, ...form })));
    assert.deepEqual(answers.map((a) => a.status()), Array(CUSTOMERS).fill(303));

    const text = shop.orders().toString('utf8');
    const records = parseOrders(text);
    assert.equal(records.length, CUSTOMERS);
    assert.equal(text.split('::-\r\n').length - 1, CUSTOMERS, 'each record ends with "::-" and a line break');
    for (const { n, qty } of customers) {
        const mine = records.filter((r) => r.name === `Customer ${n}`);
        assert.equal(mine.length, 1, `one record for customer ${n}`);
        const [record] = mine;
        assert.match(record.date, /^\d\d\/\d\d\/\d{4} \d\d:\d\d$/);
        assert.equal(record.address,
            `${n} Long Road\r\n${'Town '.repeat(60).trim()}\r\nCounty ${n}\r\nContact: 01234 567890`);
        const price = qty + 0.5;
        const line = (qty * price).toFixed(2);
        const total = (qty * price + 1234.5).toLocaleString('en-GB', { minimumFractionDigits: 2 });
        assert.equal(record.items, `${qty} x Garden tool ${n} (Garden Tools) at £${price.toFixed(2)} each = £${line}¬`
            + `1 x Saffron (Épicerie fine) at £1,234.50 per 10 g = £1,234.50¬Total: £${total}¬`);
    }

    // Each customer was told a different number, and number k is the k-th record of the file,
    // which is how the owner's program numbers them.
    const numbers = [];
    for (const { customer, n } of customers) {
        const done = await (await customer.get('confirmOrder.php?step=done')).text();
        const number = done.match(/Order number <strong>(\d{5})<\/strong>/)[1];
        numbers.push(number);
        assert.equal(records[Number(number) - 1].name, `Customer ${n}`, `order ${number} is customer ${n}'s`);
        await customer.close();
    }
    assert.deepEqual(numbers.sort(), Array.from({ length: CUSTOMERS }, (_, i) => String(i + 1).padStart(5, '0')));
    assert.deepEqual(server.phpProblems(), []);
});
