'use strict';
// Shared by the package's tests: the package as a user installed it (from the packed tarball, into
// the scratch application named by FENNOR_PACKAGE_APP), the client simulator (through the addon
// tests' helper), and writers and checks for sign-in pipes.
const assert = require('node:assert/strict');
const {execFile} = require('node:child_process');
const net = require('node:net');
const path = require('node:path');

const appDir = process.env.FENNOR_PACKAGE_APP;
if (!appDir) throw new Error('FENNOR_PACKAGE_APP must name the scratch application folder');
// Unix paths are on drive Z: under Wine.
const packageDir = path.resolve(process.platform === 'win32' && appDir.startsWith('/') ? `Z:${appDir}` :
  appDir, 'node_modules', '@fennorworks', 'orloclient-native');
const pkg = require(packageDir);

const SCHEME = 'fennorworks-pkgtest';
const REDIRECT_URI = `${SCHEME}://signin`;
const PIPE_PREFIX = '\\\\.\\pipe\\';

// The simulator's configuration file and call log: one private pair per test process.
const sim = require('../../addon/tests/simulator');

function simulatorCalls(fn) {
  return sim.calls().filter((call) => fn === undefined || call.fn === fn);
}

/** The addon through the package's loader, an initialized OrloApi, the scheme registered. */
function signInSetup() {
  const addon = pkg.load({simulator: true});
  const api = new addon.OrloApi();
  api.initialize();
  assert.equal(addon.registerProtocolHandler(REDIRECT_URI, pkg.protocolHandlerPath), true);
  return {addon, api};
}

function decodeState(state) {
  return JSON.parse(Buffer.from(state, 'base64').toString('utf8'));
}

/**
 * An api that hands each token request to the test instead of the client: `requests` resolves,
 * one by one, with what signIn passed.
 */
function capturingApi() {
  const waiting = [];
  const received = [];
  return {
    initiateTokenRequest(request) {
      const next = waiting.shift();
      if (next) next(request);
      else received.push(request);
    },
    nextRequest() {
      if (received.length) return Promise.resolve(received.shift());
      return new Promise((resolve) => waiting.push(resolve));
    },
  };
}

/** Connects to the sign-in pipe named in `state`, writes `bytes` and (unless keepOpen) closes. */
function writeToPipe(state, bytes, {keepOpen = false} = {}) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(PIPE_PREFIX + decodeState(state).pipeName);
    socket.on('error', (error) => {
      // A listener that drops an oversized message closes under the writer.
      if (socket.connecting) reject(error);
    });
    socket.on('connect', () => {
      if (keepOpen) {
        socket.write(bytes);
        resolve(socket);
      } else {
        socket.end(bytes);
      }
    });
    socket.on('close', () => resolve(socket));
  });
}

/** Runs the packaged protocol handler as Windows would for a redirect. */
function runHandler(url) {
  return new Promise((resolve) => {
    execFile(pkg.protocolHandlerPath, ['--open-url', url], (error, stdout) => {
      resolve({code: error ? error.code : 0, stdout});
    });
  });
}

function redirectFor(state, query = 'code=test-code') {
  return `${REDIRECT_URI}?${query}&state=${state}`;
}

/** Fails unless opening the pipe of `state` finds no pipe at all. */
function assertNoPipe(state) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(PIPE_PREFIX + decodeState(state).pipeName);
    socket.on('connect', () => {
      socket.destroy();
      reject(new Error('the sign-in pipe still accepts connections'));
    });
    socket.on('error', (error) => {
      try {
        assert.equal(error.code, 'ENOENT');
        resolve();
      } catch (mismatch) {
        reject(mismatch);
      }
    });
  });
}

async function waitFor(condition, what, ms = 15000) {
  const until = Date.now() + ms;
  while (!condition()) {
    if (Date.now() > until) throw new Error(`timed out waiting for ${what}`);
    await new Promise((resolve) => setTimeout(resolve, 10));
  }
}

module.exports = {
  waitFor,
  pkg, packageDir, appDir, dir: sim.dir, SCHEME, REDIRECT_URI, configure: sim.configure,
  simulatorCalls, signInSetup,
  decodeState, capturingApi, writeToPipe, runHandler, redirectFor, assertNoPipe,
};
