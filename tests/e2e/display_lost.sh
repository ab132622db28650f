#!/usr/bin/env bash
# The X server dies in the middle of a battle, twenty times. Each time the
# game must notice, say so on stderr, save its table and stop with status
# 1: no crash, no hang, a whole hi.dat.
#
#   bash tests/e2e/display_lost.sh BUILD_DIR [RUNS]
set -uo pipefail

build=${1:?usage: display_lost.sh BUILD_DIR [RUNS]}
build=$(cd "$build" && pwd)
runs=${2:-20}
source "$(dirname "$0")/lib_x.bash"

work=$(mktemp -d /tmp/tollybrook-display-lost.XXXXXX)
trap 'x_stop_all; rm -rf "$work"' EXIT
default_table=$(x_table 0 10 20 30 40 50 60 70 80 90 | od -An -tx1) || exit 1

# One run in DIR's staged game; prints why it failed, or nothing.
one_run() {
    local dir=$1 id key
    x_start_server
    rm -f "$dir/hi.dat"
    (cd "$dir" && exec ./tollybrook >"$dir/out" 2>"$dir/err") &
    X_GAME_PID=$!
    id=$(x_wait_window "$X_GAME_PID") || { x_stop_all; echo "no window"; return; }
    # The start button, Y, and the story pages up to the battle.
    xdotool mousemove --window "$id" 570 448 mousedown 1
    sleep 0.06
    xdotool mouseup 1
    for key in y space space space; do
        x_hold_key "$key" 0.06
        sleep 0.05
    done
    # A shot, and the server gone at a different moment of the battle each time.
    xdotool mousemove --window "$id" 200 300 click 1
    sleep "0.$((RANDOM % 4))"
    kill "$X_SERVER_PID"
    wait "$X_SERVER_PID" 2>/dev/null
    X_SERVER_PID=""
    if ! x_wait_exit "$X_GAME_PID" 5; then
        x_stop_game
        echo "still running 5 s after the display went away"
    elif [ "$X_GAME_STATUS" -ne 1 ]; then
        echo "exit status $X_GAME_STATUS"
    elif ! grep -q '^tollybrook: lost the X display' "$dir/err"; then
        echo "no word on stderr about the lost display"
    elif [ "$(od -An -tx1 "$dir/hi.dat" 2>/dev/null)" != "$default_table" ]; then
        echo "the table was not saved whole"
    fi
}

# Two workers, each with its own game folder and X servers.
worker() {
    local w=$1 dir=$work/game$1 run why
    x_stage_built_game "$dir" "$build"
    for ((run = w; run <= runs; run += 2)); do
        why=$(one_run "$dir")
        [ -z "$why" ] && continue
        echo "FAIL run $run: $why"
        grep -v '^ALSA' "$dir/err" | tail -n 3 | sed 's/^/    /'
    done
}

started=$SECONDS
worker 1 >"$work/result1" &
worker 2 >"$work/result2" &
wait
cat "$work"/result?
failures=$(cat "$work"/result? | grep -c '^FAIL')
echo "display lost: $((runs - failures)) of $runs runs ended in order ($((SECONDS - started)) s)"
[ "$failures" -eq 0 ]
