#!/usr/bin/env bash
# ozmira in a real window under a private Xvfb with a 24-bit screen: keys are
# sent with xdotool and every check compares the window's pixels with
# dvreadblock's picture of the frame that must be shown (exact match).
#   window_test.sh SCENARIO OZMIRA FRAME_PICTURES WM_CLOSE CLIP_DIR
# Scenarios: keys (every playback key, ends with q among 600 keys), endings
# (Escape, and a window manager's close of a window whose title had to be
# cut), large_file (a file of more than 2 GiB with a dropout), sound (each
# frame's own sound at 25 frames a second while the mouse moves; SIGTERM).
set -euo pipefail
scenario=$1 ozmira=$2 frame_pictures=$3 wm_close=$4 clips=$(realpath "$5")
source "$(dirname "$0")/../support/viewer_window.sh"

# Hashes of dvreadblock's pictures of a clip's frames, so a screenshot names its frame.
declare -A frame_of
learn_pictures() {
  mkdir "$tmp/pictures"
  "$frame_pictures" "$1" "$tmp/pictures" || fail "cannot decode $1"
  while read -r sum file; do
    file=${file##*/}
    frame_of[$sum]=${file%.rgb}
  done < <(md5sum "$tmp/pictures"/*.rgb)
  rm -r "$tmp/pictures"
  ((${#frame_of[@]} == $2)) || fail "the $2 frames of $1 do not all differ"
}

# The frame whose picture the window shows, or -1 for none.
shown_frame() {
  local sum
  sum=$(timeout 5 import -window "$wid" -depth 8 rgb:- 2>/dev/null | md5sum)
  echo "${frame_of[${sum%% *}]:--1}"
}

# Waits until the window shows frame $1.
expect_frame() {
  local i shown=-1
  for ((i = 0; i < 50; i++)); do
    shown=$(shown_frame)
    [[ $shown == "$1" ]] && { echo "ok: $2 shows frame $1"; return; }
    sleep 0.1
  done
  fail "$2: expected frame $1, the window shows frame $shown"
}

# Frame $1 is still shown once the keys just sent have had time to act.
expect_still() {
  sleep 0.5
  [[ $(shown_frame) == "$1" ]] || fail "$2: the window left frame $1"
  echo "ok: $2 keeps frame $1"
}

# The frame the window settles on: the same in five shots 0.15 s apart.
settled_frame() {
  local i k first shown same
  for ((i = 0; i < 20; i++)); do
    first=$(shown_frame) same=1
    for ((k = 0; k < 4; k++)); do
      sleep 0.15
      shown=$(shown_frame)
      [[ $shown == "$first" ]] || { same=0; break; }
    done
    ((same && first >= 0)) && { echo "$first"; return; }
  done
  echo -1
}

# The window comes to frame $1 and stays there.
expect_settled() {
  local k
  expect_frame "$1" "$2" >/dev/null
  for ((k = 0; k < 5; k++)); do
    sleep 0.15
    [[ $(shown_frame) == "$1" ]] || fail "$2: the window does not stay on frame $1"
  done
  echo "ok: $2 settles on frame $1"
}

wrapped() { echo $((($1 % $2 + $2) % $2)); }  # single steps past an end of a file of $2 frames

keys_scenario() {
  local clip=$clips/pal420.dv n=50 f k
  learn_pictures "$clip" $n
  start_viewer "$clip"
  press space
  f=$(settled_frame)
  ((f >= 0)) || fail "space: playback did not stop on a frame"
  echo "ok: space pauses on frame $f"
  press Prior && expect_frame "$(wrapped $((f + 1)) $n)" "PageUp"
  press Next && expect_frame "$f" "PageDown"
  # F1 suspends decoding: the frame number moves on, the picture stays.
  press F1 && press Prior && press Prior && expect_still "$f" "PageUp twice with decoding suspended"
  press F1 && expect_still "$f" "F1 again while paused"
  press Prior && expect_frame "$(wrapped $((f + 3)) $n)" "PageUp with decoding resumed"
  press Home && expect_frame 0 "Home"
  press Next && expect_frame $((n - 1)) "PageDown on frame 0"
  press Next && expect_frame $((n - 2)) "PageDown"
  press End && expect_frame $((n - 1)) "End"
  press Prior && expect_frame 0 "PageUp on the last frame"
  # A step of 64 passes either end of 50 frames at every advance: the window
  # settles on frame 0 forwards and on the last frame backwards.
  press Return
  for ((k = 0; k < 6; k++)); do press Up; done
  expect_settled 0 "Return and Up six times (step 64)"
  press Left && expect_settled $((n - 1)) "Left (step -64)"
  press Right && expect_settled 0 "Right (step 64)"
  press space  # paused: one event taken every 40 ms
  xdotool key --window "$wid" --delay 0 $(printf 'a b %.0s' {1..300}) q 2>>"$tmp/xdotool.log" || true
  expect_exit_0 "q after 600 keys, far more than SDL's queue of 128 events holds"
}

endings_scenario() {
  local clip=$clips/pal420.dv
  learn_pictures "$clip" 50
  start_viewer "$clip"
  press Escape && expect_exit_0 "Escape"

  # A path too long for the 512-byte title buffer: the title is cut to 511 bytes.
  local dir path title want
  dir=$tmp/$(printf 'd%.0s' {1..200})/$(printf 'e%.0s' {1..200})/$(printf 'f%.0s' {1..200})
  path=$dir/pal420.dv
  mkdir -p "$dir" && ln -s "$clip" "$path"
  start_viewer "$path"
  title=$(xdotool getwindowname "$wid")
  want=$(printf 'Ozmira %s' "$path" | head -c 511)
  [[ $title == "$want" ]] || fail "title of a long path: '$title'"
  echo "ok: the title of a ${#path}-byte path is cut to ${#title} bytes"
  "$wm_close" "$wid" || fail "could not send the close request"
  expect_exit_0 "closing the window"
}

large_file_scenario() {
  # Frame 0 and the last frame are real; the frames between are sparse zeros,
  # which read as 525/60 frames (a dropout) and are not decoded.
  local big=$tmp/big.dv last=14914  # the last frame starts at 14914 x 144000 > 2^31
  learn_pictures "$clips/pal420.dv" 50
  head -c 144000 "$clips/pal420.dv" >"$big"
  truncate -s $((last * 144000)) "$big"
  dd if="$clips/pal420.dv" bs=144000 skip=7 count=1 status=none >>"$big"
  start_viewer "$big"
  press End && expect_frame 7 "End on a file of $(stat -c %s "$big") bytes"
  press Next && expect_still 7 "PageDown onto a frame of zeros"
  press Prior
  press Prior && expect_frame 0 "PageUp on its last frame"
  press Next && expect_frame 7 "PageDown on its frame 0"
  press q && expect_exit_0 "q"
}

# SDL's disk driver writes a buffer about every millisecond, silence where the viewer's queue ran
# dry: silent sample pairs are left out of both what it played and libdv's decode (four times round).
sound_scenario() {
  local clip=$clips/sound48000.dv i frames ms
  "$frame_pictures" "$clip" "$tmp" sound || fail "cannot decode the sound of $clip"
  start_viewer "$clip" env --default-signal=INT,QUIT SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$tmp/played.raw" SDL_DISKAUDIODELAY=1
  # SIGINT and SIGTERM caught (to end as q does), SIGQUIT not: SDL's parachute would, and hang in X.
  (((16#$(awk '/^SigCgt/ {print $2}' "/proc/$viewer_pid/status") & 0x4006) == 0x4002)) || fail "signals caught"
  ms=$(date +%s%3N)
  for ((i = 0; i < 100; i++)); do xdotool mousemove --window "$wid" $((i * 7)) $((i * 5)); sleep 0.02; done
  kill -TERM "$viewer_pid"
  ms=$(($(date +%s%3N) - ms))
  expect_exit_0 "SIGTERM"
  pairs() { od -An -v -tx4 -w4 | grep -vx ' 00000000'; }
  pairs <"$tmp/played.raw" >"$tmp/played"
  cat "$tmp/sound.raw"{,,,} | pairs >"$tmp/want"
  head -n "$(wc -l <"$tmp/played")" "$tmp/want" | cmp -s - "$tmp/played" ||
    fail "the sound played is not that of the frames shown, in order"
  frames=$(($(wc -l <"$tmp/played") / 1920))
  ((frames * 1000 >= 10 * ms && frames * 1000 <= 40 * ms)) || fail "$frames frames in $ms ms while the mouse moved"
  echo "ok: $frames frames in $ms ms while the mouse moved, each with its own sound"
}

start_xvfb
"${scenario}_scenario"
