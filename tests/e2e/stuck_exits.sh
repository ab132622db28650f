#!/usr/bin/env bash
# Starts and ends that a hostile world could block or spoil:
#   - standard error closed (2>&-): Escape still ends the game, status 0;
#   - the options file ($XDG_CONFIG_HOME/tollybrook/tollybrook.cfg) a named
#     pipe, a 1 GB sparse file, or a file the player (nobody) may not write,
#     with --mute to remember: the window comes at once, the file is left as
#     it was, no allegro.cfg appears beside the program, Escape ends it;
#   - a file-size limit of 0 (prlimit --fsize=0) while a score is entered:
#     status 0, hi.dat and the options file as they were, no temporary left;
#   - a sound output that stalls (ALSA writes into a named pipe whose reader
#     stops reading) and SIGTERM: status 0 within 10 s, the score in hi.dat.
# Scores are entered through the test-only TOLLYBROOK_TEST_SCORE.
#
#   bash tests/e2e/stuck_exits.sh BUILD_DIR
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib_x.bash
source "$here/lib_x.bash"
x_begin stuck_exits "${1:-build}"
x_need python3 prlimit setpriv mkfifo truncate
chmod 755 "$work"  # the case run as nobody reads the game here
reader=""
trap '[ -n "$reader" ] && kill "$reader" 2>/dev/null; x_stop_all; rm -rf "$work"' EXIT
x_start_server
failures=0
started=$SECONDS

fail_case() {
    echo "FAIL $1: $2"
    [ -f "$work/$1/err" ] && grep -v '^ALSA' "$work/$1/err" | tail -n 5 | sed 's/^/    /'
    failures=$((failures + 1))
    x_stop_game
}

# stage NAME: a fresh game folder (placeholder pictures, a five-score hi.dat)
# and home for the case; sets dir, home and cfg (the options file, there
# and empty, so that no help card of a very first start opens).
stage() {
    dir=$work/$1/game home=$work/$1/home
    export XDG_CONFIG_HOME=$home/.config
    cfg=$XDG_CONFIG_HOME/tollybrook/tollybrook.cfg
    x_stage_placeholder_game "$dir" "$build"
    x_table 50 40 30 20 10 >"$dir/hi.dat"
    mkdir -p "$(dirname "$cfg")"
    : >"$cfg"
}

# launch NAME [ENV=VALUE...] -- COMMAND...: starts the case's game and waits
# for its window; sets took (seconds to the window, to a hundredth).
launch() {
    local name=$1 t0
    shift
    local -a environment=()
    while [ "$1" != -- ]; do environment+=("$1") && shift; done
    shift
    t0=$(date +%s%N)
    (cd "$dir" && exec env HOME="$home" "${environment[@]}" "$@" >"$work/$name/out" 2>"$work/$name/err") &
    X_GAME_PID=$!
    win=$(x_wait_window "$X_GAME_PID" 30) || return 1
    took=$(( ($(date +%s%N) - t0) / 10000000 ))
    took="$((took / 100)).$(printf %02d $((took % 100)))"
}

# escape NAME: Escape into the window; the game must end with status 0.
escape() {
    xdotool mousemove --window "$win" 320 240
    x_hold_key Escape 0.1
    x_wait_exit "$X_GAME_PID" 10 || { fail_case "$1" "still running 10 s after Escape"; return 1; }
    [ "$X_GAME_STATUS" = 0 ] || { fail_case "$1" "status $X_GAME_STATUS after Escape"; return 1; }
}

# ---------------------------------------------------------------- standard error closed
stage closed-stderr
if ! launch closed-stderr -- bash -c 'exec ./tollybrook --mute 2>&-'; then
    fail_case closed-stderr "no window"
elif escape closed-stderr; then
    echo "ok   closed-stderr: Escape ended it, status 0"
fi

# ---------------------------------------------------------------- the options file
# options_case NAME SETUP [RUNNER...]: SETUP makes $cfg; the start must show
# the window within 10 s and leave the file's kind, size and time alone.
options_case() {
    local name=$1 setup=$2 before after
    shift 2
    stage "$name"
    eval "$setup" || { fail_case "$name" "setup failed"; return; }
    before=$(stat -c '%F %s %Y' "$cfg")
    launch "$name" -- "$@" ./tollybrook --mute || { fail_case "$name" "no window within 30 s"; return; }
    [ "${took%.*}" -lt 10 ] || { fail_case "$name" "the window took $took s"; return; }
    escape "$name" || return
    after=$(stat -c '%F %s %Y' "$cfg")
    [ "$before" = "$after" ] || { fail_case "$name" "the options file changed: $before -> $after"; return; }
    [ ! -e "$dir/allegro.cfg" ] || { fail_case "$name" "an allegro.cfg appeared beside the program"; return; }
    echo "ok   $name: window after $took s, the file as it was, status 0"
}
options_case options-fifo 'rm "$cfg" && mkfifo "$cfg"'
options_case options-sparse-1g 'truncate -s 1G "$cfg"'
# Nobody owns the home but not the options folder and its read-only file.
options_case options-unwritable \
    'printf "[tollybrook]\nmute = 0\n" >"$cfg" && chmod 444 "$cfg" && chown -R nobody:nogroup "$home" &&
     chown root:root "$(dirname "$cfg")" && chmod 755 "$(dirname "$cfg")"' \
    setpriv --reuid=nobody --regid=nogroup --clear-groups

