#!/usr/bin/env bash
# Soak: the viewer plays a long clip (four passes of pal420.dv and the damaged
# clip) in a private Xvfb for SECONDS while a bounded script sends random
# playback keys (a fixed seed, at most one key every 0.2 s; never q or
# Escape). Resident memory is sampled every few seconds and must stay flat;
# q must then end the viewer with status 0.
#   viewer_soak.sh OZMIRA BAD_INPUT_DIR [SECONDS]
set -uo pipefail
ozmira=$(realpath "$1") clip=$(realpath "$2")/long.dv seconds=${3:-120}
tmp=$(mktemp -d)
xvfb_pid='' viewer_pid=''
cleanup() {
  [[ -n $viewer_pid ]] && kill "$viewer_pid" 2>/dev/null
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }

readonly sample_every=5 warm_up=10
# Growth allowed over the run, in kB, after the warm-up: far below what a
# leak of even one small allocation per frame would show over the frames
# played, above the noise of the X client's buffers.
readonly max_growth_kb=2048
readonly keys=(Right Left Up Down space Return Prior Next Home End F1 a)
RANDOM=20240611

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
for ((i = 0; i < 100; i++)); do [[ -s $tmp/display ]] && break; sleep 0.1; done
[[ -s $tmp/display ]] || fail "Xvfb did not start"
export DISPLAY=:$(cat "$tmp/display")

"$ozmira" "$clip" >"$tmp/out" 2>"$tmp/err" &
viewer_pid=$!
wid=''
for ((i = 0; i < 100; i++)); do
  wid=$(xdotool search --name '^Ozmira ' 2>/dev/null | head -1) && [[ -n $wid ]] && break
  sleep 0.1
done
[[ -n $wid ]] || fail "no window appeared"

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$viewer_pid/status" 2>/dev/null; }
samples=() sent=0 last_key='' next_sample=$((SECONDS + warm_up)) end=$((SECONDS + seconds))
while ((SECONDS < end)); do
  kill -0 "$viewer_pid" 2>/dev/null || fail "the viewer ended during the soak: $(tail -3 "$tmp/err")"
  if ((SECONDS >= next_sample)); then
    samples+=("$(rss_kb)")
    next_sample=$((next_sample + sample_every))
  fi
  key=${keys[RANDOM % ${#keys[@]}]}
  # SDL 1.2 drops a press that follows a release of the same key at once.
  [[ $key == "$last_key" ]] && key=a
  last_key=$key
  xdotool key --window "$wid" "$key" 2>>"$tmp/xdotool.log"
  sent=$((sent + 1))
  sleep "0.$((2 + RANDOM % 8))"
done
xdotool key --window "$wid" q 2>>"$tmp/xdotool.log"
for ((i = 0; i < 100; i++)); do kill -0 "$viewer_pid" 2>/dev/null || break; sleep 0.1; done
wait "$viewer_pid"
status=$?
viewer_pid=''

echo "soak: ${seconds} s, $sent keys, resident kB every ${sample_every} s after ${warm_up} s: ${samples[*]}"
((${#samples[@]} >= 3)) || fail "too few samples"
first=${samples[0]} highest=${samples[0]}
for s in "${samples[@]}"; do ((s > highest)) && highest=$s; done
growth=$((highest - first))
echo "soak: growth ${growth} kB (allowed ${max_growth_kb}), exit status $status"
((growth <= max_growth_kb)) || fail "resident memory grew by ${growth} kB"
[[ $status == 0 ]] || fail "q ended the viewer with status $status"
echo "ok: memory flat, status 0 on q"
