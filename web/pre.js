// SPDX-FileCopyrightText: 2026 Tollybrook developers
// SPDX-License-Identifier: MIT
// Runs inside the game's script before the game starts: the folder the game
// keeps its table and choices in, /save, is the browser's storage for the
// page; the game starts once what was kept there has been read back.
Module.preRun = Module.preRun || [];
Module.preRun.push(function () {
  FS.mkdir('/save');
  FS.mount(IDBFS, {}, '/save');
  addRunDependency('kept-files');
  FS.syncfs(true, function (error) {
    if (error) console.warn('Tollybrook: the kept files could not be read back', error);
    removeRunDependency('kept-files');
  });
});
