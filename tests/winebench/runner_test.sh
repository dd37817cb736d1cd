#!/usr/bin/env bash
# runner_test.sh WINERUN PROBE GOLDEN_DIR WORK_DIR: winerun on its own (no session) in a private
# bench directory: exit codes, arguments, personalities, time-out, overlapping runs, and that
# no process (Wine or Xvfb) is left behind afterwards.
set -u
winerun="$1" probe="$2" golden="$3" work="$4"
unset WINEBENCH_SESSION WINEBENCH_PREFIX
export WINEBENCH_DIR="$work" WINEBENCH_GOLDEN="$golden"
mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Processes started for this bench: every Wine process carries its WINEPREFIX.
leftovers() {
  local e pid
  for e in /proc/[0-9]*/environ; do
    pid=${e#/proc/}; pid=${pid%/environ}
    tr '\0' '\n' <"$e" 2>/dev/null | grep -qE "^WINEPREFIX=$work/prefix-(default|sp4)\$" && echo "$pid"
  done
}
check_clean() {
  local left; left=$(leftovers)
  [ -z "$left" ] || fail "$1: processes left behind: $(ps -o pid=,args= -p "${left//$'\n'/,}")"
  [ ! -e "$work/xvfb.pid" ] || fail "$1: Xvfb still recorded as running"
  # No socket directory of a stopped server stays behind in /tmp.
  local p name
  for p in "$work"/prefix-*; do
    name=$(printf 'server-%x-%x' $(stat -c '%d %i' "$p"))
    ! ls -d /tmp/wine-??????/"$name" >/dev/null 2>&1 || fail "$1: /tmp/wine-*/$name left behind"
  done
}

out=$("$winerun" "$probe" --exit 42 --env WINEBENCH_VARIANT); rc=$?
[ $rc = 42 ] || fail "exit status $rc, expected 42"
grep -q '^version 6\.1 ' <<<"$out" || fail "unexpected output: $out"
grep -q '^env WINEBENCH_VARIANT=default' <<<"$out" || fail "variant not passed: $out"
check_clean "after a normal run"

cp "$probe" "$work/probe_win98.exe"
out=$("$winerun" "$work/probe_win98.exe"); rc=$?
[ $rc = 0 ] && grep -q '^version 4\.10 build 67766446 platform 1' <<<"$out" || fail "win98 by name: $rc $out"
cp "$probe" "$work/probe_nt351sp4.exe"
out=$("$winerun" "$work/probe_nt351sp4.exe" --env WINEBENCH_VARIANT); rc=$?
grep -q '^version 3\.51 build 1057 platform 2 csd "Service Pack 4"' <<<"$out" &&
  grep -q '^env WINEBENCH_VARIANT=sp4' <<<"$out" || fail "nt351sp4 by name: $rc $out"
check_clean "after personality runs"

"$winerun" --timeout 2 "$probe" --sleep 120 >/dev/null; rc=$?
[ $rc = 124 ] || fail "time-out gave status $rc, expected 124"
check_clean "after a time-out"

# A crash ends the program at once with a failing status: no crash dialog, no debugger waiting
# for the time-out.
start=$SECONDS
"$winerun" --timeout 60 "$probe" --crash >/dev/null 2>&1; rc=$?
[ $rc = 5 ] || fail "a crash gave status $rc, expected 5 (the low byte of the access violation code)"
[ $((SECONDS - start)) -le 15 ] || fail "a crash took $((SECONDS - start)) s to fail"
check_clean "after a crash"

"$winerun" "$work/no-such.exe"; rc=$?
[ $rc = 127 ] || fail "missing program gave status $rc, expected 127"

# Two overlapping runs share the display and server; the one that ends first must not take
# down the other.
"$winerun" "$probe" --sleep 4 --exit 5 >/dev/null &
first=$!
for i in $(seq 1 100); do [ -e "$work/xvfb.pid" ] && break; sleep 0.1; done
xpid=$(cat "$work/xvfb.pid" 2>/dev/null)
"$winerun" "$probe" --exit 6 >/dev/null; rc=$?
[ $rc = 6 ] || fail "second overlapping run: status $rc"
wait $first; rc=$?
[ $rc = 5 ] || fail "first overlapping run: status $rc, expected 5"
check_clean "after overlapping runs"
[ -n "$xpid" ] && kill -0 "$xpid" 2>/dev/null && fail "Xvfb $xpid still running"

# The copies of the golden prefixes are 600 MB each: keep them only to look into a failure.
[ $failures = 0 ] && { rm -rf "$work"; echo "winerun: all checks passed"; }
exit $((failures > 0))
