#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
# Input-to-screen latency of the game against a bare Allegro loop, both in one
# private Xvfb, side by side, so whatever else loads the machine weighs on
# both alike. Three scenes, each with its own game program next to a fresh
# bare loop (which recolours a square on each press and copies its whole
# frame to the window every tick):
#   build   the game itself in its build phase: a click on a grid cell,
#   dialog  bench/latency_scene's dialog: a key turns the page,
#   battle  bench/latency_scene's battle of 200 grannies: a click drops a
#           meteor; also the gaps between the frames each window received.
# Each loop also says how it kept its pace by its own clock.
# bench/latency_probe presses PRESSES times over each window in turn at random
# moments and prints, per window, mean, median, 90th percentile and maximum in
# milliseconds. Exits non-zero when a press went unseen or a program failed.
#
#   tools/latency.sh [--no-shm] [--scale S] [BUILD_DIR] [PRESSES] [SEED]
#
# --scale shows the game's frame at scale S (the bare loop stays at 640x480).
#
# With MIT-SHM (as a desktop's X server has it) Allegro hands the server a
# whole frame in a request of a few bytes, which then waits in Xlib's buffer
# like any small one. --no-shm starts the server without it: a whole frame is
# then sent at once, the quickest a bare Allegro loop gets to the screen.
#
# Needs the targets tollybrook, latency_probe, latency_scene and bare_loop
# (built with the benchmarks).
set -u
server_args=()
if [ "${1:-}" = --no-shm ]; then
    server_args=(-extension MIT-SHM)
    shift
fi
scale=1
if [ "${1:-}" = --scale ]; then
    scale=$2
    shift 2
fi
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd) || exit 1
presses=${2:-180}
seed=${3:-$(date +%s)}
# shellcheck source=../tests/e2e/lib_x.bash
source "$root/tests/e2e/lib_x.bash"
x_need Xvfb xdotool xwininfo
for program in tollybrook bench/latency_probe bench/latency_scene bench/bare_loop; do
    [ -x "$build/$program" ] || x_fail "build $program first (cmake --build $build --target $(basename "$program"))"
done

work=$(mktemp -d /tmp/tollybrook-latency.XXXXXX)
server=""
pids=()
stop_all() {
    local pid
    for pid in "${pids[@]}"; do x_kill "$pid"; done
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null
        wait "$server" 2>/dev/null
    fi
    rm -rf "$work"
}
trap stop_all EXIT
x_stage_built_game "$work" "$build"
cp "$build/bench/latency_probe" "$build/bench/latency_scene" "$build/bench/bare_loop" "$work/"
# The game's remembered choices and score table stay in here.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$XDG_CONFIG_HOME/tollybrook" && : >"$XDG_CONFIG_HOME/tollybrook/tollybrook.cfg"  # no first-start help card

# Wide enough for both windows side by side: the probe reads back pixels,
# which a covered window would not give.
screen_w=$((640 * scale + 660)) screen_h=$((480 * scale > 480 ? 480 * scale + 20 : 500))
Xvfb -displayfd 3 -screen 0 "${screen_w}x${screen_h}x24" -noreset -nolisten tcp "${server_args[@]}" 3>"$work/display" 2>"$work/xvfb.log" &
server=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || x_fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(cat "$work/display")"
echo "X server on $DISPLAY${server_args:+ without MIT-SHM}; the game at scale $scale; $presses presses a window and scene, seed $seed; $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"

# Prints the id of the visible window called NAME once PID has made it.
window_of() {
    local pid=$1 name=$2 id _
    for _ in $(seq 200); do
        kill -0 "$pid" 2>/dev/null || return 1
        for id in $(xdotool search --onlyvisible --name "^$name\$" 2>/dev/null); do
            [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$name" ] || continue
            xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' && echo "$id" && return 0
        done
        sleep 0.1
    done
    return 1
}

# Ends a program with SIGTERM, so that it reports; by force if it hangs.
stop() {
    kill -TERM "$1" 2>/dev/null
    x_wait_exit "$1" 10 || x_kill "$1"
}

status=0
measure() {
    local scene=$1 game bare game_window bare_window
    shift
    (cd "$work" && exec ./bare_loop 3600 >"bare-$scene.log" 2>&1) &
    bare=$!
    (cd "$work" && exec "$@" >"$scene.log" 2>&1) &
    game=$!
    pids+=("$bare" "$game")
    if ! bare_window=$(window_of "$bare" bare_loop) || ! game_window=$(window_of "$game" Tollybrook); then
        echo "FAIL: $scene: a window is missing; the output:" >&2
        cat "$work/bare-$scene.log" "$work/$scene.log" >&2
        status=1
        return
    fi
    xdotool windowmove "$game_window" 0 0
    xdotool windowmove "$bare_window" $((640 * scale + 10)) 0
    sleep 1  # the first frames and the moves settle
    "$work/latency_probe" "$scene" "$game_window" "$bare_window" "$presses" "$seed" "$scale" >"$work/probe.out" || status=1
    grep -v '^seed' "$work/probe.out"
    kill -0 "$bare" 2>/dev/null || { echo "FAIL: $scene: the bare loop ended early" >&2; status=1; }
    kill -0 "$game" 2>/dev/null || { echo "FAIL: $scene: the game ended early" >&2; status=1; }
    stop "$game"
    stop "$bare"
    grep -h 'presented' "$work/$scene.log" "$work/bare-$scene.log" | sed "s/^/$scene   /"
}

measure build ./tollybrook --scale "$scale"
measure dialog ./latency_scene -s "$scale" dialog 3600
measure battle ./latency_scene -s "$scale" battle 3600 200
echo "load at the end $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
