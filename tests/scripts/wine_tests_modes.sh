#!/usr/bin/env bash
# scripts/wine-tests without running Wine: TARNHOLM_WINE=skip counts every test as skipped
# and says so, a bad mode and an unknown test name are refused before anything runs.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

count=$(find "$top/tests/wine" -maxdepth 1 -name '*.sh' -perm -u+x | wc -l)
out=$(TARNHOLM_WINE=skip bash "$top/scripts/wine-tests" 2>&1)
rc=$?
[ "$rc" = 0 ] || fail "skip: exit $rc"
[ "$(printf '%s\n' "$out" | tail -1)" = "wine: 0 passed, 0 failed, $count skipped (skip: TARNHOLM_WINE=skip)" ] ||
  fail "skip: last line '$(printf '%s\n' "$out" | tail -1)'"
[ "$(printf '%s\n' "$out" | grep -c ' SKIP$')" = "$count" ] || fail "skip: not one SKIP line per test: $out"

out=$(TARNHOLM_WINE=skip bash "$top/scripts/wine-tests" dump_basic tests/wine/wizard.sh 2>&1)
[ "$(printf '%s\n' "$out" | tail -1)" = "wine: 0 passed, 0 failed, 2 skipped (skip: TARNHOLM_WINE=skip)" ] ||
  fail "named tests: $out"

out=$(TARNHOLM_WINE=sometimes bash "$top/scripts/wine-tests" 2>&1)
rc=$?
[ "$rc" = 2 ] && [[ "$out" == *"TARNHOLM_WINE must be auto, native, guest or skip"* ]] || fail "bad mode: exit $rc, '$out'"

out=$(TARNHOLM_WINE=skip bash "$top/scripts/wine-tests" no_such_test 2>&1)
rc=$?
[ "$rc" = 2 ] && [ "$out" = "wine-tests: no test tests/wine/no_such_test.sh" ] || fail "unknown test: exit $rc, '$out'"

[ "$failures" = 0 ] && echo PASS
[ "$failures" = 0 ]
