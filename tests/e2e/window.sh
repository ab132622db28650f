#!/usr/bin/env bash
# The real window under Xvfb: the game opens a 640x480 window named
# "Tollybrook"; holding Escape ends it with status 0, and so does the close
# message a window manager's close button sends. Either way it writes hi.dat
# beside the executable on the way out.
#
# Usage: bash tests/e2e/window.sh [BUILD_DIR]
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib_x.bash
source "$here/lib_x.bash"
x_begin window "${1:-build}"
x_need python3 xwininfo cmp


# Starts a staged copy, checks the window, waits for the first drawn frame.
start_game() {
    local dir=$1 size
    x_launch_game "$dir" "$dir/game.log"
    win=$(x_wait_window "$X_GAME_PID") || exit 1
    size=$(x_window_size "$win")
    [ "$size" = "640 480" ] || x_fail "the window is $size, not 640 480"
    x_player wait-build --window "$win" || x_fail "the build phase was never drawn"
}

x_start_server
echo "X server on $DISPLAY"
if [ -e "$build/media" ]; then
    media_note="with the build's media"
else
    media_note="without media"
fi

# 1. Escape, held for a few ticks, ends the program. With no hi.dat beside
#    it the game writes its default table, in ascending order.
x_stage_game "$work/esc" "$build"
[ -e "$build/media" ] && ln -s "$build/media" "$work/esc/media"
start_game "$work/esc"
xdotool mousemove 320 240
x_hold_key Escape 0.1
x_wait_exit "$X_GAME_PID" 10 || x_fail "the game was still running 10 s after Escape"
[ "$X_GAME_STATUS" = 0 ] || x_fail "Escape: exit status $X_GAME_STATUS, not 0"
[ -f "$work/esc/hi.dat" ] || x_fail "Escape: no hi.dat written"
x_table 0 10 20 30 40 50 60 70 80 90 >"$work/default.dat"
cmp -s "$work/esc/hi.dat" "$work/default.dat" ||
    x_fail "Escape: hi.dat is not the default table: $(od -c "$work/esc/hi.dat" | head -5)"
echo "ok: Escape ends the game with status 0 and writes the default table ($media_note)"

# 2. The window manager's close message ends the program too. A table of
#    twelve records, out of order, comes back as its ten best, best first.
x_stage_game "$work/close" "$build"
[ -e "$build/media" ] && ln -s "$build/media" "$work/close/media"
x_table 7 -3 500 0 123456789 42 -99999999 8 8 1 66 77 >"$work/close/hi.dat"
x_table 123456789 500 77 66 42 8 7 1 0 -3 >"$work/expected.dat"
start_game "$work/close"
x_close_window "$win" || x_fail "cannot send the close message"
x_wait_exit "$X_GAME_PID" 10 || x_fail "the game was still running 10 s after the close message"
[ "$X_GAME_STATUS" = 0 ] || x_fail "close button: exit status $X_GAME_STATUS, not 0"
cmp -s "$work/close/hi.dat" "$work/expected.dat" ||
    x_fail "close button: hi.dat is not the ten best records it read: $(od -c "$work/close/hi.dat" | head -8)"
echo "ok: the close button ends the game with status 0 and writes back the best of the table it read"
echo "PASS"
