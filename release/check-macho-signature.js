#!/usr/bin/env node
// Checks the code signature of a thin 64-bit Mach-O file the way the macOS kernel does before it
// maps a page: every page hash of every CodeDirectory, recomputed over the file's bytes. arm64
// macOS kills a process whose signature is missing or does not match its pages, and nothing on a
// Linux build machine checks that, so a strip or patch that forgets to re-sign would ship unseen.
//
//   check-macho-signature.js [--uuid] FILE
//
// Prints one summary line and exits 0 when every hash matches; prints each problem and exits 1
// otherwise; exits 2 on usage errors. --uuid prints only the LC_UUID (hex, upper case) after a
// successful check.
'use strict';
const fs = require('node:fs');
const crypto = require('node:crypto');

const MH_MAGIC_64 = 0xfeedfacf;
const LC_SEGMENT_64 = 0x19;
const LC_UUID = 0x1b;
const LC_CODE_SIGNATURE = 0x1d;

const CSMAGIC_EMBEDDED_SIGNATURE = 0xfade0cc0;
const CSMAGIC_CODEDIRECTORY = 0xfade0c02;
const CSSLOT_CODEDIRECTORY = 0;
const CSSLOT_ALTERNATE_CODEDIRECTORIES = 0x1000;
const CSSLOT_ALTERNATE_CODEDIRECTORY_MAX = 5;
const CS_ADHOC = 0x2;

// hashType -> [node digest name, digest length]
const HASH_TYPES = {
  1: ['sha1', 20],
  2: ['sha256', 32],
  3: ['sha256', 20], // SHA-256 truncated to 20 bytes
  4: ['sha384', 48],
};
const CS_HASHTYPE_SHA256 = 2;

// Blobs whose hash a CodeDirectory keeps in a special slot (slot -n for blob type n) and that live
// in the signature itself, so they can be checked here: requirements, entitlements, DER entitlements.
const SPECIAL_SLOT_BLOBS = [2, 5, 7];

class CheckError extends Error {}

