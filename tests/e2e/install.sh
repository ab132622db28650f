#!/usr/bin/env bash
# The installed game, run as a x_player would run it: installed into a prefix
# the player cannot write (and, as a .deb, unpacked), started from / with a
# fresh HOME by an unprivileged user (nobody, when the test runs as root).
# Each run must show the art, play the tune, say where the scores are kept,
# end with status 0 on Escape and leave the table in
# ~/.local/share/tollybrook/. The prefixes: a plain one, one under a folder
# named "Jeux vidéo", one whose path is over 300 characters, and the package.
# DESTDIR must stage the tree without touching the prefix itself. An
# installed game writes nothing into its prefix, even for a player who may
# (the prefix's owner, or root in a root-owned prefix); the portable copy in
# the build folder keeps its table beside itself.
#
#   bash tests/e2e/install.sh BUILD_DIR
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib_x.bash
source "$here/lib_x.bash"
x_begin install "${1:-build}"
x_need python3 convert import cpack dpkg-deb setpriv

chmod 755 "$work"

player=()
[ "$(id -u)" = 0 ] && player=(setpriv --reuid=nobody --regid=nogroup --clear-groups)

# The loudest sample of a raw capture (unsigned 16-bit, silence 32768).
loudest() {
    python3 -c '
import array, sys
a = array.array("H", open(sys.argv[1], "rb").read()[: 4 * 44100 * 4] or b"\0\x80")
print(max(abs(v - 32768) for v in a))' "$1"
}

# run_installed NAME PROGRAM [as-self]: one player's run of an installed
# game (by this user instead of nobody with as-self); the prefix must hold
# exactly what it held before.
run_installed() {
    local name=$1 program=$2 home="$work/home-$1" win colours loud table before
    local prefix=${program%/*/tollybrook}
    local as=("${player[@]}")
    [ "${3:-}" = as-self ] && as=()
    before=$(find "$prefix" | sort)
    mkdir -p "$home"
    printf 'pcm.!default { type file; slave.pcm "null"; file "%s"; format "raw" }\n' \
        "$home/tune.raw" >"$home/.asoundrc"
    # Not the very first start: the help card would cover the art looked at.
    mkdir -p "$home/.config/tollybrook" && : >"$home/.config/tollybrook/tollybrook.cfg"
    [ "$(id -u)" = 0 ] && [ ${#as[@]} -gt 0 ] && chown -R nobody:nogroup "$home"
    (cd / && exec env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u TOLLYBROOK_DATA HOME="$home" \
        "${as[@]}" "$program") >"$work/$name.log" 2>&1 &
    X_GAME_PID=$!
    win=$(x_wait_window "$X_GAME_PID") || x_fail "$name: no window"
    sleep 2
    import -window "$win" "$work/$name.png" || x_fail "$name: no screenshot"
    colours=$(convert "$work/$name.png" -format %k info:)
    [ "$colours" -gt 1000 ] || x_fail "$name: $colours colours on screen: placeholders, not the art"
    x_hold_key Escape 0.1
    x_wait_exit "$X_GAME_PID" 15 || x_fail "$name: Escape did not end the game"
    [ "$X_GAME_STATUS" = 0 ] || x_fail "$name: status $X_GAME_STATUS"
    loud=$(loudest "$home/tune.raw" 2>/dev/null || echo 0)
    [ "$loud" -gt 2000 ] || x_fail "$name: no tune in the capture (loudest sample $loud)"
    table="$home/.local/share/tollybrook/hi.dat"
    [ "$(stat -c %s "$table" 2>/dev/null)" = 100 ] || x_fail "$name: no table at $table"
    [ "$(stat -c %a "$home/.local/share/tollybrook")" = 700 ] || x_fail "$name: the score folder is not private"
    grep -q "scores are kept in $table" "$work/$name.log" || x_fail "$name: no word of where the scores are"
    if grep -q "missing" "$work/$name.log"; then x_fail "$name: $(grep missing "$work/$name.log")"; fi
    [ "$(find "$prefix" | sort)" = "$before" ] ||
        x_fail "$name: the game wrote into its prefix: $(diff <(echo "$before") <(find "$prefix" | sort) | grep '^>')"
    echo "ok   $name: $colours colours, tune peak $loud, table in \$HOME/.local/share/tollybrook"
}

DESTDIR="$work/stage" cmake --install "$build" --prefix /opt/tollybrook-e2e >/dev/null ||
    x_fail "cmake --install with DESTDIR failed"
[ -x "$work/stage/opt/tollybrook-e2e/bin/tollybrook" ] &&
    [ -f "$work/stage/opt/tollybrook-e2e/share/tollybrook/tile.bmp" ] ||
    x_fail "DESTDIR: the game or its media are not under the staging root"
[ ! -e /opt/tollybrook-e2e ] || x_fail "DESTDIR: the prefix itself was written"

long="$work/long"
while [ ${#long} -le 300 ]; do long="$long/$(printf 'x%.0s' $(seq 60))"; done

x_start_server
for prefix in "$work/plain" "$work/Jeux vidéo" "$long"; do
    cmake --install "$build" --prefix "$prefix" >/dev/null || x_fail "cmake --install --prefix $prefix failed"
    chmod -R a-w "$prefix/bin"  # the program's folder is not the player's
done
run_installed plain "$work/plain/bin/tollybrook"
# A prefix the player owns, and may write into.
cmake --install "$build" --prefix "$work/owned" >/dev/null || x_fail "cmake --install --prefix $work/owned failed"
[ "$(id -u)" = 0 ] && chown -R nobody:nogroup "$work/owned"
run_installed owned "$work/owned/bin/tollybrook"
if [ "$(id -u)" = 0 ]; then  # root, in a prefix root owns
    cmake --install "$build" --prefix "$work/rooted" >/dev/null || x_fail "cmake --install --prefix $work/rooted failed"
    run_installed rooted "$work/rooted/bin/tollybrook" as-self
fi
run_installed accented "$work/Jeux vidéo/bin/tollybrook"
run_installed long "$long/bin/tollybrook"

(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) || {
    cat "$work/cpack.log"
    x_fail "cpack could not make the .deb"
}
deb=$(ls "$work"/package/tollybrook_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || x_fail "no .deb made"
depends=$(dpkg-deb -f "$deb" Depends)
case $depends in *liballegro4*freepats* | *freepats*liballegro4*) ;;
    *) x_fail "the .deb depends on '$depends', not on Allegro and freepats" ;;
esac
dpkg-deb -x "$deb" "$work/unpacked"
chmod -R a-w "$work/unpacked/usr/bin"
run_installed package "$work/unpacked/usr/bin/tollybrook"
# The portable copy, the game as built with media/ beside it, keeps hi.dat there.
portable="$work/portable"
x_stage_built_game "$portable" "$build"
(cd "$portable" && exec env -u TOLLYBROOK_DATA HOME="$work/home-portable" ./tollybrook) \
    >"$work/portable.log" 2>&1 &
X_GAME_PID=$!
x_wait_window "$X_GAME_PID" >/dev/null || x_fail "portable: no window"
x_hold_key Escape 0.1
x_wait_exit "$X_GAME_PID" 15 || x_fail "portable: Escape did not end the game"
[ "$(stat -c %s "$portable/hi.dat" 2>/dev/null)" = 100 ] || x_fail "portable: no hi.dat beside the program"
[ ! -e "$work/home-portable/.local/share/tollybrook/hi.dat" ] || x_fail "portable: a table in the home folder too"
echo "ok   portable: hi.dat beside the program"
echo "PASS: installed and packaged games play from / and write nothing into their prefix"
