// The command line and the remembered choices: what the player asked for
// at launch, and what earlier launches asked for.
#include <allegro.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "data_handler.h"
#include "main.h"

// ---------------------------------------------------------------- command line

static const char usage_line[] =
    "usage: tollybrook [-w|--windowed] [-f|--fullscreen] [--mute|--sound]\n"
    "       tollybrook --help | --version\n";

static void print_help() {
    std::printf("%s\n", usage_line);
    std::printf(
        "Lay tiles, then drop meteors on the grannies marching on your castle.\n\n"
        "  -w, --windowed    play in a 640x480 window (the default)\n"
        "  -f, --fullscreen  play full screen where the system allows it,\n"
        "                    else in the window\n"
        "      --mute        play without sound\n"
        "      --sound       play with sound again after --mute\n"
        "      --help        show this help and exit\n"
        "      --version     show the version and exit\n\n"
        "The screen mode and the sound choice are remembered in\n"
        "$XDG_CONFIG_HOME/tollybrook/tollybrook.cfg; the command line wins.\n"
        "Keys: P or Pause pauses the build phase and the battle, Escape quits.\n");
}

int parse_command_line(int argc, char** argv, launch_choices& choices) {
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (!std::strcmp(arg, "--help")) {
            print_help();
            return 0;
        }
        if (!std::strcmp(arg, "--version")) {
            std::printf("tollybrook %s\n", TOLLYBROOK_VERSION);
            return 0;
        }
        if (!std::strcmp(arg, "-w") || !std::strcmp(arg, "--windowed"))
            choices.fullscreen = 0;
        else if (!std::strcmp(arg, "-f") || !std::strcmp(arg, "--fullscreen"))
            choices.fullscreen = 1;
        else if (!std::strcmp(arg, "--mute"))
            choices.mute = 1;
        else if (!std::strcmp(arg, "--sound"))
            choices.mute = 0;
        else {
            std::fprintf(stderr, "tollybrook: unknown option '%s'\n%s", arg, usage_line);
            return 2;
        }
    }
    return -1;
}

// ---------------------------------------------------------------- remembered choices

std::string choices_file_path() {
    std::string base = user_folder("XDG_CONFIG_HOME", ".config");
    return base.empty() ? "" : base + "/tollybrook/tollybrook.cfg";
}

// Works on its own config file, leaving Allegro's (allegro.cfg with the
// sound set-up) in place for everything else.
void settle_choices(launch_choices& choices) {
    std::string path = choices_file_path();
    bool said = choices.fullscreen >= 0 || choices.mute >= 0;
    push_config_state();
    if (path.empty())
        set_config_data("", 0);  // nowhere to remember: the defaults
    else
        set_config_file(path.c_str());
    if (choices.fullscreen < 0)
        choices.fullscreen = get_config_int("tollybrook", "fullscreen", 0) != 0;
    if (choices.mute < 0) choices.mute = get_config_int("tollybrook", "mute", 0) != 0;
    if (said && !path.empty() &&
        (get_config_int("tollybrook", "fullscreen", -1) != choices.fullscreen ||
         get_config_int("tollybrook", "mute", -1) != choices.mute)) {
        make_folders(path.substr(0, path.rfind('/')), 0755);
        set_config_int("tollybrook", "fullscreen", choices.fullscreen);
        set_config_int("tollybrook", "mute", choices.mute);
        flush_config_file();
    }
    pop_config_state();
}
