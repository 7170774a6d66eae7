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
source "$(dirname "$0")/../support/viewer_window.sh"

readonly play_seconds=30 min_passes=20  # the clip has 10 frames; each pass shows frame 4's message once
readonly keys=(Up Right Down Left PageUp PageDown Home End F1 Right F1 space Return)

start_xvfb
start_viewer "$clip" valgrind --tool=memcheck --error-limit=no --num-callers=30 --log-file="$tmp/memcheck.log"
sleep "$play_seconds"
for key in "${keys[@]}"; do
  press "$key"
  sleep 2
done
press q && expect_exit_0 "q under memcheck"

passes=$(grep -cx '(dvreadblock:dvlib): dv_parse_header failed - erm?' "$tmp/viewer.err")
summary=$(grep -m1 'ERROR SUMMARY' "$tmp/memcheck.log")
echo "memcheck: $summary; $passes passes over the clip"
((passes >= min_passes)) || fail "only $passes passes over the clip: too few cycles"
if [[ $summary != *"ERROR SUMMARY: 0 errors"* ]]; then
  grep -A30 -E 'Invalid|uninitialised|Mismatched|free' "$tmp/memcheck.log" | head -120
  fail "memcheck found errors"
fi
echo "ok: no memcheck error"
