#!/usr/bin/env bash
# A dump onto a small tmpfs: the region files that do not fit get one line each naming the
# file, the bytes written and the Windows error code, the walk goes on, and the companion
# exits 4. Mounting needs root (the guest runs the tests as root) or sudo without a password.
. "$(dirname "$0")/lib.sh"

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo -n "$@"; fi; }
small="$WORK/small"
mkdir -p "$small"
as_root mount -t tmpfs -o size=4m tmpfs "$small" || fail "cannot mount a tmpfs (root or sudo needed)"
trap 'as_root umount "$small" 2>/dev/null; cleanup_wine_test' EXIT
as_root chmod 777 "$small"

start_target
report="$small/full.txt"
dump_target "$report" --no-symbol-table
[ "$DUMP_RC" = 4 ] || fail "companion exited $DUMP_RC on a full disk: $(tail -5 "$DUMP_LOG")"

failures=$(grep -c '^Dumpfile(.*) write failed after [0-9]* bytes (e=112)$' "$DUMP_LOG")
[ "$failures" -gt 0 ] || fail "no write-failure line: $(grep -v '^\*---->' "$DUMP_LOG" | tail -5)"
# Each line tells the truth about its file.
while IFS= read -r line; do
  name=$(printf '%s' "$line" | sed -n 's/^Dumpfile(\(.*\)) write failed after \([0-9]*\) bytes (e=112)$/\1/p')
  bytes=$(printf '%s' "$line" | sed -n 's/^Dumpfile(\(.*\)) write failed after \([0-9]*\) bytes (e=112)$/\2/p')
  host="$small/$(printf '%s' "$name" | sed 's/.*\\//')"
  [ -f "$host" ] || fail "no file for '$line'"
  [ "$(stat -c %s "$host")" = "$bytes" ] || fail "'$line' but the file holds $(stat -c %s "$host") bytes"
done < <(grep '^Dumpfile(.*) write failed after' "$DUMP_LOG")
# The walk went on: every region after the first failure still got its heading.
last_heading=$(grep -n '^\*----> Commited Memory' "$DUMP_LOG" | tail -1 | cut -d: -f1)
first_failure=$(grep -n 'write failed after' "$DUMP_LOG" | head -1 | cut -d: -f1)
[ "$last_heading" -gt "$first_failure" ] || fail "the walk stopped at the first failed write"
wait_gone "$TARGET_HOST_PID" || fail "the target still runs after the dump"
echo "$failures write-failure lines, exit $DUMP_RC"
echo "PASS"
