'use strict';
// The life of an OrloApi object (created, initialized) and how failed client calls reach script.
const test = require('node:test');
const assert = require('node:assert/strict');
const sim = require('./simulator');

const native = sim.load();

const fnNames = (calls) => calls.map((c) => c.fn);

// Every method that needs a handle, with a valid call and the client function behind it.
const CALL_SITES = [
  {call: (api) => api.isInstalled(), fn: 'OrloApi_IsInstalled',
    prefix: 'OrloApi function failed with error code '},
  {call: (api) => api.isRunning(), fn: 'OrloApi_IsRunning',
    prefix: 'OrloApi function failed with error code '},
  {call: (api) => api.isUserSessionActive(), fn: 'OrloApi_IsUserSessionActive',
    prefix: 'OrloApi function failed with error code '},
  {call: (api) => api.getAuthUrl(), fn: 'OrloApi_GetWendraUrl',
    prefix: 'OrloApi_GetWendraUrl failed with error code '},
  {call: (api) => api.initiateTokenRequest(
      {clientId: 'a', scopes: 'b', redirectUri: 'c', codeChallenge: 'd', state: 'e'}),
  fn: 'OrloApi_InitiateTokenRequest',
  prefix: 'OrloApi_InitiateTokenRequest failed with error code '},
  {call: (api) => api.showSignInDialog(), fn: 'OrloApi_ShowSnoozableLoginWindow',
    prefix: 'OrloApi_ShowSnoozableLoginWindow failed with error code '},
];

test.beforeEach(() => sim.configure());

test('before initialize every method refuses without calling the client', () => {
  const api = new native.OrloApi();
  sim.clearCalls();
  // initiateTokenRequest() without its argument: the state is checked before the arguments.
  const attempts = [...CALL_SITES.map((s) => s.call), (a) => a.initiateTokenRequest(),
    (a) => a.showSignInDialog(undefined)];
  for (const attempt of attempts) {
    assert.throws(() => attempt(api), (e) => e.constructor === Error &&
        e.message === 'OrloApi is not initialized.', attempt.toString());
  }
  assert.deepEqual(sim.calls(), [], 'nothing reaches the client');
});

test('initialize obtains a handle, installs the log callback, and only once', () => {
  const api = new native.OrloApi();
  sim.clearCalls();
  assert.equal(api.initialize(), undefined);
  const [init, setLogger] = sim.calls();
  assert.deepEqual(init.args, {reserved: 0});
  assert.equal(setLogger.fn, 'OrloApi_SetLogger');
  assert.equal(setLogger.handle, init.result);
  assert.equal(setLogger.args.callback, true);

  sim.clearCalls();
  assert.throws(() => api.initialize(),
      (e) => e.constructor === Error && e.message === 'OrloApi already initialized.');
  assert.deepEqual(sim.calls(), []);
});

test('a client that gives no handle: initialize fails and may be retried', () => {
  const api = new native.OrloApi();
  sim.configure({initializeFails: true});
  assert.throws(() => api.initialize(),
      (e) => e.constructor === Error && e.message === 'OrloApi initialization failed.');
  assert.throws(() => api.isRunning(), {message: 'OrloApi is not initialized.'});
  sim.configure();
  sim.clearCalls();
  api.initialize();
  assert.deepEqual(fnNames(sim.calls()), ['OrloApi_InitializeApi', 'OrloApi_SetLogger']);
  assert.equal(api.isRunning(), true);
});

test('a failed log callback installation still leaves the object initialized', () => {
  const api = new native.OrloApi();
  sim.configure({errors: {OrloApi_SetLogger: -104}});
  sim.clearCalls();
  assert.throws(() => api.initialize(), (e) => e.constructor === Error &&
      e.message === 'OrloApi_SetLogger failed with error code APIERR_NOT_FOUND');
  const handle = sim.calls()[0].result;
  sim.configure();
  assert.equal(api.isRunning(), true);
  assert.equal(sim.calls().at(-1).handle, handle);
  assert.throws(() => api.initialize(), {message: 'OrloApi already initialized.'});
});

test('status queries report the client state', () => {
  const {api} = sim.initializedApi(native);
  for (const state of [
    {installed: true, running: false, userSessionActive: true},
    {installed: false, running: true, userSessionActive: false},
  ]) {
    sim.configure(state);
    assert.deepEqual(
        {installed: api.isInstalled(), running: api.isRunning(),
          userSessionActive: api.isUserSessionActive()},
        state);
  }
  const queries = sim.calls().filter((c) => c.fn.startsWith('OrloApi_Is'));
  assert.ok(queries.every((c) => c.args.preset === 0), 'each answer byte is preset to 0');
});

