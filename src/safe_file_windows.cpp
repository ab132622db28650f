// The Windows side of safe_file.h: crash-safe replacement through
// ReplaceFileW or MoveFileExW with write-through, whole-file reads, folders,
// and the lock copies of the game take turns by (LockFileEx), all through
// the wide-character calls.
#include "safe_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform_windows.h"

namespace {

DWORD attributes(const std::string& path) { return GetFileAttributesW(widened(path).c_str()); }

std::string folder_of(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// errno for what Windows said went wrong.
int errno_for(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return EACCES;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return ENOENT;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_WRITE_PROTECT: return EROFS;
        default: return EIO;
    }
}

bool failed() {
    errno = errno_for(GetLastError());
    return false;
}

bool write_all(HANDLE file, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20)), n = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &n, nullptr) || n == 0) return false;
        done += n;
    }
    return true;
}

// Writes `bytes` into an open file from its start, cuts it there and waits
// until they are on the disk.
bool fill(HANDLE file, const std::string& bytes) {
    bool ok = write_all(file, bytes) && SetEndOfFile(file) && FlushFileBuffers(file);
    DWORD why = GetLastError();
    ok = CloseHandle(file) && ok;
    if (!ok) SetLastError(why);
    return ok;
}

bool rewrite_in_place(const std::string& target, const std::string& bytes) {
    HANDLE file = CreateFileW(widened(target).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_WRITE_THROUGH, nullptr);
    if (file == INVALID_HANDLE_VALUE) return failed();
    return fill(file, bytes) || failed();
}

}  // namespace

bool is_folder(const std::string& path) {
    DWORD a = attributes(path);
    return !path.empty() && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Windows keeps the folder's access rights; `mode` has no meaning there.
bool make_folders(const std::string& path, unsigned) {
    for (size_t slash = path.find_first_of("/\\", 1);;
         slash = path.find_first_of("/\\", slash + 1)) {
        std::string part = path.substr(0, slash);
        if (!part.empty() && !is_folder(part) &&
            !CreateDirectoryW(widened(part).c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            return failed();
        if (slash == std::string::npos) break;
    }
    return is_folder(path);
}

// A file may be written when it opens for reading and writing; a place with
// no file, when a file can be made in its folder (tried, then taken away).
bool writable_place(const std::string& path) {
    DWORD a = attributes(path);
    if (a != INVALID_FILE_ATTRIBUTES) {
        if (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return false;
        HANDLE file =
            CreateFileW(widened(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        CloseHandle(file);
        return true;
    }
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    std::string probe = path + ".probe-" + std::to_string(GetCurrentProcessId());
    HANDLE file = CreateFileW(widened(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

// A device (CON, a named pipe's \\.\pipe\ name) opens as a file too, and
// a read of it may wait: only what is on a disk is read.
bool read_plain_file(const std::string& path, int64_t at_most, std::string* bytes, int64_t* size) {
    if (is_folder(path)) {
        errno = EISDIR;
        return false;
    }
    HANDLE file = CreateFileW(widened(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return failed();
    LARGE_INTEGER length;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &length)) {
        CloseHandle(file);
        errno = EINVAL;
        return false;
    }
    if (size) *size = length.QuadPart;
    char chunk[4096];
    for (int64_t left = at_most; left > 0;) {
        DWORD n = 0;
        DWORD want = static_cast<DWORD>(std::min<int64_t>(left, sizeof chunk));
        if (!ReadFile(file, chunk, want, &n, nullptr) || n == 0) break;
        bytes->append(chunk, n);
        left -= n;
    }
    CloseHandle(file);
    return true;
}

bool read_whole_file(const std::string& path, std::string* bytes) {
    return read_plain_file(path, INT64_MAX, bytes);
}

// The new content goes to a file beside the old one, written through to the
// disk, and then takes the old one's place in one step: ReplaceFileW keeps
// the old file's attributes and access rights, MoveFileExW makes a new one.
bool replace_file_safely(const std::string& path, const std::string& bytes) {
    DWORD a = attributes(path);
    bool existed = a != INVALID_FILE_ATTRIBUTES;
    if (existed && (a & FILE_ATTRIBUTE_DIRECTORY)) {
        errno = EISDIR;
        return false;
    }
    std::wstring target = widened(path);
    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; attempt++) {
        temporary = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                    std::to_wstring(attempt) + L".new";
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) {
        DWORD why = GetLastError();
        if (existed && !(a & FILE_ATTRIBUTE_READONLY)) return rewrite_in_place(path, bytes);
        errno = errno_for(why);
        return false;
    }
    bool ok = fill(file, bytes);
    if (ok && existed)
        ok = ReplaceFileW(target.c_str(), temporary.c_str(), nullptr,
                          REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) ||
             MoveFileExW(temporary.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    else if (ok)
        ok = MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        int why = errno_for(GetLastError());
        DeleteFileW(temporary.c_str());
        errno = why;
    }
    return ok;
}

// A temporary is named "NAME.PID-ATTEMPT.new"; one still being written is
// open without sharing and cannot be deleted.
void remove_stale_temporaries(const std::string& path) {
    std::string folder = folder_of(path);
    std::wstring name = widened(path.substr(path.find_last_of("/\\") + 1));
    std::wstring pattern = widened(folder) + L"\\" + name + L".*.new";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring middle = found.cFileName;
        size_t from = name.size() + 1, to = middle.size() - 4;  // between the name and ".new"
        middle = middle.substr(from, to > from ? to - from : 0);
        size_t dash = middle.find(L'-');
        bool numbered = dash != std::wstring::npos && dash > 0 && dash + 1 < middle.size() &&
                        middle.find_first_not_of(L"0123456789-") == std::wstring::npos &&
                        middle.find(L'-', dash + 1) == std::wstring::npos;
        if (numbered && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW((widened(folder) + L"\\" + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// Windows locks files, not folders: the lock is a file in the folder, open
// by every copy that takes a turn and gone when the last one closes it.
folder_lock::folder_lock(const std::string& path, int timeout_ms) {
    std::wstring name = widened(folder_of(path) + "/tollybrook.lock");
    HANDLE file =
        CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    OVERLAPPED whole{};
    while (
        !LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
        if (std::chrono::steady_clock::now() >= give_up) {
            CloseHandle(file);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    fd = reinterpret_cast<std::intptr_t>(file);
}

folder_lock::~folder_lock() {
    if (fd >= 0) CloseHandle(reinterpret_cast<HANDLE>(fd));  // closing lets go of the lock
}