# ---------------------------------------------------------------- no file may grow
stage fsize-0
printf '[tollybrook]\nfullscreen = 0\nmute = 0\n' >"$cfg"
cp "$dir/hi.dat" "$work/fsize-0/hi.dat.before"
cp "$cfg" "$work/fsize-0/cfg.before"
# Its standard error goes through a pipe, which the limit does not bind.
if ! launch fsize-0 TOLLYBROOK_TEST_SCORE=999 -- bash -c \
    'prlimit --fsize=0 ./tollybrook --mute 2>&1 | cat >&2; exit "${PIPESTATUS[0]}"'; then
    fail_case fsize-0 "no window"
elif escape fsize-0; then
    leftovers=$(find "$dir" "$home" -name 'hi.dat.*' -o -name 'tollybrook.cfg.*')
    if ! cmp -s "$dir/hi.dat" "$work/fsize-0/hi.dat.before"; then
        fail_case fsize-0 "hi.dat changed"
    elif ! cmp -s "$cfg" "$work/fsize-0/cfg.before"; then
        fail_case fsize-0 "the options file changed"
    elif [ -n "$leftovers" ]; then
        fail_case fsize-0 "left behind: $leftovers"
    elif ! grep -q "^tollybrook: cannot save the high scores to $dir/hi.dat: " "$work/fsize-0/err"; then
        fail_case fsize-0 "no word of the failed save"
    else
        echo "ok   fsize-0: status 0, hi.dat and the options file whole, nothing left behind"
    fi
fi

# ---------------------------------------------------------------- a stalled sound output
# The reader drains the pipe for two seconds, says so, and then holds it
# open without reading, as a hung sound server would.
stage stalled-sound
mkfifo "$work/stalled-sound/sound.fifo"
echo "pcm.!default { type file; slave.pcm \"null\"; file \"$work/stalled-sound/sound.fifo\"; format \"raw\" }" >"$home/.asoundrc"
python3 -c '
import sys, time
pipe = open(sys.argv[1], "rb", 0)
end = time.time() + 2
while time.time() < end:
    pipe.read(65536)
open(sys.argv[2], "w").close()
time.sleep(600)' "$work/stalled-sound/sound.fifo" "$work/stalled-sound/stopped" &
reader=$!
if ! launch stalled-sound TOLLYBROOK_TEST_SCORE=888 -- ./tollybrook --sound; then
    fail_case stalled-sound "no window"
else
    for _ in $(seq 1 300); do [ -e "$work/stalled-sound/stopped" ] && break; sleep 0.1; done
    sleep 1  # the sound buffer fills and the next write waits
    if ! kill -0 "$X_GAME_PID" 2>/dev/null; then
        fail_case stalled-sound "it ended before SIGTERM"
    else
        t0=$SECONDS
        kill -TERM "$X_GAME_PID"
        if ! x_wait_exit "$X_GAME_PID" 10; then
            fail_case stalled-sound "still running 10 s after SIGTERM"
        elif [ "$X_GAME_STATUS" != 0 ]; then
            fail_case stalled-sound "status $X_GAME_STATUS after SIGTERM"
        elif [ "$(x_table 888 50 40 30 20 10 | md5sum)" != "$(md5sum <"$dir/hi.dat")" ]; then
            fail_case stalled-sound "hi.dat does not hold 888 and the five"
        else
            hung=""
            grep -q 'shutdown did not finish' "$work/stalled-sound/err" && hung=" (its shutdown hung)"
            echo "ok   stalled-sound: SIGTERM ended it within $((SECONDS - t0)) s$hung, status 0, hi.dat whole"
        fi
    fi
fi
kill "$reader" 2>/dev/null
wait "$reader" 2>/dev/null
reader=""

echo "stuck exits: $failures failed ($((SECONDS - started)) s)"
[ "$failures" -eq 0 ]
