'use strict';
// The logger bridge seen from script: client log lines sent by the simulator during a client call
// reach the installed logger's functions after the level and category filter.
const test = require('node:test');
const assert = require('node:assert/strict');
const {Worker, isMainThread, parentPort, workerData} = require('node:worker_threads');
const sim = require('./simulator');

const DURING = 'OrloApi_IsRunning';

if (!isMainThread && workerData && workerData.mode === 'reinstall') {
  // Worker side of the stress tests: installs a new logger again and again, each checking that no
  // line arrives twice and that each sender thread's lines arrive in order, and reports its counts.
  const native = sim.load();
  const seen = new Set();
  const counts = {installs: 0, received: 0, duplicates: 0, outOfOrder: 0};
  const install = () => {
    const last = new Map();  // call and sender thread -> the last copy this logger received
    native.logger = {
      categoryFilter: {},
      logInfo(category, message) {
        counts.received++;
        if (seen.has(message)) counts.duplicates++;
        seen.add(message);
        const [, call, sender, copy] = /^(\S+) (\d+)\.(\d+)$/.exec(message);
        const key = `${call} ${sender}`;
        if (last.has(key) && last.get(key) >= Number(copy)) counts.outOfOrder++;
        last.set(key, Number(copy));
      },
    };
    counts.installs++;
  };
  (async () => {
    for (;;) {
      for (let i = 0; i < 20; i++) install();
      parentPort.postMessage({...counts});
      await new Promise((r) => setImmediate(r));
    }
  })();
  return;
}

if (!isMainThread && workerData && workerData.mode === 'read') {
  // Worker side of the test of a second environment reading `logger`.
  const native = sim.load();
  const before = native.logger;
  const own = {categoryFilter: {}};
  native.logger = own;
  parentPort.postMessage({before: String(before), ownIsHandedBack: native.logger === own});
  return;
}

if (!isMainThread) {
  // Worker side of the Worker test: installs a logger that hands every line to the main thread,
  // then ends when told to.
  const native = sim.load();
  const forward = (member) => (category, message) =>
    parentPort.postMessage({member, category, message});
  native.logger = {categoryFilter: {}, logInfo: forward('logInfo'), logError: forward('logError')};
  parentPort.on('message', (m) => {
    if (m === 'exit') process.exit(0);
  });
  parentPort.postMessage('installed');
  return;
}

const native = sim.load();
const {api} = sim.initializedApi(native);

/**
 * Sends the lines through the client callback during one client call; `thread` for all lines. A
 * line may give `threads` (senders at once, other thread only) and `repeat` (copies per sender).
 */
function emit(lines, thread = 'caller') {
  sim.configure({
    logs: lines.map((l) => ({
      level: l.level,
      ...(l.units ? {units: l.units} : {text: l.text ?? `line at ${l.level}`}),
      during: DURING,
      thread,
      ...(l.threads ? {threads: l.threads} : {}),
      ...(l.repeat ? {repeat: l.repeat} : {}),
    })),
  });
  const running = api.isRunning();
  sim.configure();
  return running;
}

/** A logger whose four functions record what they receive. */
function recorder(settings = {categoryFilter: {}}) {
  const received = [];
  const logger = {...settings};
  for (const member of ['logTrace', 'logInfo', 'logWarning', 'logError']) {
    // Strict code (the whole file is), so `this` is the receiver exactly as given.
    logger[member] = function(...args) {
      received.push({member, self: this, args});
    };
  }
  return {logger, received};
}

async function waitFor(condition, what) {
  for (let i = 0; i < 200 && !condition(); i++) await new Promise((r) => setTimeout(r, 5));
  assert.ok(condition(), `timed out waiting for ${what}`);
}

function warningsDuring(body) {
  const warnings = [];
  const listener = (w) => warnings.push(w);
  process.on('warning', listener);
  return Promise.resolve(body())
      .then(() => new Promise((r) => setImmediate(r)))
      .then(() => {
        process.off('warning', listener);
        return warnings;
      });
}

/** After a stress test: this thread installs a logger that gets lines from both threads. */
async function assertInstallsAndReceives() {
  const {logger, received} = recorder();
  native.logger = logger;
  emit([{level: -3, text: 'on this thread'}]);
  emit([{level: -3, text: 'from another thread'}], 'other');
  await waitFor(() => received.length === 2, 'the lines on this thread');
  assert.deepEqual(received.map((r) => r.args[1]), ['on this thread', 'from another thread']);
}

