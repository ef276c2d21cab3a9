'use strict';
// Checks the built addon file, in the build machine's node:
//  - it exports exactly one symbol, the host's registration pointer _register_PlenxConnectorNative_;
//  - the logger bridge's initializer and that pointer both sit in the C runtime's initializer table,
//    the bridge's first, so the bridge exists before the module registers.
//   node addon/tests/addon_binary.js ADDON OBJDUMP NM
const { execFileSync } = require('node:child_process');
const { readPeTables } = require('../../cmake/pe-tables.js');

function fail(message) {
  console.error(message);
  process.exit(1);
}

const [addon, objdump, nm] = process.argv.slice(2);
if (!addon || !objdump || !nm) fail('usage: node addon_binary.js ADDON OBJDUMP NM');

let tables;
try {
  tables = readPeTables(objdump, addon);
} catch (error) {
  fail(`${objdump} -p failed on ${addon}: ${error.message}`);
}
const exported = tables.exports ? tables.exports.names.map((n) => n.name) : [];
if (exported.join(';') !== '_register_PlenxConnectorNative_') {
  fail(`exports are [${exported.join(';')}], expected only _register_PlenxConnectorNative_`);
}

let symbols;
try {
  symbols = execFileSync(nm, [addon], { encoding: 'utf8', maxBuffer: 64 << 20 });
} catch (error) {
  fail(`${nm} failed on ${addon}: ${error.message}`);
}
// Addresses are fixed-width hexadecimal, so comparing them as text orders them.
const expectedOrder = ['__xc_a', 'orloclientConstructLoggerBridge',
                       '_register_PlenxConnectorNative_', '__xc_z'];
const addresses = expectedOrder.map((symbol) => {
  const match = new RegExp(`^([0-9a-f]+) [A-Za-z] ${symbol}$`, 'm').exec(symbols);
  if (!match) fail(`symbol ${symbol} not found in ${addon}`);
  return match[1];
});
const order = expectedOrder.map((symbol, i) => `${symbol}=${addresses[i]}`).join(';');
for (let i = 1; i < addresses.length; i++) {
  if (!(addresses[i - 1] < addresses[i])) fail(`initializer table out of order: ${order}`);
}
console.log(`exports: ${exported.join(';')}; initializers: ${order}`);
