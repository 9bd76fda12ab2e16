// The shop's graphics must be in the formats their names say, and the sound the upload plays must
// be a short PCM wave: a browser shows no picture that is not what its name says.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';

const sourceDir = process.env.KIOSK_SOURCE_DIR || path.resolve(import.meta.dirname, '../..');
const MAGIC = { bmp: 'BM', gif: 'GIF89a', jpg: '\xFF\xD8\xFF' };

test('every graphic in store/gfx is a file of the kind its name says', () => {
    const gfx = path.join(sourceDir, 'store', 'gfx');
    const names = fs.readdirSync(gfx);
    assert.ok(names.length >= 18, names.join(' '));
    for (const name of names) {
        const magic = Buffer.from(MAGIC[path.extname(name).slice(1)] ?? 'no such kind', 'latin1');
        assert.ok(fs.readFileSync(path.join(gfx, name)).subarray(0, magic.length).equals(magic), name);
    }
});

test('assets/RHYTHM.wav is a PCM wave of a second or two', () => {
    const wav = fs.readFileSync(path.join(sourceDir, 'assets', 'RHYTHM.wav'));
    assert.equal(wav.toString('latin1', 0, 16).replace(/^RIFF....WAVE/s, ''), 'fmt ');
    assert.equal(wav.readUInt16LE(20), 1, 'PCM');
    const bytesPerSecond = wav.readUInt32LE(24) * wav.readUInt16LE(22) * (wav.readUInt16LE(34) / 8);
    const seconds = wav.readUInt32LE(wav.indexOf('data', 36, 'latin1') + 4) / bytesPerSecond;
    assert.ok(seconds > 0.3 && seconds < 3, `${seconds} s`);
});
