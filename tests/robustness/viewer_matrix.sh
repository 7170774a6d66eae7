#!/usr/bin/env bash
# The viewer's playing rows of the bad-input matrix (docs/ROBUSTNESS.md): each
# file plays in a window under a private Xvfb for a while (a row's action runs
# meanwhile), must still be running, then ends with status 0 on q; every line
# on standard error must match the row's pattern ('' for none at all). The
# refused rows, which must come before any window, are tests/viewer/startup_test.sh's.
#   viewer_matrix.sh OZMIRA CLIP_DIR BAD_INPUT_DIR
set -uo pipefail
ozmira=$(realpath "$1") clips=$(realpath "$2") bad=$(realpath "$3")
source "$(dirname "$0")/../support/viewer_window.sh"

# plays WHAT PATH STDERR_PATTERN [ACTION]
plays() {
  local what=$1 pattern=$3 action=${4:-} stray
  start_viewer "$2"
  sleep 2
  [[ -n $action ]] && $action
  sleep 2
  kill -0 "$viewer_pid" 2>/dev/null || fail "$what: stopped playing"
  press q && expect_exit_0 "$what: q"
  if [[ -z $pattern ]]; then stray=$(cat "$tmp/viewer.err"); else stray=$(grep -vx -- "$pattern" "$tmp/viewer.err"); fi
  [[ -z $stray ]] || fail "$what: unexpected stderr: $(head -c 300 <<<"$stray")"
  echo "ok: $what plays$([[ -s $tmp/viewer.err ]] && echo ", $(wc -l <"$tmp/viewer.err") lines: $(head -1 "$tmp/viewer.err")")"
}

start_xvfb
cp "$clips/pal420.dv" "$tmp/shrinking.dv"
truncate_it() { truncate -s $((3 * 144000 + 70000)) "$tmp/shrinking.dv"; }

plays "file cut inside a frame" "$bad/cut_inside_frame.dv" ''
plays "damaged frames in the middle" "$bad/damaged_middle.dv" '(dvreadblock:dvlib): dv_parse_header failed - erm?'
plays "file truncated while playing" "$tmp/shrinking.dv" '' truncate_it
plays "4:1:1 PAL file" "$clips/pal411.dv" ''
