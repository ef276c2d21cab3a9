'use strict';
// The main job: a small application that installed @fennorworks/orloclient-native from its
// tarball and signs in through it, in the Windows node.exe. The client simulator plays the client
// and the browser; the redirect comes back through the registered protocol handler and the pipe
// that signIn listens on.
//
//   node signin-demo.js
//
// Every step prints one line, and so does whatever the native side writes to standard error (run
// it with both streams in one file to see them in order). A failed step prints what failed and the
// script exits non-zero.
const crypto = require('crypto');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {execFileSync} = require('child_process');
const {load, signIn, protocolHandlerPath} = require('@fennorworks/orloclient-native');
const {version: packageVersion} = require('@fennorworks/orloclient-native/package.json');

const SCHEME = 'fennorworks-demo';
const REDIRECT_URI = `${SCHEME}://signin`;
const REGION_CODE_KEY = 'HKCU\\Software\\Kestrine';
const REGION_CODE_SEED = '102';
const SIGN_IN_TIMEOUT_MS = 30000;

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

function writeSimulatorConfig(config) {
  const file = path.join(os.tmpdir(), `fennor-demo-sim-${process.pid}.json`);
  fs.writeFileSync(file, JSON.stringify(config));
  process.env.ORLOAPI_SIM_CONFIG = file;
  return file;
}

function errorText(error) {
  return error && error.message ? error.message : String(error);
}

function regionCode(addon) {
  say(`region code: reading WendraRegionCode under ${REGION_CODE_KEY}`);
  try {
    return addon.getWendraRegionCode();
  } catch (error) {
    // A registry without one (a fresh machine) makes the registry library report the missing key
    // on standard error, just above; seed the value for the current user as an installed client
    // would have.
    say(`region code: none set (${errorText(error)}); seeding ${REGION_CODE_SEED}`);
    execFileSync('C:\\windows\\system32\\reg.exe',
        ['add', REGION_CODE_KEY, '/v', 'WendraRegionCode', '/d', REGION_CODE_SEED, '/f'],
        {stdio: 'ignore'});
    return addon.getWendraRegionCode();
  }
}

async function main() {
  simConfigFile = step('simulator configuration', () => writeSimulatorConfig({
    browser: true,
    logs: [
      {level: -3, text: 'simulated client: connected', during: 'OrloApi_IsRunning'},
      {level: -3, text: 'simulated client: discovery answered', during: 'OrloApi_GetWendraUrl'},
      {level: -2, text: 'simulated client: opening the browser', during: 'OrloApi_InitiateTokenRequest'},
    ],
  }));
  say(`simulator: browser mode, config ${simConfigFile}`);

  const addon = step('loading the addon through the package', () => load({simulator: true}));
  say(`package: @fennorworks/orloclient-native ${packageVersion} loaded the addon ` +
      `(version ${addon.version}) with the client simulator`);

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
    const code = regionCode(addon);
    check(Number.isInteger(code), `region code is not an integer: ${code}`);
    say(`region code: ${code}`);
  });

  step('auth URL', () => {
    const authUrl = api.getAuthUrl();
    check(typeof authUrl === 'string' && authUrl.length > 0, 'empty auth URL');
    say(`auth URL: ${authUrl}`);
  });

  step('registering the protocol handler', () => {
    check(addon.registerProtocolHandler(REDIRECT_URI, protocolHandlerPath) === true,
        `registerProtocolHandler(${REDIRECT_URI}) returned false`);
    check(addon.isProtocolHandlerRegistered(REDIRECT_URI, protocolHandlerPath) === true,
        'isProtocolHandlerRegistered returned false after registering');
  });
  say(`protocol handler: ${SCHEME}:// registered and checked -> ${protocolHandlerPath}`);

  // The application's own view of the request that signIn makes: the one call it makes on api.
  let request = null;
  const showingApi = {
    initiateTokenRequest(values) {
      request = values;
      const {pipeName} = JSON.parse(Buffer.from(values.state, 'base64').toString('utf8'));
      say(`sign-in: listening on \\\\.\\pipe\\${pipeName}`);
      say(`sign-in: token request with S256 challenge ${values.codeChallenge} and state ${values.state}`);
      api.initiateTokenRequest(values);
      say('sign-in: token request started; the simulated browser follows the redirect');
    },
  };
  currentStep = 'signing in';
  const result = await signIn(showingApi, {
    clientId: 'fennorworks-demo-client',
    scopes: 'openid profile offline_access',
    redirectUri: REDIRECT_URI,
    timeoutMs: SIGN_IN_TIMEOUT_MS,
    onRejected: (reason) => say(`sign-in: ignored ${reason}`),
  });
  say(`pipe: received ${result.redirectUrl}`);

  step('checking the result', () => {
    check(request && result.state === request.state, 'the result does not carry the issued state');
    const challenge = crypto.createHash('sha256').update(result.codeVerifier).digest('base64url');
    check(challenge === request.codeChallenge, 'the verifier does not match the challenge');
    check(result.code, 'no authorization code');
    say(`authorization code: ${result.code} (state matches; PKCE verifier of ` +
        `${result.codeVerifier.length} characters matches the challenge)`);
  });
  say('sign-in demo: OK');
}

main().then(
    () => {
      process.exitCode = 0;
    },
    (error) => {
      console.log(`sign-in demo FAILED at "${currentStep}": ${errorText(error)}`);
      process.exitCode = 1;
    }).finally(() => {
  if (simConfigFile) fs.rmSync(simConfigFile, {force: true});
});
