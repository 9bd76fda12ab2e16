// Shared by the web shop tests: a published shop tree as the program lays it out, served by `php -S`
// on 127.0.0.1 and seen in Debian's chromium through @playwright/test (`npm ci` in tests/browser).

import { spawn } from 'node:child_process';
import { once } from 'node:events';
import { createRequire } from 'node:module';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before } from 'node:test';
import { DEPARTMENTS, SETTINGS } from './fixtures.mjs';

const sourceDir = process.env.KIOSK_SOURCE_DIR || path.resolve(import.meta.dirname, '../../..');
const storeSource = path.join(sourceDir, 'store');

const playwright = (() => {
    try {
        return createRequire(path.join(sourceDir, 'tests/browser/package.json'))('@playwright/test');
    } catch (error) {
        throw new Error(`@playwright/test is missing: run \`npm ci\` in tests/browser (scripts/test does). ${error.message}`);
    }
})();

/** Playwright's auto-waiting expect(), given the same 10 s as the pages' actions for a busy machine. */
export const expect = playwright.expect.configure({ timeout: 10000 });
export const heading = (page) => expect(page.getByRole('heading', { level: 1 }));

// Windows-1252, as the program writes its files: Latin-1 but for these at 0x80-0x9F.
const HIGH = '€\x81‚ƒ„…†‡ˆ‰Š‹Œ\x8DŽ\x8F\x90‘’“”•–—˜™š›œ\x9DžŸ';

export function win1252(text) {
    return Buffer.from([...text].map((ch) => {
        const code = HIGH.includes(ch) ? 0x80 + HIGH.indexOf(ch) : ch.codePointAt(0);
        if (code < 0x100 && (code < 0x80 || code >= 0xA0 || HIGH.includes(ch))) return code;
        throw new Error(`no Windows-1252 byte for ${JSON.stringify(ch)} in ${JSON.stringify(text)}`);
    }));
}

const settingsBytes = (changes = {}) =>
    win1252(Object.values({ ...SETTINGS, ...changes }).map((line) => line + '\r\n').join(''));

/** productdetails.nif: per product "index¬title¬d1¬d2¬d3¬price¬unit¬pd1¬pd2¬" CR LF. */
function productDetailsBytes(products) {
    return Buffer.concat(products.map((p, i) => win1252([i, p.title, p.d1, p.d2, p.d3, p.price, p.unit, p.pd1, p.pd2]
        .map((f) => (f ?? '') + '¬').join('') + '\r\n')));
}

// The order list's secret as the upload gives it to the shop, and the private files' first line.
export const ORDER_KEY = 'a3f1c2e4b5d6978812345678abcdef0123456789abcdef0123456789abcdef01';
export const PRIVATE_HEAD = Buffer.from('<?php http_response_code(404); exit; __halt_compiler();\n');
export const LIST_MARK = 'kioskSmith order list 1\r\n';

/** Asks collectOrders.php for the list as the program does: a POST with the secret in a header. */
export async function collectOrders(base, key = ORDER_KEY) {
    const headers = key === null ? {} : { 'X-Kiosk-Order-Key': key };
    const response = await fetch(new URL('collectOrders.php', base), { method: 'POST', headers });
    return { status: response.status, body: Buffer.from(await response.arrayBuffer()) };
}

/** The published tree <root>/kioskSmith/{pages, gfx/, store/}; departments: { "Folder": { products, pictures: [slot...] } }. */
export function buildShop({ departments = DEPARTMENTS, extra = () => {} } = {}) {
    const root = fs.mkdtempSync(path.join(os.tmpdir(), 'kiosk-shop-'));
    const shop = path.join(root, 'kioskSmith');
    const store = path.join(shop, 'store');
    fs.mkdirSync(path.join(shop, 'gfx'), { recursive: true });
    fs.mkdirSync(store);
    for (const name of fs.readdirSync(storeSource).filter((n) => n.endsWith('.php') || n === 'kioskSmith.css')) {
        fs.copyFileSync(path.join(storeSource, name), path.join(shop, name));
    }
    for (const name of fs.readdirSync(path.join(storeSource, 'gfx'))) {
        const to = name === 'no_image_available.jpg' ? store : path.join(shop, 'gfx');
        fs.copyFileSync(path.join(storeSource, 'gfx', name), path.join(to, name));
    }
    fs.writeFileSync(path.join(store, 'orderkey.php'), `<?php return '${ORDER_KEY}';\n`);
    fs.writeFileSync(path.join(store, 'storesettings.txt'), settingsBytes());
    for (const [name, department] of Object.entries(departments)) {
        const folder = path.join(store, name);
        fs.mkdirSync(folder);
        fs.writeFileSync(path.join(folder, 'productdetails.nif'), productDetailsBytes(department.products ?? []));
        for (const slot of department.pictures ?? []) {
            fs.copyFileSync(path.join(storeSource, 'gfx', 'shopping-trolley.jpg'), path.join(folder, `${slot}.jpeg`));
        }
    }
    extra({ root, shop, store });
    const ordersFile = path.join(store, 'orders.php');
    return {
        root, shop, store,
        /** The private list's records, after its guard line. */
        orders: () => {
            const bytes = fs.existsSync(ordersFile) ? fs.readFileSync(ordersFile) : PRIVATE_HEAD;
            assert.ok(bytes.subarray(0, PRIVATE_HEAD.length).equals(PRIVATE_HEAD), 'orders.php keeps its guard line');
            return bytes.subarray(PRIVATE_HEAD.length);
        },
        records() { return parseOrders(this.orders().toString('utf8')); },
        setSettings: (changes) => fs.writeFileSync(path.join(store, 'storesettings.txt'), settingsBytes(changes)),
        remove: () => fs.rmSync(root, { recursive: true, force: true }),
    };
}

