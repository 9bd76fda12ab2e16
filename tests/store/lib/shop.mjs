// Shared by the web shop tests: builds a published shop tree the way the program lays it out on
// the server, serves it with `php -S` on 127.0.0.1, and drives Debian's chromium through
// playwright-core (installed by `npm ci` in tests/browser).

import { spawn } from 'node:child_process';
import { once } from 'node:events';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';

export const sourceDir = process.env.KIOSK_SOURCE_DIR || path.resolve(import.meta.dirname, '../../..');
const storeSource = path.join(sourceDir, 'store');

export function playwright() {
    const require = createRequire(path.join(sourceDir, 'tests/browser/package.json'));
    try {
        return require('playwright-core');
    } catch (error) {
        throw new Error('playwright-core is not installed: run `npm ci` in tests/browser (scripts/test does it). '
            + error.message);
    }
}

// ------------------------------------------------------------------------------------------------
// Windows-1252, as the program writes its files

const HIGH = [0x20AC, 0x81, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039,
    0x0152, 0x8D, 0x017D, 0x8F, 0x90, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122,
    0x0161, 0x203A, 0x0153, 0x9D, 0x017E, 0x0178];

export function win1252(text) {
    const bytes = [];
    for (const ch of text) {
        const code = ch.codePointAt(0);
        const high = HIGH.indexOf(code);
        if (high >= 0) {
            bytes.push(0x80 + high);
        } else if (code < 0x100 && !(code >= 0x80 && code < 0xA0)) {
            bytes.push(code);
        } else {
            throw new Error(`no Windows-1252 byte for U+${code.toString(16)} in ${JSON.stringify(text)}`);
        }
    }
    return Buffer.from(bytes);
}

export function fromWin1252(buffer) {
    let text = '';
    for (const byte of buffer) {
        text += byte >= 0x80 && byte < 0xA0 ? String.fromCodePoint(HIGH[byte - 0x80]) : String.fromCharCode(byte);
    }
    return text;
}

/** storesettings.txt: eight lines, CR LF, domain first. */
export function settingsBytes(settings) {
    const s = {
        domain: 'shop.invalid', storeName: 'Test shop', email: 'owner@shop.invalid', telephone: '01234 567890',
        currencySymbol: '£', banner: '1', basket: '1', productsPerPage: '10', ...settings,
    };
    const lines = [s.domain, s.storeName, s.email, s.telephone, s.currencySymbol, s.banner, s.basket,
        s.productsPerPage];
    return win1252(lines.map((line) => line + '\r\n').join(''));
}

/**
 * productdetails.nif: per product "index¬title¬d1¬d2¬d3¬price¬unit¬pd1¬pd2¬" CR LF, with the
 * separator as the byte 0xAC. A product is {title, d1, d2, d3, price, unit, pd1, pd2}.
 */
export function productDetailsBytes(products) {
    const parts = [];
    products.forEach((p, index) => {
        const fields = [String(index), p.title, p.d1 ?? '', p.d2 ?? '', p.d3 ?? '', p.price ?? '', p.unit ?? '',
            p.pd1 ?? '', p.pd2 ?? ''];
        parts.push(win1252(fields.map((f) => f + '¬').join('') + '\r\n'));
    });
    return Buffer.concat(parts);
}

// ------------------------------------------------------------------------------------------------
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

// ------------------------------------------------------------------------------------------------
// The published tree: <root>/kioskSmith/{pages, gfx/, store/}

/**
 * departments: { "Folder name": { products: [...], pictures: [slot, ...] } }. Pictures are real
 * JPEG files (one of the shop's own graphics), named by slot as the upload names them.
 */
export function buildShop({ settings = {}, departments = {}, extra = () => {} } = {}) {
    const root = fs.mkdtempSync(path.join(os.tmpdir(), 'kiosk-shop-'));
    const shop = path.join(root, 'kioskSmith');
    const store = path.join(shop, 'store');
    fs.mkdirSync(path.join(shop, 'gfx'), { recursive: true });
    fs.mkdirSync(store);
    for (const name of fs.readdirSync(storeSource)) {
        if (name.endsWith('.php') || name === 'kioskSmith.css') {
            fs.copyFileSync(path.join(storeSource, name), path.join(shop, name));
        }
    }
    for (const name of fs.readdirSync(path.join(storeSource, 'gfx'))) {
        if (name !== 'no_image_available.jpg') {
            fs.copyFileSync(path.join(storeSource, 'gfx', name), path.join(shop, 'gfx', name));
        }
    }
    fs.copyFileSync(path.join(storeSource, 'gfx', 'no_image_available.jpg'), path.join(store, 'no_image_available.jpg'));
    fs.writeFileSync(path.join(store, 'orderkey.php'), `<?php return '${ORDER_KEY}';\n`);
    fs.writeFileSync(path.join(store, 'storesettings.txt'), settingsBytes(settings));
    const picture = path.join(storeSource, 'gfx', 'shopping-trolley.jpg');
    for (const [name, department] of Object.entries(departments)) {
        const folder = path.join(store, name);
        fs.mkdirSync(folder);
        fs.writeFileSync(path.join(folder, 'productdetails.nif'), productDetailsBytes(department.products ?? []));
        for (const slot of department.pictures ?? []) {
            fs.copyFileSync(picture, path.join(folder, `${slot}.jpeg`));
        }
    }
    extra({ root, shop, store });
    return {
        root, shop, store,
        ordersFile: path.join(store, 'orders.php'),
        /** The private list's records, after its guard line. */
        orders: () => {
            const file = path.join(store, 'orders.php');
            if (!fs.existsSync(file)) {
                return Buffer.alloc(0);
            }
            const bytes = fs.readFileSync(file);
            if (!bytes.subarray(0, PRIVATE_HEAD.length).equals(PRIVATE_HEAD)) {
                throw new Error('orders.php lacks its guard line');
            }
            return bytes.subarray(PRIVATE_HEAD.length);
        },
        setSettings: (changes) => fs.writeFileSync(path.join(store, 'storesettings.txt'), settingsBytes(changes)),
        remove: () => fs.rmSync(root, { recursive: true, force: true }),
    };
}

