# Helpers for the bad-input tests (bad_media.sh, bad_environment.sh): private
# X servers on displays :40 to :49, staged copies of the game, and one short
# round of play. Source it; it defines functions only.
#
#   bad_start_server            start an Xvfb, print its display number
#   bad_stop_servers            stop every Xvfb this shell started
#   bad_stage DIR BUILD         copy the game, its media and its config into DIR
#   bad_run_round DIR DISPLAY [SECS]
#                               start DIR/tollybrook on DISPLAY, play a little
#                               (start button, Y, the battle, a few shots), hold
#                               Escape and expect exit status 0; prints why not

source "$(dirname "${BASH_SOURCE[0]}")/lib_x.bash"

BAD_SERVERS_FILE=""
# Words put before ./tollybrook when it is started (a wrapper that changes
# its world, say); empty for a plain start.
BAD_PREFIX=()

# Prints the display number; the pid goes into BAD_SERVERS_FILE (set by the
# caller), since this runs in a subshell.
bad_start_server() {
    x_claim_display 40 49 || return 1
    echo "$X_CLAIMED_PID" >>"$BAD_SERVERS_FILE"
    echo "$X_CLAIMED_DISPLAY"
}

bad_stop_servers() {
    local pid
    [ -n "$BAD_SERVERS_FILE" ] && [ -f "$BAD_SERVERS_FILE" ] || return 0
    while read -r pid; do
        kill "$pid" 2>/dev/null
    done <"$BAD_SERVERS_FILE"
    : >"$BAD_SERVERS_FILE"
}

bad_stage() {
    x_stage_game "$1" "$2"
    x_stage_media "$1" "$2"
}

# Presses a key for a few ticks: the game samples the keys once a tick.
bad_key() {
    DISPLAY=$1 xdotool keydown "$2"
    sleep 0.08
    DISPLAY=$1 xdotool keyup "$2"
    sleep 0.12
}

bad_click() {
    DISPLAY=$1 xdotool mousemove --window "$2" "$3" "$4" mousedown 1
    sleep 0.06
    DISPLAY=$1 xdotool mouseup 1
    sleep 0.06
}

# Prints the game's window id once it is visible, or returns 1.
bad_wait_window() {
    local display=$1 pid=$2 secs=$3 deadline id
    deadline=$((SECONDS + secs))
    while [ $SECONDS -lt $deadline ]; do
        kill -0 "$pid" 2>/dev/null || return 1
        for id in $(DISPLAY=:$display xdotool search --onlyvisible --name '^Tollybrook$' 2>/dev/null); do
            if [ "$(DISPLAY=:$display xdotool getwindowname "$id" 2>/dev/null)" = Tollybrook ]; then
                echo "$id"
                return 0
            fi
        done
        sleep 0.1
    done
    return 1
}

# Waits up to SECS for PID to end; sets BAD_STATUS to its exit status.
bad_wait_exit() {
    local pid=$1 secs=$2 deadline
    deadline=$((SECONDS + secs))
    while kill -0 "$pid" 2>/dev/null; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.05
    done
    wait "$pid"
    BAD_STATUS=$?
    return 0
}

bad_kill() {
    kill "$1" 2>/dev/null
    sleep 0.2
    kill -9 "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}

# One round of play. The output (stdout and stderr) of the game goes to
# DIR/game.log. Returns 0, or prints what went wrong and returns 1.
bad_run_round() {
    local dir=$1 display=$2 linger=${3:-1.0} pid id k
    (cd "$dir" && DISPLAY=:$display exec "${BAD_PREFIX[@]}" ./tollybrook >game.log 2>&1) &
    pid=$!
    if ! id=$(bad_wait_window "$display" "$pid" 20); then
        if kill -0 "$pid" 2>/dev/null; then
            bad_kill "$pid"
            echo "no window within 20 s (hung while loading?)"
        else
            wait "$pid"
            echo "ended with status $? before its window appeared"
        fi
        return 1
    fi
    sleep 0.3
    local d=:$display
    DISPLAY=$d xdotool mousemove --window "$id" 320 240
    # Lay a tile, press the start button, answer Y and turn the pages to the battle.
    bad_click "$d" "$id" 540 100
    bad_click "$d" "$id" 100 100
    bad_click "$d" "$id" 570 448
    for k in y space space space; do bad_key "$d" "$k"; done
    # A few shots: the shot and explosion sounds, the flame and blast pictures.
    for k in 150 230 310; do bad_click "$d" "$id" "$k" 300; done
    sleep "$linger"
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid"
        echo "ended with status $? while playing"
        return 1
    fi
    if ! DISPLAY=$d xdotool search --name '^Tollybrook$' >/dev/null 2>&1; then
        bad_kill "$pid"
        echo "its window is gone while it runs"
        return 1
    fi
    DISPLAY=$d xdotool keydown Escape
    sleep 0.1
    DISPLAY=$d xdotool keyup Escape
    if ! bad_wait_exit "$pid" 10; then
        bad_kill "$pid"
        echo "did not end within 10 s of Escape"
        return 1
    fi
    if [ "$BAD_STATUS" -ne 0 ]; then
        echo "ended with status $BAD_STATUS after Escape"
        return 1
    fi
    if grep -q -E 'runtime error|AddressSanitizer|LeakSanitizer' "$dir/game.log"; then
        echo "the sanitizers complained: $(grep -m1 -E 'runtime error|Sanitizer' "$dir/game.log")"
        return 1
    fi
    return 0
}
