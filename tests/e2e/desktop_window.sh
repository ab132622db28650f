#!/usr/bin/env bash
# The program as a desktop sees it. Without a display: --help, --version, an
# unknown option and a bad volume answer and exit. Under Xvfb: the window's
# WM_CLASS and its icon (the creature's portrait), the remembered --mute, the
# help card, the options card (build/screenshots/options.png), and the pause:
# P freezes the battle under a "PAUSED" banner, any key goes on. The battle
# screenshot it takes is the one the AppStream metainfo shows.
#
# Usage: bash tests/e2e/desktop_window.sh [BUILD_DIR]
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib_x.bash
source "$here/lib_x.bash"
x_begin desktop "${1:-build}"
x_need python3 xprop import convert rsvg-convert xlogo


# 1. The command line, with no display at all.
for help in --help -h; do
    out=$(env -u DISPLAY XDG_CONFIG_HOME=/tmp/cfg-here "$build/tollybrook" $help 2>&1) || x_fail "$help: exit status $?"
    grep -q -- "--fullscreen" <<<"$out" || x_fail "$help does not list --fullscreen: $out"
    grep -q "/tmp/cfg-here/tollybrook/tollybrook.cfg" <<<"$out" || x_fail "$help does not name the choices file: $out"
done
grep -q -- "--music-volume N" <<<"$out" || x_fail "--help does not list --music-volume: $out"
out=$(env -u DISPLAY "$build/tollybrook" --version 2>&1) || x_fail "--version: exit status $?"
[[ "$out" =~ ^tollybrook\ [0-9]+\.[0-9]+ ]] || x_fail "--version says: $out"
for bad in --no-such-thing --music-volume=101 "--effects-volume -5"; do
    # shellcheck disable=SC2086
    env -u DISPLAY XDG_CONFIG_HOME="$work/bad-cfg" "$build/tollybrook" $bad >"$work/out" 2>"$work/err"
    status=$?
    [ $status = 2 ] || x_fail "$bad: exit status $status, not 2"
    [ ! -s "$work/out" ] && grep -q "^usage: tollybrook" "$work/err" ||
        x_fail "$bad: no usage line on standard error: $(cat "$work/out" "$work/err")"
done
[ -e "$work/bad-cfg" ] && x_fail "a refused command line wrote the choices"
echo "ok: --help, -h, --version, an unknown option and a bad volume need no display"

# 2. The window, muted, with its own config folder, at the very first start.
x_start_server
echo "X server on $DISPLAY"
x_stage_game "$work/game" "$build"
[ -e "$build/media" ] && ln -s "$build/media" "$work/game/media"
rm "$XDG_CONFIG_HOME/tollybrook/tollybrook.cfg"
"$work/game/tollybrook" --mute >"$work/game.log" 2>&1 &
X_GAME_PID=$!
win=$(x_wait_window "$X_GAME_PID") || exit 1
class=$(xprop -id "$win" WM_CLASS)
[ "$class" = 'WM_CLASS(STRING) = "tollybrook", "Tollybrook"' ] || x_fail "window class: $class"
grep -q "mute = 1" "$XDG_CONFIG_HOME/tollybrook/tollybrook.cfg" 2>/dev/null ||
    x_fail "--mute was not remembered"
grep -qi "alsa" "$work/game.log" && x_fail "a muted game opened a sound device: $(cat "$work/game.log")"

# The icon pixmap holds the creature's portrait as the SVG draws it.
icon=$(xprop -id "$win" WM_HINTS | awk '/bitmap id # to use for icon/ {print $NF}')
[ -n "$icon" ] || x_fail "the window has no icon"
rsvg-convert -w 48 -h 48 -o "$work/icon.png" "$here/../../assets/art/src/you.svg"
python3 - "$icon" "$work/icon.png" <<'PY' || x_fail "the window icon is not the creature's portrait"
import ctypes, subprocess, sys
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XGetImage.restype = ctypes.c_void_p
x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 2 + [ctypes.c_uint] * 2 + [ctypes.c_ulong, ctypes.c_int]
x.XGetPixel.restype = ctypes.c_ulong
x.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
x.XGetGeometry.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 7
d = x.XOpenDisplay(None)
pixmap = int(sys.argv[1], 16)
root, = (ctypes.c_ulong(),)
u = [ctypes.c_uint() for _ in range(4)]
i = [ctypes.c_int() for _ in range(2)]
x.XGetGeometry(d, pixmap, ctypes.byref(root), ctypes.byref(i[0]), ctypes.byref(i[1]),
               *[ctypes.byref(v) for v in u])
