#!/usr/bin/env bash
# Dumps the multi-threaded sample target under Wine with the read cache and without it, and
# takes a full-memory MiniDumpWriteDump of a fresh copy of the same target; prints the wall
# time of each and the ReadProcessMemory calls of the two dumps. Figures, not a test.
#   bench/wine_dump_bench.sh [RUNS]     (BUILD_WIN32 selects the Windows build, default build/win32)
. "$(dirname "$0")/../tests/wine/lib.sh"
. "$(dirname "$0")/full_minidump.sh"
runs=${1:-3}
[ -x "$BUILD_WIN32/tarnholm-minidump.exe" ] || fail "no $BUILD_WIN32/tarnholm-minidump.exe: build the Windows build first"

# dump_once CACHE: one dump of a fresh target; sets SECONDS_TAKEN and CALLS.
dump_once() {
  start_target
  TARNHOLM_READ_CACHE=$1 TARNHOLM_STATS=1 dump_target "$WORK/bench.$1.txt"
  [ "$DUMP_RC" = 0 ] || fail "dump exited $DUMP_RC"
  CALLS=$(sed -n 's/^ReadProcessMemory calls: //p' "$DUMP_LOG.err")
  SECONDS_TAKEN=$DUMP_SECONDS
  wait_gone "$TARGET_HOST_PID" || fail "target still runs after the dump"
  rm -f "$WORK"/bench.*
}

best() { sort -n | head -1; }
cached_t=() ; plain_t=() ; mini_t=()
for i in $(seq 1 "$runs"); do
  dump_once 1; cached_t+=("$SECONDS_TAKEN"); cached_calls=$CALLS
  dump_once 0; plain_t+=("$SECONDS_TAKEN"); plain_calls=$CALLS
  minidump_once; mini_t+=("$SECONDS_TAKEN"); mini_inner=$INNER
done
cached=$(printf '%s\n' "${cached_t[@]}" | best)
plain=$(printf '%s\n' "${plain_t[@]}" | best)
mini=$(printf '%s\n' "${mini_t[@]}" | best)
echo "report with cache:     ${cached}s wall, $cached_calls ReadProcessMemory calls (best of $runs)"
echo "report without cache:  ${plain}s wall, $plain_calls ReadProcessMemory calls (best of $runs)"
echo "full-memory minidump:  ${mini}s wall (MiniDumpWriteDump itself ${mini_inner}s, $DUMP_BYTES bytes)"
awk -v c="$cached" -v p="$plain" -v m="$mini" -v cc="$cached_calls" -v pc="$plain_calls" 'BEGIN{
  printf "cache: %.1fx fewer calls, %.2fx less wall time; report/minidump wall time: %.2f\n", pc / cc, p / c, c / m }'