// The client fills a one-byte boolean, and nothing stops it from writing any byte: every non-zero
// byte is true. Read as a C++ bool, 2 aborted the host, 255 gave a string and 128 NaN.
test('status queries: any byte the client writes becomes a script boolean', () => {
  const {api} = sim.initializedApi(native);
  const QUERIES = [
    {member: 'installed', call: () => api.isInstalled()},
    {member: 'running', call: () => api.isRunning()},
    {member: 'userSessionActive', call: () => api.isUserSessionActive()},
  ];
  const BYTES = [[0, false], [1, true], [2, true], [128, true], [255, true]];
  for (const {member, call} of QUERIES) {
    for (const [byte, expected] of BYTES) {
      // The other two queries answer the opposite, so an answer read from the wrong member shows.
      const config = {installed: !expected, running: !expected, userSessionActive: !expected};
      config[member] = byte;
      sim.configure(config);
      const answer = call();
      assert.equal(typeof answer, 'boolean', `${member} ${byte}: ${String(answer)}`);
      assert.ok(answer === expected, `${member} ${byte}: ${String(answer)}`);
    }
  }
});

const NAMED_CODES = [
  [-100, 'APIERR_CLIENT_NOT_INSTALLED'],
  [-101, 'APIERR_CLIENT_NOT_RUNNING'],
  [-102, 'APIERR_INVALID_USER_OR_PASSWORD'],
  [-103, 'APIERR_UNHANDLED_EXCEPTION'],
  [-104, 'APIERR_NOT_FOUND'],
  [-105, 'APIERR_NOT_LOGGED_IN'],
  [-106, 'APIERR_UNKNOWN'],
  [-107, 'APIERR_NOT_ACCEPTED_EULA'],
  [-110, 'APIERR_INVALID_ARGUMENT'],
  [-111, 'APIERR_NOT_SUPPORTED'],
  [-112, 'APIERR_ALREADY_LOGGED_IN'],
  [-113, 'APIERR_FOLDER_NOT_FOUND'],
  [-114, 'APIERR_UNABLE_TO_START_APP'],
  [-115, 'APIERR_API_OBSOLETE'],
  [-116, 'APIERR_SERVICE_UNAVAILABLE'],
  [-117, 'APIERR_USER_NOT_AFFILIATED'],
  [-201, 'APIERR_PREFSYNC_PLUGIN_NOT_FOUND'],
  [-202, 'APIERR_PREFSYNC_APP_NOT_REGISTERED'],
];
const UNNAMED_CODES = [-108, -109, -118, -200, -203, -1, 1, 7, -2147483648, 2147483647];

test('a failing client call throws its prefix and the code name, at every call site', () => {
  const {api} = sim.initializedApi(native);
  const cases = [
    ...NAMED_CODES.filter(([code]) => code !== 0),
    ...UNNAMED_CODES.map((code) => [code, 'Unknown error code']),
  ];
  for (const site of CALL_SITES) {
    for (const [code, name] of cases) {
      sim.configure({errors: {[site.fn]: code}});
      assert.throws(() => site.call(api), (e) => {
        assert.equal(e.constructor, Error);
        assert.equal(e.message, site.prefix + name);
        assert.equal('code' in e, false);
        return true;
      }, `${site.fn} ${code}`);
    }
  }
});

test('a failed call leaves the object usable', () => {
  const {api} = sim.initializedApi(native);
  sim.configure({errors: {OrloApi_IsRunning: -101}});
  assert.throws(() => api.isRunning(), {message: /APIERR_CLIENT_NOT_RUNNING$/});
  sim.configure();
  assert.equal(api.isRunning(), true);
});

test('initialize hands the client the bridge callback: client lines reach the script logger', () => {
  const lines = [];
  native.logger = {categoryFilter: {}, logInfo: (category, text) => lines.push([category, text])};
  sim.configure({logs: [{level: -3, text: 'during the query', during: 'OrloApi_IsRunning'}]});
  const {api} = sim.initializedApi(native);
  api.isRunning();
  assert.deepEqual(lines, [['orloapi', 'during the query']]);
});
