'use strict';
// Loading orloclient-addon.node with its client library.
//
// The addon imports Node-API from HostShim.dll, which sits beside it, and the client from
// OrloApi.dll and KestrineAllocator.dll, which live wherever the client is installed. Node loads an
// addon with LoadLibraryExW(LOAD_WITH_ALTERED_SEARCH_PATH): the DLLs it imports are looked for in the
// addon's own folder, the system folders, the current folder, then the folders of PATH, as PATH
// stands in the process environment at that moment. So the client's folder goes at the front of
// PATH for the duration of the load only, and PATH is put back afterwards, whichever way the load
// ends. Once loaded, the DLLs stay loaded by name for the life of the process.
const fs = require('node:fs');
const path = require('node:path');
const {LibraryNotFoundError} = require('./errors');

const ADDON_FILE = 'orloclient-addon.node';
const HOST_SHIM_FILE = 'HostShim.dll';
const CLIENT_LIBRARY_FILES = ['OrloApi.dll', 'KestrineAllocator.dll'];
const HANDLER_FILE = 'orlo-protocolhandler.exe';
const PLATFORM = 'win32-x64';

// An application packed into an asar archive runs this file from inside app.asar, but Windows
// loads DLLs and starts programs only from real folders: the packer's asarUnpack option puts
// prebuilds/ and sim/ into app.asar.unpacked beside the archive, and that is where they are used.
function outsideAsar(file) {
  return file.replace(/([\\/])app\.asar(?=[\\/]|$)/i, '$1app.asar.unpacked');
}

const packageDir = outsideAsar(path.resolve(__dirname, '..'));
const prebuildsDir = path.join(packageDir, 'prebuilds', PLATFORM);
const simulatorDir = path.join(packageDir, 'sim');
const addonPath = path.join(prebuildsDir, ADDON_FILE);
const protocolHandlerPath = path.join(prebuildsDir, HANDLER_FILE);

const ASAR_HINT = 'An application packed into an asar archive must unpack the package\'s ' +
    'prebuilds/ and sim/ folders (asarUnpack)';

// What this environment has loaded, so that a second load answers with the same exports and a
// load that asks for another client library is refused rather than silently given the first.
let loaded = null;

function checkPlatform() {
  const here = `${process.platform}-${process.arch}`;
  if (here !== PLATFORM) {
    const error = new Error(`@fennorworks/orloclient-native runs only on Windows x64 (${PLATFORM}); ` +
        `this process is ${here}`);
    error.code = 'ERR_ORLOCLIENT_UNSUPPORTED_PLATFORM';
    throw error;
  }
}

function loadOptions(options) {
  if (options === undefined) options = {};
  if (options === null || typeof options !== 'object') {
    throw new TypeError('load: options must be an object');
  }
  for (const key of Object.keys(options)) {
    if (key !== 'clientLibraryDir' && key !== 'simulator') {
      throw new TypeError(`load: unknown option "${key}"`);
    }
  }
  const {clientLibraryDir, simulator} = options;
  if (simulator !== undefined && typeof simulator !== 'boolean') {
    throw new TypeError('load: simulator must be a boolean');
  }
  if (clientLibraryDir !== undefined &&
      (typeof clientLibraryDir !== 'string' || clientLibraryDir === '')) {
    throw new TypeError('load: clientLibraryDir must be a non-empty string');
  }
  if (simulator && clientLibraryDir !== undefined) {
    throw new TypeError('load: clientLibraryDir and simulator: true exclude each other');
  }
  const dir = simulator ? simulatorDir :
    clientLibraryDir === undefined ? null : path.resolve(clientLibraryDir);
  // A PATH entry ends at ";"; a folder whose name holds one cannot be put there.
  if (dir !== null && dir.includes(';')) {
    throw new TypeError(`load: the client library folder ${dir} has ";" in its name, ` +
        'which the DLL search path cannot hold');
  }
  return {dir, via: simulator ? 'the simulator' : clientLibraryDir === undefined ?
    'the system\'s DLL search' : `clientLibraryDir ${dir}`};
}

function isFile(file) {
  try {
    return fs.statSync(file).isFile();
  } catch {
    return false;
  }
}

function firstMissing(files, dir) {
  return files.find((file) => !isFile(path.join(dir, file)));
}

