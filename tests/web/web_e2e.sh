#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Tollybrook developers
# SPDX-License-Identifier: MIT
# The web page, built and played in Debian's headless Chromium: `make web`
# (the zip under 4 MiB, the same bytes when built again in another folder),
# the Linux game's own frames taken under Xvfb for the page to match, then
# tests/web/browser_check.py against the page served on 127.0.0.1.
#
# Usage: bash tests/web/web_e2e.sh [BUILD_DIR]
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
# shellcheck source=../e2e/lib_x.bash
source "$here/../e2e/lib_x.bash"
x_begin web "${1:-build}"
x_need import convert xdotool unzip
for tool in emcc /usr/bin/chromium /usr/bin/chromedriver; do
    command -v "$tool" >/dev/null || x_fail "$tool is missing: run tools/deps.sh web"
done
/usr/bin/python3 -c 'import selenium' 2>/dev/null || x_fail "python3-selenium is missing: run tools/deps.sh web"

# ---- the zip, twice
web=$source_dir/build-web
make -s -C "$source_dir" web >"$work/web.log" 2>&1 || { tail -30 "$work/web.log"; x_fail "make web failed"; }
zip_file=$(ls "$web"/tollybrook-*-web.zip) || x_fail "make web made no zip"
unzip -l "$zip_file" | grep -q ' index.html$' || x_fail "the zip has no index.html at its root"
# What the page loads: every file beside index.html but the credits (the
# app's icons and manifest, and the service worker, included).
size=$(find "$web/site" -maxdepth 1 -type f ! -name CREDITS.txt -printf '%s\n' |
    awk '{ s += $1 } END { print s }')
echo "the page loads $size bytes; the zip is $(stat -c %s "$zip_file") bytes"
[ "$size" -lt $((4 * 1024 * 1024)) ] || x_fail "the page loads $size bytes, over 4 MiB"
# Built again in another folder (the libraries are shared): the same bytes.
again=$work/web-again
mkdir -p "$again"
ln -s "$web/deps" "$again/deps"
make -s -C "$source_dir" web WEB_BUILD="$again" >"$work/web-again.log" 2>&1 ||
    { tail -30 "$work/web-again.log"; x_fail "make web in a second folder failed"; }
cmp "$zip_file" "$again/$(basename "$zip_file")" ||
    x_fail "the zip built in another folder differs (diffoscope $zip_file $again/$(basename "$zip_file"))"
echo "ok   the zip is the same bytes when built in another folder"

# ---- the Linux game's frames: the help card of a first start, the build
# phase after a key closed it, and a tile laid by two clicks.
frames=$work/linux-frames
mkdir -p "$frames"
rm -f "$XDG_CONFIG_HOME/tollybrook/tollybrook.cfg"
x_stage_built_game "$work/game" "$build"
x_start_server
x_launch_game "$work/game" "$work/game.log"
win=$(x_wait_window "$X_GAME_PID") || exit 1
grab() {
    sleep 0.5
    import -window "$win" "$work/$1.png" || x_fail "cannot capture the window"
    convert "$work/$1.png" -depth 8 "rgb:$frames/$1.rgb"
}
layout=$build/layout.json
read -r slot_x slot_y cell_x cell_y < <(python3 -c 'import json, sys
L = json.load(open(sys.argv[1]))
print(L["screen_width"] - L["palette_left_from_right"] + L["slot_pitch"] // 2,
      L["palette_top"] + L["slot_pitch"] // 2,
      L["cell_size"] + L["cell_size"] // 2, L["field_top"] + L["cell_size"] + L["cell_size"] // 2)' "$layout")
grab help
x_hold_key x
grab build
x_click "$win" "$slot_x" "$slot_y"
x_click "$win" "$cell_x" "$cell_y"
grab laid
x_hold_key Escape 0.1
x_wait_exit "$X_GAME_PID" 10 || x_kill "$X_GAME_PID"

# ---- the page in the browser
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
(cd "$web/site" && exec python3 -m http.server "$port" --bind 127.0.0.1) >"$work/server.log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; x_stop_all; rm -rf "$work"' EXIT
for _ in $(seq 50); do
    python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])))' "$port" 2>/dev/null && break
    sleep 0.1
done
/usr/bin/python3 "$here/browser_check.py" "http://127.0.0.1:$port/" "$layout" "$frames" --server-pid "$server" || x_fail "the page failed its checks"
# No request left the page's own origin: the server saw every one, none missing.
if grep -E '" (4|5)[0-9][0-9] ' "$work/server.log"; then x_fail "the page asked for files it does not have"; fi
echo "PASS"
