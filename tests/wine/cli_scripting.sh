#!/usr/bin/env bash
# The companion as a scripting tool, with two dumps in all: the argument forms that dump
# nothing (help, version, a typo that must not end the target, id 0); --list against the
# wizard's list rules; a process by name (none, several, one) and a gone id, each with its own
# status and no file made; --keep-running with --no-memory-dump over an earlier report and its
# region file (the report replaced, the region file removed, no region lines or files, the
# target answers afterwards with its memory and threads intact); then a second dump by name
# with the default report name (time to the second and process id), whose region file shows
# the target's memory unchanged and whose thread sections are those of the first.
# wine-test-timeout: 600
. "$(dirname "$0")/lib.sh"

CLI="$BUILD_WIN32/tarnholm-cli.exe"

# Target A answers on its stdin (a fifo held open by fd 3; in /tmp, as the guest's shared
# checkout cannot hold one); target B is a second copy.
fifo_dir=$(mktemp -d /tmp/tarnholm-fifo.XXXXXX)
trap 'rm -rf "$fifo_dir"; cleanup_wine_test' EXIT
mkfifo "$fifo_dir/a.in"
raw_a="$WORK/a.raw"
wine "$BUILD_WIN32/sample_target.exe" --answer < "$fifo_dir/a.in" > "$raw_a" 2>/dev/null &
host_a=$!
TARGET_PIDS+=("$host_a")
exec 3> "$fifo_dir/a.in"
for _ in $(seq 1 300); do
  grep -q '^ready' "$raw_a" 2>/dev/null && break
  sleep 0.1
done
grep -q '^ready' "$raw_a" || fail "target A did not get ready"
pid_a=$(tr -d '\r' < "$raw_a" | awk '/^pid /{print $2}')
start_target
pid_b=$TARGET_PID
host_b=$TARGET_HOST_PID

# ask LINE: sends LINE to target A and prints its answer (empty when none came in 60 s).
ask() {
  echo "$1" >&3
  local _
  for _ in $(seq 1 600); do
    if tr -d '\r' < "$raw_a" | grep -q "^answer $1 "; then
      tr -d '\r' < "$raw_a" | grep "^answer $1 "
      return
    fi
    sleep 0.1
  done
}

# cli RC_WANTED NAME ARGS...: runs the companion with ARGS; its stdout and stderr go to
# $WORK/NAME.out and .err (CR stripped), and any other exit status fails the test.
cli() {
  local want=$1 name=$2 rc
  shift 2
  timeout 60 wine "$CLI" "$@" 2>"$WORK/$name.err.raw" | tr -d '\r' > "$WORK/$name.out"
  rc=${PIPESTATUS[0]}
  tr -d '\r' < "$WORK/$name.err.raw" > "$WORK/$name.err"
  [ "$rc" = "$want" ] || fail "tarnholm-cli $* exited $rc, not $want: $(cat "$WORK/$name.out" "$WORK/$name.err")"
}

# Help in each spelling on stdout, the version, and refusals that touch nothing: a typo of an
# option is not a report name and must not end the target, id 0 is no process.
for help in -h --help '/?'; do
  cli 0 help "$help"
  grep -q '^usage: tarnholm-cli' "$WORK/help.out" || fail "$help prints no usage on stdout"
done
cli 0 version --version
grep -Eq '^tarnholm-cli [0-9]' "$WORK/version.out" || fail "--version prints '$(cat "$WORK/version.out")'"
(cd "$WORK" && cli 3 typo "$pid_a" -k) || fail "the typo run"
grep -q "unknown option '-k'" "$WORK/typo.err" || fail "typo line: $(cat "$WORK/typo.err")"
[ -e "$WORK/-k" ] && fail "a typo made a report named -k"
cli 3 zero 0
kill -0 "$host_a" 2>/dev/null || fail "target A ended after refused arguments"