// The folders Windows would search for the addon's DLLs when no client folder is given.
function systemSearchFolders() {
  const systemRoot = process.env.SystemRoot || 'C:\\Windows';
  const folders = [prebuildsDir, path.join(systemRoot, 'System32'), path.join(systemRoot, 'System'),
    systemRoot, process.cwd()];
  for (const entry of (process.env.PATH || '').split(';')) {
    const folder = entry.trim().replace(/^"(.*)"$/, '$1');
    if (folder) folders.push(folder);
  }
  // Folder names compare without regard to case.
  const seen = new Set();
  return folders.filter((folder) => {
    const key = path.resolve(folder).toLowerCase();
    return !seen.has(key) && seen.add(key);
  });
}

function findLibrary(file, folders) {
  return folders.some((folder) => isFile(path.join(folder, file)));
}

function checkPackageFiles(cause) {
  const missing = firstMissing([ADDON_FILE, HOST_SHIM_FILE], prebuildsDir);
  if (missing) {
    throw new LibraryNotFoundError(missing, [prebuildsDir],
        `The package is incomplete: reinstall it. ${ASAR_HINT}`, cause);
  }
}

function checkClientFiles(dir, via, cause) {
  const missing = firstMissing(CLIENT_LIBRARY_FILES, dir);
  if (missing) {
    throw new LibraryNotFoundError(missing, [dir], via === 'the simulator' ?
      `The package's simulator is incomplete: reinstall the package. ${ASAR_HINT}` :
      'clientLibraryDir must be the folder of the installed client\'s OrloApi.dll and ' +
      'KestrineAllocator.dll', cause);
  }
}

function withFolderOnPath(dir, fn) {
  if (dir === null) return fn();
  const before = process.env.PATH;
  process.env.PATH = before ? `${dir};${before}` : dir;
  try {
    return fn();
  } finally {
    if (before === undefined) delete process.env.PATH;
    else process.env.PATH = before;
  }
}

// The loader's own answer names neither the file nor the folders; find out which is missing.
function explainLoadFailure(error, dir, via) {
  if (!error || error.code !== 'ERR_DLOPEN_FAILED') return error;
  checkPackageFiles(error);
  if (dir !== null) {
    checkClientFiles(dir, via, error);
  } else {
    const folders = systemSearchFolders();
    const missing = CLIENT_LIBRARY_FILES.find((file) => !findLibrary(file, folders));
    if (missing) {
      throw new LibraryNotFoundError(missing, folders,
          'Pass clientLibraryDir (the installed client\'s folder) or simulator: true', error);
    }
  }
  const {isMainThread} = require('node:worker_threads');
  const reason = String(error.message).split(/\r?\n/)[0].replace(/\.$/, '');
  const explained = new Error(isMainThread ?
    `Could not load ${addonPath} with ${via}: ${reason}. ${HOST_SHIM_FILE}, ` +
    `${CLIENT_LIBRARY_FILES.join(' and ')} are all in place, so a DLL that one of them imports, ` +
    'or a function it imports, is missing, or one of the files is damaged' :
    `Could not load ${addonPath} with ${via} in a worker thread: ${reason}. A Worker's ` +
    'process.env is its own copy, which the DLL search never sees: load the package on the main ' +
    'thread first (its DLLs then stay loaded for every thread), or start the Worker with ' +
    'env: SHARE_ENV', {cause: error});
  explained.code = 'ERR_ORLOCLIENT_LOAD_FAILED';
  return explained;
}

/**
 * Loads orloclient-addon.node and returns its exports, the module PlenxConnectorNative, unchanged.
 * options.clientLibraryDir: the folder of the installed client's OrloApi.dll and
 * KestrineAllocator.dll; options.simulator: true uses the stand-ins in the package's sim/ folder;
 * neither leaves the DLLs to the system's search.
 */
function load(options) {
  checkPlatform();
  const {dir, via} = loadOptions(options);
  const key = dir === null ? null : dir.toLowerCase();
  if (loaded) {
    if (loaded.key !== key) {
      throw new Error(`${ADDON_FILE} is already loaded with ${loaded.via}; a process uses one ` +
          `client library, so it cannot be loaded again with ${via}`);
    }
    return loaded.exports;
  }
  checkPackageFiles();
  if (dir !== null) checkClientFiles(dir, via);
  let exports;
  try {
    exports = withFolderOnPath(dir, () => require(addonPath));
  } catch (error) {
    throw explainLoadFailure(error, dir, via);
  }
  loaded = {key, via, exports};
  return exports;
}

module.exports = {load, protocolHandlerPath, simulatorDir, prebuildsDir};
