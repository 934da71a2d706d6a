#!/usr/bin/env python3
"""Writes GNU objdump's reading of every mandatory-prefix combination of the 0F, 0F 38 and
0F 3A maps, for the disassembler's table test (tests/unit/disasm_prefix_table_test.cpp).

Each case is PREFIXES ESCAPE OPCODE MODRM followed by nops, at the start of a 32-byte slot;
objdump decodes them all in one run. One line per (map, opcode, prefixes):

    MAP OPCODE PREFIXES F0 .. F15

with sixteen ModR/M forms: reg 0..7 with the memory operand [eax] (ModR/M 00 reg 000),
then reg 0..7 with the register operand ecx (ModR/M 11 reg 001). A form is "." where
objdump reads "(bad)" (or leaves the prefix standing alone), else the length of the
instruction it reads, with ":" and its mnemonic where that differs from the form before.

usage: prefix_combinations.py > tests/unit/data/objdump_prefix_combinations.txt
"""
import os
import subprocess
import sys
import tempfile

MAPS = [("0f", b"\x0f"), ("0f38", b"\x0f\x38"), ("0f3a", b"\x0f\x3a")]
PREFIXES = [("-", b""), ("66", b"\x66"), ("f3", b"\xf3"), ("f2", b"\xf2"), ("66f3", b"\x66\xf3"),
            ("66f2", b"\x66\xf2")]
FORMS = [reg << 3 for reg in range(8)] + [0xC1 | reg << 3 for reg in range(8)]
SLOT = 32
LISTED = {"rep", "repz", "repe", "repnz", "repne", "lock", "data16", "addr16", "data32", "addr32",
          "cs", "ds", "es", "ss", "fs", "gs", "bnd", "notrack"}


def cases():
    for map_name, escape in MAPS:
        for opcode in range(256):
            if map_name == "0f" and opcode in (0x38, 0x3A):
                continue
            for prefix_name, prefix in PREFIXES:
                yield map_name, opcode, prefix_name, [prefix + escape + bytes([opcode, form]) for form in FORMS]


def run_objdump(image):
    with tempfile.NamedTemporaryFile(delete=False) as f:
        f.write(image)
        path = f.name
    try:
        out = subprocess.run(["objdump", "-D", "-b", "binary", "-m", "i386", "-M", "intel", "--insn-width=16",
                              path], capture_output=True, text=True, check=True).stdout
    finally:
        os.unlink(path)
    first = {}  # slot start -> (length, text)
    for line in out.splitlines():
        head, sep, rest = line.partition(":\t")
        if not sep:
            continue
        try:
            address = int(head.strip(), 16)
        except ValueError:
            continue
        hexes, _, text = rest.partition("\t")
        if address % SLOT == 0:
            first[address] = (len(hexes.split()), text.strip())
    return first


def main():
    all_cases = list(cases())
    image = bytearray()
    for _, _, _, forms in all_cases:
        for case in forms:
            image += case + b"\x90" * (SLOT - len(case))
    first = run_objdump(bytes(image))
    version = subprocess.run(["objdump", "--version"], capture_output=True, text=True).stdout.splitlines()[0]
    print("# objdump's reading of the mandatory-prefix combinations; written by")
    print("# tools/x86list/prefix_combinations.py with " + version + ".")
    print("# MAP OPCODE PREFIXES, then 16 ModR/M forms: reg 0..7 with [eax], reg 0..7 with ecx;")
    print("# '.' (bad), else LENGTH[:MNEMONIC] (the mnemonic where it changes).")
    slot = 0
    for map_name, opcode, prefix_name, forms in all_cases:
        fields = []
        last = None
        for case in forms:
            length, text = first.get(slot * SLOT, (0, "(bad)"))
            slot += 1
            words = [w for w in text.replace(",", " ").split() if w]
            mnemonic = next((w for w in words if w not in LISTED), "")
            if "(bad)" in text or mnemonic in ("", ".byte") or length < len(case) - 1:
                fields.append(".")
                last = None
                continue
            field = "%x" % length
            if mnemonic != last:
                field += ":" + mnemonic
            last = mnemonic
            fields.append(field)
        print("%s %02x %s %s" % (map_name, opcode, prefix_name, " ".join(fields)))


if __name__ == "__main__":
    sys.exit(main())
