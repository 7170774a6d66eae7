#!/usr/bin/env bash
# Runs each fuzz target for SECONDS on BUILD/corpus/TARGET; faults land in BUILD/findings/TARGET.
#   fuzz/run_fuzzers.sh BUILD CLIP_DIR SECONDS [TARGET...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd) build=$1 clips=$2 seconds=$3 targets=("${@:4}")
((${#targets[@]})) || targets=(frame_block dv_file segment)
declare -A max_len=([frame_block]=144000 [dv_file]=340000 [segment]=403)
byte() { printf "\\$(printf %03o "$1")"; }
mkdir -p "$build/seeds"
for clip in pal420 pal420_248 pal411 ntsc; do
  for at in 0:0 5:13 9:26; do  # sequence:segment
    ds=${at%:*} v=${at#*:}
    { byte $([[ $clip == pal411 ]] && echo 1 || echo 0); byte "$ds"; byte "$v"
      dd if="$clips/$clip.dv" bs=80 skip=$((150 * ds + 7 + 16 * (v / 3) + 5 * (v % 3))) count=5 status=none
    } >"$build/seeds/${clip}_${ds}_$v"
  done
done
failed=0
for target in "${targets[@]}"; do
  seeds=$([[ $target == segment ]] && echo "$build/seeds" || echo "$clips")
  mkdir -p "$build/corpus/$target" "$build/findings/$target"
  log=$build/fuzz-$target.log started=$SECONDS result=0
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 -max_len="${max_len[$target]}" \
    -dict="$here/dv.dict" -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$build/findings/$target/" \
    "$build/corpus/$target" "$seeds" "$here/regressions/$target" >"$log" 2>&1 || result=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "$(date -u +%FT%RZ) $target: ${runs:-?} runs in $((SECONDS - started)) s, exit $result" >>"$build/fuzz-runs.log"
  tail -n 1 "$build/fuzz-runs.log"
  ((result == 0)) || { tail -n 40 "$log" >&2; failed=$((failed + 1)); }
done
echo "fuzz: $((${#targets[@]} - failed)) passed, $failed failed"
((failed == 0))
