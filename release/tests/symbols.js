'use strict';
// Symbols kept apart from the shipped files: an address of a known function in a shipped file
// resolves, through the symbols in the bundle, to the function's source file and line. The symbol
// tools are used the way README.md tells a release engineer to use them.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const bundle = require('./bundle');

function run(command, args, options = {}) {
  const result = spawnSync(command, args, { encoding: 'utf8', maxBuffer: 256 << 20, ...options });
  assert.equal(result.status, 0, `${command} ${args.join(' ')}: ${result.stderr}`);
  return result.stdout;
}

// The line on which a function's definition begins in our sources.
function definitionLine(source, pattern) {
  const lines = fs.readFileSync(path.join(bundle.sourceDir, source), 'utf8').split('\n');
  const index = lines.findIndex((line) => pattern.test(line));
  assert.ok(index >= 0, `${pattern} not found in ${source}`);
  return index + 1;
}

// "file:line" of a function's entry: its definition's line, or (optimized code often starts at the
// first statement) one of the next few.
function assertFunctionStart(where, source, definition) {
  const match = where.match(/^(.*?):(\d+)(?::\d+)?(?: \(discriminator \d+\))?$/);
  assert.ok(match, where);
  assert.equal(match[1], `/fennorworks/src/${source}`);
  const first = definitionLine(source, definition);
  const line = Number(match[2]);
  assert.ok(line >= first && line <= first + 3, `${where}: line ${line} is not at the start of the function (line ${first})`);
}

// The address of a function, from the symbol table of the symbols file.
function addressOf(nm, symbols, name) {
  const listing = run(nm, ['-C', symbols]);
  const pattern = new RegExp(`^([0-9a-f]+) [Tt] (?:.*::)?${name}(?:\\[[^\\]]*\\])?\\(`);
  const line = listing.split("\n").find((l) => pattern.test(l));
  assert.ok(line, `${name} is not in the symbol table of ${symbols}`);
  return `0x${line.match(pattern)[1]}`;
}

// A shipped file and its symbols in one folder, as a debugger finds them through the debug link.
function besideEachOther(shipped, symbols) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'symbols-'));
  fs.copyFileSync(shipped, path.join(dir, path.basename(shipped)));
  fs.copyFileSync(symbols, path.join(dir, path.basename(symbols)));
  return { dir, file: path.join(dir, path.basename(shipped)) };
}

const mingw = 'x86_64-w64-mingw32';
const cases = [
  { format: 'PE', shipped: 'windows-x64/orlo-protocolhandler.exe', symbols: 'symbols/windows-x64/orlo-protocolhandler.exe.debug',
    tools: [`${mingw}-nm`, `${mingw}-addr2line`], fn: 'RunProtocolHandler',
    source: 'protocolhandler/src/ProtocolHandler.cpp', definition: /^int RunProtocolHandler\(/ },
  { format: 'PE', shipped: 'windows-x64/HostShim.dll', symbols: 'symbols/windows-x64/HostShim.dll.debug',
    tools: [`${mingw}-nm`, `${mingw}-addr2line`], fn: 'ResolveAgainstHost',
    source: 'hostshim/HostShim.cc', definition: /^FARPROC WINAPI ResolveAgainstHost\(/ },
  { format: 'PE', shipped: 'windows-x64/orloclient-addon.node', symbols: 'symbols/windows-x64/orloclient-addon.node.debug',
    tools: [`${mingw}-nm`, `${mingw}-addr2line`], fn: 'ClientErrorMessage',
    source: 'addon/ErrorCodes.cpp', definition: /^std::string ClientErrorMessage\(/ },
  { format: 'ELF', shipped: 'linux-x64/FennorWorks', symbols: 'symbols/linux-x64/FennorWorks.debug',
    tools: ['nm', 'addr2line'], fn: 'parseArguments',
    source: 'launcher/cli/ParseArguments.cpp', definition: /^CliOptions parseArguments\(/ },
];

for (const c of cases) {
  test(`${c.format} ${c.shipped}: ${c.fn} resolves to ${c.source} through the debug link`, () => {
    const [nm, addr2line] = c.tools;
    const symbols = bundle.file(c.symbols);
    const address = addressOf(nm, symbols, c.fn);
    const { dir, file } = besideEachOther(bundle.file(c.shipped), symbols);
    try {
      const [fn, where] = run(addr2line, ['-f', '-C', '-e', file, address]).trim().split('\n');
      assert.match(fn, new RegExp(`\\b${c.fn}\\b`));
      assertFunctionStart(where, c.source, c.definition);

      // Without its symbols the shipped file knows nothing about the address.
      fs.rmSync(path.join(dir, path.basename(symbols)));
      const bare = run(addr2line, ['-f', '-e', file, address]).trim().split('\n');
      assert.deepEqual(bare, ['??', '??:0']);
    } finally {
      fs.rmSync(dir, { recursive: true, force: true });
    }
  });
}

test('Mach-O macos-arm64/FennorWorks: parseArguments resolves to its source through the dSYM', () => {
  const dsym = bundle.file('symbols/macos-arm64/FennorWorks.dSYM');
  const dwarf = path.join(dsym, 'Contents', 'Resources', 'DWARF', 'FennorWorks');
  const address = addressOf('llvm-nm-14', dwarf, 'parseArguments');
  const source = 'launcher/cli/ParseArguments.cpp';
  const definition = /^CliOptions parseArguments\(/;

  // Given the shipped file, llvm-symbolizer takes the dSYM only if its UUID is the file's; the
  // function name then comes from the shipped file's (stripped) symbol table, the line from the dSYM.
  const hinted = run('llvm-symbolizer-14', ['--obj', bundle.file('macos-arm64/FennorWorks'),
    `--dsym-hint=${dsym}`, address]).trim().split('\n');
  assertFunctionStart(hinted[1], source, definition);

  // The dSYM alone gives both.
  const [fn, where] = run('llvm-symbolizer-14', ['--obj', dwarf, '--demangle', address]).trim().split('\n');
  assert.match(fn, /\bworks::cli::parseArguments\(/);
  assertFunctionStart(where, source, definition);

  // A dSYM of another build (another UUID) is not taken.
  const other = fs.mkdtempSync(path.join(os.tmpdir(), 'dsym-'));
  try {
    const copy = path.join(other, 'FennorWorks.dSYM');
    fs.cpSync(dsym, copy, { recursive: true });
    const copied = path.join(copy, 'Contents', 'Resources', 'DWARF', 'FennorWorks');
    const bytes = fs.readFileSync(copied);
    const uuid = Buffer.from(run('llvm-dwarfdump-14', ['--uuid', dwarf]).match(/UUID: ([0-9A-F-]+)/)[1].replace(/-/g, ''), 'hex');
    const at = bytes.indexOf(uuid);
    assert.ok(at > 0);
    bytes[at] ^= 0xff;
    fs.writeFileSync(copied, bytes);
    const unmatched = run('llvm-symbolizer-14', ['--obj', bundle.file('macos-arm64/FennorWorks'),
      `--dsym-hint=${copy}`, address]).trim().split('\n');
    assert.doesNotMatch(unmatched[1], /ParseArguments\.cpp/);
  } finally {
    fs.rmSync(other, { recursive: true, force: true });
  }
});
