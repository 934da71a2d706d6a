#!/usr/bin/env bash
# Dumps a target with 200 threads and 1 GiB committed (regions of 512, 256, 128 and 128 MiB)
# with the companion under Wine; prints the wall time, MiB/s of region data and the
# companion's peak memory (VmHWM), beside a copy of as many bytes between two files in the
# same folder (the floor). Figures, not a test.
#   bench/wine_region_bench.sh     (BUILD_WIN32 selects the Windows build, default build/win32)
. "$(dirname "$0")/../tests/wine/lib.sh"

TARGET_READY_SECONDS=600 start_target "$BUILD_WIN32/big_target.exe" 200 512 256 128 128
[ "$(grep -c '^region ' "$TARGET_OUT")" = 4 ] || fail "target made no regions: $(cat "$TARGET_OUT")"
watch_companion_memory "$WORK/hwm"
report="$WORK/bench.txt"
DUMP_TIMEOUT=1800 dump_target "$report" --no-symbol-table
stop_watching_memory
[ "$DUMP_RC" = 0 ] || fail "dump exited $DUMP_RC: $(tail -3 "$DUMP_LOG")"
bytes=$(cat "$report".*.bin | wc -c)
threads=$(grep -c '^State Dump for Thread ID' <(tr -d '\r' < "$report"))
rm -f "$report".*.bin

head -c "$bytes" /dev/zero > "$WORK/copy.src"
start=$(date +%s.%N)
cp "$WORK/copy.src" "$WORK/copy.dst"
end=$(date +%s.%N)
copy_seconds=$(awk -v a="$start" -v b="$end" 'BEGIN{printf "%.3f", b - a}')

awk -v s="$DUMP_SECONDS" -v c="$copy_seconds" -v b="$bytes" -v k="$(cat "$WORK/hwm")" -v t="$threads" 'BEGIN{
  mib = b / 1048576
  printf "target: %d threads; region files %.0f MiB\n", t, mib
  printf "dump:      %.2f s  %6.1f MiB/s  companion peak memory (VmHWM) %.1f MiB\n", s, mib / s, k / 1024
  printf "file copy: %.2f s  %6.1f MiB/s\n", c, mib / c
  printf "dump speed / copy speed: %.2f\n", c / s }'