// php -S leads a process group of its own, so its workers end with it, also when a run ends early.
const running = new Set();
const killTree = (pid) => { try { process.kill(-pid, 'SIGKILL'); } catch { /* already gone */ } };
process.on('exit', () => running.forEach(killTree));
for (const signal of ['SIGINT', 'SIGTERM']) process.once(signal, () => process.exit(130));

/** Serves `root` with php -S; ini: extra -d settings; workers > 1 lets requests run side by side, as on a host. */
export async function startPhp(root, { ini = {}, workers = 4 } = {}) {
    const sessions = fs.mkdtempSync(path.join(os.tmpdir(), 'kiosk-sessions-'));
    const settings = { 'session.save_path': sessions, 'date.timezone': 'UTC', error_reporting: '32767',
        log_errors: '1', display_errors: '0', sendmail_path: '/bin/false', ...ini };
    const args = ['-S', '127.0.0.1:0', '-t', root, ...Object.entries(settings).flatMap(([k, v]) => ['-d', `${k}=${v}`])];
    const child = spawn('php', args, { detached: true, stdio: ['ignore', 'pipe', 'pipe'],
        env: { ...process.env, PHP_CLI_SERVER_WORKERS: String(workers) } });
    running.add(child.pid);
    let log = '';
    // Given port 0, php -S names the port the system chose once its socket is listening.
    const address = await new Promise((resolve, reject) => {
        const read = (data) => {
            log += data;
            const started = log.match(/\(http:\/\/(127\.0\.0\.1:\d+)\) started/);
            if (started) resolve(started[1]);
        };
        child.stdout.on('data', read);
        child.stderr.on('data', read);
        child.once('exit', (code) => reject(new Error(`php -S ended at once (exit ${code}): ${log}`)));
    });
    return {
        base: `http://${address}/kioskSmith/`,
        /** PHP's own complaints (warnings, notices, errors) since the start: a clean page has none. */
        phpProblems: () => log.split('\n').filter((line) => /PHP (Warning|Notice|Deprecated|Fatal|Parse)/.test(line)),
        async stop() {
            if (child.exitCode === null && child.signalCode === null) {
                const exited = once(child, 'exit');
                killTree(child.pid);
                await exited;
            }
            running.delete(child.pid);
            fs.rmSync(sessions, { recursive: true, force: true });
        },
    };
}

const VIEWPORTS = { desktop: { viewport: { width: 1280, height: 800 } }, phone: playwright.devices['Pixel 5'] };

export async function launchBrowser() {
    const home = fs.mkdtempSync(path.join(os.tmpdir(), 'kiosk-chromium-home-'));
    process.env.HOME = home; // chromium writes below $HOME
    const browser = await playwright.chromium.launch({
        executablePath: process.env.KIOSK_CHROMIUM || '/usr/bin/chromium',
        headless: true,
        args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
            '--disable-component-update', '--disable-sync'],
    });
    const problems = [];
    return {
        /** A fresh customer (own cookies) in the given viewport; any page script error or dialog is recorded. */
        async customer(viewport = 'desktop') {
            const context = await browser.newContext(VIEWPORTS[viewport]);
            context.setDefaultTimeout(10000);
            const page = await context.newPage();
            page.on('dialog', async (dialog) => { problems.push(`dialog: ${dialog.message()}`); await dialog.dismiss(); });
            page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
            return { context, page, problems };
        },
        /** Every customer's script errors and dialogs so far: a clean shop has none. */
        problems: () => [...problems],
        async close() {
            await browser.close();
            fs.rmSync(home, { recursive: true, force: true });
        },
    };
}

/**
 * The shop a file's or describe()'s tests run against, in chromium unless `browser` is false; ended
 * after them, failing on PHP's complaints (an unparsable page among them) and on page script errors or dialogs.
 */
