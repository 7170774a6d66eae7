#!/usr/bin/env bash
# The viewer's rows of the bad-input matrix (docs/ROBUSTNESS.md): each input
# with its message, stream and exit status. Refused inputs must be refused
# before any window opens; the rest play in a window under a private Xvfb
# until q ends them with status 0.
#   viewer_matrix.sh OZMIRA CLIP_DIR BAD_INPUT_DIR
set -uo pipefail
ozmira=$(realpath "$1") clips=$(realpath "$2") bad=$(realpath "$3")
tmp=$(mktemp -d)
chmod 755 "$tmp"
xvfb_pid='' viewer_pid=''
cleanup() {
  [[ -n $viewer_pid ]] && kill "$viewer_pid" 2>/dev/null
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
ok() { echo "ok: $*"; }
failed() { echo "FAILED: $*"; failures=$((failures + 1)); }

not_pal=$'Not a PAL format video\n'

# refused WHAT STDOUT [COMMAND PREFIX...] -- PATH
# No display and SDL's X11 driver: reaching SDL would add SDL's complaint.
refused() {
  local what=$1 want_out=$2 status=0
  shift 2
  local prefix=()
  while [[ $1 != -- ]]; do prefix+=("$1"); shift; done
  env -u DISPLAY SDL_VIDEODRIVER=x11 "${prefix[@]}" timeout 10 "$ozmira" "$2" >"$tmp/out" 2>"$tmp/err" || status=$?
  if [[ $status == 1 ]] && printf '%s' "$want_out" | cmp -s - "$tmp/out" && [[ ! -s $tmp/err ]]; then
    ok "$what: refused"
  else
    failed "$what: status $status, stdout $(head -c 200 "$tmp/out"), stderr $(head -c 200 "$tmp/err")"
  fi
}

mkdir "$tmp/folder.dv"
mkfifo "$tmp/pipe.dv"
cp "$clips/pal420.dv" "$tmp/unreadable.dv"
chmod 000 "$tmp/unreadable.dv"

refused "directory" "$not_pal" -- "$tmp/folder.dv"
refused "/dev/null" "$not_pal" -- /dev/null
refused "named pipe with no writer" "$not_pal" -- "$tmp/pipe.dv"
refused "random bytes" "$not_pal" -- "$bad/random.dv"
refused "525/60 file" "$not_pal" -- "$clips/ntsc.dv"
# Root reads past permissions: the unreadable row runs as nobody when the
# tests run as root, and is skipped (with a word) where that is impossible.
if [[ $(id -u) != 0 ]]; then
  refused "unreadable file" "$tmp/unreadable.dv not found"$'\n' -- "$tmp/unreadable.dv"
elif setpriv --reuid=65534 --regid=65534 --clear-groups test -x "$ozmira" 2>/dev/null; then
  refused "unreadable file (as nobody)" "$tmp/unreadable.dv not found"$'\n' \
    setpriv --reuid=65534 --regid=65534 --clear-groups -- "$tmp/unreadable.dv"
else
  echo "skipped: unreadable file: running as root and nobody cannot run $ozmira"
fi

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
for ((i = 0; i < 100; i++)); do [[ -s $tmp/display ]] && break; sleep 0.1; done
[[ -s $tmp/display ]] || { echo "FAILED: Xvfb did not start"; exit 1; }
export DISPLAY=:$(cat "$tmp/display")

# start_playing PATH: the viewer in the background, once its window exists.
start_playing() {
  "$ozmira" "$1" >"$tmp/out" 2>"$tmp/err" &
  viewer_pid=$!
  for ((i = 0; i < 100; i++)); do
    wid=$(xdotool search --name '^Ozmira ' 2>/dev/null | head -1) && [[ -n $wid ]] && return 0
    kill -0 "$viewer_pid" 2>/dev/null || break
    sleep 0.1
  done
  return 1
}

# plays WHAT PATH STDERR_PATTERN [ACTION]: plays for a while (ACTION runs
# meanwhile), must still be running, then ends with status 0 on q. Every
# line on standard error must match STDERR_PATTERN ('' for none at all).
plays() {
  local what=$1 path=$2 pattern=$3 action=${4:-} status=0
  if ! start_playing "$path"; then
    failed "$what: no window; stdout $(head -c 200 "$tmp/out") stderr $(head -c 200 "$tmp/err")"
    viewer_pid=''
    return
  fi
  sleep 2
  [[ -n $action ]] && $action
  sleep 2
  if ! kill -0 "$viewer_pid" 2>/dev/null; then
    wait "$viewer_pid"; status=$?
    failed "$what: stopped playing with status $status: $(tail -c 300 "$tmp/err")"
    viewer_pid=''
    return
  fi
  xdotool key --window "$wid" q 2>>"$tmp/xdotool.log"
  for ((i = 0; i < 100; i++)); do kill -0 "$viewer_pid" 2>/dev/null || break; sleep 0.1; done
  wait "$viewer_pid"; status=$?
  viewer_pid=''
  local stray
  if [[ -z $pattern ]]; then stray=$(cat "$tmp/err"); else stray=$(grep -vx -- "$pattern" "$tmp/err"); fi
  if [[ $status == 0 && -z $stray ]]; then
    ok "$what: plays, status 0 on q$([[ -s $tmp/err ]] && echo ", $(wc -l <"$tmp/err") lines: $(head -1 "$tmp/err")")"
  else
    failed "$what: status $status, unexpected stderr: $(head -c 300 <<<"$stray")"
  fi
}

header_message='(dvreadblock:dvlib): dv_parse_header failed - erm?'
cp "$clips/pal420.dv" "$tmp/shrinking.dv"
truncate_it() { truncate -s $((3 * 144000 + 70000)) "$tmp/shrinking.dv"; }

plays "file cut inside a frame" "$bad/cut_inside_frame.dv" ''
plays "damaged frames in the middle" "$bad/damaged_middle.dv" "$header_message"
plays "file truncated while playing" "$tmp/shrinking.dv" '' truncate_it
plays "4:1:1 PAL file" "$clips/pal411.dv" ''

exit $((failures > 0))
