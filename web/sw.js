// SPDX-FileCopyrightText: 2026 Tollybrook developers
// SPDX-License-Identifier: MIT
// The page's service worker: after one visit the game plays with no
// network. Each version of the game is one cache, filled whole (every file
// or none) before that version is used, and every file a page loads comes
// from the one version it started with: a new version waits until no tab of
// the old one is open, then takes over whole. The scores and choices are in
// the browser's storage, not here, and an update leaves them alone.
// web/package.sh writes the version (a hash of the files) and the list.
'use strict';

const VERSION = 'tollybrook-@VERSION@';
const FILES = [@FILES@];

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(VERSION).then((cache) => cache.addAll(FILES)));
});

// The versions before this one go once it has taken over.
self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys().then((names) => Promise.all(names
    .filter((name) => name.startsWith('tollybrook-') && name !== VERSION)
    .map((name) => caches.delete(name)))));
});

// The page's files from this version's cache; anything else from the network.
self.addEventListener('fetch', (event) => {
  if (event.request.method !== 'GET') return;
  event.respondWith(caches.open(VERSION)
    .then((cache) => cache.match(event.request, { ignoreSearch: event.request.mode === 'navigate' }))
    .then((kept) => kept || fetch(event.request)));
});
