// The site's service worker: on the first visit it keeps the whole site (page, program,
// soundtrack, icons) in a cache named after this build's files, and from then on serves them from
// there, so that later visits play without a network. A new release has other files and so
// another cache name, and another sw.js: when the browser finds it (it looks at each visit), the
// new worker fills its own cache, takes over at once and deletes the old caches. A page already
// open stays as it was; the next visit is the new release.
'use strict';
const CACHE = 'flimrevo-@SITE_VERSION@';
const FILES = ['./', 'index.html', 'page.js', 'flimrevo.js', 'flimrevo.wasm', 'brumlevo.mp3',
               'manifest.webmanifest', 'icon-192.png', 'icon-512.png'];

self.addEventListener('install', event => {
  event.waitUntil(caches.open(CACHE).then(cache => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', event => {
  event.waitUntil(caches.keys()
    .then(names => Promise.all(names.filter(name => name.startsWith('flimrevo-') && name !== CACHE)
                                    .map(name => caches.delete(name))))
    .then(() => self.clients.claim()));
});

// The site's own files from the cache, whatever the address's query (?reduced-flashing);
// anything else from the network.
self.addEventListener('fetch', event => {
  if (event.request.method !== 'GET') return;
  event.respondWith(caches.open(CACHE)
    .then(cache => cache.match(event.request, {ignoreSearch: true}))
    .then(kept => kept || fetch(event.request)));
});
