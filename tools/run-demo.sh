#!/usr/bin/env bash
# Plays a demo clip with ozmira, from a fresh Debian 12 machine: installs what
# is missing, builds, makes the clip with ffmpeg if there is none (a test
# pattern whose counter changes every frame, 8 seconds of PAL DV in demo/),
# and plays it. Without a display that answers, it plays the clip under Xvfb
# instead, saves a screenshot of the window, prints its path, quits the viewer
# with q and exits 0. It builds ozmira-export too and says where it is, so the
# README's export examples work before anything is installed.
# OZMIRA_BUILD_DIR chooses the build directory (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${OZMIRA_BUILD_DIR:-build}
clip=demo/demo.dv
screenshot=demo/screenshot.png
demo_seconds=8
settle_seconds=2  # time the viewer plays before the screenshot

tools/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target ozmira ozmira-export >/dev/null
ozmira=$build/viewer/ozmira
echo "run-demo: ozmira-export is $(realpath "$build/tools/export/ozmira-export") (try it on $clip)"

if [[ ! -s $clip ]]; then
  echo "run-demo: making $clip with ffmpeg"
  mkdir -p demo
  # testsrc with two decimals shows its timestamp in 1/100 s: a new number every frame.
  ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi \
    -i "testsrc=size=720x576:rate=25:decimals=2" -t "$demo_seconds" -target pal-dv -an -f dv "$clip.part"
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

"$ozmira" "$clip" &
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
exit 0
