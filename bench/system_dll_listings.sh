#!/usr/bin/env bash
# Code listings around return addresses in Wine's own DLLs, on the host: N return addresses
# (those after objdump's call instructions, a fixed random sample) per DLL, listed without
# and with the export-table fallback, checked by tests/wine/system_dlls.py against objdump's
# instruction boundaries. Prints per DLL and mode the "<nosymbols>" listings, the listing
# lines off objdump's boundaries and the ReadProcessMemory count.
#
# usage: bench/system_dll_listings.sh [N]   (default 150; build/host first)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
n=${1:-150}
dlls=${WINE_DLL_DIR:-/usr/lib/i386-linux-gnu/wine/i386-windows}
tool="$top/build/host/bench/system_dll_listings"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for dll in ntdll kernel32 kernelbase; do
  file="$dlls/$dll.dll"
  [ -f "$file" ] || { echo "$dll: no $file"; continue; }
  # Return addresses: the instruction after each call, in the order objdump lists them.
  objdump -d --no-show-raw-insn "$file" | awk -F'[:\t]+' '
    /^ *[0-9a-f]+:\t/ { address = $1; gsub(/ /, "", address); if (call) print address; call = ($2 ~ /^call/) }' |
    python3 -c "import random, sys; a = sys.stdin.read().split(); random.seed(1); print('\n'.join(random.sample(a, min($n, len(a)))))" \
    > "$work/addresses"
  for mode in --no-exports --exports; do
    "$tool" "$file" "$mode" < "$work/addresses" > "$work/report" 2> "$work/err"
    echo "$dll $mode: $(grep -c '^function: <nosymbols>' "$work/report" || true) of $(grep -c '^function: ' "$work/report") listings without symbols; $(grep -h 'ReadProcessMemory' "$work/err")"
    python3 "$top/tests/wine/system_dlls.py" "$work/report" "$dlls" | sed -n '2,3s/^/  /p'
  done
done
