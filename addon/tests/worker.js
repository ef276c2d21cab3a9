'use strict';
// The module in worker_threads: each environment gets its own exports and class, works on its own,
// and releases what it holds when it ends, without disturbing the others.
const test = require('node:test');
const assert = require('node:assert/strict');
const {Worker, isMainThread, parentPort, workerData} = require('node:worker_threads');
const sim = require('./simulator');

if (!isMainThread) {
  // Worker side: use the module, report, and keep an initialized object alive until the end.
  const native = sim.load();
  const api = new native.OrloApi();
  api.initialize();
  const report = {
    keys: Object.keys(native),
    version: native.version,
    running: api.isRunning(),
    url: api.getAuthUrl(),
  };
  globalThis.keepAlive = api;
  parentPort.postMessage(report);
  if (workerData && workerData.exitAbruptly) process.exit(0);
  return;
}

function runWorker(data = {}) {
  return new Promise((resolve, reject) => {
    const worker = new Worker(__filename, {workerData: data});
    let report;
    worker.on('message', (m) => (report = m));
    worker.on('error', reject);
    worker.on('exit', (code) => (code === 0 ? resolve(report) : reject(new Error(`exit ${code}`))));
  });
}

const expectedReport = {
  keys: ['OrloApi', 'registerProtocolHandler', 'isProtocolHandlerRegistered',
    'getWendraRegionCode', 'version'],
  version: '0.0.1',
  running: true,
  url: 'https://login.orlo.example/federated/signin',
};

test('a worker loads the module first; its handle is released when it ends', async () => {
  sim.configure();
  for (const exitAbruptly of [false, true]) {
    sim.clearCalls();
    assert.deepEqual(await runWorker({exitAbruptly}), expectedReport);
    const calls = sim.calls();
    const handle = calls.find((c) => c.fn === 'OrloApi_InitializeApi').result;
    const frees = calls.filter((c) => c.fn === 'OrloApi_FreeApi');
    assert.deepEqual(frees.map((c) => [c.handle, c.result]), [[handle, 0]], `abrupt: ${exitAbruptly}`);
  }
});

test('the main thread and workers, in turn and at once, each with their own class', async () => {
  const native = sim.load();
  const main = new native.OrloApi();
  main.initialize();
  for (let round = 0; round < 3; ++round) {
    const reports = await Promise.all([runWorker(), runWorker({exitAbruptly: true})]);
    for (const report of reports) assert.deepEqual(report, expectedReport);
    // Ended workers took nothing of the main thread's with them.
    assert.equal(main.isRunning(), true);
    const fresh = new native.OrloApi();
    fresh.initialize();
    assert.equal(fresh.getAuthUrl(), expectedReport.url);
  }
  const calls = sim.calls();
  const created = calls.filter((c) => c.fn === 'OrloApi_InitializeApi').map((c) => c.result);
  const freed = calls.filter((c) => c.fn === 'OrloApi_FreeApi').map((c) => c.handle);
  assert.equal(new Set(freed).size, freed.length, 'no handle released twice');
  assert.ok(freed.length >= 6, 'every worker released its handle');
  assert.ok(freed.every((h) => created.includes(h)));
  assert.ok(calls.filter((c) => c.fn === 'OrloApi_FreeApi').every((c) => c.result === 0));
});