// ------------------------------------------------------------------------------------------------
// php -S on 127.0.0.1

export async function freePort() {
    const server = net.createServer();
    server.listen(0, '127.0.0.1');
    await once(server, 'listening');
    const { port } = server.address();
    server.close();
    await once(server, 'close');
    return port;
}

async function waitForPort(port, child, deadline) {
    while (Date.now() < deadline) {
        if (child.exitCode !== null) {
            throw new Error(`php -S ended at once (exit ${child.exitCode})`);
        }
        const ok = await new Promise((resolve) => {
            const socket = net.connect(port, '127.0.0.1', () => { socket.end(); resolve(true); });
            socket.on('error', () => resolve(false));
        });
        if (ok) {
            return;
        }
        await new Promise((resolve) => setTimeout(resolve, 50));
    }
    throw new Error('php -S did not start listening in time');
}

// php -S runs in a process group of its own, so its workers end with it.
function killTree(pid) {
    try {
        process.kill(-pid, 'SIGKILL');
    } catch { /* already gone */ }
}

// Servers and browsers still running when the test process ends (a failed assertion, an
// interrupted run) are ended too.
const running = new Set();
const browsers = new Set();
process.on('exit', () => running.forEach((pid) => killTree(pid)));
for (const signal of ['SIGINT', 'SIGTERM']) {
    process.once(signal, async () => {
        await Promise.race([Promise.allSettled([...browsers].map((b) => b.close())),
            new Promise((r) => setTimeout(r, 3000))]);
        process.exit(130);
    });
}

/**
 * Serves `root` with PHP's built-in server. ini: extra -d settings (sendmail_path...). workers > 1
 * lets requests run side by side, as on a real host. stop() ends the server and its workers.
 */
export async function startPhp(root, { ini = {}, workers = 4 } = {}) {
    const port = await freePort();
    const sessions = fs.mkdtempSync(path.join(os.tmpdir(), 'kiosk-sessions-'));
    const settings = { 'session.save_path': sessions, 'date.timezone': 'UTC', error_reporting: String(32767),
        'log_errors': '1', 'display_errors': '0', 'sendmail_path': '/bin/false', ...ini };
    const args = ['-S', `127.0.0.1:${port}`, '-t', root];
    for (const [key, value] of Object.entries(settings)) {
        args.push('-d', `${key}=${value}`);
    }
    const child = spawn('php', args, {
        detached: true,
        stdio: ['ignore', 'pipe', 'pipe'],
        env: { ...process.env, PHP_CLI_SERVER_WORKERS: String(workers) },
    });
    running.add(child.pid);
    let log = '';
    child.stdout.on('data', (d) => { log += d; });
    child.stderr.on('data', (d) => { log += d; });
    await waitForPort(port, child, Date.now() + 10000);
    return {
        port,
        base: `http://127.0.0.1:${port}/kioskSmith/`,
        log: () => log,
        /** PHP's own complaints (warnings, notices, errors) since the start: a clean page has none. */
        phpProblems: () => log.split('\n').filter((line) => /PHP (Warning|Notice|Deprecated|Fatal|Parse)/.test(line)),
        async stop() {
            if (child.exitCode === null && child.signalCode === null) {
                const exited = once(child, 'exit');
                killTree(child.pid);
                await Promise.race([exited, new Promise((r) => setTimeout(r, 3000))]);
            }
            running.delete(child.pid);
            fs.rmSync(sessions, { recursive: true, force: true });
        },
    };
}

// ------------------------------------------------------------------------------------------------
// The browser

export const VIEWPORTS = {
    desktop: { viewport: { width: 1280, height: 800 } },
    phone: { viewport: { width: 390, height: 844 }, isMobile: true, hasTouch: true, deviceScaleFactor: 2 },
};

