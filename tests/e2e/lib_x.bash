# Helpers for the end-to-end tests that run the game in a private X server.
# Source it from a test script; it defines functions only.
#
#   x_start_server          start Xvfb on a free display from :60 to :69, export DISPLAY
#   x_stop_all              stop the game and the X server that this shell started
#   x_stage_game DIR BUILD  copy the executable into DIR so hi.dat lands there
#   x_stage_placeholder_game DIR BUILD  the same with only the font in media/
#   x_stage_media DIR BUILD copy the built media beside it
#   x_sound_sink HOME RAW   make HOME's ALSA default device write to the file RAW
#   x_launch_game DIR LOG   start DIR/tollybrook, set X_GAME_PID
#   x_wait_window PID       print the id of the game's 640x480 window named "Tollybrook"
#   x_wait_exit PID SECS    wait for the game to end; set X_GAME_STATUS
#   x_hold_key KEY [SECS]   press a key, hold it, release it

X_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
X_SERVER_PID=""
X_GAME_PID=""
export X_GAME_STATUS=""

x_fail() {
    echo "FAIL: $*" >&2
    exit 1
}

x_need() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || x_fail "$tool is not installed"
    done
}

# Starts Xvfb on the first free display from FIRST to LAST and sets
# X_CLAIMED_DISPLAY and X_CLAIMED_PID; returns 1 when none is free. Other test
# runs and other people's servers share this machine, so a display counts as
# free only when neither its socket nor its lock file exists, and it is ours
# only when the lock names our Xvfb.
x_claim_display() {
    local n pid _
    for n in $(seq "$1" "$2"); do
        [ -e "/tmp/.X11-unix/X$n" ] && continue
        [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 800x600x24 -noreset -nolisten tcp >/dev/null 2>&1 &
        pid=$!
        for _ in $(seq 1 100); do
            if ! kill -0 "$pid" 2>/dev/null; then
                break
            fi
            if [ "$({ tr -d ' ' <"/tmp/.X$n-lock"; } 2>/dev/null)" = "$pid" ] &&
                xdpyinfo -display ":$n" >/dev/null 2>&1; then
                X_CLAIMED_DISPLAY=$n
                X_CLAIMED_PID=$pid
                return 0
            fi
            sleep 0.05
        done
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    return 1
}

x_start_server() {
    x_need Xvfb xdpyinfo xdotool
    x_claim_display 60 69 || x_fail "no free X display between :60 and :69"
    X_SERVER_PID=$X_CLAIMED_PID
    export DISPLAY=":$X_CLAIMED_DISPLAY"
}

x_stop_game() {
    if [ -n "$X_GAME_PID" ] && kill -0 "$X_GAME_PID" 2>/dev/null; then
        kill "$X_GAME_PID" 2>/dev/null
        sleep 0.2
        kill -9 "$X_GAME_PID" 2>/dev/null
    fi
    [ -n "$X_GAME_PID" ] && wait "$X_GAME_PID" 2>/dev/null
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
    local pid=$1 deadline=$((SECONDS + 30)) id name
    while [ $SECONDS -lt $deadline ]; do
        kill -0 "$pid" 2>/dev/null || x_fail "the game ended before its window appeared"
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
    x_fail "no visible window named Tollybrook within 30 s"
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
