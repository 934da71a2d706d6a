#!/usr/bin/env bash
# The code listings and stack back traces of a real dump of the sample target: each worker's
# frames by name in call order, a listing after every frame, the instruction at EIP inside
# the EIP listing, every instruction line in the listing layout, and the deep recursion cut
# at 100 frames. Frames in Wine's ntdll, kernel32 and kernelbase (named from their export
# tables) carry names, and the listings in those DLLs lie on objdump's instruction boundaries.
. "$(dirname "$0")/lib.sh"

# The guest's Wine keeps its 32-bit DLLs here; the prefix's copies serve otherwise.
WINE_DLL_DIR=${WINE_DLL_DIR:-/usr/lib/i386-linux-gnu/wine/i386-windows}
# Any objdump that knows i386 serves: the host's own or MinGW's.
OBJDUMP=${OBJDUMP:-$(command -v objdump || command -v i686-w64-mingw32-objdump)}
[ -n "$OBJDUMP" ] || fail "objdump (binutils) is needed to check the listings in Wine's DLLs"
export OBJDUMP

start_target
report="$WORK/trace.txt"
export TARNHOLM_STATS=1  # the companion prints its ReadProcessMemory count on stderr
dump_target "$report"
[ "$DUMP_RC" = 0 ] || fail "companion exited $DUMP_RC: $(cat "$DUMP_LOG")"

python3 - "$report" "$TARGET_OUT" <<'EOF' || fail "back trace check failed"
import re, sys

report = open(sys.argv[1], "rb").read().decode("latin-1")
threads = {}
for line in open(sys.argv[2]):
    words = line.split()
    if len(words) == 3 and words[0] == "thread":
        threads[words[1]] = int(words[2])

lines = report.split("\r\n")  # a wrapped instruction line keeps its LF inside
errors = []

def error(text):
    errors.append(text)

def section(thread_id):
    heading = "State Dump for Thread ID 0x%x" % thread_id
    start = lines.index(heading)
    end = start + 1
    while end < len(lines) and not lines[end].startswith("State Dump for Thread ID "):
        end += 1
    return lines[start:end]

FRAME = re.compile(r"^([0-9a-f]{8}) ([0-9a-f]{8})( [0-9a-f]{8}){4} (?:(\S+)!)?(\S+) ")
HEAD = re.compile(r"^([0-9a-f]{8}) ((?:[0-9a-f]{2})+)")
VALUES = re.compile(r"(?:(?:[a-z]s:)[0-9a-f]{8}=(?:[0-9a-f]+|\?+) ?)+$")
PREFIXES = ("rep", "repe", "repne", "lock")

def check_layout(line, where):
    """One instruction line: 8 blanks, the head, the fields at their columns, the value text
    ending just before column 77, or the wrapped form."""
    if not line.startswith("        "):
        return error("%s: not indented by 8: %r" % (where, line))
    text = line[8:]
    head = HEAD.match(text)
    if not head or not text[head.end():].startswith(" "):
        return error("%s: no address and code bytes: %r" % (where, line))
    h = head.end()
    if "\n" in text:
        first, second = text.split("\n")
        rest = first[h:].strip()
        if rest and (not VALUES.fullmatch(rest) or len(first) != 77):
            return error("%s: wrapped head line not head and values: %r" % (where, line))
        if not second.startswith(" " * 8) or second[8:].startswith(" " * 27) or not second[8:].strip():
            return error("%s: continuation not 8 blanks then the fields: %r" % (where, line))
        return
    values = VALUES.search(text)
    if values and text.endswith(values.group(0)) and values.start() > h:
        if len(text) != 77:
            return error("%s: value text does not end before column 77: %r" % (where, line))
        body = text[:values.start()].rstrip()
    else:
        body = text
    column1 = h + len(text[h:]) - len(text[h:].lstrip())
    if not (h + 1 <= column1 <= max(26, h + 1)):
        return error("%s: first field at column %d: %r" % (where, column1, line))
    fields = body[column1:]
    if not values and len(body) <= 60:
        if column1 != max(26, h + 1):
            return error("%s: mnemonic not at its column: %r" % (where, line))
        mnemonic = fields.split(" ")[0]
        after = fields[len(mnemonic):]
        if after and mnemonic not in PREFIXES:
            column2 = column1 + len(mnemonic) + len(after) - len(after.lstrip())
            if column2 != max(34, column1 + len(mnemonic) + 1):
                error("%s: operands not at their column: %r" % (where, line))

