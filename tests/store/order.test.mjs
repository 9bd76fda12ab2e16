// Shopping as a customer in chromium, from the basket to the confirmation page, at desktop and
// phone size; the order list is then checked byte for byte, and the owner's e-mail copy is read from
// a stand-in for sendmail. A failing or hanging mail must neither lose nor hold up an order.
// Run: node --test tests/store/order.test.mjs   (or ctest -L web in the build folder)

import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { buildShop, follow, httpCustomer, launchBrowser, orderDate, parseOrders, startPhp, waitForCount }
    from './lib/shop.mjs';
import { DEPARTMENTS, SETTINGS } from './lib/fixtures.mjs';

let shop;
let server;
let chromium;
let mailDir;

function sendmailStandIn(dir, body) {
    const script = path.join(dir, 'sendmail');
    fs.writeFileSync(script, `#!/bin/sh\n${body}\n`, { mode: 0o755 });
    return script;
}

before(async () => {
    mailDir = fs.mkdtempSync(path.join(os.tmpdir(), 'kiosk-mail-'));
    shop = buildShop({ settings: SETTINGS, departments: DEPARTMENTS });
    const sendmail = sendmailStandIn(mailDir, `cat > "${mailDir}/mail-$$.eml"`);
    server = await startPhp(shop.root, { ini: { sendmail_path: sendmail } });
    chromium = await launchBrowser();
});

after(async () => {
    await chromium?.close();
    await server?.stop();
    shop?.remove();
    fs.rmSync(mailDir, { recursive: true, force: true });
});

const departmentLink = (page, name) =>
    page.getByRole('navigation', { name: 'Departments' }).getByRole('link', { name, exact: true });

async function addToBasket(page, slot, qty) {
    const card = page.locator(`#product-${slot}`);
    await card.getByLabel('Quantity').fill(String(qty));
    await follow(card.getByRole('button', { name: /Add to basket/ }));
    await page.locator(`#product-${slot} .product-note`).waitFor();
}

const basketLine = (page, title) => page.locator('tr.basket-line').filter({ hasText: title });
const basketTotal = async (page) => (await page.locator('.basket-total').innerText()).trim();
const lineTotal = async (page, title) => (await basketLine(page, title).locator('.line-total').innerText()).trim();
const basketCount = async (page) => (await page.locator('.basket-count').innerText()).trim();

/** Goes through the checkout from the basket page; gives the moments before and after placing. */
async function checkout(page, { name, address, contact = '' }) {
    await follow(page.getByRole('link', { name: 'Checkout' }));
    await page.getByLabel('Your name').fill(name);
    await page.getByLabel('Delivery address').fill(address);
    if (contact) {
        await page.getByLabel(/Telephone or e-mail/).fill(contact);
    }
    await follow(page.getByRole('button', { name: 'Check your order' }));
    assert.equal(await page.getByRole('heading', { level: 1 }).innerText(), 'Check your order');
    const before = new Date();
    await follow(page.getByRole('button', { name: 'Place order' }));
    await page.locator('.order-number').waitFor();
    return { before, after: new Date() };
}

/** The record's date must be the time it was placed, in the pages' "dd/mm/yyyy hh:mm". */
function placedDate(record, { before, after }) {
    const date = record.slice(2, record.indexOf('¬'));
    assert.match(date, /^\d\d\/\d\d\/\d{4} \d\d:\d\d$/);
    assert.ok([orderDate(before), orderDate(after)].includes(date), `${date} is the time of the order`);
    return date;
}

/** The mails the sendmail stand-in has received, once there are at least `count` (they go out after the answer). */
async function waitForMails(count) {
    let mails = [];
    for (let i = 0; i < 100; ++i) {
        mails = fs.readdirSync(mailDir).filter((f) => f.endsWith('.eml'))
            .map((f) => fs.readFileSync(path.join(mailDir, f), 'utf8'));
        if (mails.length >= count && mails.every((m) => m.includes('kioskSmith collects this order'))) {
            break;
        }
        await new Promise((r) => setTimeout(r, 50));
    }
    return mails;
}

