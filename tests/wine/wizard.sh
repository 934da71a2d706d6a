#!/usr/bin/env bash
# The wizard driven as a person would, with mouse clicks and keys on a virtual X display:
# pick the sample target, Next, check the options page, type a report path, Finish, check
# the report, the region files and the finished state, Finish again to close. Then Esc on
# each page, and Finish with an empty report name. Saves a screenshot of each page under
# build/screenshots/ and checks that the Japanese texts are drawn.
# wine-test-timeout: 600
. "$(dirname "$0")/lib.sh"

APP="$BUILD_WIN32/tarnholm.exe"
PROBE="$BUILD_WIN32/wizprobe.exe"
SHOTS="$WINE_TEST_ROOT/build/screenshots"
DESK="tarnholm-test"
[ -f "$APP" ] || fail "no $APP"
[ -f "$PROBE" ] || fail "no $PROBE"
for tool in Xvfb xdotool import convert; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done
mkdir -p "$SHOTS"
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

# A display of our own.
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

probe() { wine "$PROBE" --desktop "$DESK" "$@" 2>/dev/null | tr -d '\r'; }

# start_wizard: tarnholm.exe on a Wine desktop of its own, as scripts/run starts it.
start_wizard() {
  wine explorer /desktop="$DESK,800x600" "$APP" >/dev/null 2>&1 &
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

# shot NAME [EXTRA]: the window as it is on the screen, EXTRA pixels more below it for a
# tool tip. Without EXTRA the pointer moves off the window first, so no tip covers it.
shot() {
  local rect extra=${2:-0}
  [ "$extra" = 0 ] && { xdotool mousemove 790 590; sleep 0.3; }
  rect=$(printf '%s\n' "$SNAP" | awk -F'\t' -v e="$extra" '$1 == "FormRect" { printf "%dx%d+%d+%d", $4, $5 + e, $2, $3 }')
  import -window root -crop "$rect" +repage "$SHOTS/$1.png" || fail "no screenshot $1"
}

# drawn SHOT CONTROL INSET: the control's text is ink, and not a row of boxes. Missing
# glyphs are drawn blank or as boxes, whose top and bottom edges line up across the text.
drawn() {
  local rect form left top width height
  rect=$(probe rect "$2")
  form=$(printf '%s\n' "$SNAP" | awk -F'\t' '$1 == "FormRect" { print $2, $3 }')
  read -r left top width height <<< "$rect"
  read -r fl ft <<< "$form"
  local x=$((left - fl + $3)) y=$((top - ft + $3)) w=$((width - 2 * $3)) h=$((height - 2 * $3))
  local stats
  stats=$(convert "$SHOTS/$1.png" -crop "${w}x${h}+${x}+${y}" +repage -colorspace Gray -threshold 50% -negate \
    -depth 8 txt:- | awk -F'[,: ]+' 'NR > 1 && $0 ~ /#FFFFFF|white/ { ink++; row[$2]++ }
      END { m = 0; for (r in row) if (row[r] > m) m = row[r]; printf "%d %d\n", ink, m }')
  local ink widest
  read -r ink widest <<< "$stats"
  [ "${ink:-0}" -ge $((w * h / 25)) ] || fail "$1: the text of $2 is not drawn (ink $ink in ${w}x${h})"
  [ "$widest" -le $((w * 7 / 10)) ] || fail "$1: the text of $2 looks like boxes (a row of $widest of $w pixels)"
  echo "$1: $2 drawn, $ink ink pixels, widest row $widest of $w"
}

probe_fonts() {
  local out
  out=$(probe fontcheck) || fail "font names are not mapped to faces with the glyphs: $out"
}

start_target
exe_path=$(winpath "$BUILD_WIN32/sample_target.exe")
cwd=$(winpath "$WINE_TEST_ROOT")

# ---- The whole road of one dump.
start_wizard
probe_fonts
snapshot
expect Form 5 "The Tarnholm" "caption"
[ "$(printf '%s\n' "$SNAP" | awk -F'\t' '$1 == "Application" { print $2 }')" = "Tarnholm" ] || fail "application title"
[ "$(printf '%s\n' "$SNAP" | awk -F'\t' '$1 == "FormRect" { print $2, $3, $4, $5 }')" = "187 113 404 402" ] ||
  fail "window rectangle: $(printf '%s\n' "$SNAP" | grep FormRect)"
expect_flags ButtonNext 1 0 "start"
expect_flags ButtonBack 1 0 "start"
expect ButtonFin 2 0 "start"
expect Panel1 2 1 "start"
expect Panel2 2 0 "start"
expect Panel3 2 0 "start"
expect ButtonCan 5 "キャンセル" "start"
expect ButtonBack 5 "< 戻る(&B)" "start"
expect ButtonNext 5 "次へ (&N)>" "start"
expect ButtonFin 5 "終了(&F)" "start"
expect ButtonUpdate 5 "更新(&U)" "start"
expect Label1 5 "ダンプを取得するプロセスを選択してください。" "start"
expect EditInst 5 "16" "start"
[ "$(probe hint ButtonFin)" = "ダンプの取得" ] || fail "start: Finish hint is '$(probe hint ButtonFin)'"

rows=$(probe rows)
row=$(printf '%s\n' "$rows" | awk -F'\t' -v p="$TARGET_PID" '$4 == p')
[ -n "$row" ] || fail "no row for the sample target (pid $TARGET_PID): $rows"
[ "$(printf '%s\n' "$row" | cut -f3)" = "sample_target.exe" ] || fail "sample target row: $row"
memory=$(printf '%s\n' "$row" | cut -f5)
printf '%s\n' "$memory" | grep -Eq '^[0-9]+ KB$' || fail "memory column '$memory'"
[ -z "$(printf '%s\n' "$rows" | awk -F'\t' '$2 == 1')" ] || fail "a row is selected at start"
shot 1-process-list
drawn 1-process-list Label1 0

click_row "$TARGET_PID"
snapshot
expect_flags ButtonNext 1 1 "row selected"
[ -n "$(probe rows | awk -F'\t' -v p="$TARGET_PID" '$2 == 1 && $4 == p')" ] || fail "the clicked row is not selected"

before=$(date +%Y%m%d-%H%M)
click ButtonNext
after=$(date +%Y%m%d-%H%M)
snapshot
expect Panel1 2 0 "options"
expect Panel2 2 1 "options"
expect Panel3 2 0 "options"
expect ButtonFin 2 1 "options"
expect_flags ButtonBack 1 1 "options"
expect_flags ButtonNext 1 0 "options"
expect LabelName 5 "プログラム名：sample_target.exe" "options"
expect LabelPID 5 "PID：$TARGET_PID" "options"
expect LabelMemsize 5 "メモリー使用量：$memory" "options"
name=$(field EditFileName 5)
[ "$name" = "$cwd\\sample_target-$before.TXT" ] || [ "$name" = "$cwd\\sample_target-$after.TXT" ] ||
  fail "default report name '$name'"
shot 2-options
drawn 2-options Label3 0
drawn 2-options LabelName 0

report="$WORK/wizard.txt"
click EditFileName
xdotool key End shift+Home BackSpace
xdotool type --delay 15 "$(winpath "$report")"
sleep 0.3
snapshot
expect EditFileName 5 "$(winpath "$report")" "typed report name"

click ButtonFin
for i in $(seq 1 240); do
  snapshot
  [ "$(field ButtonBack 2)" = 0 ] && break
  sleep 0.5
done
expect ButtonBack 2 0 "dump over"
expect ButtonNext 2 0 "dump over"
expect ButtonFin 2 1 "dump over"
expect ButtonFin 5 "終了(&F)" "dump over"
expect Panel3 3 1 "dump over"
[ "$(probe hint ButtonFin)" = "終了" ] || fail "dump over: Finish hint is '$(probe hint ButtonFin)'"
memo=$(memo_text)
printf '%s\n' "$memo" | head -1 | grep -Eq '^debug_event hProcess:[0-9]+$' || fail "first pane line: $(printf '%s\n' "$memo" | head -1)"
printf '%s\n' "$memo" | grep -qF "Attach $exe_path Base=0x00400000" || fail "no Attach line for the target: $memo"

[ -s "$report" ] || fail "no report"
first=$(head -1 "$report" | tr -d '\r')
[ "$first" = "$exe_path (pid=$TARGET_PID)" ] || fail "report starts with '$first'"
grep -q '^State Dump for Thread ID 0x' "$report" || fail "no thread section in the report"
regions=$(find "$WORK" -maxdepth 1 -name 'wizard.txt.*.bin' | wc -l)
[ "$regions" -gt 0 ] || fail "no region files next to the report"
wait_gone "$TARGET_HOST_PID" || fail "the target still runs after the dump"

shot 3-progress
drawn 3-progress ButtonCan 5
drawn 3-progress ButtonFin 5

# The new hint shows when the pointer rests on Finish.
# shellcheck disable=SC2046
xdotool mousemove $(probe point ButtonFin)
tip=""
for i in $(seq 1 20); do
  tip=$(probe tooltips)
  [ -n "$tip" ] && break
  sleep 0.25
done
[ "$tip" = "終了" ] || fail "the tool tip on Finish reads '$tip'"
shot 3-progress-hint 40

click ButtonFin
expect_closed "second Finish"
echo "dump through the wizard: $(wc -l < "$report") report lines, $regions region files"

# ---- Esc closes the window on either page, without a dump.
start_target
start_wizard
key Escape
expect_closed "Esc on the process page"

start_wizard
click_row "$TARGET_PID"
click ButtonNext
snapshot
expect Panel2 2 1 "Esc test"
key Escape
expect_closed "Esc on the options page"
kill -0 "$TARGET_HOST_PID" 2>/dev/null || fail "Esc made a dump: the target is gone"

# ---- Finish with an empty report name: the creation failure, then Back, Next, Finish.
start_wizard
click_row "$TARGET_PID"
click ButtonNext
click EditFileName
xdotool key End shift+Home BackSpace
sleep 0.3
snapshot
expect EditFileName 5 "" "cleared report name"
click ButtonFin
for i in $(seq 1 40); do
  snapshot
  [ -n "$(memo_text)" ] && break
  sleep 0.25
done
memo=$(memo_text)
printf '%s\n' "$memo" | grep -Eqx 'File: creation failed \([0-9]+\)' || fail "empty name: pane shows '$memo'"
[ "$(printf '%s\n' "$memo" | wc -l)" = 1 ] || fail "empty name: more than the failure line: $memo"
expect_flags ButtonBack 1 1 "report file failed"
expect_flags ButtonNext 1 0 "report file failed"
expect Panel3 3 1 "report file failed"
expect ButtonFin 5 "終了(&F)" "report file failed"
[ "$(probe hint ButtonFin)" = "終了" ] || fail "report file failed: Finish hint is '$(probe hint ButtonFin)'"
shot 4-report-file-failed
kill -0 "$TARGET_HOST_PID" 2>/dev/null || fail "the failed report touched the target"

click ButtonBack
snapshot
expect Panel1 2 1 "back after the failure"
expect_flags ButtonNext 1 0 "back after the failure"
expect Panel3 2 1 "back after the failure"
click_row "$TARGET_PID"
click ButtonNext
snapshot
expect Panel2 2 1 "options after the failure"
expect Panel3 3 1 "options after the failure"
click ButtonFin
expect_closed "Finish after the failure"
kill -0 "$TARGET_HOST_PID" 2>/dev/null || fail "Finish after the failure made a dump"
echo "PASS"
