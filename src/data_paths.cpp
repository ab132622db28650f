// Where things live: the program's own folder, the media folder, the
// per-user folders, paths beside the executable, and the system's patch set
// for the MIDI synthesiser.
#include "data_paths.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>

#include "platform.h"
#include "safe_file.h"

#ifndef TOLLYBROOK_DATA_FROM_BIN
#define TOLLYBROOK_DATA_FROM_BIN "../share/tollybrook"
#endif
#ifndef TOLLYBROOK_DATA_DIR
#define TOLLYBROOK_DATA_DIR "/usr/local/share/tollybrook"
#endif

std::string executable_folder() {
    // Without a system driver (the headless tools and tests) Allegro has
    // always put the program in the working folder; they rely on that.
    if (system_driver && system_driver->id == SYSTEM_NONE) {
        std::string folder = platform_working_folder();
        if (!folder.empty()) return folder;
    }
    std::string exe = platform_executable_file();
    size_t slash = exe.rfind('/');
    if (slash == std::string::npos) {
        static bool said = false;
        if (!said) std::fprintf(stderr, "tollybrook: cannot find the program's own folder\n");
        said = true;
        return "";
    }
    return slash == 0 ? "/" : exe.substr(0, slash);
}

std::string media_folder() {
    const char* chosen = std::getenv("TOLLYBROOK_DATA");
    if (chosen && *chosen) return chosen;
    std::string home = executable_folder();
    if (home.empty()) return "";
    namespace fs = std::filesystem;
    const std::string beside = home + "/media";
    const std::string candidates[] = {
        beside,
        (fs::u8path(home) / TOLLYBROOK_DATA_FROM_BIN).lexically_normal().u8string(),
        TOLLYBROOK_DATA_DIR,
    };
    for (const std::string& folder : candidates)
        if (is_folder(folder)) return folder;
    return beside;
}

bool runs_installed() {
    const char* chosen = std::getenv("TOLLYBROOK_DATA");
    if (chosen && *chosen) return false;
    std::string home = executable_folder();
    return !home.empty() && media_folder() != home + "/media";
}

std::string fname;

char* absolute_path(const char* relative) {
    static const char media_prefix[] = "/media/";
    const size_t prefix_length = sizeof media_prefix - 1;
    std::string base;
    if (std::strncmp(relative, media_prefix, prefix_length) == 0) {
        base = media_folder();
        relative += prefix_length;
    } else {
        base = executable_folder();
    }
    while (*relative == '/') relative++;
    // One buffer for every request: copied into, not swapped, so it moves
    // only for a path longer than any before.
    fname.reserve(PATH_MAX);
    std::string path;
    if (!base.empty())
        path = std::filesystem::u8path(base + "/" + relative).lexically_normal().u8string();
    fname.assign(path.data(), path.size());
    return fname.data();
}

std::string absolute_patch_index(const std::string& timidity_index,
                                 const std::string& index_folder) {
    std::istringstream lines(timidity_index);
    std::string line, out, dir = index_folder;
    int patches = 0;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string first, file;
        if (!(words >> first) || first[0] == '#') continue;
        if (first == "dir") {
            words >> dir;
            while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        } else if (first == "bank" || first == "drumset") {
            std::string number;
            words >> number;
            out += first + " " + number + "\n";
        } else if (first.find_first_not_of("0123456789") == std::string::npos && words >> file) {
            if (file[0] != '/') file = dir + "/" + file;
            std::string options;
            std::getline(words, options);
            out += first + " " + file + options + "\n";
            patches++;
        }
    }
    return patches ? out : "";
}
