#!/usr/bin/env bash
# The window shows exactly the frame in the back buffer although only the
# changed parts of each frame are sent to it: after three seconds of a busy
# battle (200 grannies walking, meteors falling), of the build phase and of
# the score table over it, the window is captured and compared with the back
# buffer, colour for colour at the 16-bit frame's precision.
#
# Usage: bash tests/e2e/window_frames.sh [BUILD_DIR]
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib_x.bash
source "$here/lib_x.bash"
x_begin frames "${1:-build}"
x_need python3 import convert
probe="$build/bench/cpu_probe"
[ -x "$probe" ] || { echo "SKIP: cpu_probe was not built"; exit 0; }

cp "$probe" "$work/"
ln -s "$build/media" "$work/media"
x_start_server

for scene in battle build score; do
    rm -f "$work/frame.bmp" "$work/out.txt"
    (cd "$work" && exec ./cpu_probe "$scene" 3 200 frame.bmp >out.txt 2>/dev/null) &
    X_GAME_PID=$!
    win=$(x_wait_window "$X_GAME_PID") || exit 1
    for _ in $(seq 100); do
        grep -q "frame saved" "$work/out.txt" 2>/dev/null && break
        sleep 0.1
    done
    grep -q "frame saved" "$work/out.txt" || x_fail "$scene: the probe saved no frame"
    import -window "$win" "$work/shot.png" || x_fail "$scene: cannot capture the window"
    convert "$work/shot.png" -depth 8 "rgb:$work/shot.rgb"
    convert "$work/frame.bmp" -depth 8 "rgb:$work/frame.rgb"
    python3 - "$work/shot.rgb" "$work/frame.rgb" "$scene" <<'PY' || exit 1
import sys
shot, frame, scene = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read(), sys.argv[3]
if len(shot) != len(frame) or len(frame) != 640 * 480 * 3:
    sys.exit(f"FAIL: {scene}: sizes differ ({len(shot)} and {len(frame)} bytes)")
keep = (0xF8, 0xFC, 0xF8)  # the bits a 5-6-5 pixel holds
differing = [i // 3 for i in range(len(frame)) if (shot[i] ^ frame[i]) & keep[i % 3]]
if differing:
    first = differing[0]
    sys.exit(f"FAIL: {scene}: {len(set(differing))} pixels differ, the first at "
             f"({first % 640},{first // 640})")
print(f"{scene}: the window matches the back buffer")
PY
    x_stop_game
done
echo "PASS"
