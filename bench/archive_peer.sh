#!/usr/bin/env bash
# ozmira-export's facts of every frame beside ffprobe on a long tape: CLIP
# repeated to at least FRAMES frames (an hour of PAL is 90,000 frames, 13 GB),
# read from the page cache: the tape is read through before each command, as
# a machine that reclaims memory on its own may have dropped parts of it since
# the command before. Each round runs `ffprobe -v quiet -show_frames`,
# `ozmira-export --frame-info --json` and `ozmira-export --recordings --json`
# one after the other; figures are medians of the rounds' wall seconds, and
# each ratio is the median of the rounds' own ratios, so that a slow spell of
# a shared machine falls on one round. Prints a Markdown section.
#   bench/archive_peer.sh OZMIRA_EXPORT CLIP FRAMES [ROUNDS]
set -euo pipefail
tool=$1 clip=$2 want=$3 rounds=${4:-3}
readonly kFrameBytes=144000 kFramesTarget=3000 kRatioTarget=4
[[ -f $clip ]] || { echo "archive_peer.sh: no clip $clip" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tape=$work/tape.dv
clip_frames=$(($(stat -c %s "$clip") / kFrameBytes))
copies=$(((want + clip_frames - 1) / clip_frames))
for ((c = 0; c < copies; c++)); do cat "$clip"; done >"$tape"
frames=$((copies * clip_frames))

seconds() {  # wall seconds of "$@", its output discarded, the tape read into the page cache first
  local start end
  cat "$tape" >/dev/null
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }'
}

samples=$work/samples
for ((r = 0; r < rounds; r++)); do
  ffprobe=$(seconds ffprobe -v quiet -show_frames "$tape")
  info=$(seconds "$tool" --frame-info --json "$tape")
  recordings=$(seconds "$tool" --recordings --json "$tape")
  echo "$ffprobe $info $recordings" >>"$samples"
done

median() {  # of the numbers on standard input
  sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

row() {  # command, its column in the samples
  local s ff ratio
  s=$(awk -v c="$2" '{ print $c }' "$samples" | median)
  ff=$(awk '{ print $1 }' "$samples" | median)
  ratio=$(awk -v c="$2" '{ print $1 / $c }' "$samples" | median)
  awk -v what="$1" -v s="$s" -v ff="$ff" -v r="$ratio" -v n="$frames" -v tf="$kFramesTarget" -v tr="$kRatioTarget" \
    'BEGIN { fps = n / s; met = fps >= tf && r >= tr
      printf "| `ozmira-export %s` | %.2f | %.0f | %.2f | %.2f x | %s |\n", what, s, fps, ff, r,
        (met ? "met" : "missed") " (" tf " frames/s, " tr " x)" }'
}

echo "## Facts of every frame of a tape against ffprobe"
echo
echo "\`bench/archive_peer.sh\`: $frames frames ($(awk -v b="$((frames * kFrameBytes))" 'BEGIN { printf "%.1f", b / 1e9 }') GB: \`$(basename "$clip")\` repeated), read from the page"
echo "cache (read through before each command), on $(nproc) cores ($(ffprobe -version | sed -n '1s/ Copyright.*//p')); $rounds rounds, each running"
echo "\`ffprobe -v quiet -show_frames\` and the two commands in turn; medians of wall seconds, and the median of"
echo "the rounds' own ratios of ffprobe's time to ours."
echo
echo "| command | wall s | frames/s | ffprobe wall s | ratio | target |"
echo "|---|---:|---:|---:|---:|---|"
row "--frame-info --json" 2
row "--recordings --json" 3
