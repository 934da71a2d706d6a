#!/usr/bin/env bash
# A target with a committed region of 256 MiB: the companion dumps it byte for byte with a
# peak memory (VmHWM of the Wine process that runs tarnholm-cli.exe) under 64 MiB.
# wine-test-timeout: 900
. "$(dirname "$0")/lib.sh"

TARGET_READY_SECONDS=120 start_target "$BUILD_WIN32/big_target.exe" 1 256
read -r base size < <(awk '/^region /{print $2, $3}' "$TARGET_OUT")
[ "$size" = 10000000 ] || fail "target made no 256 MiB region: $(cat "$TARGET_OUT")"

hwm_file="$WORK/hwm"
watch_companion_memory "$hwm_file"
report="$WORK/large.txt"
DUMP_TIMEOUT=200 dump_target "$report" --no-symbol-table
stop_watching_memory
[ "$DUMP_RC" = 0 ] || fail "companion exited $DUMP_RC: $(tail -5 "$DUMP_LOG")"

heading="*----> Commited Memory (0x${base^^}-268435456) rw- P <----*"
grep -qxF "$heading" "$DUMP_LOG" || fail "no line '$heading'"
tr -d '\r' < "$report" | grep -qxF "$heading" || fail "the report lacks '$heading'"

# Every page starts with its own address and ends with its complement; the rest is zero.
bin="$report.${base^^}.bin"
python3 - "$bin" "$base" <<'PY' || fail "region file $bin differs from the target's bytes"
import struct, sys
path, base = sys.argv[1], int(sys.argv[2], 16)
size, page = 256 << 20, 4096
zeros = bytes(page - 8)
with open(path, "rb") as f:
    offset = 0
    while True:
        chunk = f.read(1 << 20)
        if not chunk:
            break
        expected = b"".join(struct.pack("<I", (base + o) & 0xFFFFFFFF) + zeros +
                            struct.pack("<I", ~(base + o) & 0xFFFFFFFF)
                            for o in range(offset, offset + len(chunk), page))
        if chunk != expected[:len(chunk)]:
            sys.exit("bytes differ in the MiB at offset %d" % offset)
        offset += len(chunk)
if offset != size:
    sys.exit("%d bytes instead of %d" % (offset, size))
PY

peak_kb=$(cat "$hwm_file")
[ "$peak_kb" -gt 0 ] || fail "no companion process was seen running"
[ "$peak_kb" -lt $((64 * 1024)) ] || fail "companion peak memory $((peak_kb / 1024)) MiB, over 64 MiB"
echo "dump took ${DUMP_SECONDS}s; companion peak memory (VmHWM) $((peak_kb / 1024)) MiB"
echo "PASS"