# --list: a header, then one tab-separated row per process (caption, id, working set in KiB,
# bitness), in caption order (case ignored; "-" and "'" do not count), both targets listed
# with their ids.
cli 0 list --list
[ "$(head -1 "$WORK/list.out")" = $'PROGRAM\tPID\tWORKING_SET_KB\tBITS' ] || fail "--list header: $(head -1 "$WORK/list.out")"
tail -n +2 "$WORK/list.out" > "$WORK/list.txt"
grep -Evq $'^[^\t\\\\]+\t[0-9]+\t[0-9]*\t(32|64)$' "$WORK/list.txt" &&
  fail "--list line not as the wizard's row: $(grep -Ev $'^[^\t\\\\]+\t[0-9]+\t[0-9]*\t(32|64)$' "$WORK/list.txt" | head -1)"
for pid in "$pid_a" "$pid_b"; do
  grep -Eqx $'sample_target\\.exe\t'"$pid"$'\t[0-9]+\t32' "$WORK/list.txt" || fail "--list has no row for $pid"
done
grep -Eq $'^tarnholm-cli\\.exe\t' "$WORK/list.txt" || fail "--list does not show the companion itself"
python3 - "$WORK/list.txt" <<'PY' || fail "--list is not in caption order: $(cut -f1 "$WORK/list.txt" | tr '\n' ' ')"
import sys
# lstrcmpA's word sort: case and "-", "'" ignored, "_" before "." before digits and letters.
keys = [l.split("\t")[0].lower().replace("-", "").replace("'", "").replace("_", "\x01").replace(".", "\x02")
        for l in open(sys.argv[1])]
sys.exit(0 if keys == sorted(keys) else 1)
PY

# A name of none (7) and of several (8, their ids named), a gone id (7): no file is made,
# and an existing file is left as it was.
echo "an earlier report" > "$WORK/crash.txt"
cli 7 none nosuch_program.exe "$(winpath "$WORK/crash.txt")"
grep -q "no process named nosuch_program.exe" "$WORK/none.err" || fail "no-match line: $(cat "$WORK/none.err")"
cli 8 two SAMPLE_Target.EXE "$(winpath "$WORK/never.txt")"
grep -q "2 processes named SAMPLE_Target.EXE" "$WORK/two.err" || fail "several-match line: $(cat "$WORK/two.err")"
for pid in "$pid_a" "$pid_b"; do
  grep -Eq "ids .*\b$pid\b" "$WORK/two.err" || fail "several-match line does not name $pid: $(cat "$WORK/two.err")"
done
[ -e "$WORK/never.txt" ] && fail "a report was created for an ambiguous name"
cli 7 gone 4000000000 "$(winpath "$WORK/crash.txt")"
grep -q "no process with id 4000000000" "$WORK/gone.err" || fail "gone-id line: $(cat "$WORK/gone.err")"
[ "$(cat "$WORK/crash.txt")" = "an earlier report" ] || fail "a failed look-up changed an existing report"

# Dump 1: --keep-running --no-memory-dump of A by id, over an earlier report, a region file
# and a minidump of it, which the dump removes and says so.
TARGET_PID=$pid_a
report1="$WORK/keep.txt"
echo "an earlier report" > "$report1"
echo "an earlier region" > "$report1.0BADF000.bin"
echo "an earlier minidump" > "$report1.dmp"
dump_target "$report1" --keep-running --no-memory-dump
[ "$DUMP_RC" = 0 ] || fail "--keep-running exited $DUMP_RC: $(cat "$DUMP_LOG" "$DUMP_LOG.err")"
echo "keep-running dump took ${DUMP_SECONDS}s"
tr -d '\r' < "$report1" > "$report1.lf"
grep -q "(pid=$pid_a)" "$report1.lf" || fail "first report is not of target A"
grep -q 'Commited Memory' "$report1.lf" "$DUMP_LOG" && fail "region lines with --no-memory-dump"
compgen -G "$WORK/keep.txt.*.bin" > /dev/null && fail "region files beside a --no-memory-dump report: $(ls "$WORK"/keep.txt.*.bin)"
grep -qxF "Removed 1 region files of an earlier dump beside $(winpath "$report1")" "$DUMP_LOG" ||
  fail "no line for the removed region file: $(cat "$DUMP_LOG")"
