'use strict';
// signIn through the installed package, against the client simulator and the packaged protocol
// handler: what the client is asked, which redirects end the sign-in, and that no pipe outlives it.
const test = require('node:test');
const assert = require('node:assert/strict');
const crypto = require('node:crypto');
const net = require('node:net');
const t = require('./support');

const {pkg} = t;
const {api} = t.signInSetup();

function options(extra = {}) {
  return {
    clientId: 'fennorworks-pkgtest-client',
    scopes: 'openid profile',
    redirectUri: t.REDIRECT_URI,
    timeoutMs: 30000,
    ...extra,
  };
}

function base64Url(bytes) {
  return bytes.toString('base64').replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

test.beforeEach(() => t.configure());

test('a full sign-in: the client receives the request and the redirect brings the code back', async () => {
  t.configure({browser: true});
  const result = await pkg.signIn(api, options({scopes: ['openid', 'offline_access']}));
  const call = t.simulatorCalls('OrloApi_InitiateTokenRequest').at(-1);
  assert.equal(call.result, 0);
  assert.deepEqual(Object.keys(result).sort(), ['code', 'codeVerifier', 'redirectUrl', 'state']);

  const {clientId, scopes, redirectUri, codeChallenge, state} = call.args;
  assert.deepEqual({clientId, scopes, redirectUri},
      {clientId: 'fennorworks-pkgtest-client', scopes: 'openid offline_access',
        redirectUri: t.REDIRECT_URI});
  // PKCE: 32 random bytes, base64url, and their S256 challenge.
  assert.match(result.codeVerifier, /^[A-Za-z0-9_-]{43}$/);
  assert.equal(Buffer.from(result.codeVerifier, 'base64url').length, 32);
  assert.equal(codeChallenge,
      base64Url(crypto.createHash('sha256').update(result.codeVerifier).digest()));
  // The state: standard Base64 of JSON naming the pipe, plus a nonce.
  assert.equal(state, result.state);
  assert.equal(Buffer.from(state, 'base64').toString('base64'), state);
  const decoded = t.decodeState(state);
  assert.deepEqual(Object.keys(decoded), ['pipeName', 'nonce']);
  assert.match(decoded.pipeName, /^fennorworks-signin-[0-9a-f]{32}$/);
  assert.match(decoded.nonce, /^[0-9a-f]{40,}$/);
  // The redirect the simulated browser opened, as the handler delivered it.
  assert.equal(result.redirectUrl, call.browser.url);
  assert.equal(result.code, new URL(call.browser.url).searchParams.get('code'));
  assert.match(result.code, /^[0-9a-f]{16}$/);
  await t.assertNoPipe(state);
});

test('states, pipe names and verifiers are fresh for every sign-in, and need no URL escaping', async () => {
  const capture = t.capturingApi();
  const seen = {state: new Set(), pipeName: new Set(), nonce: new Set(), codeChallenge: new Set()};
  for (let i = 0; i < 20; i += 1) {
    const controller = new AbortController();
    const pending = pkg.signIn(capture, options({signal: controller.signal}));
    const request = await capture.nextRequest();
    controller.abort();
    await assert.rejects(pending, {name: 'AbortError'});
    // Nothing a server or browser could percent-encode, so the handler always sees it as issued.
    assert.match(request.state, /^[A-Za-z0-9]+$/);
    const {pipeName, nonce} = t.decodeState(request.state);
    for (const [key, value] of Object.entries({state: request.state, pipeName, nonce,
      codeChallenge: request.codeChallenge})) {
      assert.ok(!seen[key].has(value), `${key} repeated`);
      seen[key].add(value);
    }
  }
});

test('a redirect with another state is ignored and reported; the right one then succeeds', async () => {
  const capture = t.capturingApi();
  const reasons = [];
  const pending = pkg.signIn(capture, options({onRejected: (reason) => reasons.push(reason)}));
  const {state} = await capture.nextRequest();
  const {nonce, pipeName} = t.decodeState(state);
  const forged = Buffer.from(JSON.stringify({pipeName, nonce: nonce.replace(/^./, (c) =>
    (c === '0' ? '1' : '0'))})).toString('base64');
  const wrong = [
    t.redirectFor(forged, 'code=stolen'), // the right pipe, another nonce
    t.redirectFor(forged, 'error=access_denied'), // an error it cannot end the sign-in with
    t.redirectFor(`${state}x`), // the issued state with more after it
    t.redirectFor(state.slice(0, -1)), // the issued state cut short
    `${t.REDIRECT_URI}?code=no-state`,
    `${t.REDIRECT_URI}?code=two&state=${state}&state=${state}`,
    `${t.REDIRECT_URI}?state=${state}`, // no code
    `${t.REDIRECT_URI}?state=${state}&code=`, // an empty code
    `fennorworks-other://signin?code=x&state=${state}`, // another scheme
    `${t.SCHEME}://signin.evil?code=x&state=${state}`, // another host
    `${t.SCHEME}://signin/other?code=x&state=${state}`, // another path
    `${t.SCHEME}://user@signin?code=x&state=${state}`, // user info
    `https://signin/?code=x&state=${state}`,
  ];
  for (const url of wrong) {
    const before = reasons.length;
    await t.writeToPipe(state, Buffer.from(url));
    await t.waitFor(() => reasons.length > before, url);
  }
  assert.equal(reasons.length, wrong.length);
  for (const reason of reasons) assert.equal(typeof reason, 'string');
  assert.match(reasons[0], /state is not the one this sign-in issued/);
  assert.match(reasons[1], /state is not the one this sign-in issued/);
  assert.match(reasons[6], /without exactly one authorization code/);
  assert.match(reasons[8], /not a redirect to fennorworks-pkgtest:\/\/signin/);

  // The handler takes the first "state=" it finds, so session_state may only follow the state.
  const right = `${t.REDIRECT_URI}?code=the%20right+one&state=${state}&session_state=x`;
  await t.runHandler(right);
  const result = await pending;
  assert.equal(result.code, 'the right one');
  assert.equal(result.redirectUrl, right);
  await t.assertNoPipe(state);
});

test('an OAuth error on the issued state rejects with OAuthError carrying the server\'s words', async () => {
  const cases = [
    {query: 'error=access_denied&error_description=The%20user%20said%20no&error_uri=https%3A%2F%2Fx.example%2Fe',
      expect: {error: 'access_denied', errorDescription: 'The user said no',
        errorUri: 'https://x.example/e'}},
    {query: 'error=server_error', expect: {error: 'server_error', errorDescription: undefined,
      errorUri: undefined}},
    // An error wins over a code that comes with it.
    {query: 'code=x&error=invalid_scope&error_description=bad+scope',
      expect: {error: 'invalid_scope', errorDescription: 'bad scope'}},
  ];
  for (const {query, expect} of cases) {
    const capture = t.capturingApi();
    const pending = pkg.signIn(capture, options());
    const {state} = await capture.nextRequest();
    const url = t.redirectFor(state, query);
    const rejected = assert.rejects(pending, (error) => {
      assert.ok(error instanceof pkg.OAuthError);
      assert.equal(error.name, 'OAuthError');
      assert.equal(error.code, 'ERR_OAUTH');
      assert.equal(error.redirectUrl, url);
      for (const [key, value] of Object.entries(expect)) assert.equal(error[key], value, key);
      assert.match(error.message, new RegExp(expect.error));
      return true;
    });
    await t.runHandler(url);
    await rejected;
    await t.assertNoPipe(state);
  }
});

test('time-out and abort end the sign-in with their own errors and leave no pipe', async () => {
  const timeoutCapture = t.capturingApi();
  const started = Date.now();
  const timingOut = assert.rejects(pkg.signIn(timeoutCapture, options({timeoutMs: 400})),
      (error) => error instanceof pkg.SignInTimeoutError && error.code === 'ERR_SIGN_IN_TIMEOUT' &&
        error.timeoutMs === 400);
  const {state: timedOutState} = await timeoutCapture.nextRequest();
  await timingOut;
  assert.ok(Date.now() - started >= 390, 'not before its time');
  await t.assertNoPipe(timedOutState);

  const abortCapture = t.capturingApi();
  const controller = new AbortController();
  const aborting = pkg.signIn(abortCapture, options({signal: controller.signal}));
  const {state: abortedState} = await abortCapture.nextRequest();
  const why = new Error('the user closed the window');
  controller.abort(why);
  await assert.rejects(aborting, (error) => error instanceof pkg.SignInAbortError &&
      error.name === 'AbortError' && error.cause === why);
  await t.assertNoPipe(abortedState);

  // Aborted at once, while the pipe is still being set up: no request, no pipe left.
  const early = new AbortController();
  let earlyAsked = false;
  const abortedEarly = pkg.signIn({initiateTokenRequest: () => (earlyAsked = true)},
      options({signal: early.signal}));
  early.abort();
  await assert.rejects(abortedEarly, pkg.SignInAbortError);
  assert.equal(earlyAsked, false);

  // Already aborted: rejected before anything is created or requested.
  let asked = false;
  await assert.rejects(pkg.signIn({initiateTokenRequest: () => (asked = true)},
      options({signal: AbortSignal.abort()})), pkg.SignInAbortError);
  assert.equal(asked, false);
});

test('a failing initiateTokenRequest rejects with its error and closes the pipe', async () => {
  // The real client refusing the request.
  t.configure({errors: {OrloApi_InitiateTokenRequest: -101}});
  let state;
  const watching = {initiateTokenRequest(request) {
    state = request.state;
    return api.initiateTokenRequest(request);
  }};
  await assert.rejects(pkg.signIn(watching, options()),
      {message: 'OrloApi_InitiateTokenRequest failed with error code APIERR_CLIENT_NOT_RUNNING'});
  await t.assertNoPipe(state);
  // An async wrapper whose promise rejects counts as a throw.
  const refused = new Error('refused later');
  let laterState;
  await assert.rejects(pkg.signIn({async initiateTokenRequest(request) {
    laterState = request.state;
    await new Promise((resolve) => setTimeout(resolve, 50));
    throw refused;
  }}, options()), (error) => error === refused);
  await t.assertNoPipe(laterState);
  // An uninitialized OrloApi throws before the client is called.
  const {addon} = t.signInSetup();
  await assert.rejects(pkg.signIn(new addon.OrloApi(), options()),
      {message: 'OrloApi is not initialized.'});
});

test('signIn touches nothing on api but initiateTokenRequest', async () => {
  t.configure({browser: true});
  const touched = [];
  const spy = new Proxy(api, {
    get(target, key) {
      touched.push(String(key));
      const value = Reflect.get(target, key);
      return typeof value === 'function' ? value.bind(target) : value;
    },
    set() {
      throw new Error('signIn wrote to api');
    },
  });
  await pkg.signIn(spy, options());
  assert.deepEqual(touched, ['initiateTokenRequest']);
});

test('an oversized message is dropped and reported, its connection closed, and the wait goes on', async () => {
  const limit = 128 * 1024;
  const capture = t.capturingApi();
  const reasons = [];
  const pending = pkg.signIn(capture, options({onRejected: (reason) => reasons.push(reason)}));
  const {state} = await capture.nextRequest();
  const cases = [
    {bytes: Buffer.alloc(limit + 1, 0x61), reason: /more than 131072 bytes/},
    {bytes: Buffer.alloc(4 * limit, 0x61), reason: /more than 131072 bytes/},
    // At the limit the message is read, and judged on what it says.
    {bytes: Buffer.alloc(limit, 0x61), reason: /not a URL/},
    {bytes: Buffer.from(t.redirectFor(state, `pad=${'p'.repeat(limit)}&code=x`)),
      reason: /more than 131072 bytes/},
  ];
  for (const {bytes, reason} of cases) {
    const before = reasons.length;
    await t.writeToPipe(state, bytes);
    await t.waitFor(() => reasons.length > before, String(reason));
    assert.match(reasons.at(-1), reason);
  }
  await t.runHandler(t.redirectFor(state, 'code=after-the-flood'));
  assert.equal((await pending).code, 'after-the-flood');
  await t.assertNoPipe(state);
});

test('two sign-ins at once, each on its own pipe, each with its own code', async () => {
  t.configure({browser: true});
  const [first, second] = await Promise.all([pkg.signIn(api, options()), pkg.signIn(api, options())]);
  assert.notEqual(first.state, second.state);
  assert.notEqual(t.decodeState(first.state).pipeName, t.decodeState(second.state).pipeName);
  assert.notEqual(first.codeVerifier, second.codeVerifier);
  for (const result of [first, second]) {
    assert.equal(new URL(result.redirectUrl).searchParams.get('state'), result.state);
    await t.assertNoPipe(result.state);
  }
  assert.notEqual(first.code, second.code);

  // Crossed redirects: each sign-in ignores the other's and takes its own.
  const captures = [t.capturingApi(), t.capturingApi()];
  const rejected = [[], []];
  const pendings = captures.map((capture, i) => pkg.signIn(capture,
      options({onRejected: (reason) => rejected[i].push(reason)})));
  const states = await Promise.all(captures.map(async (c) => (await c.nextRequest()).state));
  await t.writeToPipe(states[0], Buffer.from(t.redirectFor(states[1], 'code=for-the-second')));
  await t.writeToPipe(states[1], Buffer.from(t.redirectFor(states[0], 'code=for-the-first')));
  await t.waitFor(() => rejected[0].length === 1 && rejected[1].length === 1, 'crossed redirects');
  await t.writeToPipe(states[0], Buffer.from(t.redirectFor(states[0], 'code=for-the-first')));
  await t.writeToPipe(states[1], Buffer.from(t.redirectFor(states[1], 'code=for-the-second')));
  const codes = (await Promise.all(pendings)).map((r) => r.code);
  assert.deepEqual(codes, ['for-the-first', 'for-the-second']);
});

test('a pipe name that is already held is never shared: the listen fails', async () => {
  const {listenOnPipe} = require(`${t.packageDir}/lib/pipe-listener`);
  const name = `fennorworks-pkgtest-held-${process.pid}`;
  const squatter = net.createServer((socket) => socket.destroy());
  await new Promise((resolve) => squatter.listen(`\\\\.\\pipe\\${name}`, resolve));
  try {
    const second = await listenOnPipe(name, () => {}).then((server) => server, (error) => error);
    if (second instanceof net.Server) await new Promise((resolve) => second.close(resolve));
    assert.equal(second.code, 'EADDRINUSE', 'a second server shares the held name');
  } finally {
    await new Promise((resolve) => squatter.close(resolve));
  }
  const server = await listenOnPipe(name, (socket) => socket.destroy());
  await new Promise((resolve) => server.close(resolve));
});