const ALL_LEVELS = [-5, -4, -3, -2, -1, 0];
const MEMBER = {'-5': 'logTrace', '-4': 'logError', '-3': 'logInfo', '-2': 'logWarning',
  '-1': 'logError', '0': 'logError'};

test('minLevel: script levels, their conversions and the function each native level reaches', () => {
  const cases = [
    // [minLevel as script gives it, the lowest native level that passes]
    [undefined, -5], [0, -5], [1, -3], [2, -2], [3, -1],
    ['2', -2], [7, -5], [2.9, -2], [-1, -5], [NaN, -5], [true, -3], ['x', -5],
  ];
  for (const [minLevel, threshold] of cases) {
    const {logger, received} = recorder({minLevel, categoryFilter: {}});
    native.logger = logger;
    emit(ALL_LEVELS.map((level) => ({level})));
    const expected = ALL_LEVELS.filter((l) => l >= threshold)
        .map((l) => ({member: MEMBER[l], message: `line at ${l}`}));
    assert.deepEqual(received.map((r) => ({member: r.member, message: r.args[1]})), expected,
        `minLevel ${String(minLevel)}`);
  }
});

test('categoryFilter: the entry for the category wins over minLevel, inherited ones count', () => {
  const cases = [
    [{minLevel: 3, categoryFilter: {orloapi: 0}}, -5],
    [{minLevel: 0, categoryFilter: {orloapi: 3}}, -1],
    [{minLevel: 0, categoryFilter: {orloapi: '2'}}, -2],
    [{minLevel: 0, categoryFilter: Object.create({orloapi: 3})}, -1],
    [{minLevel: 3, categoryFilter: {other: 0, orlo: 0, 'orloapi.x': 0}}, -1],
  ];
  for (const [settings, threshold] of cases) {
    const {logger, received} = recorder(settings);
    native.logger = logger;
    emit(ALL_LEVELS.map((level) => ({level})));
    assert.deepEqual(received.map((r) => r.args[1]),
        ALL_LEVELS.filter((l) => l >= threshold).map((l) => `line at ${l}`),
        JSON.stringify(settings));
  }
  // A new logger's filter replaces the previous one's entries.
  native.logger = recorder({minLevel: 0, categoryFilter: {orloapi: 3}}).logger;
  const {logger, received} = recorder({minLevel: 0, categoryFilter: {}});
  native.logger = logger;
  emit([{level: -5}]);
  assert.equal(received.length, 1);
});

test('each call gets exactly two strings, category then message, and an undefined this', () => {
  const {logger, received} = recorder();
  native.logger = logger;
  const units = [0x4A, 0x6F, 0x73, 0xE9, 0x20, 0xD83D, 0xDE00, 0x20, 0x65E5];  // "José 😀 日"
  emit([{level: -3, text: 'plain'}, {level: -1, units}, {level: -3, text: ''}]);
  assert.deepEqual(received.map((r) => r.args), [
    ['orloapi', 'plain'], ['orloapi', 'José \u{1F600} 日'], ['orloapi', '']]);
  for (const r of received) assert.equal(r.self, undefined);
});

test('the member is looked up afresh for every line; a missing one drops the line', () => {
  const got = [];
  let lookups = 0;
  const logger = {categoryFilter: {}};
  let logInfo = (c, m) => got.push(`first:${m}`);
  Object.defineProperty(logger, 'logInfo', {get() {
    lookups++;
    return logInfo;
  }, configurable: true, enumerable: true});
  native.logger = logger;
  emit([{level: -3, text: 'a'}, {level: -3, text: 'b'}]);
  logInfo = (c, m) => got.push(`second:${m}`);
  emit([{level: -3, text: 'c'}]);
  logInfo = undefined;
  emit([{level: -3, text: 'd'}, {level: -1, text: 'no logError either'}]);
  assert.deepEqual(got, ['first:a', 'first:b', 'second:c']);
  assert.equal(lookups, 4);
});

