#!/usr/bin/env bash
# Crash reports: every failure kind of the crash target under --launch (the exception
# section's lines against what the target said, exit 0, the faulting thread's listing at the
# faulting instruction), one under --on-crash, the self-handled fault under --first-chance
# (a report) and under --on-crash (exit 6, its line, no report file), --minidump once, and a
# program that does not exist (exit 2).
# wine-test-timeout: 300
. "$(dirname "$0")/lib.sh"

CLI="$BUILD_WIN32/tarnholm-cli.exe"
cp "$BUILD_WIN32/crash_target.exe" "$WORK/"
cd "$WORK" || fail "no work folder"

# crash RC NAME ARGS...: the companion with ARGS, its output in NAME.out.
crash() {
  local want=$1 name=$2 rc
  shift 2
  timeout 120 wine "$CLI" "$@" > "$name.raw" 2>&1
  rc=$?
  tr -d '\r' < "$name.raw" > "$name.out"
  [ "$rc" = "$want" ] || fail "tarnholm-cli $* exited $rc, not $want: $(cat "$name.out")"
}
section() { tr -d '\r' < "$1" | awk '/^\*----> Exception <----\*$/{on=1; getline; next} on&&/^$/{exit} on'; }

# kind NAME CODE TEXT: --launch, then the section's first line and the listing's marker line.
for row in "null-read c0000005 EXCEPTION_ACCESS_VIOLATION" "ro-write c0000005 EXCEPTION_ACCESS_VIOLATION" \
            "div0 c0000094 EXCEPTION_INT_DIVIDE_BY_ZERO" "ud2 c000001d EXCEPTION_ILLEGAL_INSTRUCTION"; do
  set -- $row
  kind=$1 code=$2 name=$3
  crash 0 "$kind" --launch --no-memory-dump --no-symbol-table "--report=$kind.txt" crash_target.exe "$kind"
  fault=$(awk '/^fault /{print $2}' "$kind.out")
  offset=$(awk '/^fault /{print $3}' "$kind.out")
  thread=$(awk '/^thread /{print $2}' "$kind.out")
  first=$(section "$kind.txt" | head -1)
  want="Exception $code $name (second chance) in thread 0x$thread at $fault crash_target$offset"
  [ "$first" = "$want" ] || fail "$kind: '$first', not '$want'"
  case $kind in
    null-read) [ "$(section "$kind.txt" | sed -n 2p)" = "Reading from 00000000" ] || fail "null-read access line" ;;
    ro-write)
      page=$(awk '/^page /{print $2}' "$kind.out")
      [ "$(section "$kind.txt" | sed -n 2p)" = "Writing to $page" ] || fail "ro-write access line" ;;
  esac
  tr -d '\r' < "$kind.txt" | grep -q "eip=$fault " || fail "$kind: the thread's registers are not those at the fault"
done

# RaiseException with parameters, and unbounded recursion.
crash 0 raise --launch --no-memory-dump --no-symbol-table --report=raise.txt crash_target.exe raise
section raise.txt | head -1 | grep -q '^Exception e0001234 (second chance) in thread 0x' || fail "raise: $(section raise.txt)"
[ "$(section raise.txt | sed -n 2p)" = "Parameters: 00000001 00000022 00000333" ] || fail "raise parameters"
crash 0 overflow --launch --no-memory-dump --no-symbol-table --report=overflow.txt crash_target.exe overflow
section overflow.txt | head -1 | grep -q '^Exception c00000fd EXCEPTION_STACK_OVERFLOW (second chance)' ||
  fail "overflow: $(section overflow.txt)"

# Options after PROGRAM are the program's.
crash 0 args --launch --no-memory-dump --no-symbol-table --report=args.txt crash_target.exe div0 --minidump 'a "b" \c'
grep -qx 'arg 2 \[--minidump\]' args.out || fail "arguments: $(cat args.out)"
grep -qx 'arg 3 \[a "b" \\c\]' args.out || fail "arguments: $(cat args.out)"

# The fault the target handles itself: a report at the first chance, none at the second.
crash 0 first --launch --first-chance --no-memory-dump --no-symbol-table --report=first.txt crash_target.exe handled
section first.txt | head -1 | grep -q '^Exception c0000005 EXCEPTION_ACCESS_VIOLATION (first chance)' || fail "first chance"
crash 6 handled --launch --no-memory-dump --no-symbol-table --report=handled.txt crash_target.exe handled
grep -q 'exited with code 7 (0x00000007) before it crashed; no report written' handled.out || fail "exit line: $(cat handled.out)"
[ ! -e handled.txt ] || fail "a report file was left for a program that did not crash"

# --on-crash on a running target, with a minidump.
wine crash_target.exe wait 3000 null-read > waiting.raw 2>&1 &
TARGET_PIDS+=("$!")
for _ in $(seq 1 100); do grep -q '^ready' waiting.raw 2>/dev/null && break; sleep 0.1; done
pid=$(tr -d '\r' < waiting.raw | awk '/^pid /{print $2}')
crash 0 oncrash --on-crash --minidump --no-memory-dump --no-symbol-table "$pid" oncrash.txt
fault=$(tr -d '\r' < waiting.raw | awk '/^fault /{print $2}')
section oncrash.txt | head -1 | grep -q "^Exception c0000005 EXCEPTION_ACCESS_VIOLATION (second chance) in thread 0x.* at $fault " ||
  fail "on-crash: $(section oncrash.txt)"
[ -s oncrash.txt.dmp ] || [ -s oncrash.dmp ] || ls | grep -q '\.dmp$' || fail "no minidump"

# A program that does not exist.
crash 2 missing --launch no_such_program.exe
grep -q "can't start no_such_program.exe" missing.out || fail "missing program: $(cat missing.out)"
echo "PASS crash_capture"
