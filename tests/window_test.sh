#!/usr/bin/env bash
# ozmira in a real window under a private Xvfb, for what only a window shows:
# keys sent through X bring it to frames it must show pixel for pixel as
# ozmira-export's full picture of them; q and Escape end it with status 0.
#   window_test.sh OZMIRA OZMIRA_EXPORT CLIP_DIR
set -euo pipefail
ozmira=$1 clip=$3/pal420.dv tmp=$(mktemp -d) viewer='' xvfb=''
trap 'kill $viewer $xvfb 2>/dev/null; rm -rf "$tmp"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$tmp/display" 2>/dev/null &
xvfb=$!
for ((i = 0; i < 100; i++)); do [[ -s $tmp/display ]] && break; sleep 0.1; done
export DISPLAY=:$(cat "$tmp/display")
"$2" -q -f 0,49 -o "$tmp" "$clip"
picture() { convert "$tmp/frame-0000$1.png" -depth 8 rgb:- | md5sum; }
start() {  # SDL may still be making its windows when one is first found
  "$ozmira" "$clip" &
  viewer=$! wid=''
  for ((i = 0; i < 300; i++)); do
    sleep 0.1 && wid=$(xdotool search --name '^Ozmira ' | tail -1) && sleep 0.3 &&
      [[ $(xdotool search --name '^Ozmira ' | tail -1) == "$wid" ]] && return
  done
  fail "no window"
}
press() { xdotool key --window "$wid" "$1" 2>/dev/null || true; }  # the window may be gone before the key is up
shows() {  # KEY FRAME
  press "$1"
  for ((i = 0; i < 50; i++)); do
    [[ $(import -window "$wid" -depth 8 rgb:- | md5sum) == "$(picture "$2")" ]] && return || sleep 0.1
  done
  fail "$1 does not show frame $2"
}
ends() { press "$1" && timeout 30 tail --pid="$viewer" -f /dev/null && wait "$viewer" || fail "$1: status $?"; }
start && shows Home 00 && shows End 49 && shows Prior 00 && ends q
start && ends Escape
echo "window test: passed"
