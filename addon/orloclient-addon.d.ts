// Script interface of orloclient-addon.node, the native module PlenxConnectorNative.
//
//   const native: typeof import('./orloclient-addon') = require('./orloclient-addon.node');
//
// Every method is synchronous and throws an Error (or a TypeError for a missing or wrongly typed
// argument) on failure. A failed client call throws an Error whose message is a fixed prefix
// followed by the client's error name, for example
// "OrloApi function failed with error code APIERR_CLIENT_NOT_RUNNING".

/** The names the client's error codes are reported with. */
export type OrloApiErrorName =
  | 'APIERR_SUCCESS'
  | 'APIERR_CLIENT_NOT_INSTALLED'
  | 'APIERR_CLIENT_NOT_RUNNING'
  | 'APIERR_INVALID_USER_OR_PASSWORD'
  | 'APIERR_UNHANDLED_EXCEPTION'
  | 'APIERR_NOT_FOUND'
  | 'APIERR_NOT_LOGGED_IN'
  | 'APIERR_UNKNOWN'
  | 'APIERR_NOT_ACCEPTED_EULA'
  | 'APIERR_INVALID_ARGUMENT'
  | 'APIERR_NOT_SUPPORTED'
  | 'APIERR_ALREADY_LOGGED_IN'
  | 'APIERR_FOLDER_NOT_FOUND'
  | 'APIERR_UNABLE_TO_START_APP'
  | 'APIERR_API_OBSOLETE'
  | 'APIERR_SERVICE_UNAVAILABLE'
  | 'APIERR_USER_NOT_AFFILIATED'
  | 'APIERR_PREFSYNC_PLUGIN_NOT_FOUND'
  | 'APIERR_PREFSYNC_APP_NOT_REGISTERED'
  | 'Unknown error code';

/** An OAuth 2.0 authorization request with PKCE, passed to the client unchanged. */
export interface TokenRequest {
  clientId: string;
  /** One string (space-separated scopes), not an array. */
  scopes: string;
  redirectUri: string;
  codeChallenge: string;
  /** Standard Base64 of a UTF-8 JSON object whose string member "pipeName" names the pipe. */
  state: string;
}

export interface SignInDialogOptions {
  /** Native handle of the owner window; only its low 32 bits are passed on. */
  parentWindowHandle: number;
}

/** One connection to the client library. The client handle is released when the object is
 *  garbage-collected; there is no explicit close. */
export class OrloApi {
  constructor();
  /** Obtains the client handle and installs the log callback. Throws "OrloApi already
   *  initialized." on a second call, "OrloApi initialization failed." when the client gives no
   *  handle (a later call tries again). */
  initialize(): void;
  /** These and the methods below throw "OrloApi is not initialized." before initialize(). */
  isInstalled(): boolean;
  isRunning(): boolean;
  isUserSessionActive(): boolean;
  initiateTokenRequest(request: TokenRequest): void;
  /** The federated-authentication URL from the client's service discovery. */
  getAuthUrl(): string;
  /** Without an argument the window has no owner; an argument must be an object. */
  showSignInDialog(options?: SignInDialogOptions): void;
}

/** Registers the URL protocol (the scheme before "://") to start the handler program. Returns
 *  false, with one line on standard error, when it cannot. */
export function registerProtocolHandler(protocolUri: string, handlerPath: string): boolean;
/** Whether the scheme of protocolUri is registered to start handlerPath. */
export function isProtocolHandlerRegistered(protocolUri: string, handlerPath: string): boolean;
/** The discovery region code; throws "Failed to get Wendra region code." when none is set. */
export function getWendraRegionCode(): number;

/** "0.0.1". Read-only. */
export const version: string;

/** Script levels: 0 trace, 1 info, 2 warning, 3 error. */
export type LogLevel = 0 | 1 | 2 | 3;

/** Receives the client's log lines; each function is called with `this` undefined. */
export interface Logger {
  /** Lowest level delivered for categories that categoryFilter does not cover (default: all). */
  minLevel?: LogLevel | number | string;
  /** Required: per-category levels; a dotted category falls back to its shorter prefixes. */
  categoryFilter: Record<string, LogLevel | number | string>;
  logTrace?(category: string, message: string): void;
  logInfo?(category: string, message: string): void;
  logWarning?(category: string, message: string): void;
  logError?(category: string, message: string): void;
}

/** The installed logger, shared by every OrloApi object of the process. Assigning an object
 *  without categoryFilter throws "Invalid Logger" (the object stays installed). */
export let logger: Logger | undefined;
