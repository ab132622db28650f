// The program's entry: the command line, then start-up, the game, shutdown.
#include <allegro.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "game.h"
#include "main.h"

// A closed standard stream would be taken by the next file opened (the X
// connection, say) and the first warning written into it: before anything
// else opens a file, descriptors 0, 1 and 2 that are closed lead to /dev/null.
static void open_closed_std_streams() {
    for (int fd = 0; fd <= 2; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {  // a lower one was closed as well: not expected
            dup2(opened, fd);
            close(opened);
        }
    }
}

// The help and the version must reach their reader: a failed write is an error.
static int written_out(int status) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    int why = errno;
    std::fprintf(stderr, "tollybrook: cannot write to standard output: %s\n", std::strerror(why));
    return 1;
}

int main(int argc, char** argv) {
    open_closed_std_streams();
    // Over a file-size limit a write fails (and the save says so) instead of
    // the kernel ending the game.
    std::signal(SIGXFSZ, SIG_IGN);
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
