// Logger bridge benchmark. Rounds alternate between the bridge and its baseline in one process;
// the figures are medians over the rounds.
//   dropped lines:   ClientLogSink for a line the filter drops, against an empty function called
//                    through the same pointer (ns per line; target: under 100 ns)
//   delivered lines: ClientLogSink for a line delivered to a logInfo that does nothing, against a
//                    native loop of napi_call_function on that same function (target: >= 70%)
'use strict';
const path = require('path');

const addonPath = process.argv[2] || path.join(process.cwd(), 'addon_logger_bench.node');
const bench = require(addonPath);
const rounds = Number(process.env.BENCH_ROUNDS || 7);
const TRACE = -5;
const INFO = -3;

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

// Dropped: the logger takes errors only, and trace lines arrive.
bench.logger = { minLevel: 3, categoryFilter: {}, logTrace() { throw new Error('not dropped'); } };
const droppedCount = 1_000_000;
const sink = [];
const empty = [];
bench.sinkLoop(droppedCount, TRACE, false);  // warm-up
for (let r = 0; r < rounds; r++) {
  sink.push(bench.sinkLoop(droppedCount, TRACE, false) / droppedCount);
  empty.push(bench.sinkLoop(droppedCount, TRACE, true) / droppedCount);
}
const droppedNs = median(sink);
const emptyNs = median(empty);

// Delivered: every line reaches logInfo.
let received = 0;
const logger = { categoryFilter: {}, logInfo() {} };
bench.logger = logger;
const deliveredCount = 100_000;
const bridgeRates = [];
const baselineRates = [];
const floorRates = [];
const rate = (ns) => deliveredCount / (ns / 1e9);
bench.sinkLoop(deliveredCount, INFO, false);
bench.callLoop(logger.logInfo, deliveredCount, false);
bench.callLoop(logger.logInfo, deliveredCount, true);
for (let r = 0; r < rounds; r++) {
  bridgeRates.push(rate(bench.sinkLoop(deliveredCount, INFO, false)));
  baselineRates.push(rate(bench.callLoop(logger.logInfo, deliveredCount, false)));
  floorRates.push(rate(bench.callLoop(logger.logInfo, deliveredCount, true)));
}
// The bridge really delivered: count the calls of one short extra run.
logger.logInfo = () => { received++; };
bench.sinkLoop(1000, INFO, false);
if (received !== 1000) throw new Error(`expected 1000 delivered lines, got ${received}`);

const bridgeRate = median(bridgeRates);
const baselineRate = median(baselineRates);
const floorRate = median(floorRates);
const mps = (x) => `${(x / 1e6).toFixed(3)} M/s`;
console.log(`dropped line:   ClientLogSink ${droppedNs.toFixed(1)} ns/line, empty function ` +
            `${emptyNs.toFixed(1)} ns/call, ratio ${(droppedNs / emptyNs).toFixed(1)}x ` +
            `(target under 100 ns: ${droppedNs < 100 ? 'met' : 'NOT met'})`);
console.log(`delivered line: bridge ${mps(bridgeRate)}; napi_call_function with ready strings ` +
            `${mps(baselineRate)}: ${(100 * bridgeRate / baselineRate).toFixed(1)}% ` +
            `(target >= 70%: ${bridgeRate >= 0.7 * baselineRate ? 'met' : 'NOT met'})`);
// Lines for tools/bench: name|figure|baseline|ratio|target|holds.
console.log(`BENCH|logger: dropped client line vs empty native call|${droppedNs.toFixed(1)} ns|` +
            `${emptyNs.toFixed(1)} ns|${(droppedNs / emptyNs).toFixed(1)}|< 100 ns (absolute)|` +
            `${droppedNs < 100 ? 'yes' : 'no'}`);
console.log(`BENCH|logger: delivered lines/s vs napi_call_function|${mps(bridgeRate)}|` +
            `${mps(baselineRate)}|${(bridgeRate / baselineRate).toFixed(3)}|>= 0.70|` +
            `${bridgeRate >= 0.7 * baselineRate ? 'yes' : 'no'}`);
console.log(`                napi_call_function with a new message string each call ` +
            `${mps(floorRate)}: bridge at ${(100 * bridgeRate / floorRate).toFixed(1)}% of it`);