w, h = u[0].value, u[1].value
if (w, h) != (48, 48):
    sys.exit("icon is %dx%d" % (w, h))
image = x.XGetImage(d, pixmap, 0, 0, w, h, 0xFFFFFFFF, 2)
raw = subprocess.run(["convert", sys.argv[2], "-depth", "8", "rgba:-"], capture_output=True, check=True).stdout
worst = 0
for py in range(4, 48, 6):
    for px in range(4, 48, 6):
        if raw[(py * 48 + px) * 4 + 3] < 255:
            continue
        p = x.XGetPixel(image, px, py)
        got = ((p >> 16) & 255, (p >> 8) & 255, p & 255)
        want = tuple(raw[(py * 48 + px) * 4:(py * 48 + px) * 4 + 3])
        worst = max(worst, max(abs(a - b) for a, b in zip(got, want)))
sys.exit(0 if worst <= 8 else "icon pixels differ by up to %d" % worst)
PY
# Task bars read the icon from _NET_WM_ICON, made from the same picture.
xprop -id "$win" _NET_WM_ICON | head -1 | grep -q "Icon (48 x 48)" ||
    x_fail "no 48x48 _NET_WM_ICON: $(xprop -id "$win" _NET_WM_ICON | head -1)"
echo "ok: WM_CLASS tollybrook/Tollybrook, the portrait as icon (also _NET_WM_ICON), --mute remembered"

# 3. The help card of the first start, F1 and M; then the battle and its pause.
shot() { import -window root -crop 640x480+0+0 +repage "$1"; }
click_at() {
    xdotool mousemove "$1" "$2" mousedown 1
    sleep 0.08
    xdotool mouseup 1
}
pixel() { convert "$1" -format "%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]" -crop "1x1+$2+$3" info:; }
# The card's black, right of its longest line, over the castle's tower.
card_shown() { shot "$work/card.png"; [ "$(pixel "$work/card.png" 612 250)" = "0,0,0" ]; }
# The card's red border, drawn: not the black of a window still loading.
card_drawn() {
    local red
    for _ in $(seq 100); do
        shot "$work/card.png"
        red=$(pixel "$work/card.png" 16 240)
        [ "${red%%,*}" -gt 150 ] && [ "$(pixel "$work/card.png" 612 250)" = "0,0,0" ] && return 0
        sleep 0.1
    done
    return 1
}
# Grid cells (1,0) and (3,0) look alike while neither holds a tile (the
# pointer kept off them).
cells_alike() {
    xdotool mousemove 300 470
    sleep 0.3
    shot "$work/cells.png"
    convert "$work/cells.png" -crop 64x64+64+48 +repage "$work/cell1.png"
    convert "$work/cells.png" -crop 64x64+192+48 +repage "$work/cell3.png"
    cmp -s "$work/cell1.png" "$work/cell3.png"
}
card_drawn || x_fail "no help card at the very first start"
click_at 96 80
sleep 0.4
card_shown && x_fail "a click did not close the help card"
cells_alike || { mkdir -p "$build/e2e-artifacts/desktop"; cp "$work"/cell*.png "$work"/card.png "$build/e2e-artifacts/desktop/";
    x_fail "the click that closed the help card laid a tile (see $build/e2e-artifacts/desktop)"; }
