#!/usr/bin/env bash
# The back traces of the optimized targets (tests/targets/optimized_target.cpp, with and
# without unwind tables) and of the sample target, each stopped target seen three ways: by
# this build's companion, by another build's (BEFORE_WIN32, say a build of an older commit;
# left out when unset) and by winedbg's "bt all". Prints for each the true return addresses
# found, and for the sample target the return addresses on which the report and winedbg
# differ. Figures, not a test; run it in the guest with scripts/guest run.
. "$(dirname "$0")/../tests/wine/lib.sh"

# dump_with BUILD REPORT: a --keep-running dump of TARGET_PID by BUILD's companion.
dump_with() {
  BUILD_WIN32=$1 dump_target "$2" --keep-running --no-memory-dump --no-symbol-table
  [ "$DUMP_RC" = 0 ] || echo "dump by $1 exited $DUMP_RC: $(head -3 "$DUMP_LOG")"
  echo "dump by $1 took ${DUMP_SECONDS}s"
}

for variant in unwind plain; do
  start_target "$BUILD_WIN32/optimized_$variant.exe"
  dump_with "$BUILD_WIN32" "$WORK/after-$variant.txt"
  [ -n "${BEFORE_WIN32:-}" ] && dump_with "$BEFORE_WIN32" "$WORK/before-$variant.txt"
  timeout $((120 * WINE_SLOWDOWN)) winedbg --command "bt all" "$TARGET_PID" > "$WORK/winedbg-$variant.txt" 2>&1
  echo "== $variant, this build"
  python3 "$WINE_TEST_ROOT/tests/wine/optimized_chains.py" "$variant" 0 "$WORK/after-$variant.txt" "$TARGET_OUT" \
    "$WORK/winedbg-$variant.txt"
  if [ -n "${BEFORE_WIN32:-}" ]; then
    echo "== $variant, $BEFORE_WIN32"
    python3 "$WINE_TEST_ROOT/tests/wine/optimized_chains.py" "$variant" 0 "$WORK/before-$variant.txt" "$TARGET_OUT"
  fi
  [ -n "${KEEP_REPORTS:-}" ] && cp "$WORK"/*-"$variant".txt "$TARGET_OUT" "$KEEP_REPORTS/"
done

start_target
dump_with "$BUILD_WIN32" "$WORK/sample.txt"
timeout $((120 * WINE_SLOWDOWN)) winedbg --command "bt all" "$TARGET_PID" > "$WORK/winedbg-sample.txt" 2>&1
[ -n "${KEEP_REPORTS:-}" ] && cp "$WORK/sample.txt" "$WORK/winedbg-sample.txt" "$KEEP_REPORTS/"
python3 - "$WORK/sample.txt" "$WORK/winedbg-sample.txt" <<'PY'
import re, sys
report = open(sys.argv[1], "rb").read().decode("latin-1").split("\r\n")
ours, thread = {}, None
for i, line in enumerate(report):
    m = re.match(r"State Dump for Thread ID 0x([0-9a-f]+)", line)
    if m:
        thread = int(m.group(1), 16)
        ours[thread] = []
    elif line.startswith("FramePtr ReturnAd") and thread is not None:
        returned = int(report[i + 1][9:17], 16)
        if returned:
            ours[thread].append(returned)
theirs, thread = {}, None
for line in open(sys.argv[2], "rb").read().decode("latin-1").splitlines():
    m = re.search(r"Backtracing for thread (?:0x)?([0-9a-f]+)", line)
    if m:
        thread = int(m.group(1), 16)
        theirs[thread] = []
        continue
    m = re.match(r"^\s*(?:=>)?\s*(\d+)\s+0x([0-9a-f]+)", line)
    if m and thread is not None and int(m.group(1)) > 0:
        theirs[thread].append(int(m.group(2), 16))
agree = differ = longer = 0
for thread, returns in sorted(ours.items()):
    other = theirs.get(thread)
    if other is None:
        print("thread %x: not in winedbg's output" % thread)
        continue
    n = min(len(returns), len(other))
    same = sum(1 for a, b in zip(returns[:n], other[:n]) if a == b)
    agree += same
    differ += n - same
    longer += abs(len(returns) - len(other))
    if same != n or len(returns) != len(other):
        print("thread %x: report %s" % (thread, " ".join("%08x" % r for r in returns[:12])))
        print("thread %x: winedbg %s" % (thread, " ".join("%08x" % r for r in other[:12])))
print("sample target: %d return addresses agree with winedbg, %d differ at the same frame, %d only in the longer trace"
      " (the report stops at 100 frames)" % (agree, differ, longer))
PY
