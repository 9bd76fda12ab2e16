// The files the upload sends by fixed name must be there, in the formats their names say, and the
// sound the upload plays must be a short PCM wave. A missing one stops an upload half-way.
// Run: node --test tests/store/assets.test.mjs   (or ctest -L web in the build folder)

import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { sourceDir } from './lib/shop.mjs';

const PAGES = ['basket.php', 'confirmOrder.php', 'departments.php', 'displayStore.php', 'kioskSmith.css',
    'getdetails.php', 'index.php', 'store.php', 'sendMailOrder.php', 'storebanner.php', 'variables.php'];
const GRAPHICS = ['add.bmp', 'add-order.jpg', 'cancel.bmp', 'first.gif', 'last.gif', 'next.gif', 'nofirst.gif',
    'nolast.gif', 'nonext.gif', 'noprevious.gif', 'previous.gif', 'proceed.bmp', 'shopping-cart-icon-medium.jpg',
    'shopping-trolley.jpg', 'sky.jpg', 'store-line-seperator.jpg', 'cancel.jpg', 'no_image_available.jpg'];

const MAGIC = { bmp: [0x42, 0x4D], gif: [0x47, 0x49, 0x46, 0x38, 0x39, 0x61], jpg: [0xFF, 0xD8, 0xFF] };

for (const name of PAGES) {
    test(`store/${name} is there`, () => {
        assert.ok(fs.statSync(path.join(sourceDir, 'store', name)).size > 0);
    });
}

for (const name of GRAPHICS) {
    test(`store/gfx/${name} is a ${path.extname(name).slice(1).toUpperCase()} file`, () => {
        const bytes = fs.readFileSync(path.join(sourceDir, 'store', 'gfx', name));
        const magic = MAGIC[path.extname(name).slice(1)];
        assert.deepEqual([...bytes.subarray(0, magic.length)], magic);
    });
}

test('assets/RHYTHM.wav is a PCM wave of a second or two', () => {
    const wav = fs.readFileSync(path.join(sourceDir, 'assets', 'RHYTHM.wav'));
    assert.equal(wav.toString('latin1', 0, 4), 'RIFF');
    assert.equal(wav.toString('latin1', 8, 12), 'WAVE');
    assert.equal(wav.toString('latin1', 12, 16), 'fmt ');
    assert.equal(wav.readUInt16LE(20), 1, 'PCM');
    const channels = wav.readUInt16LE(22);
    const rate = wav.readUInt32LE(24);
    const bits = wav.readUInt16LE(34);
    const dataAt = wav.indexOf('data', 36, 'latin1');
    const seconds = wav.readUInt32LE(dataAt + 4) / (rate * channels * (bits / 8));
    assert.ok(seconds > 0.3 && seconds < 3, `${seconds} s`);
});