test('setting logger: what script sees and what stays installed when it fails', () => {
  assert.equal(native.logger, native.logger);  // readable at any time
  const cases = [
    {
      what: 'null', value: null, error: TypeError, installed: false,
    },
    {
      what: 'undefined', value: undefined, error: TypeError, installed: false,
    },
    {
      what: 'no categoryFilter', value: 'recorder-without-filter', error: {name: 'Error', message: 'Invalid Logger'},
      installed: true,
      // new minLevel 0 applies, the previous entry orloapi: 3 is kept
      passes: [-1, 0],
    },
    {
      what: 'throwing minLevel getter', value: 'throwing-minLevel', error: {message: 'minLevel getter'},
      installed: true,
      // minLevel and categoryFilter unchanged: orloapi stays at 3
      passes: [-1, 0],
    },
    {
      what: 'categoryFilter null', value: 'null-filter', error: TypeError, installed: true,
      // the previous entries are cleared before the failing enumeration; minLevel 0 applies
      passes: [-5, -4, -3, -2, -1, 0],
    },
    {
      what: 'an entry that cannot be converted', value: 'symbol-entry', error: TypeError,
      installed: true,
      // the entry read before the failure (orloapi: 2) stays
      passes: [-2, -1, 0],
    },
  ];
  for (const c of cases) {
    // Start from a logger with the entry orloapi: 3 and minLevel 0.
    native.logger = recorder({minLevel: 0, categoryFilter: {orloapi: 3}}).logger;
    let value = c.value;
    let received = [];
    if (typeof value === 'string') {
      const r = recorder({minLevel: 0});
      received = r.received;
      value = r.logger;
      if (c.value === 'throwing-minLevel') {
        Object.defineProperty(value, 'minLevel', {get() {
          throw new Error('minLevel getter');
        }});
        value.categoryFilter = {};
      } else if (c.value === 'null-filter') {
        value.categoryFilter = null;
      } else if (c.value === 'symbol-entry') {
        value.categoryFilter = {orloapi: 2, later: Symbol('level')};
      }
    }
    assert.throws(() => {
      native.logger = value;
    }, c.error, c.what);
    if (!c.installed) {
      assert.equal(native.logger, undefined, c.what);
      continue;
    }
    assert.equal(native.logger, value, c.what);
    emit(ALL_LEVELS.map((level) => ({level})));
    assert.deepEqual(received.map((r) => r.args[1]), c.passes.map((l) => `line at ${l}`), c.what);
  }

  // Lines arriving with no logger are dropped; nothing breaks.
  assert.throws(() => {
    native.logger = null;
  }, TypeError);
  assert.equal(emit(ALL_LEVELS.map((level) => ({level}))), true);

  // A number becomes its wrapper object, which has no categoryFilter.
  assert.throws(() => {
    native.logger = 5;
  }, {name: 'Error', message: 'Invalid Logger'});
  assert.equal(typeof native.logger, 'object');
  assert.equal(native.logger.valueOf(), 5);
});

test('a logger function may replace the logger or make client calls while a line is delivered',
    () => {
      const next = recorder();
      const first = [];
      let nested = false;
      native.logger = {
        categoryFilter: {},
        logInfo(c, m) {
          first.push(m);
          if (!nested) {
            nested = true;
            // A client call from inside delivery, whose own line arrives re-entrantly.
            sim.configure({logs: [{level: -1, text: 'nested', during: DURING}]});
            assert.equal(api.isRunning(), true);
            native.logger = next.logger;  // and the logger replaced mid-delivery
          }
        },
        logError(c, m) {
          first.push(`error:${m}`);
        },
      };
      emit([{level: -3, text: 'outer'}, {level: -3, text: 'after the switch'}]);
      assert.deepEqual(first, ['outer', 'error:nested']);
      assert.deepEqual(next.received.map((r) => r.args[1]), ['after the switch']);
    });

test('lines from another thread are delivered on the script thread, in order, after the call',
    async () => {
      const {logger, received} = recorder();
      native.logger = logger;
      const lines = Array.from({length: 20}, (_, i) => ({level: -3, text: `other ${i}`}));
      assert.equal(emit(lines, 'other'), true);
      assert.equal(received.length, 0, 'queued, not delivered during the call');
      await waitFor(() => received.length === lines.length, 'the queued lines');
      assert.deepEqual(received.map((r) => r.args), lines.map((l) => ['orloapi', l.text]));
      for (const r of received) assert.equal(r.self, undefined);

      // Filtered by the same rules: only the error line passes minLevel 3.
      const strict = recorder({minLevel: 3, categoryFilter: {}});
      native.logger = strict.logger;
      emit([{level: -3, text: 'dropped'}, {level: -1, text: 'kept'}], 'other');
      await waitFor(() => strict.received.length === 1, 'the error line');
      await new Promise((r) => setTimeout(r, 20));
      assert.deepEqual(strict.received.map((r) => r.args[1]), ['kept']);
    });

