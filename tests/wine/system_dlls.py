#!/usr/bin/env python3
"""Checks the frames and code listings of a report that lie in Wine's ntdll, kernel32 and
kernelbase, whose symbols come from their export tables: no frame there without a symbol, at
least one frame in ntdll or kernel32 named, and every listed instruction there on a boundary
that objdump finds in the same DLL file. Prints the counts either way; exit 1 on a finding.

usage: system_dlls.py REPORT DLL_DIR...   (OBJDUMP names the objdump to run)
"""
import os
import re
import struct
import subprocess
import sys
import tempfile

SYSTEM = ("ntdll", "kernel32", "kernelbase")
FRAME = re.compile(r"^[0-9a-f]{8} [0-9a-f]{8}(?: [0-9a-f]{8}){4} (?:(\S+)!)?(\S+) ")
HEAD = re.compile(r"^        ([0-9a-f]{8}) ")
UNKNOWN = re.compile(r"\s\?\?\?(\s|$)")  # an opcode the tables have no instruction for
# objdump sweeps from this far before the listed addresses (or the section start), long
# enough to be in phase when it reaches them.
LEAD = 0x4000


def system_modules(lines):
    """{name: (base, end)} from the module list of the report header."""
    modules = {}
    for line in lines:
        if line.startswith("State Dump for Thread ID"):
            break
        m = re.match(r"^\(([0-9a-f]{8}) - ([0-9a-f]{8})\) (.*)$", line)
        if m:
            stem = re.split(r"[\\/]", m.group(3))[-1].lower()
            if stem.endswith(".dll") and stem[:-4] in SYSTEM:
                modules[stem[:-4]] = (int(m.group(1), 16), int(m.group(2), 16))
    return modules


def image_file(name, dll_dirs):
    for folder in dll_dirs:
        if os.path.isdir(folder):
            for entry in sorted(os.listdir(folder)):
                if entry.lower() == name + ".dll":
                    return os.path.join(folder, entry)
    sys.exit("no %s.dll in %s" % (name, " or ".join(dll_dirs)))


def code_sections(path):
    """(offset from the image base, bytes) of every executable section of the DLL file."""
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count = struct.unpack_from("<H", data, pe + 6)[0]
    optional = struct.unpack_from("<H", data, pe + 20)[0]
    sections = []
    for k in range(count):
        at = pe + 24 + optional + 40 * k
        vsize, va, raw, pointer = struct.unpack_from("<IIII", data, at + 8)
        flags = struct.unpack_from("<I", data, at + 36)[0]
        if flags & 0x20000020:
            size = min(vsize or raw, raw)
            sections.append((va, data[pointer:pointer + size]))
    return sections


# Instructions objdump knows that the opcode tables leave out on purpose (P6 and later:
# cmovcc, the long nops, MMX and SSE, ...): our listing shows "???" for them and may then
# decode out of step with objdump for a few bytes.
LATER = re.compile(r"^(cmov|fcmov|fu?comip?\b|ud[0-2]|rdtsc|rdpmc|cpuid|sysenter|sysexit|nop\s+\S)|mm\d")


def objdump_stream(start, code, addresses):
    """objdump's instruction starts around the addresses in code loaded at start, and the
    starts of the instructions among them that the tables leave out."""
    windows = []
    for address in sorted(addresses):
        low = max(address - start - LEAD, 0)
        high = min(address - start + 0x100, len(code))
        if windows and low <= windows[-1][1]:
            windows[-1][1] = max(windows[-1][1], high)
        else:
            windows.append([low, high])
    starts, later = set(), set()
    for low, high in windows:
        with tempfile.NamedTemporaryFile(suffix=".bin") as piece:
            piece.write(code[low:high])
            piece.flush()
            out = subprocess.run([os.environ.get("OBJDUMP", "objdump"), "-D", "-b", "binary", "-m", "i386",
                                  "-M", "intel", "--no-show-raw-insn", "--adjust-vma=0x%x" % (start + low),
                                  piece.name], capture_output=True, text=True, check=True).stdout
        for m in re.finditer(r"^\s*([0-9a-f]+):\t(.*)$", out, re.M):
            address = int(m.group(1), 16)
            starts.add(address)
            if LATER.search(m.group(2).strip()):
                later.add(address)
    return starts, later