click_at 96 80
sleep 0.4
cells_alike && x_fail "a click after the card laid no tile"
click_at 96 80
x_hold_key F1
sleep 0.3
card_shown || x_fail "F1 showed no help card"
x_hold_key space
sleep 0.3
card_shown && x_fail "a key did not close the help card"
x_hold_key m
sleep 0.5
grep -q "mute = 0" "$XDG_CONFIG_HOME/tollybrook/tollybrook.cfg" || x_fail "M was not remembered"
x_hold_key m
sleep 0.5
grep -q "mute = 1" "$XDG_CONFIG_HOME/tollybrook/tollybrook.cfg" || x_fail "M again was not remembered"
echo "ok: the help card at the first start and with F1, its click lays no tile; M remembered"

# The options card, as a player meets it: a click on the small control in
# the ground strip opens it over the build phase; Left lowers the music,
# remembered at once; a key that is not the card's closes it.
options_shown() { shot "$1"; local red; red=$(pixel "$1" 130 240)
    [ "$(pixel "$1" 140 100)" = "0,0,0" ] && [ "${red%%,*}" -gt 150 ]; }
click_at 20 460
sleep 0.4
mkdir -p "$build/screenshots"
options_shown "$build/screenshots/options.png" || x_fail "a click on the control showed no options card"
x_hold_key Left
sleep 0.4
grep -q "^music_volume = 90$" "$XDG_CONFIG_HOME/tollybrook/tollybrook.cfg" ||
    x_fail "Left on the card did not lower the music: $(cat "$XDG_CONFIG_HOME/tollybrook/tollybrook.cfg")"
x_hold_key x
sleep 0.4
options_shown "$work/options-closed.png" && x_fail "a key did not close the options card"
echo "ok: the options card opens from its control, lowers the music (remembered) and closes"

click_at 572 448
for k in y space space space; do
    sleep 0.3
    x_hold_key "$k"
done
sleep 4
shot "$build/screenshots/battle.png"
x_hold_key p
sleep 0.3
shot "$work/paused1.png"
sleep 1
shot "$work/paused2.png"
cmp -s "$work/paused1.png" "$work/paused2.png" || x_fail "the paused battle still moves"
# The banner's black box, left of the word: black only while paused.
[ "$(pixel "$work/paused1.png" 268 222)" = "0,0,0" ] || x_fail "no PAUSED banner at the centre"
[ "$(pixel "$build/screenshots/battle.png" 268 222)" != "0,0,0" ] || x_fail "a banner before the pause"
x_hold_key space
sleep 1.5
shot "$work/resumed.png"
cmp -s "$work/paused2.png" "$work/resumed.png" && x_fail "the battle did not go on after a key"
echo "ok: P pauses the battle under a banner, a key resumes it"

# O holds the battle under the options card; O again and it goes on.
x_hold_key o
sleep 0.4
options_shown "$work/battle-options1.png" || x_fail "O in the battle showed no options card"
sleep 1
shot "$work/battle-options2.png"
cmp -s "$work/battle-options1.png" "$work/battle-options2.png" || x_fail "the battle moves under the options card"
x_hold_key o
sleep 1.5
shot "$work/battle-on.png"
cmp -s "$work/battle-options2.png" "$work/battle-on.png" && x_fail "the battle did not go on after O"
echo "ok: O holds the battle under the options card, O again goes on"

# Another window taking the focus pauses the battle too.
xdotool windowfocus "$win"
xlogo -geometry 100x100+650+0 2>/dev/null &
logo=$!
sleep 1
xdotool search --name '^xlogo$' windowfocus 2>/dev/null
sleep 0.5
shot "$work/unfocused.png"
kill "$logo"
[ "$(pixel "$work/unfocused.png" 268 222)" = "0,0,0" ] || x_fail "losing focus did not pause the battle"
echo "ok: losing the focus pauses the battle"

x_hold_key Escape 0.1
x_wait_exit "$X_GAME_PID" 10 || x_fail "the game was still running 10 s after Escape"
[ "$X_GAME_STATUS" = 0 ] || x_fail "exit status $X_GAME_STATUS"
echo "PASS"
