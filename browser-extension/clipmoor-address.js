// Which pages Clipmoor can take, and the address that hands a page to it. Loaded by the
// extension's background script and by node's test runner.
'use strict';

(function (root) {
  // The hosts whose pages Clipmoor recognises: the video site's main host and its short links.
  const SITE_HOSTS = Object.freeze(['www.youtube.com', 'youtu.be']);
  const SCHEME_PREFIX = 'clipmoor://url?';
  // The same hosts as match patterns for the browser's menus.
  const SITE_URL_PATTERNS = Object.freeze(SITE_HOSTS.map((host) => `*://${host}/*`));

  // True for an http or https address on one of the site's hosts. Anything that is not an
  // address, other schemes and look-alike hosts ("www.youtube.com.example", user names
  // such as "www.youtube.com@example.org") are refused.
  function isSiteAddress(address) {
    if (typeof address !== 'string') return false;
    let url;
    try {
      url = new URL(address);
    } catch {
      return false;
    }
    return (url.protocol === 'https:' || url.protocol === 'http:') &&
        SITE_HOSTS.includes(url.hostname);
  }

  // The address that opens Clipmoor with the page, or null for a page Clipmoor cannot take.
  // The page address follows the prefix exactly as the browser gave it.
  function clipmoorURLFor(address) {
    return isSiteAddress(address) ? SCHEME_PREFIX + address : null;
  }

  const api = { SITE_HOSTS, SITE_URL_PATTERNS, SCHEME_PREFIX, isSiteAddress, clipmoorURLFor };
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.ClipmoorAddress = api;
})(typeof globalThis !== 'undefined' ? globalThis : this);