function checkSignature(bytes) {
  const problems = [];
  const need = (offset, length, what) => {
    if (offset < 0 || length < 0 || offset + length > bytes.length) {
      throw new CheckError(`${what} lies outside the file (offset ${offset}, ${length} bytes, ` +
        `file ${bytes.length} bytes)`);
    }
  };

  const magic = bytes.length >= 4 ? bytes.readUInt32LE(0) : 0;
  if (magic !== MH_MAGIC_64) {
    throw new CheckError(`not a thin little-endian 64-bit Mach-O file (magic 0x${magic.toString(16)})`);
  }
  need(0, 32, 'the Mach-O header');
  const ncmds = bytes.readUInt32LE(16);
  const sizeofcmds = bytes.readUInt32LE(20);
  need(32, sizeofcmds, 'the load commands');

  let signature = null;
  let uuid = null;
  let linkedit = null;
  let offset = 32;
  for (let i = 0; i < ncmds; i++) {
    need(offset, 8, `load command ${i}`);
    const cmd = bytes.readUInt32LE(offset);
    const cmdsize = bytes.readUInt32LE(offset + 4);
    if (cmdsize < 8 || offset + cmdsize > 32 + sizeofcmds) {
      throw new CheckError(`load command ${i} has a bad size (${cmdsize})`);
    }
    if (cmd === LC_CODE_SIGNATURE) {
      if (signature) throw new CheckError('more than one LC_CODE_SIGNATURE');
      signature = { dataoff: bytes.readUInt32LE(offset + 8), datasize: bytes.readUInt32LE(offset + 12) };
    } else if (cmd === LC_UUID) {
      uuid = bytes.subarray(offset + 8, offset + 24).toString('hex').toUpperCase();
    } else if (cmd === LC_SEGMENT_64) {
      const name = bytes.subarray(offset + 8, offset + 24).toString('latin1').replace(/\0.*$/s, '');
      if (name === '__LINKEDIT') {
        linkedit = {
          fileoff: Number(bytes.readBigUInt64LE(offset + 40)),
          filesize: Number(bytes.readBigUInt64LE(offset + 48)),
        };
      }
    }
    offset += cmdsize;
  }
  if (!signature) throw new CheckError('no LC_CODE_SIGNATURE: the file is not signed');

  const { dataoff, datasize } = signature;
  need(dataoff, datasize, 'the code signature');
  // The kernel expects the signature to be the last thing in __LINKEDIT and in the file; a tool that
  // shrinks the file without moving it leaves a signature that dyld refuses.
  if (!linkedit) {
    problems.push('no __LINKEDIT segment');
  } else if (linkedit.fileoff + linkedit.filesize !== dataoff + datasize) {
    problems.push(`__LINKEDIT ends at ${linkedit.fileoff + linkedit.filesize}, the signature at ` +
      `${dataoff + datasize}`);
  }
  if (dataoff + datasize !== bytes.length) {
    problems.push(`the signature ends at ${dataoff + datasize}, the file at ${bytes.length}`);
  }

  const blob = bytes.subarray(dataoff, dataoff + datasize);
  if (blob.length < 12 || blob.readUInt32BE(0) !== CSMAGIC_EMBEDDED_SIGNATURE) {
    throw new CheckError('the code signature is not an embedded-signature SuperBlob');
  }
  const superLength = blob.readUInt32BE(4);
  const count = blob.readUInt32BE(8);
  if (superLength > blob.length || 12 + count * 8 > superLength) {
    throw new CheckError(`the SuperBlob's length (${superLength}) or count (${count}) does not fit`);
  }
  const blobs = new Map();
  for (let i = 0; i < count; i++) {
    const type = blob.readUInt32BE(12 + i * 8);
    const blobOffset = blob.readUInt32BE(16 + i * 8);
    if (blobOffset + 8 > superLength) throw new CheckError(`blob ${i} (type ${type}) lies outside the SuperBlob`);
    const blobLength = blob.readUInt32BE(blobOffset + 4);
    if (blobLength < 8 || blobOffset + blobLength > superLength) {
      throw new CheckError(`blob ${i} (type ${type}) has a bad length (${blobLength})`);
    }
    blobs.set(type, blob.subarray(blobOffset, blobOffset + blobLength));
  }

  const directories = [];
  const directoryTypes = [CSSLOT_CODEDIRECTORY];
  for (let k = 0; k < CSSLOT_ALTERNATE_CODEDIRECTORY_MAX; k++) directoryTypes.push(CSSLOT_ALTERNATE_CODEDIRECTORIES + k);
  for (const type of directoryTypes) {
    if (blobs.has(type)) directories.push(parseCodeDirectory(blobs.get(type), type));
  }
  if (!directories.length) throw new CheckError('the signature has no CodeDirectory');
  if (!directories.some((cd) => cd.hashType === CS_HASHTYPE_SHA256)) {
    problems.push('no CodeDirectory with SHA-256 hashes (arm64 macOS requires one)');
  }

  let pages = 0;
  for (const cd of directories) {
    // Everything before the signature is code: a limit short of it leaves bytes unhashed.
    if (cd.codeLimit !== dataoff) {
      problems.push(`CodeDirectory ${cd.type}: code limit ${cd.codeLimit}, signature at ${dataoff}`);
    }
    if (cd.codeLimit > bytes.length) throw new CheckError(`CodeDirectory ${cd.type}: code limit beyond the file`);
    const expectedSlots = Math.ceil(cd.codeLimit / cd.pageSize);
    if (cd.nCodeSlots !== expectedSlots) {
      problems.push(`CodeDirectory ${cd.type}: ${cd.nCodeSlots} code slots for ${expectedSlots} pages`);
    }
    for (let page = 0; page < cd.nCodeSlots; page++) {
      const start = page * cd.pageSize;
      const end = Math.min(start + cd.pageSize, cd.codeLimit);
      const actual = digest(cd, bytes.subarray(start, Math.max(start, end)));
      if (!actual.equals(cd.slot(page))) {
        problems.push(`CodeDirectory ${cd.type} (${cd.hashName}): page ${page} (bytes ${start}-${end - 1}) ` +
          `hashes to ${actual.toString('hex')}, signature has ${cd.slot(page).toString('hex')}`);
      }
    }
    for (const type of SPECIAL_SLOT_BLOBS) {
      if (type > cd.nSpecialSlots) continue;
      const stored = cd.slot(-type);
      if (blobs.has(type)) {
        const actual = digest(cd, blobs.get(type));
        if (!actual.equals(stored)) problems.push(`CodeDirectory ${cd.type}: special slot -${type} does not match its blob`);
      } else if (stored.some((b) => b !== 0)) {
        problems.push(`CodeDirectory ${cd.type}: special slot -${type} is set but the blob is missing`);
      }
    }
    pages += cd.nCodeSlots;
  }
  return { problems, uuid, directories, pages };
}

