// Where things live: the program's own folder, the media folder, the
// per-user folders, paths beside the executable, and the system's patch set
// for the MIDI synthesiser.
#include "data_paths.h"

#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "safe_file.h"

#ifndef TOLLYBROOK_DATA_FROM_BIN
#define TOLLYBROOK_DATA_FROM_BIN "../share/tollybrook"
#endif
#ifndef TOLLYBROOK_DATA_DIR
#define TOLLYBROOK_DATA_DIR "/usr/local/share/tollybrook"
#endif
#ifndef TOLLYBROOK_PATCH_INDEX
#define TOLLYBROOK_PATCH_INDEX "/etc/timidity/freepats.cfg"
#endif

namespace {

// The executable's full name. /proc/self/exe keeps every byte and has no
// length limit; Allegro's own call is the fallback where there is no /proc.
std::string executable_file() {
    std::string name(PATH_MAX, '\0');
    for (;;) {
        ssize_t got = readlink("/proc/self/exe", name.data(), name.size());
        if (got < 0) break;
        if (static_cast<size_t>(got) < name.size()) return name.substr(0, got);
        name.resize(name.size() * 2);
    }
    std::string fallback(PATH_MAX, '\0');
    get_executable_name(fallback.data(), static_cast<int>(fallback.size()));
    fallback.resize(std::strlen(fallback.c_str()));
    if (fallback.empty() || fallback[0] != '/') {  // relative: make it whole, or give up
        char* here = getcwd(nullptr, 0);
        if (!here) return "";
        fallback = std::string(here) + "/" + fallback;
        std::free(here);
    }
    return fallback;
}

}  // namespace

std::string executable_folder() {
    // Without a system driver (the headless tools and tests) Allegro has
    // always put the program in the working folder; they rely on that.
    if (system_driver && system_driver->id == SYSTEM_NONE) {
        char* here = getcwd(nullptr, 0);
        std::string folder = here ? here : "";
        std::free(here);
        if (!folder.empty()) return folder;
    }
    std::string exe = executable_file();
    size_t slash = exe.rfind('/');
    if (slash == std::string::npos) {
        static bool said = false;
        if (!said) std::fprintf(stderr, "tollybrook: cannot find the program's own folder\n");
        said = true;
        return "";
    }
    return slash == 0 ? "/" : exe.substr(0, slash);
}

std::string user_folder(const char* variable, const char* under_home) {
    const char* chosen = std::getenv(variable);
    if (chosen && chosen[0] == '/') return chosen;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/" + under_home;
    return "";
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
        (fs::path(home) / TOLLYBROOK_DATA_FROM_BIN).lexically_normal().string(),
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
        path = std::filesystem::path(base + "/" + relative).lexically_normal().string();
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

// The rewritten index lives in an anonymous in-memory file that Allegro
// opens through /proc, so nothing is written to disk and no file has to be
// installed. It stays open for the whole run: the synthesiser reads it
// again whenever a tune is loaded.
void use_system_midi_patches() {
    if (get_config_string("sound", "patches", nullptr)) return;
    std::ifstream source(TOLLYBROOK_PATCH_INDEX);
    if (!source) return;
    std::stringstream text;
    text << source.rdbuf();
    std::string folder = std::filesystem::path(TOLLYBROOK_PATCH_INDEX).parent_path().string();
    std::string index = absolute_patch_index(text.str(), folder);
    if (index.empty()) return;
    int fd = memfd_create("tollybrook-patches", 0);
    if (fd < 0) return;
    if (write(fd, index.data(), index.size()) != static_cast<ssize_t>(index.size())) {
        close(fd);
        return;
    }
    std::string config = "[sound]\npatches = /proc/self/fd/" + std::to_string(fd) + "\n";
    override_config_data(config.data(), static_cast<int>(config.size()));
}
