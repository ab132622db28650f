// Files that must never be left half-written, and the folders they live in.
#pragma once
#include <cstdint>
#include <string>

// True when `path` names a folder.
bool is_folder(const std::string& path);

// Makes every missing folder of `path` with `mode`; true when it is a folder.
bool make_folders(const std::string& path, unsigned mode);

// True when the file at `path` (or, through links, the file it leads to) is
// a plain file that may be read and written, or, when there is none, a file
// may be made in its folder. A file the player made read-only, or may not
// read, is not theirs to replace even in a folder they may write; a named
// pipe, a device or a folder there is no file of theirs at all.
bool writable_place(const std::string& path);

// The start of the plain file at `path`, at most `at_most` bytes, appended
// to `bytes`, and its whole size in `size` (when not null). It is opened
// without waiting and looked at once open, so a named pipe, a device or a
// folder there, even one put there a moment before, is never read: false
// with errno EINVAL (EISDIR for a folder), or why it could not be opened.
bool read_plain_file(const std::string& path, int64_t at_most, std::string* bytes,
                     int64_t* size = nullptr);

// The whole content of the plain file at `path`, appended to `bytes`;
// false when it is no plain file or cannot be opened.
bool read_whole_file(const std::string& path, std::string* bytes);

// Replaces the file at `path` with `bytes` so that a crash leaves the old or
// the new content, never a mix: a temporary file beside it, synced, renamed
// over it. A symbolic link stays a link (its target is replaced), an
// existing file keeps its owner and permission bits, and a folder that takes
// no new file gets a writable file rewritten in place. False when the file
// could not be replaced; errno then says why.
bool replace_file_safely(const std::string& path, const std::string& bytes);

// Removes the temporary files beside `path` that a replace_file_safely of
// it left when the program was killed midway (only files of the player's
// own, named as it names them). Call it only while holding the folder_lock
// of `path`, with every writer of `path` taking that lock: then no
// temporary there belongs to a save under way.
void remove_stale_temporaries(const std::string& path);

// An exclusive lock on the folder that holds `path` (through links), taken
// for as long as the object lives: copies of the game that read, merge and
// replace the same file take turns. It waits at most `timeout_ms`; without
// the lock (a folder that cannot be opened, a holder that never lets go)
// held() is false and the caller goes on unguarded.
class folder_lock {
public:
    explicit folder_lock(const std::string& path, int timeout_ms = 2000);
    ~folder_lock();
    folder_lock(const folder_lock&) = delete;
    folder_lock& operator=(const folder_lock&) = delete;
    bool held() const { return fd >= 0; }

private:
    std::intptr_t fd = -1;  // the folder's descriptor, or handle on Windows
};
