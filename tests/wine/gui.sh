# shellcheck shell=bash
# Shared by the Wine tests of the wizard window (sourced after lib.sh; not a test itself):
# a virtual X display of their own, the wizard on a Wine desktop, the probe that reads the
# window from outside, and real mouse and key input.
APP="$BUILD_WIN32/tarnholm.exe"
PROBE="$BUILD_WIN32/wizprobe.exe"
DESK="tarnholm-test"
DESK_SIZE=${DESK_SIZE:-800x600}  # the Wine desktop, within the 1024x768 display
[ -f "$APP" ] || fail "no $APP"
[ -f "$PROBE" ] || fail "no $PROBE"
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done
cd "$WINE_TEST_ROOT" || fail "no repository root"

XVFB_PID=""
APP_PIDS=()
wizard_cleanup() {
  local pid
  for pid in "${APP_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  cleanup_wine_test
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
}
trap wizard_cleanup EXIT

# start_display: a display of our own, closed again at the end.
start_display() {
  local n i display=""
  for n in $(seq 93 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { display=$n; break; }
  done
  [ -n "${display:-}" ] || fail "no free X display number"
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$display"
  for i in $(seq 1 50); do
    xdotool getmouselocation >/dev/null 2>&1 && break
    sleep 0.1
  done
  xdotool getmouselocation >/dev/null 2>&1 || fail "Xvfb did not start"
}

probe() { wine "$PROBE" --desktop "$DESK" "$@" 2>/dev/null | tr -d '\r'; }

# start_wizard: tarnholm.exe on a Wine desktop of its own, as scripts/run starts it.
start_wizard() {
  wine explorer /desktop="$DESK,$DESK_SIZE" "$APP" >/dev/null 2>&1 &
  APP_HOST_PID=$!
  APP_PIDS+=("$APP_HOST_PID")
  local i
  for i in $(seq 1 60); do
    wine "$PROBE" --desktop "$DESK" wait 1 >/dev/null 2>&1 && { sleep 0.5; return 0; }
    sleep 0.5
  done
  fail "the wizard window did not open"
}

# The closed window ends the program.
expect_closed() {
  probe gone 10 >/dev/null || fail "$1: the window is still open"
  wait_gone "$APP_HOST_PID" || fail "$1: the program still runs after its window closed"
}

snapshot() { SNAP=$(probe controls); }
# field NAME COLUMN: 2 own visible flag, 3 shown, 4 enabled, 5 text (first line).
field() { printf '%s\n' "$SNAP" | awk -F'\t' -v n="$1" -v c="$2" '$1 == n { print $c; exit }'; }
memo_text() { printf '%s\n' "$SNAP" | sed -n '/^Memo\t/,/^Label3\t/p' | sed '$d' | sed '1s/^Memo\t[^\t]*\t[^\t]*\t[^\t]*\t//'; }
expect() {  # expect NAME COLUMN VALUE WHAT
  local got
  got=$(field "$1" "$2")
  [ "$got" = "$3" ] || fail "$4: $1 column $2 is '$got', expected '$3'"
}
expect_flags() {  # expect_flags NAME OWN-VISIBLE ENABLED WHAT
  expect "$1" 2 "$2" "$4"
  expect "$1" 4 "$3" "$4"
}

click() {
  local point
  point=$(probe point "$1") || fail "no control $1"
  # shellcheck disable=SC2086
  xdotool mousemove $point click 1
  sleep 0.4
}

click_row() {
  local point
  point=$(probe row-point "$1") || fail "no row with PID $1"
  # shellcheck disable=SC2086
  xdotool mousemove $point click 1
  sleep 0.4
}

key() {
  # The pointer over the window's desktop gives it the keyboard.
  xdotool mousemove 100 60
  xdotool key "$@"
  sleep 0.4
}

