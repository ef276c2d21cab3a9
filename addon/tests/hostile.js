'use strict';
// Arguments and receivers of every kind, to every method: each call returns or throws a script
// error, the process survives, and nothing malformed reaches the client.
const test = require('node:test');
const assert = require('node:assert/strict');
const sim = require('./simulator');

const native = sim.load();
const {OrloApi} = native;
const METHODS = ['initialize', 'isInstalled', 'isRunning', 'isUserSessionActive',
  'initiateTokenRequest', 'getAuthUrl', 'showSignInDialog'];

function hostileValues() {
  const throwing = new Proxy({}, {
    get() {
      throw new Error('trap');
    },
    has() {
      throw new Error('trap');
    },
    getOwnPropertyDescriptor() {
      throw new Error('trap');
    },
    ownKeys() {
      throw new Error('trap');
    },
    getPrototypeOf() {
      throw new Error('trap');
    },
  });
  const revocable = Proxy.revocable({}, {});
  revocable.revoke();
  const everywhere = (value) => Object.fromEntries(
      ['clientId', 'scopes', 'redirectUri', 'codeChallenge', 'state', 'parentWindowHandle']
          .map((k) => [k, value]));
  return [
    undefined, null, true, false, 0, -0, NaN, Infinity, -1, 2 ** 64, 1n, -(2n ** 70n), '', 'x',
    'x'.repeat(1 << 20), Symbol('s'), {}, [], [1, 2], () => {}, class {}, new Date(NaN),
    /re/, new Map(), new ArrayBuffer(8), new Uint16Array([0xD800]), Object.create(null),
    new String('s'), new Number(1), throwing, revocable.proxy, globalThis, OrloApi,
    OrloApi.prototype, new OrloApi(),
    everywhere(undefined), everywhere(null), everywhere(1n), everywhere({}), everywhere(Symbol()),
    everywhere('\uD800'), everywhere('x'.repeat(1 << 16)), everywhere(throwing),
    {get clientId() {
      throw new TypeError('getter');
    }, get parentWindowHandle() {
      throw new TypeError('getter');
    }},
  ];
}

function attempt(fn) {
  try {
    fn();
    return null;
  } catch (e) {
    return e;
  }
}

test('hostile arguments to every method', () => {
  sim.configure();
  const {api} = sim.initializedApi(native);
  const fresh = new OrloApi();
  for (const target of [api, fresh]) {
    for (const method of METHODS) {
      for (const value of hostileValues()) {
        for (const args of [[value], [value, value, value]]) {
          const error = attempt(() => target[method](...args));
          if (error !== null) assert.ok(error instanceof Error, `${method}: ${String(error)}`);
        }
      }
    }
  }
  // Whatever reached the client was well-formed: strings for the request, a number for the parent.
  for (const call of sim.calls()) {
    if (call.fn === 'OrloApi_InitiateTokenRequest') {
      assert.ok(Object.values(call.args).every((v) => typeof v === 'string'));
    }
    if (call.fn === 'OrloApi_ShowSnoozableLoginWindow') {
      assert.ok(Number.isInteger(call.args.parent));
    }
  }
  assert.equal(api.isRunning(), true, 'the object still works');
});

test('methods called on anything but an OrloApi object throw and reach no client', () => {
  sim.configure();
  sim.clearCalls();
  const receivers = [undefined, null, 0, 'x', Symbol('s'), {}, [], Object.create(OrloApi.prototype),
    OrloApi.prototype, OrloApi, new Proxy(new OrloApi(), {}), globalThis];
  for (const method of METHODS) {
    const fn = OrloApi.prototype[method];
    for (const receiver of receivers) {
      assert.throws(() => fn.call(receiver, {parentWindowHandle: 1}), Error,
          `${method} on ${typeof receiver}`);
    }
  }
  assert.deepEqual(sim.calls(), []);
});

test('the constructor ignores its arguments', () => {
  for (const value of hostileValues()) {
    const api = new OrloApi(value, value);
    assert.ok(api instanceof OrloApi);
  }
});
