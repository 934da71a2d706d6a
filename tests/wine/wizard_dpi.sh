#!/usr/bin/env bash
# The wizard at 144 pixels per inch (the prefix's LogPixels, given back at the end): the
# window and every control scaled by 1.5, every control inside its parent and the window,
# no text cut in the window's font at that size, and the Japanese texts drawn. Saves a
# screenshot of both pages under build/screenshots/.
# wine-test-timeout: 400
. "$(dirname "$0")/lib.sh"
# The window at 1.5 times its size ends at 793 x 716: the whole display is the desktop.
DESK_SIZE=1024x768
. "$(dirname "$0")/gui.sh"

SHOTS="$WINE_TEST_ROOT/build/screenshots"
command -v import >/dev/null || fail "import is not installed"
mkdir -p "$SHOTS"

# The two places Wine reads the screen's pixels per inch from, the user's first.
USER_KEY='HKCU\Control Panel\Desktop'
CONFIG_KEY='HKCC\Software\Fonts'
reg_value() { wine reg query "$1" /v LogPixels 2>/dev/null | tr -d '\r' | awk '$1 == "LogPixels" { print $3 }'; }
user_before=$(reg_value "$USER_KEY")
config_before=$(reg_value "$CONFIG_KEY")
restore_dpi() {
  if [ -n "$user_before" ]; then
    wine reg add "$USER_KEY" /v LogPixels /t REG_DWORD /d "$((user_before))" /f >/dev/null 2>&1
  else
    wine reg delete "$USER_KEY" /v LogPixels /f >/dev/null 2>&1
  fi
  wine reg add "$CONFIG_KEY" /v LogPixels /t REG_DWORD /d "$((${config_before:-96}))" /f >/dev/null 2>&1
}
dpi_cleanup() {
  wizard_cleanup
  restore_dpi
}
trap dpi_cleanup EXIT
wine reg add "$USER_KEY" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1 || fail "can't set LogPixels"
wine reg add "$CONFIG_KEY" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1 || fail "can't set LogPixels"

start_display

shot() {  # shot NAME: the window as it is on the screen, the pointer off it
  local rect
  xdotool mousemove 1000 750
  sleep 0.3
  rect=$(printf '%s\n' "$SNAP" | awk -F'\t' '$1 == "FormRect" { printf "%dx%d+%d+%d", $4, $5, $2, $3 }')
  import -window root -crop "$rect" +repage "$SHOTS/$1.png" || fail "no screenshot $1"
}

# check_layout PAGE: the probe's layout lines, every control inside and every text whole.
check_layout() {
  local out bad
  out=$(probe layout)
  printf '%s\n' "$out" | sed "s/^/$1: /"
  [ "$(printf '%s\n' "$out" | awk -F'\t' '$1 == "dpi" { print $2 }')" = 144 ] || fail "$1: the probe sees no 144 dpi"
  bad=$(printf '%s\n' "$out" | awk -F'\t' '$1 != "dpi" && ($2 != 1 || $3 != 1)')
  [ -z "$bad" ] || fail "$1: controls outside or texts cut: $bad"
}

start_target
start_wizard
snapshot
# The outer size scaled from 404 x 402; the position stays.
[ "$(printf '%s\n' "$SNAP" | awk -F'\t' '$1 == "FormRect" { print $2, $3, $4, $5 }')" = "187 113 606 603" ] ||
  fail "window rectangle at 144 dpi: $(printf '%s\n' "$SNAP" | grep FormRect)"
[ "$(probe rect ButtonNext | awk '{ print $3, $4 }')" = "110 38" ] || fail "Next at 144 dpi: $(probe rect ButtonNext)"
check_layout "process page"
shot dpi144-1-process-list

click_row "$TARGET_PID"
click ButtonNext
snapshot
[ "$(field Panel2 2)" = 1 ] || fail "Next at 144 dpi did not show the options page"
[ "$(field LabelName 5)" = "プログラム名：sample_target.exe" ] || fail "options page: $(field LabelName 5)"
check_layout "options page"
shot dpi144-2-options

key Escape
expect_closed "Esc at 144 dpi"
echo "PASS"
