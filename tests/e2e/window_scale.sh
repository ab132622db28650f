#!/usr/bin/env bash
# The window at a whole-number scale, in Xvfb:
#  - on a 1920x1080 desktop (with openbox) the window opens at scale 2,
#    1280x960, and clicks at window pixels lay tiles in the cells under
#    them, exactly: a click one window pixel above and left of a cell's
#    corner lands in the cell before it;
#  - every window pixel of a busy battle is its back-buffer pixel at scale 2,
#    in the window, in fullscreen (centred on black, the window manager
#    asked for it) and in the window again;
#  - F11 and Alt+Enter switch there and back, remembered, and twenty quick
#    switches (pressed while those before them are under way) end in the
#    window again, with openbox and without a window manager, where an
#    Escape among quick switches ends the game;
#  - on a 3840x2160 desktop --scale 8 opens the largest window that fits, at
#    scale 4 (2560x1920), and says so; at --scale 3 clicks land as at scale 2,
#    and the options card takes the window to scale 2, remembered;
#  - on a 320x240 desktop the game says it is smaller than the frame, opens
#    the 640x480 window, and F11 shows the frame's middle at scale 1.
#
# Usage: bash tests/e2e/window_scale.sh [BUILD_DIR]
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib_x.bash
source "$here/lib_x.bash"
x_begin scale "${1:-build}"
x_need python3 import convert openbox xwininfo xprop xev stdbuf
probe="$build/bench/cpu_probe"
[ -x "$probe" ] || { echo "SKIP: cpu_probe was not built"; exit 0; }
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
cp "$probe" "$work/"
ln -s "$build/media" "$work/media"
x_stage_placeholder_game "$work/game" "$build"
x_player hiscores --seed --file "$work/game/hi.dat" || x_fail "cannot write the starting hi.dat"

# A screen of SIZE, with openbox when asked.
start_desktop() {
    X_SCREEN=$1 x_start_server
    if [ "${2:-}" = openbox ]; then
        openbox --sm-disable >/dev/null 2>&1 &
        for _ in $(seq 100); do
            xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
            sleep 0.1
        done
        x_fail "openbox did not start"
    fi
}

wait_line() {
    for _ in $(seq 100); do
        grep -q "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    x_fail "no \"$2\" in $1: $(tr '\n' ' ' <"$1")"
}

capture() {
    import -window "$1" "$work/shot.png" || x_fail "cannot capture $1"
    convert "$work/shot.png" -depth 8 "rgb:$2"
}

# same_picture SHOT.rgb W H SCALE X Y WHAT: the shot holds frame.bmp at SCALE
# with its top left corner at X, Y, black all round, at the 16-bit frame's
# precision.
same_picture() {
    convert "$work/frame.bmp" -depth 8 "rgb:$work/frame.rgb"
    python3 - "$work/frame.rgb" "$@" <<'PY' || exit 1
import sys
frame = open(sys.argv[1], "rb").read()
shot = open(sys.argv[2], "rb").read()
w, h, s, left, top = map(int, sys.argv[3:8])
what = sys.argv[8]
if len(frame) != 640 * 480 * 3 or len(shot) != w * h * 3:
    sys.exit(f"FAIL: {what}: sizes differ ({len(shot)} bytes, not {w * h * 3})")
black, want = bytes(3 * w), []
for y in range(h):
    fy = (y - top) // s
    if y < top or fy >= 480:
        want.append(black)
        continue
    row = frame[fy * 1920:(fy + 1) * 1920]
    wide = b"".join(row[i:i + 3] * s for i in range(0, 1920, 3))
    want.append(bytes(3 * left) + wide + bytes(3 * (w - left - 640 * s)))
want = b"".join(want)
for c, mask in enumerate((0xF8, 0xFC, 0xF8)):  # the bits a 5-6-5 pixel holds
    table = bytes(v & mask for v in range(256))
    if shot[c::3].translate(table) != want[c::3].translate(table):
        first = next(i for i in range(c, len(want), 3) if (shot[i] ^ want[i]) & mask) // 3
        sys.exit(f"FAIL: {what}: pixel ({first % w},{first // w}) is not the frame's at scale {s}")
print(f"{what}: every pixel is the frame's at scale {s}")
PY
}

# Starts the staged game with ARGS, checks its window is W x H.
start_game() {
    local size=$1
    shift
    (cd "$work/game" && exec ./tollybrook "$@" >game.log 2>&1) &
    X_GAME_PID=$!
    win=$(x_wait_window "$X_GAME_PID") || exit 1
    [ "$(x_window_size "$win")" = "$size" ] || x_fail "the window is $(x_window_size "$win"), not $size"
    sleep 1.5  # loading, and the first frame
}

