// The shop most web tests run against: department names with blanks and accents, text with
// €, £ and accented letters in Windows-1252, a department of 23 products, a missing picture, an
// empty department, prices typed in different ways and one that is not a number.

import fs from 'node:fs';
import path from 'node:path';

// storesettings.txt's eight lines, in the file's order.
export const SETTINGS = {
    domain: 'www.cafe-lumiere.invalid',
    storeName: 'Café Lumière & Co',
    email: 'orders@cafe-lumiere.invalid',
    telephone: '+44 20 7946 0000',
    currencySymbol: '£',
    banner: '1',
    basket: '1',
    productsPerPage: '10',
};

// Garden Tools: slot i is "Garden tool NN" (NN = i + 1) at NN.50; slot 4 has no picture.
const GARDEN = Array.from({ length: 23 }, (_, i) => ({
    title: `Garden tool ${String(i + 1).padStart(2, '0')}`,
    d1: `Sturdy tool number ${i + 1}`,
    d2: i === 0 ? 'Beech handle – 30 cm' : '',
    price: `${i + 1}.50`,
    unit: 'each',
    pd1: i === 0 ? '£1.75 for two' : '',
}));

const EPICERIE = [
    { title: 'Café crème', d1: 'Torréfié à Paris – “doux”', d2: 'Worth €20 in France, £17 here', price: '1.234,50',
        unit: 'the sack', pd1: 'Prix spécial', pd2: '€ and £ welcome' },
    { title: 'Olive oil “Extra”', d1: 'Cold pressed', price: 'Price on request', unit: '' },
    { title: 'Saffron', d1: 'Finest threads', price: '1,234.50', unit: 'per 10 g' },
];

export const DEPARTMENTS = {
    'Garden Tools': { products: GARDEN, pictures: GARDEN.map((_, i) => i).filter((i) => i !== 4) },
    'Épicerie fine': { products: EPICERIE, pictures: [0, 1, 2] },
    'Dairy 10': { products: [{ title: 'Goat cheese', price: '4.20', unit: 'each' }], pictures: [] },
    'Dairy 9': { products: [{ title: 'Butter', price: '2.10', unit: '250 g' }], pictures: [0] },
    'Empty Shelf': { products: [] },
    // Characters that mean something in an address.
    'Tea & Coffee #1 (50% off)': { products: [{ title: 'Assam', price: '3.00', unit: '100 g' }], pictures: [0] },
};

/** The departments with addTraps as the pages must list them: natural order, accents beside their letter. */
export const DEPARTMENT_ORDER = ['Dairy 9', 'Dairy 10', 'Empty Shelf', 'Épicerie fine', 'Garden Tools',
    'Tea & Coffee #1 (50% off)', 'Thé'];

const nif = (title) => Buffer.from(`0\xAC${title}\xAC\xAC\xAC\xAC1.00\xAC\xAC\xAC\xAC\r\n`, 'latin1');

/** A folder beside store/ no request may reach, one in store/ that is no department, one named in Windows-1252. */
export function addTraps({ shop, store }) {
    fs.mkdirSync(path.join(shop, 'Outside'));
    fs.writeFileSync(path.join(shop, 'Outside', 'productdetails.nif'), nif('LEAKED secret'));
    fs.mkdirSync(path.join(store, 'Not a department'));
    const latin1 = Buffer.concat([Buffer.from(store), Buffer.from('/Th\xE9', 'latin1')]);
    fs.mkdirSync(latin1);
    fs.writeFileSync(Buffer.concat([latin1, Buffer.from('/productdetails.nif')]), nif('Earl Grey'));
}
