'use strict';
// The installed package in Linux's own node: load refuses the platform, signIn refuses bad
// arguments before it creates or asks for anything, and the asar path mapping.
const test = require('node:test');
const assert = require('node:assert/strict');
const crypto = require('node:crypto');
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');

const appDir = process.env.FENNOR_PACKAGE_APP;
const packageDir = path.resolve(appDir, 'node_modules', '@fennorworks', 'orloclient-native');
const pkg = require(packageDir);

test('the package exports the loader, the helper and the error classes', () => {
  assert.deepEqual(Object.keys(pkg).sort(), ['LibraryNotFoundError', 'OAuthError',
    'SignInAbortError', 'SignInTimeoutError', 'load', 'protocolHandlerPath', 'signIn']);
});

test('ES modules import the same names, as the README\'s example does', async () => {
  const {pathToFileURL} = require('node:url');
  const esm = await import(pathToFileURL(path.join(packageDir, 'index.js')).href);
  for (const name of Object.keys(pkg)) assert.equal(esm[name], pkg[name], name);
});

test('load on any platform but win32-x64 says so, whatever the options', () => {
  for (const options of [undefined, {simulator: true}, {clientLibraryDir: '/opt/client'}, 'bad']) {
    assert.throws(() => pkg.load(options), (error) => {
      assert.equal(error.code, 'ERR_ORLOCLIENT_UNSUPPORTED_PLATFORM');
      assert.match(error.message, /runs only on Windows x64 \(win32-x64\); this process is linux-x64/);
      return true;
    });
  }
});

test('signIn rejects bad arguments before it creates, draws or asks for anything', async (t) => {
  const counts = {createServer: 0, connect: 0, randomBytes: 0};
  for (const [object, name] of [[net, 'createServer'], [net, 'connect'], [crypto, 'randomBytes']]) {
    t.mock.method(object, name, function counted(...args) {
      counts[name] += 1;
      throw new Error(`${name} called with ${args.length} arguments`);
    });
  }
  const touched = [];
  const api = new Proxy({initiateTokenRequest() {}}, {
    get(target, key) {
      touched.push(String(key));
      return Reflect.get(target, key);
    },
  });
  const good = {clientId: 'c', scopes: 'openid', redirectUri: 'myapp://signin'};
  const cases = [
    [null, good, TypeError],
    ['api', good, TypeError],
    [{}, good, TypeError], // no initiateTokenRequest
    [{initiateTokenRequest: 'x'}, good, TypeError],
    [api, undefined, TypeError],
    [api, 'options', TypeError],
    [api, {...good, redirectUri: undefined}, TypeError],
    [api, {...good, redirectUri: ''}, TypeError],
    [api, {...good, redirectUri: 'not a url'}, TypeError],
    [api, {...good, redirectUri: 'myapp://signin#frag'}, TypeError],
    [api, {...good, redirectUri: 'myapp://signin#'}, TypeError],
    [api, {...good, redirectUri: 'myapp://signin?state=x'}, TypeError],
    [api, {...good, redirectUri: 'myapp://signin?a=1&code=x'}, TypeError],
    [api, {...good, redirectUri: new URL('myapp://signin')}, TypeError],
    [api, {...good, clientId: undefined}, TypeError],
    [api, {...good, clientId: ''}, TypeError],
    [api, {...good, clientId: 5}, TypeError],
    [api, {...good, scopes: undefined}, TypeError],
    [api, {...good, scopes: ['openid', '']}, TypeError],
    [api, {...good, scopes: ['open id']}, TypeError],
    [api, {...good, scopes: ['openid', 5]}, TypeError],
    [api, {...good, timeoutMs: '1000'}, TypeError],
    [api, {...good, timeoutMs: NaN}, TypeError],
    [api, {...good, timeoutMs: 0}, RangeError],
    [api, {...good, timeoutMs: -1}, RangeError],
    [api, {...good, timeoutMs: Infinity}, RangeError],
    // Beyond 32 bits a timer would fire at once.
    [api, {...good, timeoutMs: 2 ** 31}, RangeError],
    [api, {...good, signal: {}}, TypeError],
    [api, {...good, signal: null}, TypeError],
    [api, {...good, onRejected: 'log'}, TypeError],
    [api, {...good, timeout: 1000}, TypeError], // a misspelt option is not silently ignored
  ];
  for (const [apiArg, options, expected] of cases) {
    touched.length = 0;
    await assert.rejects(pkg.signIn(apiArg, options), (error) => error.constructor === expected,
        JSON.stringify(options));
    assert.ok(touched.every((key) => key === 'initiateTokenRequest'), touched.join());
  }
  // An aborted signal: rejected at once, nothing created either.
  await assert.rejects(pkg.signIn(api, {...good, signal: AbortSignal.abort()}), pkg.SignInAbortError);
  assert.deepEqual(counts, {createServer: 0, connect: 0, randomBytes: 0});
});

test('inside an asar archive the binaries are used from app.asar.unpacked', () => {
  const resources = fs.mkdtempSync(path.join(os.tmpdir(), 'orloclient-asar-'));
  const inArchive = path.join(resources, 'app.asar', 'node_modules', '@fennorworks',
      'orloclient-native');
  fs.cpSync(packageDir, inArchive, {recursive: true});
  const packed = require(inArchive);
  assert.equal(packed.protocolHandlerPath, path.join(resources, 'app.asar.unpacked', 'node_modules',
      '@fennorworks', 'orloclient-native', 'prebuilds', 'win32-x64', 'orlo-protocolhandler.exe'));
  // Only a whole path component counts.
  const lookalike = path.join(resources, 'my-app.asar.d', 'orloclient-native');
  fs.cpSync(packageDir, lookalike, {recursive: true});
  assert.equal(require(lookalike).protocolHandlerPath,
      path.join(lookalike, 'prebuilds', 'win32-x64', 'orlo-protocolhandler.exe'));
  fs.rmSync(resources, {recursive: true, force: true});
});
