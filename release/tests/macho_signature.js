'use strict';
// The shipped macOS launcher's code signature, and the checker itself: any changed byte in a signed
// page, in the stored hashes or in the signature's layout must fail it, naming what is wrong.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { checkSignature } = require('../check-macho-signature');
const bundle = require('./bundle');

const checker = path.join(__dirname, '..', 'check-macho-signature.js');
const shipped = bundle.file('macos-arm64/FennorWorks');
const original = fs.readFileSync(shipped);

// Where things are in the shipped file, read once with the checker's own parser.
const layout = (() => {
  const result = checkSignature(original);
  assert.deepEqual(result.problems, [], 'the shipped file must pass before it can be spoiled');
  const ncmds = original.readUInt32LE(16);
  let offset = 32;
  let signature;
  for (let i = 0; i < ncmds; i++) {
    if (original.readUInt32LE(offset) === 0x1d) signature = { command: offset, dataoff: original.readUInt32LE(offset + 8) };
    offset += original.readUInt32LE(offset + 4);
  }
  const cd = result.directories[0];
  return { signature, cd, pages: cd.nCodeSlots };
})();

function run(bytes) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'macho-'));
  const file = path.join(dir, 'FennorWorks');
  fs.writeFileSync(file, bytes);
  try {
    return spawnSync(process.execPath, [checker, file], { encoding: 'utf8' });
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

function changed(mutate) {
  const bytes = Buffer.from(original);
  mutate(bytes);
  return bytes;
}

test('the shipped file: ad hoc SHA-256 signature over every page, identifier FennorWorks', () => {
  const result = run(original);
  assert.equal(result.status, 0, result.stderr);
  assert.match(result.stdout, /code signature matches every page \(sha256 x\d+ pages of \d+ bytes, ad hoc, identifier FennorWorks\)/);
  assert.equal(layout.cd.hashType, 2);
  assert.equal(layout.cd.codeLimit, layout.signature.dataoff);
});

const pageSize = () => layout.cd.pageSize;
const cases = [
  {
    name: 'one byte in the Mach-O header (page 0)',
    mutate: (b) => { b[8] ^= 0x01; },
    error: /page 0 \(bytes 0-/,
  },
  {
    name: 'one byte in the middle of the code',
    mutate: (b) => { const at = Math.floor(layout.pages / 2) * pageSize() + 123; b[at] ^= 0x80; },
    error: () => new RegExp(`page ${Math.floor(layout.pages / 2)} \\(`),
  },
  {
    name: 'the last byte before the signature (the last, partial page)',
    mutate: (b) => { b[layout.signature.dataoff - 1] ^= 0xff; },
    error: () => new RegExp(`page ${layout.pages - 1} \\(`),
  },
  {
    name: 'one byte of a stored page hash',
    mutate: (b) => {
      const slot = layout.cd.slot(1);
      b[slot.byteOffset - original.byteOffset] ^= 0x01;
    },
    error: /page 1 \(/,
  },
  {
    name: 'the signature moved: LC_CODE_SIGNATURE points 16 bytes further',
    mutate: (b) => { b.writeUInt32LE(layout.signature.dataoff + 16, layout.signature.command + 8); },
    error: /not an embedded-signature SuperBlob|code limit|outside/,
  },
  {
    name: 'the file cut short inside the signature',
    mutate: null,
    bytes: () => original.subarray(0, layout.signature.dataoff + 40),
    error: /outside the file/,
  },
  {
    name: 'no signature: the load command renamed away',
    mutate: (b) => { b.writeUInt32LE(0x7fffffff, layout.signature.command); },
    error: /no LC_CODE_SIGNATURE/,
  },
  {
    name: 'not a Mach-O file',
    mutate: null,
    bytes: () => Buffer.from('#!/bin/sh\necho FennorWorks\n'),
    error: /not a thin little-endian 64-bit Mach-O/,
  },
];

for (const c of cases) {
  test(`a changed file fails the check: ${c.name}`, () => {
    const bytes = c.bytes ? c.bytes() : changed(c.mutate);
    const result = run(bytes);
    assert.equal(result.status, 1, `exit status; stderr: ${result.stderr}`);
    const error = typeof c.error === 'function' ? c.error() : c.error;
    assert.match(result.stderr, error);
  });
}

test('usage errors exit 2', () => {
  for (const args of [[], ['--uuid'], ['a', 'b'], ['--bogus']]) {
    const result = spawnSync(process.execPath, [checker, ...args], { encoding: 'utf8' });
    assert.equal(result.status, 2, args.join(' '));
    assert.match(result.stderr, /usage: check-macho-signature.js/);
  }
});

test('--uuid prints the LC_UUID that the dSYM carries', () => {
  const result = spawnSync(process.execPath, [checker, '--uuid', shipped], { encoding: 'utf8' });
  assert.equal(result.status, 0, result.stderr);
  const dwarf = bundle.file('symbols/macos-arm64/FennorWorks.dSYM/Contents/Resources/DWARF/FennorWorks');
  const dump = spawnSync('llvm-dwarfdump-14', ['--uuid', dwarf], { encoding: 'utf8' });
  assert.equal(dump.status, 0, dump.stderr);
  assert.match(result.stdout, /^[0-9A-F]{32}\n$/);
  assert.equal(dump.stdout.match(/UUID: ([0-9A-F-]+)/)[1].replace(/-/g, ''), result.stdout.trim());
});
