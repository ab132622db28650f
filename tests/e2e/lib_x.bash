# Helpers for the end-to-end tests that run the game in a private X server.
# Source it from a test script; it defines functions only.
#
#   x_begin NAME BUILD      set build (made absolute) and work (a fresh folder,
#                           removed with the game and X server at exit), and
#                           XDG_CONFIG_HOME to an options file of the test's own
#   x_begin_player NAME BUILD  the same, plus artifacts, and the game staged
#                           with placeholder pictures and the default table
#   x_player ARGS           the scripted player, with the game's layout
#   x_start_server          start Xvfb on a free display (screen $X_SCREEN), export DISPLAY
#   x_stop_all              stop the game and the X server that this shell started
#   x_start_server_in FILE  start another Xvfb for a parallel worker:
#                           print its display number, add its pid to FILE
#   x_stop_servers_in FILE  stop every Xvfb listed in FILE
#   x_stage_game DIR BUILD  copy the executable into DIR so hi.dat lands there
#   x_stage_placeholder_game DIR BUILD  the same with only the font in media/
#   x_stage_media DIR BUILD copy the built media beside it
#   x_stage_built_game DIR BUILD  both: the game as built
#   x_sound_sink HOME RAW   make HOME's ALSA default device write to the file RAW
#   x_launch_game DIR LOG   start DIR/tollybrook, set X_GAME_PID
#   x_wait_window PID       print the id of the game's 640x480 window named "Tollybrook"
#   x_wait_exit PID SECS    wait for the game to end; set X_GAME_STATUS
#   x_hold_key KEY [SECS]   press a key, hold it, release it
#   x_click WIN X Y         tap the left button at X, Y of WIN (press and release at once)
#   x_kill PID              end a process, by force if it will not go
#   x_table VALUE...        print a hi.dat table as the game writes it
#   x_media_names           print the game's media file names, a line each
#   x_play_round DIR DISPLAY [SECS]
#                           start DIR/tollybrook on DISPLAY (after the words in
#                           X_RUN_PREFIX), play a little (a tile, the start
#                           button, Y, the battle, a few shots), hold Escape and
#                           expect exit status 0; prints why not and returns 1

X_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
X_SERVER_PID=""
X_GAME_PID=""
export X_GAME_STATUS=""

x_fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# A hi.dat table of the values, as the game writes it (none for no values),
# through the scripted player's writer, which is checked against the game's.
x_table() {
    x_player table "$@"
}

# The names of the game's media files, a line each, from the build's media.json.
x_media_names() {
    python3 -c 'import json, sys
for m in json.load(open(sys.argv[1])): print(m["name"])' "$build/media.json"
}

x_begin() {
    build=$(cd "$2" && pwd) || exit 1
    work=$(mktemp -d "/tmp/tollybrook-$1.XXXXXX")
    trap 'x_stop_all; rm -rf "$work"' EXIT
    # Choices of the test's own, remembered by no other test; the file is
    # there, so the help card of a player's very first start stays closed.
    export XDG_CONFIG_HOME=$work/config
    mkdir -p "$XDG_CONFIG_HOME/tollybrook"
    : >"$XDG_CONFIG_HOME/tollybrook/tollybrook.cfg"
}

x_player() { python3 "$X_LIB_DIR/scripted_player.py" --layout "$build/layout.json" "$@"; }

# The scripted player's screenshots of a failed run stay in artifacts.
x_begin_player() {
    x_begin "$1" "$2"
    x_need python3 xwd xwininfo
    artifacts="$build/e2e-artifacts/$1"
    rm -rf "$artifacts"
    mkdir -p "$artifacts"
    x_stage_placeholder_game "$work/game" "$build"
    x_player hiscores --seed --file "$work/game/hi.dat" || x_fail "cannot write the starting hi.dat"
}

x_need() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || x_fail "$tool is not installed"
    done
}

