// Twenty customers press "Place order" at the same moment: the list must then hold twenty whole
// records, none interleaved, each customer with a number of their own (counted under the append's
// lock). Twenty a minute is also as many as one address may place.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { httpCustomer, suiteShop } from './lib/shop.mjs';

const env = suiteShop({ browser: false, workers: 8 });

test('20 orders posted at once give 20 intact records with their own numbers', async () => {
    const customers = [];
    for (let qty = 1; qty <= 20; ++qty) {
        const customer = await httpCustomer(env.server.base);
        const n = String(qty).padStart(2, '0');
        // Long records make a torn write more likely to show.
        const form = await customer.readyToOrder([['Garden Tools', qty - 1, qty], ['Épicerie fine', 2, 1]],
            { name: `Customer ${n}`, address: `${n} Long Road\n${'Town '.repeat(60)}\nCounty ${n}` });
        customers.push({ customer, form, n, qty });
    }
    const answers = await Promise.all(customers.map(({ customer, form }) => customer.place(form)));
    assert.deepEqual(answers.map((a) => a.status()), Array(20).fill(303));

    // records() takes whole records only, each ending in "::-" and a line break.
    const records = env.shop.records();
    assert.equal(records.length, 20);
    for (const { customer, n, qty } of customers) {
        const price = qty + 0.5;
        const total = (qty * price + 1234.5).toLocaleString('en-GB', { minimumFractionDigits: 2 });
        assert.deepEqual(records.filter((r) => r.name === `Customer ${n}`).map(({ date, ...r }) => r), [{
            name: `Customer ${n}`,
            address: `${n} Long Road\r\n${'Town '.repeat(60).trim()}\r\nCounty ${n}\r\nContact: 01234 567890`,
            items: `${qty} x Garden tool ${n} (Garden Tools) at £${price.toFixed(2)} each = £${(qty * price).toFixed(2)}¬`
                + `1 x Saffron (Épicerie fine) at £1,234.50 per 10 g = £1,234.50¬Total: £${total}¬`,
        }], `one whole record for customer ${n}`);
        // Number k is the k-th record, as the owner's program numbers them: one record each, so no number twice.
        const number = (await (await customer.get('confirmOrder.php?step=done')).text()).match(/Order number <strong>(\d{5})<\/strong>/)[1];
        assert.equal(records[Number(number) - 1]?.name, `Customer ${n}`, `order ${number} is customer ${n}'s`);
    }
});

test('the 21st order in a minute from one address is turned away', async () => {
    const customer = await httpCustomer(env.server.base);
    const answer = await customer.place(await customer.readyToOrder([['Dairy 9', 0, 1]], { name: 'Customer 21', address: 'Here' }));
    assert.equal(answer.status(), 429);
    assert.match(answer.headers()['content-type'], /^text\/plain/);
    assert.match(await answer.text(), /Nothing has been ordered/);
    assert.equal(env.shop.records().length, 20);
});
