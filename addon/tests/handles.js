'use strict';
// Client handles: one per object, released exactly once when the object is collected.
const test = require('node:test');
const assert = require('node:assert/strict');
const v8 = require('node:v8');
const vm = require('node:vm');
const sim = require('./simulator');

v8.setFlagsFromString('--expose-gc');
const gc = vm.runInNewContext('gc');
const native = sim.load();

async function collect() {
  // Wrapped objects are finalized after the collection, from the event loop.
  for (let i = 0; i < 5; ++i) {
    gc();
    await new Promise((resolve) => setImmediate(resolve));
  }
}

const frees = () => sim.calls().filter((c) => c.fn === 'OrloApi_FreeApi');

test('two objects hold separate handles, each released once when collected', async () => {
  sim.configure();
  sim.clearCalls();
  let first = new native.OrloApi();
  let second = new native.OrloApi();
  first.initialize();
  second.initialize();
  const handles = sim.calls().filter((c) => c.fn === 'OrloApi_InitializeApi').map((c) => c.result);
  assert.equal(handles.length, 2);
  assert.notEqual(handles[0], handles[1]);
  first.isRunning();
  second.isInstalled();
  assert.deepEqual(sim.calls().filter((c) => c.fn.startsWith('OrloApi_Is')).map((c) => c.handle),
      handles);

  first = null;
  await collect();
  assert.deepEqual(frees().map((c) => [c.handle, c.result]), [[handles[0], 0]]);
  assert.equal(second.isRunning(), true, 'the other object is untouched');

  second = null;
  await collect();
  assert.deepEqual(frees().map((c) => [c.handle, c.result]), [[handles[0], 0], [handles[1], 0]]);
});

test('objects without a handle release nothing', async () => {
  sim.clearCalls();
  (() => new native.OrloApi())();
  sim.configure({initializeFails: true});
  (() => {
    const api = new native.OrloApi();
    assert.throws(() => api.initialize());
  })();
  sim.configure();
  await collect();
  assert.deepEqual(frees(), []);
});

test('many short-lived objects: every handle released once', async () => {
  sim.clearCalls();
  for (let i = 0; i < 50; ++i) new native.OrloApi().initialize();
  await collect();
  const created = sim.calls().filter((c) => c.fn === 'OrloApi_InitializeApi').map((c) => c.result);
  const released = frees().map((c) => c.handle);
  assert.equal(created.length, 50);
  assert.deepEqual([...released].sort((a, b) => a - b), [...created].sort((a, b) => a - b));
  assert.ok(frees().every((c) => c.result === 0));
});
