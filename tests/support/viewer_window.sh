# Sourced by the tests that run ozmira in a window under a private Xvfb with a
# 24-bit screen. Needs $ozmira; gives a scratch folder $tmp, a cleanup that
# ends the viewer and Xvfb, and start_xvfb, start_viewer, press, expect_exit_0
# and fail. The viewer's output goes to $tmp/viewer.out and $tmp/viewer.err.
tmp=$(mktemp -d)
xvfb_pid='' viewer_pid='' wid='' last_key=''
cleanup() {
  set +e
  [[ -n $viewer_pid ]] && kill "$viewer_pid" 2>/dev/null
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  echo "viewer output (last lines):" && tail -n 3 "$tmp/viewer.out" "$tmp/viewer.err" 2>/dev/null
  exit 1
}

# Xvfb picks a free display number itself and writes it once it accepts
# clients; -noreset keeps it from resetting when a viewer disconnects.
start_xvfb() {
  local i
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$tmp/display" 2>"$tmp/xvfb.log" &
  xvfb_pid=$!
  for ((i = 0; i < 100; i++)); do [[ -s $tmp/display ]] && break; sleep 0.1; done
  [[ -s $tmp/display ]] || fail "Xvfb did not start: $(cat "$tmp/xvfb.log")"
  export DISPLAY=:$(cat "$tmp/display")
}

# start_viewer PATH [WRAPPER...]: ozmira on PATH in the background, run by
# WRAPPER when one is given (valgrind), once its window exists. Polled, for a
# minute at most: a search can fail while SDL is still creating its windows.
start_viewer() {
  local path=$1 i
  shift
  "$@" "$ozmira" "$path" >"$tmp/viewer.out" 2>"$tmp/viewer.err" &
  viewer_pid=$! last_key=''
  for ((i = 0; i < 600; i++)); do
    wid=$(xdotool search --name '^Ozmira ' 2>/dev/null | head -1) && [[ -n $wid ]] && return
    kill -0 "$viewer_pid" 2>/dev/null || break
    sleep 0.1
  done
  fail "no window appeared$(kill -0 "$viewer_pid" 2>/dev/null || echo ': the viewer ended')"
}

# SDL 1.2 takes a key release followed at once by a press of the same key for
# auto-repeat and drops the press; a key that does nothing keeps them apart.
press() {
  if [[ $1 == "$last_key" ]]; then xdotool key --window "$wid" a 2>>"$tmp/xdotool.log" || true; fi
  last_key=$1
  xdotool key --window "$wid" "$1" 2>>"$tmp/xdotool.log" || true
}

# expect_exit_0 WHAT: the viewer ends, within a minute, with status 0.
expect_exit_0() {
  local i status=0
  for ((i = 0; i < 600; i++)); do kill -0 "$viewer_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$viewer_pid" 2>/dev/null && fail "$1: the viewer is still running"
  wait "$viewer_pid" || status=$?
  viewer_pid=''
  ((status == 0)) || fail "$1: exit status $status"
  echo "ok: $1 ends with status 0"
}
