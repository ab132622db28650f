#!/usr/bin/env bash
# Files a modder or a broken download could leave beside the game: a tune
# with a time division of 0, a tune with a meta event 0x0FFFFFFF bytes
# long, a font whose line is one font unit tall, named pipes in place of a
# picture, the font, the tune and a sample, and a 10 GiB (sparse) hi.dat.
# Last, hi.dat as a named pipe, a folder and a link to a device (see
# odd_table).
# For each, the game runs under Xvfb with its
# sound played into a file (so the tune reaches Allegro's player), opens a
# dialog (so text is drawn), and must:
#   - end with status 0 within 5 s of Escape,
#   - name each refused file on stderr,
#   - leave every file in its folder as it was, except hi.dat,
#   - leave a whole hi.dat (ten-byte "%9d\0" records, at most ten).
#
#   bash tests/e2e/hostile_files.sh BUILD_DIR
set -uo pipefail

build=${1:?usage: hostile_files.sh BUILD_DIR}
build=$(cd "$build" && pwd)
source "$(dirname "$0")/lib_x.bash"
x_need python3 mkfifo truncate

work=$(mktemp -d /tmp/tollybrook-hostile.XXXXXX)
trap 'x_stop_all; rm -rf "$work"' EXIT
x_start_server

# Writes a hostile copy of a built file: hostile KIND SRC DST.
hostile() {
    python3 - "$@" <<'EOF'
import struct, sys
kind, src, dst = sys.argv[1:4]
data = bytearray(open(src, "rb").read())
be32 = lambda at: struct.unpack(">I", data[at:at + 4])[0]
if kind == "division-0":
    data[12:14] = b"\0\0"
elif kind == "long-meta":
    # In the first track, before its first event: a text event whose length
    # runs 256 MiB past the file.
    extra = b"\xff\x01\xff\xff\xff\x7f\x00"
    data[23:23] = extra
    data[18:22] = struct.pack(">I", be32(18) + len(extra))
elif kind == "span-1":
    # Both line metrics FreeType may take: hhea's, and OS/2's typographic
    # ones (used instead when the font sets USE_TYPO_METRICS).
    for i in range(struct.unpack(">H", data[4:6])[0]):
        entry = 12 + 16 * i
        table = be32(entry + 8)
        if data[entry:entry + 4] == b"hhea":
            data[table + 4:table + 8] = struct.pack(">hh", 1, 0)
        elif data[entry:entry + 4] == b"OS/2":
            data[table + 68:table + 72] = struct.pack(">hh", 1, 0)
open(dst, "wb").write(bytes(data))
EOF
}

# Every file but hi.dat: type, size, time and content digest.
snapshot() {
    find "$1" ! -name hi.dat -type f -exec md5sum {} + | sort
    find "$1" -mindepth 1 ! -name hi.dat -printf '%P %y %s %T@\n' | sort
}

# hi.dat is whole: at most ten records, each "%9d" and a zero byte.
table_is_whole() {
    python3 - "$1" <<'EOF'
import re, sys
data = open(sys.argv[1], "rb").read()
ok = len(data) % 10 == 0 and len(data) <= 100 and all(
    re.fullmatch(rb" *-?\d+\0", data[i:i + 10]) for i in range(0, len(data), 10))
sys.exit(0 if ok else 1)
EOF
}

failures=0
fail_case() {
    echo "FAIL $1: $2"
    [ -f "$work/$1/err" ] && sed 's/^/    /' "$work/$1/err" | grep -v '^    ALSA' | tail -n 5
    failures=$((failures + 1))
}

