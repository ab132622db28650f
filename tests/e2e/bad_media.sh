#!/usr/bin/env bash
# Broken media: each media file in turn is cut to half its size,
# emptied, replaced by random bytes, or kept only for its first 16 bytes
# (the file-type magic) with random bytes after them. Each time the game
# must start, show its window, play a short round (a tile, the dialog, the
# battle, three shots) with placeholders or silence where the file was,
# and end with status 0 on Escape.
#
#   bash tests/e2e/bad_media.sh BUILD_DIR [WORKERS]
#
# Runs WORKERS games side by side (default 4), each on its own X server.
# The files that broke it are kept in BUILD_DIR/bad_media_failures/.
set -uo pipefail

build=${1:?usage: bad_media.sh BUILD_DIR [WORKERS]}
build=$(cd "$build" && pwd)
workers=${2:-4}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib_x.bash"
x_need Xvfb xdpyinfo xdotool python3

mapfile -t media_files < <(x_media_names)
[ ${#media_files[@]} -gt 0 ] || x_fail "no media list in $build/media.json"
damages=(truncated empty random magic)

for name in "${media_files[@]}"; do
    [ -s "$build/media/$name" ] || x_fail "$build/media/$name has not been built"
done

work=$(mktemp -d /tmp/tollybrook-bad-media.XXXXXX)
servers=$work/servers
: >"$servers"
trap 'x_stop_servers_in "$servers"; rm -rf "$work"' EXIT
failures_dir=$build/bad_media_failures
rm -rf "$failures_dir"

# Writes a damaged copy of SRC to DST; the random bytes are seeded by the
# file's name, so a failure comes back the same on the next run.
damage() {
    python3 - "$@" <<'EOF'
import random, sys
kind, src, dst = sys.argv[1:4]
data = open(src, "rb").read()
rng = random.Random(kind + ":" + dst.rsplit("/", 1)[-1])
noise = lambda n: bytes(rng.getrandbits(8) for _ in range(n))
if kind == "truncated":
    out = data[: len(data) // 2]
elif kind == "empty":
    out = b""
elif kind == "random":
    out = noise(len(data))
else:  # the magic stays, so the loader goes on to read nonsense
    out = data[:16] + noise(max(len(data) - 16, 64))
open(dst, "wb").write(out)
EOF
}

cases=()
for name in "${media_files[@]}"; do
    for kind in "${damages[@]}"; do cases+=("$name:$kind"); done
done

# Worker W takes every WORKERS-th case, one after the other, on its own server.
run_worker() {
    local w=$1 display i name kind dir why
    if ! display=$(x_start_server_in "$servers"); then
        echo "FAIL worker $w: cannot start an X server" >>"$work/result.$w"
        return
    fi
    for ((i = w; i < ${#cases[@]}; i += workers)); do
        name=${cases[$i]%%:*}
        kind=${cases[$i]##*:}
        dir=$work/w$w
        rm -rf "$dir"
        x_stage_built_game "$dir" "$build"
        damage "$kind" "$build/media/$name" "$dir/media/$name"
        if why=$(x_play_round "$dir" "$display" 0.8); then
            echo "ok   $name $kind" >>"$work/result.$w"
        else
            echo "FAIL $name $kind: $why" >>"$work/result.$w"
            mkdir -p "$failures_dir"
            cp "$dir/media/$name" "$failures_dir/$kind.$name"
            cp "$dir/game.log" "$failures_dir/$kind.$name.log"
        fi
    done
}

started=$SECONDS
pids=()
for ((w = 0; w < workers; w++)); do
    run_worker "$w" &
    pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid"; done

cat "$work"/result.* | sort
total=$(cat "$work"/result.* | grep -c '^ok ')
failed=$(cat "$work"/result.* | grep -c '^FAIL')
echo "bad media: $total of ${#cases[@]} damaged files survived, $failed failed ($((SECONDS - started)) s)"
[ "$failed" -eq 0 ] && [ "$total" -eq "${#cases[@]}" ]
