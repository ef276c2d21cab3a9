// A script developer's use of the package, as TypeScript sees it: checked with tsc --strict against
// the installed package. The @ts-expect-error lines are misuses that the types must reject.
import {
  load,
  signIn,
  protocolHandlerPath,
  OAuthError,
  SignInTimeoutError,
  SignInAbortError,
  LibraryNotFoundError,
  type OrloApi,
  type OrloClientAddon,
  type SignInOptions,
  type SignInResult,
  type TokenRequest,
  type Logger,
} from '@fennorworks/orloclient-native';

function loadClient(clientDir: string | undefined): OrloClientAddon {
  try {
    return clientDir === undefined ? load({simulator: true}) : load({clientLibraryDir: clientDir});
  } catch (error) {
    if (error instanceof LibraryNotFoundError) {
      const where: readonly string[] = error.searched;
      throw new Error(`install the client: ${error.file} is not in ${where.join(', ')}`);
    }
    throw error;
  }
}

const addon = loadClient(process.env.ORLO_CLIENT_DIR);
const logger: Logger = {
  minLevel: 1,
  categoryFilter: {orloapi: 0},
  logInfo: (category, message) => console.log(`${category}: ${message}`),
};
addon.logger = logger;
const api: OrloApi = new addon.OrloApi();
api.initialize();
const installed: boolean = api.isInstalled();
const region: number = addon.getWendraRegionCode();
const version: string = addon.version;
const registered: boolean = addon.isProtocolHandlerRegistered('myapp://signin', protocolHandlerPath) ||
    addon.registerProtocolHandler('myapp://signin', protocolHandlerPath);

async function signInOnce(controller: AbortController): Promise<string> {
  const options: SignInOptions = {
    clientId: 'my-client',
    scopes: ['openid', 'profile'],
    redirectUri: 'myapp://signin',
    timeoutMs: 60_000,
    signal: controller.signal,
    onRejected: (reason) => console.warn(`ignored: ${reason.toUpperCase()}`),
  };
  try {
    const result: SignInResult = await signIn(api, options);
    return `${result.code} ${result.codeVerifier} ${result.state} ${result.redirectUrl}`;
  } catch (error) {
    if (error instanceof OAuthError) return `${error.error}: ${error.errorDescription ?? ''}`;
    if (error instanceof SignInTimeoutError) return `gave up after ${error.timeoutMs} ms`;
    if (error instanceof SignInAbortError) return `aborted: ${String(error.cause)}`;
    throw error;
  }
}

// Any object with the one method signIn calls will do, for example in a test.
const fake = {initiateTokenRequest(request: TokenRequest): void {
  console.log(request.state);
}};
void signIn(fake, {clientId: 'c', scopes: 'openid', redirectUri: 'myapp://signin'});
void signInOnce(new AbortController());
console.log(installed, region, version, registered);

// @ts-expect-error redirectUri is required
void signIn(api, {clientId: 'c', scopes: 'openid'});
// @ts-expect-error scopes are strings
void signIn(api, {clientId: 'c', scopes: [1], redirectUri: 'myapp://signin'});
// @ts-expect-error simulator is a boolean
load({simulator: 'yes'});
// @ts-expect-error there is no such option
load({clientLibraryDirectory: 'C:\\client'});
// @ts-expect-error the addon's version is read-only
addon.version = '1.0.0';
// @ts-expect-error initiateTokenRequest takes the five values, not a string
api.initiateTokenRequest('myapp://signin');
// @ts-expect-error signIn resolves with a result object, not a code
const notACode: Promise<string> = signIn(api, {clientId: 'c', scopes: 'openid', redirectUri: 'r'});
void notACode;
