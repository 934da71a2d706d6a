#!/usr/bin/env bash
# Where the report's time goes: dumps the sample target under Wine in full, then with the
# memory dump off, the symbol table off, and both off, and takes a full-memory minidump of
# a fresh copy of the same target. Prints each dump's wall time, its phases as the companion
# measures them (TARNHOLM_STATS) and the report's share of the minidump's time. Figures,
# not a test. Each figure is the best of RUNS.
#   bench/wine_phase_bench.sh [RUNS]     (BUILD_WIN32 selects the Windows build, default build/win32)
. "$(dirname "$0")/../tests/wine/lib.sh"
. "$(dirname "$0")/full_minidump.sh"
runs=${1:-3}
[ -x "$BUILD_WIN32/tarnholm-minidump.exe" ] || fail "no $BUILD_WIN32/tarnholm-minidump.exe: build the Windows build first"
phases=("attach and events" "symbol handler start" "per-thread sections" "symbol table" "memory dump"
  "minidump" "report end" "end of the target" "total")

# dump_once OUT ARGS...: one dump of a fresh target; appends "wall PHASE..." to OUT.
dump_once() {
  local out=$1 phase line
  shift
  start_target
  TARNHOLM_STATS=1 dump_target "$WORK/phase.txt" "$@"
  [ "$DUMP_RC" = 0 ] || fail "dump exited $DUMP_RC: $(cat "$DUMP_LOG.err")"
  line=$DUMP_SECONDS
  for phase in "${phases[@]}"; do
    line+=" $(tr -d '\r' < "$DUMP_LOG.err" | sed -n "s/^phase $phase: \\([0-9.]*\\) s$/\\1/p;s/^phase $phase: -$/-/p")"
  done
  echo "$line" >> "$out"
  wait_gone "$TARGET_HOST_PID" || fail "target still runs after the dump"
  rm -f "$WORK"/phase.*
}

configs=("full:" "no memory dump:--no-memory-dump" "no symbol table:--no-symbol-table"
  "neither:--no-memory-dump --no-symbol-table")
for i in $(seq 1 "$runs"); do
  for c in "${!configs[@]}"; do
    # shellcheck disable=SC2086  # the options are words
    dump_once "$WORK/config$c.times" ${configs[$c]#*:}
  done
  minidump_once
  echo "$SECONDS_TAKEN" >> "$WORK/mini.times"
done
mini=$(sort -n "$WORK/mini.times" | head -1)
printf '%-18s %8s' "dump" "wall"
for phase in "${phases[@]}"; do printf ' | %s' "$phase"; done
echo
for c in "${!configs[@]}"; do
  # The run with the best wall time stands for the configuration.
  printf '%-18s ' "${configs[$c]%%:*}"
  sort -n "$WORK/config$c.times" | head -1 | awk '{ printf "%7ss", $1; for (i = 2; i <= NF; i++) printf " | %s", $i; print "" }'
done
full=$(sort -n "$WORK/config0.times" | head -1 | cut -d' ' -f1)
echo "full-memory minidump: ${mini}s wall (best of $runs)"
awk -v r="$full" -v m="$mini" 'BEGIN{ printf "report/minidump wall time: %.2f\n", r / m }'
