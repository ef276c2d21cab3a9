'use strict';
// The module's export table and the shape of the OrloApi class, as script code sees them.
const test = require('node:test');
const assert = require('node:assert/strict');
const sim = require('./simulator');

const native = sim.load();

const METHODS = ['initialize', 'isInstalled', 'isRunning', 'isUserSessionActive',
  'initiateTokenRequest', 'getAuthUrl', 'showSignInDialog'];

test('exports: enumerable keys in definition order, logger own but hidden', () => {
  assert.deepEqual(Object.keys(native),
      ['OrloApi', 'registerProtocolHandler', 'isProtocolHandlerRegistered',
        'getWendraRegionCode', 'version']);
  assert.deepEqual(Reflect.ownKeys(native),
      ['OrloApi', 'registerProtocolHandler', 'isProtocolHandlerRegistered',
        'getWendraRegionCode', 'version', 'logger']);
});

test('exports: property attributes', () => {
  const data = {writable: true, enumerable: true, configurable: true};
  for (const name of ['OrloApi', 'registerProtocolHandler', 'isProtocolHandlerRegistered',
    'getWendraRegionCode']) {
    const {value, ...attributes} = Object.getOwnPropertyDescriptor(native, name);
    assert.equal(typeof value, 'function', name);
    assert.deepEqual(attributes, data, name);
  }
  assert.deepEqual(Object.getOwnPropertyDescriptor(native, 'version'),
      {value: '0.0.1', writable: false, enumerable: true, configurable: true});
  const logger = Object.getOwnPropertyDescriptor(native, 'logger');
  assert.equal(typeof logger.get, 'function');
  assert.equal(typeof logger.set, 'function');
  assert.equal(logger.enumerable, false);
  assert.equal(logger.configurable, false);
});

test('exports: version cannot be assigned', () => {
  assert.throws(() => {
    native.version = '9.9.9';
  }, TypeError);
  assert.equal(native.version, '0.0.1');
});

test('exports: the three module functions are unnamed', () => {
  for (const name of ['registerProtocolHandler', 'isProtocolHandlerRegistered',
    'getWendraRegionCode']) {
    assert.equal(native[name].name, '', name);
  }
});

test('OrloApi: a class named OrloApi with exactly seven fixed prototype methods', () => {
  const {OrloApi} = native;
  assert.equal(OrloApi.name, 'OrloApi');
  // No static members: only what every native function carries.
  const standard = new Set(['length', 'name', 'prototype', 'arguments', 'caller']);
  assert.deepEqual(Object.getOwnPropertyNames(OrloApi).filter((k) => !standard.has(k)), []);
  assert.deepEqual(
      Object.getOwnPropertyNames(OrloApi.prototype).filter((k) => k !== 'constructor'), METHODS);
  assert.equal(OrloApi.prototype.constructor, OrloApi);
  for (const name of METHODS) {
    const {value, ...attributes} = Object.getOwnPropertyDescriptor(OrloApi.prototype, name);
    assert.equal(typeof value, 'function', name);
    assert.deepEqual(attributes, {writable: false, enumerable: false, configurable: false}, name);
    assert.equal(Reflect.deleteProperty(OrloApi.prototype, name), false, name);
    assert.equal(OrloApi.prototype[name], value, name);
  }
  assert.deepEqual(Object.keys(new OrloApi()), []);
});

test('OrloApi: calling the class without new throws and creates nothing', () => {
  sim.clearCalls();
  assert.throws(() => native.OrloApi(), {
    name: 'TypeError',
    message: "Class constructors cannot be invoked without 'new'",
  });
  assert.deepEqual(sim.calls(), []);
});

test('OrloApi: objects are instances, subclasses work', () => {
  class Derived extends native.OrloApi {
    extra() {
      return this.isRunning();
    }
  }
  const api = new Derived();
  assert.ok(api instanceof native.OrloApi);
  api.initialize();
  assert.equal(api.extra(), true);
});

test('the TypeScript declarations describe the same module', () => {
  const fs = require('node:fs');
  const path = require('node:path');
  const dts = fs.readFileSync(path.resolve(__dirname, '../orloclient-addon.d.ts'), 'utf8');
  const declared = [...dts.matchAll(/^export (?:function|const|let|class) (\w+)/gm)]
      .map((m) => m[1]);
  assert.deepEqual(declared.sort(), Reflect.ownKeys(native).sort());
  const classBody = dts.match(/^export class OrloApi \{([\s\S]*?)^\}/m)[1];
  const methods = [...classBody.matchAll(/^ {2}(\w+)\(/gm)].map((m) => m[1])
      .filter((name) => name !== 'constructor');
  assert.deepEqual(methods, METHODS);
});
