'use strict';
// A sign-in, end to end, in the Windows node.exe: the script plays the application, the client
// simulator plays the client and the browser, and the redirect comes back through the registered
// protocol handler and a named pipe.
//
//   node signin-demo.js <orloclient-addon.node> <orlo-protocolhandler.exe>
//
// The client simulator (OrloApi.dll) must be on the DLL search path (WINEPATH under Wine). Every step
// prints one line; a failed step prints what failed and the script exits non-zero.

const crypto = require('crypto');
const fs = require('fs');
const net = require('net');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');

const SCHEME = 'fennorworks-demo';
const REDIRECT_URI = `${SCHEME}://signin`;
const REGION_CODE_SEED = '102';
const REDIRECT_TIMEOUT_MS = 30000;

let currentStep = 'start';
let simConfigFile = null;

function step(name, fn) {
  currentStep = name;
  return fn();
}

function say(line) {
  console.log(line);
}

function check(condition, message) {
  if (!condition) throw new Error(message);
}

function base64Url(bytes) {
  return bytes.toString('base64').replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

// The query parameters exactly as they stand in the URL: the state is standard Base64, whose "+"
// a URL parser would turn into a space.
function rawQuery(url) {
  const query = url.slice(url.indexOf('?') + 1);
  const params = new Map();
  for (const pair of query.split('&')) {
    const eq = pair.indexOf('=');
    const name = eq < 0 ? pair : pair.slice(0, eq);
    if (!params.has(name)) params.set(name, eq < 0 ? '' : pair.slice(eq + 1));
  }
  return params;
}

function listenOnPipe(pipePath) {
  return new Promise((resolve, reject) => {
    let deliver;
    const message = new Promise((resolveMessage) => { deliver = resolveMessage; });
    const server = net.createServer((socket) => {
      const chunks = [];
      socket.on('data', (chunk) => chunks.push(chunk));
      socket.on('end', () => deliver(Buffer.concat(chunks)));
      socket.on('error', () => deliver(Buffer.concat(chunks)));
    });
    server.once('error', reject);
    server.listen(pipePath, () => resolve({ server, message }));
  });
}

function withTimeout(promise, ms, what) {
  let timer;
  const timeout = new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error(`${what} did not arrive within ${ms} ms`)), ms);
  });
  return Promise.race([promise, timeout]).finally(() => clearTimeout(timer));
}

function writeSimulatorConfig(config) {
  const file = path.join(os.tmpdir(), `fennor-demo-sim-${process.pid}.json`);
  fs.writeFileSync(file, JSON.stringify(config));
  process.env.ORLOAPI_SIM_CONFIG = file;
  return file;
}

function readRegionCode(addon) {
  try {
    return { code: addon.getWendraRegionCode(), seeded: false };
  } catch (error) {
    // No region code in this registry yet: seed one for the current user, as an installed client
    // would have.
    execFileSync('C:\\windows\\system32\\reg.exe',
      ['add', 'HKCU\\Software\\Kestrine', '/v', 'WendraRegionCode', '/d', REGION_CODE_SEED, '/f'],
      { stdio: 'ignore' });
    return { code: addon.getWendraRegionCode(), seeded: true };
  }
}

