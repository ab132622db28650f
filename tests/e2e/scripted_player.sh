#!/usr/bin/env bash
# A scripted player plays one level of the real game in a private X server,
# seeing it only through screenshots and moving only through xdotool: it lays
# tiles with both magnets, starts the battle, answers the dialog, wins the
# level-0 battle by shooting the grannies it sees, passes the score screen,
# reaches the level-1 build phase and closes the window. Then the score file
# beside the executable must hold the battle's score.
#
# The game runs with a media folder that holds only the font, so every
# picture is a flat placeholder square the player can find by its colour.
#
# INPUT is what the player plays with: the mouse (the default), the keyboard
# alone (keys), or the pad alone (pad): a FIFO the game reads as its joystick
# device (named in the allegro.cfg beside it), through the stand-in pad that
# answers the joystick driver's questions of it (LD_PRELOAD). With the pad,
# the player first opens the options card with Y and closes it with B.
#
# Usage: bash tests/e2e/scripted_player.sh [BUILD_DIR [mouse|keys|pad]]
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib_x.bash
source "$here/lib_x.bash"
input=${2:-mouse}
name=scripted_player
[ "$input" = mouse ] || name=scripted_player_$input
x_begin_player "$name" "${1:-build}"

x_start_server
echo "X server on $DISPLAY"
pad_args=()
if [ "$input" = pad ]; then
    standin="$build/tests/libpad_standin.so"
    [ -f "$standin" ] || x_fail "$standin has not been built"
    mkfifo "$work/pad"
    printf '[joystick]\njoystick_device = %s\n' "$work/pad" >"$work/game/allegro.cfg"
    pad_args=(--pad "$work/pad")
    LD_PRELOAD=$standin x_launch_game "$work/game" "$artifacts/game.log"
else
    x_launch_game "$work/game" "$artifacts/game.log"
fi
win=$(x_wait_window "$X_GAME_PID") || exit 1

started=$SECONDS
x_player play --window "$win" --artifacts "$artifacts" --summary "$work/summary.json" \
    --input "$input" "${pad_args[@]}" ||
    x_fail "the scripted player did not get through the level with the $input (screenshots in $artifacts)"

x_close_window "$win" || x_fail "cannot send the close message"
x_wait_exit "$X_GAME_PID" 15 || x_fail "the game did not end within 15 s of the close message"
[ "$X_GAME_STATUS" = 0 ] || x_fail "the game ended with status $X_GAME_STATUS after the close message"

x_player hiscores --file "$work/game/hi.dat" --summary "$work/summary.json" ||
    x_fail "hi.dat does not hold the battle's score"
echo "PASS: played through level 0 with the $input in $((SECONDS - started)) s"
