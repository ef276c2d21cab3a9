'use strict';
// The errors the package's functions reject or throw with, beside TypeError and RangeError for bad
// arguments. Each carries a stable `code` so that callers need not parse messages.

/** The sign-in did not receive a matching redirect within its time limit. */
class SignInTimeoutError extends Error {
  constructor(timeoutMs) {
    super(`No sign-in redirect arrived within ${timeoutMs} ms`);
    this.name = 'SignInTimeoutError';
    this.code = 'ERR_SIGN_IN_TIMEOUT';
    this.timeoutMs = timeoutMs;
  }
}

/** The caller's AbortSignal ended the sign-in. Named AbortError, as the platform's own aborts are. */
class SignInAbortError extends Error {
  constructor(reason) {
    super('The sign-in was aborted', reason === undefined ? undefined : {cause: reason});
    this.name = 'AbortError';
    this.code = 'ABORT_ERR';
  }
}

/** The authorization server answered the sign-in's own redirect with an OAuth error. */
class OAuthError extends Error {
  constructor({error, errorDescription, errorUri, redirectUrl}) {
    super(errorDescription === undefined ?
      `The authorization server answered: ${error}` :
      `The authorization server answered: ${error}: ${errorDescription}`);
    this.name = 'OAuthError';
    this.code = 'ERR_OAUTH';
    this.error = error;
    this.errorDescription = errorDescription;
    this.errorUri = errorUri;
    this.redirectUrl = redirectUrl;
  }
}

/** A DLL that the addon needs is not where the load looked for it. */
class LibraryNotFoundError extends Error {
  constructor(file, searched, detail, cause) {
    super(`${file} was not found; looked in ${searched.join(', ')}${detail ? `. ${detail}` : ''}`,
        cause === undefined ? undefined : {cause});
    this.name = 'LibraryNotFoundError';
    this.code = 'ERR_ORLOCLIENT_LIBRARY_NOT_FOUND';
    this.file = file;
    this.searched = searched;
  }
}

module.exports = {SignInTimeoutError, SignInAbortError, OAuthError, LibraryNotFoundError};
