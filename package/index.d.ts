// Types of @fennorworks/orloclient-native. The addon's own interface is declared once, in
// orloclient-addon.d.ts beside this file (the same file that ships beside the addon in dist/);
// this file adds the loader and the sign-in helper around it.
import type * as OrloClientAddonModule from './orloclient-addon';

export type {
  OrloApi,
  OrloApiErrorName,
  TokenRequest,
  SignInDialogOptions,
  LogLevel,
  Logger,
} from './orloclient-addon';

/** The addon's exports, the module PlenxConnectorNative, exactly as the addon defines them. */
export type OrloClientAddon = typeof OrloClientAddonModule;

export interface LoadOptions {
  /** Folder of the installed client's OrloApi.dll and KestrineAllocator.dll. It is put at the
   *  front of PATH while the addon loads, and PATH is restored afterwards. */
  clientLibraryDir?: string;
  /** Use the client and allocator stand-ins in the package's sim/ folder (development and tests
   *  only). Excludes clientLibraryDir. */
  simulator?: boolean;
}

/**
 * Loads orloclient-addon.node and returns its exports unchanged. Without either option the
 * client's DLLs are left to the system's DLL search. A second call in the same environment
 * returns the same exports; one that asks for another client library throws.
 * @throws Error with code "ERR_ORLOCLIENT_UNSUPPORTED_PLATFORM" anywhere but Windows x64.
 * @throws LibraryNotFoundError when a DLL the addon needs is missing.
 * @throws TypeError for options of the wrong type.
 */
export function load(options?: LoadOptions): OrloClientAddon;

/** Absolute path of the packaged orlo-protocolhandler.exe, for registerProtocolHandler. Outside
 *  app.asar (in app.asar.unpacked) when the package is inside an asar archive. */
export const protocolHandlerPath: string;

/** What signIn needs of an AbortSignal; the platform's AbortSignal has it. */
export interface SignInAbortSignal {
  readonly aborted: boolean;
  readonly reason?: unknown;
  addEventListener(type: 'abort', listener: () => void, options?: { once?: boolean }): void;
  removeEventListener(type: 'abort', listener: () => void): void;
}

export interface SignInOptions {
  clientId: string;
  /** One space-separated string, or the scopes as an array. */
  scopes: string | readonly string[];
  /** The redirect URI registered for the application (its scheme registered to the protocol
   *  handler). No fragment, and no state, code or error parameter. */
  redirectUri: string;
  /** How long to wait for the redirect, in milliseconds (default 300000, at most 2147483647). */
  timeoutMs?: number;
  /** Ends the sign-in with a SignInAbortError when aborted. */
  signal?: SignInAbortSignal;
  /** Called with the reason for each pipe message that did not answer this sign-in and was
   *  ignored: not a redirect to redirectUri, a state other than the issued one, too long, a
   *  connection that stayed open. If it throws, the sign-in rejects with that error. */
  onRejected?: (reason: string) => void;
}

export interface SignInResult {
  /** The authorization code of the redirect. */
  code: string;
  /** The state this sign-in issued, which the redirect carried back. */
  state: string;
  /** The redirect URL as the protocol handler delivered it. */
  redirectUrl: string;
  /** The PKCE code verifier, for the token request that redeems the code. */
  codeVerifier: string;
}

/**
 * Signs in through the client: listens on a fresh named pipe, calls api.initiateTokenRequest
 * (and nothing else on api) with new PKCE values and a state naming the pipe, and resolves with
 * the code of the redirect that answers it. The pipe is closed however the sign-in ends.
 * Rejects with TypeError or RangeError for bad arguments (before anything is created),
 * SignInTimeoutError, SignInAbortError, OAuthError, or the error initiateTokenRequest threw.
 */
export function signIn(api: Pick<OrloClientAddonModule.OrloApi, 'initiateTokenRequest'>,
                       options: SignInOptions): Promise<SignInResult>;

export class SignInTimeoutError extends Error {
  readonly name: 'SignInTimeoutError';
  readonly code: 'ERR_SIGN_IN_TIMEOUT';
  readonly timeoutMs: number;
}

export class SignInAbortError extends Error {
  readonly name: 'AbortError';
  readonly code: 'ABORT_ERR';
  /** The signal's reason. */
  readonly cause?: unknown;
}

export class OAuthError extends Error {
  readonly name: 'OAuthError';
  readonly code: 'ERR_OAUTH';
  /** The redirect's OAuth "error" parameter, for example "access_denied". */
  readonly error: string;
  /** Its "error_description" parameter, if any. */
  readonly errorDescription: string | undefined;
  /** Its "error_uri" parameter, if any. */
  readonly errorUri: string | undefined;
  readonly redirectUrl: string;
}

export class LibraryNotFoundError extends Error {
  readonly name: 'LibraryNotFoundError';
  readonly code: 'ERR_ORLOCLIENT_LIBRARY_NOT_FOUND';
  /** The missing file, for example "OrloApi.dll". */
  readonly file: string;
  /** The folders that were looked in. */
  readonly searched: readonly string[];
}
