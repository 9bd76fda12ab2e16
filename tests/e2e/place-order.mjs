// A customer buys from the demo shop in chromium: two teapots and a notebook, then checks out.
// Usage: node place-order.mjs http://127.0.0.1:PORT/kioskSmith/ [NAME]
// Prints the departments as the front page lists them, then the order number on the confirmation page.

import { follow, launchBrowser } from '../store/lib/shop.mjs';

const base = process.argv[2];
const name = process.argv[3] ?? 'Ann Example';
const chromium = await launchBrowser();
try {
    const { page, problems } = await chromium.customer('desktop');
    await page.goto(base);
    const departments = page.getByRole('navigation', { name: 'Departments' });
    await departments.getByRole('link').first().waitFor();
    console.log('departments: ' + (await departments.getByRole('link').allInnerTexts()).map((t) => t.trim()).join('|'));

    const buy = async (department, title, qty) => {
        await follow(departments.getByRole('link', { name: department, exact: true }));
        const card = page.locator('article').filter({ hasText: title });
        await card.getByLabel(/Quantity/).fill(String(qty));
        await follow(card.getByRole('button', { name: /Add to basket/ }));
        await card.locator('.product-note').waitFor();
    };
    await buy('Kitchen & Tea', 'Stoneware teapot', 2);
    await buy('Stationery', 'Linen notebook', 1);

    await follow(page.locator('a.basket-link'));
    await follow(page.getByRole('link', { name: 'Checkout' }));
    await page.getByLabel('Your name').fill(name);
    await page.getByLabel('Delivery address').fill('1 Harbour Row\nMossbank');
    await page.getByLabel(/Telephone or e-mail/).fill('ann@example.invalid');
    await follow(page.getByRole('button', { name: 'Check your order' }));
    await follow(page.getByRole('button', { name: 'Place order' }));
    const number = (await page.locator('.order-number').innerText()).trim();
    if (problems.length > 0)
        throw new Error(problems.join('\n'));
    console.log(number);
} finally {
    await chromium.close();
}
