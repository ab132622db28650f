// The small files' reads that every side of platform.h shares: the
// descriptor calls Linux, mingw-w64's C library and Emscripten all have
// (paths are UTF-8 on each; see platform.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform.h"

small_file platform_read_small_file(const char* path, size_t limit, std::string* text) {
    int fd = platform_open_for_reading(path);
    if (fd < 0) return errno == ENOENT ? small_file::missing : small_file::failed;
    struct stat st;
    small_file result = small_file::read;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        result = small_file::not_regular;
    else if (static_cast<unsigned long long>(st.st_size) > limit)
        result = small_file::too_large;
    char chunk[4096];
    int why = 0;
    while (result == small_file::read) {
        auto n = read(fd, chunk, sizeof chunk);
        if (n == 0) break;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = errno;
            result = small_file::failed;
            break;
        }
        text->append(chunk, static_cast<size_t>(n));
        if (text->size() > limit) result = small_file::too_large;
    }
    close(fd);
    errno = why;
    return result;
}

int platform_unreadable(const char* path) { return access(path, R_OK) == 0 ? 0 : errno; }
