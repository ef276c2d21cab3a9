'use strict';
// The Authenticode signatures of the shipped Windows files: each verifies against the test CA, was
// made at the commit's time without a time stamp, and fails once any signed byte changes.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { sections } = require('../debuglink');
const bundle = require('./bundle');

const ca = path.join(bundle.sourceDir, 'release', 'test-signing', 'ca.pem');
const NAMES = ['orloclient-addon.node', 'HostShim.dll', 'orlo-protocolhandler.exe'];

function verify(bytes, caFile = ca) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'authenticode-'));
  const file = path.join(dir, 'file');
  fs.writeFileSync(file, bytes);
  try {
    const args = ['verify', ...(caFile ? ['-CAfile', caFile] : []), '-in', file];
    const result = spawnSync('osslsigncode', args, { encoding: 'utf8' });
    return { status: result.status, output: result.stdout + result.stderr };
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

// File offset and size of the certificate table (data directory 4 of the PE32+ optional header).
function certificateTable(bytes) {
  const optional = bytes.readUInt32LE(0x3c) + 24;
  assert.equal(bytes.readUInt16LE(optional), 0x20b, 'PE32+');
  const entry = optional + 112 + 4 * 8;
  return { offset: bytes.readUInt32LE(entry), size: bytes.readUInt32LE(entry + 4) };
}

function offsetOf(bytes, section) {
  const contents = sections(bytes, 'file').get(section);
  assert.ok(contents, `no ${section} section`);
  return { offset: contents.byteOffset - bytes.byteOffset, size: contents.length };
}

for (const name of NAMES) {
  const original = fs.readFileSync(bundle.file(`windows-x64/${name}`));

  test(`${name}: verifies against release/test-signing/ca.pem, signed at the source date, no time stamp`, () => {
    const { status, output } = verify(original);
    assert.equal(status, 0, output);
    assert.match(output, /^Signature verification: ok$/m);
    assert.match(output, /Message digest algorithm {2}: SHA256/);
    assert.match(output, /Subject: \/CN=Fennor Works Test Code Signing - DO NOT TRUST/);
    assert.match(output, /Timestamp is not available/);
    const signingTime = output.match(/Signing time: (.+)$/m);
    assert.ok(signingTime, output);
    assert.equal(Date.parse(signingTime[1]) / 1000, bundle.sourceDateEpoch());
  });

  test(`${name}: the PE header's time stamp is the source date`, () => {
    const coff = original.readUInt32LE(0x3c) + 4;
    assert.equal(original.readUInt32LE(coff + 4), bundle.sourceDateEpoch());
  });

  test(`${name}: the system's CA store does not trust the test certificate`, () => {
    const { status, output } = verify(original, null);
    assert.notEqual(status, 0, output);
    assert.match(output, /Signature verification: failed/);
  });

  const table = certificateTable(original);
  const cases = [
    ['a byte of the code', (b) => { const t = offsetOf(b, '.text'); b[t.offset + Math.floor(t.size / 2)] ^= 0x01; }],
    ['a byte of the link to the symbols', (b) => { b[offsetOf(b, '.gnu_debuglink').offset] ^= 0x20; }],
    ['a byte of the signature value', (b) => {
      // The DER length of the PKCS#7 blob after the 8-byte WIN_CERTIFICATE header; the RSA
      // signature value is its last part.
      const der = table.offset + 8;
      assert.equal(b[der], 0x30);
      const length = 4 + b.readUInt16BE(der + 2);
      b[der + length - 100] ^= 0x01;
    }],
  ];
  for (const [what, mutate] of cases) {
    test(`${name}: ${what} changed after signing fails verification`, () => {
      const bytes = Buffer.from(original);
      mutate(bytes);
      assert.notDeepEqual(bytes, original);
      const { status, output } = verify(bytes);
      assert.notEqual(status, 0, output);
      assert.doesNotMatch(output, /^Signature verification: ok$/m);
    });
  }
}