const expectedRecords = [];

describe('a customer places an order', () => {
    test('on a desktop: basket, details, review, confirmation, and the record byte for byte', async () => {
        const { context, page, problems } = await chromium.customer('desktop');
        await page.goto(server.base + 'index.php');
        assert.equal(await basketCount(page), '0 items');

        await follow(departmentLink(page, 'Garden Tools'));
        await addToBasket(page, 2, 2);
        assert.match(await page.locator('#product-2 .product-note').innerText(),
            /Added 2 × Garden tool 03 to your basket/, 'the message stands beside the product');
        assert.equal(await basketCount(page), '2 items');
        await follow(page.getByRole('link', { name: 'Last page' }));
        await addToBasket(page, 21, 1);
        assert.equal(await page.locator('.pager-status').innerText(), 'Page 3 of 3', 'back on the page it was added from');
        await follow(departmentLink(page, 'Épicerie fine'));
        await addToBasket(page, 2, 1);
        await follow(departmentLink(page, 'Dairy 10'));
        await addToBasket(page, 0, 1);
        assert.equal(await basketCount(page), '5 items');

        await follow(page.locator('.basket-link'));
        await waitForCount(page.locator('tr.basket-line'), 4);
        const tool22 = basketLine(page, 'Garden tool 22');
        await tool22.getByLabel('Quantity of Garden tool 22').fill('3');
        await follow(tool22.getByRole('button', { name: /Update/ }));
        assert.equal(await lineTotal(page, 'Garden tool 22'), '£67.50');
        await follow(basketLine(page, 'Goat cheese').getByRole('button', { name: /Remove/ }));
        await waitForCount(page.locator('tr.basket-line'), 3);
        assert.equal(await lineTotal(page, 'Garden tool 03'), '£7.00');
        assert.equal(await lineTotal(page, 'Saffron'), '£1,234.50');
        assert.equal(await basketTotal(page), '£1,309.00');

        const times = await checkout(page, {
            name: 'Zoë Łukasz-O\'Brien',
            address: "  12 Rue de l'Église  \n Appartement 3\n\nParis 75001\n",
            contact: '+33 1 23 45 67 89',
        });
        assert.equal(await page.getByRole('heading', { level: 1 }).innerText(), 'Thank you, Zoë Łukasz-O\'Brien!');
        assert.equal(await page.locator('.order-number strong').innerText(), '00001');
        assert.equal(await basketTotal(page), '£1,309.00');
        assert.equal(await basketCount(page), '0 items', 'the basket is empty after the order');

        const file = shop.orders();
        const date = placedDate(file.toString('utf8'), times);
        expectedRecords.push(Buffer.from(`::${date}¬Zoë Łukasz-O'Brien¬12 Rue de l'Église\r\nAppartement 3\r\n`
            + 'Paris 75001\r\nContact: +33 1 23 45 67 89¬'
            + '2 x Garden tool 03 (Garden Tools) at £3.50 each = £7.00¬'
            + '3 x Garden tool 22 (Garden Tools) at £22.50 each = £67.50¬'
            + '1 x Saffron (Épicerie fine) at £1,234.50 per 10 g = £1,234.50¬'
            + 'Total: £1,309.00¬::-\r\n'));
        assert.deepEqual(file, Buffer.concat(expectedRecords));

        // Reloading the confirmation, or sending the order form again, places nothing more.
        await page.reload();
        assert.equal(await page.locator('.order-number strong').innerText(), '00001');
        await page.goBack();
        assert.deepEqual(shop.orders(), Buffer.concat(expectedRecords));
        assert.deepEqual(problems, []);
        await context.close();
    });

    test('on a phone: from a product page, prices typed in both styles; the record is appended', async () => {
        const { context, page, problems } = await chromium.customer('phone');
        await page.goto(server.base + 'index.php');
        await follow(departmentLink(page, 'Dairy 9'));
        await follow(page.getByRole('link', { name: 'Butter' }));
        assert.equal(await page.getByRole('heading', { level: 1 }).innerText(), 'Butter');
        await page.getByLabel('Quantity').fill('2');
        await follow(page.getByRole('button', { name: /Add to basket/ }));
        await page.locator('.product-note').waitFor();
        assert.equal(await page.getByRole('heading', { level: 1 }).innerText(), 'Butter', 'stays on the product page');
        await follow(departmentLink(page, 'Épicerie fine'));
        await addToBasket(page, 0, 1);
        await follow(page.locator('.basket-link'));
        assert.equal(await lineTotal(page, 'Butter'), '£4.20');
        assert.equal(await lineTotal(page, 'Café crème'), '£1.234,50');
        assert.equal(await basketTotal(page), '£1,238.70');

        const times = await checkout(page, { name: 'Anna Müller', address: 'Hauptstraße 5\n10115 Berlin',
            contact: 'anna@example.invalid' });
        assert.equal(await page.locator('.order-number strong').innerText(), '00002');
        const records = parseOrders(shop.orders().toString('utf8'));
        assert.equal(records.length, 2);
        const date = records[1].date;
        assert.ok([orderDate(times.before), orderDate(times.after)].includes(date));
        expectedRecords.push(Buffer.from(`::${date}¬Anna Müller¬Hauptstraße 5\r\n10115 Berlin\r\nContact: anna@example.invalid¬`
            + '2 x Butter (Dairy 9) at £2.10 250 g = £4.20¬'
            + '1 x Café crème (Épicerie fine) at £1.234,50 the sack = £1.234,50¬'
            + 'Total: £1,238.70¬::-\r\n'));
        assert.deepEqual(shop.orders(), Buffer.concat(expectedRecords));
        assert.deepEqual(problems, []);
        await context.close();
    });

    test('the owner gets an e-mail copy of each order, in UTF-8, to the shop\'s address', async () => {
        const mails = await waitForMails(2);
        assert.equal(mails.length, 2);
        const first = mails.find((m) => m.includes('Order number: 00001'));
        assert.ok(first, 'the first order was mailed');
        const split = first.search(/\r?\n\r?\n/);
        const head = first.slice(0, split);
        const body = first.slice(split);
        assert.match(head, /^To: orders@cafe-lumiere\.invalid\r?$/m);
        assert.match(head, /^Content-Type: text\/plain; charset=UTF-8\r?$/m);
        const subject = head.match(/^Subject: (.*?)\r?$/m)[1].replace(/\?= =\?/g, '?==?')
            .replace(/=\?UTF-8\?B\?([^?]*)\?=/g, (_, b64) => Buffer.from(b64, 'base64').toString('utf8'));
        assert.equal(subject, 'New order 00001 from Zoë Łukasz-O\'Brien');
        for (const line of ['Name: Zoë Łukasz-O\'Brien', '12 Rue de l\'Église', 'Contact: +33 1 23 45 67 89',
            '2 x Garden tool 03 (Garden Tools) at £3.50 each = £7.00', 'Total: £1,309.00']) {
            assert.ok(body.includes(line), `mail has ${line}`);
        }
    });
});

