#!/usr/bin/env bash
# --minidump on the sample target: REPORT.dmp beside the report, from the same moment. The
# dump's own streams hold the report's threads with the report's registers and its modules;
# winedbg's minidump reader, fed commands from a file, shows the same modules, and for the
# threads it lets us select (those it has registers for), the instruction pointer and the
# back trace's return addresses of the report.
# wine-test-timeout: 420
. "$(dirname "$0")/lib.sh"

start_target
report="$WORK/mini.txt"
dump_target "$report" --minidump --no-memory-dump --no-symbol-table
[ "$DUMP_RC" = 0 ] || fail "companion exited $DUMP_RC: $(cat "$DUMP_LOG")"
[ -s "$report.dmp" ] || fail "no $report.dmp"
grep -qxF "Minidump $(winpath "$report").dmp written" "$DUMP_LOG" || fail "no line for the minidump: $(cat "$DUMP_LOG")"
wait_gone "$TARGET_HOST_PID" || fail "target still runs after the dump"
echo "dump with minidump took ${DUMP_SECONDS}s; $(stat -c %s "$report") report bytes, $(stat -c %s "$report.dmp") minidump bytes"

# winedbg's commands, from a file on its stdin: the module list, the current thread's back
# trace, then each of the report's threads by id. Read from stdin, it prompts before each
# command (from a --file it would not), and the prompts split the answers.
threads=$(tr -d '\r' < "$report" | sed -n 's/^State Dump for Thread ID \(0x[0-9a-f]*\)$/\1/p')
commands="$WORK/winedbg.cmd"
{
  echo "info share"
  echo "bt"
  for t in $threads; do echo "bt $t"; done
  echo "quit"
} > "$commands"
start=$(date +%s)
timeout $((60 * WINE_SLOWDOWN)) wine winedbg "$(winpath "$report.dmp")" < "$commands" 2>"$WORK/winedbg.err" |
  tr -d '\r' > "$WORK/winedbg.out"
echo "winedbg took $(($(date +%s) - start))s"
echo "--- winedbg"
cat "$WORK/winedbg.out"
echo "---"

python3 - "$report" "$report.dmp" "$WORK/winedbg.out" $threads <<'PYEOF' || fail "minidump and report disagree"
import re, struct, sys

report = open(sys.argv[1], "rb").read().decode("latin-1").split("\r\n")
dump = open(sys.argv[2], "rb").read()
winedbg = open(sys.argv[3]).read()
thread_order = [int(t, 16) for t in sys.argv[4:]]
errors = []

# The report: modules, and per thread eip/esp/ebp and the back trace's return addresses.
modules = set()
for line in report:
    m = re.match(r"^\(([0-9a-f]{8}) - ([0-9a-f]{8})\) ", line)
    if m:
        modules.add((int(m.group(1), 16), int(m.group(2), 16)))
threads = {}
current = None
previous = ""
for line in report:
    after_header, previous = previous.startswith("FramePtr ReturnAd "), line
    m = re.match(r"^State Dump for Thread ID 0x([0-9a-f]+)$", line)
    if m:
        current = threads.setdefault(int(m.group(1), 16), {"returns": []})
        continue
    m = re.match(r"^eip=([0-9a-f]{8}) esp=([0-9a-f]{8}) ebp=([0-9a-f]{8}) ", line)
    if m and current is not None and "eip" not in current:
        current["eip"], current["esp"], current["ebp"] = (int(g, 16) for g in m.groups())
        continue
    m = re.match(r"^[0-9a-f]{8} ([0-9a-f]{8})( [0-9a-f]{8}){4} ", line)
    if m and after_header and current is not None:
        current["returns"].append(int(m.group(1), 16))
print("report: %d modules, %d threads" % (len(modules), len(threads)))

# The minidump's own streams: the thread list with each thread's context, the modules, the
# exception.
signature, version, count, directory = struct.unpack_from("<4sIII", dump, 0)
if signature != b"MDMP":
    sys.exit("not a minidump: %r" % signature)
streams = {}
for i in range(count):
    kind, size, rva = struct.unpack_from("<III", dump, directory + 12 * i)
    streams.setdefault(kind, (size, rva))
THREAD_LIST, MODULE_LIST, EXCEPTION = 3, 4, 6
dumped = {}
size, rva = streams[THREAD_LIST]
(n,) = struct.unpack_from("<I", dump, rva)
for i in range(n):
    tid, _, _, _, _, _, _, _, ctx_size, ctx_rva = struct.unpack_from("<IIIIQQIIII", dump, rva + 4 + 48 * i)
    ebp, eip = struct.unpack_from("<II", dump, ctx_rva + 0xB4)  # Ebp then Eip
    (esp,) = struct.unpack_from("<I", dump, ctx_rva + 0xC4)
    dumped[tid] = (eip, esp, ebp)
