// The package's types with no Node or DOM types at all (lib es2022 only): they must stand alone.
import {load, signIn, protocolHandlerPath, type SignInAbortSignal} from '@fennorworks/orloclient-native';

const signal: SignInAbortSignal = {
  aborted: false,
  addEventListener() {},
  removeEventListener() {},
};
const addon = load();
const api = new addon.OrloApi();
api.initialize();
addon.registerProtocolHandler('myapp://signin', protocolHandlerPath);
export const code: Promise<string> = signIn(api, {
  clientId: 'c',
  scopes: 'openid',
  redirectUri: 'myapp://signin',
  signal,
}).then((result) => result.code);
