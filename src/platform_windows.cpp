// The Windows side of platform.h: the console's stop requests, the
// system's timer resolution, the session's end, the watchdog's thread, the
// program's own file and %APPDATA% for the per-user files, all through the
// wide-character calls.
#include "platform.h"

#include <allegro.h>
#include <winalleg.h>

#include <fcntl.h>
#include <io.h>
#include <mmsystem.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <thread>

#include "data_handler.h"
#include "platform_windows.h"

// A program of the Windows subsystem starts with whatever standard handles
// it was given: none from the desktop, where the C library drops the
// writes, and none from a console either. Started from a console, the
// help, the version and the messages go to that console.
void platform_prepare_process() {
    HANDLE given = GetStdHandle(STD_ERROR_HANDLE);
    if ((given == nullptr || given == INVALID_HANDLE_VALUE) &&
        AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
}

namespace {

void (*stop_note)(int) = nullptr;

BOOL WINAPI console_request(DWORD event) {
    if (!stop_note) return FALSE;
    stop_note(static_cast<int>(event));
    return TRUE;  // handled: the game ends as Escape ends it
}

void (*save_at_end)() = nullptr;

// Allegro's window hands each message here first (0 would mean handled
// here). When Windows ends the session it may end the process as soon as
// WM_ENDSESSION returns.
int window_message(HWND, UINT message, WPARAM ending, LPARAM, int*) {
    if (message == WM_ENDSESSION && ending && save_at_end) save_at_end();
    return 1;  // Allegro goes on with the message as usual
}

}  // namespace

void platform_catch_stop_requests(void (*note)(int)) {
    stop_note = note;
    SetConsoleCtrlHandler(console_request, TRUE);
    std::signal(SIGINT, note);
    std::signal(SIGTERM, note);
}

// Windows has no slack to set; its timer ticks every 15.6 ms unless asked
// for 1 ms, and the game's tick wait sleeps 1 ms at a time.
void platform_set_timer_slack(unsigned long) {
    static bool asked = false;
    if (!asked) timeBeginPeriod(1);
    asked = true;
}

// The window's icon is the resource Allegro looks for by name (allegro_icon,
// in windows/tollybrook.rc).
void platform_before_allegro() {}

void platform_watch_display(void (*save)()) {
    save_at_end = save;
    win_set_msg_pre_proc(window_message);
}

void platform_start_quiet_thread(void (*body)()) { std::thread(body).detach(); }

void platform_leave_now(const char* line) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(std::strlen(line)), &written,
              nullptr);
    TerminateProcess(GetCurrentProcess(), 0);
    for (;;) Sleep(INFINITE);
}

std::string platform_executable_file() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        DWORD got = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (got == 0) return "";
        if (got < name.size()) return narrowed(name.substr(0, got));
        name.resize(name.size() * 2);
    }
}

std::string platform_working_folder() {
    DWORD length = GetCurrentDirectoryW(0, nullptr);
    std::wstring here(length, L'\0');
    DWORD got = GetCurrentDirectoryW(length, here.data());
    return got == 0 || got >= length ? "" : narrowed(here.substr(0, got));
}

int platform_open_for_reading(const char* path) {
    return _wopen(widened(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

// Past 260 characters (MAX_PATH) a path reaches its file only where
// Windows' long paths are enabled; the manifest asks for them. The longest
// media file name adds about 20 to the folder's.
const char* platform_path_length_note(const std::string& folder) {
    if (widened(folder).size() + 20 < MAX_PATH) return nullptr;
    return "a path there passes 260 characters, which Windows reaches only with its long paths "
           "enabled (LongPathsEnabled): move the game to a shorter folder";
}

// DirectInput takes a lost pad back by itself; its going is not seen here.
void platform_watch_pad() {}
bool platform_pad_gone() { return false; }

// Every per-user file lives in %APPDATA%\Tollybrook: the choices and, when
// the game may not write beside itself, the scores. The callers name the
// game's folder in lower case, as on Linux; it is made here first with the
// capital Windows programs' folders carry, and Windows' names are the same
// in either case.
std::string user_folder(const char*, const char*) {
    const wchar_t* roaming = _wgetenv(L"APPDATA");
    if (!roaming || !*roaming) return "";
    CreateDirectoryW((std::wstring(roaming) + L"\\Tollybrook").c_str(), nullptr);
    return narrowed(roaming);
}

// The tune plays on Windows' own MIDI synthesiser: no patch set to hand over.
void use_system_midi_patches() {}

// Windows' own Arial, in the system's font folder.
std::vector<std::string> platform_fallback_fonts() {
    const wchar_t* windows = _wgetenv(L"WINDIR");
    if (!windows || !*windows) return {};
    return {narrowed(windows) + "/Fonts/arial.ttf"};
}
