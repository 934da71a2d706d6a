#!/usr/bin/env python3
"""optimized_chains.py VARIANT MIN_PERCENT REPORT TARGET_OUT [WINEDBG_OUT]

Compares the back traces of a report of tests/targets/optimized_target.cpp with the chains
of return addresses the target recorded itself: prints per thread how many of them the
report shows, fails when fewer than MIN_PERCENT of all are shown, when a frame shown
without the " [scan]" marker returns to an address that no call just before it made (the
listing after the frame shows the instruction before its return address), or when a frame
line comes twice in one thread. With WINEDBG_OUT (winedbg's "bt all" of the same stopped
target) it counts winedbg's hits as well.

FRAME_COUNTS_OUT=FILE writes each thread's frame count ("NAME N" lines); PERFECT_COUNTS=FILE
reads such counts of a perfect walk of the same chains (the build with unwind tables, when
it showed every true frame) and fails when a thread shows more than one frame beyond it.
"""
import os, re, sys
variant, least, report, target_out = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
winedbg = sys.argv[5] if len(sys.argv) > 5 else None
chains = {}
for line in open(target_out):
    words = line.split()
    if words and words[0] == "chain":
        chains[words[1]] = (int(words[2]), [int(w, 16) for w in words[3:]])
lines = open(report, "rb").read().decode("latin-1").split("\r\n")
FRAME = re.compile(r"^([0-9a-f]{8}) ([0-9a-f]{8})( [0-9a-f]{8}){4} (?:\S+!)?\S+( \[scan\])? ")
HEAD = re.compile(r"^        ([0-9a-f]{8}) ((?:[0-9a-f]{2})+) +(\S+)")
errors, found, total = [], 0, 0

def frames(thread_id):
    start = lines.index("State Dump for Thread ID 0x%x" % thread_id)
    result = []
    i = start + 1
    while i < len(lines) and not lines[i].startswith("State Dump for Thread ID "):
        if lines[i].startswith("FramePtr ReturnAd"):
            m = FRAME.match(lines[i + 1])
            listing = []
            j = i + 3
            while j < len(lines) and lines[j] != "":
                parts = lines[j].split("\n")
                h = HEAD.match(parts[0])
                if h:
                    # A wrapped line has its mnemonic on the second part.
                    mnemonic = parts[1].split()[0] if len(parts) > 1 and parts[1].strip() else h.group(3)
                    listing.append((int(h.group(1), 16), len(h.group(2)) // 2, mnemonic))
                j += 1
            if m:
                result.append((int(m.group(2), 16), bool(m.group(4)), listing, lines[i + 1][:17]))
            i = j
        i += 1
    return result

perfect = {}
if os.environ.get("PERFECT_COUNTS"):
    for line in open(os.environ["PERFECT_COUNTS"]):
        name, count = line.split()
        perfect[name] = int(count)
counts, beyond = {}, 0
for name, (tid, truth) in sorted(chains.items()):
    shown = frames(tid)
    counts[name] = len(shown)
    returns = [r for r, _, _, _ in shown]
    heads = [h for _, _, _, h in shown]
    if len(set(heads)) != len(heads):
        errors.append("%s %s: a frame line comes twice" % (variant, name))
    if name in perfect:
        over = max(0, len(shown) - perfect[name])
        beyond += over
        print("%s %s: %d frames, a perfect walk %d" % (variant, name, len(shown), perfect[name]))
        if over > 1:
            errors.append("%s %s: %d frames beyond a perfect walk" % (variant, name, over))
    hits = [r for r in truth if r in returns]
    found += len(hits)
    total += len(truth)
    missing = ["%08x" % r for r in truth if r not in returns]
    print("%s %s: %d of %d true return addresses, %d frames (%d marked)%s" % (
        variant, name, len(hits), len(truth), len(shown), sum(1 for _, s, _, _ in shown if s),
        ", missing " + " ".join(missing) if missing else ""))
    for returned, scanned, listing, _ in shown:
        if scanned or returned == 0:
            continue
        before = [l for l in listing if l[0] + l[1] == returned]
        if not before or not before[0][2].startswith("call"):
            errors.append("%s %s: unmarked frame returns to %08x, not after a call" % (variant, name, returned))
print("%s: %d of %d true return addresses in the report" % (variant, found, total))
if perfect:
    print("%s: %d frames beyond a perfect walk" % (variant, beyond))
if os.environ.get("FRAME_COUNTS_OUT"):
    with open(os.environ["FRAME_COUNTS_OUT"], "w") as out:
        for name, count in sorted(counts.items()):
            out.write("%s %d\n" % (name, count))
if winedbg:
    text = open(winedbg, "rb").read().decode("latin-1")
    # The address of each frame line ("  3 0x0040138e in ..."): frame n's is frame n-1's return address.
    addresses = set(int(a, 16) for a in re.findall(r"(?m)^\s*(?:=>)?\s*\d+ 0x([0-9a-f]{8})", text))
    seen = sum(1 for _, (_, truth) in chains.items() for r in truth if r in addresses)
    print("%s: %d of %d true return addresses in winedbg's back traces" % (variant, seen, total))
if found * 100 < least * total:
    errors.append("%s: only %d of %d true return addresses" % (variant, found, total))
if errors:
    print("\n".join(errors[:20]))
    sys.exit(1)
