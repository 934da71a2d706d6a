#!/usr/bin/env bash
# The report sections of a real dump of the sample target: the register block of every
# thread, both raw stack dumps, the symbol table with the target's own functions, and one
# line and one file per committed region, the pattern region byte for byte.
. "$(dirname "$0")/lib.sh"

start_target
report="$WORK/sections.txt"
dump_target "$report"
[ "$DUMP_RC" = 0 ] || fail "companion exited $DUMP_RC: $(cat "$DUMP_LOG")"

nm_symbols="$WORK/nm.txt"
i686-w64-mingw32-nm --defined-only "$BUILD_WIN32/sample_target.exe" > "$nm_symbols" || fail "nm failed"

python3 - "$report" "$nm_symbols" "$DUMP_LOG" <<'EOF' || fail "report sections (see above)"
import os, re, sys

report_path, nm_path, log_path = sys.argv[1:4]
data = open(report_path, "rb").read()
problems = []
def problem(text):
    problems.append(text)

# Lines are split at CR LF only, so a bare LF inside one of the sections checked here spoils
# that section's line formats.
lines = data.decode("latin-1").split("\r\n")

modules = []
for line in lines[2:]:
    if line == "":
        break
    m = re.fullmatch(r"\(([0-9a-f]{8}) - ([0-9a-f]{8})\) (.*)", line)
    modules.append((int(m.group(1), 16), int(m.group(2), 16), m.group(3)))

regions = []
region_re = re.compile(r"\*----> Commited Memory \(0x([0-9A-F]{8})-( {0,7}\d+)\) ([-r][-wc][-x]) ([IMP]) <----\*")
for line in lines:
    if line.startswith("*----> Commited Memory"):
        m = region_re.fullmatch(line)
        if not m:
            problem("region line %r" % line)
            continue
        regions.append((int(m.group(1), 16), int(m.group(2)), m.group(3), m.group(4)))

def region_of(address):
    for base, size, protection, kind in regions:
        if base <= address < base + size:
            return protection, kind
    return None

# Thread sections: the register lines, then both dumps.
starts = [i for i, line in enumerate(lines) if line.startswith("State Dump for Thread ID 0x")]
if not starts:
    problem("no thread sections")
symbol_start = next((i for i, line in enumerate(lines) if line == "*----> Symbol Table <----*"), len(lines))
ends = starts[1:] + [symbol_start]
eax_re = re.compile(r"eax=[0-9a-f]{8} ebx=[0-9a-f]{8} ecx=[0-9a-f]{8} edx=[0-9a-f]{8} esi=[0-9a-f]{8} edi=[0-9a-f]{8}")
eip_re = re.compile(r"eip=([0-9a-f]{8}) esp=([0-9a-f]{8}) ebp=[0-9a-f]{8} iopl=[0-3] (vip|   ) (vif|   ) (ov|nv) (dn|up) "
                    r"(ei|di) (ng|pl) (zr|nz) (ac|na) (po|pe) (cy|nc)")
cs_re = re.compile(r"cs=[0-9a-f]{4}  ss=[0-9a-f]{4}  ds=[0-9a-f]{4}  es=[0-9a-f]{4}  fs=[0-9a-f]{4}  gs=[0-9a-f]{4} {13}efl=([0-9a-f]{8})")
dump_re = re.compile(r"([0-9a-f]{8})  ((?:[0-9a-f]{2} ){8})- ((?:[0-9a-f]{2} ){7}[0-9a-f]{2})  (.{16})")
for start, end in zip(starts, ends):
    section = lines[start:end]
    name = section[0]
    if not eax_re.fullmatch(section[1]):
        problem("%s: eax line %r" % (name, section[1]))
    m = eip_re.fullmatch(section[2])
    c = cs_re.fullmatch(section[3])
    if not m or not c:
        problem("%s: register lines %r %r" % (name, section[2], section[3]))
        continue
    if section[4:6] != ["", ""]:
        problem("%s: no two empty lines after the registers" % name)
    eip, esp = int(m.group(1), 16), int(m.group(2), 16)
    if not any(lo <= eip < hi for lo, hi, _ in modules):
        problem("%s: eip %08x in no module" % (name, eip))
    if region_of(esp) != ("rw-", "P"):
        problem("%s: esp %08x not in a committed private read-write region: %r" % (name, esp, region_of(esp)))
    efl = int(c.group(1), 16)
    if (m.group(11) == "po") != bool(efl & 4) or (m.group(9) == "zr") != bool(efl & 0x40):
        problem("%s: flag texts do not match efl=%08x" % (name, efl))
    try:
        lower = section.index("*----> Raw Stack Dump (lower part)<----*")
        upper = section.index("*----> Raw Stack Dump <----*")
    except ValueError:
        problem("%s: a raw stack dump heading is missing" % name)
        continue
    if not lower < upper:
        problem("%s: the lower part does not come first" % name)
    for heading, first_address, last_end in ((lower, None, esp), (upper, esp, None)):
        dump = []
        for line in section[heading + 1:]:
            if line == "":
                break
            dump.append(line)
        if not dump:
            problem("%s: empty dump after line %d" % (name, heading))
            continue
        for line in dump:
            if len(line) + 2 != 79 or not dump_re.fullmatch(line):
                problem("%s: dump line %r" % (name, line))
                break
            hexes = (line[10:33] + " " + line[36:59]).split()
            chars = "".join(chr(int(h, 16)) if 0x20 <= int(h, 16) <= 0x7E else "." for h in hexes)
            if chars != line[61:77]:
                problem("%s: character column of %r" % (name, line))
                break
        addresses = [int(line[:8], 16) for line in dump]
        if any(b - a != 16 for a, b in zip(addresses, addresses[1:])):
            problem("%s: dump addresses do not go up by 16" % name)
        if first_address is not None and addresses[0] != first_address:
            problem("%s: upper dump starts at %08x, not at esp" % (name, addresses[0]))
        if last_end is not None and not (last_end - 16 < addresses[-1] + 16 <= last_end):
            problem("%s: lower dump ends at %08x, esp is %08x" % (name, addresses[-1] + 16, last_end))

