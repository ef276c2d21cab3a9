'use strict';
// tsc --strict --noEmit on sample consumers of the installed package: one with Node's types, one
// with none, and a consumer that misuses the package, which must fail to compile.
const test = require('node:test');
const assert = require('node:assert/strict');
const {spawnSync} = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

const root = path.resolve(__dirname, '../..');
const tsc = path.join(root, 'node_modules', 'typescript', 'bin', 'tsc');
const appDir = path.resolve(process.env.FENNOR_PACKAGE_APP);
// Inside the application, so that '@fennorworks/orloclient-native' resolves as it would for it.
const work = path.join(appDir, 'types-check');

function check(sources, {types, lib, skipLibCheck}) {
  fs.mkdirSync(work, {recursive: true});
  for (const [file, text] of Object.entries(sources)) fs.writeFileSync(path.join(work, file), text);
  const config = {
    compilerOptions: {
      strict: true, noEmit: true, target: 'es2022', lib, module: 'node16',
      moduleResolution: 'node16', types, typeRoots: [path.join(root, 'node_modules', '@types')],
      skipLibCheck, noUnusedLocals: true,
    },
    files: Object.keys(sources),
  };
  const project = path.join(work, `tsconfig.${Object.keys(sources)[0]}.json`);
  fs.writeFileSync(project, JSON.stringify(config, null, 2));
  // --strict and --noEmit are in the project too; given here so that the command says it.
  const run = spawnSync(process.execPath, [tsc, '--strict', '--noEmit', '--pretty', 'false',
    '-p', project], {encoding: 'utf8'});
  const errorsIn = (file) => run.stdout.split('\n').filter((line) =>
    new RegExp(`(^|[\\\\/])${file.replace(/\./g, '\\.')}\\(\\d+,\\d+\\): error TS\\d+`).test(line));
  return {...run, errorsIn};
}

const source = (file) => fs.readFileSync(path.join(__dirname, 'types', file), 'utf8');

test('a consumer with Node\'s types compiles under --strict; without its markers, each misuse fails', () => {
  const consumer = source('consumer.ts');
  const misuses = consumer.split('\n').filter((line) => /^\/\/ @ts-expect-error/.test(line)).length;
  assert.ok(misuses >= 5);
  // Node's own declarations are not ours to check (and take most of the time).
  const run = check({
    'consumer.ts': consumer,
    'unchecked-consumer.ts': consumer.replace(/^\/\/ @ts-expect-error.*\n/gm, ''),
  }, {types: ['node'], lib: ['es2022'], skipLibCheck: true});
  assert.deepEqual(run.errorsIn('consumer.ts'), [], run.stdout + run.stderr);
  assert.equal(run.errorsIn('unchecked-consumer.ts').length, misuses, run.stdout + run.stderr);
  assert.equal(run.errorsIn('unchecked-consumer.ts').length + run.errorsIn('consumer.ts').length,
      run.stdout.split('\n').filter((line) => /error TS\d+/.test(line)).length, run.stdout);
});

test('the types stand alone, without Node\'s or the DOM\'s', () => {
  // Every declaration file checked: the package's own are the only ones.
  const run = check({'bare-consumer.ts': source('bare-consumer.ts')},
      {types: [], lib: ['es2022'], skipLibCheck: false});
  assert.equal(run.status, 0, run.stdout + run.stderr);
});
