'use strict';
// The listening end of a sign-in's named pipe, on a name that nobody else holds.
//
// A second server on a pipe name does not fail by itself: it adds instances to the same pipe, and a
// client (the protocol handler) connects to whichever instance is free, so the other server could
// take the redirect. libuv creates the first instance with FILE_FLAG_FIRST_PIPE_INSTANCE, which
// Windows turns into EADDRINUSE when the name exists; Wine ignores the flag. So the name is first
// probed: only a probe that finds no pipe at all (ENOENT) lets the listen go ahead.
const net = require('node:net');

const PIPE_PATH_PREFIX = '\\\\.\\pipe\\';
// A missing pipe answers at once; a held one connects, or stays busy while its instances are taken.
const PROBE_LIMIT_MS = 2000;

function nameIsFree(pipePath) {
  return new Promise((resolve) => {
    const probe = net.connect(pipePath);
    let answered = false;
    const answer = (free) => {
      if (answered) return;
      answered = true;
      clearTimeout(timer);
      probe.destroy();
      resolve(free);
    };
    const timer = setTimeout(() => answer(false), PROBE_LIMIT_MS);
    probe.on('connect', () => answer(false));
    probe.on('error', (error) => answer(error.code === 'ENOENT'));
  });
}

function addressInUse(pipePath) {
  const error = new Error(`listen EADDRINUSE: address already in use ${pipePath}`);
  error.code = 'EADDRINUSE';
  return error;
}

/** Resolves with a net.Server listening on \\.\pipe\<name>, or rejects with the listen error. */
async function listenOnPipe(name, onConnection) {
  const pipePath = PIPE_PATH_PREFIX + name;
  if (!(await nameIsFree(pipePath))) throw addressInUse(pipePath);
  return new Promise((resolve, reject) => {
    const server = net.createServer(onConnection);
    const onError = (error) => {
      server.removeListener('listening', onListening);
      reject(error);
    };
    const onListening = () => {
      server.removeListener('error', onError);
      resolve(server);
    };
    server.once('error', onError);
    server.once('listening', onListening);
    server.listen(pipePath);
  });
}

module.exports = {listenOnPipe, PIPE_PATH_PREFIX};
