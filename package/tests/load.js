'use strict';
// The package's loader in node.exe: where it finds the client's DLLs, what it says when one is
// missing, and that it leaves the process environment as it found it. The failures come first:
// once the addon has loaded, its DLLs stay loaded for the life of the process.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const {Worker, SHARE_ENV} = require('node:worker_threads');
const t = require('./support');

const {pkg} = t;
const simDir = path.join(t.packageDir, 'sim');
const prebuilds = path.join(t.packageDir, 'prebuilds', 'win32-x64');

/** A folder standing in for a client install: the simulator's DLLs under other names as asked. */
function clientFolder(name, files) {
  const folder = path.join(t.dir, name);
  fs.mkdirSync(folder, {recursive: true});
  for (const [target, source] of Object.entries(files)) {
    fs.copyFileSync(path.join(simDir, source), path.join(folder, target));
  }
  return folder;
}

const installedClient = clientFolder('installed client', {
  'OrloApi.dll': 'OrloApi.dll', 'KestrineAllocator.dll': 'KestrineAllocator.dll'});

function loadFails(load, options, check) {
  const pathBefore = process.env.PATH;
  assert.throws(() => load(options), check);
  assert.equal(process.env.PATH, pathBefore, 'PATH is restored after a failed load');
}

test('bad options are a TypeError before anything is looked at', () => {
  const cases = [null, 5, 'sim', {simulator: 'yes'}, {clientLibraryDir: ''},
    {clientLibraryDir: 7}, {clientLibraryDir: installedClient, simulator: true},
    {clientLibraryDirectory: installedClient}, {clientLibraryDir: 'C:\\a;b'}];
  for (const options of cases) {
    loadFails(pkg.load, options, (error) => error.constructor === TypeError);
  }
});

test('a client folder without one of its DLLs: the error names the file and the folder', () => {
  const cases = [
    {files: {'KestrineAllocator.dll': 'KestrineAllocator.dll'}, missing: 'OrloApi.dll'},
    {files: {'OrloApi.dll': 'OrloApi.dll'}, missing: 'KestrineAllocator.dll'},
    {files: {}, missing: 'OrloApi.dll'},
  ];
  cases.forEach(({files, missing}, i) => {
    const folder = clientFolder(`incomplete client ${i}`, files);
    loadFails(pkg.load, {clientLibraryDir: folder}, (error) => {
      assert.ok(error instanceof pkg.LibraryNotFoundError);
      assert.equal(error.code, 'ERR_ORLOCLIENT_LIBRARY_NOT_FOUND');
      assert.equal(error.file, missing);
      assert.deepEqual(error.searched, [folder]);
      assert.ok(error.message.startsWith(`${missing} was not found; looked in ${folder}`), error.message);
      assert.doesNotMatch(error.message, /could not be found|Module not found/);
      return true;
    });
  });
  const nowhere = path.join(t.dir, 'no such folder');
  loadFails(pkg.load, {clientLibraryDir: nowhere},
      {name: 'LibraryNotFoundError', file: 'OrloApi.dll', searched: [nowhere]});
});

test('without a client folder, a failed load names the missing DLL and every folder searched', () => {
  // This test process has no client on its PATH, so the system's search finds none.
  loadFails(pkg.load, undefined, (error) => {
    assert.ok(error instanceof pkg.LibraryNotFoundError);
    assert.equal(error.file, 'OrloApi.dll');
    assert.equal(error.searched[0], prebuilds);
    assert.ok(error.searched.some((folder) => /system32$/i.test(folder)));
    const searched = error.searched.map((folder) => folder.toLowerCase());
    for (const entry of process.env.PATH.split(';').filter(Boolean)) {
      assert.ok(searched.includes(entry.toLowerCase()), entry);
    }
    assert.equal(new Set(searched).size, searched.length, 'each folder once');
    assert.match(error.message, /clientLibraryDir/);
    assert.equal(error.cause.code, 'ERR_DLOPEN_FAILED');
    return true;
  });
});

