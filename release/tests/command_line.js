'use strict';
// tools/release refuses what it cannot do well, before the long build: bad options, a PKCS#12 file
// that the password does not open, a missing signing tool, a work tree with uncommitted changes.
// Every failure names its step and leaves dist/release alone. The runs happen in a scratch clone of
// the commit (with this tree's tools/release), so this tree's bundle and logs stay as they are.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const bundle = require('./bundle');

const signing = path.join(bundle.sourceDir, 'release', 'test-signing');
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'release-cli-'));
test.after(() => fs.rmSync(scratch, { recursive: true, force: true }));

function git(...args) {
  const result = spawnSync('git', args, { encoding: 'utf8' });
  assert.equal(result.status, 0, result.stderr);
  return result.stdout;
}
const clone = path.join(scratch, 'clone of the tree');
git('clone', '--quiet', '--shared', '--no-checkout', bundle.sourceDir, clone);
git('-C', clone, 'checkout', '--quiet', '--detach', git('-C', bundle.sourceDir, 'rev-parse', 'HEAD').trim());
const release = path.join(clone, 'tools', 'release');
// The script under test is this tree's, whatever the commit holds.
fs.copyFileSync(path.join(bundle.sourceDir, 'tools', 'release'), release);
const cloneBundle = path.join(clone, 'dist', 'release');

function run(args, options = {}) {
  return spawnSync(release, args, { encoding: 'utf8', timeout: 120000, cwd: clone, ...options });
}

// A PKCS#12 file of the test certificate, its key and the CA, with a known password.
const pkcs12 = path.join(scratch, 'signing.p12');
const rightPassword = path.join(scratch, 'right');
const wrongPassword = path.join(scratch, 'wrong');
fs.writeFileSync(rightPassword, 'correct horse\n');
fs.writeFileSync(wrongPassword, 'battery staple\n');
{
  const made = spawnSync('openssl', ['pkcs12', '-export', '-in', path.join(signing, 'signing-cert.pem'),
    '-inkey', path.join(signing, 'signing-key.pem'), '-certfile', path.join(signing, 'ca.pem'),
    '-passout', `file:${rightPassword}`, '-out', pkcs12], { encoding: 'utf8' });
  assert.equal(made.status, 0, made.stderr);
}
// The same in the format older Windows exports (RC2 and 3DES), which OpenSSL 3 reads only with its
// legacy provider.
const legacyPkcs12 = path.join(scratch, 'legacy.p12');
{
  const made = spawnSync('openssl', ['pkcs12', '-export', '-legacy', '-in', path.join(signing, 'signing-cert.pem'),
    '-inkey', path.join(signing, 'signing-key.pem'), '-passout', `file:${rightPassword}`, '-out', legacyPkcs12],
  { encoding: 'utf8' });
  assert.equal(made.status, 0, made.stderr);
}

const usageCases = [
  { args: ['--bogus'], error: /tools\/release: unknown argument: --bogus/ },
  { args: ['--pkcs12'], error: /--pkcs12 needs a value/ },
  { args: ['--pkcs12', pkcs12], error: /--pkcs12 needs --password-file/ },
  { args: ['--password-file', rightPassword], error: /--password-file belongs to --pkcs12/ },
  { args: ['--timestamp-url', 'http://127.0.0.1:1/'], error: /--timestamp-url needs --pkcs12/ },
  { args: ['--jobs', '0'], error: /--jobs needs a positive number, not '0'/ },
  { args: ['--jobs', 'two'], error: /--jobs needs a positive number, not 'two'/ },
];
for (const c of usageCases) {
  test(`usage error: ${c.args.join(' ')}`, () => {
    const result = run(c.args);
    assert.equal(result.status, 2, result.stderr);
    assert.match(result.stderr, c.error);
    assert.match(result.stderr, /Run tools\/release --help for the options\./);
  });
}

