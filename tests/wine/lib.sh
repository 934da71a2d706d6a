# Shared by the Wine end-to-end tests (tests/wine/*.sh): the project's prefix, starting the
# sample target, dumping it with the companion, and failing with a reason.
set -u
WINE_TEST_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
. "$WINE_TEST_ROOT/scripts/wine-env"
BUILD_WIN32=${BUILD_WIN32:-"$WINE_TEST_ROOT/build/win32"}
WORK=$(mktemp -d "$WINE_TEST_ROOT/build/wine-test.XXXXXX")
TARGET_PIDS=()
# The emulated test guest (scripts/guest) runs Wine several times slower: wait longer there.
WINE_SLOWDOWN=1
[ -n "${TARNHOLM_GUEST:-}" ] && WINE_SLOWDOWN=3

fail() {
  echo "FAIL: $*"
  exit 1
}

# The Windows name of a host path (Wine maps / to Z:).
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }

cleanup_wine_test() {
  local pid
  for pid in "${TARGET_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$WORK"
}
trap cleanup_wine_test EXIT

# start_target [EXE]: starts a sample target and waits for its "ready" line.
# Sets TARGET_OUT (its stdout, CR stripped), TARGET_PID (Windows pid) and TARGET_HOST_PID.
start_target() {
  local exe=${1:-$BUILD_WIN32/sample_target.exe}
  local raw="$WORK/target.$RANDOM.raw"
  TARGET_OUT="$WORK/target.$RANDOM.out"
  wine "$exe" > "$raw" 2>/dev/null &
  TARGET_HOST_PID=$!
  TARGET_PIDS+=("$TARGET_HOST_PID")
  local i
  for i in $(seq 1 $((300 * WINE_SLOWDOWN))); do
    grep -q '^ready' "$raw" 2>/dev/null && break
    sleep 0.1
  done
  tr -d '\r' < "$raw" > "$TARGET_OUT"
  grep -q '^ready' "$TARGET_OUT" || fail "sample target did not get ready"
  TARGET_PID=$(awk '/^pid /{print $2}' "$TARGET_OUT")
}

# dump_target REPORT_HOST_PATH [CLI ARGS...]: dumps TARGET_PID with the companion.
# Sets DUMP_RC, DUMP_LOG (the log lines, CR stripped) and DUMP_SECONDS.
dump_target() {
  local report=$1
  shift
  DUMP_LOG="$WORK/dump.$RANDOM.log"
  local start end
  start=$(date +%s.%N)
  timeout $((120 * WINE_SLOWDOWN)) wine "$BUILD_WIN32/tarnholm-cli.exe" "$TARGET_PID" "$(winpath "$report")" "$@" 2>"$DUMP_LOG.err" | tr -d '\r' > "$DUMP_LOG"
  DUMP_RC=${PIPESTATUS[0]}
  end=$(date +%s.%N)
  DUMP_SECONDS=$(awk -v a="$start" -v b="$end" 'BEGIN{printf "%.3f", b - a}')
}

# wait_gone HOST_PID: true when the process ends within 10 s (30 s in the guest).
wait_gone() {
  local i
  for i in $(seq 1 $((100 * WINE_SLOWDOWN))); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}
