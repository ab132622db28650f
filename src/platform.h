// What the game asks of the operating system beyond Allegro: the process's
// start, the stop requests, the wake-up slack, the watchdog's thread and
// its way out, the program's own file, the per-user folders, the synthesiser's
// instruments and the system's fonts. platform_linux.cpp is the Linux
// side, platform_windows.cpp the Windows one, platform_web.cpp the web
// page's; the files of safe_file.h and the window's extras of gfx_parts.h
// have a side each too.
//
// The game's paths are UTF-8 strings on both sides. std::filesystem takes
// them through std::filesystem::u8path: on Windows a plain conversion reads
// them in another code page, and a folder named with any letter beyond
// ASCII would not be found. The C library's calls read them as UTF-8 there
// too, by the program's manifest (windows/tollybrook.manifest).
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// First thing in main: standard streams that are closed lead to the null
// device (else the next file opened would take their number and the first
// warning would be written into it), and a write over a file-size limit
// fails instead of ending the game.
void platform_prepare_process();

// The system's requests to stop (SIGTERM, SIGINT, SIGHUP; a console's
// close) call `note`, which may only set a flag.
void platform_catch_stop_requests(void (*note)(int));

// How late the calling thread's timed waits may wake (and the threads it
// makes from then on), in nanoseconds, where the system lets a program say.
void platform_set_timer_slack(unsigned long ns);

// Before Allegro starts: what its window must carry from its creation (the
// icon, the class a dock matches the launcher by).
void platform_before_allegro();
// After Allegro has started: when the display goes away for good (the X
// connection breaks) or the session ends, `save` keeps the scores. On a
// lost display the process then ends, status 1.
void platform_watch_display(void (*save)());

// Runs `body` on a detached thread that takes no stop signal.
void platform_start_quiet_thread(void (*body)());
// Writes `line` to standard error and ends the process at once with status
// 0, past every exit handler: only calls that are safe whatever the other
// threads hold.
[[noreturn]] void platform_leave_now(const char* line);

// The running program's full name with '/' between folders, any length and
// any characters; empty when it cannot be found.
std::string platform_executable_file();
// The working folder, '/' between folders; empty when unknown.
std::string platform_working_folder();

// A descriptor open for reading `path` without waiting (a named pipe there
// does not stall) and not inherited by programs started later; -1 with
// errno set when it cannot be opened.
int platform_open_for_reading(const char* path);

// The pad Allegro's joystick driver reads, watched for going away: Allegro
// keeps the last values a pad sent. platform_watch_pad starts watching the
// device the driver has just opened (none to watch: never gone);
// platform_pad_gone is true once that device has gone away (unplugged, its
// link dropped; for a named pipe, its writer gone). Windows' DirectInput
// takes a pad back by itself, and there a pad is never seen to go.
void platform_watch_pad();
bool platform_pad_gone();

// When files under `folder` may be out of the system's reach for the length
// of their path alone, a sentence that says so (for a message about missing
// files); nullptr when the length is no matter.
const char* platform_path_length_note(const std::string& folder);

// A per-user folder of the XDG kind: $VARIABLE when it holds an absolute
// path, else $HOME/UNDER_HOME (e.g. "XDG_DATA_HOME", ".local/share"); empty
// when neither is usable.
std::string user_folder(const char* variable, const char* under_home);

// Gives Allegro's MIDI synthesiser the system's patch set, unless the
// player's own Allegro configuration names one. Call before install_sound.
void use_system_midi_patches();

// The system's own fonts the game's text may fall back on, best first.
std::vector<std::string> platform_fallback_fonts();

// What became of reading a small file (platform_read_small_file).
enum class small_file { read, missing, not_regular, too_large, failed };
// Reads the regular file at `path`, of at most `limit` bytes, into `text`,
// opened as platform_open_for_reading opens it (a named pipe there does not
// stall). On `failed` errno says why.
small_file platform_read_small_file(const char* path, size_t limit, std::string* text);
// 0 when the file at `path` may be read; else why not, as an errno value
// (ENOENT when there is none).
int platform_unreadable(const char* path);
