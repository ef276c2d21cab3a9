'use strict';
// The listening side of a sign-in: a fresh pipe, PKCE values and a state that names the pipe; the
// token request; then the wait for the one redirect that answers it.
//
// Anyone on the machine can write to the pipe (its name can be listed, and it travels in the
// state), so every message is hostile until proven otherwise: it must be a redirect to the
// caller's redirectUri that carries exactly the state issued here, whose random nonce only this
// process and the authorization server see. Anything else is reported and ignored, and the wait
// goes on: no writer can end or steal the sign-in. A writer that takes the redirect itself still
// cannot use the code without the PKCE verifier, which never leaves this process.
const crypto = require('node:crypto');
const {listenOnPipe, PIPE_PATH_PREFIX} = require('./pipe-listener');
const {SignInTimeoutError, SignInAbortError, OAuthError} = require('./errors');

const DEFAULT_TIMEOUT_MS = 5 * 60 * 1000;
// setTimeout fires at once for a delay that does not fit in 32 bits.
const MAX_TIMEOUT_MS = 2 ** 31 - 1;
// The redirect reaches the handler on a Windows command line (at most 32,767 UTF-16 units, so at
// most about 96 KiB of UTF-8): a longer message cannot be one.
const MAX_MESSAGE_BYTES = 128 * 1024;
// The protocol handler writes its message at once and closes; a connection that is still open
// after this long is holding resources, not delivering a redirect.
const CONNECTION_DEADLINE_MS = 10 * 1000;
const PIPE_NAME_PREFIX = 'fennorworks-signin-';
const NONCE_MIN_HEX_DIGITS = 40;
const SHOWN_MESSAGE_CHARS = 200;

const OPTION_NAMES = new Set(['clientId', 'scopes', 'redirectUri', 'timeoutMs', 'signal', 'onRejected']);