grep -qxF "Removed the minidump of an earlier dump beside $(winpath "$report1")" "$DUMP_LOG" ||
  fail "no line for the removed minidump: $(cat "$DUMP_LOG")"
[ -e "$report1.dmp" ] && fail "the earlier minidump is still beside a report without --minidump"
grep -q '^\*----> Symbol Table <----\*$' "$report1.lf" || fail "no symbol table in the first report"
grep -Eq "^(Can't detach|Can't continue|Can't restore|DebugSetProcessKillOnExit failed)" "$DUMP_LOG" && fail "failure lines: $(cat "$DUMP_LOG")"
kill -0 "$host_a" 2>/dev/null || fail "target A ended after --keep-running"
answer=$(ask after-dump)
[ "$answer" = "answer after-dump pattern-ok threads-ok" ] || fail "target A answers '$answer' after the dump"

# B goes, so that the name finds A alone.
kill "$host_b"
wait_gone "$host_b" || fail "target B does not end"

# Dump 2: A by name, no report name: the default name in the current directory, with the time
# to the second and the process id.
before=$(date +%Y%m%d-%H%M)
(cd "$WORK" && timeout 120 wine "$CLI" sample_target.exe 2>"$WORK/named.err") | tr -d '\r' > "$WORK/named.log"
rc=${PIPESTATUS[0]}
after=$(date +%Y%m%d-%H%M)
[ "$rc" = 0 ] || fail "dump by name exited $rc: $(cat "$WORK/named.log" "$WORK/named.err")"
chosen=$(sed -n 's/^Report: //p' "$WORK/named.log")
stamp=${chosen##*sample_target-}
stamp=${stamp%-$pid_a.TXT}
[[ "$stamp" =~ ^[0-9]{8}-[0-9]{6}$ ]] || fail "time stamp of '$chosen' is not to the second"
[ "${stamp:0:13}" = "$before" ] || [ "${stamp:0:13}" = "$after" ] || fail "time stamp of '$chosen' is neither $before nor $after"
[ "$chosen" = "$(winpath "$WORK")\\sample_target-$stamp-$pid_a.TXT" ] || fail "default report name '$chosen'"
report2="$WORK/sample_target-$stamp-$pid_a.TXT"
[ -s "$report2" ] || fail "no report at $report2"
tr -d '\r' < "$report2" > "$report2.lf"
grep -q "(pid=$pid_a)" "$report2.lf" || fail "the name did not find target A"
grep -q '^\*----> Commited Memory (0x10000000-   65536) rw- P <----\*$' "$report2.lf" || fail "no pattern region line"
python3 - "$report2.10000000.bin" <<'PY' || fail "the pattern region changed"
import sys
d = open(sys.argv[1], "rb").read()
sys.exit(0 if d == bytes((i * 7 + 3) & 0xFF for i in range(0x10000)) else 1)
PY
# The same threads in both dumps: every live thread of A, and one more for attaching.
live=$(tr -d '\r' < "$raw_a" | awk '/^thread /{print $3}')
for id in $live; do
  heading="State Dump for Thread ID 0x$(printf '%x' "$id")"
  grep -qx "$heading" "$report1.lf" || fail "first dump lacks thread $id"
  grep -qx "$heading" "$report2.lf" || fail "second dump lacks thread $id"
done
for report in "$report1.lf" "$report2.lf"; do
  n=$(grep -c '^State Dump for Thread ID 0x' "$report")
  [ "$n" = $(( $(echo "$live" | wc -w) + 1 )) ] || fail "$n thread sections in $report"
done
grep -Eq '^function: alpha_wait\b' "$report2.lf" || fail "worker_alpha is no longer in alpha_wait"
wait_gone "$host_a" || fail "target A still runs after a dump without --keep-running"
exec 3>&-
echo "PASS"
