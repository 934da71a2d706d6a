#!/usr/bin/env bash
# scripts/apt-install against a fake apt-get, dpkg and dpkg-query on PATH: a mirror in
# mid-sync (update exits 100), an install that only works with the release's own suite as
# target release, one that never works, and nothing to do.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

mkdir -p "$tmp/bin"
# The fake apt-get logs its calls; FAKE_INSTALL names when an install succeeds: always,
# with-t (only with -t), never; the update fails unless it is always. Packages in FAKE_BROKEN are never installed.
cat > "$tmp/bin/apt-get" <<'FAKE'
#!/usr/bin/env bash
echo "apt-get $*" >> "$FAKE_STATE/calls"
case "$*" in
  *update*)
    [ "$FAKE_INSTALL" = always ] && exit 0
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (1000 != 2000). Mirror sync in progress?" >&2
    exit 100 ;;
esac
if [ "$FAKE_INSTALL" = never ] || { [ "$FAKE_INSTALL" = with-t ] && [[ " $* " != *" -t "* ]]; }; then
  echo "E: Unable to correct problems, you have held broken packages." >&2
  exit 100
fi
ok=0
for p in "$@"; do
  case "$p" in -*|install|bookworm) continue ;; esac
  if [[ " $FAKE_BROKEN " == *" $p "* ]]; then ok=100; else echo "$p" >> "$FAKE_STATE/installed"; fi
done
exit $ok
FAKE
cat > "$tmp/bin/dpkg-query" <<'FAKE'
#!/usr/bin/env bash
p=${!#}
grep -qx "$p" "$FAKE_STATE/installed" 2>/dev/null || exit 1
printf 'install ok installed'
FAKE
cat > "$tmp/bin/dpkg" <<'FAKE'
#!/usr/bin/env bash
echo "dpkg $*" >> "$FAKE_STATE/calls"
[ "$1" = --print-foreign-architectures ] && cat "$FAKE_STATE/foreign" 2>/dev/null
exit 0
FAKE
printf '#!/bin/sh\necho 0\n' > "$tmp/bin/id"
chmod +x "$tmp/bin/"*
printf 'ID=debian\nVERSION_CODENAME=bookworm\n' > "$tmp/os-release"

# run NAME INSTALL BROKEN PREINSTALLED PACKAGES...: sets OUT, RC, CALLS.
run() {
  local name=$1 mode=$2 broken=$3 pre=$4
  shift 4
  export FAKE_STATE="$tmp/$name" FAKE_INSTALL=$mode FAKE_BROKEN=$broken
  mkdir -p "$FAKE_STATE"
  printf '%s\n' $pre > "$FAKE_STATE/installed"
  OUT=$(PATH="$tmp/bin:$PATH" TARNHOLM_OS_RELEASE="$tmp/os-release" bash "$top/scripts/apt-install" "$@" 2>&1)
  RC=$?
  CALLS=$(cat "$FAKE_STATE/calls" 2>/dev/null)
}
expect_out() { printf '%s\n' "$OUT" | grep -qF -- "$2" || fail "$1: no line with '$2' in: $OUT"; }

# Mid-sync mirror: the update fails, the first install fails, the retry with -t works.
run midsync with-t "" "cmake" cmake wine wine32:i386
[ "$RC" = 0 ] || fail "midsync: exit $RC: $OUT"
expect_out midsync "setup: installing wine wine32:i386"
expect_out midsync "setup: warning: some package indexes could not be read"
expect_out midsync "Mirror sync in progress?"
expect_out midsync "trying again with -t bookworm"
[ "$(printf '%s\n' "$CALLS" | grep -c '^apt-get .*install')" = 2 ] || fail "midsync: calls $CALLS"
printf '%s\n' "$CALLS" | grep -q '^apt-get install .* -t bookworm wine wine32:i386$' || fail "midsync: no retry with -t: $CALLS"
printf '%s\n' "$CALLS" | grep -q '^dpkg --add-architecture i386$' || fail "midsync: i386 not added: $CALLS"

# Both installs fail: the missing packages are named, exit 1.
run never never "" "" wine fonts-wine
[ "$RC" = 1 ] || fail "never: exit $RC"
expect_out never "setup: could not install: wine fonts-wine"
expect_out never "held broken packages"

# The retry installs all but one: only that one is named.
run partial with-t "wine32:i386" "" wine wine32:i386
[ "$RC" = 1 ] || fail "partial: exit $RC"
expect_out partial "setup: could not install: wine32:i386"
printf '%s\n' "$OUT" | grep -q 'could not install:.* wine ' && fail "partial: names an installed package"

# Everything there: silent, and apt-get is not called.
run none always "" "cmake wine" cmake wine
[ "$RC" = 0 ] && [ -z "$OUT" ] && [ -z "$CALLS" ] || fail "nothing to do: exit $RC, output '$OUT', calls '$CALLS'"

# A working mirror: one install, no warning, no i386 when no :i386 package is asked for.
run plain always "" "" cmake
[ "$RC" = 0 ] || fail "plain: exit $RC"
[ "$(printf '%s\n' "$CALLS" | grep -c '^apt-get .*install')" = 1 ] || fail "plain: calls $CALLS"
printf '%s\n' "$CALLS" | grep -q 'add-architecture' && fail "plain: added i386 for no reason"
[ "$OUT" = "setup: installing cmake" ] || fail "plain: output '$OUT'"

[ "$failures" = 0 ] && echo PASS
[ "$failures" = 0 ]