# At scale S: the second kind picked, then clicks at the corner of cells
# (2,2) less one window pixel, and at the corner of cell (4,3) itself; only
# cells (1,1) and (4,3) change.
clicks_land() {
    local s=$1
    xdotool mousemove --window "$win" 5 5
    sleep 0.3
    capture "$win" "$work/before.rgb"
    read -r slot_x slot_y corner_x corner_y exact_x exact_y < <(python3 - "$build/layout.json" "$s" <<'PY'
import json, sys
L, s = json.load(open(sys.argv[1])), int(sys.argv[2])
c, top = L["cell_size"], L["field_top"]
print(s * (640 - L["palette_left_from_right"] + 20), s * (L["palette_top"] + L["slot_pitch"] + 20),
      s * 2 * c - 1, s * (top + 2 * c) - 1, s * 4 * c, s * (top + 3 * c))
PY
)
    x_click "$win" "$slot_x" "$slot_y"
    x_click "$win" "$corner_x" "$corner_y"
    x_click "$win" "$exact_x" "$exact_y"
    sleep 0.3
    capture "$win" "$work/after.rgb"
    python3 - "$build/layout.json" "$s" "$work/before.rgb" "$work/after.rgb" <<'PY' || exit 1
import json, sys
L, s = json.load(open(sys.argv[1])), int(sys.argv[2])
before, after = open(sys.argv[3], "rb").read(), open(sys.argv[4], "rb").read()
c, top, w = L["cell_size"], L["field_top"], 640 * s
def centre(shot, col, row):
    x, y = s * (col * c + c // 2 - 4), s * (top + row * c + c // 2 - 4)
    return b"".join(shot[3 * ((y + j) * w + x):3 * ((y + j) * w + x + 8 * s)] for j in range(8 * s))
changed = {(col, row) for col in range(L["grid_columns"]) for row in range(L["grid_rows"])
           if centre(before, col, row) != centre(after, col, row)}
if changed != {(1, 1), (4, 3)}:
    sys.exit(f"FAIL: at scale {s} the clicks changed the cells {sorted(changed)}, not (1, 1) and (4, 3)")
print(f"scale {s}: the clicks laid tiles in the cells under them")
PY
    x_stop_game
}

# Twenty quick switches, F11 and Alt+Enter in turn. Each takes the game a
# tenth of a second or more, and a window manager more: most come while one
# is under way. Each switch maps the window anew, so the maps count them;
# they end in the 1280x960 window.
quick_switches() {
    local presses=() calm=0 maps xev_pid
    stdbuf -oL xev -id "$win" -event structure >"$work/xev.txt" 2>/dev/null &
    xev_pid=$!
    sleep 0.5
    for _ in $(seq 10); do presses+=(F11 alt+Return); done
    xdotool key --delay 40 "${presses[@]}"
    for _ in $(seq 300); do
        if xwininfo -id "$win" | grep -q "geometry 1280x960" && grep -q "fullscreen = 0" "$choices" &&
            ! xprop -id "$win" _NET_WM_STATE | grep -q FULLSCREEN; then
            calm=$((calm + 1))
        else
            calm=0
        fi
        [ $calm -ge 20 ] && break
        sleep 0.1
    done
    kill "$xev_pid"
    wait "$xev_pid" 2>/dev/null
    maps=$(grep -c '^MapNotify' "$work/xev.txt")
    [ "$maps" = 20 ] || x_fail "20 quick switches switched $maps times"
    [ $calm -ge 20 ] || x_fail "20 quick switches did not end in the window: $(xwininfo -id "$win" | grep geometry), $(cat "$choices")"
}

start_desktop 1920x1080x24 openbox
start_game "1280 960"
echo "1920x1080: the window opens at 1280x960"
clicks_land 2

# F11 in the game goes fullscreen, Alt+Enter back; both remembered.
choices=$XDG_CONFIG_HOME/tollybrook/tollybrook.cfg
start_game "1280 960"
switched_to() {  # switched_to GEOMETRY FULLSCREEN
    for _ in $(seq 50); do
        xwininfo -id "$win" | grep -q "geometry $1" && grep -q "fullscreen = $2" "$choices" && return 0
        sleep 0.1
    done
    x_fail "not at $1 with fullscreen = $2: $(xwininfo -id "$win" | grep geometry), $(cat "$choices")"
}
x_hold_key F11
switched_to 1920x1080+0+0 1
x_hold_key alt+Return
switched_to 1280x960 0
echo "F11 switches to fullscreen and Alt+Enter back, remembered"
quick_switches
echo "20 quick switches switch 20 times and end in the window"
x_stop_game

(cd "$work" && exec ./cpu_probe battle 3 200 frame.bmp >out.txt 2>/dev/null) &
X_GAME_PID=$!
win=$(x_wait_window "$X_GAME_PID") || exit 1
wait_line "$work/out.txt" "frame saved"
capture "$win" "$work/shot.rgb"
same_picture "$work/shot.rgb" 1280 960 2 0 0 "the window"
kill -USR1 "$X_GAME_PID"
wait_line "$work/out.txt" "fullscreen, scale 2"
for _ in $(seq 50); do
    xwininfo -id "$win" | grep -q 'geometry 1920x1080+0+0' && break
    sleep 0.1
done
xprop -id "$win" _NET_WM_STATE | grep -q _NET_WM_STATE_FULLSCREEN || x_fail "openbox was not asked for fullscreen"
sleep 0.3
capture root "$work/shot.rgb"
same_picture "$work/shot.rgb" 1920 1080 2 320 60 "fullscreen"
kill -USR1 "$X_GAME_PID"
wait_line "$work/out.txt" "window, scale 2"
sleep 0.5
[ "$(x_window_size "$win")" = "1280 960" ] || x_fail "back from fullscreen the window is $(x_window_size "$win")"
capture "$win" "$work/shot.rgb"
same_picture "$work/shot.rgb" 1280 960 2 0 0 "the window again"
x_stop_all

# says LINE: the game said it on standard error.
says() {
    grep -qF "$1" "$work/game/game.log" || x_fail "no \"$1\" in: $(grep -v ALSA "$work/game/game.log")"
}

start_desktop 3840x2160x24
start_game "2560 1920" --scale 8
says "a window at scale 8 does not fit the 3840x2160 screen; using scale 4"
echo "3840x2160: --scale 8 opens the window at 2560x1920 and says so"
x_stop_game
start_game "1920 1440" --scale 3
clicks_land 3
# The options card's last row sets the window's scale, at once and remembered.
start_game "1920 1440"
xdotool mousemove --window "$win" 5 5
x_hold_key o
for k in Down Down Down Left; do
    sleep 0.2
    x_hold_key "$k"
done
for _ in $(seq 50); do  # a window of the new size
    win=$(x_wait_window "$X_GAME_PID" 1 2>/dev/null) || x_fail "no game window after the options card's Left"
    [ "$(x_window_size "$win")" = "1280 960" ] && break
    sleep 0.1
done
[ "$(x_window_size "$win")" = "1280 960" ] || x_fail "the options card's Left left the window at $(x_window_size "$win")"
grep -q "^scale = 2$" "$XDG_CONFIG_HOME/tollybrook/tollybrook.cfg" ||
    x_fail "the options card's scale was not remembered: $(cat "$XDG_CONFIG_HOME/tollybrook/tollybrook.cfg")"
echo "3840x2160: the options card takes the window from scale 3 to 2, remembered"
x_stop_all

# Without a window manager the keyboard's focus follows the pointer, and
# while a switch maps the window anew the keys go nowhere unless the game
# holds them: every press still switches, and an Escape that comes and goes
# while switches are under way still ends the game.
start_desktop 1920x1080x24
start_game "1280 960"
quick_switches
echo "without a window manager: 20 quick switches switch 20 times and end in the window"
xdotool key --delay 40 F11 F11 F11 F11 F11 F11 F11 F11 F11 F11 Escape
x_wait_exit "$X_GAME_PID" 10 || x_fail "an Escape after quick switches did not end the game"
echo "without a window manager: an Escape in the middle of switches ends the game"
x_stop_all

start_desktop 320x240x24
# Windowed: the Escape above may have ended the game in fullscreen, remembered.
start_game "640 480" --windowed
says "the 320x240 screen is smaller than the game's 640x480 frame"
x_hold_key F11
for _ in $(seq 50); do
    [ "$(x_window_size "$win")" = "320 240" ] && break
    sleep 0.1
done
[ "$(x_window_size "$win")" = "320 240" ] || x_fail "F11 on 320x240 left the window at $(x_window_size "$win")"
echo "320x240: the 640x480 window, said so, and F11 fills the screen"
echo "PASS"
