#!/usr/bin/env bash
# The viewer under Valgrind's memcheck in a private Xvfb, playing a clip with
# damaged frames (one whose header does not parse, one of random video data,
# one whose segments would lead libdv's parser astray) while keys move it
# through every kind of cycle: forwards, faster, backwards, single steps,
# jumps, decoding suspended, paused. Fails on any memcheck error (invalid
# read or write, use of uninitialised memory, bad free) and unless hundreds
# of frames were shown. Leaks are not errors here: SDL and Xlib keep a few
# bytes to the end. No suppressions are needed on this platform.
#   viewer_valgrind.sh OZMIRA BAD_INPUT_DIR
set -uo pipefail
ozmira=$(realpath "$1") clip=$(realpath "$2")/damaged_middle.dv
tmp=$(mktemp -d)
xvfb_pid='' viewer_pid=''
cleanup() {
  [[ -n $viewer_pid ]] && kill "$viewer_pid" 2>/dev/null
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }

readonly play_seconds=30 min_passes=20  # the clip has 10 frames; each pass shows frame 4's message once
readonly keys=(Up Right Down Left PageUp PageDown Home End F1 Right F1 space Return)

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
for ((i = 0; i < 100; i++)); do [[ -s $tmp/display ]] && break; sleep 0.1; done
[[ -s $tmp/display ]] || fail "Xvfb did not start"
export DISPLAY=:$(cat "$tmp/display")

valgrind --tool=memcheck --error-limit=no --num-callers=30 --log-file="$tmp/memcheck.log" \
  "$ozmira" "$clip" >"$tmp/out" 2>"$tmp/err" &
viewer_pid=$!
wid=''
for ((i = 0; i < 600; i++)); do
  wid=$(xdotool search --name '^Ozmira ' 2>/dev/null | head -1) && [[ -n $wid ]] && break
  kill -0 "$viewer_pid" 2>/dev/null || break
  sleep 0.1
done
[[ -n $wid ]] || fail "no window appeared: $(tail -5 "$tmp/memcheck.log")"

sleep "$play_seconds"
for key in "${keys[@]}"; do
  xdotool key --window "$wid" "$key" 2>>"$tmp/xdotool.log"
  sleep 2
done
xdotool key --window "$wid" q 2>>"$tmp/xdotool.log"
for ((i = 0; i < 600; i++)); do kill -0 "$viewer_pid" 2>/dev/null || break; sleep 0.1; done
wait "$viewer_pid"
status=$?
viewer_pid=''

passes=$(grep -cx '(dvreadblock:dvlib): dv_parse_header failed - erm?' "$tmp/err")
summary=$(grep -m1 'ERROR SUMMARY' "$tmp/memcheck.log")
echo "memcheck: $summary; $passes passes over the clip; exit status $status"
[[ $status == 0 ]] || fail "the viewer ended with status $status"
((passes >= min_passes)) || fail "only $passes passes over the clip: too few cycles"
if [[ $summary != *"ERROR SUMMARY: 0 errors"* ]]; then
  grep -A30 -E 'Invalid|uninitialised|Mismatched|free' "$tmp/memcheck.log" | head -120
  fail "memcheck found errors"
fi
echo "ok: no memcheck error"
