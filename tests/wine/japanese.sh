#!/usr/bin/env bash
# A Japanese system (LANG=ja_JP.UTF-8, ANSI code page 932): the sample target runs as
# 表示/ソフト.exe, whose name holds the byte of "\" inside ソ and 表. The wizard lists it as
# "ソフト.exe" and proposes a report name from it; the companion dumps it to a report name
# with a character code page 932 lacks (é), and the report is made under exactly that name
# with nothing else beside it but its region files. The report's first line and first
# module line name the target's full path in code page 932.
# wine-test-timeout: 600
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/gui.sh"
# shellcheck disable=SC2034  # read by the helpers of gui.sh
DESK="tarnholm-ja"

command -v iconv >/dev/null || fail "iconv is not installed"
acp=$(wine "$PROBE" acp 2>/dev/null | tr -d '\r')
[ "$acp" = 932 ] || fail "Wine runs with ANSI code page '$acp' under LANG=$LANG, not 932 (is the ja_JP.UTF-8 locale generated? scripts/setup does it)"

mkdir -p "$WORK/表示" "$WORK/out"
cp "$BUILD_WIN32/sample_target.exe" "$WORK/表示/ソフト.exe"
start_target "$WORK/表示/ソフト.exe"
exe_path=$(winpath "$WORK/表示/ソフト.exe")

# ---- The wizard: the row, the options page's label and the proposed report name.
start_display
start_wizard
rows=$(probe rows)
row=$(printf '%s\n' "$rows" | awk -F'\t' -v p="$TARGET_PID" '$4 == p')
[ -n "$row" ] || fail "no row for the target (pid $TARGET_PID): $rows"
[ "$(printf '%s\n' "$row" | cut -f3)" = "ソフト.exe" ] || fail "the target's row reads: $row"
click_row "$TARGET_PID"
before=$(date +%Y%m%d-%H%M)
click ButtonNext
after=$(date +%Y%m%d-%H%M)
snapshot
expect LabelName 5 "プログラム名：ソフト.exe" "options page"
name=$(field EditFileName 5)
cwd=$(winpath "$WINE_TEST_ROOT")
# The time to the second, then the process id.
stamp=${name#"$cwd\\ソフト-"}
stamp=${stamp%"-$TARGET_PID.TXT"}
[[ "$stamp" =~ ^[0-9]{8}-[0-9]{6}$ ]] && { [ "${stamp:0:13}" = "$before" ] || [ "${stamp:0:13}" = "$after" ]; } &&
  [ "$name" = "$cwd\\ソフト-$stamp-$TARGET_PID.TXT" ] || fail "default report name '$name'"
key Escape
expect_closed "Esc on the options page"
kill -0 "$TARGET_HOST_PID" 2>/dev/null || fail "the wizard touched the target"
echo "wizard: row '$(printf '%s\n' "$row" | cut -f3)', report name '$name'"

# ---- The companion: a report name outside code page 932.
report="$WORK/out/レポート_é.txt"
dump_target "$report"
[ "$DUMP_RC" = 0 ] || fail "companion exited $DUMP_RC: $(iconv -f CP932 -t UTF-8 < "$DUMP_LOG" 2>/dev/null)"
[ -s "$report" ] || fail "no report under its own name; the folder holds: $(ls "$WORK/out")"
others=$(find "$WORK/out" -mindepth 1 ! -name 'レポート_é.txt' ! -name 'レポート_é.txt.[0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F].bin')
[ -z "$others" ] || fail "files beside the report and its region files: $others"
regions=$(find "$WORK/out" -name 'レポート_é.txt.*.bin' | wc -l)
[ "$regions" -gt 0 ] || fail "no region files"

# The header is 8-bit text in code page 932; read back as UTF-8 it must name the target.
head -3 "$report" | tr -d '\r' | iconv -f CP932 -t UTF-8 > "$WORK/header.txt" || fail "the header is not code page 932 text"
first=$(sed -n 1p "$WORK/header.txt")
[ "$first" = "$exe_path (pid=$TARGET_PID)" ] || fail "first line is '$first'"
module=$(sed -n 3p "$WORK/header.txt")
if ! printf '%s\n' "$module" | grep -Eq '^\(00400000 - [0-9a-f]{8}\) ' || [ "${module:22}" != "$exe_path" ]; then
  fail "first module line is '$module'"
fi
attach=$(sed -n 2p "$DUMP_LOG" | iconv -f CP932 -t UTF-8)
[ "$attach" = "Attach $exe_path Base=0x00400000" ] || fail "second log line is '$attach'"
wait_gone "$TARGET_HOST_PID" || fail "the target still runs after the dump"
echo "dump took ${DUMP_SECONDS}s: report and $regions region files under the name given"
echo "PASS"
