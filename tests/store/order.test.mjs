// Shopping as a customer in chromium, from the basket to the confirmation page, at desktop and
// phone size; the order list is then checked byte for byte, and the owner's e-mail copy is read from
// a stand-in for sendmail. A failing or hanging mail must neither lose nor hold up an order.

import { after, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { addToBasket, enterDetails, expect, heading, httpCustomer, orderDate, placeOrder, suiteShop } from './lib/shop.mjs';

function sendmailStandIn(body) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'kiosk-mail-'));
    fs.writeFileSync(path.join(dir, 'sendmail'), `#!/bin/sh\n${body.replaceAll('DIR', dir)}\n`, { mode: 0o755 });
    after(() => fs.rmSync(dir, { recursive: true, force: true }));
    return { dir, sendmail: path.join(dir, 'sendmail') };
}

const mail = sendmailStandIn('cat > "DIR/mail-$$.eml"');
const env = suiteShop({ ini: { sendmail_path: mail.sendmail } });

const departmentLink = (page, name) =>
    page.getByRole('navigation', { name: 'Departments' }).getByRole('link', { name, exact: true });
const basketLine = (page, title) => page.locator('tr.basket-line').filter({ hasText: title });
const lineTotals = (page) => expect(page.locator('tr.basket-line .line-total'));
const basketTotal = (page) => expect(page.locator('.basket-total'));
const basketCount = (page) => expect(page.locator('.basket-count'));

async function setQuantity(page, title, qty) {
    await basketLine(page, title).getByLabel(`Quantity of ${title}`).fill(String(qty));
    await basketLine(page, title).getByRole('button', { name: /Update/ }).click();
}

/** Places the order on the review page; the record's date must be the time it was placed. */
async function placeAndDate(page) {
    const before = orderDate(new Date());
    const number = await placeOrder(page);
    const date = env.shop.records().at(-1).date;
    assert.ok([before, orderDate(new Date())].includes(date), `${date} is the time of the order`);
    return { number, date };
}

const expectedRecords = [];

