// SPDX-FileCopyrightText: 2026 Tollybrook developers
// SPDX-License-Identifier: MIT
// What the game's web side calls in the page (src/*_web.cpp).
mergeInto(LibraryManager.library, {
  // Hands the page's folder to the browser's storage; a save asked for
  // while one is on its way follows it, so the last one always lands.
  web_keep_files__deps: ['$FS'],
  web_keep_files: function () {
    if (Module.keeping) {
      Module.keepAgain = true;
      return;
    }
    Module.keeping = true;
    FS.syncfs(false, function (error) {
      if (error) console.warn('Tollybrook: the files could not be kept', error);
      Module.keeping = false;
      if (Module.keepAgain) {
        Module.keepAgain = false;
        _web_keep_files();
      } else if (Module.onFilesKept) {
        Module.onFilesKept();
      }
    });
  },
});
