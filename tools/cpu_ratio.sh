#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
# Whole-process CPU of the game's tick loop against a bare Allegro loop
# (rest(1) and a whole 640x480 16-bit frame copied to the window 60 times a
# second), both running at once in one private Xvfb, so whatever else loads
# the machine weighs on both alike. Scenes: a battle holding 200 grannies
# with meteors falling, the build phase, a story dialog, the score table.
# Each round measures SECONDS of CPU time (all threads) after a short
# warm-up; the last lines give the median ratio per scene. At SCALE above 1
# the game shows its frame at that scale (the bare loop stays at 640x480),
# in a screen large enough for the window.
#
#   tools/cpu_ratio.sh [BUILD_DIR] [SECONDS] [ROUNDS] [SCALE]
#
# Needs the targets cpu_probe and bare_loop (built with the benchmarks).
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd) || exit 1
seconds=${2:-8}
rounds=${3:-3}
scale=${4:-1}
[ "$scale" -gt 1 ] && export X_SCREEN=${X_SCREEN:-$((640 * scale + 100))x$((480 * scale + 100))x24}
# shellcheck source=../tests/e2e/lib_x.bash
source "$root/tests/e2e/lib_x.bash"
for program in cpu_probe bare_loop; do
    [ -x "$build/bench/$program" ] || x_fail "build $program first (cmake --build $build --target $program)"
done

work=$(mktemp -d /tmp/tollybrook-cpu.XXXXXX)
pids=()
stop_probes() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
}
trap 'stop_probes; x_stop_all; rm -rf "$work"' EXIT
cp "$build/bench/cpu_probe" "$build/bench/bare_loop" "$work/"
# The probe settles the game's choices: in a folder of its own, not the player's.
export XDG_CONFIG_HOME="$work/config"
ln -s "$build/media" "$work/media"
x_start_server
echo "X server on $DISPLAY; the game at scale $scale; $seconds s a round, $rounds round(s); $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"

# CPU time of every thread of a process so far, in nanoseconds.
cpu_ns() {
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ns += $1} END {printf "%d\n", ns}'
}

results="$work/results"
: >"$results"
measure() {
    local scene=$1 warm=2 game bare g0 b0 g1 b1 t0 t1
    local lifetime=$((seconds + warm + 2))
    (cd "$work" && exec ./cpu_probe -s "$scale" "$scene" "$lifetime" 200) &
    game=$!
    (cd "$work" && exec ./bare_loop "$lifetime") &
    bare=$!
    pids=("$game" "$bare")
    sleep "$warm"
    g0=$(cpu_ns "$game") b0=$(cpu_ns "$bare") t0=$(date +%s%N)
    sleep "$seconds"
    g1=$(cpu_ns "$game") b1=$(cpu_ns "$bare") t1=$(date +%s%N)
    wait "$game" "$bare"
    pids=()
    python3 - "$scene" "$g0" "$g1" "$b0" "$b1" "$t0" "$t1" <<'PY' | tee -a "$results"
import sys
scene, g0, g1, b0, b1, t0, t1 = sys.argv[1], *map(int, sys.argv[2:])
wall = t1 - t0
game, bare = (g1 - g0) / wall * 100, (b1 - b0) / wall * 100
print(f"{scene:7s} game {game:5.2f}% of a core   bare loop {bare:5.2f}%   ratio {game / bare:.2f}")
PY
}

for round in $(seq "$rounds"); do
    for scene in battle build dialog score; do measure "$scene"; done
done
python3 - "$results" <<'PY'
import statistics, sys
ratios = {}
for line in open(sys.argv[1]):
    words = line.split()
    ratios.setdefault(words[0], []).append(float(words[-1]))
for scene, r in ratios.items():
    print(f"median ratio {scene:7s} {statistics.median(r):.2f}  (of {len(r)}: {', '.join(f'{x:.2f}' for x in r)})")
PY
