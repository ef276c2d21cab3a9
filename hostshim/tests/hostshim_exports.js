'use strict';
// Checks the built HostShim.dll from the outside, with the cross toolchain's objdump: its export
// table, its imports, and that a module linked against hostshim_imports takes Node-API from it.
// Runs in the build machine's node, not under Wine.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');
const { execFileSync } = require('node:child_process');

const env = (name) => {
  assert.ok(process.env[name], `${name} is not set`);
  return process.env[name];
};
const objdump = (file) =>
  execFileSync(env('HOSTSHIM_OBJDUMP'), ['-p', file], { encoding: 'utf8', maxBuffer: 64 << 20 });

// Runtime DLLs of Windows itself; the mingw runtime is linked statically.
const systemDlls = new Set([
  'kernel32.dll', 'msvcrt.dll', 'ntdll.dll', 'user32.dll', 'advapi32.dll',
]);

function parseDef(text) {
  const lines = text.split(/\r?\n/).map((line) => line.trim()).filter(Boolean);
  assert.strictEqual(lines[0], 'LIBRARY HostShim.dll');
  assert.strictEqual(lines[1], 'EXPORTS');
  return lines.slice(2).map((line) => {
    const match = /^(\w+) @(\d+)$/.exec(line);
    assert.ok(match, `unexpected .def line: ${line}`);
    return { name: match[1], ordinal: Number(match[2]) };
  });
}

function parseExports(text) {
  const section = text.slice(text.indexOf('The Export Tables'));
  const field = (label) => {
    const match = new RegExp(`^${label}\\s+(.*)$`, 'm').exec(section);
    assert.ok(match, `no "${label}" in objdump's export table`);
    return match[1].trim();
  };
  const addressLine = /^\s*\[\s*(\d+)\] \+base\[\s*(\d+)\] ([0-9a-f]+) (\w+) RVA/gm;
  const addresses = [...section.matchAll(addressLine)]
    .map((m) => ({ ordinal: Number(m[2]), rva: parseInt(m[3], 16), kind: m[4] }));
  const namesPart = section.slice(section.indexOf('[Ordinal/Name Pointer] Table'));
  const names = [...namesPart.matchAll(/^\s*\[\s*(\d+)\] (\S+)$/gm)]
    .map((m) => ({ index: Number(m[1]), name: m[2] }));
  return {
    name: field('Name').split(/\s+/).pop(),
    base: Number(field('Ordinal Base')),
    addresses,
    names,
  };
}

// { dll (lower case) -> [function names] }
function parseImports(text) {
  const imports = {};
  let current = null;
  for (const line of text.split('\n')) {
    const dll = /^\s*DLL Name: (\S+)/.exec(line);
    if (dll) {
      current = dll[1].toLowerCase();
      imports[current] = imports[current] || [];
      continue;
    }
    if (line.startsWith('There is an export table') || /^\S/.test(line)) current = null;
    const entry = current && /^\s+[0-9a-f]+\s+\d+\s+(\S+)/.exec(line);
    if (entry) imports[current].push(entry[1]);
  }
  return imports;
}

function codeRange(text) {
  const imageBase = parseInt(/^ImageBase\s+([0-9a-f]+)/m.exec(text)[1], 16);
  const headers = execFileSync(env('HOSTSHIM_OBJDUMP'), ['-h', env('HOSTSHIM_DLL')],
    { encoding: 'utf8' });
  const text_ = /^\s*\d+ \.text\s+([0-9a-f]+)\s+([0-9a-f]+)/m.exec(headers);
  const start = parseInt(text_[2], 16) - imageBase;
  return { start, end: start + parseInt(text_[1], 16) };
}

const def = parseDef(fs.readFileSync(env('HOSTSHIM_DEF'), 'utf8'));
const dllDump = objdump(env('HOSTSHIM_DLL'));

test('HostShim.def: Node-API versions 1 to 6, alphabetical, ordinals from 1', () => {
  const { v6 } = require(path.join(env('HOSTSHIM_NODE_API_HEADERS'), 'symbols.js'));
  const upToV6 = [...v6.js_native_api_symbols, ...v6.node_api_symbols].sort();
  assert.deepStrictEqual(def.map((e) => e.name), upToV6);
  assert.deepStrictEqual(def.map((e) => e.ordinal), def.map((_, i) => i + 1));
  assert.strictEqual(def.length, 137);
});

test('export table of HostShim.dll: the .def names and ordinals, code only, no forwarders', () => {
  const table = parseExports(dllDump);
  assert.strictEqual(table.name, 'HostShim.dll');
  assert.strictEqual(table.base, 1);
  assert.strictEqual(table.addresses.length, def.length);
  assert.strictEqual(table.names.length, def.length);
  // objdump lists names in name-table order, each with its unbiased ordinal.
  assert.deepStrictEqual(
    table.names.map((n) => ({ name: n.name, ordinal: n.index + table.base })),
    def.map((e) => ({ name: e.name, ordinal: e.ordinal })));
  assert.strictEqual(table.names[0].name, 'napi_acquire_threadsafe_function');
  assert.strictEqual(table.names[0].index + table.base, 1);
  assert.strictEqual(table.names[136].name, 'napi_wrap');
  assert.strictEqual(table.names[136].index + table.base, 137);
  const code = codeRange(dllDump);
  for (const entry of table.addresses) {
    assert.strictEqual(entry.kind, 'Export', `ordinal ${entry.ordinal} is a ${entry.kind}`);
    assert.ok(entry.rva >= code.start && entry.rva < code.end,
      `ordinal ${entry.ordinal} is not code`);
  }
});

test('HostShim.dll imports only system DLLs', () => {
  const imports = parseImports(dllDump);
  assert.ok(Object.keys(imports).length > 0, 'no imports parsed');
  for (const dll of Object.keys(imports)) assert.ok(systemDlls.has(dll), `imports ${dll}`);
});

test('a module linked against hostshim_imports takes Node-API from HostShim.dll only', () => {
  const imports = parseImports(objdump(env('HOSTSHIM_TEST_ADDON')));
  const fromShim = imports['hostshim.dll'] || [];
  for (const name of ['napi_module_register', 'napi_create_double']) {
    assert.ok(fromShim.includes(name), `${name} not from HostShim.dll`);
  }
  for (const [dll, functions] of Object.entries(imports)) {
    if (dll === 'hostshim.dll') continue;
    assert.ok(systemDlls.has(dll), `imports ${dll}`);
    const nodeApi = functions.filter((f) => f.startsWith('napi_'));
    assert.deepStrictEqual(nodeApi, [], `Node-API from ${dll}`);
  }
});
