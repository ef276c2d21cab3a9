#!/usr/bin/env node
// The LC_UUID of the shipped Mach-O file, made from the bytes that ship.
//
// zig's linker hashes the whole linked file into LC_UUID, debug map included, and that debug map
// names the folder zig's libc++ was compiled in (an absolute path in the checkout). Builds of one
// commit in two folders would ship different UUIDs. tools/release therefore derives the UUID from
// the stripped file (its bytes before the code signature, with the UUID itself zeroed), sets it in
// the linked file, and makes both the dSYM and the shipped file from that.
//
//   macho-uuid.js derive FILE        print the UUID derived from FILE (32 hex digits)
//   macho-uuid.js set UUID IN OUT    write IN to OUT with its LC_UUID set to UUID
'use strict';
const fs = require('node:fs');
const crypto = require('node:crypto');

const MH_MAGIC_64 = 0xfeedfacf;
const LC_UUID = 0x1b;
const LC_CODE_SIGNATURE = 0x1d;

function loadCommands(bytes, file) {
  if (bytes.length < 32 || bytes.readUInt32LE(0) !== MH_MAGIC_64) {
    throw new Error(`${file}: not a thin little-endian 64-bit Mach-O file`);
  }
  const found = {};
  const ncmds = bytes.readUInt32LE(16);
  let offset = 32;
  for (let i = 0; i < ncmds; i++) {
    if (offset + 8 > bytes.length) throw new Error(`${file}: load command ${i} lies outside the file`);
    const cmd = bytes.readUInt32LE(offset);
    if (cmd === LC_UUID) found.uuid = offset + 8;
    if (cmd === LC_CODE_SIGNATURE) found.signature = bytes.readUInt32LE(offset + 8);
    offset += bytes.readUInt32LE(offset + 4);
  }
  if (found.uuid === undefined) throw new Error(`${file}: no LC_UUID`);
  return found;
}

function derive(bytes, file) {
  const { uuid, signature } = loadCommands(bytes, file);
  const end = signature === undefined ? bytes.length : signature;
  const copy = Buffer.from(bytes.subarray(0, end));
  copy.fill(0, uuid, uuid + 16);
  return crypto.createHash('sha256').update(copy).digest().subarray(0, 16).toString('hex').toUpperCase();
}

function main(argv) {
  const [mode, ...args] = argv.slice(2);
  try {
    if (mode === 'derive' && args.length === 1) {
      process.stdout.write(`${derive(fs.readFileSync(args[0]), args[0])}\n`);
      return 0;
    }
    if (mode === 'set' && args.length === 3 && /^[0-9A-Fa-f]{32}$/.test(args[0])) {
      const bytes = fs.readFileSync(args[1]);
      const { uuid } = loadCommands(bytes, args[1]);
      Buffer.from(args[0], 'hex').copy(bytes, uuid);
      fs.writeFileSync(args[2], bytes, { mode: fs.statSync(args[1]).mode });
      return 0;
    }
  } catch (error) {
    process.stderr.write(`${error.message}\n`);
    return 1;
  }
  process.stderr.write('usage: macho-uuid.js derive FILE | macho-uuid.js set UUID IN OUT\n');
  return 2;
}

if (require.main === module) process.exitCode = main(process.argv);
module.exports = { derive };
