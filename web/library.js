// SPDX-FileCopyrightText: 2026 Tollybrook developers
// SPDX-License-Identifier: MIT
// What the game's web side calls in the page (src/*_web.cpp).
mergeInto(LibraryManager.library, {
  // Hands one file of the page's folder to the browser's storage, in the
  // form web/pre.js reads the folder back in at the next start. Only the
  // files a tab writes go, each as it is written, in turn: a copy of the
  // whole folder would put back a table another tab has replaced since.
  // Module.keeping settles when every file asked for is kept.
  web_keep_file__deps: ['$FS', '$IDBFS', '$PATH'],
  web_keep_file: function (pathText) {
    const path = UTF8ToString(pathText);
    const keep = () => new Promise((done) => {
      const warn = (error) => {
        console.warn('Tollybrook: ' + path + ' could not be kept', error);
        done();
      };
      let mount;
      try {
        mount = FS.lookupPath(PATH.dirname(path)).node.mount;
      } catch (error) {
        return warn(error);
      }
      if (mount.type !== IDBFS) return done();
      // The folders between the kept folder and the file go too: the folder
      // is read back in from them, outermost first.
      const paths = [path];
      for (let p = PATH.dirname(path); p.length > mount.mountpoint.length; p = PATH.dirname(p))
        paths.unshift(p);
      const entries = [];
      const load = (i) => {
        if (i === paths.length) return store();
        IDBFS.loadLocalEntry(paths[i], (error, entry) => {
          if (error) return warn(error);
          entries.push(entry);
          load(i + 1);
        });
      };
      const store = () => IDBFS.getDB(mount.mountpoint, (error, db) => {
        if (error) return warn(error);
        const write = db.transaction([IDBFS.DB_STORE_NAME], 'readwrite');
        write.oncomplete = () => done();
        write.onabort = () => warn(write.error);
        const files = write.objectStore(IDBFS.DB_STORE_NAME);
        entries.forEach((entry, i) => files.put(entry, paths[i]));
      });
      load(0);
    });
    Module.keeping = (Module.keeping || Promise.resolve()).then(keep);
  },

  // Takes the browser's lock `name` (Web Locks: every tab and window of the
  // page takes turns on it), waiting at most `timeoutMs`, then reads the
  // file at `path` again from the browser's storage: each tab has its own
  // folder in memory, and another tab may have replaced the file since this
  // one read it. The lock's number, or -1 without it. The game waits for it
  // (Asyncify).
  web_lock_take__deps: ['$FS', '$IDBFS', '$PATH', '$Asyncify', '$callUserCallback',
    '$runtimeKeepalivePush', '$runtimeKeepalivePop'],
  web_lock_take: function (nameText, pathText, timeoutMs) {
    const name = UTF8ToString(nameText), path = UTF8ToString(pathText);
    // The game goes on as after its own sleeps, so that a game that ends
    // right after (the save at its end) ends the page's program too.
    return Asyncify.handleSleep((wakeUp) => {
      runtimeKeepalivePush();
      take().catch(() => -1).then((number) => {
        runtimeKeepalivePop();
        callUserCallback(() => wakeUp(number));
      });
    });
    async function take() {
      if (!navigator.locks) return -1;
      Module.heldLocks = Module.heldLocks || {};
      const number = Module.lockNumber = (Module.lockNumber || 0) + 1;
      const giveUp = new AbortController();
      const timer = setTimeout(() => giveUp.abort(), timeoutMs);
      const granted = await new Promise((resolve) => {
        navigator.locks.request(name, { signal: giveUp.signal }, () => new Promise((letGo) => {
          Module.heldLocks[number] = letGo;
          resolve(true);
        })).catch(() => resolve(false));
      });
      clearTimeout(timer);
      if (!granted) return -1;
      await new Promise((done) => {
        let mount;
        try {
          mount = FS.lookupPath(PATH.dirname(path)).node.mount;
        } catch (e) {
          return done();
        }
        if (mount.type !== IDBFS) return done();
        IDBFS.getDB(mount.mountpoint, (error, db) => {
          if (error) return done();
          const read = db.transaction([IDBFS.DB_STORE_NAME], 'readonly')
            .objectStore(IDBFS.DB_STORE_NAME).get(path);
          read.onsuccess = () => {
            if (read.result && read.result.contents) IDBFS.storeLocalEntry(path, read.result, () => done());
            else done();
          };
          read.onerror = (event) => {
            event.preventDefault();
            done();
          };
        });
      });
      return number;
    }
  },

  // Lets the lock go once every file written under it is in the browser's
  // storage, where the next tab to take it reads them; the game goes on at
  // once.
  web_lock_let_go: function (number) {
    const letGo = Module.heldLocks[number];
    delete Module.heldLocks[number];
    if (letGo) (Module.keeping || Promise.resolve()).finally(letGo);
  },
});
