'use strict';
// Shared by the addon's script tests: loads the addon and drives the client simulator (OrloApi.dll
// stand-in) through its configuration file and call log: one private pair of files per process.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const addonPath = process.env.ORLOCLIENT_ADDON ||
    path.resolve(__dirname, '../../build/windows/bin/orloclient-addon.node');

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'orloclient-test-'));
const configFile = path.join(dir, 'sim-config.json');
const logFile = path.join(dir, 'sim-calls.jsonl');
// The simulator reads both variables at every call, through the process environment.
process.env.ORLOAPI_SIM_CONFIG = configFile;
process.env.ORLOAPI_SIM_LOG = logFile;

/** Replaces the simulated client's behaviour; {} means the defaults. */
function configure(config = {}) {
  fs.writeFileSync(configFile, JSON.stringify(config));
}

/** The client calls recorded since the last clearCalls(), oldest first. */
function calls() {
  if (!fs.existsSync(logFile)) return [];
  return fs.readFileSync(logFile, 'utf8').split('\n').filter(Boolean).map((l) => JSON.parse(l));
}

function clearCalls() {
  fs.rmSync(logFile, {force: true});
}

/** A fresh, initialized OrloApi object and the simulator's number of its handle. */
function initializedApi(native) {
  clearCalls();
  const api = new native.OrloApi();
  api.initialize();
  const init = calls().find((c) => c.fn === 'OrloApi_InitializeApi');
  return {api, handle: init.result};
}

function load() {
  return require(addonPath);
}

configure();

module.exports = {addonPath, configure, calls, clearCalls, initializedApi, load, dir};
