#!/usr/bin/env node
// Checks that a stripped PE or ELF file and a symbols file belong together: the stripped file's
// .gnu_debuglink names the symbols file and carries its CRC-32 (what gdb and binutils check before
// they use it), and for ELF both carry the same build ID.
//
//   debuglink.js SHIPPED SYMBOLS
//
// Exit 0 when they match, 1 when they do not (each problem on standard error), 2 on usage errors.
'use strict';
const fs = require('node:fs');
const path = require('node:path');

const CRC_TABLE = (() => {
  const table = new Uint32Array(256);
  for (let n = 0; n < 256; n++) {
    let c = n;
    for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    table[n] = c >>> 0;
  }
  return table;
})();

function crc32(bytes) {
  let c = 0xffffffff;
  for (const b of bytes) c = CRC_TABLE[(c ^ b) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

// Section name -> contents, for ELF64 little-endian and PE/COFF files.
function sections(bytes, file) {
  const result = new Map();
  const fit = (offset, length, what) => {
    if (offset < 0 || offset + length > bytes.length) throw new Error(`${file}: ${what} lies outside the file`);
  };
  fit(0, 64, 'the header');
  if (bytes.readUInt32BE(0) === 0x7f454c46) {
    if (bytes[4] !== 2 || bytes[5] !== 1) throw new Error(`${file}: not a 64-bit little-endian ELF file`);
    const shoff = Number(bytes.readBigUInt64LE(0x28));
    const shentsize = bytes.readUInt16LE(0x3a);
    const shnum = bytes.readUInt16LE(0x3c);
    const shstrndx = bytes.readUInt16LE(0x3e);
    fit(shoff, shnum * shentsize, 'the section headers');
    const header = (i) => {
      const at = shoff + i * shentsize;
      return {
        name: bytes.readUInt32LE(at), type: bytes.readUInt32LE(at + 4),
        offset: Number(bytes.readBigUInt64LE(at + 0x18)), size: Number(bytes.readBigUInt64LE(at + 0x20)),
      };
    };
    const names = header(shstrndx);
    for (let i = 0; i < shnum; i++) {
      const h = header(i);
      const start = names.offset + h.name;
      const name = bytes.subarray(start, bytes.indexOf(0, start)).toString('latin1');
      const NOBITS = 8;
      if (h.type === NOBITS) continue;
      fit(h.offset, h.size, `section ${name}`);
      result.set(name, bytes.subarray(h.offset, h.offset + h.size));
    }
    return result;
  }
  if (bytes.readUInt16LE(0) === 0x5a4d) {
    const pe = bytes.readUInt32LE(0x3c);
    fit(pe, 24, 'the PE header');
    if (bytes.readUInt32LE(pe) !== 0x4550) throw new Error(`${file}: no PE signature`);
    const coff = pe + 4;
    const count = bytes.readUInt16LE(coff + 2);
    const symbols = bytes.readUInt32LE(coff + 8);
    const symbolCount = bytes.readUInt32LE(coff + 12);
    const optionalSize = bytes.readUInt16LE(coff + 16);
    const table = coff + 20 + optionalSize;
    fit(table, count * 40, 'the section table');
    const strings = symbols + symbolCount * 18;
    for (let i = 0; i < count; i++) {
      const at = table + i * 40;
      let name = bytes.subarray(at, at + 8).toString('latin1').replace(/\0.*$/s, '');
      if (name.startsWith('/')) {
        // A long name lives in the COFF string table, which a stripped image keeps for them.
        const start = strings + Number(name.slice(1));
        fit(start, 1, `the long name of section ${i}`);
        name = bytes.subarray(start, bytes.indexOf(0, start)).toString('latin1');
      }
      // Raw data is padded to the file alignment; the virtual size is the contents' own.
      const virtualSize = bytes.readUInt32LE(at + 8);
      const rawSize = bytes.readUInt32LE(at + 16);
      const size = virtualSize ? Math.min(virtualSize, rawSize) : rawSize;
      const offset = bytes.readUInt32LE(at + 20);
      if (!size) continue;
      fit(offset, size, `section ${name}`);
      result.set(name, bytes.subarray(offset, offset + size));
    }
    return result;
  }
  throw new Error(`${file}: neither an ELF nor a PE file`);
}

function check(shippedFile, symbolsFile) {
  const problems = [];
  const shipped = fs.readFileSync(shippedFile);
  const symbols = fs.readFileSync(symbolsFile);
  const shippedSections = sections(shipped, shippedFile);
  const symbolSections = sections(symbols, symbolsFile);

  const link = shippedSections.get('.gnu_debuglink');
  if (!link) {
    problems.push(`${shippedFile} has no .gnu_debuglink`);
  } else {
    const end = link.indexOf(0);
    const name = link.subarray(0, end).toString('latin1');
    const crc = link.readUInt32LE(link.length - 4);
    if (name !== path.basename(symbolsFile)) {
      problems.push(`${shippedFile} links to "${name}", not to ${path.basename(symbolsFile)}`);
    }
    const actual = crc32(symbols);
    if (crc !== actual) {
      problems.push(`${shippedFile} expects symbols with CRC-32 ${crc.toString(16)}; ` +
        `${symbolsFile} has ${actual.toString(16)}`);
    }
  }
  for (const [name, data] of shippedSections) {
    if (name.startsWith('.debug_')) problems.push(`${shippedFile} still carries ${name} (${data.length} bytes)`);
  }
  if (!symbolSections.has('.debug_info')) problems.push(`${symbolsFile} has no .debug_info`);
  const idSection = '.note.gnu.build-id';
  if (shippedSections.has(idSection) || symbolSections.has(idSection)) {
    const a = shippedSections.get(idSection);
    const b = symbolSections.get(idSection);
    if (!a || !b || !a.equals(b)) problems.push(`the build IDs of ${shippedFile} and ${symbolsFile} differ`);
  }
  return problems;
}

function main(argv) {
  const args = argv.slice(2);
  if (args.length !== 2) {
    process.stderr.write('usage: debuglink.js SHIPPED SYMBOLS\n');
    return 2;
  }
  let problems;
  try {
    problems = check(args[0], args[1]);
  } catch (error) {
    process.stderr.write(`${error.message}\n`);
    return 1;
  }
  for (const problem of problems) process.stderr.write(`${problem}\n`);
  if (problems.length) return 1;
  process.stdout.write(`${args[0]}: tied to ${args[1]}\n`);
  return 0;
}

if (require.main === module) process.exitCode = main(process.argv);
module.exports = { crc32, sections, check };
