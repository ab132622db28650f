// Files that must never be left half-written, the web page's side: the
// files live in the page's folder in memory (Emscripten's file system), and
// each replaced file is handed on to the browser's storage for the page
// (IndexedDB), which keeps the last complete copy it was given. Tabs of the
// game take turns on the table through the browser's lock.
#include "safe_file.h"

#include <emscripten.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

// In web/library.js: hands the browser's storage the file at `path` as it
// now is; takes and lets go the browser's lock for the tabs of the page.
extern "C" {
void web_keep_file(const char* path);
int web_lock_take(const char* name, const char* path, int timeout_ms);
void web_lock_let_go(int number);
}

namespace {

// Whether a call may wait in the browser: not while the game already waits
// there, as it does when the page's events (hidden, closed) call in
// between two ticks.
EM_JS(int, web_may_wait, (), { return Asyncify.currData ? 0 : 1; });

}  // namespace

// The page's folder is the player's alone.
bool writable_place(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return S_ISREG(st.st_mode);
    size_t slash = path.rfind('/');
    return errno == ENOENT && is_folder(slash == 0 ? "/" : path.substr(0, slash));
}

// The page's folder holds only plain files and folders of the game's own.
bool read_plain_file(const std::string& path, int64_t at_most, std::string* bytes, int64_t* size) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    if (size) *size = st.st_size;
    char chunk[4096];
    for (int64_t left = at_most; left > 0;) {
        size_t n =
            std::fread(chunk, 1, static_cast<size_t>(std::min<int64_t>(left, sizeof chunk)), file);
        if (n == 0) break;
        bytes->append(chunk, n);
        left -= static_cast<int64_t>(n);
    }
    std::fclose(file);
    return true;
}

bool read_whole_file(const std::string& path, std::string* bytes) {
    return read_plain_file(path, INT64_MAX, bytes);
}

// Written beside, then renamed over: the folder never holds half a file
// when the storage takes its copy.
bool replace_file_safely(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".new";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fclose(file) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        int why = errno;
        std::remove(temporary.c_str());
        errno = why;
        return false;
    }
    web_keep_file(path.c_str());
    return true;
}

// A page that was closed mid-save leaves its temporary only in its own
// folder in memory, which goes with it; one of this tab's is removed.
void remove_stale_temporaries(const std::string& path) { std::remove((path + ".new").c_str()); }

// Tabs of the page take turns through the browser's lock on the folder's
// name. While the page's events call in between two ticks (the page hidden
// or closed) nothing may wait: the save goes on unguarded then, as it does
// on the desktop when the lock cannot be had.
folder_lock::folder_lock(const std::string& path, int timeout_ms) {
    if (!web_may_wait()) return;
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    fd = web_lock_take(("tollybrook " + folder).c_str(), path.c_str(), timeout_ms);
}

folder_lock::~folder_lock() {
    if (held()) web_lock_let_go(static_cast<int>(fd));
}
