'use strict';
// Every entry point of the module with every kind of script value in every position, one position at
// a time with good values elsewhere: each call returns or throws an Error, the process survives, and
// the client simulator's call log shows that only converted data reached the client. (hostile.js
// covers receivers and whole-argument sweeps of the OrloApi methods.)
const test = require('node:test');
const assert = require('node:assert/strict');
const sim = require('./simulator');

const native = sim.load();
const {OrloApi} = native;
const REQUEST_KEYS = ['clientId', 'scopes', 'redirectUri', 'codeChallenge', 'state'];
const GOOD_REQUEST = {clientId: 'a', scopes: 'b', redirectUri: 'c', codeChallenge: 'd', state: 'e'};

function hostileValues() {
  const trap = () => {
    throw new Error('trap');
  };
  const throwingProxy = new Proxy({}, {get: trap, has: trap, ownKeys: trap,
    getOwnPropertyDescriptor: trap, getPrototypeOf: trap});
  const revoked = Proxy.revocable({}, {});
  revoked.revoke();
  const throwingGetters = {};
  for (const key of [...REQUEST_KEYS, 'parentWindowHandle', 'minLevel', 'categoryFilter',
    'logTrace', 'logInfo', 'logWarning', 'logError']) {
    Object.defineProperty(throwingGetters, key, {get: trap, enumerable: true});
  }
  const throwingToPrimitive = {[Symbol.toPrimitive]: trap, valueOf: trap, toString: trap};
  return {
    'undefined': undefined, 'null': null, 'true': true, 'false': false,
    '0': 0, '-0': -0, 'NaN': NaN, 'Infinity': Infinity, '-Infinity': -Infinity,
    '2^53': 2 ** 53, '-2^53': -(2 ** 53), '2^64': 2 ** 64, '2.5': 2.5, '-1': -1,
    'BigInt 1': 1n, 'BigInt -2^70': -(2n ** 70n),
    'empty string': '', 'string': 'x', 'lone high surrogate': '\uD800',
    'lone low surrogate': 'a\uDC00b', 'embedded NUL': 'a\0b', '1 MB string': 'x'.repeat(1 << 20),
    'symbol': Symbol('s'), 'plain object': {}, 'null-prototype object': Object.create(null),
    'object with throwing getters': throwingGetters,
    'object with throwing conversions': throwingToPrimitive,
    'throwing proxy': throwingProxy, 'revoked proxy': revoked.proxy,
    'empty array': [], 'array of strings': ['a', 'b'], 'function': () => {}, 'class': class {},
    'String object': new String('s'), 'Number object': new Number(1), 'Date': new Date(NaN),
    'Uint16Array': new Uint16Array([0xD800]), 'globalThis': globalThis,
  };
}

function attempt(fn) {
  try {
    fn();
    return null;
  } catch (e) {
    return e;
  }
}

// A call either returns or throws an Error (a TypeError or RangeError counts); never a non-Error.
function survives(what, fn) {
  const error = attempt(fn);
  if (error !== null) {
    assert.ok(error instanceof Error, `${what}: threw a non-Error ${String(error)}`);
  }
  return error;
}

// The client saw only strings for the request and an int32 for the parent window, and each call's
// data equals what script passed, converted.
function assertOnlyConvertedData(expectedRequests, expectedParents) {
  const requests = sim.calls().filter((c) => c.fn === 'OrloApi_InitiateTokenRequest');
  const parents = sim.calls().filter((c) => c.fn === 'OrloApi_ShowSnoozableLoginWindow');
  assert.deepEqual(requests.map((c) => c.args), expectedRequests);
  assert.deepEqual(parents.map((c) => c.args.parent), expectedParents);
}

const cut = (s) => (s.includes('\0') ? s.slice(0, s.indexOf('\0')) : s);

test('initiateTokenRequest: each request property in turn, and the request itself', () => {
  sim.configure();
  const {api} = sim.initializedApi(native);
  sim.clearCalls();
  const expected = [];
  for (const [name, value] of Object.entries(hostileValues())) {
    for (const key of REQUEST_KEYS) {
      const request = {...GOOD_REQUEST, [key]: value};
      const error = survives(`${key} = ${name}`, () => api.initiateTokenRequest(request));
      if (typeof value === 'string') {
        assert.equal(error, null, `${key} = ${name}`);
        expected.push({...GOOD_REQUEST, [key]: cut(value)});
      } else {
        assert.ok(error instanceof TypeError, `${key} = ${name}: ${error}`);
      }
    }
    survives(`request = ${name}`, () => api.initiateTokenRequest(value));
    survives(`request = ${name}, extra arguments`, () => api.initiateTokenRequest(GOOD_REQUEST,
        value, value));
    expected.push(GOOD_REQUEST);
  }
  // A hostile value as the request object reaches the client only when it has five string
  // properties, which none of these has.
  assertOnlyConvertedData(expected, []);
});