export async function launchBrowser() {
    const home = fs.mkdtempSync(path.join(os.tmpdir(), 'kiosk-chromium-home-'));
    process.env.HOME = home; // chromium writes below $HOME
    const { chromium } = playwright();
    const browser = await chromium.launch({
        executablePath: process.env.KIOSK_CHROMIUM || '/usr/bin/chromium',
        headless: true,
        args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
            '--disable-component-update', '--disable-sync'],
        handleSIGINT: false,
        handleSIGTERM: false,
    });
    browsers.add(browser);
    return {
        browser,
        /** A fresh customer (own cookies) in the given viewport; any page script error or dialog is recorded. */
        async customer(viewport = 'desktop') {
            const context = await browser.newContext({ ...VIEWPORTS[viewport] });
            context.setDefaultTimeout(10000);
            const page = await context.newPage();
            const problems = [];
            page.on('dialog', async (dialog) => { problems.push(`dialog: ${dialog.message()}`); await dialog.dismiss(); });
            page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
            return { context, page, problems };
        },
        async close() {
            browsers.delete(browser);
            await browser.close();
            fs.rmSync(home, { recursive: true, force: true });
        },
    };
}

// ------------------------------------------------------------------------------------------------
// Reading the order list as the program's order collection does

/** Splits the order list into records: "::" date "¬" name "¬" address "¬" items "::-". */
export function parseOrders(text) {
    const orders = [];
    let start = 0;
    for (;;) {
        const p = text.indexOf('::', start);
        if (p < 0) {
            return orders;
        }
        const s1 = text.indexOf('¬', p + 1);
        const s2 = text.indexOf('¬', s1 + 1);
        const s3 = text.indexOf('¬', s2 + 1);
        const end = text.indexOf('::-', s3 + 1);
        if (s1 < 0 || s2 < 0 || s3 < 0 || end < 0) {
            throw new Error(`broken record at character ${p}`);
        }
        orders.push({
            date: text.slice(p + 2, s1),
            name: text.slice(s1 + 1, s2),
            address: text.slice(s2 + 1, s3),
            items: text.slice(s3 + 1, end),
        });
        start = end + 3;
    }
}

/** The token, order reference and basket check a page's forms carry. */
export function formValues(html) {
    const value = (name) => html.match(new RegExp(`name="${name}" value="([^"]*)"`))?.[1] ?? '';
    return { token: value('token'), order: value('order'), check: value('check') };
}

/** "06/12/2026 14:03" for a moment, in UTC as the test server runs. */
export function orderDate(date) {
    const two = (n) => String(n).padStart(2, '0');
    return `${two(date.getUTCDate())}/${two(date.getUTCMonth() + 1)}/${date.getUTCFullYear()} `
        + `${two(date.getUTCHours())}:${two(date.getUTCMinutes())}`;
}

// ------------------------------------------------------------------------------------------------
// A customer without a browser window: plain HTTP with its own cookies, for requests no page
// would send (forged fields, missing tokens, many orders at once).

export async function httpCustomer(base) {
    const ctx = await playwright().request.newContext({ baseURL: base });
    const customer = {
        ctx,
        token: '',
        get: (url) => ctx.get(url, { maxRedirects: 0 }),
        post: (url, form) => ctx.post(url, { form, maxRedirects: 0 }),
        /** Loads a page with forms and keeps its session token. */
        async open(url) {
            const response = await ctx.get(url);
            customer.token = formValues(await response.text()).token;
            return response;
        },
        /** Fills the basket and the customer's details, up to the review page; gives its form values. */
        async readyToOrder(items, details) {
            if (!customer.token) {
                await customer.open(`store.php?dept=${encodeURIComponent(items[0][0])}`);
            }
            for (const [dept, item, qty] of items) {
                const r = await customer.post('basket.php', { token: customer.token, action: 'add', dept,
                    item: String(item), qty: String(qty) });
                if (r.status() !== 303) {
                    throw new Error(`adding ${dept}/${item} answered ${r.status()}`);
                }
            }
            const r = await customer.post('confirmOrder.php', { token: customer.token, action: 'details', name: '',
                address: '', contact: '01234 567890', website: '', ...details });
            if (r.status() !== 303) {
                throw new Error(`the details form answered ${r.status()}`);
            }
            return formValues(await (await ctx.get('confirmOrder.php?step=review')).text());
        },
        close: () => ctx.dispose(),
    };
    return customer;
}

/**
 * Waits until the locator matches exactly n elements: the (n-1)th there and the nth gone. A page
 * still loading after a click is waited for, never counted.
 */
export async function waitForCount(locator, n) {
    if (n > 0) {
        await locator.nth(n - 1).waitFor({ state: 'attached' });
    }
    await locator.nth(n).waitFor({ state: 'detached' });
}

/**
 * Clicks a link or button that loads a page and waits until that page has loaded: click() alone
 * returns once the new page has started, and a read then may see it half-built.
 */
export async function follow(locator) {
    await Promise.all([locator.page().waitForEvent('load'), locator.click()]);
}
