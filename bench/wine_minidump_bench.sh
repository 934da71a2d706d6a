#!/usr/bin/env bash
# Dumps the sample target under Wine three times, each a fresh copy: the report alone, with
# --minidump and with --minidump=full; prints the wall time of each dump and the sizes of the
# report, its region files and the minidump. Figures, not a test.
#   bench/wine_minidump_bench.sh     (BUILD_WIN32 selects the Windows build, default build/win32)
. "$(dirname "$0")/../tests/wine/lib.sh"

for mode in "" --minidump --minidump=full; do
  start_target
  report="$WORK/bench.txt"
  dump_target "$report" $mode
  [ "$DUMP_RC" = 0 ] || fail "dump ${mode:-(report alone)} exited $DUMP_RC: $(tail -3 "$DUMP_LOG")"
  regions=$(cat "$report".*.bin 2>/dev/null | wc -c)
  dmp=$( [ -f "$report.dmp" ] && stat -c %s "$report.dmp" || echo 0)
  printf '%-16s %8.1fs  report %9d bytes  region files %10d bytes  minidump %10d bytes\n' \
    "${mode:-report alone}" "$DUMP_SECONDS" "$(stat -c %s "$report")" "$regions" "$dmp"
  wait_gone "$TARGET_HOST_PID" || fail "target still runs after the dump"
  rm -f "$report" "$report".*
done
