#!/usr/bin/env bash
# A hostile world around the game:
#   - no display (DISPLAY unset, or naming a display nobody serves): one line
#     on stderr, exit status 1, quickly;
#   - no sound card (sound devices hidden): it plays silently;
#   - its font missing: it falls back to a system font and plays;
#   - no font at all (system fonts hidden too): one line on stderr, status 1;
#   - hi.dat a directory: it plays, ends with 0, the directory stays as it was;
#   - hi.dat a named pipe: it must not wait for a writer that never comes;
#   - a read-only folder beside the program: it plays, ends with 0, and the
#     old table is kept byte for byte.
# Hiding devices and fonts and making the folder read-only (which binds even
# root) take a private mount namespace; without one those cases are skipped.
#
#   bash tests/e2e/bad_environment.sh BUILD_DIR
set -uo pipefail

build=${1:?usage: bad_environment.sh BUILD_DIR}
build=$(cd "$build" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib_x.bash"
x_need Xvfb xdpyinfo xdotool

work=$(mktemp -d /tmp/tollybrook-bad-env.XXXXXX)
servers=$work/servers
: >"$servers"
trap 'x_stop_servers_in "$servers"; rm -rf "$work"' EXIT
failed=0
started=$SECONDS

ok() { echo "ok   $*"; }
fail() {
    echo "FAIL $*"
    failed=$((failed + 1))
}
skip() { echo "skip $*"; }

can_unshare=no
unshare --mount -- true 2>/dev/null && can_unshare=yes

# Runs the staged game in a world it cannot work in; expects status 1 and
# one line on stderr within 15 s.
expect_refusal() {
    local what=$1 dir=$2 pid lines
    shift 2
    (cd "$dir" && exec "$@" >out.log 2>err.log) &
    pid=$!
    if ! x_wait_exit "$pid" 15; then
        x_kill "$pid"
        fail "$what: still running after 15 s"
        return
    fi
    # The sound library's own complaints about a missing card are not the
    # game's, and the count of missing media files is not the refusal.
    grep -v -e '^ALSA lib ' -e '^tollybrook: [0-9]* of [0-9]* media files missing in ' \
        "$dir/err.log" >"$dir/err.game.log"
    lines=$(grep -c '' "$dir/err.game.log")
    if [ "$X_GAME_STATUS" -ne 1 ]; then
        fail "$what: status $X_GAME_STATUS, not 1"
    elif [ "$lines" -ne 1 ]; then
        fail "$what: $lines lines on stderr, not 1: $(head -c 300 "$dir/err.game.log")"
    else
        ok "$what: status 1, \"$(cat "$dir/err.game.log")\""
    fi
}

# ---------------------------------------------------------------- no display
dir=$work/nodisplay
x_stage_built_game "$dir" "$build"
expect_refusal "DISPLAY unset" "$dir" env -u DISPLAY ./tollybrook
nowhere=""
for n in 49 48 47 46 45 44 43 42 41 40; do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
        nowhere=$n
        break
    fi
done
if [ -n "$nowhere" ]; then
    expect_refusal "DISPLAY=:$nowhere, served by nobody" "$dir" env DISPLAY=:$nowhere ./tollybrook
else
    skip "DISPLAY served by nobody: every display from :40 to :49 is taken"
fi

display=$(x_start_server_in "$servers") || x_fail "cannot start an X server"

# Plays a round in DIR; reports CASE as passed or failed.
round() {
    local what=$1 dir=$2 why
    if why=$(x_play_round "$dir" "$display" 0.5); then
        ok "$what"
        return 0
    fi
    fail "$what: $why"
    sed 's/^/    | /' "$dir/game.log" | tail -5
    return 1
}

# ---------------------------------------------------------------- no sound card
dir=$work/nosound
x_stage_built_game "$dir" "$build"
if [ -e /dev/snd ] && [ "$can_unshare" = yes ]; then
    X_RUN_PREFIX=(unshare --mount -- bash -c 'mount -t tmpfs none /dev/snd && exec "$0"')
    round "no sound card (devices hidden): plays silently" "$dir"
    X_RUN_PREFIX=()
elif [ -e /dev/snd ]; then
    skip "no sound card: this machine has one and no mount namespace to hide it"
else
    round "no sound card: plays silently" "$dir"
fi

# ---------------------------------------------------------------- fonts
dir=$work/nofont
x_stage_built_game "$dir" "$build"
rm "$dir/media/puree2.ttf"
if round "puree2.ttf missing: falls back to a system font" "$dir"; then
    if ! grep -q "^tollybrook: 1 of $(x_media_names | wc -l) media files missing in $dir/media$" "$dir/game.log"; then
        fail "puree2.ttf missing: no line counting the missing file"
    elif grep -v 'media files missing' "$dir/game.log" | grep -q -i 'font'; then
        fail "puree2.ttf missing: it complained about the font: $(grep -i -m1 font "$dir/game.log")"
    fi
fi

if [ "$can_unshare" = yes ]; then
    dir=$work/nofontatall
    x_stage_built_game "$dir" "$build"
    rm "$dir/media/puree2.ttf"
    hide='for d in /usr/share/fonts /usr/local/share/fonts; do [ -d $d ] && mount -t tmpfs none $d; done; exec "$0"'
    expect_refusal "no font at all (system fonts hidden)" "$dir" \
        env DISPLAY=:$display unshare --mount -- bash -c "$hide" ./tollybrook
else
    skip "no font at all: needs a mount namespace to hide the system fonts"
fi

# ---------------------------------------------------------------- hi.dat
dir=$work/hidir
x_stage_built_game "$dir" "$build"
mkdir "$dir/hi.dat"
echo "not a table" >"$dir/hi.dat/keep"
if round "hi.dat is a directory" "$dir"; then
    if [ ! -d "$dir/hi.dat" ] || [ "$(cat "$dir/hi.dat/keep" 2>/dev/null)" != "not a table" ]; then
        fail "hi.dat is a directory: the directory or its file was changed"
    elif ls "$dir" | grep -q -v -x -E 'tollybrook|media|hi.dat|game.log'; then
        fail "hi.dat is a directory: left behind: $(ls "$dir" | tr '\n' ' ')"
    fi
fi

dir=$work/hififo
x_stage_built_game "$dir" "$build"
mkfifo "$dir/hi.dat"
round "hi.dat is a named pipe" "$dir"

# Twelve records and one in a loose format: a save that went through would
# rewrite it, so an unchanged file shows that the failed write kept it.
table() {
    x_table 500 400 300 200 100 90 80 70 60 50 40 30
    printf '000000007\0'
}
if [ "$can_unshare" = yes ]; then
    dir=$work/readonly
    x_stage_built_game "$dir" "$build"
    table >"$dir/hi.dat"
    cp "$dir/hi.dat" "$work/hi.dat.before"
    # game.log is written from outside the namespace, before the folder turns read-only.
    X_RUN_PREFIX=(unshare --mount -- bash -c 'mount --bind "$PWD" "$PWD" && mount -o remount,ro,bind "$PWD" && cd "$PWD" && exec "$0"')
    if round "read-only folder beside the program" "$dir"; then
        cmp -s "$dir/hi.dat" "$work/hi.dat.before" ||
            fail "read-only folder: hi.dat changed although the folder is read-only"
    fi
    X_RUN_PREFIX=()
else
    skip "read-only folder: needs a mount namespace (root ignores file modes)"
fi

echo "bad environment: $failed failed ($((SECONDS - started)) s)"
[ "$failed" -eq 0 ]
