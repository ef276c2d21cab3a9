'use strict';
// Steady-state Node-API calls through HostShim.dll against the same calls imported directly from
// node.exe, measured in one run: both modules are loaded side by side and timed in many short
// alternating rounds, so that both see the same machine load. Two loops:
//   cheapCalls   napi_get_undefined, napi_typeof, napi_get_value_double (nothing allocated)
//   scopedCalls  a handle scope around napi_get_undefined, napi_typeof, napi_create_double
// Usage: tools/node-win hostshim/bench/hostshim_bench.js [rounds] [iterations per round]
// The modules are taken from build/windows/bin, or from the folder in HOSTSHIM_BENCH_DIR.
const path = require('node:path');

const dir =
  process.env.HOSTSHIM_BENCH_DIR || path.join(__dirname, '..', '..', 'build', 'windows', 'bin');
const rounds = Number(process.argv[2] || 101);
const iterations = Number(process.argv[3] || 50000);

const modules = {
  direct: require(path.join(dir, 'hostshim_bench_direct.node')),
  shim: require(path.join(dir, 'hostshim_bench_shim.node')),
};

const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = sorted.length >> 1;
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
};

console.log(`${rounds} alternating rounds of ${iterations} iterations each`);
for (const loop of ['cheapCalls', 'scopedCalls']) {
  // Warm-up: binds every export on its first call and settles caches and the collector.
  for (const module of Object.values(modules)) module[loop](iterations);

  const samples = { direct: [], shim: [] };
  for (let round = 0; round < rounds; ++round) {
    // Alternate which goes first, so that neither always follows the other.
    const order = round % 2 ? ['shim', 'direct'] : ['direct', 'shim'];
    for (const name of order) samples[name].push(modules[name][loop](iterations));
  }
  const direct = median(samples.direct);
  const shim = median(samples.shim);
  // A round's two runs are neighbours in time: their ratio is the least disturbed by other load.
  const paired = median(samples.shim.map((value, round) => value / samples.direct[round]));
  // The fastest round of each is the one least slowed by other processes on a busy machine.
  const fastest = Math.min(...samples.shim) / Math.min(...samples.direct);
  console.log(`${loop}: median direct ${direct.toFixed(2)} ns, HostShim ${shim.toFixed(2)} ns ` +
              `per iteration; ratio HostShim/direct: ${(shim / direct).toFixed(4)} of medians, ` +
              `${paired.toFixed(4)} median of per-round ratios, ` +
              `${fastest.toFixed(4)} of fastest rounds`);
  // One line for tools/bench: name|figure|baseline|ratio|target|holds. Steady state is one
  // indirect jump more than a direct import: within 10% even for the cheapest calls.
  console.log(`BENCH|HostShim ${loop} vs direct imports|${shim.toFixed(2)} ns|${direct.toFixed(2)} ns|` +
              `${paired.toFixed(3)}|<= 1.10|${paired <= 1.1 ? 'yes' : 'no'}`);
}