test('a failing logger is contained: the method carries on and a process warning reports it',
    async () => {
      const cases = [
        {what: 'throwing function', logInfo() {
          throw new RangeError('logger broke');
        }, check: (w) => w instanceof RangeError && w.message === 'logger broke'},
        {what: 'throwing a string', logInfo() {
          throw 'just a string';  // eslint-disable-line no-throw-literal
        }, check: (w) => w instanceof Error && w.message === 'just a string'},
        {what: 'not callable', logInfo: 42,
          check: (w) => w instanceof TypeError && w.message === 'The logger\'s logInfo is not a function'},
      ];
      for (const thread of ['caller', 'other']) {
        for (const c of cases) {
          const after = [];
          native.logger = {categoryFilter: {}, logInfo: c.logInfo, logError: (cat, m) => after.push(m)};
          const warnings = await warningsDuring(async () => {
            assert.equal(emit([{level: -3, text: 'fails'}, {level: -1, text: 'next'}], thread), true);
            await waitFor(() => after.length === 1, 'the line after the failure');
          });
          assert.equal(warnings.length, 1, `${c.what} on ${thread}`);
          assert.ok(c.check(warnings[0]), `${c.what} on ${thread}: ${warnings[0]}`);
          assert.deepEqual(after, ['next']);
        }
      }
    });

test('a line that is not well-formed UTF-16 is reported as "bad conversion" and dropped',
    async () => {
      for (const thread of ['caller', 'other']) {
        const {logger, received} = recorder();
        native.logger = logger;
        const warnings = await warningsDuring(async () => {
          emit([
            {level: -3, units: [0x61, 0xD83D, 0x62]},  // high surrogate, then not a low one
            {level: -3, units: [0x61, 0xDE00]},  // low surrogate alone
            {level: -3, text: 'fine'},
          ], thread);
          await waitFor(() => received.length === 1, 'the well-formed line');
        });
        assert.deepEqual(received.map((r) => r.args[1]), ['fine']);
        assert.deepEqual(warnings.map((w) => [w.name, w.message]),
            [['RangeError', 'bad conversion'], ['RangeError', 'bad conversion']], thread);
      }
    });

test('a Worker installs a logger, gets the lines while it lives, and exits', async () => {
  const worker = new Worker(__filename);
  const messages = [];
  worker.on('message', (m) => messages.push(m));
  const exited = new Promise((resolve) => worker.on('exit', resolve));
  await waitFor(() => messages.includes('installed'), 'the worker to install its logger');
  // The main thread's lines go to the worker's logger, queued to the worker's own thread.
  assert.equal(native.logger, undefined, 'another environment\'s logger is not handed out');
  emit([{level: -3, text: 'to the worker'}, {level: -1, text: 'error to the worker'}]);
  await waitFor(() => messages.length === 3, 'the lines in the worker');
  assert.deepEqual(messages.slice(1), [
    {member: 'logInfo', category: 'orloapi', message: 'to the worker'},
    {member: 'logError', category: 'orloapi', message: 'error to the worker'},
  ]);

  worker.postMessage('exit');
  assert.equal(await exited, 0);
  // The worker's logger went with it: later lines are dropped, from any thread.
  assert.equal(emit([{level: -1, text: 'nobody'}]), true);
  assert.equal(emit([{level: -1, text: 'nobody'}], 'other'), true);
  await new Promise((r) => setTimeout(r, 20));
  assert.equal(messages.length, 3);
  assert.equal(native.logger, undefined);

  // And the main thread can install again.
  const {logger, received} = recorder();
  native.logger = logger;
  emit([{level: -3, text: 'back on main'}]);
  assert.deepEqual(received.map((r) => r.args[1]), ['back on main']);
});

test('the main thread replaces a living Worker\'s logger; the Worker then ends cleanly', async () => {
  const worker = new Worker(__filename);
  const messages = [];
  worker.on('message', (m) => messages.push(m));
  const exited = new Promise((resolve) => worker.on('exit', resolve));
  await waitFor(() => messages.includes('installed'), 'the worker to install its logger');
  // Installing here lets go of the worker's logger, whose reference only its own thread may delete.
  const {logger, received} = recorder();
  native.logger = logger;
  emit([{level: -3, text: 'to main'}]);
  emit([{level: -3, text: 'to main from another thread'}], 'other');
  await waitFor(() => received.length === 2, 'the lines on main');
  worker.postMessage('exit');
  assert.equal(await exited, 0);
  assert.deepEqual(messages, ['installed']);
  emit([{level: -3, text: 'still main'}]);
  assert.deepEqual(received.map((r) => r.args[1]),
      ['to main', 'to main from another thread', 'still main']);
});

