#!/usr/bin/env bash
# The companion as the system's postmortem debugger: installed into the AeDebug key, a
# program that crashes with no debugger gets its report from the command the system runs
# (as the second chance of its fault), and the uninstall leaves the key exactly as before.
# wine-test-timeout: 300
. "$(dirname "$0")/lib.sh"
trap cleanup_wine_test EXIT

CLI="$BUILD_WIN32/tarnholm-cli.exe"
KEY='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
before=$(wine reg query "$KEY" 2>/dev/null | tr -d '\r')
[ -n "$before" ] || fail "can't read the AeDebug key"

dir="$WORK/crashes"
wine "$CLI" --install-postmortem --report-dir="$(winpath "$dir")" --no-memory-dump --no-symbol-table \
  > "$WORK/install.out" 2>&1 || fail "install failed: $(cat "$WORK/install.out")"
grep -q 'AeDebug Debugger = ".*tarnholm-cli.exe .*--postmortem %ld %ld"' "$WORK/install.out" ||
  fail "install lines: $(cat "$WORK/install.out")"
wine reg query "$KEY" /v Debugger | tr -d '\r' | grep -q -- '--postmortem %ld %ld' || fail "Debugger not set"

wine "$BUILD_WIN32/crash_target.exe" null-read > "$WORK/crash.out" 2>&1
report=""
for _ in $(seq 1 600); do
  report=$(ls "$dir"/crash_target-*.TXT 2>/dev/null | head -1)
  [ -n "$report" ] && grep -q '^Exception ' "$report" && break
  sleep 0.1
done
[ -n "$report" ] || fail "no report in $dir"
for _ in $(seq 1 300); do
  pgrep -f 'tarnholm-cli.exe --no-symbol' > /dev/null || break
  sleep 0.1
done
tr -d '\r' < "$report" | grep -q '^Exception c0000005 EXCEPTION_ACCESS_VIOLATION (second chance) in thread 0x' ||
  fail "exception line: $(grep -a '^Exception' "$report")"
tr -d '\r' < "$report" | grep -q '^Reading from 00000000' || fail "no access line"

wine "$CLI" --uninstall-postmortem > "$WORK/uninstall.out" 2>&1 || fail "uninstall failed: $(cat "$WORK/uninstall.out")"
after=$(wine reg query "$KEY" 2>/dev/null | tr -d '\r')
[ "$before" = "$after" ] || fail "AeDebug differs after the uninstall: $after"
wine reg query 'HKLM\Software\Tarnholm' > /dev/null 2>&1 && fail "the tool's key is left"
echo PASS