test('showSignInDialog: parentWindowHandle of every kind, and the options themselves', () => {
  sim.configure();
  const {api} = sim.initializedApi(native);
  sim.clearCalls();
  const expected = [];
  for (const [name, value] of Object.entries(hostileValues())) {
    const error = survives(`parentWindowHandle = ${name}`,
        () => api.showSignInDialog({parentWindowHandle: value}));
    if (typeof value === 'number') {
      assert.equal(error, null, name);
      // The host converts to a 64-bit integer (truncated, 0 for NaN and the infinities, saturated
      // outside the 64-bit range), and the client gets its low 32 bits.
      let integer = Number.isFinite(value) ? BigInt(Math.trunc(value)) : 0n;
      if (integer >= 2n ** 63n) integer = 2n ** 63n - 1n;
      if (integer < -(2n ** 63n)) integer = -(2n ** 63n);
      expected.push(Number(BigInt.asIntN(32, integer)));
    } else {
      assert.ok(error instanceof TypeError || name.includes('throwing'), `${name}: ${error}`);
    }
    // None of these values carries a numeric parentWindowHandle: every call fails before the client.
    assert.ok(survives(`options = ${name}`, () => api.showSignInDialog(value)) instanceof Error,
        `options = ${name}`);
  }
  assertOnlyConvertedData([], expected);
});

test('registry functions: every kind of value in each argument position', () => {
  const values = hostileValues();
  for (const [name, value] of Object.entries(values)) {
    for (const fn of ['registerProtocolHandler', 'isProtocolHandlerRegistered']) {
      for (const args of [[value, 'C:\\handler.exe'], ['fennorhostile-none', value], [value],
        [value, value, value]]) {
        let result;
        const error = survives(`${fn}(${name} in ${args.length} args)`, () => {
          result = native[fn](...args);
        });
        if (args.length >= 2 && args.slice(0, 2).every((v) => typeof v === 'string')) {
          // No "://" in any of these URIs: nothing is registered and nothing is found.
          assert.equal(error, null, `${fn} with ${name}`);
          assert.equal(result, false, `${fn} with ${name}`);
        } else {
          assert.ok(error instanceof TypeError, `${fn} with ${name}: ${error}`);
        }
      }
    }
    survives(`getWendraRegionCode(${name})`, () => native.getWendraRegionCode(value, value));
  }
});

test('logger: every kind of value as the logger and in each of its members', () => {
  sim.configure({logs: [
    {level: -5, text: 'trace line', during: 'OrloApi_IsRunning'},
    {level: -3, text: 'info \uD83D\uDE00', during: 'OrloApi_IsRunning'},
    {level: -2, text: 'warning', during: 'OrloApi_IsRunning'},
    {level: -1, text: 'error', during: 'OrloApi_IsRunning'},
    {level: 0, text: 'other', during: 'OrloApi_IsRunning'},
  ]});
  const {api} = sim.initializedApi(native);
  const received = [];
  const record = (category, message) => {
    assert.equal(typeof category, 'string');
    assert.equal(typeof message, 'string');
    received.push(message);
  };
  const members = ['minLevel', 'categoryFilter', 'logTrace', 'logInfo', 'logWarning', 'logError'];
  const good = () => ({minLevel: 0, categoryFilter: {}, logTrace: record, logInfo: record,
    logWarning: record, logError: record});
  for (const [name, value] of Object.entries(hostileValues())) {
    const loggers = [value, ...members.map((m) => ({...good(), [m]: value})),
      {...good(), categoryFilter: {orloapi: value}}, {...good(), categoryFilter: {'': value,
        'orloapi.x': value, [Symbol('k')]: value}}];
    for (const logger of loggers) {
      survives(`logger = ${name}`, () => {
        native.logger = logger;
      });
      survives(`read logger after ${name}`, () => native.logger);
      // A client line delivered to whatever got installed: the call survives either way.
      survives(`isRunning with logger ${name}`, () => api.isRunning());
    }
  }
  // After all that, a good logger still gets every line.
  native.logger = good();
  received.length = 0;
  assert.equal(api.isRunning(), true);
  assert.deepEqual(received, ['trace line', 'info \u{1F600}', 'warning', 'error', 'other']);
});

test('constructor and methods with every kind of extra argument still work', () => {
  sim.configure();
  for (const [name, value] of Object.entries(hostileValues())) {
    assert.equal(survives(`new OrloApi(${name})`, () => new OrloApi(value, value)), null, name);
    const object = new OrloApi(value);
    object.initialize(value, value);
    for (const method of ['isInstalled', 'isRunning', 'isUserSessionActive', 'getAuthUrl']) {
      assert.doesNotThrow(() => object[method](value, value), `${method}(${name})`);
    }
  }
});
