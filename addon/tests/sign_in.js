'use strict';
// The sign-in methods: what reaches the client library, in which order arguments are read, how bad
// arguments fail, and how the URL comes back.
const test = require('node:test');
const assert = require('node:assert/strict');
const sim = require('./simulator');

const native = sim.load();

const REQUEST_KEYS = ['clientId', 'scopes', 'redirectUri', 'codeChallenge', 'state'];

function lastCall(fn) {
  return sim.calls().filter((c) => c.fn === fn).at(-1);
}

test.beforeEach(() => sim.configure());

test('initiateTokenRequest hands the five texts over unchanged', () => {
  const {api, handle} = sim.initializedApi(native);
  const cases = [
    {clientId: 'a', scopes: 'b', redirectUri: 'c', codeChallenge: 'd', state: 'e'},
    {clientId: '', scopes: 'openid profile', redirectUri: 'myapp://signin', codeChallenge: '',
      state: 'eyJwaXBlTmFtZSI6InAifQ=='},
    // Non-ASCII, a surrogate pair, and lone surrogates: code unit for code unit.
    {clientId: 'caf\u00e9', scopes: '\u{1F600}', redirectUri: 'x\uD800y', codeChallenge: '\uDC00',
      state: '\uD83D'},
  ];
  for (const request of cases) {
    assert.equal(api.initiateTokenRequest(request), undefined);
    const call = lastCall('OrloApi_InitiateTokenRequest');
    assert.equal(call.handle, handle);
    assert.deepEqual(call.args, request);
    assert.equal(call.result, 0);
  }
  // Extra properties are not read; an embedded NUL ends the text the client sees.
  api.initiateTokenRequest({clientId: 'ab\0cd', scopes: 's', redirectUri: 'r',
    codeChallenge: 'c', state: 'st', extra: 1});
  assert.equal(lastCall('OrloApi_InitiateTokenRequest').args.clientId, 'ab');
});

test('initiateTokenRequest reads each property once, in order, stopping at a bad one', () => {
  const {api} = sim.initializedApi(native);
  const recordingRequest = (values) => {
    const reads = [];
    const target = {};
    for (const [key, value] of Object.entries(values)) {
      Object.defineProperty(target, key, {get: () => (reads.push(key), value)});
    }
    return {reads, request: target};
  };
  const good = {clientId: 'a', scopes: 'b', redirectUri: 'c', codeChallenge: 'd', state: 'e'};
  const cases = [
    {values: good, reads: REQUEST_KEYS, error: null},
    {values: {clientId: 'a'}, reads: ['clientId'], error: TypeError},
    {values: {...good, clientId: 1}, reads: ['clientId'], error: TypeError},
    {values: {...good, scopes: ['openid', 'profile']}, reads: ['clientId', 'scopes'],
      error: TypeError},
    {values: {...good, redirectUri: new String('c')}, reads: ['clientId', 'scopes', 'redirectUri'],
      error: TypeError},
    {values: {...good, state: null}, reads: REQUEST_KEYS, error: TypeError},
    {values: {...good, codeChallenge: 5n}, reads: REQUEST_KEYS.slice(0, 4), error: TypeError},
  ];
  for (const {values, reads: expectedReads, error} of cases) {
    const {reads, request} = recordingRequest(values);
    sim.clearCalls();
    if (error) {
      assert.throws(() => api.initiateTokenRequest(request), error, JSON.stringify(expectedReads));
      assert.deepEqual(sim.calls(), [], 'a bad request never reaches the client');
    } else {
      api.initiateTokenRequest(request);
      assert.equal(sim.calls().length, 1);
    }
    assert.deepEqual(reads, expectedReads);
  }
});

test('initiateTokenRequest: missing, empty and hostile request arguments', () => {
  const {api} = sim.initializedApi(native);
  sim.clearCalls();
  assert.throws(() => api.initiateTokenRequest(),
      (e) => e.constructor === TypeError && e.message === 'Argument 0 must be an object');
  for (const value of [undefined, null]) {
    assert.throws(() => api.initiateTokenRequest(value), TypeError, String(value));
  }
  // Present but not an object: its (absent) properties are not strings.
  for (const value of [0, 'text', true, Symbol('s'), 1n, [], () => {}, {}]) {
    assert.throws(() => api.initiateTokenRequest(value), TypeError, String(typeof value));
  }
  // Exceptions thrown by script while the request is read propagate as they are.
  const thrown = new RangeError('from the getter');
  assert.throws(() => api.initiateTokenRequest({get clientId() {
    throw thrown;
  }}), (e) => e === thrown);
  const {proxy, revoke} = Proxy.revocable({}, {});
  revoke();
  assert.throws(() => api.initiateTokenRequest(proxy), TypeError);
  assert.deepEqual(sim.calls(), []);
});

