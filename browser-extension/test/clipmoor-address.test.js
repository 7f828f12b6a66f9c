// The extension's address rules, run with node's own test runner (node --test).
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');

const { isSiteAddress, clipmoorURLFor, SITE_URL_PATTERNS } = require('../clipmoor-address.js');

test('pages of the site are handed over exactly as the browser gives them', () => {
  const cases = [
    'https://www.youtube.com/watch?v=dQw4w9WgXcQ',
    'https://www.youtube.com/watch?v=dQw4w9WgXcQ&t=42s&list=PL%20x',
    'http://www.youtube.com/watch?v=abc',
    'https://youtu.be/dQw4w9WgXcQ?t=10',
    'https://www.youtube.com/',
  ];
  for (const address of cases) {
    assert.equal(clipmoorURLFor(address), 'clipmoor://url?' + address, address);
  }
});

test('other pages, schemes and look-alike hosts are refused', () => {
  const cases = [
    'https://vimeo.com/123',
    'https://m.youtube.com/watch?v=abc',
    'https://youtube.com/watch?v=abc',
    'https://www.youtube.com.example.org/watch?v=abc',
    'https://www.youtube.com@example.org/watch?v=abc',
    'https://example.org/?u=https://www.youtube.com/watch?v=abc',
    'ftp://www.youtube.com/watch?v=abc',
    'javascript:alert(1)',
    'about:blank',
    'chrome://extensions',
    'www.youtube.com/watch?v=abc',
    '',
    undefined,
    null,
    42,
  ];
  for (const address of cases) {
    assert.equal(isSiteAddress(address), false, String(address));
    assert.equal(clipmoorURLFor(address), null, String(address));
  }
});

test('the manifest asks for exactly the site and names files that exist', () => {
  const folder = path.join(__dirname, '..');
  const manifest = JSON.parse(fs.readFileSync(path.join(folder, 'manifest.json'), 'utf8'));
  assert.equal(manifest.manifest_version, 3);
  assert.deepEqual(manifest.host_permissions, [...SITE_URL_PATTERNS]);
  const files = [
    manifest.background.service_worker,
    ...manifest.background.scripts,
    ...Object.values(manifest.icons),
    ...Object.values(manifest.action.default_icon),
  ];
  for (const file of files) assert.ok(fs.existsSync(path.join(folder, file)), file);
});
