'use strict';
// What tools/package writes: exactly the files a script developer needs, with fixed modes and
// times, a manifest that installs nothing and builds nothing, the shipped binaries unchanged, and
// the same bytes from the same inputs.
const test = require('node:test');
const assert = require('node:assert/strict');
const {execFileSync} = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const zlib = require('node:zlib');

const root = path.resolve(__dirname, '../..');
const scratch = process.env.FENNOR_PACKAGE_SCRATCH;
const dist = path.join(scratch, 'dist', 'windows-x64');
const source = JSON.parse(fs.readFileSync(path.join(root, 'package', 'package.json'), 'utf8'));
const tarballName = `fennorworks-orloclient-native-${source.version}.tgz`;
const tarball = path.join(scratch, 'out', tarballName);

function octal(block, offset, length) {
  return parseInt(block.toString('latin1', offset, offset + length).replace(/\0.*$/, '').trim() || '0', 8);
}

function text(block, offset, length) {
  return block.toString('utf8', offset, offset + length).replace(/\0.*$/s, '');
}

/** The entries of a .tgz in order: name, type, mode, uid, gid, mtime, bytes. */
function readTarball(file) {
  const data = zlib.gunzipSync(fs.readFileSync(file));
  const entries = [];
  for (let at = 0; at + 512 <= data.length;) {
    const header = data.subarray(at, at + 512);
    if (header.every((byte) => byte === 0)) break;
    const size = octal(header, 124, 12);
    const prefix = text(header, 345, 155);
    const name = text(header, 0, 100);
    entries.push({
      name: prefix ? `${prefix}/${name}` : name,
      type: String.fromCharCode(header[156]),
      mode: octal(header, 100, 8),
      uid: octal(header, 108, 8),
      gid: octal(header, 116, 8),
      mtime: octal(header, 136, 12),
      bytes: data.subarray(at + 512, at + 512 + size),
    });
    at += 512 + Math.ceil(size / 512) * 512;
  }
  return entries;
}

const entries = readTarball(tarball);
const byName = new Map(entries.map((entry) => [entry.name, entry]));

test('the tarball holds exactly the package files, each once, with fixed modes and times', () => {
  assert.deepEqual([...byName.keys()].sort(), [
    'README.md', 'index.d.ts', 'index.js', 'lib/errors.js', 'lib/load.js', 'lib/pipe-listener.js',
    'lib/sign-in.js', 'orloclient-addon.d.ts', 'package.json',
    'prebuilds/win32-x64/HostShim.dll', 'prebuilds/win32-x64/orlo-protocolhandler.exe',
    'prebuilds/win32-x64/orloclient-addon.node', 'sim/KestrineAllocator.dll', 'sim/OrloApi.dll',
    'sim/README.md',
  ].map((name) => `package/${name}`));
  assert.equal(byName.size, entries.length);
  const mtimes = new Set(entries.map((entry) => entry.mtime));
  assert.equal(mtimes.size, 1);
  for (const entry of entries) {
    assert.equal(entry.type, '0', entry.name);
    assert.equal(entry.mode, 0o644, entry.name);
    assert.deepEqual([entry.uid, entry.gid], [0, 0], entry.name);
  }
});

test('the manifest: Windows x64 only, typed, nothing run or built at install', () => {
  const manifest = JSON.parse(byName.get('package/package.json').bytes.toString('utf8'));
  assert.equal(manifest.name, '@fennorworks/orloclient-native');
  assert.equal(manifest.version, source.version);
  assert.deepEqual(manifest.os, ['win32']);
  assert.deepEqual(manifest.cpu, ['x64']);
  assert.equal(manifest.main, 'index.js');
  assert.equal(manifest.types, 'index.d.ts');
  for (const key of ['scripts', 'gypfile', 'dependencies', 'optionalDependencies',
    'peerDependencies', 'bundleDependencies', 'binary']) {
    assert.equal(manifest[key], undefined, key);
  }
  // npm adds "node-gyp rebuild" as an install script for a package with a binding.gyp.
  assert.ok(![...byName.keys()].some((name) => /binding\.gyp$/.test(name)));
  assert.ok(byName.has(`package/${manifest.main}`) && byName.has(`package/${manifest.types}`));
  assert.match(byName.get('package/sim/README.md').bytes.toString('utf8'),
      /development and tests only/i);
});

test('the binaries are the installed deliverables, and the addon\'s types are the addon\'s own', () => {
  const shipped = {
    'prebuilds/win32-x64/orloclient-addon.node': 'orloclient-addon.node',
    'prebuilds/win32-x64/HostShim.dll': 'HostShim.dll',
    'prebuilds/win32-x64/orlo-protocolhandler.exe': 'orlo-protocolhandler.exe',
    'sim/OrloApi.dll': 'sim/OrloApi.dll',
    'sim/KestrineAllocator.dll': 'sim/KestrineAllocator.dll',
    'orloclient-addon.d.ts': 'orloclient-addon.d.ts',
  };
  for (const [inPackage, inDist] of Object.entries(shipped)) {
    assert.ok(byName.get(`package/${inPackage}`).bytes.equals(fs.readFileSync(path.join(dist, inDist))),
        inPackage);
  }
  assert.ok(byName.get('package/orloclient-addon.d.ts').bytes.equals(
      fs.readFileSync(path.join(root, 'addon', 'orloclient-addon.d.ts'))));
  for (const file of ['index.js', 'index.d.ts', 'README.md', 'lib/sign-in.js']) {
    assert.ok(byName.get(`package/${file}`).bytes.equals(
        fs.readFileSync(path.join(root, 'package', file))), file);
  }
});

test('the same inputs give the same bytes, whatever their times, modes and the umask', () => {
  const again = fs.mkdtempSync(path.join(os.tmpdir(), 'orloclient-repack-'));
  try {
    // A copy of the inputs with fresh times and other modes, packed under another umask.
    const inputs = path.join(again, 'windows-x64');
    fs.cpSync(dist, inputs, {recursive: true});
    for (const file of ['orloclient-addon.node', 'HostShim.dll', 'sim/OrloApi.dll']) {
      fs.chmodSync(path.join(inputs, file), 0o700);
      fs.utimesSync(path.join(inputs, file), new Date(2001, 1, 1), new Date(2001, 1, 1));
    }
    const printed = execFileSync('bash', ['-c', 'umask 077 && exec "$0" --from "$1" --out "$2"',
      path.join(root, 'tools', 'package'), inputs, path.join(again, 'out')],
    {encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore']}).trim().split('\n').at(-1);
    assert.equal(printed, path.join(again, 'out', tarballName));
    assert.ok(fs.readFileSync(printed).equals(fs.readFileSync(tarball)), 'the tarballs differ');
  } finally {
    fs.rmSync(again, {recursive: true, force: true});
  }
});