if set(dumped) != set(threads):
    errors.append("threads: dump %s, report %s" % (sorted(map(hex, dumped)), sorted(map(hex, threads))))
for tid, (eip, esp, ebp) in dumped.items():
    t = threads.get(tid)
    if t and (t["eip"], t["esp"], t["ebp"]) != (eip, esp, ebp):
        errors.append("thread %x: dump eip/esp/ebp %08x %08x %08x, report %08x %08x %08x"
                      % (tid, eip, esp, ebp, t["eip"], t["esp"], t["ebp"]))
size, rva = streams[MODULE_LIST]
(n,) = struct.unpack_from("<I", dump, rva)
dump_modules = set()
for i in range(n):
    base, image_size = struct.unpack_from("<QI", dump, rva + 4 + 108 * i)
    dump_modules.add((base, (base + image_size) & 0xFFFFFFFF))
if not modules <= dump_modules:
    errors.append("modules of the report missing in the dump's list: %s"
                  % ["%08x-%08x" % m for m in sorted(modules - dump_modules)])
exception_thread = None
if EXCEPTION in streams:
    size, rva = streams[EXCEPTION]
    exception_thread, _, code = struct.unpack_from("<III", dump, rva)
    if code != 0x80000003:
        errors.append("dump's exception %08x, not the attach breakpoint" % code)
    if exception_thread not in threads:
        errors.append("exception in thread %x, not one of the report's" % exception_thread)
else:
    errors.append("no exception stream")
print("dump: %d threads, %d modules, exception in thread %s" % (len(dumped), len(dump_modules),
      hex(exception_thread) if exception_thread is not None else None))

# winedbg: the answers to the commands, split at its prompts.
answers = winedbg.split("Wine-dbg>")[1:]
if len(answers) < 2 + len(thread_order):
    sys.exit("winedbg answered %d commands, not %d" % (len(answers), 2 + len(thread_order)))
shown = set()
for line in answers[0].splitlines():
    m = re.match(r"^\s*(?:\\-)?PE\s+([0-9a-f]+)-\s*([0-9a-f]+)\s", line)
    if m:
        shown.add((int(m.group(1), 16), int(m.group(2), 16)))
if not modules <= shown:
    errors.append("modules of the report that winedbg does not show: %s"
                  % ["%08x-%08x" % m for m in sorted(modules - shown)])

FRAME = re.compile(r"^(?:=>| )\s*(\d+) 0x([0-9a-f]+)")
# winedbg lists a function inlined at a call site as a frame of its own, with the caller's
# address and frame; the report has one frame per return address, so such a repeat folds into
# one (a recursion's frames repeat the address, but each has a frame of its own).
FRAME_END = re.compile(r"\((0x[0-9a-f]+)\)\s*$")
def frames(text):
    pcs, last = [], None
    for line in text.splitlines():
        m = FRAME.match(line)
        if not m:
            continue
        end = FRAME_END.search(line)
        key = (int(m.group(2), 16), end.group(1) if end else None)
        if key != last or key[1] is None:
            pcs.append(key[0])
        last = key
    return pcs

selectable = 0
for tid, text in zip(thread_order, answers[2:2 + len(thread_order)]):
    pcs = frames(text)
    if not pcs:
        print("thread %x: winedbg gives no back trace: %s" % (tid, " ".join(text.split())[:100]))
        continue
    selectable += 1
    t = threads[tid]
    if pcs[0] != t["eip"]:
        errors.append("thread %x: winedbg's frame 0 at %08x, the report's eip %08x" % (tid, pcs[0], t["eip"]))
    returns = [r for r in t["returns"] if r]
    common = min(len(returns), len(pcs) - 1)
    if common == 0 and returns:
        errors.append("thread %x: winedbg shows no caller, the report %d" % (tid, len(returns)))
    for k in range(common):
        if pcs[k + 1] != returns[k]:
            errors.append("thread %x frame %d: winedbg %08x, report %08x" % (tid, k + 1, pcs[k + 1], returns[k]))
            break
    print("thread %x: eip %08x and %d return addresses agree" % (tid, pcs[0], common))
if selectable == 0:
    errors.append("winedbg let no thread be selected")
elif exception_thread is not None and not frames(answers[1]):
    errors.append("winedbg's current thread has no back trace")

if errors:
    print("\n".join(errors[:20]))
    sys.exit(1)
PYEOF

echo "PASS"
