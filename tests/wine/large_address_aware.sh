#!/usr/bin/env bash
# Both programs carry the large-address-aware flag in their PE header (no Wine needed).
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_WIN32:-"$top/build/win32"}
for exe in tarnholm.exe tarnholm-cli.exe; do
  python3 - "$build/$exe" <<'PY' || { echo "FAIL: $exe is not large-address-aware"; exit 1; }
import struct, sys
data = open(sys.argv[1], "rb").read(4096)
pe = struct.unpack_from("<I", data, 0x3C)[0]
assert data[pe:pe + 4] == b"PE\0\0"
characteristics = struct.unpack_from("<H", data, pe + 4 + 18)[0]
sys.exit(0 if characteristics & 0x0020 else 1)  # IMAGE_FILE_LARGE_ADDRESS_AWARE
PY
done
echo "PASS"
