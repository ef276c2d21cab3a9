'use strict';
// Checks the built HostShim.dll from the outside, with the cross toolchain's objdump: its export
// table, its imports, and that a module linked against hostshim_imports takes Node-API from it.
// Runs in the build machine's node, not under Wine.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');
const { readPeTables, isSystemDll, systemDlls: systemDllList } = require('../../cmake/pe-tables.js');

const env = (name) => {
  assert.ok(process.env[name], `${name} is not set`);
  return process.env[name];
};
const tables = (file) => readPeTables(env('HOSTSHIM_OBJDUMP'), file);
// Windows' own DLLs (cmake/system-dlls.txt); the mingw runtime is linked statically.
const systemDlls = systemDllList();

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

const def = parseDef(fs.readFileSync(env('HOSTSHIM_DEF'), 'utf8'));
const dll = tables(env('HOSTSHIM_DLL'));

test('HostShim.def: Node-API versions 1 to 6, alphabetical, ordinals from 1', () => {
  const { v6 } = require(path.join(env('HOSTSHIM_NODE_API_HEADERS'), 'symbols.js'));
  const upToV6 = [...v6.js_native_api_symbols, ...v6.node_api_symbols].sort();
  assert.deepStrictEqual(def.map((e) => e.name), upToV6);
  assert.deepStrictEqual(def.map((e) => e.ordinal), def.map((_, i) => i + 1));
  assert.strictEqual(def.length, 137);
});

test('export table of HostShim.dll: the .def names and ordinals, code only, no forwarders', () => {
  const table = dll.exports;
  assert.ok(table, 'HostShim.dll has no export table');
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
  const code = dll.codeRange();
  for (const entry of table.addresses) {
    assert.strictEqual(entry.kind, 'Export', `ordinal ${entry.ordinal} is a ${entry.kind}`);
    assert.ok(entry.rva >= code.start && entry.rva < code.end,
      `ordinal ${entry.ordinal} is not code`);
  }
});

test('HostShim.dll imports only system DLLs', () => {
  const { imports } = dll;
  assert.ok(Object.keys(imports).length > 0, 'no imports parsed');
  for (const name of Object.keys(imports)) {
    assert.ok(isSystemDll(name, systemDlls), `imports ${name}`);
  }
});

test('a module linked against hostshim_imports takes Node-API from HostShim.dll only', () => {
  const { imports } = tables(env('HOSTSHIM_TEST_ADDON'));
  const fromShim = imports['hostshim.dll'] || [];
  for (const name of ['napi_module_register', 'napi_create_double']) {
    assert.ok(fromShim.includes(name), `${name} not from HostShim.dll`);
  }
  for (const [dll, functions] of Object.entries(imports)) {
    if (dll === 'hostshim.dll') continue;
    assert.ok(isSystemDll(dll, systemDlls), `imports ${dll}`);
    const nodeApi = functions.filter((f) => f.startsWith('napi_'));
    assert.deepStrictEqual(nodeApi, [], `Node-API from ${dll}`);
  }
});