# The symbol table: the target's own functions with their addresses and plausible sizes.
nm = {}
text_addresses = []
for line in open(nm_path):
    parts = line.split()
    if len(parts) == 3 and parts[1] in "Tt":
        address = int(parts[0], 16)
        nm[parts[2].lstrip("_").split("@")[0]] = address
        text_addresses.append(address)
text_addresses.sort()
symbols = {}
sym_re = re.compile(r"([0-9a-f]{8}) ([0-9a-f]{8})   (.+)")
for line in lines[symbol_start + 1:]:
    m = sym_re.fullmatch(line)
    if m:
        symbols.setdefault(m.group(3), (int(m.group(1), 16), int(m.group(2), 16)))
for function in ("worker_alpha", "alpha_level1", "alpha_level2", "alpha_wait", "worker_beta", "beta_level1",
                 "beta_sleep", "worker_gamma", "gamma_wait", "worker_deep", "deep_recursion", "main_wait"):
    if function not in symbols:
        problem("symbol table lacks %s" % function)
        continue
    address, size = symbols[function]
    following = [a for a in text_addresses if a > address]
    if nm.get(function) != address:
        problem("%s at %08x, nm says %s" % (function, address, nm.get(function)))
    elif size == 0 or (following and address + size > following[0]):
        problem("%s: size %x does not fit before the next function" % (function, size))
exe_line = next((i for i, line in enumerate(lines) if line.lower().endswith("sample_target.exe") and i > symbol_start), None)
if exe_line is None or lines[exe_line + 1] != "":
    problem("no module line for the sample target in the symbol table")

# Committed memory: one file per region line, none larger than its region.
if not regions:
    problem("no committed region lines")
for base, size, protection, kind in regions:
    path = "%s.%08X.bin" % (report_path, base)
    if not os.path.exists(path):
        problem("no file for region %08X" % base)
    elif os.path.getsize(path) > size:
        problem("file of region %08X holds %d bytes, the region %d" % (base, os.path.getsize(path), size))
pattern = [r for r in regions if r[0] == 0x10000000]
if pattern != [(0x10000000, 65536, "rw-", "P")]:
    problem("pattern region line: %r" % pattern)
else:
    content = open("%s.10000000.bin" % report_path, "rb").read()
    if content != bytes((i * 7 + 3) & 0xFF for i in range(65536)):
        problem("the pattern region's file does not hold the pattern (%d bytes)" % len(content))
if [r for r in regions if r[0] == 0x10100000] != [(0x10100000, 8192, "---", "P")]:
    problem("no-access region line missing")
if [r for r in regions if r[0] == 0x10200000] != [(0x10200000, 4096, "rw-", "P")]:
    problem("guard region line missing")
logged = [line.rstrip("\n") for line in open(log_path) if line.startswith("*----> Commited Memory")]
report_regions = [line for line in lines if line.startswith("*----> Commited Memory")]
if logged != report_regions:
    problem("the pane's region lines differ from the report's")

for text in problems[:30]:
    print(text)
sys.exit(1 if problems else 0)
EOF

# The module order of the symbol table, for the notes.
tr -d '\r' < "$report" | sed -n '/^\*----> Symbol Table <----\*$/,$p' | grep -E '^[A-Za-z]:\\' | sed 's/^/symbol table module: /'
echo "PASS"