# Starts Xvfb on a display it picks itself (-displayfd: the server takes the
# first free number and writes it back once it is ready), with a screen of
# $X_SCREEN (default 800x600x24), and sets X_CLAIMED_DISPLAY and
# X_CLAIMED_PID; returns 1 when it does not start.
x_claim_display() {
    local numbers _
    numbers=$(mktemp /tmp/tollybrook-display.XXXXXX)
    Xvfb -displayfd 3 -screen 0 "${X_SCREEN:-800x600x24}" -noreset -nolisten tcp \
        3>"$numbers" >/dev/null 2>&1 &
    X_CLAIMED_PID=$!
    for _ in $(seq 1 200); do
        if [ -s "$numbers" ] && [ "$(tail -c1 "$numbers" | od -An -c | tr -d ' ')" = '\n' ]; then
            X_CLAIMED_DISPLAY=$(tr -d '\n' <"$numbers")
            rm -f "$numbers"
            return 0
        fi
        kill -0 "$X_CLAIMED_PID" 2>/dev/null || break
        sleep 0.05
    done
    rm -f "$numbers"
    kill "$X_CLAIMED_PID" 2>/dev/null
    return 1
}

x_start_server() {
    x_need Xvfb xdpyinfo xdotool
    x_claim_display || x_fail "cannot start an X server"
    X_SERVER_PID=$X_CLAIMED_PID
    export DISPLAY=":$X_CLAIMED_DISPLAY"
}

# Prints the display number; the pid goes into FILE, since this runs in a
# subshell of the worker that uses it.
x_start_server_in() {
    x_claim_display || return 1
    echo "$X_CLAIMED_PID" >>"$1"
    echo "$X_CLAIMED_DISPLAY"
}

x_stop_servers_in() {
    local pid
    [ -f "$1" ] || return 0
    while read -r pid; do
        kill "$pid" 2>/dev/null
    done <"$1"
    : >"$1"
}

x_kill() {
    if kill -0 "$1" 2>/dev/null; then
        kill "$1" 2>/dev/null
        sleep 0.2
        kill -9 "$1" 2>/dev/null
    fi
    wait "$1" 2>/dev/null
}

x_stop_game() {
    [ -n "$X_GAME_PID" ] && x_kill "$X_GAME_PID"
    X_GAME_PID=""
}

x_stop_all() {
    x_stop_game
    if [ -n "$X_SERVER_PID" ]; then
        kill "$X_SERVER_PID" 2>/dev/null
        wait "$X_SERVER_PID" 2>/dev/null
        X_SERVER_PID=""
    fi
}

# The game keeps hi.dat beside its executable; a private copy keeps the tests
# away from the developer's own table and from each other.
x_stage_game() {
    local dir=$1 build=$2
    [ -x "$build/tollybrook" ] || x_fail "$build/tollybrook has not been built"
    mkdir -p "$dir"
    cp "$build/tollybrook" "$dir/tollybrook"
}

# Every picture becomes a flat placeholder square, which the scripted player
# finds by its colour. Without its own font the game uses a system one.
x_stage_placeholder_game() {
    x_stage_game "$1" "$2"
    mkdir -p "$1/media"
    if [ -f "$2/media/puree2.ttf" ]; then
        cp "$2/media/puree2.ttf" "$1/media/"
    fi
}

x_stage_media() {
    [ -d "$2/media" ] || x_fail "$2/media has not been built"
    cp -r "$2/media" "$1/"
}

x_stage_built_game() {
    x_stage_game "$1" "$2"
    x_stage_media "$1" "$2"
}

# With HOME pointing there, Allegro gets an ALSA device that plays into RAW
# (no sound card needed), so the tune and the effects really are played.
x_sound_sink() {
    mkdir -p "$1"
    echo "pcm.!default { type file; slave.pcm \"null\"; file \"$2\"; format \"raw\" }" >"$1/.asoundrc"
}

x_launch_game() {
    local dir=$1 log=$2
    "$dir/tollybrook" >"$log" 2>&1 &
    X_GAME_PID=$!
}