test('a Worker terminated while lines are being sent to its logger', async () => {
  for (let round = 0; round < 3; round++) {
    const worker = new Worker(__filename);
    const messages = [];
    worker.on('message', (m) => messages.push(m));
    await waitFor(() => messages.includes('installed'), 'the worker to install its logger');
    const terminated = worker.terminate();
    for (let i = 0; i < 10; i++) {
      assert.equal(emit([{level: -3, text: `line ${i}`}], i % 2 ? 'other' : 'caller'), true);
    }
    await terminated;
    assert.equal(emit([{level: -1, text: 'after'}], 'other'), true);
  }
  const {logger, received} = recorder();
  native.logger = logger;
  emit([{level: -3, text: 'main again'}]);
  assert.deepEqual(received.map((r) => r.args[1]), ['main again']);
});

test('a member read that throws and a logger behind a Proxy are contained the same way',
    async () => {
      for (const thread of ['caller', 'other']) {
        const after = [];
        const logger = {categoryFilter: {}, logError: (cat, m) => after.push(m)};
        Object.defineProperty(logger, 'logInfo', {get() {
          throw new Error('logInfo getter');
        }});
        native.logger = logger;
        const warnings = await warningsDuring(async () => {
          emit([{level: -3, text: 'fails'}, {level: -1, text: 'next'}], thread);
          await waitFor(() => after.length === 1, 'the line after the failing read');
        });
        assert.deepEqual(warnings.map((w) => w.message), ['logInfo getter'], thread);
        assert.deepEqual(after, ['next']);
      }

      // Every read goes through the Proxy's get trap with the Proxy as receiver: the settings at
      // install, the member at each line. A trap that throws is contained like a throwing getter.
      const reads = [];
      const calls = [];
      const target = {categoryFilter: {}, minLevel: 1};
      const proxy = new Proxy(target, {
        get(t, key, receiver) {
          reads.push([String(key), receiver === proxy]);
          if (key === 'logWarning') throw new TypeError('trap refuses logWarning');
          if (key === 'logInfo') {
            return function(...args) {
              calls.push({self: this, args});
            };
          }
          return Reflect.get(t, key, receiver);
        },
      });
      native.logger = proxy;
      assert.equal(native.logger, proxy);
      assert.deepEqual(reads, [['minLevel', true], ['categoryFilter', true]]);
      reads.length = 0;
      const warnings = await warningsDuring(async () => {
        emit([{level: -5, text: 'below minLevel'}, {level: -3, text: 'info'},
          {level: -2, text: 'warning'}, {level: -1, text: 'error'}]);
        emit([{level: -3, text: 'info from elsewhere'}], 'other');
        await waitFor(() => calls.length === 2, 'the queued line');
      });
      assert.deepEqual(reads, [['logInfo', true], ['logWarning', true], ['logError', true],
        ['logInfo', true]]);
      assert.deepEqual(calls.map((c) => [c.self, ...c.args]),
          [[undefined, 'orloapi', 'info'], [undefined, 'orloapi', 'info from elsewhere']]);
      assert.deepEqual(warnings.map((w) => [w.name, w.message]),
          [['TypeError', 'trap refuses logWarning']]);
    });

test('members that are present but cannot be called are reported and the line dropped',
    async () => {
      const notAFunction = (w) =>
        w instanceof TypeError && w.message === 'The logger\'s logInfo is not a function';
      const cases = [
        {what: 'null', logInfo: null, check: notAFunction},
        {what: 'an object', logInfo: {}, check: notAFunction},
        {what: 'a class', logInfo: class Sink {},
          check: (w) => w instanceof TypeError && /Class constructor/.test(w.message)},
      ];
      for (const c of cases) {
        const after = [];
        native.logger = {categoryFilter: {}, logInfo: c.logInfo,
          logError: (cat, m) => after.push(m)};
        const warnings = await warningsDuring(() => {
          assert.equal(emit([{level: -3, text: 'fails'}, {level: -1, text: 'next'}]), true);
        });
        assert.equal(warnings.length, 1, c.what);
        assert.ok(c.check(warnings[0]), `${c.what}: ${warnings[0]}`);
        assert.deepEqual(after, ['next'], c.what);
      }
    });