describe('the basket', () => {
    test('adds up, changes and removes lines, with totals written the way the owner types prices', async () => {
        const { context, page } = await chromium.customer('desktop');
        await page.goto(server.base + 'store.php?dept=%C3%89picerie%20fine');
        await addToBasket(page, 0, 2);
        await follow(page.locator('.basket-link'));
        assert.equal(await lineTotal(page, 'Café crème'), '£2.469,00', '1.234,50 × 2 with the comma as decimal mark');
        assert.equal(await basketTotal(page), '£2.469,00');

        await page.goto(server.base + 'store.php?dept=%C3%89picerie%20fine');
        await addToBasket(page, 2, 1);
        await addToBasket(page, 2, 2);
        await follow(page.locator('.basket-link'));
        assert.equal(await basketLine(page, 'Saffron').getByLabel('Quantity of Saffron').inputValue(), '3',
            'adding again adds to the line');
        assert.equal(await lineTotal(page, 'Saffron'), '£3,703.50');
        assert.equal(await basketTotal(page), '£6.172,50');
        assert.equal(await basketCount(page), '5 items');

        await basketLine(page, 'Café crème').getByLabel('Quantity of Café crème').fill('0');
        await follow(basketLine(page, 'Café crème').getByRole('button', { name: /Update/ }));
        await waitForCount(page.locator('tr.basket-line'), 1); // quantity 0 takes the line out
        assert.equal(await basketTotal(page), '£3,703.50');

        await follow(basketLine(page, 'Saffron').getByRole('button', { name: /Remove/ }));
        await page.getByText('Your basket is empty').waitFor();
        await waitForCount(page.locator('tr.basket-line'), 0);
        assert.equal(await page.getByRole('link', { name: 'Checkout' }).count(), 0);

        await page.goto(server.base + 'store.php?dept=Garden%20Tools');
        await addToBasket(page, 0, 1);
        await follow(page.locator('.basket-link'));
        await follow(page.getByRole('button', { name: 'Empty basket' }));
        assert.match(await page.locator('main').innerText(), /Your basket is empty/);
        await context.close();
    });
});