test('every file in place but one damaged: the loader\'s failure is explained, with its cause', () => {
  // (A DLL that lacks an imported function would be the other case, but Wine, unlike Windows,
  // loads it anyway and stops the process at the first call.)
  const damaged = clientFolder('damaged client', {'KestrineAllocator.dll': 'KestrineAllocator.dll'});
  fs.writeFileSync(path.join(damaged, 'OrloApi.dll'), Buffer.from('MZ but nothing like a DLL'));
  loadFails(pkg.load, {clientLibraryDir: damaged}, (error) => {
    assert.equal(error.code, 'ERR_ORLOCLIENT_LOAD_FAILED');
    assert.equal(error.cause.code, 'ERR_DLOPEN_FAILED');
    assert.match(error.message, /all in place.*damaged/);
    assert.match(error.message, new RegExp(`with clientLibraryDir ${damaged.replace(/\\/g, '\\\\')}`));
    return true;
  });
});

test('a damaged package: HostShim.dll missing beside the addon is named', () => {
  const copy = path.join(t.dir, 'damaged', 'orloclient-native');
  fs.cpSync(t.packageDir, copy, {recursive: true});
  fs.rmSync(path.join(copy, 'prebuilds', 'win32-x64', 'HostShim.dll'));
  const damaged = require(copy);
  loadFails(damaged.load, {simulator: true}, (error) => {
    assert.equal(error.file, 'HostShim.dll');
    assert.deepEqual(error.searched, [path.join(copy, 'prebuilds', 'win32-x64')]);
    assert.match(error.message, /reinstall/);
    return true;
  });
});

function inWorker(env, options) {
  const script = `
    const {parentPort, workerData} = require('node:worker_threads');
    const pkg = require(workerData.packageDir);
    try {
      const addon = pkg.load(workerData.options);
      const api = new addon.OrloApi();
      api.initialize();
      parentPort.postMessage({running: api.isRunning()});
    } catch (error) {
      parentPort.postMessage({code: error.code, message: error.message});
    }`;
  return new Promise((resolve, reject) => {
    const worker = new Worker(script, {eval: true, env, workerData: {packageDir: t.packageDir, options}});
    worker.once('message', resolve);
    worker.once('error', reject);
  });
}

test('in a Worker with its own environment copy, the failure says how to load instead', async () => {
  const answer = await inWorker(undefined, {clientLibraryDir: installedClient});
  assert.equal(answer.code, 'ERR_ORLOCLIENT_LOAD_FAILED');
  assert.match(answer.message, /worker thread.*SHARE_ENV/s);
});

test('a client folder: the addon loads, with exports unchanged, and PATH is restored', () => {
  const pathBefore = process.env.PATH;
  const addon = pkg.load({clientLibraryDir: installedClient});
  assert.equal(process.env.PATH, pathBefore);
  assert.equal(addon, require(path.join(prebuilds, 'orloclient-addon.node')));
  assert.deepEqual(Object.keys(addon), ['OrloApi', 'registerProtocolHandler',
    'isProtocolHandlerRegistered', 'getWendraRegionCode', 'version']);
  const api = new addon.OrloApi();
  api.initialize();
  assert.equal(api.isRunning(), true);
  // Again with the same folder (spelled differently): the same exports.
  assert.equal(pkg.load({clientLibraryDir: `${installedClient.toUpperCase()}\\.`}), addon);
});

test('once loaded, a load that asks for another client library is refused', () => {
  for (const options of [{simulator: true}, undefined, {clientLibraryDir: simDir}]) {
    assert.throws(() => pkg.load(options), /already loaded with clientLibraryDir/);
  }
});

test('Workers load it too once the main thread has', async () => {
  assert.deepEqual(await inWorker(undefined, {clientLibraryDir: installedClient}), {running: true});
  assert.deepEqual(await inWorker(SHARE_ENV, {clientLibraryDir: installedClient}), {running: true});
});

test('protocolHandlerPath is the absolute path of the packaged handler', () => {
  assert.equal(pkg.protocolHandlerPath, path.join(prebuilds, 'orlo-protocolhandler.exe'));
  assert.ok(path.isAbsolute(pkg.protocolHandlerPath));
  assert.ok(fs.statSync(pkg.protocolHandlerPath).isFile());
});
