#!/usr/bin/env bash
# ozmira in a real window under a private Xvfb, for what only a window shows:
# keys sent through X move it to the frames whose pictures it must show,
# pixel for pixel ozmira-export's full picture of them, and q and Escape end
# it with status 0.
#   window_test.sh OZMIRA OZMIRA_EXPORT CLIP_DIR
set -euo pipefail
ozmira=$1 export=$2 clip=$3/pal420.dv tmp=$(mktemp -d) viewer='' xvfb=''
trap 'kill $viewer $xvfb 2>/dev/null; rm -rf "$tmp"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$tmp/display" 2>/dev/null &
xvfb=$!
for ((i = 0; i < 100; i++)); do [[ -s $tmp/display ]] && break; sleep 0.1; done
export DISPLAY=:$(cat "$tmp/display")
"$export" -q -f 0,49 -o "$tmp" "$clip"
declare -A picture=([0]=$(convert "$tmp/frame-000000.png" -depth 8 rgb:- | md5sum)
                    [49]=$(convert "$tmp/frame-000049.png" -depth 8 rgb:- | md5sum))

start() {
  "$ozmira" "$clip" &
  viewer=$!
  for ((i = 0; i < 300; i++)); do  # SDL may still be making its windows when one is first found
    wid=$(xdotool search --name '^Ozmira ' 2>/dev/null | tail -1) && [[ -n $wid ]] && xdotool getwindowname "$wid" &&
      sleep 0.3 && [[ $(xdotool search --name '^Ozmira ' | tail -1) == "$wid" ]] && return
    sleep 0.1
  done
  fail "no window"
}
shows() {  # KEY FRAME
  xdotool key --window "$wid" "$1" 2>/dev/null || true  # the window may be gone before the key is released
  for ((i = 0; i < 50; i++)); do
    [[ $(import -window "$wid" -depth 8 rgb:- | md5sum) == "${picture[$2]}" ]] && { echo "ok: $1 shows frame $2"; return; }
    sleep 0.1
  done
  fail "$1 does not show frame $2"
}
ends() {  # KEY
  xdotool key --window "$wid" "$1" 2>/dev/null || true  # the window may be gone before the key is released
  status=0
  timeout 30 tail --pid="$viewer" -f /dev/null && wait "$viewer" || status=$?
  viewer=''
  ((status == 0)) || fail "$1: status $status"
  echo "ok: $1 ends with status 0"
}

start
shows Home 0
shows Next 49   # back from the first frame to the last
shows Prior 0   # on from the last to the first
shows End 49
ends q
start
ends Escape
