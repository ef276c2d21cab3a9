'use strict';
// The import and export tables of a Windows binary, as the cross toolchain's objdump prints them,
// for every check of a built file. A module for test scripts and a command for ctest and
// release/verify-bundle:
//
//   node cmake/pe-tables.js --objdump OBJDUMP [--allow A.dll,B.dll] [--exports NAME,...] FILE
//
// --allow: FILE may import system DLLs (cmake/system-dlls.txt) and these, nothing else.
// --exports: FILE exports exactly these names (in any order), nothing else.
// Without --exports the imports are checked; with it, only the exports unless --allow is given too.
// Exits 1 naming what is wrong, 2 on a usage error.
const fs = require('node:fs');
const path = require('node:path');
const { execFileSync } = require('node:child_process');

const SYSTEM_DLLS_FILE = path.join(__dirname, 'system-dlls.txt');

// Windows' own DLLs, lower case. API sets (api-ms-win-*) count as system DLLs too.
function systemDlls() {
  return new Set(fs.readFileSync(SYSTEM_DLLS_FILE, 'utf8').split(/\r?\n/)
    .map((line) => line.replace(/#.*/, '').trim().toLowerCase())
    .filter(Boolean));
}

function isSystemDll(dll, list = systemDlls()) {
  const name = dll.toLowerCase();
  return list.has(name) || name.startsWith('api-ms-win-');
}

function objdump(tool, file, flag = '-p') {
  return execFileSync(tool, [flag, file], { encoding: 'utf8', maxBuffer: 64 << 20 });
}

// { name, base, addresses: [{ ordinal, rva, kind }], names: [{ index, name }] }, or null when the
// file has no export table.
function parseExports(text) {
  const start = text.indexOf('The Export Tables');
  if (start < 0) return null;
  const section = text.slice(start);
  const field = (label) => {
    const match = new RegExp(`^${label}\\s+(.*)$`, 'm').exec(section);
    if (!match) throw new Error(`no "${label}" in objdump's export table`);
    return match[1].trim();
  };
  const addressLine = /^\s*\[\s*(\d+)\] \+base\[\s*(\d+)\] ([0-9a-f]+) (\w+) RVA/gm;
  const addresses = [...section.matchAll(addressLine)]
    .map((m) => ({ ordinal: Number(m[2]), rva: parseInt(m[3], 16), kind: m[4] }));
  // The name table runs from its heading to the first line that is not one of its rows.
  const names = [];
  const tableStart = section.indexOf('[Ordinal/Name Pointer] Table');
  if (tableStart >= 0) {
    for (const line of section.slice(tableStart).split('\n').slice(1)) {
      const row = /^\s*\[\s*(\d+)\] (\S+)\s*$/.exec(line);
      if (!row) break;
      names.push({ index: Number(row[1]), name: row[2] });
    }
  }
  return {
    name: field('Name').split(/\s+/).pop(),
    base: Number(field('Ordinal Base')),
    addresses,
    names,
  };
}

// { dll (lower case) -> [function names] }. Ordinary and delay-loaded imports alike: either way
// the file needs that DLL at run time.
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

// The .text section's RVA range: [start, end).
function codeRange(privateHeaders, sectionHeaders) {
  const imageBase = parseInt(/^ImageBase\s+([0-9a-f]+)/m.exec(privateHeaders)[1], 16);
  const text = /^\s*\d+ \.text\s+([0-9a-f]+)\s+([0-9a-f]+)/m.exec(sectionHeaders);
  if (!text) throw new Error('no .text section');
  const start = parseInt(text[2], 16) - imageBase;
  return { start, end: start + parseInt(text[1], 16) };
}

// Everything above for one file.
function readPeTables(tool, file) {
  const dump = objdump(tool, file);
  return {
    exports: parseExports(dump),
    imports: parseImports(dump),
    codeRange: () => codeRange(dump, objdump(tool, file, '-h')),
  };
}

// Problems with FILE's imports, or [] when it imports only system DLLs and the allowed ones.
function importProblems(file, imports, allowed) {
  const allow = new Set(allowed.map((dll) => dll.toLowerCase()));
  const list = systemDlls();
  const dlls = Object.keys(imports);
  // Every Windows file built here imports at least kernel32.dll: none read means objdump's output
  // was not understood, which must not pass as "nothing to complain about".
  if (dlls.length === 0) return [`${file}: no imports found in objdump's output`];
  const offenders = dlls.filter((dll) => !isSystemDll(dll, list) && !allow.has(dll));
  if (offenders.length === 0) return [];
  return [`${file} imports DLLs that are neither system DLLs nor allowed: ${offenders.join(', ')}\n` +
          `(all imports: ${dlls.join(', ')})`];
}

function exportProblems(file, exports, expected) {
  const actual = (exports ? exports.names.map((n) => n.name) : []).sort();
  const wanted = [...expected].sort();
  if (actual.join(';') === wanted.join(';')) return [];
  return [`${path.basename(file)} exports [${actual.join(';')}], expected [${wanted.join(';')}]`];
}

function main(argv) {
  const usage = 'usage: node cmake/pe-tables.js --objdump OBJDUMP [--allow A.dll,...] ' +
                '[--exports NAME,...] FILE';
  let tool = null;
  let allowed = null;
  let expected = null;
  const files = [];
  const list = (value) => (value || '').split(',').map((s) => s.trim()).filter(Boolean);
  for (let i = 0; i < argv.length; i++) {
    const arg = argv[i];
    if (arg === '--objdump') tool = argv[++i];
    else if (arg === '--allow') allowed = list(argv[++i]);
    else if (arg === '--exports') expected = list(argv[++i]);
    else files.push(arg);
  }
  if (!tool || files.length !== 1) {
    console.error(usage);
    return 2;
  }
  const [file] = files;
  if (!fs.existsSync(file)) {
    console.error(`${file} does not exist`);
    return 1;
  }
  let tables;
  try {
    tables = readPeTables(tool, file);
  } catch (error) {
    console.error(`${tool} -p ${file} failed: ${error.message}`);
    return 1;
  }
  const checkImports = allowed !== null || expected === null;
  const problems = [
    ...(checkImports ? importProblems(file, tables.imports, allowed || []) : []),
    ...(expected !== null ? exportProblems(file, tables.exports, expected) : []),
  ];
  if (problems.length) {
    for (const problem of problems) console.error(problem);
    return 1;
  }
  if (checkImports) {
    console.log(`${file} imports only allowed DLLs: ${Object.keys(tables.imports).join(', ')}`);
  }
  if (expected !== null) console.log(`${path.basename(file)} exports [${expected.join(';')}]`);
  return 0;
}

module.exports = { systemDlls, isSystemDll, parseExports, parseImports, readPeTables, objdump };

if (require.main === module) process.exitCode = main(process.argv.slice(2));
