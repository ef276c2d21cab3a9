'use strict';
// Runs in node.exe and in a copy of it with another name (HOSTSHIM_EXPECTED_HOST names the
// executable the run is meant for). The addon imports every Node-API function from HostShim.dll.
const test = require('node:test');
const assert = require('node:assert');
const path = require('node:path');

const addonPath = process.env.HOSTSHIM_TEST_ADDON;
const expectedHost = process.env.HOSTSHIM_EXPECTED_HOST;

test('the host is the executable this run is meant for', () => {
  assert.ok(expectedHost, 'HOSTSHIM_EXPECTED_HOST is not set');
  const host = path.win32.basename(process.execPath);
  assert.strictEqual(host.toLowerCase(), expectedHost.toLowerCase());
});

// Loading makes the addon's first Node-API call, napi_module_register, from its static
// initialisers; node reports "Module did not self-register" if that call did not reach it.
const addon = require(addonPath);

test('registration reached the host from under the loader lock', () => {
  assert.strictEqual(addon.registeredUnderLoaderLock, true);
});

// These two must stay the first calls of createDouble and createDate in this file: the first call
// of an export is the one that binds it, and a floating-point argument has to come through it.
test('a double on the first call of napi_create_double arrives exact', () => {
  assert.strictEqual(addon.createDouble(0.1), 0.1);
});

test('a time on the first call of napi_create_date arrives exact', () => {
  const time = 1766448000123; // needs more than 32 bits
  assert.strictEqual(addon.createDate(time).getTime(), time);
});

test('later calls pass every kind of double unchanged', () => {
  const values = [
    -0, 5e-324, -1.7976931348623157e308, Infinity, -Infinity, NaN, 2 ** 53 + 2, Math.PI,
  ];
  for (const value of values) {
    assert.ok(Object.is(addon.createDouble(value), value), `createDouble(${value})`);
  }
  assert.ok(Number.isNaN(addon.createDate(NaN).getTime()));
});

test('a Node-API failure still reaches script as an exception', () => {
  assert.throws(() => addon.createDouble(), { name: 'TypeError', message: 'a number is required' });
  assert.throws(() => addon.createDouble('1'), { message: 'napi_get_value_double' });
});
