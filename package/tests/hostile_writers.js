'use strict';
// Local processes writing whatever they like to a sign-in's pipe: none of it may crash the
// application, end or steal the sign-in, or keep it from finishing or timing out.
const test = require('node:test');
const assert = require('node:assert/strict');
const crypto = require('node:crypto');
const t = require('./support');

const {pkg} = t;
const CONNECTION_DEADLINE_MS = 10000;

function options(extra = {}) {
  return {clientId: 'fennorworks-pkgtest-client', scopes: 'openid', redirectUri: t.REDIRECT_URI,
    timeoutMs: 30000, ...extra};
}

async function startSignIn(extra) {
  const capture = t.capturingApi();
  const reasons = [];
  const pending = pkg.signIn(capture, options({onRejected: (reason) => reasons.push(reason), ...extra}));
  // Observed from the start, so that a rejection is never unhandled while the test writes.
  const outcome = pending.then((result) => ({result}), (error) => ({error}));
  const {state} = await capture.nextRequest();
  return {state, reasons, outcome};
}

// Independent sign-ins on their own pipes: run side by side, so the connection deadline is waited
// out once.
test.describe('hostile pipe writers', {concurrency: true}, () => {
  test('garbage bytes of every kind are reported and ignored', async () => {
    const {state, reasons, outcome} = await startSignIn();
    const garbage = [
      crypto.randomBytes(4096),
      Buffer.from([0xff, 0xfe, 0x00, 0x80]), // not UTF-8
      Buffer.from([0xef, 0xbb, 0xbf, ...Buffer.from(t.redirectFor(state))]), // a byte order mark first
      Buffer.from(`${t.redirectFor(state)}\0trailing`), // a NUL inside
      Buffer.from(t.redirectFor(state)).subarray(0, 20),
      Buffer.alloc(0), // connect and close at once
      Buffer.from(`\u0000\u0001${'\u{1F600}'.repeat(1000)}`),
      Buffer.from('%%%://::'),
      Buffer.from(`${t.REDIRECT_URI}?code=x&state=${encodeURIComponent('"><script>')}`),
    ];
    for (const bytes of garbage) {
      const before = reasons.length;
      await t.writeToPipe(state, bytes);
      await t.waitFor(() => reasons.length > before, bytes.subarray(0, 16).toString('hex'));
    }
    assert.equal(reasons.length, garbage.length);
    assert.match(reasons[1], /not UTF-8/);
    await t.runHandler(t.redirectFor(state, 'code=after-garbage'));
    const {result, error} = await outcome;
    assert.ifError(error);
    assert.equal(result.code, 'after-garbage');
    await t.assertNoPipe(state);
  });

  test('a partial write then close is a message of its own, rejected; the wait goes on', async () => {
    const {state, reasons, outcome} = await startSignIn();
    const url = Buffer.from(t.redirectFor(state, 'code=x'));
    for (const cut of [1, url.length >> 1, url.length - 1]) {
      const before = reasons.length;
      await t.writeToPipe(state, url.subarray(0, cut));
      await t.waitFor(() => reasons.length > before, `cut at ${cut}`);
    }
    await t.runHandler(t.redirectFor(state, 'code=whole'));
    assert.equal((await outcome).result.code, 'whole');
  });

  test('a connection that never closes neither blocks the sign-in nor outlives it', async () => {
    const {state, outcome} = await startSignIn();
    const stalled = await t.writeToPipe(state, Buffer.from(t.redirectFor(state, 'code=stalled')),
        {keepOpen: true});
    const silent = await t.writeToPipe(state, Buffer.alloc(0), {keepOpen: true});
    await t.runHandler(t.redirectFor(state, 'code=real'));
    assert.equal((await outcome).result.code, 'real');
    // The sign-in closed them: they see the end, and the pipe is gone.
    for (const socket of [stalled, silent]) {
      await t.waitFor(() => socket.destroyed || socket.readableEnded, 'the held connection closed');
    }
    await t.assertNoPipe(state);
  });

  test('a connection that never closes does not hold off the time-out', async () => {
    const started = Date.now();
    const {state, outcome} = await startSignIn({timeoutMs: 1500});
    const stalled = await t.writeToPipe(state, Buffer.from('fennorworks-pkgtest://sig'), {keepOpen: true});
    const {error} = await outcome;
    assert.ok(error instanceof pkg.SignInTimeoutError);
    // Not held off until the connection deadline closed the stalled connection.
    assert.ok(Date.now() - started < CONNECTION_DEADLINE_MS, 'the time-out waited for the connection');
    await t.waitFor(() => stalled.destroyed || stalled.readableEnded, 'the held connection closed');
    await t.assertNoPipe(state);
  });

  test('a connection still open after the deadline is closed and reported', async () => {
    const {state, reasons, outcome} = await startSignIn();
    const started = Date.now();
    const stalled = await t.writeToPipe(state, Buffer.from('fennorworks-pkgtest://'), {keepOpen: true});
    await t.waitFor(() => reasons.length === 1, 'the deadline', CONNECTION_DEADLINE_MS + 5000);
    assert.ok(Date.now() - started >= CONNECTION_DEADLINE_MS - 100);
    assert.match(reasons[0], /did not end its message within 10000 ms/);
    await t.waitFor(() => stalled.destroyed || stalled.readableEnded, 'the stalled connection closed');
    await t.runHandler(t.redirectFor(state, 'code=after-the-deadline'));
    assert.equal((await outcome).result.code, 'after-the-deadline');
  });

  test('many writers at once', async () => {
    const {state, reasons, outcome} = await startSignIn();
    const otherState = state.slice(0, -1) + (state.endsWith('A') ? 'B' : 'A');
    const writers = [];
    for (let i = 0; i < 40; i += 1) {
      writers.push(t.writeToPipe(state, i % 2 ? crypto.randomBytes(1000) :
        Buffer.from(t.redirectFor(otherState, `code=${i}`))));
    }
    await Promise.all(writers);
    await t.waitFor(() => reasons.length === 40, 'forty reports');
    await t.runHandler(t.redirectFor(state, 'code=among-many'));
    assert.equal((await outcome).result.code, 'among-many');
  });

  test('an onRejected that throws ends the sign-in with its error, and the pipe closes', async () => {
    const thrown = new Error('the application\'s own callback failed');
    const capture = t.capturingApi();
    const pending = pkg.signIn(capture, options({onRejected: () => {
      throw thrown;
    }}));
    const outcome = pending.then(() => ({}), (error) => ({error}));
    const {state} = await capture.nextRequest();
    await t.writeToPipe(state, Buffer.from('nonsense'));
    assert.equal((await outcome).error, thrown);
    await t.assertNoPipe(state);
  });
});