test('showSignInDialog passes the low 32 bits of parentWindowHandle as a signed value', () => {
  const {api} = sim.initializedApi(native);
  const cases = [
    [0, 0], [4660, 4660], [2 ** 32 + 4660, 4660], [-1, -1], [2 ** 31, -(2 ** 31)],
    [2 ** 32 - 1, -1], [2.9, 2], [-2.9, -2], [NaN, 0], [Infinity, 0], [-Infinity, 0],
    [-(2 ** 32) - 5, -5], [Number.MAX_SAFE_INTEGER, -1],
  ];
  for (const [handle, parent] of cases) {
    assert.equal(api.showSignInDialog({parentWindowHandle: handle}), undefined);
    assert.equal(lastCall('OrloApi_ShowSnoozableLoginWindow').args.parent, parent, String(handle));
  }
  api.showSignInDialog();
  assert.equal(lastCall('OrloApi_ShowSnoozableLoginWindow').args.parent, 0, 'no argument');
});

test('showSignInDialog with an argument that is not an object holding a number', () => {
  const {api} = sim.initializedApi(native);
  sim.clearCalls();
  const cases = [undefined, null, {}, {parentWindowHandle: '5'}, {parentWindowHandle: 5n},
    {parentWindowHandle: null}, {parentWindowHandle: new Number(5)}, 7, 'x'];
  for (const value of cases) {
    assert.throws(() => api.showSignInDialog(value), TypeError, String(value));
  }
  assert.deepEqual(sim.calls(), []);
});

test('getAuthUrl asks for the federated-authentication URL and returns it as text', () => {
  const {api, handle} = sim.initializedApi(native);
  const long = 'https://x.example/' + 'a'.repeat(1023 - 18);
  const cases = [
    ['', ''],
    ['https://login.example/fed?x=1', 'https://login.example/fed?x=1'],
    ['caf\u00e9 \u{1F600}', 'caf\u00e9 \u{1F600}'],
    [long, long],
  ];
  for (const [authUrl, expected] of cases) {
    sim.configure({authUrl});
    assert.equal(api.getAuthUrl(), expected);
  }
  const call = lastCall('OrloApi_GetWendraUrl');
  assert.equal(call.handle, handle);
  assert.deepEqual(call.args, {key: 'Varka.FederatedAuth.Url', size: 1024});

  // Text after the first NUL is not part of the URL.
  sim.configure({authUrlUnits: [104, 0, 105]});
  assert.equal(api.getAuthUrl(), 'h');
  // One unit more than the buffer holds: the client refuses, and the error says so.
  sim.configure({authUrl: long + 'b'});
  assert.throws(() => api.getAuthUrl(),
      {message: 'OrloApi_GetWendraUrl failed with error code APIERR_INVALID_ARGUMENT'});
});

test('getAuthUrl never reads past its buffer when the client leaves out the terminator', () => {
  const {api} = sim.initializedApi(native);
  sim.configure({authUrl: 'https://short.example/', authUrlUnterminated: true});
  assert.equal(api.getAuthUrl(), 'https://short.example/');
  sim.configure({authUrl: 'h'.repeat(1024), authUrlUnterminated: true});
  assert.throws(() => api.getAuthUrl(), (e) => e.constructor === Error &&
      e.message === 'OrloApi_GetWendraUrl returned a URL without a terminator');
});

test('getAuthUrl turns text that is not valid UTF-16 into a script error', () => {
  const {api} = sim.initializedApi(native);
  const invalid = [
    [0x68, 0xD800, 0x69], // high surrogate, then no low one
    [0x68, 0xD83D], // high surrogate at the end
    [0xDC00, 0x68], // low surrogate alone
    [0xD800, 0xD800, 0xDC00],
  ];
  for (const authUrlUnits of invalid) {
    sim.configure({authUrlUnits});
    assert.throws(() => api.getAuthUrl(), (e) => e.constructor === Error &&
        /not valid UTF-16/.test(e.message), JSON.stringify(authUrlUnits));
  }
  sim.configure({authUrlUnits: [0xD83D, 0xDE00]});
  assert.equal(api.getAuthUrl(), '\u{1F600}');
});