# Allegro creates the window under the program's file name and renames it
# afterwards, and xdotool matches names without regard to case, so the name
# and the size are checked exactly here before the id is trusted.
x_wait_window() {
    local pid=$1 secs=${2:-30} deadline id name
    deadline=$((SECONDS + secs))
    while [ $SECONDS -lt $deadline ]; do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "FAIL: the game ended before its window appeared" >&2
            return 1
        fi
        for id in $(xdotool search --onlyvisible --name '^Tollybrook$' 2>/dev/null); do
            name=$(xdotool getwindowname "$id" 2>/dev/null)
            if [ "$name" = "Tollybrook" ] &&
                xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable'; then
                echo "$id"
                return 0
            fi
        done
        sleep 0.1
    done
    echo "FAIL: no visible window named Tollybrook within $secs s" >&2
    return 1
}

# Prints "W H" of a window.
x_window_size() {
    xwininfo -id "$1" | awk '/^  Width:/ {w=$2} /^  Height:/ {h=$2} END {print w, h}'
}

x_wait_exit() {
    local pid=$1 secs=$2 deadline
    deadline=$((SECONDS + secs))
    while kill -0 "$pid" 2>/dev/null; do
        if [ $SECONDS -ge $deadline ]; then
            X_GAME_STATUS=""
            return 1
        fi
        sleep 0.05
    done
    wait "$pid"
    X_GAME_STATUS=$?
    X_GAME_PID=""
    return 0
}

# The game reads the key state once a tick (1/60 s), so a key is held for a
# few ticks; a press and release between two ticks would go unseen.
x_hold_key() {
    local key=$1 secs=${2:-0.08}
    xdotool keydown "$key"
    sleep "$secs"
    xdotool keyup "$key"
}

# Sends the WM_DELETE_WINDOW message a window manager's close button sends.
x_close_window() {
    python3 "$X_LIB_DIR/scripted_player.py" close --window "$1"
}

x_click() {
    xdotool mousemove --window "$1" "$2" "$3" click 1  # a tap: press and release at once
    sleep 0.06
}

# Words put before ./tollybrook by x_play_round (a wrapper that changes its
# world, say); empty for a plain start.
X_RUN_PREFIX=()

# One round of play; the game's output goes to DIR/game.log.
x_play_round() {
    local dir=$1 linger=${3:-1.0} pid id k
    local -x DISPLAY=:$2
    (cd "$dir" && exec "${X_RUN_PREFIX[@]}" ./tollybrook >game.log 2>&1) &
    pid=$!
    if ! id=$(x_wait_window "$pid" 20 2>/dev/null); then
        if kill -0 "$pid" 2>/dev/null; then
            x_kill "$pid"
            echo "no window within 20 s (hung while loading?)"
        else
            wait "$pid"
            echo "ended with status $? before its window appeared"
        fi
        return 1
    fi
    sleep 0.3
    xdotool mousemove --window "$id" 320 240
    # Lay a tile, press the start button, answer Y and turn the pages to the battle.
    x_click "$id" 540 100
    x_click "$id" 100 100
    x_click "$id" 570 448
    for k in y space space space; do
        x_hold_key "$k"
        sleep 0.12
    done
    # A few shots: the shot and explosion sounds, the flame and blast pictures.
    for k in 150 230 310; do x_click "$id" "$k" 300; done
    sleep "$linger"
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid"
        echo "ended with status $? while playing"
        return 1
    fi
    if ! xdotool search --name '^Tollybrook$' >/dev/null 2>&1; then
        x_kill "$pid"
        echo "its window is gone while it runs"
        return 1
    fi
    x_hold_key Escape 0.1
    if ! x_wait_exit "$pid" 10; then
        x_kill "$pid"
        echo "did not end within 10 s of Escape"
        return 1
    fi
    if [ "$X_GAME_STATUS" -ne 0 ]; then
        echo "ended with status $X_GAME_STATUS after Escape"
        return 1
    fi
    if grep -q -E 'runtime error|AddressSanitizer|LeakSanitizer' "$dir/game.log"; then
        echo "the sanitizers complained: $(grep -m1 -E 'runtime error|Sanitizer' "$dir/game.log")"
        return 1
    fi
    return 0
}
