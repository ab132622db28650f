// The program's entry: the command line, then start-up, the game, shutdown.
#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "game.h"
#include "main.h"
#include "platform.h"

// The help and the version must reach their reader: a failed write is an error.
static int written_out(int status) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    int why = errno;
    std::fprintf(stderr, "tollybrook: cannot write to standard output: %s\n", std::strerror(why));
    return 1;
}

int main(int argc, char** argv) {
    platform_prepare_process();
    launch_choices choices;
    int status = parse_command_line(argc, argv, choices);
    if (status >= 0) return status == 0 ? written_out(status) : status;
    start_shutdown_watchdog();
    setup(choices);
    run(choices.first_start);
    game_finished = 1;
    cleanup();
    return 0;
}
END_OF_MAIN()
