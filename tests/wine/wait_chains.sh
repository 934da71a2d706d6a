#!/usr/bin/env bash
# The wait-chain section of a real dump of the hang target: every thread's line against
# what the target printed of itself (thread ids, critical-section addresses, handle values,
# the window), the critical-section deadlock and the SendMessage deadlock once each, and
# the deadlock lines also among the companion's log lines.
. "$(dirname "$0")/lib.sh"

start_target "$BUILD_WIN32/hang_target.exe"
report="$WORK/hang.txt"
dump_target "$report"
[ "$DUMP_RC" = 0 ] || fail "companion exited $DUMP_RC: $(cat "$DUMP_LOG")"

python3 - "$report" "$TARGET_OUT" "$DUMP_LOG" <<'PY' || fail "wait chain check failed"
import sys

report = open(sys.argv[1], "rb").read().decode("latin-1").split("\r\n")
truth = {}
for line in open(sys.argv[2]):
    words = line.split()
    if len(words) == 3:
        truth[(words[0], words[1])] = int(words[2], 16)
    elif len(words) == 2 and words[0] == "window":
        truth[("window", "")] = int(words[1], 16)
log = [line.rstrip("\n") for line in open(sys.argv[3])]

start = report.index("*----> Wait Chains <----*")
end = report.index("", start)
section = report[start + 1:end]
errors = []
# Right after the module list: the line before the heading is the module list's empty line.
if report[start - 1] != "" or not report[start - 2].startswith("("):
    errors.append("the section does not follow the module list")
if not report[end + 1].startswith("State Dump for Thread ID "):
    errors.append("the first thread section does not follow the section")

def tid(name):
    return truth[("thread", name)]

def h(name):
    return "%08x" % truth[("handle", name)]

by_thread = {}
for line in section:
    if line.startswith("Thread 0x"):
        words = line.split(" ", 2)
        by_thread[int(words[1], 16)] = words[2]
deadlocks = [line for line in section if line.startswith("Deadlock: ")]

event = 'event %s "tarnholm_hang_event"' % h("event")
semaphore = "semaphore %s" % h("semaphore")
expected = {
    "main": ["sleeps forever"],
    "deadlock_a": ["waits for critical section %08x owned by thread 0x%x (recursion 1)"
                   % (truth[("cs", "second")], tid("deadlock_b"))],
    "deadlock_b": ["waits for critical section %08x owned by thread 0x%x (recursion 1)"
                   % (truth[("cs", "first")], tid("deadlock_a"))],
    "event": ["waits for " + event],
    "holder": ["sleeps forever"],
    # Wine keeps no mutex owner that a debugger may ask for.
    "mutex": ["waits for mutex %s, owner unknown" % h("mutex")],
    "join": ["waits for thread 0x%x to end" % tid("event")],
    "any": ["waits for any of 2 objects: %s; %s" % (event, semaphore)],
    "all": ["waits for all of 2 objects: %s; %s for 3600000 ms" % (event, semaphore)],
    # Wine's Sleep and SendMessageW reach their system calls without a frame the walker
    # shows; the section reads the wrapper's arguments from the frame the scan finds.
    "sleeper": ["sleeps for 3600000 ms"],
    "window": ["waits for thread 0x%x to end" % tid("sender")],
    "sender": ["waits for window %08x of thread 0x%x to answer message 0401" % (truth[("window", "")], tid("window"))],
    "pump": ["waits for messages"],
    "srw": ["waits for SRW lock %08x (exclusive), owner not recorded" % truth[("lock", "srw")]],
    "condition": ["waits for condition variable %08x, owner not recorded" % truth[("lock", "condition")]],
}
for name, texts in expected.items():
    got = by_thread.get(tid(name))
    if got is None:
        errors.append("no line for thread %s (0x%x)" % (name, tid(name)))
    elif got not in texts:
        errors.append("thread %s: %r, expected %r" % (name, got, texts[0]))
    elif got != texts[0]:
        print("note: thread %s: %s" % (name, got))

a, b = sorted([tid("deadlock_a"), tid("deadlock_b")])
owner_of = {tid("deadlock_a"): truth[("cs", "second")], tid("deadlock_b"): truth[("cs", "first")]}
cs_line = "Deadlock: thread 0x%x -> critical section %08x -> thread 0x%x -> critical section %08x -> thread 0x%x" % (
    a, owner_of[a], b, owner_of[b], a)
window_line = "Deadlock: thread 0x%x -> thread handle %s -> thread 0x%x -> window %08x -> thread 0x%x" % (
    tid("window"), "%08x", tid("sender"), truth[("window", "")], tid("window"))
if not any(line.startswith("Deadlock: thread 0x%x -> thread handle " % min(tid("window"), tid("sender"))) or
           line.startswith("Deadlock: thread 0x%x -> window " % min(tid("window"), tid("sender"))) for line in deadlocks):
    errors.append("no SendMessage deadlock of threads 0x%x and 0x%x: %r" % (tid("sender"), tid("window"), deadlocks))
if len(deadlocks) != 2:
    errors.append("not two deadlocks: %r" % deadlocks)
if deadlocks.count(cs_line) != 1:
    errors.append("the critical-section deadlock %r is not there once: %r" % (cs_line, deadlocks))
if cs_line not in log:
    errors.append("the companion did not log %r" % cs_line)
for line in deadlocks:
    if line not in log:
        errors.append("deadlock line not logged: %r" % line)
# Lines in thread-table order: the same order as the thread headings.
headings = [int(line.split()[-1], 16) for line in report if line.startswith("State Dump for Thread ID ")]
if list(by_thread) != headings:
    errors.append("thread lines not in table order")

for line in section:
    print(line)
if errors:
    print("\n".join(errors))
    sys.exit(1)
PY
echo "PASS: wait chains"
