#!/usr/bin/env bash
# The wizard driven as a person would, with mouse clicks and keys on a virtual X display:
# pick the sample target, Next, check the options page, type a report path, Finish, check
# the report, the region files and the finished state, Finish again to close. Then Finish on
# a process that has gone, over an earlier report, Esc on each page, and Finish with an empty
# report name. On the way, the keyboard: the focus at
# start and after the save dialog, Tab, Shift+Tab, the arrows, Enter and access keys on each
# page, and none of them acting through the controls the progress page covers; and the hint
# of a disabled button. Saves a screenshot of each page under build/screenshots/ and checks
# that the Japanese texts are drawn, every control inside the window and no text cut.
# wine-test-timeout: 900
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/gui.sh"

SHOTS="$WINE_TEST_ROOT/build/screenshots"
for tool in import convert; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done
mkdir -p "$SHOTS"
start_display

# The key may still be on its way through the X server and Wine (slow in an emulated guest),
# so the focus is asked again for a few seconds before the check fails.
expect_focus() {  # expect_focus NAME WHAT: NAME has the keyboard focus, the window is active
  local got i
  for i in $(seq 1 20); do
    got=$(probe focus)
    [ "$got" = "$1"$'\t'"active" ] && return 0
    sleep 0.25
  done
  fail "$2: the focus is '$got', expected '$1 (active)'"
}

# wait_dialogs COUNT: until the wizard shows COUNT dialog windows (the save dialog).
wait_dialogs() {
  local i
  for i in $(seq 1 40); do
    [ "$(probe dialogs | grep -c '^dialog')" = "$1" ] && return 0
    sleep 0.25
  done
  return 1
}

# tip_over NAME TEXT: the pointer resting on a control shows its hint. One probe watches
# from before the pointer arrives until the hint shows, so neither a slow start of the probe
# nor the 5 s after which a hint hides itself can hide it from the check; no hint, or
# another control's, fails.
tip_over() {
  local tip="" point watch watcher i j
  point=$(probe point "$1")
  watch="$WORK/tip.$RANDOM"
  for i in 1 2; do
    xdotool mousemove 790 590
    # Straight to the file, not through probe's pipe, which would hold "ready" back.
    wine "$PROBE" --desktop "$DESK" tipwait $((20 * WINE_SLOWDOWN)) > "$watch" 2>/dev/null &
    watcher=$!
    for j in $(seq 1 $((100 * WINE_SLOWDOWN))); do
      grep -q '^ready$' "$watch" 2>/dev/null && break
      sleep 0.1
    done
    # shellcheck disable=SC2086
    xdotool mousemove $point
    wait "$watcher"
    tip=$(sed -n 2p "$watch")
    [ -n "$tip" ] && break
  done
  [ "$tip" = "$2" ] || fail "the tool tip on $1 reads '$tip', expected '$2'"
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
layout=$(probe layout) || fail "start: a control outside or a text cut: $layout"
expect_focus ListView "start"
tip_over ButtonNext "ダンプ取得画面"  # disabled: the system gives its mouse messages to the window

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
# The time to the second, then the process id.
stamp=${name#"$cwd\\sample_target-"}
stamp=${stamp%"-$TARGET_PID.TXT"}
[[ "$stamp" =~ ^[0-9]{8}-[0-9]{6}$ ]] && { [ "${stamp:0:13}" = "$before" ] || [ "${stamp:0:13}" = "$after" ]; } &&
  [ "$name" = "$cwd\\sample_target-$stamp-$TARGET_PID.TXT" ] || fail "default report name '$name'"
shot 2-options
drawn 2-options Label3 0
layout=$(probe layout) || fail "options: a control outside or a text cut: $layout"
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
tip_over ButtonFin "終了"
shot 3-progress-hint 40

click ButtonFin
expect_closed "second Finish"
echo "dump through the wizard: $(wc -l < "$report") report lines, $regions region files"

# ---- A process that is gone by Finish cannot be attached: an earlier report of the name
# given stays as it was, and the refusal is in the pane.
start_target
start_wizard
click_row "$TARGET_PID"
click ButtonNext
earlier="$WORK/earlier.txt"
printf 'the earlier report\r\n' > "$earlier"
click EditFileName
xdotool key End shift+Home BackSpace
xdotool type --delay 15 "$(winpath "$earlier")"
kill "$TARGET_HOST_PID"
wait_gone "$TARGET_HOST_PID" || fail "the target did not end"
sleep 1
click ButtonFin
for i in $(seq 1 60); do
  snapshot
  [ "$(field ButtonBack 2)" = 0 ] && break
  sleep 0.5
done
memo=$(memo_text)
printf '%s\n' "$memo" | grep -Eqx "Can't attach to process $TARGET_PID \(e=[0-9]+\)" || fail "gone target: pane shows '$memo'"
expect ButtonBack 2 0 "attach refused"
[ "$(cat "$earlier")" = $'the earlier report\r' ] || fail "a refused attach changed the earlier report: $(od -c "$earlier" | head -3)"
click ButtonFin
expect_closed "Finish after the refused attach"

# ---- The keyboard on each page; Esc closes the window on either page, without a dump.
start_target
start_wizard
expect_focus ListView "start"
key Tab
expect_focus ButtonUpdate "Tab from the list"
key Tab
expect_focus ButtonCan "Tab past the disabled and hidden buttons"
key shift+Tab
expect_focus ButtonUpdate "Shift+Tab"
click_row "$TARGET_PID"
key Tab
expect_focus ButtonUpdate "Tab from the selected row"
key Return
snapshot
expect_flags ButtonNext 1 0 "Enter on Update refreshes the list"
[ -z "$(probe rows | awk -F'\t' '$2 == 1')" ] || fail "Enter on Update: a row is still selected"
key Escape
expect_closed "Esc on the process page"

start_wizard
click_row "$TARGET_PID"
key Tab Tab
expect_focus ButtonNext "Tab from the list to the enabled Next"
key Return
snapshot
expect Panel2 2 1 "Enter on Next"
expect_focus CBSymbol "the options page starts with its first control"
key Tab Tab Tab
expect_focus ButtonFileName "Tab through the options"
key Return
wait_dialogs 1 || fail "Enter on the browse button: no save dialog"
key Escape
wait_dialogs 0 || fail "Esc left the save dialog open"
sleep 0.5
expect_focus ButtonFileName "after the save dialog"
key Tab
expect_focus ButtonBack "Tab from the browse button"
# The arrows move within the row of bottom buttons, past the disabled Next.
key Right
expect_focus ButtonFin "Right from Back"
key Right
expect_focus ButtonCan "Right from Finish"
key Right
expect_focus ButtonBack "Right from Cancel, past the disabled Next"
snapshot
expect Panel2 2 1 "Esc in the save dialog"
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

# The text pane covers the options: their access keys and tab stops are gone.
key alt+r
wait_dialogs 0 || fail "Alt+R opened the save dialog from under the text pane"
[ -z "$(probe dialogs)" ] || fail "Alt+R opened a dialog from under the text pane"
expect_focus ButtonFin "after Finish"
key Tab
expect_focus ButtonCan "Tab on the progress page"
key Tab
expect_focus Memo "Tab to the text pane"
key Tab
expect_focus ButtonBack "Tab past the covered options"

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
key alt+f
expect_closed "Finish (Alt+F) after the failure"
kill -0 "$TARGET_HOST_PID" 2>/dev/null || fail "Finish after the failure made a dump"
echo "PASS"