# run_case NAME "REFUSED FILES" SETUP [WANT]: stages the game, runs SETUP in
# its folder, plays, and checks. REFUSED are media names stderr must name;
# WANT, when given, the values hi.dat must hold at the end.
run_case() {
    local name=$1 refused=$2 setup=$3 want=${4:-} dir=$work/$1/game home=$work/$1/home f id
    x_stage_built_game "$dir" "$build"
    x_sound_sink "$home" "$work/$name/sound.raw"
    (cd "$dir" && eval "$setup") || { fail_case "$name" "setup failed"; return; }
    snapshot "$dir" >"$work/$name/before"
    (cd "$dir" && HOME=$home exec ./tollybrook >"$work/$name/out" 2>"$work/$name/err") &
    X_GAME_PID=$!
    id=$(x_wait_window "$X_GAME_PID") || { x_stop_game; fail_case "$name" "no window"; return; }
    # The start button opens the first dialog: text in the game's font.
    xdotool mousemove --window "$id" 570 448 mousedown 1
    sleep 0.08
    xdotool mouseup 1
    sleep 1
    x_hold_key Escape 0.1
    if ! x_wait_exit "$X_GAME_PID" 5; then
        x_stop_game
        fail_case "$name" "still running 5 s after Escape"
        return
    fi
    [ "$X_GAME_STATUS" -eq 0 ] || { fail_case "$name" "exit status $X_GAME_STATUS"; return; }
    for f in $refused; do
        [ "$(grep -c "^tollybrook: $dir/media/$f: " "$work/$name/err")" -eq 1 ] ||
            { fail_case "$name" "stderr does not name media/$f once"; return; }
    done
    snapshot "$dir" >"$work/$name/after"
    cmp -s "$work/$name/before" "$work/$name/after" ||
        { fail_case "$name" "files beside the game changed: $(diff "$work/$name/before" "$work/$name/after" | head -n 4)"; return; }
    table_is_whole "$dir/hi.dat" || { fail_case "$name" "hi.dat is not a whole table"; return; }
    if [ -n "$want" ]; then
        # shellcheck disable=SC2086 # one argument per value
        x_table $want | cmp -s - "$dir/hi.dat" ||
            { fail_case "$name" "hi.dat does not hold $want"; return; }
    fi
    echo "ok   $name"
}

started=$SECONDS
m=$build/media
run_case tune-division-0 nbk.mid "hostile division-0 $m/nbk.mid media/nbk.mid"
run_case tune-long-meta nbk.mid "hostile long-meta $m/nbk.mid media/nbk.mid"
run_case font-line-of-one-unit puree2.ttf "hostile span-1 $m/puree2.ttf media/puree2.ttf"
pipes="tile.bmp puree2.ttf nbk.mid fire.wav"
run_case named-pipes "$pipes" "for f in $pipes; do rm media/\$f && mkfifo media/\$f; done"
run_case huge-hi-dat "" "x_table 5 7 > hi.dat && truncate -s 10G hi.dat" "7 5 0"

# odd_table NAME SETUP: a hi.dat beside the game that is no plain file (made
# by SETUP in the game's folder) is never opened, which for a named pipe
# would wait for ever, and is left as it is: the score the test shortcut
# enters at the start reaches the per-user table, and Escape ends the game.
odd_table() {
    local name=$1 setup=$2 dir=$work/$1/game data=$work/$1/data
    x_stage_built_game "$dir" "$build"
    (cd "$dir" && eval "$setup") || { fail_case "$name" "setup failed"; return; }
    local kind
    kind=$(stat -c %F "$dir/hi.dat")
    (cd "$dir" && XDG_DATA_HOME=$data TOLLYBROOK_TEST_SCORE=4242 HOME=$work/$name/home \
        exec ./tollybrook >"$work/$name/out" 2>"$work/$name/err") &
    X_GAME_PID=$!
    x_wait_window "$X_GAME_PID" >/dev/null || { x_stop_game; fail_case "$name" "no window"; return; }
    sleep 1
    x_hold_key Escape 0.1
    x_wait_exit "$X_GAME_PID" 5 || { x_stop_game; fail_case "$name" "still running 5 s after Escape"; return; }
    [ "$X_GAME_STATUS" -eq 0 ] || { fail_case "$name" "exit status $X_GAME_STATUS"; return; }
    grep -q "hi.dat is not a plain file" "$work/$name/err" || { fail_case "$name" "not said"; return; }
    [ "$(stat -c %F "$dir/hi.dat")" = "$kind" ] || { fail_case "$name" "hi.dat is no longer a $kind"; return; }
    x_table 4242 90 80 70 60 50 40 30 20 10 | cmp -s - "$data/tollybrook/hi.dat" ||
        { fail_case "$name" "the per-user table does not hold the score over the default one"; return; }
    echo "ok   $name"
}
odd_table hi-dat-named-pipe "mkfifo hi.dat"
odd_table hi-dat-folder "mkdir hi.dat"
odd_table hi-dat-link-to-a-device "ln -s /dev/zero hi.dat"

echo "hostile files: $failures failed ($((SECONDS - started)) s)"
[ "$failures" -eq 0 ]
