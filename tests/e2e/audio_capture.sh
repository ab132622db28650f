#!/usr/bin/env bash
# Listens to the game: the tune must play in the build phase, and a click in
# the build phase must sound an effect, each at its own volume.
#
#   bash tests/e2e/audio_capture.sh BUILD_DIR
#
# The game runs under Xvfb, with HOME pointing at a folder whose .asoundrc
# makes ALSA's default device a file sink, so whatever Allegro mixes ends up
# in a raw file (unsigned 16-bit: silence is 32768). Two runs:
#
#   1. the game as built: before any click, the capture must hold the tune
#      (clearly above silence, and steadily so, not a lone blip);
#      Then M turns the sound off (the capture falls silent) and on again
#      (the tune is back), and the choice is remembered;
#   2. the same game with the tune left out of its media folder: before the
#      click the capture must be pure silence (so the sound of run 1 came
#      from the tune), and after the click a short burst must appear: the
#      click effect;
#   3. the game with its tune at --music-volume 0: silence before the click,
#      the click's effect after it (the music's volume leaves the effects
#      alone), and the volume remembered;
#   4. at --effects-volume 0: the tune plays all the same (the tune goes
#      through the same mixer as the effects, so that is no given).
#
# The file sink takes audio as fast as Allegro delivers it, faster than
# real time, so the capture cannot be cut by wall-clock time. Instead the
# file's size just before the click marks where "before" ends.
#
# Skips (exit 0) when Xvfb or ALSA is missing, except under CI=true.
set -uo pipefail

build=${1:?usage: audio_capture.sh BUILD_DIR}
build=$(cd "$build" && pwd)

skip() {
  if [ "${CI:-}" = "true" ]; then
    echo "FAIL: $* (CI must run this test)"
    exit 1
  fi
  echo "SKIP: $*"
  exit 0
}
fail() { echo "FAIL: $*"; exit 1; }

command -v Xvfb >/dev/null || skip "Xvfb is not installed"
command -v xdotool >/dev/null || skip "xdotool is not installed"
ldconfig -p 2>/dev/null | grep -q 'libasound\.so\.2' || skip "ALSA (libasound2) is not installed"
command -v python3 >/dev/null || fail "python3 is needed to analyse the capture"

[ -x "$build/tollybrook" ] || fail "$build/tollybrook not built"
for f in nbk.mid sel.wav puree2.ttf; do
  [ -f "$build/media/$f" ] || fail "$build/media/$f not built"
done

