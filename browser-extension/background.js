// The toolbar button and the "Download with Clipmoor" menu items: each hands the page (or the
// link) to Clipmoor through its clipmoor:// address. The button is enabled only on the site's
// pages.
'use strict';

if (typeof importScripts === 'function') importScripts('clipmoor-address.js');

const browserApi = globalThis.browser ?? globalThis.chrome;
const { SITE_URL_PATTERNS, isSiteAddress, clipmoorURLFor } = globalThis.ClipmoorAddress;
const MENU_TITLE = 'Download with Clipmoor';

function sendToClipmoor(tab, address) {
  const url = clipmoorURLFor(address);
  if (!url || !tab || tab.id === undefined) return;
  // The browser hands the clipmoor:// address to the desktop, which starts (or wakes) Clipmoor;
  // the page itself stays where it is.
  browserApi.tabs.update(tab.id, { url });
}

function updateButton(tab) {
  if (!tab || tab.id === undefined) return;
  if (isSiteAddress(tab.url)) browserApi.action.enable(tab.id);
  else browserApi.action.disable(tab.id);
}

function createMenus() {
  browserApi.contextMenus.removeAll(() => {
    browserApi.contextMenus.create({
      id: 'clipmoor-page',
      title: MENU_TITLE,
      contexts: ['page'],
      documentUrlPatterns: [...SITE_URL_PATTERNS],
    });
    browserApi.contextMenus.create({
      id: 'clipmoor-link',
      title: MENU_TITLE,
      contexts: ['link'],
      targetUrlPatterns: [...SITE_URL_PATTERNS],
    });
  });
}

browserApi.runtime.onInstalled.addListener(createMenus);
browserApi.runtime.onStartup.addListener(createMenus);

browserApi.contextMenus.onClicked.addListener((info, tab) => {
  sendToClipmoor(tab, info.menuItemId === 'clipmoor-link' ? info.linkUrl : info.pageUrl);
});
browserApi.action.onClicked.addListener((tab) => sendToClipmoor(tab, tab.url));

browserApi.tabs.onUpdated.addListener((tabId, changeInfo, tab) => updateButton(tab));
browserApi.tabs.onActivated.addListener(({ tabId }) => {
  browserApi.tabs.get(tabId).then(updateButton, () => {});
});

// Off everywhere until a tab shows one of the site's pages.
browserApi.action.disable();
browserApi.tabs.query({}).then((tabs) => tabs.forEach(updateButton), () => {});