test('a logger replaced from inside its own logInfo still gets the lines queued for it',
    async () => {
      const next = recorder();
      const first = [];
      native.logger = {
        categoryFilter: {},
        logInfo(c, m) {
          first.push(m);
          if (first.length === 1) native.logger = next.logger;
        },
      };
      const lines = Array.from({length: 5}, (_, i) => ({level: -3, text: `queued ${i}`}));
      emit(lines, 'other');
      await waitFor(() => first.length === lines.length, 'the lines queued for the first logger');
      assert.deepEqual(first, lines.map((l) => l.text));
      emit([{level: -3, text: 'later'}], 'other');
      await waitFor(() => next.received.length === 1, 'the line for the new logger');
      assert.deepEqual(next.received.map((r) => r.args[1]), ['later']);
      await new Promise((r) => setTimeout(r, 20));
      assert.equal(first.length, lines.length);
    });

test('lines from 8 threads at once are each delivered once, each thread\'s in order', async () => {
  const {logger, received} = recorder();
  native.logger = logger;
  assert.equal(emit([{level: -3, text: 'burst', threads: 8, repeat: 500}], 'other'), true);
  await waitFor(() => received.length === 4000, 'the 4000 lines');
  const next = new Map();  // sender thread -> the copy expected next
  for (const r of received) {
    assert.equal(r.self, undefined);
    const [, sender, copy] = /^burst (\d+)\.(\d+)$/.exec(r.args[1]);
    assert.equal(Number(copy), next.get(sender) ?? 0, `thread ${sender}`);
    next.set(sender, Number(copy) + 1);
  }
  assert.equal(next.size, 8);
});

test('lines from 8 threads while a Worker replaces its logger again and again, then is terminated',
    async () => {
      const worker = new Worker(__filename, {workerData: {mode: 'reinstall'}});
      let report = {installs: 0};
      worker.on('message', (m) => (report = m));
      await waitFor(() => report.installs > 0, 'the worker to install');
      const calls = 6;
      for (let call = 0; call < calls; call++) {
        const lines = [{level: -3, text: `call${call}`, threads: 8, repeat: 250}];
        assert.equal(emit(lines, 'other'), true);
        await new Promise((r) => setTimeout(r, 5));
      }
      const installsBefore = report.installs;
      await waitFor(() => report.installs > installsBefore + 40, 'more installs after the lines');
      assert.equal(report.duplicates, 0);
      assert.equal(report.outOfOrder, 0);
      assert.ok(report.received > 0, 'lines reached the worker\'s loggers');
      assert.ok(report.received <= calls * 8 * 250);

      // Terminated while lines are still being queued to it from 8 threads.
      const terminated = worker.terminate();
      for (let call = 0; call < 3; call++) {
        const lines = [{level: -3, text: `late${call}`, threads: 8, repeat: 100}];
        assert.equal(emit(lines, 'other'), true);
      }
      await terminated;
      assert.equal(native.logger, undefined);
      await assertInstallsAndReceives();
    });

test('installs on this thread racing the teardown of a Worker whose logger they replace',
    async () => {
      for (let round = 0; round < 12; round++) {
        const worker = new Worker(__filename, {workerData: {mode: 'reinstall'}});
        let installs = 0;
        worker.on('message', (m) => (installs = m.installs));
        await waitFor(() => installs > 0, 'the worker to install');
        const exited = new Promise((resolve) => worker.once('exit', resolve));
        worker.terminate();
        // While the Worker's environment goes away, each install here lets go of the Worker's
        // logger if that is still the current one.
        for (let i = 0; i < 200; i++) native.logger = {categoryFilter: {}};
        await exited;
      }
      await assertInstallsAndReceives();
    });

test('a second environment reads `logger` as undefined until it installs its own', async () => {
  const mine = recorder();
  native.logger = mine.logger;
  const worker = new Worker(__filename, {workerData: {mode: 'read'}});
  const report = await new Promise((resolve, reject) => {
    worker.once('message', resolve);
    worker.once('error', reject);
  });
  assert.deepEqual(report, {before: 'undefined', ownIsHandedBack: true});
  // The Worker's install replaced this thread's logger, which this thread no longer reads either.
  assert.equal(native.logger, undefined);
  await new Promise((resolve) => worker.once('exit', resolve));
  assert.equal(native.logger, undefined);
  emit([{level: -3, text: 'nobody'}]);
  assert.equal(mine.received.length, 0);
});
