#!/usr/bin/env bash
# A real dump of the sample target with the companion: header, module list, thread
# headings, the log lines in order, the target ended; and the companion's failure exits.
. "$(dirname "$0")/lib.sh"

start_target

# A report that cannot be created: refused after the attach, which is undone; the target runs
# on for the dump below. An empty name is refused before the attach.
dump_target "$WORK/missing-dir/x.txt"
[ "$DUMP_RC" = 1 ] || fail "report in a missing directory exited $DUMP_RC"
grep -Eqx "File:.*missing-dir.*x\.txt creation failed \([0-9]+\)" "$DUMP_LOG" || fail "creation failure line: $(cat "$DUMP_LOG")"
timeout 60 wine "$BUILD_WIN32/tarnholm-cli.exe" "$TARGET_PID" "" 2>/dev/null | tr -d '\r' > "$WORK/empty.log"
rc=${PIPESTATUS[0]}
[ "$rc" = 1 ] || fail "empty report name exited $rc"
grep -Eqx "File: creation failed \([0-9]+\)" "$WORK/empty.log" || fail "empty name line: $(cat "$WORK/empty.log")"
kill -0 "$TARGET_HOST_PID" 2>/dev/null || fail "the target ended after a refused report"

report="$WORK/basic.txt"
dump_target "$report"
[ "$DUMP_RC" = 0 ] || fail "companion exited $DUMP_RC: $(cat "$DUMP_LOG")"
tr -d '\r' < "$report" > "$report.lf"
head -c 200 "$report" | grep -q $'\r\n' || fail "report lines do not end with CR LF"

exe_path=$(winpath "$BUILD_WIN32/sample_target.exe")
first=$(sed -n 1p "$report.lf")
[ "$first" = "$exe_path (pid=$TARGET_PID)" ] || fail "first line is '$first'"
sed -n 2p "$report.lf" | grep -Eq '^[0-9]{1,2}/[0-9]{1,2}/[0-9]{4} [0-9]{1,2}:[0-9]{1,2}:[0-9]{1,2}:[0-9]{1,3}$' ||
  fail "time line is '$(sed -n 2p "$report.lf")'"

# The exe's end is its base plus SizeOfImage from the PE header.
size_of_image=$(python3 -c '
import struct,sys
d=open(sys.argv[1],"rb").read()
pe=struct.unpack_from("<I",d,0x3c)[0]
print("%08x" % (0x400000+struct.unpack_from("<I",d,pe+24+56)[0]))' "$BUILD_WIN32/sample_target.exe")
module_line=$(sed -n 3p "$report.lf")
[ "$module_line" = "(00400000 - $size_of_image) $exe_path" ] || fail "first module line is '$module_line'"
modules=$(sed -n '3,/^$/p' "$report.lf" | grep -c '^(')
grep -qi '^([0-9a-f]\{8\} - [0-9a-f]\{8\}) .*\\ntdll\.dll$' "$report.lf" || fail "no ntdll in the module list"
grep -qi '^([0-9a-f]\{8\} - [0-9a-f]\{8\}) .*\\kernel32\.dll$' "$report.lf" || fail "no kernel32 in the module list"

# One heading per live thread the target reported, plus the thread attaching creates.
live=$(awk '/^thread /{print $3}' "$TARGET_OUT")
for id in $live; do
  grep -qx "State Dump for Thread ID 0x$(printf '%x' "$id")" "$report.lf" || fail "no section for thread $id"
done
exited=$(awk '/^exited /{print $2}' "$TARGET_OUT")
grep -qx "State Dump for Thread ID 0x$(printf '%x' "$exited")" "$report.lf" && fail "a section for the exited thread"
headings=$(grep -c '^State Dump for Thread ID 0x' "$report.lf")
[ "$headings" = $(( $(echo "$live" | wc -w) + 1 )) ] || fail "$headings thread headings for $(echo "$live" | wc -w) live threads"

# Log lines: the process event first, then one Attach line per module record.
grep -Eq '^debug_event hProcess:[0-9]+$' <(sed -n 1p "$DUMP_LOG") || fail "first log line is '$(sed -n 1p "$DUMP_LOG")'"
attach=$(grep -Ec '^Attach .* Base=0x[0-9a-f]{8}$' "$DUMP_LOG")
[ "$attach" = "$modules" ] || fail "$attach Attach lines for $modules modules"
sed -n 2p "$DUMP_LOG" | grep -q "^Attach $(printf '%s' "$exe_path" | sed 's/\\/\\\\/g') Base=0x00400000$" || fail "second log line is '$(sed -n 2p "$DUMP_LOG")'"

wait_gone "$TARGET_HOST_PID" || fail "the target still runs after the dump"
echo "dump took ${DUMP_SECONDS}s: $modules modules, $headings threads"

# Failures of the companion.
dump_target "$WORK/none.txt"  # TARGET_PID is gone now
# No such process (7); or, while the system still keeps the ended process, a refused attach (2).
if [ "$DUMP_RC" = 7 ]; then
  tr -d '\r' < "$DUMP_LOG.err" | grep -qx "tarnholm-cli: no process with id $TARGET_PID" ||
    fail "no-process line: $(cat "$DUMP_LOG.err")"
elif [ "$DUMP_RC" = 2 ]; then
  grep -Eqx "Can't attach to process $TARGET_PID \(e=[0-9]+\)" "$DUMP_LOG" || fail "attach failure line: $(cat "$DUMP_LOG")"
else
  fail "a gone process exited $DUMP_RC"
fi
[ -e "$WORK/none.txt" ] && fail "a report was created for a gone process"

timeout 60 wine "$BUILD_WIN32/tarnholm-cli.exe" >/dev/null 2>"$WORK/usage.err"
rc=$?
[ "$rc" = 3 ] || fail "no arguments exited $rc"
grep -q '^usage: tarnholm-cli' "$WORK/usage.err" || fail "no usage line"
echo "PASS"
