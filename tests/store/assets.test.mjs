// The shop's graphics must be in the formats their names say (a browser shows no picture that is
// not), and the sound the upload plays a PCM wave; tst_frmFTP checks its length.

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

test('assets/RHYTHM.wav is a PCM wave', () => {
    const wav = fs.readFileSync(path.join(sourceDir, 'assets', 'RHYTHM.wav'));
    assert.equal(wav.toString('latin1', 0, 16).replace(/^RIFF....WAVE/s, ''), 'fmt ');
    assert.equal(wav.readUInt16LE(20), 1, 'PCM');
});
