#!/usr/bin/env bash
# Plays a demo clip with ozmira, from a fresh Debian 12 machine: installs what
# is missing, builds, makes the clip with ffmpeg if there is none with sound
# (a test pattern whose counter changes every frame and a tone with a beep
# each second, 8 seconds of PAL DV in demo/), and plays it. Without a display
# that answers, it plays the clip under Xvfb instead with SDL's disk audio
# driver, saves a screenshot of the window and the sound played as a WAV
# file, checks that the sound is the clip's own from its start, prints both
# paths, quits the viewer with q and exits 0 (1 when the check fails). It
# builds ozmira-export too and says where it is, so the README's export
# examples work before anything is installed.
# OZMIRA_BUILD_DIR chooses the build directory (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${OZMIRA_BUILD_DIR:-build}
clip=demo/demo.dv
screenshot=demo/screenshot.png
sound=demo/sound.wav
demo_seconds=8
audio_rate=48000
settle_seconds=2  # time the viewer plays before the screenshot

tools/install-deps.sh
# An existing build keeps the build type it was configured with.
build_type=()
[[ -f $build/CMakeCache.txt ]] || build_type=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
cmake -S . -B "$build" "${build_type[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target ozmira ozmira-export >/dev/null
ozmira=$build/viewer/ozmira
echo "run-demo: ozmira-export is $(realpath "$build/tools/export/ozmira-export") (try it on $clip)"

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
has_sound() { [[ -n $(ffprobe -v error -select_streams a -show_entries stream=index -of csv=p=0 "$1" 2>/dev/null) ]]; }
if [[ ! -s $clip ]] || ! has_sound "$clip"; then
  echo "run-demo: making $clip with ffmpeg"
  mkdir -p demo
  # testsrc with two decimals shows its timestamp in 1/100 s: a new number every frame.
  ff -f lavfi -i "testsrc=size=720x576:rate=25:decimals=2" -f lavfi -i "sine=frequency=440:beep_factor=4" \
    -t "$demo_seconds" -target pal-dv -ar "$audio_rate" -ac 2 -f dv "$clip.part"
  mv "$clip.part" "$clip"
fi

if [[ -n ${DISPLAY:-} ]] && timeout 5 xdpyinfo >/dev/null 2>&1; then
  echo "run-demo: playing $clip (q or Escape ends, Space pauses; README has every key)"
  exec "$ozmira" "$clip"
fi

echo "run-demo: no display answers${DISPLAY:+ at $DISPLAY}; playing $clip under Xvfb instead"
tmp=$(mktemp -d)
xvfb_pid='' viewer_pid=''
cleanup() {
  set +e
  [[ -n $viewer_pid ]] && kill "$viewer_pid" 2>/dev/null
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

# Xvfb takes a free display number and writes it once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
for ((i = 0; i < 100; i++)); do [[ -s $tmp/display ]] && break; sleep 0.1; done
[[ -s $tmp/display ]] || { echo "run-demo: Xvfb did not start" >&2; cat "$tmp/xvfb.log" >&2; exit 1; }
export DISPLAY=:$(cat "$tmp/display")

# The disk driver writes what the viewer plays into a file, a device buffer
# every 5 ms: faster than it plays, so nothing waits and gaps are silence.
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$tmp/sound.raw SDL_DISKAUDIODELAY=5 "$ozmira" "$clip" &
viewer_pid=$!
wid=''
for ((i = 0; i < 100; i++)); do
  wid=$(xdotool search --name '^Ozmira ' 2>/dev/null | head -1) && [[ -n $wid ]] && break
  sleep 0.1
done
[[ -n $wid ]] || { echo "run-demo: the viewer opened no window" >&2; exit 1; }

sleep "$settle_seconds"
import -window "$wid" "$screenshot"
echo "run-demo: screenshot of the playing window: $(realpath "$screenshot")"

xdotool key --window "$wid" q 2>/dev/null || true
status=0
wait "$viewer_pid" || status=$?
viewer_pid=''
echo "run-demo: the viewer ended with status $status"

# The sound played, silences left out, must be the clip's own sound from its
# start: compared sample pair by sample pair with ffmpeg's decode of the clip.
s16_pairs() { od -An -v -td2 -w4 | awk '$1 != 0 || $2 != 0'; }
s16_pairs <"$tmp/sound.raw" >"$tmp/played"
ff -i "$clip" -f s16le -ac 2 - | s16_pairs >"$tmp/clip"
ff -f s16le -ar "$audio_rate" -ac 2 -i "$tmp/sound.raw" "$sound"
played=$(wc -l <"$tmp/played")
if ((played < audio_rate)) || ! cmp -s "$tmp/played" <(head -n "$played" "$tmp/clip"); then
  echo "run-demo: the sound played ($played sample pairs) is not the clip's own" >&2
  exit 1
fi
echo "run-demo: the sound it played, $((played / audio_rate)) s of the clip's own: $(realpath "$sound")"
exit 0