test('--help prints the usage and exits 0', () => {
  const result = run(['--help']);
  assert.equal(result.status, 0);
  assert.match(result.stdout, /^usage: tools\/release \[--pkcs12 FILE --password-file FILE \[--timestamp-url URL\]\]/);
  assert.match(result.stdout, /test certificate in release\/test-signing\//);
});

const signingCases = [
  { name: 'a wrong password', args: ['--pkcs12', pkcs12, '--password-file', wrongPassword],
    error: /step 'signing key' failed: cannot open .*signing\.p12 with the password in .*wrong/ },
  { name: 'a missing PKCS#12 file', args: ['--pkcs12', path.join(scratch, 'none.p12'), '--password-file', rightPassword],
    error: /step 'signing key' failed: --pkcs12 .*none\.p12: no such file/ },
  { name: 'a missing password file', args: ['--pkcs12', pkcs12, '--password-file', path.join(scratch, 'none')],
    error: /step 'signing key' failed: --password-file .*none: no such file/ },
];
for (const c of signingCases) {
  test(`fails before building: ${c.name}`, () => {
    const result = run(['--no-bootstrap', '--allow-dirty', ...c.args]);
    assert.equal(result.status, 1, result.stdout + result.stderr);
    assert.match(result.stderr, c.error);
    assert.doesNotMatch(result.stdout, /== release: build/);
    assert.ok(!fs.existsSync(cloneBundle));
  });
}

for (const [what, file] of [['a current', pkcs12], ['a legacy (RC2, 3DES)', legacyPkcs12]]) {
  test(`--check: the right password opens ${what} PKCS#12 file, and nothing is built`, () => {
    const result = run(['--no-bootstrap', '--allow-dirty', '--check', '--pkcs12', file, '--password-file', rightPassword]);
    assert.equal(result.status, 0, result.stdout + result.stderr);
    assert.match(result.stdout, /signing with .*CN = Fennor Works Test Code Signing - DO NOT TRUST/);
    assert.match(result.stdout, /ready to build/);
    assert.doesNotMatch(result.stdout, /== release: build/);
  });
}

test('a missing osslsigncode fails the tools step, naming the package', () => {
  // A PATH with every program of the machine except osslsigncode.
  const bin = path.join(scratch, 'bin');
  fs.mkdirSync(bin);
  for (const dir of ['/usr/local/bin', '/usr/bin', '/bin']) {
    if (!fs.existsSync(dir)) continue;
    for (const name of fs.readdirSync(dir)) {
      if (name === 'osslsigncode' || fs.existsSync(path.join(bin, name))) continue;
      fs.symlinkSync(path.join(dir, name), path.join(bin, name));
    }
  }
  const result = run(['--no-bootstrap', '--allow-dirty'], { env: { ...process.env, PATH: bin } });
  assert.equal(result.status, 1, result.stdout + result.stderr);
  assert.match(result.stderr,
    /step 'tools' failed: osslsigncode is missing \(Debian package osslsigncode; tools\/bootstrap installs it\)/);
});

test('a clean work tree passes the source step without --allow-dirty', (t) => {
  if (git('-C', clone, 'status', '--porcelain') !== '') {
    t.skip('this tree\'s tools/release differs from the commit\'s, so no clone of the commit is clean');
    return;
  }
  const result = run(['--no-bootstrap', '--check']);
  assert.equal(result.status, 0, result.stdout + result.stderr);
  assert.match(result.stdout, /work tree clean/);
  assert.match(result.stdout, /signing with the TEST certificate/);
});

test('a work tree with uncommitted changes is refused without --allow-dirty', () => {
  fs.writeFileSync(path.join(clone, 'stray.txt'), 'not committed\n');
  const result = run(['--no-bootstrap']);
  assert.equal(result.status, 1, result.stdout + result.stderr);
  assert.match(result.stderr, /\?\? stray\.txt/);
  assert.match(result.stderr, /step 'source' failed: the work tree has uncommitted changes; commit them, or pass --allow-dirty/);
  assert.ok(!fs.existsSync(path.join(clone, 'dist')));
});