def listings(lines, modules):
    """(module, [listed addresses]) of each listing's lines in a system DLL, and the index of
    its first line after a "???" line (len when none)."""
    found, current = [], None
    for line in lines:
        if line.startswith("function: "):
            current = None
        m = HEAD.match(line)
        if not m:
            continue
        address = int(m.group(1), 16)
        name = next((n for n, (base, end) in modules.items() if base <= address < end), None)
        if current is None or current[0] != name:
            current = [name, [], None]
            found.append(current)
        current[1].append(address)
        if UNKNOWN.search(line) and current[2] is None:
            current[2] = len(current[1])
    return [(name, addresses, len(addresses) if cut is None else cut)
            for name, addresses, cut in found if name is not None]


def main():
    report = open(sys.argv[1], "rb").read().decode("latin-1")
    dll_dirs = sys.argv[2:]
    lines = report.split("\r\n")
    modules = system_modules(lines)

    frames, nameless, named = 0, [], []
    for before, line in zip(lines, lines[1:]):
        m = FRAME.match(line) if before.startswith("FramePtr ReturnAd") else None
        if m and m.group(1) and m.group(1).lower() in SYSTEM:
            frames += 1
            if m.group(2) == "<nosymbols>":
                nameless.append(line)
            elif m.group(1).lower() in ("ntdll", "kernel32"):
                named.append("%s!%s" % (m.group(1), m.group(2)))

    # objdump's view of each DLL near the listed addresses.
    all_listed = {}
    for name, addresses, _ in listings(lines, modules):
        all_listed.setdefault(name, set()).update(addresses)
    starts, later, code_ranges = {}, {}, {}
    for name, addresses in all_listed.items():
        base = modules[name][0]
        starts[name], later[name], code_ranges[name] = set(), set(), []
        for va, code in code_sections(image_file(name, dll_dirs)):
            mine = {a for a in addresses if base + va <= a < base + va + len(code)}
            code_ranges[name].append((base + va, base + va + len(code)))
            if mine:
                s, l = objdump_stream(base + va, code, mine)
                starts[name] |= s
                later[name] |= l

    # A line off objdump's boundaries is excused when an instruction the tables leave out lies
    # shortly before it in the listing's decoding: a "???" line above it, or one objdump shows
    # up to 64 bytes before the listing's first line.
    total, off, excused, excused_off = 0, [], 0, 0
    for name, addresses, cut in listings(lines, modules):
        first = addresses[0]
        for k, address in enumerate(addresses):
            in_code = any(low <= address < high for low, high in code_ranges[name])
            on = in_code and address in starts[name]
            if k >= cut or any(first - 64 <= p < address for p in later[name]):
                excused += 1
                excused_off += 0 if on else 1
            else:
                total += 1
                if not on:
                    off.append("%s %08x%s" % (name, address, "" if in_code else " (not in its code)"))

    print("system DLL frames: %d, without symbols: %d" % (frames, len(nameless)))
    print("listing lines in system DLLs: %d, off objdump's boundaries: %d" % (total, len(off)))
    print("lines after an opcode the tables leave out: %d, off objdump's boundaries: %d" % (excused, excused_off))
    errors = []
    if nameless:
        errors.append("frames without symbols: %s" % nameless[:5])
    if not named:
        errors.append("no frame in ntdll or kernel32 named from its exports")
    if off:
        errors.append("listed off the boundaries: %s" % off[:10])
    if errors:
        print("\n".join(errors))
        return 1
    print("named: %s" % ", ".join(sorted(set(named))[:8]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
