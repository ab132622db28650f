#!/usr/bin/env bash
# Copies of the game playing at once on one hi.dat lose no entered score,
# whichever leaves first. A copy enters its score through the test-only
# TOLLYBROOK_TEST_SCORE, which opens the score screen at the start (and so
# saves it); a copy started before that holds the older table.
#   1. an idle copy, then one entering 777: the scorer leaves first, the idle
#      copy (holding the table without 777) after it;
#   2. an idle copy, then copies entering 666 and 555: the idle copy leaves
#      first, then 666 (whose table lacks 555), then 555.
# Each leaves by its window's close button with status 0; in the end hi.dat
# holds every entered score and no temporary file is left beside it.
#
#   bash tests/e2e/two_copies.sh BUILD_DIR
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib_x.bash
source "$here/lib_x.bash"
x_begin two_copies "${1:-build}"
x_need python3 xwininfo
x_start_server
dir=$work/game
x_stage_placeholder_game "$dir" "$build"
x_table 50 40 30 20 10 >"$dir/hi.dat"
started=$SECONDS

declare -A pid win
windows=""
copies=""
trap 'for c in $copies; do x_kill "${pid[$c]}"; done; x_stop_all; rm -rf "$work"' EXIT

# The values in hi.dat, best first, on one line.
values() {
    python3 -c 'import sys
d = open(sys.argv[1], "rb").read()
print(*sorted((int(d[i:i + 9]) for i in range(0, len(d) - 9, 10)), reverse=True))' "$dir/hi.dat"
}

# launch NAME [SCORE]: starts a copy and waits for its window, the one
# Tollybrook window that was not there before.
launch() {
    local name=$1 score=${2:-} deadline id
    (cd "$dir" && HOME=$work/home TOLLYBROOK_TEST_SCORE=$score exec ./tollybrook --mute \
        >"$work/$name.log" 2>&1) &
    pid[$name]=$!
    copies="$copies $name"
    deadline=$((SECONDS + 30))
    while [ $SECONDS -lt $deadline ]; do
        kill -0 "${pid[$name]}" 2>/dev/null || x_fail "$name ended at its start: $(cat "$work/$name.log")"
        for id in $(xdotool search --onlyvisible --name '^Tollybrook$' 2>/dev/null); do
            case " $windows " in *" $id "*) continue ;; esac
            xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' || continue
            win[$name]=$id
            windows="$windows $id"
            break 2
        done
        sleep 0.1
    done
    [ -n "${win[$name]:-}" ] || x_fail "$name: no window of its own within 30 s"
    if [ -n "$score" ]; then  # its score screen saves the score at once
        deadline=$((SECONDS + 20))
        until values | grep -qw -- "$score"; do
            [ $SECONDS -lt $deadline ] || x_fail "$name: $score is not in hi.dat ($(values))"
            sleep 0.1
        done
    fi
}

leave() {
    x_close_window "${win[$1]}"
    x_wait_exit "${pid[$1]}" 15 || x_fail "$1 still runs 15 s after its close button"
    [ "$X_GAME_STATUS" = 0 ] || x_fail "$1 ended with status $X_GAME_STATUS: $(cat "$work/$1.log")"
    copies=${copies/ $1/}
    windows=${windows/ ${win[$1]}/}  # the server may give its id to a later window
}

expect() {
    [ "$(values)" = "$1" ] || x_fail "after $2, hi.dat holds $(values), not $1"
}

launch idle1
launch scorer777 777
leave scorer777
leave idle1
expect "777 50 40 30 20 10" "the scorer left before the idle copy"
echo "ok   the idle copy, leaving last with an older table, kept 777"

launch idle2
launch scorer666 666
launch scorer555 555
leave idle2
leave scorer666
leave scorer555
expect "777 666 555 50 40 30 20 10" "the idle copy, then 666, then 555 left"
echo "ok   the idle copy left first, then 666 (its table without 555): both kept"

leftovers=$(find "$dir" -name 'hi.dat.*')
[ -z "$leftovers" ] || x_fail "left beside hi.dat: $leftovers"
echo "PASS: five copies on one hi.dat, no entered score lost ($((SECONDS - started)) s)"
