#!/usr/bin/env bash
# The back traces of optimized, stripped code without frame pointers, built with unwind
# tables and without: each thread of the target recorded its own chain of return addresses,
# and the report must show every one of them with unwind tables and at least 90% without;
# no frame shown unmarked may return to an address that no call before it made, no frame
# may come twice, and where the build with unwind tables showed every true frame, the build
# without may show at most one frame per thread beyond it.
# With WINEDBG_COUNTS=1 winedbg's back traces of the same stopped targets are counted too.
# wine-test-timeout: 600
. "$(dirname "$0")/lib.sh"

check() {  # check VARIANT MIN_PERCENT REPORT TARGET_OUT [WINEDBG_OUT]
  python3 "$WINE_TEST_ROOT/tests/wine/optimized_chains.py" "$@"
}

status=0
unwind_whole=no
for variant in unwind plain; do
  start_target "$BUILD_WIN32/optimized_$variant.exe"
  dbg=""
  if [ -n "${WINEDBG_COUNTS:-}" ]; then
    dbg="$WORK/winedbg-$variant.txt"
    timeout $((120 * WINE_SLOWDOWN)) winedbg --command "bt all" "$TARGET_PID" > "$dbg" 2>&1
  fi
  report="$WORK/optimized-$variant.txt"
  dump_target "$report" --no-memory-dump --no-symbol-table
  [ "$DUMP_RC" = 0 ] || fail "companion exited $DUMP_RC on the $variant build: $(cat "$DUMP_LOG")"
  least=100
  [ "$variant" = plain ] && least=90
  counts="$WORK/frames-$variant.txt"
  perfect=""
  [ "$variant" = plain ] && [ "$unwind_whole" = yes ] && perfect="$WORK/frames-unwind.txt"
  if FRAME_COUNTS_OUT="$counts" PERFECT_COUNTS="$perfect" check "$variant" "$least" "$report" "$TARGET_OUT" $dbg; then
    [ "$variant" = unwind ] && unwind_whole=yes
  else
    status=1
  fi
  [ -n "${KEEP_REPORTS:-}" ] && cp "$report" ${dbg:+"$dbg"} "$KEEP_REPORTS/"
  echo "$variant: dump took ${DUMP_SECONDS}s"
done
[ $status = 0 ] || fail "back traces of the optimized targets"
echo "PASS"
