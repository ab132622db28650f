// The program's entry: the command line, then start-up, the game, shutdown.
#include <allegro.h>

#include "game.h"
#include "main.h"

int main(int argc, char** argv) {
    launch_choices choices;
    int status = parse_command_line(argc, argv, choices);
    if (status >= 0) return status;
    setup(choices);
    run();
    cleanup();
    return 0;
}
END_OF_MAIN()
