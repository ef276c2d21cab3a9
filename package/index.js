'use strict';
// @fennorworks/orloclient-native: the prebuilt orloclient-addon.node and orlo-protocolhandler.exe
// for Windows x64, the loader that finds their DLLs, and the sign-in helper that owns the pipe.
const {load, protocolHandlerPath} = require('./lib/load');
const {signIn} = require('./lib/sign-in');
const {SignInTimeoutError, SignInAbortError, OAuthError, LibraryNotFoundError} = require('./lib/errors');

module.exports = {
  load,
  protocolHandlerPath,
  signIn,
  SignInTimeoutError,
  SignInAbortError,
  OAuthError,
  LibraryNotFoundError,
};
