#!/usr/bin/env bash
# The viewer's heap and resident memory stay flat over thousands of cycles.
# It plays the clip under SDL's dummy video driver with viewer_census
# preloaded (heap_census.c and a counter of shown pictures), which takes a
# census after a warm-up and again 2500 cycles later, then ends playback.
# Between the two: no allocation call from the viewer's own code (the
# executable, with dvlib and the frame decoder in it), no block or byte left
# outstanding by anyone, and resident memory within a few pages. SDL's
# wrapper surface for each picture and libdv's header reader are taken and
# given back within their cycle; they count as calls from elsewhere.
#   memory_test.sh OZMIRA CENSUS_MODULE CLIP_DIR
set -euo pipefail
ozmira=$1
census=$2
clips=$3
readonly kRssSlackKib=256 kTimeoutSeconds=300

out=$(mktemp)
log=$(mktemp)
trap 'rm -f "$out" "$log"' EXIT
status=0
SDL_VIDEODRIVER=dummy OZMIRA_CENSUS_OUT=$out LD_PRELOAD=$census \
  timeout "$kTimeoutSeconds" "$ozmira" "$clips/pal420.dv" >"$log" 2>&1 || status=$?

fail() {
  echo "FAIL: $*"
  tail -5 "$log"
  exit 1
}
[[ $status -eq 0 ]] || fail "the viewer exited with status $status"
[[ -s $out ]] || fail "the census was never taken (fewer cycles than expected?)"
read -r cycles warm_rss end_rss most_rss program libdv elsewhere blocks bytes <"$out"
echo "cycles $cycles; resident KiB after warm-up $warm_rss, at the end $end_rss, at most $most_rss;" \
  "allocation calls: viewer $program, libdv $libdv, elsewhere $elsewhere; outstanding change: $blocks blocks, $bytes bytes"

((program == 0)) || fail "the viewer's own code made $program allocation calls in $cycles cycles"
((blocks == 0 && bytes == 0)) || fail "the heap grew by $blocks blocks, $bytes bytes in $cycles cycles"
((warm_rss > 0)) || fail "resident memory could not be read"
((most_rss - warm_rss <= kRssSlackKib)) || fail "resident memory grew from $warm_rss KiB to $most_rss KiB"
((end_rss - warm_rss <= kRssSlackKib)) || fail "resident memory grew from $warm_rss KiB to $end_rss KiB"
# The census must have seen the per-cycle work it was meant to see.
((libdv >= cycles)) || fail "libdv's header reader was not counted ($libdv calls in $cycles cycles)"
echo PASS
