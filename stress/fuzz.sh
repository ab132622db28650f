#!/usr/bin/env bash
# Fuzzes what the game reads, with libFuzzer:
#   bash stress/fuzz.sh [seconds] [scores|media]     (default 60 scores)
# scores: the hi.dat loader and the save after it; every written table must
#         be well-formed.
# media:  the picture (behind the game's header check), sample, tune (behind
#         the game's MIDI check) and font loaders; seeded from build/media
#         when it has been built.
# Configures a clang build in build-fuzz (AddressSanitizer, UBSan and the
# fuzzer's coverage), builds the target and runs it in build-fuzz/stress/fuzz.
# Inputs that break it are left there as crash-*; replay a hi.dat one with
# g++ through build/stress/score_replay FILE.
set -euo pipefail
seconds=${1:-60}
target=${2:-scores}
case $target in
  scores | media) ;;
  *) echo "usage: fuzz.sh [seconds] [scores|media]" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/deps.sh build test fuzz
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTOLLYBROOK_SANITIZE=ON -DTOLLYBROOK_MEDIA=OFF -DTOLLYBROOK_FUZZ=ON \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link > build-fuzz.configure.log 2>&1 \
  || { cat build-fuzz.configure.log; exit 1; }
cmake --build build-fuzz --target "${target%s}_fuzz" layout_file -j"${JOBS:-2}"
# The hi.dat writer and the media list of the end-to-end scripts.
build=$root/build-fuzz
source "$root/tests/e2e/lib_x.bash"
cd build-fuzz/stress/fuzz
corpus=corpus-$target
mkdir -p "$corpus"
if [ "$target" = scores ]; then
  # A few sound tables to start from: the default one, extremes, eleven records.
  x_table 0 10 20 30 40 50 60 70 80 90 > "$corpus/default"
  x_table -5 999999999 -99999999 > "$corpus/extremes"
  x_table 1 2 3 4 5 6 7 8 9 10 11 > "$corpus/eleven"
  exec ./score_fuzz -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 "$corpus"
fi
# The first byte picks the media file, by its place in the game's media list.
names=$(x_media_names)
for f in "$root"/build/media/*; do
  [ -f "$f" ] || continue
  index=$(grep -n -x -F "$(basename "$f")" <<<"$names" | cut -d: -f1)
  [ -n "$index" ] || continue
  { printf "\\x$(printf %02x $((index - 1)))"; cat "$f"; } > "$corpus/$(basename "$f")"
done
exec ./media_fuzz -max_total_time="$seconds" -max_len=300000 -rss_limit_mb=4096 \
  -print_final_stats=1 "$corpus"
