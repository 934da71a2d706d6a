# Shared by the dump benchmarks: a full-memory MiniDumpWriteDump of a fresh sample target.
# minidump_once: sets SECONDS_TAKEN (wall), INNER (MiniDumpWriteDump's own seconds) and
# DUMP_BYTES. Needs tests/wine/lib.sh sourced first.
minidump_once() {
  start_target
  local start end
  start=$(date +%s.%N)
  timeout 300 wine "$BUILD_WIN32/tarnholm-minidump.exe" "$TARGET_PID" "$(winpath "$WORK/full.dmp")" > "$WORK/minidump.out" 2>&1 ||
    fail "minidump failed: $(cat "$WORK/minidump.out")"
  end=$(date +%s.%N)
  SECONDS_TAKEN=$(awk -v a="$start" -v b="$end" 'BEGIN{printf "%.3f", b - a}')
  INNER=$(tr -d '\r' < "$WORK/minidump.out" | sed -n 's/^MiniDumpWriteDump seconds: //p')
  DUMP_BYTES=$(stat -c %s "$WORK/full.dmp")
  kill "$TARGET_HOST_PID" 2>/dev/null
  wait_gone "$TARGET_HOST_PID"
  rm -f "$WORK/full.dmp"
}
