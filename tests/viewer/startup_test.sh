#!/usr/bin/env bash
# ozmira's start-up refusals, run as a process: message, stream and exit
# status; the refused rows of the bad-input matrix (docs/ROBUSTNESS.md) among
# them. Refusals must come before any window: the viewer runs with no display
# and SDL's X11 driver, so reaching SDL would add SDL's own complaint to stderr.
# Then --help, --version ($OZMIRA_VERSION), and signals while playing.
#   startup_test.sh OZMIRA CLIP_DIR BAD_INPUT_DIR [FAIL_PICTURE_BUFFER_SO FAIL_PICTURE_SURFACE_SO]
set -uo pipefail
ozmira=$1 clips=$2 bad=$3 fail_buffer=${4:-} fail_surface=${5:-}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
chmod 755 "$tmp"  # the user nobody must reach the unreadable file
failures=0

# expect WHAT STATUS STDOUT STDERR [PREFIX...] -- ARGUMENTS...
# PREFIX: variable settings or a command (setpriv) to run the viewer through.
# $driver replaces the X11 driver's setting, $signal is sent after $seconds.
expect() {
  local what=$1 want_status=$2 want_out=$3 want_err=$4 status=0
  shift 4
  local prefix=()
  while [[ $1 != -- ]]; do prefix+=("$1"); shift; done
  shift
  env -u DISPLAY ${driver-SDL_VIDEODRIVER=x11} "${prefix[@]}" timeout -k 10 --preserve-status -s "${signal:-KILL}" \
    "${seconds:-10}" "$ozmira" "$@" >"$tmp/out" 2>"$tmp/err" || status=$?
  if [[ $status == "$want_status" ]] && printf '%s' "$want_out" | cmp -s - "$tmp/out" &&
     printf '%s' "$want_err" | cmp -s - "$tmp/err"; then
    echo "ok: $what"
  else
    echo "FAILED: $what: status $status (want $want_status)"
    echo "  stdout: $(od -c "$tmp/out" | head -3)"
    echo "  stderr: $(od -c "$tmp/err" | head -3)"
    failures=$((failures + 1))
    return 1
  fi
}

usage=$'Usage:  ozmira <dv file>\n'
not_pal=$'Not a PAL format video\n'
head -c 100000 "$clips/pal420.dv" >"$tmp/short.dv"
: >"$tmp/empty.dv"
mkfifo "$tmp/pipe.dv"
cp "$clips/pal420.dv" "$tmp/unreadable.dv"
chmod 000 "$tmp/unreadable.dv"

expect "no argument" 1 "" "$usage" --
expect "two arguments" 1 "" "$usage" -- "$clips/pal420.dv" "$clips/pal420.dv"
expect "missing file" 1 "$tmp/missing.dv not found"$'\n' "" -- "$tmp/missing.dv"
expect "525/60 file" 1 "$not_pal" "" -- "$clips/ntsc.dv"
expect "header that does not parse" 1 "$not_pal" "" -- "$clips/bad_header.dv"
expect "file shorter than a frame" 1 "$not_pal" "" -- "$tmp/short.dv"
expect "empty file" 1 "$not_pal" "" -- "$tmp/empty.dv"
expect "random bytes" 1 "$not_pal" "" -- "$bad/random.dv"
expect "directory" 1 "$not_pal" "" -- "$tmp"
expect "/dev/null" 1 "$not_pal" "" -- /dev/null
expect "named pipe with no writer" 1 "$not_pal" "" -- "$tmp/pipe.dv"
# Root reads past permissions: the unreadable row runs as nobody when the
# tests run as root, and is skipped (with a word) where that is impossible.
if [[ $(id -u) != 0 ]]; then
  expect "unreadable file" 1 "$tmp/unreadable.dv not found"$'\n' "" -- "$tmp/unreadable.dv"
elif setpriv --reuid=65534 --regid=65534 --clear-groups test -x "$ozmira" 2>/dev/null; then
  expect "unreadable file (as nobody)" 1 "$tmp/unreadable.dv not found"$'\n' "" \
    setpriv --reuid=65534 --regid=65534 --clear-groups -- "$tmp/unreadable.dv"
else
  echo "skipped: unreadable file: running as root and nobody cannot run $ozmira"
fi

# Without a display only SDL's X11 driver is tried: no text-mode driver writes on stdout.
driver="-u SDL_VIDEODRIVER" expect "no display" 1 "" $'Couldn\'t initialize SDL: No available video device\n' -- \
  "$clips/pal420.dv"
expect "--version" 0 "ozmira $OZMIRA_VERSION"$'\n' "" -- --version
help=$("$ozmira" --help 2>"$tmp/err") && [[ ${help%%$'\n'*}$'\n' == "$usage" && ! -s $tmp/err ]] ||
  { echo "FAILED: --help"; failures=$((failures + 1)); }
: >"$tmp/--help"
(cd "$tmp" && expect "a file named --help" 1 "$not_pal" "" -- ./--help) || failures=$((failures + 1))
for row in "TERM|sound48000|nosuch|Couldn't open the audio device: No available audio device; playing without sound" \
           "INT|pal420|disk|"; do
  IFS='|' read -r sig clip audio said <<<"$row" && said=${said:+$said$'\n'}
  signal=$sig seconds=1 driver=SDL_VIDEODRIVER=dummy expect "SIG$sig playing $clip, audio driver $audio" 0 "" "$said" \
    SDL_AUDIODRIVER=$audio SDL_DISKAUDIOFILE="$tmp/sound" -- "$clips/$clip.dv"
done
# SDL's own search for a device (ALSA's eight lines where there is no sound card) stays off stderr.
env -u SDL_AUDIODRIVER SDL_VIDEODRIVER=dummy timeout -k 10 --preserve-status 1 "$ozmira" "$clips/sound48000.dv" 2>&1 >/dev/null |
  grep -qv "^Couldn't open the audio device: .*; playing without sound$" && echo "FAILED: more than one line" && ((++failures))

if [[ -n $fail_buffer ]]; then
  expect "no picture buffer" 1 "" $'Couldn\'t allocate the picture buffer (1244160 bytes)\n' \
    LD_PRELOAD="$fail_buffer" -- "$clips/pal420.dv"
  expect "no surface over the picture" 1 "" $'Couldn\'t make a surface over the picture: injected failure\n' \
    LD_PRELOAD="$fail_surface" SDL_VIDEODRIVER=dummy -- "$clips/pal420.dv"
fi

exit $((failures > 0))