source "$(dirname "${BASH_SOURCE[0]}")/lib_x.bash"
tmp=$(mktemp -d)
game_pid=
cleanup() {
  [ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null
  x_stop_all
  wait 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
x_claim_display || skip "cannot start an X server"
X_SERVER_PID=$X_CLAIMED_PID
export DISPLAY=":$X_CLAIMED_DISPLAY"

# A private copy of the game folder: the program finds media/ and hi.dat beside its executable, so this keeps the build folder clean and
# lets run 2 leave the tune out.
make_game_dir() { # make_game_dir DIR WITH_TUNE
  local dir=$1 with_tune=$2
  mkdir -p "$dir/media"
  cp "$build/tollybrook" "$dir/"
  for f in "$build"/media/*; do
    [ "$with_tune" = 0 ] && [ "$(basename "$f")" = nbk.mid ] && continue
    ln -s "$f" "$dir/media/"
  done
}

bytes_of() { stat -c %s "$1" 2>/dev/null || echo 0; }

# run_game NAME WITH_TUNE [OPTION...]: plays the game, clicks once in the
# build phase, quits; leaves NAME.raw (the capture) and NAME.click (its size
# at the click), and NAME.cfg (the choices file it left).
run_game() {
  local name=$1 with_tune=$2
  shift 2
  local dir=$tmp/$name home=$tmp/$name-home raw=$tmp/$name.raw
  make_game_dir "$dir" "$with_tune"
  x_sound_sink "$home" "$raw"
  # An options file of its own, already there: no first-start help card.
  mkdir -p "$home/.config/tollybrook" && : >"$home/.config/tollybrook/tollybrook.cfg"
  HOME=$home XDG_CONFIG_HOME=$home/.config "$dir/tollybrook" "$@" >"$tmp/$name.out" 2>&1 &
  game_pid=$!

  local wid
  wid=$(x_wait_window "$game_pid" 15) || fail "$name: the game window did not appear; output: $(tail -n 5 "$tmp/$name.out")"

  # Let the build phase run and the capture fill: at least two seconds of
  # audio, and at least 1.5 s of wall time.
  sleep 1.5
  for _ in $(seq 100); do
    [ "$(bytes_of "$raw")" -ge 400000 ] && break
    sleep 0.1
  done
  [ -f "$raw" ] || fail "$name: the game opened no ALSA device (no capture)"

  bytes_of "$raw" >"$tmp/$name.click"
  # Inside the playfield grid, in the build phase. Held across several ticks
  # because the game samples the button once a tick.
  xdotool mousemove --window "$wid" 300 200
  xdotool mousedown 1; sleep 0.15; xdotool mouseup 1
  sleep 1.5
  if [ "$with_tune" = 1 ]; then  # M off, then on: the capture's sizes mark each span
    local marks=$tmp/$name.marks
    : >"$marks"
    for _ in off on; do
      x_hold_key m 0.15
      sleep 0.8
      bytes_of "$raw" >>"$marks"
      sleep 1.2
      bytes_of "$raw" >>"$marks"
    done
    grep -q "mute = 0" "$home/.config/tollybrook/tollybrook.cfg" ||
      fail "$name: M off and on left $(cat "$home/.config/tollybrook/tollybrook.cfg")"
  fi

  xdotool mousemove --window "$wid" 320 240
  xdotool keydown Escape; sleep 0.2; xdotool keyup Escape
  for _ in $(seq 50); do
    kill -0 "$game_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$game_pid" 2>/dev/null; then
    kill "$game_pid"
    wait "$game_pid" 2>/dev/null
    game_pid=
    fail "$name: the game did not end on Escape"
  fi
  wait "$game_pid" 2>/dev/null
  game_pid=
  cp "$home/.config/tollybrook/tollybrook.cfg" "$tmp/$name.cfg"
}

run_game tune 1
run_game quiet 0
run_game music0 1 --music-volume 0
grep -q "^music_volume = 0$" "$tmp/music0.cfg" || fail "--music-volume 0 was not remembered: $(cat "$tmp/music0.cfg")"
run_game effects0 1 --effects-volume=0

python3 - "$tmp" <<'EOF'
import array, math, sys

tmp = sys.argv[1]
RATE, CHANNELS = 44100, 2          # what Allegro's ALSA driver opens
FRAME = 2 * CHANNELS

def load(name):
    with open("%s/%s.raw" % (tmp, name), "rb") as f:
        raw = f.read()
    with open("%s/%s.click" % (tmp, name)) as f:
        click = int(f.read()) // FRAME
    data = array.array("H")
    data.frombytes(raw[: len(raw) // FRAME * FRAME])
    if sys.byteorder != "little":
        data.byteswap()
    # Mono, centred on zero.
    mono = [(data[i] + data[i + 1]) / 2 - 32768 for i in range(0, len(data), 2)]
    return mono, min(click, len(mono))

def rms(xs):
    return math.sqrt(sum(x * x for x in xs) / len(xs)) if xs else 0.0

def windows(xs, seconds):
    n = int(RATE * seconds)
    return [rms(xs[i:i + n]) for i in range(0, len(xs) - n + 1, n)]

failures = []
def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)

# The tune in the build phase, before the click.
def tune_plays(name):
    mono, click = load(name)
    before = mono[:click]
    check(len(before) >= 2 * RATE,
          "%s: %.1f s captured before the click (need 2 s)" % (name, len(before) / RATE))
    w = windows(before, 0.25)
    start = next((i for i, r in enumerate(w) if r > 150), None)
    check(start is not None, "%s: the tune starts before the click" % name)
    if start is not None:
        playing = w[start:]
        loud = sum(r > 150 for r in playing)
        check(len(playing) >= 4 and loud >= 0.8 * len(playing),
              "%s: %d of %d quarter-second windows above RMS 150 after it starts"
              % (name, loud, len(playing)))
        level = rms(before[int(start * 0.25 * RATE):])
        check(level > 400, "%s: RMS %.0f while playing (need > 400; silence is 0)" % (name, level))
    return mono

# Silence until the click, then the click's effect.
def silent_until_the_click(name):
    mono, click = load(name)
    before, after = mono[:click], mono[click:]
    noise = max((abs(x) for x in before), default=0)
    check(len(before) >= RATE and noise <= 2,
          "%s: %.1f s of silence before the click (peak %d)" % (name, len(before) / RATE, noise))
    loud = [i for i, x in enumerate(after) if abs(x) > 300]
    check(bool(loud), "%s: the click makes a sound" % name)
    if loud:
        span = (loud[-1] - loud[0]) / RATE
        peak = max(abs(x) for x in after)
        check(peak > 1500, "%s: effect peak %d (need > 1500)" % (name, peak))
        check(0.02 <= span <= 0.5,
              "%s: one short effect, %.3f s long (the click is about 0.07 s)" % (name, span))

mono = tune_plays("tune")
# M: silence while the sound is off, the tune again once it is on.
marks = [int(n) // FRAME for n in open("%s/tune.marks" % tmp).read().split()]
off, on = mono[marks[0]:marks[1]], mono[marks[2]:marks[3]]
check(len(off) >= RATE // 2 and max((abs(x) for x in off), default=0) <= 2,
      "M: %.1f s of silence with the sound off" % (len(off) / RATE))
check(len(on) >= RATE // 2 and rms(on) > 400,
      "M: RMS %.0f over %.1f s with the sound on again" % (rms(on), len(on) / RATE))

silent_until_the_click("quiet")    # no tune
silent_until_the_click("music0")   # the tune at volume 0
tune_plays("effects0")             # the effects at volume 0

if failures:
    sys.exit(1)
EOF
status=$?
[ $status -eq 0 ] || fail "the capture does not hold the expected sound"
echo "PASS: the tune plays in the build phase, M silences it and brings it back, a click sounds an effect, and each keeps to its own volume"
