// What placing an order costs on php -S: the 1st order of a shop beside the 10,001st, median of
// several rounds each, in one run. The pages append without reading the list, so the ratio must
// stay within 1.5.
// Run: node bench/store/order-cost.mjs   (bench/run does)

import fs from 'node:fs';
import path from 'node:path';
import { buildShop, httpCustomer, PRIVATE_HEAD, startPhp } from '../../tests/store/lib/shop.mjs';
import { DEPARTMENTS, SETTINGS } from '../../tests/store/lib/fixtures.mjs';

const ROUNDS = 9;
const LIMIT = 1.5;

const shop = buildShop({ settings: SETTINGS, departments: DEPARTMENTS });
const php = await startPhp(shop.root, { workers: 1 });
const list = path.join(shop.store, 'orders.php');
const counter = path.join(shop.store, 'ordercount.php');
const rate = path.join(shop.store, 'orderrate.php');

// 10,000 records as the pages write them, a little over 300 bytes each.
const record = (i) => `::06/12/2026 14:03¬Customer ${i} Smith¬${i} High Street\r\nLudlow\r\nSY8 1AA\r\n`
    + `Contact: 01234 ${String(i).padStart(6, '0')}¬2 x Garden tool 03 (Garden Tools) at £3.50 each = £7.00¬`
    + '1 x Saffron (Épicerie fine) at £1,234.50 per 10 g = £1,234.50¬Total: £1,241.50¬::-\r\n';
const full = Buffer.concat([PRIVATE_HEAD, Buffer.from(Array.from({ length: 10000 }, (_, i) => record(i + 1)).join(''))]);

function setList(orders) {
    fs.rmSync(rate, { force: true });
    if (orders === 0) {
        fs.rmSync(list, { force: true });
        fs.rmSync(counter, { force: true });
        return;
    }
    fs.writeFileSync(list, full);
    fs.writeFileSync(counter, Buffer.concat([PRIVATE_HEAD, Buffer.from(String(orders))]));
}

async function placeOne(orders) {
    setList(orders);
    const customer = await httpCustomer(php.base);
    const form = await customer.readyToOrder([['Garden Tools', 2, 2], ['Épicerie fine', 2, 1]],
        { name: 'Bench Customer', address: '1 Bench Road\nLudlow' });
    const started = process.hrtime.bigint();
    const answer = await customer.post('sendMailOrder.php', { token: customer.token, ...form });
    const ms = Number(process.hrtime.bigint() - started) / 1e6;
    const done = await (await customer.get('confirmOrder.php?step=done')).text();
    await customer.close();
    const expected = String(orders + 1).padStart(5, '0');
    if (answer.status() !== 303 || !done.includes(`<strong>${expected}</strong>`)) {
        throw new Error(`order ${expected} was not placed (HTTP ${answer.status()})`);
    }
    return ms;
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
try {
    const first = [];
    const later = [];
    // Taken in turns, so that a machine that slows down meanwhile weighs on both alike.
    for (let round = 0; round < ROUNDS; ++round) {
        first.push(await placeOne(0));
        later.push(await placeOne(10000));
    }
    const ratio = median(later) / median(first);
    console.log(`Placing an order on php -S, median of ${ROUNDS} rounds`);
    console.log(`  the 1st order       ${median(first).toFixed(2)} ms`);
    console.log(`  the 10,001st order  ${median(later).toFixed(2)} ms  (list of ${full.length} bytes)`);
    console.log(`  ratio ${ratio.toFixed(2)}x (at most ${LIMIT}x)`);
    process.exitCode = ratio <= LIMIT ? 0 : 1;
} finally {
    await php.stop();
    shop.remove();
}
