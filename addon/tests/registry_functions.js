'use strict';
// registerProtocolHandler, isProtocolHandlerRegistered and getWendraRegionCode against Wine's
// registry. Schemes are made unique per run and removed afterwards; the region code value is put
// back as it was (ctest runs this under the lock the registry library's region tests take).
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const {spawnSync} = require('node:child_process');
const sim = require('./simulator');

const native = sim.load();
// Never a bare "reg": Wine would run a reg.exe from the current folder first.
const REG = 'C:\\windows\\system32\\reg.exe';

function reg(...args) {
  const result = spawnSync(REG, args, {encoding: 'utf8'});
  return {status: result.status, stdout: result.stdout};
}

/** The key exported by reg.exe, whose file keeps every character (its console output does not). */
function exportKey(key) {
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'bridge-reg-')), 'key.reg');
  const {status} = reg('export', key, file, '/y');
  if (status !== 0) return null;
  return fs.readFileSync(file, 'utf16le');
}

/** How reg.exe writes a string in an export: backslashes and quotes escaped. */
const regString = (s) => s.replace(/\\/g, '\\\\').replace(/"/g, '\\"');

const run = `${process.pid}${Date.now() % 100000}`;
const schemes = [];
function scheme(name) {
  const s = `fennortest${name}${run}`;
  schemes.push(s);
  return s;
}
test.after(() => {
  for (const s of schemes) reg('delete', `HKCU\\Software\\Classes\\${s}`, '/f');
});

test('arguments: both protocol functions want two strings', () => {
  const cases = [
    [[], 'Argument 0 must be a string'],
    [[5], 'Argument 0 must be a string'],
    [[new String('myapp://signin'), 'C:\\h.exe'], 'Argument 0 must be a string'],
    [[undefined, 'C:\\h.exe'], 'Argument 0 must be a string'],
    [['myapp://signin'], 'Argument 1 must be a string'],
    [['myapp://signin', null], 'Argument 1 must be a string'],
    [['myapp://signin', {}], 'Argument 1 must be a string'],
  ];
  for (const fn of [native.registerProtocolHandler, native.isProtocolHandlerRegistered]) {
    for (const [args, message] of cases) {
      assert.throws(() => fn(...args), {name: 'TypeError', message}, JSON.stringify(args));
    }
  }
});

test('a URI without "://" answers false and writes nothing', () => {
  const s = scheme('noseparator');
  assert.equal(native.registerProtocolHandler(s, 'C:\\Apps\\handler.exe'), false);
  assert.equal(native.isProtocolHandlerRegistered(s, 'C:\\Apps\\handler.exe'), false);
  assert.equal(reg('query', `HKCU\\Software\\Classes\\${s}`).status, 1);
});

test('a scheme outside URI syntax answers false and writes nothing', () => {
  const s = scheme('syntax');
  for (const bad of [`1${s}`, `${s} x`, `${s}%62`, `${s}\u00e9`]) {
    schemes.push(bad);
    const uri = `${bad}://signin`;
    assert.equal(native.registerProtocolHandler(uri, 'C:\\Apps\\handler.exe'), false, bad);
    assert.equal(native.isProtocolHandlerRegistered(uri, 'C:\\Apps\\handler.exe'), false, bad);
    assert.equal(reg('query', `HKCU\\Software\\Classes\\${bad}`).status, 1, bad);
  }
  // The same scheme without the odd character is accepted.
  assert.equal(native.registerProtocolHandler(`${s}://signin`, 'C:\\Apps\\handler.exe'), true);
});

test('registration: only the scheme matters, the path must match, never registered is false',
    () => {
      const s = scheme('signin');
      const handler = 'C:\\Apps\\Fennor\\orlo-protocolhandler.exe';
      assert.equal(native.isProtocolHandlerRegistered(`${s}://signin`, handler), false);
      assert.equal(native.registerProtocolHandler(`${s}://signin`, handler, 'ignored'), true);
      assert.equal(native.isProtocolHandlerRegistered(`${s}://signin`, handler), true);
      assert.equal(native.isProtocolHandlerRegistered(`${s}://other/path?x=1`, handler), true);
      assert.equal(native.isProtocolHandlerRegistered(`${s}://signin`, handler.toUpperCase()), true);
      assert.equal(native.isProtocolHandlerRegistered(`${s}://signin`, 'C:\\Other\\handler.exe'),
          false);
      assert.equal(native.isProtocolHandlerRegistered(`${scheme('never')}://signin`, handler), false);

      const exported = exportKey(`HKCU\\Software\\Classes\\${s}\\shell\\open\\command`);
      assert.ok(exported.includes(`@="${regString(`"${handler}" --open-url "%1"`)}"`), exported);
    });

test('non-ASCII paths reach the registry as the same characters', () => {
  const s = scheme('unicode');
  const handler = 'C:\\Users\\José Müller\\Ünïcode 日本 \u{1F600}\\handler.exe';
  assert.equal(native.registerProtocolHandler(`${s}://signin`, handler), true);
  const exported = exportKey(`HKCU\\Software\\Classes\\${s}\\shell\\open\\command`);
  assert.ok(exported.includes(`@="${regString(`"${handler}" --open-url "%1"`)}"`), exported);
  // Read back by the registry library: the same characters match, a look-alike does not.
  assert.equal(native.isProtocolHandlerRegistered(`${s}://signin`, handler), true);
  assert.equal(native.isProtocolHandlerRegistered(`${s}://signin`, handler.replace('é', 'e')),
      false);
});

test('getWendraRegionCode: positive, negative and absent codes', (t) => {
  const key = 'HKCU\\Software\\Kestrine';
  const before = exportKey(key);
  t.after(() => {
    reg('delete', key, '/v', 'WendraRegionCode', '/f');
    if (before === null) {
      reg('delete', key, '/f');
    } else {
      const m = before.match(/"WendraRegionCode"="((?:[^"\\]|\\.)*)"/);
      const data = m && m[1].replace(/\\(.)/g, '$1');
      if (m) reg('add', key, '/v', 'WendraRegionCode', '/t', 'REG_SZ', '/d', data, '/f');
    }
  });
  for (const [stored, expected] of [['102', 102], ['-3', -3], ['2147483647', 2147483647]]) {
    const added = reg('add', key, '/v', 'WendraRegionCode', '/t', 'REG_SZ', '/d', stored, '/f');
    assert.equal(added.status, 0);
    assert.equal(native.getWendraRegionCode('arguments', 'are', 'ignored'), expected, stored);
  }
  reg('delete', key, '/v', 'WendraRegionCode', '/f');
  assert.throws(() => native.getWendraRegionCode(),
      {name: 'Error', message: 'Failed to get Wendra region code.'});
});