function base64Url(bytes) {
  return bytes.toString('base64').replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function checkScopes(scopes) {
  if (typeof scopes === 'string') return scopes;
  if (Array.isArray(scopes)) {
    for (const scope of scopes) {
      if (typeof scope !== 'string' || scope === '' || /\s/.test(scope)) {
        throw new TypeError('signIn: each entry of scopes must be a non-empty string without spaces');
      }
    }
    return scopes.join(' ');
  }
  throw new TypeError('signIn: scopes must be a string or an array of strings');
}

function checkRedirectUri(redirectUri) {
  if (typeof redirectUri !== 'string' || redirectUri === '') {
    throw new TypeError('signIn: redirectUri must be a non-empty string');
  }
  let url;
  try {
    url = new URL(redirectUri);
  } catch {
    throw new TypeError(`signIn: redirectUri is not a URL: ${redirectUri}`);
  }
  if (url.hash !== '' || redirectUri.includes('#')) {
    throw new TypeError('signIn: redirectUri must not have a fragment');
  }
  for (const name of ['state', 'code', 'error']) {
    if (url.searchParams.has(name)) {
      throw new TypeError(`signIn: redirectUri must not carry a "${name}" parameter; the redirect adds it`);
    }
  }
  return url;
}

function checkTimeout(timeoutMs) {
  if (timeoutMs === undefined) return DEFAULT_TIMEOUT_MS;
  if (typeof timeoutMs !== 'number' || Number.isNaN(timeoutMs)) {
    throw new TypeError('signIn: timeoutMs must be a number');
  }
  if (!(timeoutMs > 0 && timeoutMs <= MAX_TIMEOUT_MS)) {
    throw new RangeError(`signIn: timeoutMs must be above 0 and at most ${MAX_TIMEOUT_MS}`);
  }
  return timeoutMs;
}

function checkSignal(signal) {
  if (signal === undefined) return undefined;
  if (signal === null || typeof signal !== 'object' || typeof signal.aborted !== 'boolean' ||
      typeof signal.addEventListener !== 'function' ||
      typeof signal.removeEventListener !== 'function') {
    throw new TypeError('signIn: signal must be an AbortSignal');
  }
  return signal;
}

function checkArguments(api, options) {
  if (api === null || (typeof api !== 'object' && typeof api !== 'function')) {
    throw new TypeError('signIn: api must be an initialized OrloApi object');
  }
  if (options === null || typeof options !== 'object') {
    throw new TypeError('signIn: options must be an object');
  }
  for (const key of Object.keys(options)) {
    if (!OPTION_NAMES.has(key)) throw new TypeError(`signIn: unknown option "${key}"`);
  }
  const {clientId, scopes, redirectUri, timeoutMs, signal, onRejected} = options;
  if (typeof clientId !== 'string' || clientId === '') {
    throw new TypeError('signIn: clientId must be a non-empty string');
  }
  if (onRejected !== undefined && typeof onRejected !== 'function') {
    throw new TypeError('signIn: onRejected must be a function');
  }
  const checked = {
    clientId,
    scopes: checkScopes(scopes),
    redirectUri,
    redirect: checkRedirectUri(redirectUri),
    timeoutMs: checkTimeout(timeoutMs),
    signal: checkSignal(signal),
    onRejected,
  };
  const initiateTokenRequest = api.initiateTokenRequest;
  if (typeof initiateTokenRequest !== 'function') {
    throw new TypeError('signIn: api has no initiateTokenRequest method');
  }
  checked.initiate = (request) => Reflect.apply(initiateTokenRequest, api, [request]);
  return checked;
}

// The handler reads the state from the URL as it stands, without percent-decoding, so a server or
// browser that escapes "+", "/" or "=" would break the relay. Base64 of ASCII text gives "+" or
// "/" only for ">", "?", "~" or DEL in the third byte of a group, and "=" only when the length is
// not a multiple of three: the JSON below holds none of those characters and has such a length,
// so its standard Base64 is letters and digits only.
function makeState(pipeName) {
  const empty = JSON.stringify({pipeName, nonce: ''}).length;
  let digits = NONCE_MIN_HEX_DIGITS;
  while ((empty + digits) % 3 !== 0) digits += 1;
  const nonce = crypto.randomBytes(Math.ceil(digits / 2)).toString('hex').slice(0, digits);
  const state = Buffer.from(JSON.stringify({pipeName, nonce}), 'utf8').toString('base64');
  if (!/^[A-Za-z0-9]+$/.test(state)) throw new Error(`internal: state ${state} is not URL-safe`);
  return state;
}

function shown(text) {
  const cut = text.length > SHOWN_MESSAGE_CHARS ? `${text.slice(0, SHOWN_MESSAGE_CHARS)}...` : text;
  return JSON.stringify(cut);
}

function isRedirectTo(url, redirect) {
  return url.protocol === redirect.protocol && url.username === redirect.username &&
      url.password === redirect.password && url.host === redirect.host &&
      url.pathname === redirect.pathname;
}

const utf8 = new TextDecoder('utf-8', {fatal: true, ignoreBOM: true});

/**
 * What one pipe message means for the sign-in that issued `state`:
 * {code} to accept, {oauthError} to fail with, or {rejected: reason} to report and ignore.
 */
function judgeMessage(bytes, redirectUri, redirect, state) {
  let text;
  try {
    text = utf8.decode(bytes);
  } catch {
    return {rejected: `a message of ${bytes.length} bytes that is not UTF-8 text`};
  }
  let url;
  try {
    url = new URL(text);
  } catch {
    return {rejected: `a message that is not a URL: ${shown(text)}`};
  }
  if (!isRedirectTo(url, redirect)) {
    return {rejected: `a message that is not a redirect to ${redirectUri}: ${shown(text)}`};
  }
  const states = url.searchParams.getAll('state');
  if (states.length !== 1 || states[0] !== state) {
    return {rejected: `a redirect whose state is not the one this sign-in issued: ${shown(text)}`};
  }
  const params = url.searchParams;
  if (params.has('error')) {
    return {oauthError: new OAuthError({
      error: params.get('error'),
      errorDescription: params.has('error_description') ? params.get('error_description') : undefined,
      errorUri: params.has('error_uri') ? params.get('error_uri') : undefined,
      redirectUrl: text,
    })};
  }
  const codes = params.getAll('code');
  if (codes.length !== 1 || codes[0] === '') {
    return {rejected: `a redirect without exactly one authorization code: ${shown(text)}`};
  }
  return {code: codes[0], redirectUrl: text};
}

class SignInSession {
  constructor(checked, pipeName, codeVerifier, state) {
    this.checked = checked;
    this.pipeName = pipeName;
    this.codeVerifier = codeVerifier;
    this.state = state;
    this.sockets = new Set();
    this.server = null;
    this.listenPending = true;
    this.serverClosed = false;
    this.outcome = null;
    this.settled = false;
    this.timer = null;
  }

  run(request) {
    return new Promise((resolve, reject) => {
      this.resolve = resolve;
      this.reject = reject;
      const {signal} = this.checked;
      if (signal) {
        this.onAbort = () => this.finish(new SignInAbortError(signal.reason));
        signal.addEventListener('abort', this.onAbort, {once: true});
      }
      listenOnPipe(this.pipeName, (socket) => this.accept(socket)).then((server) => {
        this.listenPending = false;
        this.server = server;
        server.on('error', (error) => this.finish(error));
        if (this.outcome) {
          this.closeServer();
          return;
        }
        this.timer = setTimeout(() => this.finish(new SignInTimeoutError(this.checked.timeoutMs)),
            this.checked.timeoutMs);
        try {
          const returned = this.checked.initiate(request);
          // A wrapper of the client's method may be async: its failure counts as a throw.
          if (returned !== null && typeof returned === 'object' && typeof returned.then === 'function') {
            returned.then(undefined, (error) => this.finish(error));
          }
        } catch (error) {
          this.finish(error);
        }
      }, (error) => {
        this.listenPending = false;
        this.serverClosed = true;
        const failed = new Error(`signIn: cannot listen on ${PIPE_PATH_PREFIX}${this.pipeName}: ` +
            `${error.code || error.message}`, {cause: error});
        failed.code = error.code;
        this.finish(failed);
        // Already finished (aborted while the listen was under way): settle now that it failed.
        this.settleIfClosed();
      });
    });
  }

  report(reason) {
    if (this.outcome || !this.checked.onRejected) return;
    try {
      this.checked.onRejected(reason);
    } catch (error) {
      // The caller's own callback failed: surface it rather than lose it inside a pipe event.
      this.finish(error);
    }
  }

  accept(socket) {
    if (this.outcome) {
      socket.destroy();
      return;
    }
    this.sockets.add(socket);
    const chunks = [];
    let size = 0;
    let done = false;
    const drop = (reason) => {
      done = true;
      chunks.length = 0;
      socket.destroy();
      this.report(reason);
    };
    const deadline = setTimeout(() => drop('a connection that did not end its message within ' +
        `${CONNECTION_DEADLINE_MS} ms; closed`), CONNECTION_DEADLINE_MS);
    socket.on('data', (chunk) => {
      if (done) return;
      size += chunk.length;
      if (size > MAX_MESSAGE_BYTES) {
        drop(`a message of more than ${MAX_MESSAGE_BYTES} bytes; its connection was closed`);
        return;
      }
      chunks.push(chunk);
    });
    // The writer closing its end is the end of the message.
    socket.on('end', () => {
      if (done) return;
      done = true;
      clearTimeout(deadline);
      const message = Buffer.concat(chunks, size);
      chunks.length = 0;
      socket.destroy();
      this.judge(message);
    });
    socket.on('error', (error) => {
      if (done) return;
      drop(`a connection that failed before its message ended (${error.code || error.message})`);
    });
    socket.on('close', () => {
      clearTimeout(deadline);
      this.sockets.delete(socket);
      this.settleIfClosed();
    });
  }

  judge(message) {
    if (this.outcome) return;
    const {redirectUri, redirect} = this.checked;
    const verdict = judgeMessage(message, redirectUri, redirect, this.state);
    if (verdict.rejected) {
      this.report(verdict.rejected);
    } else if (verdict.oauthError) {
      this.finish(verdict.oauthError);
    } else {
      this.finish(null, {
        code: verdict.code,
        state: this.state,
        redirectUrl: verdict.redirectUrl,
        codeVerifier: this.codeVerifier,
      });
    }
  }

  // Ends the sign-in: stops the timer and the abort listener, closes every connection and the
  // server, and settles the promise once all of them are closed, so that nothing listens on the
  // pipe by the time the caller hears the outcome.
  finish(error, result) {
    if (this.outcome) return;
    this.outcome = {error, result};
    clearTimeout(this.timer);
    if (this.onAbort) this.checked.signal.removeEventListener('abort', this.onAbort);
    for (const socket of this.sockets) socket.destroy();
    if (this.server) this.closeServer();
    else this.settleIfClosed();
  }

  closeServer() {
    this.server.close(() => {
      this.serverClosed = true;
      this.settleIfClosed();
    });
  }

  settleIfClosed() {
    if (!this.outcome || this.settled || this.listenPending || !this.serverClosed ||
        this.sockets.size > 0) {
      return;
    }
    this.settled = true;
    const {error, result} = this.outcome;
    if (error) this.reject(error);
    else this.resolve(result);
  }
}

/**
 * Signs in through the client: listens on a fresh named pipe, starts the token request with new
 * PKCE values and a state that names the pipe, and resolves with the authorization code of the
 * redirect that answers it.
 */
async function signIn(api, options) {
  const checked = checkArguments(api, options);
  if (checked.signal && checked.signal.aborted) throw new SignInAbortError(checked.signal.reason);
  // Pipe names compare without regard to case: hex keeps all 128 bits.
  const pipeName = PIPE_NAME_PREFIX + crypto.randomBytes(16).toString('hex');
  const codeVerifier = base64Url(crypto.randomBytes(32));
  const codeChallenge = base64Url(crypto.createHash('sha256').update(codeVerifier, 'ascii').digest());
  const state = makeState(pipeName);
  const session = new SignInSession(checked, pipeName, codeVerifier, state);
  return session.run({
    clientId: checked.clientId,
    scopes: checked.scopes,
    redirectUri: checked.redirectUri,
    codeChallenge,
    state,
  });
}

module.exports = {signIn, MAX_MESSAGE_BYTES, CONNECTION_DEADLINE_MS, DEFAULT_TIMEOUT_MS};
