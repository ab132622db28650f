#!/usr/bin/env bash
# SIGTERM, SIGINT and SIGHUP end the game as Escape does, and no score is
# lost: the scripted player wins a battle and stops at the score screen,
# where SIGTERM must leave status 0 and the new score in hi.dat. Then twenty
# runs each start a battle and get one of the three signals at a random
# moment in it: each must end with status 0 and leave the table as it was.
#
#   bash tests/e2e/stop_signals.sh BUILD_DIR
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib_x.bash
source "$here/lib_x.bash"
x_begin_player stop_signals "${1:-build}"

x_start_server
started=$SECONDS
x_launch_game "$work/game" "$artifacts/score.log"
win=$(x_wait_window "$X_GAME_PID") || exit 1
x_player play --until-score --window "$win" --artifacts "$artifacts" --summary "$work/summary.json" ||
    x_fail "the scripted player did not reach the score screen (screenshots in $artifacts)"
kill -TERM "$X_GAME_PID"
x_wait_exit "$X_GAME_PID" 10 || x_fail "SIGTERM did not end the score screen"
[ "$X_GAME_STATUS" = 0 ] || x_fail "SIGTERM at the score screen: status $X_GAME_STATUS"
x_player hiscores --file "$work/game/hi.dat" --summary "$work/summary.json" ||
    x_fail "SIGTERM at the score screen lost the battle's score"
echo "ok   SIGTERM at the score screen kept the score ($((SECONDS - started)) s)"

cp "$work/game/hi.dat" "$work/table"
signals=(TERM INT HUP)
for run in $(seq 1 20); do
    signal=${signals[$((run % 3))]}
    x_launch_game "$work/game" "$artifacts/battle-$run.log"
    win=$(x_wait_window "$X_GAME_PID") || exit 1
    x_player battle --window "$win" || x_fail "run $run: no battle began"
    sleep "0.$((RANDOM % 8))"
    kill "-$signal" "$X_GAME_PID"
    x_wait_exit "$X_GAME_PID" 10 || x_fail "run $run: SIG$signal did not end the battle"
    [ "$X_GAME_STATUS" = 0 ] || x_fail "run $run: SIG$signal in a battle gave status $X_GAME_STATUS"
    cmp -s "$work/table" "$work/game/hi.dat" || x_fail "run $run: SIG$signal changed the table"
done
echo "PASS: 20 battles ended by SIGTERM, SIGINT and SIGHUP with status 0, the table intact ($((SECONDS - started)) s)"
