#!/usr/bin/env bash
# Code listings around return addresses in Wine's own DLLs, on the host: N return addresses
# (those after objdump's call instructions, a fixed random sample) per DLL, listed without
# any symbol and outside the module table, without symbols in a module whose export table is
# hidden (an EXE without symbols), and with the export-table fallback, checked by tests/wine/system_dlls.py against objdump's
# instruction boundaries. Prints per DLL and mode the "<nosymbols>" listings, the listing
# lines off objdump's boundaries and the ReadProcessMemory count, then the displacements of
# the named return addresses (from the symbol's start) and the listing work per frame
# (instructions decoded for their lengths by the start search, and decoded for lines).
#
# usage: bench/system_dll_listings.sh [N] [PE-FILE...]   (default 150 addresses; ntdll,
#        kernel32 and kernelbase of Wine; build/host first, or TOOL=path of the tool)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
n=${1:-150}
[ $# -gt 0 ] && shift
dlls=${WINE_DLL_DIR:-/usr/lib/i386-linux-gnu/wine/i386-windows}
tool=${TOOL:-"$top/build/host/bench/system_dll_listings"}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=("$@")
[ ${#files[@]} -gt 0 ] || files=("$dlls/ntdll.dll" "$dlls/kernel32.dll" "$dlls/kernelbase.dll")
summary='
import statistics, sys
rows = [l.split()[1:] for l in open(sys.argv[1]) if l.startswith("work: ")]
named = [int(r[1], 16) for r in rows if r[1] != "-"]
length = [int(r[2]) for r in rows]
lines = [int(r[3]) for r in rows]
def q(values, f):
    values = sorted(values)
    return values[min(len(values) - 1, int(f * len(values)))] if values else 0
print("  displacement of %d named of %d: median 0x%x, p90 0x%x, max 0x%x, over 4 KiB %d" % (
    len(named), len(rows), q(named, .5), q(named, .9), max(named or [0]), sum(d >= 4096 for d in named)))
print("  per frame: length decodes mean %.0f median %d max %d; line decodes mean %.1f max %d" % (
    statistics.mean(length or [0]), q(length, .5), max(length or [0]), statistics.mean(lines or [0]), max(lines or [0])))
'
for file in "${files[@]}"; do
  dll=$(basename "$file" | sed 's/\.[^.]*$//')
  [ -f "$file" ] || { echo "$dll: no $file"; continue; }
  # Return addresses: the instruction after each call, in the order objdump lists them.
  objdump -d --no-show-raw-insn "$file" | awk -F'[:\t]+' '
    /^ *[0-9a-f]+:\t/ { address = $1; gsub(/ /, "", address); if (call) print address; call = ($2 ~ /^call/) }' |
    python3 -c "import random, sys; a = sys.stdin.read().split(); random.seed(1); print('\n'.join(random.sample(a, min($n, len(a)))))" \
    > "$work/addresses"
  for mode in --no-exports --no-export-table --exports; do
    "$tool" "$file" "$mode" < "$work/addresses" > "$work/report" 2> "$work/err"
    echo "$dll $mode: $(grep -c '^function: <nosymbols>' "$work/report" || true) of $(grep -c '^function: ' "$work/report") listings without symbols; $(grep -h 'ReadProcessMemory' "$work/err")"
    python3 "$top/tests/wine/system_dlls.py" "$work/report" "$dlls" | sed -n '2,3s/^/  /p'
    python3 -c "$summary" "$work/err"
  done
done