export function suiteShop({ browser = true, ini, workers, ...shopOptions } = {}) {
    const env = {};
    before(async () => {
        env.shop = buildShop(shopOptions);
        env.server = await startPhp(env.shop.root, { ini, workers });
        env.chromium = browser ? await launchBrowser() : null;
    });
    after(async () => {
        const problems = env.server?.phpProblems() ?? [];
        const pageProblems = env.chromium?.problems() ?? [];
        await env.chromium?.close();
        await closeHttpCustomers();
        await env.server?.stop();
        env.shop?.remove();
        assert.deepEqual(problems, [], 'PHP warnings or errors while serving the pages');
        assert.deepEqual(pageProblems, [], 'script errors or dialogs in the pages');
    });
    return env;
}

/** Splits the order list into records "::" date "¬" name "¬" address "¬" items "::-" CR LF, and nothing else. */
export function parseOrders(text) {
    const records = [...text.matchAll(/::([^¬]*)¬([^¬]*)¬([^¬]*)¬(.*?)::-\r\n/gs)];
    assert.equal(records.map((m) => m[0]).join(''), text, 'the list holds whole records only');
    return records.map(([, date, name, address, items]) => ({ date, name, address, items }));
}

/** The token, order reference and basket check a page's forms carry. */
function formValues(html) {
    const value = (name) => html.match(new RegExp(`name="${name}" value="([^"]*)"`))?.[1] ?? '';
    return { token: value('token'), order: value('order'), check: value('check') };
}

/** "06/12/2026 14:03" for a moment, in UTC as the test server runs. */
export const orderDate = (date) => date.toISOString().replace(/^(\d+)-(\d+)-(\d+)T(\d\d:\d\d).*/, '$3/$2/$1 $4');

const httpContexts = new Set();
const closeHttpCustomers = () => Promise.all([...httpContexts].map((ctx) => ctx.dispose())).then(() => httpContexts.clear());

/** A customer over plain HTTP with its own cookies, for requests no page would send; ended with the shop. */
export async function httpCustomer(base) {
    const ctx = await playwright.request.newContext({ baseURL: base });
    httpContexts.add(ctx);
    const customer = {
        token: '',
        get: (url) => ctx.get(url, { maxRedirects: 0 }),
        // The session's token unless `form` names another (undefined: none at all).
        post: (url, form) => ctx.post(url, { maxRedirects: 0, form: Object.fromEntries(
            Object.entries({ token: customer.token, ...form }).filter(([, value]) => value !== undefined)) }),
        add: (dept, item, qty, action = 'add') => customer.post('basket.php', { action, dept, item: String(item), qty: String(qty) }),
        /** Loads a page with forms and keeps its session token. */
        async open(url = 'store.php?dept=Garden%20Tools') {
            customer.token = formValues(await (await ctx.get(url)).text()).token;
            return customer;
        },
        /** The basket's lines as its page shows them: [title, quantity]. */
        async basket() {
            const html = await (await ctx.get('basket.php')).text();
            return [...html.matchAll(/<a href="getdetails[^"]*">([^<]*)<\/a>.*?name="qty" value="(\d+)"/gs)]
                .map((m) => [m[1], Number(m[2])]);
        },
        /** Fills the basket and the customer's details, up to the review page; gives its form values. */
        async readyToOrder(items, details) {
            if (!customer.token) await customer.open();
            for (const [dept, item, qty] of items) {
                const r = await customer.add(dept, item, qty);
                assert.equal(r.status(), 303, `adding ${dept}/${item}`);
            }
            const r = await customer.post('confirmOrder.php', { action: 'details', name: '', address: '',
                contact: '01234 567890', website: '', ...details });
            if (r.status() !== 303) throw new Error(`the details form answered ${r.status()}`);
            return formValues(await (await ctx.get('confirmOrder.php?step=review')).text());
        },
        /** Places the order reviewed last, with `form` as readyToOrder gave it. */
        place: (form, extra = {}) => customer.post('sendMailOrder.php', { ...form, ...extra }),
    };
    return customer;
}

/** On a department page: puts `qty` of product `slot` in the basket and waits for the note beside it. */
export async function addToBasket(page, slot, qty = 1) {
    const card = page.locator(`#product-${slot}`);
    await card.getByLabel('Quantity').fill(String(qty));
    await card.getByRole('button', { name: /Add to basket/ }).click();
    await expect(card.locator('.product-note')).toContainText(`Added ${qty} ×`);
}

/** From the basket link to the review page, with the customer's details typed in. */
export async function enterDetails(page, { name, address, contact }) {
    await page.locator('.basket-link').click();
    await page.getByRole('link', { name: 'Checkout' }).click();
    await page.getByLabel('Your name').fill(name);
    await page.getByLabel('Delivery address').fill(address);
    await page.getByLabel(/Telephone or e-mail/).fill(contact);
    await page.getByRole('button', { name: 'Check your order' }).click();
}

/** On the review page: places the order and gives its number. */
export async function placeOrder(page) {
    await page.getByRole('button', { name: 'Place order' }).click();
    const number = page.locator('.order-number strong');
    await expect(number).toHaveText(/^\d{5}$/);
    return (await number.innerText()).trim();
}
