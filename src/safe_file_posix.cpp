// Folders as Linux and the web page's file system both have them: whether
// a path is one, and making one with the folders above it.
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "safe_file.h"

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
