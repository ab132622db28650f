// Files that must never be left half-written, the web page's side: the
// files live in the page's folder in memory (Emscripten's file system), and
// each replaced file is handed on to the browser's storage for the page
// (IndexedDB), which keeps the last complete copy it was given.
#include "safe_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

// Hands the browser's storage what the page's folder now holds (web/library.js).
extern "C" void web_keep_files();

bool is_folder(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool make_folders(const std::string& path, unsigned mode) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string part = path.substr(0, slash);
        if (!part.empty() && mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
    }
    return is_folder(path);
}

// The page's folder is the player's alone.
bool writable_place(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return S_ISREG(st.st_mode);
    size_t slash = path.rfind('/');
    return errno == ENOENT && is_folder(slash == 0 ? "/" : path.substr(0, slash));
}

bool read_whole_file(const std::string& path, std::string* bytes) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes->append(chunk, n);
    std::fclose(file);
    return true;
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
    web_keep_files();
    return true;
}

// One game runs in the page: there is no other copy to take turns with.
folder_lock::folder_lock(const std::string&, int) : fd(0) {}
folder_lock::~folder_lock() {}
