#!/usr/bin/env bash
# Soak: the viewer plays a long clip (four passes of pal420.dv and the damaged
# clip) in a private Xvfb for SECONDS while a bounded script sends random
# playback keys (a fixed seed, at most one key every 0.2 s; never q or
# Escape). Resident memory is sampled every few seconds and must stay flat;
# q must then end the viewer with status 0.
#   viewer_soak.sh OZMIRA BAD_INPUT_DIR [SECONDS]
set -uo pipefail
ozmira=$(realpath "$1") clip=$(realpath "$2")/long.dv seconds=${3:-120}
source "$(dirname "$0")/../support/viewer_window.sh"

readonly sample_every=5 warm_up=10
# Growth allowed over the run, in kB, after the warm-up: far below what a
# leak of even one small allocation per frame would show over the frames
# played, above the noise of the X client's buffers.
readonly max_growth_kb=2048
readonly keys=(Right Left Up Down space Return Prior Next Home End F1 a)
RANDOM=20240611

start_xvfb
start_viewer "$clip"
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$viewer_pid/status" 2>/dev/null; }
samples=() sent=0 next_sample=$((SECONDS + warm_up)) end=$((SECONDS + seconds))
while ((SECONDS < end)); do
  kill -0 "$viewer_pid" 2>/dev/null || fail "the viewer ended during the soak"
  if ((SECONDS >= next_sample)); then
    samples+=("$(rss_kb)")
    next_sample=$((next_sample + sample_every))
  fi
  press "${keys[RANDOM % ${#keys[@]}]}"
  sent=$((sent + 1))
  sleep "0.$((2 + RANDOM % 8))"
done
echo "soak: ${seconds} s, $sent keys, resident kB every ${sample_every} s after ${warm_up} s: ${samples[*]}"
((${#samples[@]} >= 3)) || fail "too few samples"
first=${samples[0]} highest=${samples[0]}
for s in "${samples[@]}"; do ((s > highest)) && highest=$s; done
growth=$((highest - first))
echo "soak: growth ${growth} kB (allowed ${max_growth_kb})"
((growth <= max_growth_kb)) || fail "resident memory grew by ${growth} kB"
press q && expect_exit_0 "q after the soak"
echo "ok: memory flat, status 0 on q"