function parseCodeDirectory(cd, type) {
  if (cd.length < 44 || cd.readUInt32BE(0) !== CSMAGIC_CODEDIRECTORY) {
    throw new CheckError(`blob type ${type} is not a CodeDirectory`);
  }
  const version = cd.readUInt32BE(8);
  const flags = cd.readUInt32BE(12);
  const hashOffset = cd.readUInt32BE(16);
  const identOffset = cd.readUInt32BE(20);
  const nSpecialSlots = cd.readUInt32BE(24);
  const nCodeSlots = cd.readUInt32BE(28);
  let codeLimit = cd.readUInt32BE(32);
  const hashSize = cd.readUInt8(36);
  const hashType = cd.readUInt8(37);
  const pageSizeLog2 = cd.readUInt8(39);
  if (version >= 0x20300 && cd.length >= 64) {
    const codeLimit64 = Number(cd.readBigUInt64BE(56));
    if (codeLimit64) codeLimit = codeLimit64;
  }
  const known = HASH_TYPES[hashType];
  if (!known) throw new CheckError(`CodeDirectory ${type}: unknown hash type ${hashType}`);
  if (known[1] !== hashSize) throw new CheckError(`CodeDirectory ${type}: hash size ${hashSize} for type ${hashType}`);
  if (pageSizeLog2 === 0 || pageSizeLog2 > 31) {
    // A page size of 0 means one hash over the whole file; linkers never write it for executables.
    throw new CheckError(`CodeDirectory ${type}: unsupported page size 2^${pageSizeLog2}`);
  }
  if (hashOffset < nSpecialSlots * hashSize || hashOffset + nCodeSlots * hashSize > cd.length) {
    throw new CheckError(`CodeDirectory ${type}: its hash slots lie outside it`);
  }
  let identifier = '';
  if (identOffset && identOffset < cd.length) {
    const end = cd.indexOf(0, identOffset);
    identifier = cd.subarray(identOffset, end < 0 ? cd.length : end).toString('utf8');
  }
  return {
    type, version, flags, nSpecialSlots, nCodeSlots, codeLimit, hashSize, hashType,
    hashName: known[0] + (known[1] === 20 && hashType === 3 ? '/20' : ''),
    pageSize: 2 ** pageSizeLog2, identifier,
    slot: (index) => cd.subarray(hashOffset + index * hashSize, hashOffset + (index + 1) * hashSize),
  };
}

function digest(cd, data) {
  return crypto.createHash(HASH_TYPES[cd.hashType][0]).update(data).digest().subarray(0, cd.hashSize);
}

function main(argv) {
  const args = argv.slice(2);
  const printUuid = args[0] === '--uuid';
  if (printUuid) args.shift();
  if (args.length !== 1 || args[0].startsWith('-')) {
    process.stderr.write('usage: check-macho-signature.js [--uuid] FILE\n');
    return 2;
  }
  const file = args[0];
  let bytes;
  try {
    bytes = fs.readFileSync(file);
  } catch (error) {
    process.stderr.write(`${file}: cannot read: ${error.message}\n`);
    return 2;
  }
  let result;
  try {
    result = checkSignature(bytes);
  } catch (error) {
    if (!(error instanceof CheckError)) throw error;
    process.stderr.write(`${file}: ${error.message}\n`);
    return 1;
  }
  if (result.problems.length) {
    for (const problem of result.problems) process.stderr.write(`${file}: ${problem}\n`);
    process.stderr.write(`${file}: code signature does NOT match (${result.problems.length} problem(s))\n`);
    return 1;
  }
  if (printUuid) {
    if (!result.uuid) {
      process.stderr.write(`${file}: no LC_UUID\n`);
      return 1;
    }
    process.stdout.write(`${result.uuid}\n`);
    return 0;
  }
  const summary = result.directories.map((cd) =>
    `${cd.hashName} x${cd.nCodeSlots} pages of ${cd.pageSize} bytes${cd.flags & CS_ADHOC ? ', ad hoc' : ''}` +
    (cd.identifier ? `, identifier ${cd.identifier}` : '')).join('; ');
  process.stdout.write(`${file}: code signature matches every page (${summary}); UUID ${result.uuid || 'none'}\n`);
  return 0;
}

if (require.main === module) process.exitCode = main(process.argv);
module.exports = { checkSignature, CheckError };