describe('the owner\'s e-mail copy', () => {
    test('line breaks typed into the name never reach a mail header', async () => {
        const before = (await waitForMails(2)).length;
        const customer = await httpCustomer(server.base);
        const form = await customer.readyToOrder([['Garden Tools', 0, 1]],
            { name: 'Mallory\r\nBcc: victim@example.invalid\r\nX-Evil: 1', address: '1 Road' });
        const response = await customer.post('sendMailOrder.php', { token: customer.token, ...form });
        assert.equal(response.status(), 303);
        await customer.close();
        const mail = (await waitForMails(before + 1)).find((m) => m.includes('Mallory'));
        assert.ok(mail, 'the order was mailed');
        const head = mail.slice(0, mail.search(/\r?\n\r?\n/));
        assert.doesNotMatch(head, /^(Bcc|X-Evil):/im);
        const record = parseOrders(shop.orders().toString('utf8')).at(-1);
        assert.equal(record.name, 'Mallory Bcc: victim@example.invalid X-Evil: 1');
    });
});

describe('when the host cannot send the e-mail', () => {
    const cases = [
        ['fails', 'cat > /dev/null; exit 1'],
        ['hangs for 20 seconds', 'cat > /dev/null; sleep 20'],
    ];
    for (const [what, script] of cases) {
        test(`a mail that ${what} neither loses nor holds up the order`, async () => {
            const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'kiosk-badmail-'));
            const own = buildShop({ settings: SETTINGS, departments: DEPARTMENTS });
            const php = await startPhp(own.root, { ini: { sendmail_path: sendmailStandIn(dir, script) } });
            try {
                const customer = await httpCustomer(php.base);
                const form = await customer.readyToOrder([['Dairy 9', 0, 1]], { name: 'Pat', address: '2 Lane' });
                const started = Date.now();
                const response = await customer.post('sendMailOrder.php', { token: customer.token, ...form });
                const waited = Date.now() - started;
                assert.equal(response.status(), 303);
                assert.equal(response.headers().location, 'confirmOrder.php?step=done');
                assert.ok(waited < 5000, `the customer had an answer after ${waited} ms`);
                const done = await (await customer.get('confirmOrder.php?step=done')).text();
                assert.match(done, /Order number <strong>00001<\/strong>/);
                const records = parseOrders(own.orders().toString('utf8'));
                assert.equal(records.length, 1);
                assert.equal(records[0].name, 'Pat');
                await customer.close();
                assert.deepEqual(php.phpProblems(), []);
            } finally {
                await php.stop();
                own.remove();
                fs.rmSync(dir, { recursive: true, force: true });
            }
        });
    }
});

test('PHP reported no warnings or errors while serving these pages', () => {
    assert.deepEqual(server.phpProblems(), []);
});
