'use strict';
// Run by the Windows node.exe under Wine: loads the signed addon given as the argument (HostShim.dll
// beside it, the client simulator on the DLL search path) and prints, as one JSON line, what a
// sign-in script sees first.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'signed-addon-'));
const config = path.join(dir, 'sim-config.json');
fs.writeFileSync(config, JSON.stringify({
  installed: true, running: true, userSessionActive: false,
  authUrl: 'https://login.orlo.example/federated/signed-release',
}));
process.env.ORLOAPI_SIM_CONFIG = config;

const native = require(process.argv[2]);
const api = new native.OrloApi();
api.initialize();
console.log(JSON.stringify({
  exports: Object.keys(native),
  version: native.version,
  installed: api.isInstalled(),
  running: api.isRunning(),
  session: api.isUserSessionActive(),
  authUrl: api.getAuthUrl(),
}));
fs.rmSync(dir, { recursive: true, force: true });
