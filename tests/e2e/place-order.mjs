// A customer buys from the demo shop in chromium: two teapots and a notebook, then checks out.
// Usage: node place-order.mjs http://127.0.0.1:PORT/kioskSmith/ [NAME]
// Prints the departments as the front page lists them, then the order number on the confirmation page.

import { addToBasket, enterDetails, expect, launchBrowser, placeOrder } from '../store/lib/shop.mjs';

const [base, name = 'Ann Example'] = process.argv.slice(2);
const chromium = await launchBrowser();
try {
    const { page, problems } = await chromium.customer('desktop');
    await page.goto(base);
    const departments = page.getByRole('navigation', { name: 'Departments' }).getByRole('link');
    await expect(departments.first()).toBeVisible();
    console.log('departments: ' + (await departments.allInnerTexts()).map((t) => t.trim()).join('|'));
    // The first product of each: the stoneware teapot, the linen notebook.
    for (const [department, qty] of [['Kitchen & Tea', 2], ['Stationery', 1]]) {
        await departments.filter({ hasText: department }).click();
        await expect(page.locator('h1.page-title')).toHaveText(department);
        await addToBasket(page, 0, qty);
    }
    await enterDetails(page, { name, address: '1 Harbour Row\nMossbank', contact: 'ann@example.invalid' });
    const number = await placeOrder(page);
    if (problems.length > 0) throw new Error(problems.join('\n'));
    console.log(number);
} finally {
    await chromium.close();
}
