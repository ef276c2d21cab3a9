'use strict';
// Where the release tests find the bundle, the source tree and the ordinary windows build.
const fs = require('node:fs');
const path = require('node:path');

const sourceDir = process.env.FENNOR_SOURCE_DIR || path.resolve(__dirname, '..', '..');
const bundleDir = process.env.FENNOR_RELEASE_BUNDLE || path.join(sourceDir, 'dist', 'release');

function file(relative) {
  const full = path.join(bundleDir, relative);
  if (!fs.existsSync(full)) {
    throw new Error(`${full} is missing: run tools/release first (or point FENNOR_RELEASE_BUNDLE at a bundle)`);
  }
  return full;
}

// The commit time the bundle was built with, from its BUILDINFO.
function sourceDateEpoch() {
  const info = fs.readFileSync(file('BUILDINFO'), 'utf8');
  const match = info.match(/SOURCE_DATE_EPOCH=(\d+)/);
  if (!match) throw new Error('BUILDINFO names no SOURCE_DATE_EPOCH');
  return Number(match[1]);
}

module.exports = { sourceDir, bundleDir, file, sourceDateEpoch };