def listing(rows, at, where):
    """The "function:" line at rows[at], the instruction lines and the empty line after
    them. Returns (function name, listed addresses, index after the empty line)."""
    if not rows[at].startswith("function: "):
        error("%s: no function line but %r" % (where, rows[at]))
        return None, [], at + 1
    name = rows[at][len("function: "):]
    addresses = []
    i = at + 1
    while i < len(rows) and rows[i] != "":
        check_layout(rows[i], where)
        head = HEAD.match(rows[i][8:])
        if head:
            addresses.append(int(head.group(1), 16))
        i += 1
    return name, addresses, i + 1

def back_trace(body, who):
    """The frames of a thread section: (module, function, listing name, listed addresses,
    return address) each; checks the EIP listing on the way."""
    eip = int(re.search(r"^eip=([0-9a-f]{8})", "\n".join(body), re.M).group(1), 16)
    at = next(i for i, l in enumerate(body) if l.startswith("function: "))
    name, addresses, at = listing(body, at, who + " EIP listing")
    if eip not in addresses:
        error("%s: EIP %08x not in its listing" % (who, eip))
    if body[at] != "*----> Stack Back Trace <----*" or body[at + 1] != "":
        error("%s: no back trace title after the EIP listing" % who)
    at += 2
    frames = []
    while body[at].startswith("FramePtr "):
        if body[at] != "FramePtr ReturnAd Param#1  Param#2  Param#3  Param#4  Function Name":
            error("%s: column header %r" % (who, body[at]))
        frame = FRAME.match(body[at + 1])
        if not frame:
            error("%s: frame line %r" % (who, body[at + 1]))
            break
        returned = int(frame.group(2), 16)
        fname, addresses, at = listing(body, at + 2, "%s frame %d" % (who, len(frames) + 1))
        if returned and fname != "<nosymbols>" and not addresses:
            error("%s: no instruction lines after frame %d" % (who, len(frames) + 1))
        frames.append((frame.group(4), frame.group(5), fname, addresses, returned))
    if body[at] != "":
        error("%s: back trace does not end with an empty line: %r" % (who, body[at]))
    return frames

# Each worker blocks a few calls deep in functions of its own: those frames, innermost first.
expected = {
    "worker_alpha": ["alpha_wait", "alpha_level2", "alpha_level1", "worker_alpha"],
    "worker_beta": ["beta_sleep", "beta_level1", "worker_beta"],
    "worker_gamma": ["gamma_wait", "gamma_wait", "gamma_wait", "worker_gamma"],
}
for worker, chain in expected.items():
    frames = back_trace(section(threads[worker]), worker)
    names = ["%s!%s" % (m, f) for m, f, *_ in frames]
    want = ["sample_target!" + f for f in chain]
    starts = [i for i in range(len(names)) if names[i:i + len(want)] == want]
    if not starts:
        error("%s: frames %s do not hold %s in order" % (worker, names, want))
        continue
    for k in range(starts[0], starts[0] + len(want)):
        module, function, listed_name, addresses, returned = frames[k]
        # A frame's listing is taken around its return address, in the function it returns to.
        if k + 1 < len(frames) and frames[k + 1][0] == "sample_target" and listed_name != frames[k + 1][1]:
            error("%s: frame %d of %s lists %s" % (worker, k + 1, function, listed_name))
        if returned not in addresses and k + 1 < len(frames) and frames[k + 1][0] == "sample_target":
            error("%s: return address %08x of frame %d not in its listing" % (worker, returned, k + 1))

deep = back_trace(section(threads["worker_deep"]), "worker_deep")
if len(deep) != 100:
    error("worker_deep: %d frames, not 100" % len(deep))
recursion = sum(1 for m, f, *_ in deep if (m, f) == ("sample_target", "deep_recursion"))
if recursion < 95:
    error("worker_deep: only %d deep_recursion frames" % recursion)

if errors:
    print("\n".join(errors[:20]))
    sys.exit(1)
EOF

grep -h "ReadProcessMemory calls" "$DUMP_LOG.err" || true
python3 "$WINE_TEST_ROOT/tests/wine/system_dlls.py" "$report" "$WINE_DLL_DIR" \
  "$WINEPREFIX/drive_c/windows/system32" || fail "frames or listings in Wine's system DLLs"

echo "dump took ${DUMP_SECONDS}s"
echo "PASS"
