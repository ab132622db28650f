// Files that must never be left half-written, the Linux side: crash-safe
// replacement, whole-file reads and the folder lock (folders are made in
// safe_file_posix.cpp, shared with the web page).
#include "safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

namespace {

namespace fs = std::filesystem;

std::string folder_of(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a chain of symbolic links ends at (the path itself if no link).
std::string link_target(std::string path) {
    for (int hops = 0; hops < 40; hops++) {
        std::error_code error;
        if (!fs::is_symlink(path, error)) break;
        fs::path to = fs::read_symlink(path, error);
        if (error) break;
        path = to.is_absolute() ? to.string() : (fs::path(folder_of(path)) / to).string();
    }
    return path;
}

}  // namespace

bool writable_place(const std::string& path) {
    std::string target = link_target(path);
    struct stat st;
    if (stat(target.c_str(), &st) == 0)
        return S_ISREG(st.st_mode) && access(target.c_str(), R_OK | W_OK) == 0;
    return errno == ENOENT && access(folder_of(target).c_str(), W_OK) == 0;
}

bool read_plain_file(const std::string& path, int64_t at_most, std::string* bytes, int64_t* size) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool looked = fstat(fd, &st) == 0;
    if (!looked || !S_ISREG(st.st_mode)) {
        int why = !looked ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        close(fd);
        errno = why;
        return false;
    }
    if (size) *size = st.st_size;
    char chunk[4096];
    for (int64_t left = at_most; left > 0;) {
        ssize_t n = read(fd, chunk, static_cast<size_t>(std::min<int64_t>(left, sizeof chunk)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes->append(chunk, static_cast<size_t>(n));
        left -= n;
    }
    close(fd);
    return true;
}

bool read_whole_file(const std::string& path, std::string* bytes) {
    return read_plain_file(path, INT64_MAX, bytes);
}

namespace {

bool write_all(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool rewrite_in_place(const std::string& target, const std::string& bytes) {
    int fd = open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = write_all(fd, bytes) && ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 &&
              fsync(fd) == 0;
    int why = errno;
    ok = close(fd) == 0 && ok;
    if (!ok && errno == 0) errno = why;
    return ok;
}

void sync_folder(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// A temporary is the file's name, this mark and six letters or digits.
const char temporary_mark[] = ".part-";

mode_t new_file_mode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

bool replace_file_safely(const std::string& path, const std::string& bytes) {
    std::string target = link_target(path);
    struct stat old;
    bool existed = lstat(target.c_str(), &old) == 0;
    if (existed && !S_ISREG(old.st_mode)) {
        errno = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    // mkstemp opens with O_EXCL: a file or link planted at the name is never used.
    std::string temporary = target + temporary_mark + "XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0) {
        int why = errno;
        if (existed && access(target.c_str(), W_OK) == 0) return rewrite_in_place(target, bytes);
        errno = why;
        return false;
    }
    if (existed && fchown(fd, old.st_uid, old.st_gid) != 0) {
        // Only root may give the file away; others keep it as their own.
    }
    bool ok = fchmod(fd, existed ? old.st_mode & 07777 : new_file_mode()) == 0 &&
              write_all(fd, bytes) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok) ok = std::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        int why = errno;
        unlink(temporary.c_str());
        errno = why;
        return false;
    }
    sync_folder(folder_of(target));
    return true;
}

void remove_stale_temporaries(const std::string& path) {
    std::string target = link_target(path);
    std::string folder = folder_of(target);
    std::string prefix = target.substr(target.rfind('/') + 1) + temporary_mark;
    DIR* listing = opendir(folder.c_str());
    if (!listing) return;
    while (dirent* entry = readdir(listing)) {
        std::string name = entry->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0 ||
            !std::all_of(name.begin() + prefix.size(), name.end(),
                         [](unsigned char c) { return std::isalnum(c); }))
            continue;
        struct stat st;
        std::string stale = folder + "/" + name;
        if (lstat(stale.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid())
            unlink(stale.c_str());
    }
    closedir(listing);
}

// A folder, not a lock file: the lock leaves nothing behind, and a file
// that is replaced by renaming would take its lock with it.
folder_lock::folder_lock(const std::string& path, int timeout_ms) {
    int dir = open(folder_of(link_target(path)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (flock(dir, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) ||
            std::chrono::steady_clock::now() >= give_up) {
            close(dir);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    fd = dir;
}

folder_lock::~folder_lock() {
    if (fd >= 0) close(fd);  // closing lets go of the lock
}
