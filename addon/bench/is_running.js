'use strict';
// Calls per second of OrloApi#isRunning() against a bare native method of a baseline addon built
// the same way, measured in the same process in alternating rounds. Prints the medians and the ratio.
//   addon/bench/run-is-running [rounds] [calls per round]
const path = require('node:path');
const {performance} = require('node:perf_hooks');

const bin = process.env.FENNOR_BIN || path.resolve(__dirname, '../../build/windows/bin');
// The simulated client runs with its defaults and no call log: the numbers are the addon's.
delete process.env.ORLOAPI_SIM_CONFIG;
delete process.env.ORLOAPI_SIM_LOG;

const native = require(path.join(bin, 'orloclient-addon.node'));
const {Bare} = require(path.join(bin, 'addon_is_running_baseline.node'));

const rounds = Number(process.argv[2] || 7);
const calls = Number(process.argv[3] || 200000);

const api = new native.OrloApi();
api.initialize();
const bare = new Bare();

function rate(fn) {
  const start = performance.now();
  let answers = 0;
  for (let i = 0; i < calls; ++i) if (fn()) ++answers;
  const seconds = (performance.now() - start) / 1000;
  if (answers !== calls) throw new Error('unexpected answer');
  return calls / seconds;
}

const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];

// Warm up both paths (first calls bind Node-API functions through HostShim, JIT settles).
rate(() => api.isRunning());
rate(() => bare.answer());

const addonRates = [];
const baselineRates = [];
for (let round = 0; round < rounds; ++round) {
  // Alternate which goes first, so drift in the machine's load hits both alike.
  if (round % 2 === 0) {
    addonRates.push(rate(() => api.isRunning()));
    baselineRates.push(rate(() => bare.answer()));
  } else {
    baselineRates.push(rate(() => bare.answer()));
    addonRates.push(rate(() => api.isRunning()));
  }
}

const addon = median(addonRates);
const baseline = median(baselineRates);
const fmt = (r) => `${(r / 1e6).toFixed(3)} M calls/s`;
console.log(`rounds: ${rounds} x ${calls} calls`);
console.log(`isRunning():         ${fmt(addon)}`);
console.log(`baseline answer():   ${fmt(baseline)}`);
console.log(`ratio addon/baseline: ${(addon / baseline).toFixed(3)} (target >= 0.80)`);
// One line for tools/bench: name|figure|baseline|ratio|target|holds. The target is on the run
// against the benchmark client; the simulator's run is for information.
const client = process.env.IS_RUNNING_CLIENT || 'benchmark client';
const informational = client !== 'benchmark client';
console.log(`BENCH|addon isRunning() calls/s, ${client}|${fmt(addon)}|${fmt(baseline)} (bare method)|` +
            `${(addon / baseline).toFixed(3)}|${informational ? '(info)' : '>= 0.80'}|` +
            `${informational ? '-' : addon >= 0.8 * baseline ? 'yes' : 'no'}`);
