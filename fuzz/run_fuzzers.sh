#!/usr/bin/env bash
# Runs each fuzz target for a bounded time, one process at a time, on its
# corpus (kept in the build tree, seeded from the test clips) plus the inputs
# kept under fuzz/regressions/. Prints one line per target and appends it to
# BUILD/fuzz-runs.log; exits non-zero when a target found a fault (the input
# is then in BUILD/findings/TARGET/).
#   fuzz/run_fuzzers.sh BUILD CLIP_DIR SECONDS [TARGET...]
# TARGET is frame_block, dv_file or segment (default: all three).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
clips=$2
seconds=$3
shift 3
targets=("$@")
((${#targets[@]})) || targets=(frame_block dv_file segment)

# Inputs longer than these add nothing: a frame block is one PAL frame, a file
# two frames and a piece, a segment three choice bytes and 400 bytes.
declare -A max_len=([frame_block]=144000 [dv_file]=340000 [segment]=403)

[[ -d $build/seeds/segment ]] || "$here/make_seed_corpus.sh" "$clips" "$build/seeds"
passed=0 failed=0
for target in "${targets[@]}"; do
  corpus=$build/corpus/$target findings=$build/findings/$target
  mkdir -p "$corpus" "$findings"
  log=$build/fuzz-$target.log
  started=$SECONDS
  set +e
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 \
    -max_len="${max_len[$target]}" -dict="$here/dv.dict" -close_fd_mask=3 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" "$build/seeds/$target" "$here/regressions/$target" >"$log" 2>&1
  result=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  took=$((SECONDS - started))
  line="$(date -u +%Y-%m-%dT%H:%MZ) $target: ${runs:-?} executions in $took s, exit $result"
  echo "$line" | tee -a "$build/fuzz-runs.log"
  if ((result != 0)); then
    echo "fuzz: $target found a fault; input in $findings, log $log" >&2
    tail -n 40 "$log" >&2
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
((failed == 0))
