// The Linux side of platform.h: the standard streams, the stop signals, the
// kernel's timer slack, the X display's loss, the watchdog's thread, the
// program's own file through /proc, the XDG folders and the synthesiser's
// patch set handed over through an in-memory file.
#include "platform.h"

#include <X11/Xlib.h>
#include <allegro.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#ifdef ALLEGRO_WITH_XWINDOWS
#include <xalleg.h>
#endif

#include "data_paths.h"

#ifndef TOLLYBROOK_PATCH_INDEX
#define TOLLYBROOK_PATCH_INDEX "/etc/timidity/freepats.cfg"
#endif

// The window icon, made at build time from the game's own picture.
extern const char* tollybrook_window_icon[];
// Allegro's X11 window takes its icon from this XPM when it is created.
extern "C" void* allegro_icon;

void platform_prepare_process() {
    for (int fd = 0; fd <= 2; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {  // a lower one was closed as well: not expected
            dup2(opened, fd);
            close(opened);
        }
    }
    std::signal(SIGXFSZ, SIG_IGN);
}

void platform_catch_stop_requests(void (*note)(int)) {
    struct sigaction action {};
    action.sa_handler = note;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

void platform_set_timer_slack(unsigned long ns) { prctl(PR_SET_TIMERSLACK, ns); }

void platform_before_allegro() {
    // Allegro makes its X window as it starts: the icon and the class
    // (the WM_CLASS a dock matches the launcher by) must be set before.
    allegro_icon = static_cast<void*>(tollybrook_window_icon);
#ifdef ALLEGRO_WITH_XWINDOWS
    xwin_set_window_name("tollybrook", "Tollybrook");
#endif
}

namespace {

void (*save_on_loss)() = nullptr;

// Xlib calls this when the connection to the X server breaks, on whichever
// thread noticed it, and ends the process if it returns. Its own handler
// would run exit() right there while the main thread may still be drawing
// to the screen, which crashes in Allegro's shutdown. Instead the first
// thread here saves the table and leaves at once, past every exit handler
// (they would only talk to the server that is gone); a second one waits
// for that.
int display_lost(Display*) {
    static std::atomic<bool> leaving{false};
    if (leaving.exchange(true))
        for (;;) pause();
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr, "tollybrook: lost the X display %s; saving the scores and stopping\n",
                 display ? display : "");
    if (save_on_loss) save_on_loss();
    std::_Exit(1);
}

void* run_body(void* body) {
    reinterpret_cast<void (*)()>(body)();
    return nullptr;
}

}  // namespace

void platform_watch_display(void (*save)()) {
    save_on_loss = save;
    XSetIOErrorHandler(display_lost);
}

void platform_start_quiet_thread(void (*body)()) {
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    pthread_create(&thread, &attributes, run_body, reinterpret_cast<void*>(body));
    pthread_attr_destroy(&attributes);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

void platform_leave_now(const char* line) {
    ssize_t written = write(2, line, std::strlen(line));
    (void)written;
    _exit(0);
}

// /proc/self/exe keeps every byte and has no length limit; Allegro's own
// call is the fallback where there is no /proc.
std::string platform_executable_file() {
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
        std::string here = platform_working_folder();
        if (here.empty()) return "";
        fallback = here + "/" + fallback;
    }
    return fallback;
}

std::string platform_working_folder() {
    char* here = getcwd(nullptr, 0);
    std::string folder = here ? here : "";
    std::free(here);
    return folder;
}

int platform_open_for_reading(const char* path) {
    return open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

// Linux reaches a file whatever the length of its folder's path.
const char* platform_path_length_note(const std::string&) { return nullptr; }

namespace {

int pad_watch = -1;  // a descriptor of the pad's device of our own

}  // namespace

// The device Allegro's Linux joystick driver opens: the one allegro.cfg
// names, else the first of the two usual places that opens. A second
// reader of a joystick device gets events of its own, and one of a named
// pipe only looks: Allegro's reads are not disturbed.
void platform_watch_pad() {
    if (pad_watch >= 0) close(pad_watch);
    pad_watch = -1;
    const char* named = get_config_string("joystick", "joystick_device_0", nullptr);
    if (!named) named = get_config_string("joystick", "joystick_device", nullptr);
    if (named) {
        pad_watch = open(named, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        return;
    }
    for (const char* usual : {"/dev/input/js0", "/dev/js0"})
        if ((pad_watch = open(usual, O_RDONLY | O_NONBLOCK | O_CLOEXEC)) >= 0) return;
}

// An unplugged joystick device hangs up on its readers; so does a named
// pipe whose last writer has gone.
bool platform_pad_gone() {
    if (pad_watch < 0) return false;
    pollfd watch{pad_watch, POLLIN, 0};
    return poll(&watch, 1, 0) == 1 && (watch.revents & (POLLHUP | POLLERR | POLLNVAL));
}

std::string user_folder(const char* variable, const char* under_home) {
    const char* chosen = std::getenv(variable);
    if (chosen && chosen[0] == '/') return chosen;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/" + under_home;
    return "";
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

std::vector<std::string> platform_fallback_fonts() {
    return {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
            "/usr/share/fonts/truetype/freefont/FreeSans.ttf",
            "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"};
}
