#!/usr/bin/env bash
# Two commits' builds of one benchmark program measured in turn: a change of a
# few per cent drowns in the drift of a shared machine between two separate
# runs, but not when the builds alternate. Each commit is checked out into a
# temporary worktree and built (Release); then ROUNDS times, each build runs
# the benchmarks matching FILTER for 3 repetitions. Prints each benchmark's
# per-round medians for both builds, the median of the rounds' own ratios
# (second build over first) and the ratio of the two builds' fastest rounds
# (other work on the machine only ever adds time).
#   bench/ab_builds.sh COMMIT_A COMMIT_B [ROUNDS] [FILTER] [PROGRAM]
# PROGRAM is a benchmark program's name (dvlib_bench by default); the clips
# come from OZMIRA_CLIP_DIR or the main build's.
set -euo pipefail
cd "$(dirname "$0")/.."
a=$(git rev-parse --short "$1") b=$(git rev-parse --short "$2")
rounds=${3:-4} filter=${4:-OneThread} program=${5:-dvlib_bench}
export OZMIRA_CLIP_DIR=${OZMIRA_CLIP_DIR:-$PWD/build/clips}
[[ -f $OZMIRA_CLIP_DIR/mandelbrot.dv ]] || { echo "ab_builds.sh: no clips in $OZMIRA_CLIP_DIR" >&2; exit 1; }

work=$(mktemp -d)
cleanup() {
  git worktree remove --force "$work/$a" 2>/dev/null || true
  git worktree remove --force "$work/$b" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for commit in "$a" "$b"; do
  git worktree add -q --detach "$work/$commit" "$commit"
  cmake -S "$work/$commit" -B "$work/$commit/build" -DCMAKE_BUILD_TYPE=Release -DOZMIRA_BUILD_BENCHMARKS=ON \
    -DOZMIRA_BUILD_TESTS=OFF >/dev/null
  cmake --build "$work/$commit/build" -j"$(nproc)" --target "$program" >/dev/null
done

# One line a benchmark, round and build: "name round commit ms".
for ((r = 1; r <= rounds; r++)); do
  for commit in "$a" "$b"; do
    "$work/$commit/build/bench/$program" --benchmark_filter="$filter" --benchmark_repetitions=3 \
      --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
      awk -F, -v r="$r" -v c="$commit" '$1 ~ /_median"$/ {
        name = $1; gsub(/"/, "", name); sub(/_median$/, "", name); sub(/\/real_time$/, "", name)
        ms = $3; if ($5 == "us") ms /= 1000; else if ($5 == "ns") ms /= 1e6
        print name, r, c, ms }'
  done
done | awk -v a="$a" -v b="$b" '
  function median(list,   n, v, i, j, t) {
    n = split(list, v, " ")
    for (i = 2; i <= n; i++) for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
    return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
  }
  { ms[$1, $2, $3] = $4; names[$1] = 1; if ($2 > rounds) rounds = $2 }
  END {
    printf "| benchmark | %s, ms a round | %s, ms a round | %s / %s: median of the rounds | fastest rounds |\n", a, b, b, a
    print "|---|---|---|---:|---:|"
    for (name in names) {
      first = second = ratios = ""
      fastest_a = fastest_b = 0
      for (r = 1; r <= rounds; r++) {
        first = first sprintf(" %.3f", ms[name, r, a]); second = second sprintf(" %.3f", ms[name, r, b])
        ratios = ratios " " ms[name, r, b] / ms[name, r, a]
        if (r == 1 || ms[name, r, a] < fastest_a) fastest_a = ms[name, r, a]
        if (r == 1 || ms[name, r, b] < fastest_b) fastest_b = ms[name, r, b]
      }
      printf "| %s |%s |%s | %.3f | %.3f |\n", name, first, second, median(ratios), fastest_b / fastest_a
    }
  }'