async function main() {
  const [addonArg, handlerArg] = process.argv.slice(2);
  check(addonArg && handlerArg, 'usage: signin-demo.js <orloclient-addon.node> <orlo-protocolhandler.exe>');
  const addonPath = path.resolve(addonArg);
  const handlerPath = path.resolve(handlerArg);

  const simConfig = simConfigFile = step('simulator configuration', () => writeSimulatorConfig({
    browser: true,
    logs: [
      { level: -3, text: 'simulated client: connected', during: 'OrloApi_IsRunning' },
      { level: -3, text: 'simulated client: discovery answered', during: 'OrloApi_GetWendraUrl' },
      { level: -2, text: 'simulated client: opening the browser', during: 'OrloApi_InitiateTokenRequest' },
    ],
  }));
  say(`simulator: browser mode, config ${simConfig}`);

  const addon = step('loading the addon', () => require(addonPath));
  say(`addon: loaded ${path.basename(addonPath)}, version ${addon.version}`);

  step('installing the logger', () => {
    const line = (kind) => (category, message) => say(`  client log [${kind}] ${category}: ${message}`);
    addon.logger = {
      minLevel: 0,
      categoryFilter: {},
      logTrace: line('trace'),
      logInfo: line('info'),
      logWarning: line('warning'),
      logError: line('error'),
    };
  });
  say('logger: installed, every level');

  const api = step('creating and initializing OrloApi', () => {
    const created = new addon.OrloApi();
    created.initialize();
    return created;
  });
  say('client: OrloApi initialized');

  step('status queries', () => {
    const installed = api.isInstalled();
    const running = api.isRunning();
    const session = api.isUserSessionActive();
    say(`client: installed=${installed} running=${running} userSessionActive=${session}`);
    check(installed === true && running === true, 'the client is not installed and running');
  });

  step('region code', () => {
    const { code, seeded } = readRegionCode(addon);
    check(Number.isInteger(code), `region code is not an integer: ${code}`);
    say(`region code: ${code}${seeded ? ' (seeded into this registry)' : ''}`);
  });

  step('auth URL', () => {
    const authUrl = api.getAuthUrl();
    check(typeof authUrl === 'string' && authUrl.length > 0, 'empty auth URL');
    say(`auth URL: ${authUrl}`);
  });

  step('registering the protocol handler', () => {
    check(addon.registerProtocolHandler(REDIRECT_URI, handlerPath) === true,
      `registerProtocolHandler(${REDIRECT_URI}) returned false`);
    check(addon.isProtocolHandlerRegistered(REDIRECT_URI, handlerPath) === true,
      'isProtocolHandlerRegistered returned false after registering');
  });
  say(`protocol handler: ${SCHEME}:// registered and checked -> ${handlerPath}`);

  const pipeName = `fennor-signin-${process.pid}-${crypto.randomBytes(4).toString('hex')}`;
  currentStep = 'listening on the pipe';
  const { server, message } = await listenOnPipe(`\\\\.\\pipe\\${pipeName}`);
  say(`pipe: listening on \\\\.\\pipe\\${pipeName}`);

  try {
    const { verifier, challenge } = step('PKCE values', () => {
      const codeVerifier = base64Url(crypto.randomBytes(32));
      const codeChallenge = base64Url(crypto.createHash('sha256').update(codeVerifier).digest());
      return { verifier: codeVerifier, challenge: codeChallenge };
    });
    say(`PKCE: verifier ${verifier.length} characters, S256 challenge ${challenge}`);

    const state = Buffer.from(JSON.stringify({ pipeName }), 'utf8').toString('base64');
    say(`state: ${state}`);

    step('initiateTokenRequest', () => api.initiateTokenRequest({
      clientId: 'fennorworks-demo-client',
      scopes: 'openid profile offline_access',
      redirectUri: REDIRECT_URI,
      codeChallenge: challenge,
      state,
    }));
    say('sign-in: token request started; the simulated browser follows the redirect');

    currentStep = 'waiting for the redirect on the pipe';
    const received = (await withTimeout(message, REDIRECT_TIMEOUT_MS, 'the redirect URL')).toString('utf8');
    say(`pipe: received ${received}`);

    step('checking the redirect', () => {
      check(received.startsWith(`${REDIRECT_URI}?`), `not a redirect to ${REDIRECT_URI}`);
      const params = rawQuery(received);
      check(params.get('state') === state, `state mismatch: ${params.get('state')}`);
      check(params.get('code'), 'no authorization code in the redirect');
      say(`authorization code: ${params.get('code')} (state matches)`);
    });
  } finally {
    server.close();
  }
  say('sign-in demo: OK');
}

main().then(
  () => { process.exitCode = 0; },
  (error) => {
    console.log(`sign-in demo FAILED at "${currentStep}": ${error && error.message ? error.message : error}`);
    process.exitCode = 1;
  }).finally(() => {
  if (simConfigFile) fs.rmSync(simConfigFile, { force: true });
});