describe('a customer places an order', () => {
    test('on a desktop: basket, details, review, confirmation, and the record byte for byte', async () => {
        const { page } = await env.chromium.customer('desktop');
        await page.goto(env.server.base + 'index.php');
        await basketCount(page).toHaveText('0 items');
        await departmentLink(page, 'Garden Tools').click();
        await addToBasket(page, 2, 2);
        await expect(page.locator('#product-2 .product-note')).toContainText('Added 2 × Garden tool 03 to your basket');
        await basketCount(page).toHaveText('2 items');
        await page.getByRole('link', { name: 'Last page' }).click();
        await addToBasket(page, 21, 1);
        await expect(page.locator('.pager-status')).toHaveText('Page 3 of 3'); // back on the page it was added from
        await departmentLink(page, 'Épicerie fine').click();
        await addToBasket(page, 2, 1);
        await departmentLink(page, 'Dairy 10').click();
        await addToBasket(page, 0, 1);
        await basketCount(page).toHaveText('5 items');

        await page.locator('.basket-link').click();
        await setQuantity(page, 'Garden tool 22', 3);
        await basketLine(page, 'Goat cheese').getByRole('button', { name: /Remove/ }).click();
        await lineTotals(page).toHaveText(['£7.00', '£67.50', '£1,234.50']);
        await basketTotal(page).toHaveText('£1,309.00');

        await enterDetails(page, { name: 'Zoë Łukasz-O\'Brien', address: "  12 Rue de l'Église  \n Appartement 3\n\nParis 75001\n",
            contact: '+33 1 23 45 67 89' });
        await heading(page).toHaveText('Check your order');
        const { number, date } = await placeAndDate(page);
        assert.equal(number, '00001');
        await heading(page).toHaveText('Thank you, Zoë Łukasz-O\'Brien!');
        await basketTotal(page).toHaveText('£1,309.00');
        await basketCount(page).toHaveText('0 items'); // the basket is empty after the order
        expectedRecords.push(`::${date}¬Zoë Łukasz-O'Brien¬12 Rue de l'Église\r\nAppartement 3\r\nParis 75001\r\n`
            + 'Contact: +33 1 23 45 67 89¬2 x Garden tool 03 (Garden Tools) at £3.50 each = £7.00¬'
            + '3 x Garden tool 22 (Garden Tools) at £22.50 each = £67.50¬'
            + '1 x Saffron (Épicerie fine) at £1,234.50 per 10 g = £1,234.50¬Total: £1,309.00¬::-\r\n');
        assert.equal(env.shop.orders().toString('utf8'), expectedRecords.join(''));

        // Reloading the confirmation places nothing more.
        await page.reload();
        await expect(page.locator('.order-number strong')).toHaveText('00001');
        assert.equal(env.shop.orders().toString('utf8'), expectedRecords.join(''));
    });

    test('on a phone: from a product page, a basket changed and totals in the owner\'s price styles; the record is appended', async () => {
        const { page } = await env.chromium.customer('phone');
        await page.goto(env.server.base + 'index.php');
        await departmentLink(page, 'Dairy 9').click();
        await page.getByRole('link', { name: 'Butter' }).click();
        await addToBasket(page, 0, 2);
        await heading(page).toHaveText('Butter'); // stays on the product page

        await departmentLink(page, 'Épicerie fine').click();
        await addToBasket(page, 0, 2);
        await addToBasket(page, 2, 1);
        await addToBasket(page, 2, 2);
        await page.locator('.basket-link').click();
        // 1.234,50 × 2 with the comma as decimal mark; adding again adds to the line.
        await lineTotals(page).toHaveText(['£4.20', '£2.469,00', '£3,703.50']);
        await expect(basketLine(page, 'Saffron').getByLabel('Quantity of Saffron')).toHaveValue('3');
        await basketCount(page).toHaveText('7 items');
        await setQuantity(page, 'Café crème', 1);
        await setQuantity(page, 'Saffron', 0);
        await lineTotals(page).toHaveText(['£4.20', '£1.234,50']); // quantity 0 takes the line out
        await basketTotal(page).toHaveText('£1,238.70');

        await enterDetails(page, { name: 'Anna Müller', address: 'Hauptstraße 5\n10115 Berlin', contact: 'anna@example.invalid' });
        const { number, date } = await placeAndDate(page);
        assert.equal(number, '00002');
        expectedRecords.push(`::${date}¬Anna Müller¬Hauptstraße 5\r\n10115 Berlin\r\nContact: anna@example.invalid¬`
            + '2 x Butter (Dairy 9) at £2.10 250 g = £4.20¬1 x Café crème (Épicerie fine) at £1.234,50 the sack = £1.234,50¬'
            + 'Total: £1,238.70¬::-\r\n');
        assert.equal(env.shop.orders().toString('utf8'), expectedRecords.join(''));

        await page.goto(env.server.base + 'store.php?dept=Garden%20Tools');
        await addToBasket(page, 0);
        await page.locator('.basket-link').click();
        await page.getByRole('button', { name: 'Empty basket' }).click();
        await expect(page.getByText('Your basket is empty')).toBeVisible();
        await expect(page.locator('tr.basket-line').or(page.getByRole('link', { name: 'Checkout' }))).toHaveCount(0);
    });

    test('the owner gets an e-mail copy of each order, in UTF-8, to the shop\'s address; typed line breaks reach no header', async () => {
        const customer = await httpCustomer(env.server.base);
        const form = await customer.readyToOrder([['Garden Tools', 0, 1]],
            { name: 'Mallory\r\nBcc: victim@example.invalid\r\nX-Evil: 1', address: '1 Road' });
        assert.equal((await customer.place(form)).status(), 303);
        assert.equal(env.shop.records().at(-1).name, 'Mallory Bcc: victim@example.invalid X-Evil: 1');
        // The mails go out after the answer: one for each of the three orders, once the stand-in has them whole.
        const mails = () => fs.readdirSync(mail.dir).filter((f) => f.endsWith('.eml'))
            .map((f) => fs.readFileSync(path.join(mail.dir, f), 'utf8'))
            .filter((m) => m.includes('kioskSmith collects this order'));
        await expect.poll(() => mails().length).toBe(3);
        const headOf = (m) => m.slice(0, m.search(/\r?\n\r?\n/));
        assert.doesNotMatch(headOf(mails().find((m) => m.includes('Mallory'))), /^(Bcc|X-Evil):/im);
        const first = mails().find((m) => m.includes('Order number: 00001'));
        const head = headOf(first);
        assert.match(head, /^To: orders@cafe-lumiere\.invalid\r?$/m);
        assert.match(head, /^Content-Type: text\/plain; charset=UTF-8\r?$/m);
        const subject = head.match(/^Subject: (.*?)\r?$/m)[1].replace(/\?= =\?/g, '?==?')
            .replace(/=\?UTF-8\?B\?([^?]*)\?=/g, (_, b64) => Buffer.from(b64, 'base64').toString('utf8'));
        assert.equal(subject, 'New order 00001 from Zoë Łukasz-O\'Brien');
        for (const line of ['Name: Zoë Łukasz-O\'Brien', '12 Rue de l\'Église', 'Contact: +33 1 23 45 67 89',
            '2 x Garden tool 03 (Garden Tools) at £3.50 each = £7.00', 'Total: £1,309.00']) {
            assert.ok(first.slice(head.length).includes(line), `mail has ${line}`);
        }
    });
});

for (const [what, script] of [['fails', 'cat > /dev/null; exit 1'], ['hangs for 20 seconds', 'cat > /dev/null; sleep 20']]) {
    describe(`when the host's mail ${what}`, () => {
        const own = suiteShop({ browser: false, ini: { sendmail_path: sendmailStandIn(script).sendmail } });
        test('the order is neither lost nor held up', async () => {
            const customer = await httpCustomer(own.server.base);
            const form = await customer.readyToOrder([['Dairy 9', 0, 1]], { name: 'Pat', address: '2 Lane' });
            const started = Date.now();
            const response = await customer.place(form);
            const waited = Date.now() - started;
            assert.equal(response.status(), 303);
            assert.equal(response.headers().location, 'confirmOrder.php?step=done');
            assert.ok(waited < 5000, `the customer had an answer after ${waited} ms`);
            assert.match(await (await customer.get('confirmOrder.php?step=done')).text(), /Order number <strong>00001<\/strong>/);
            assert.deepEqual(own.shop.records().map((r) => r.name), ['Pat']);
        });
    });
}
