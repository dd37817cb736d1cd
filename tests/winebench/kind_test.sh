#!/usr/bin/env bash
# kind_test.sh KIND_SCRIPT WINERUN PROBE.exe PROBE_KIND: the bench's choice of kind. The probe
# answers i686 exactly where i386 programs start; WINEBENCH_KIND forces a kind and is refused
# where that kind cannot run; winerun reads a program's kind from its machine type. Where this
# test may make a mount namespace (root), it also replays a kernel that runs no 32-bit
# processes (the i386 program interpreter replaced) and checks the answers there.
set -u
kind="$1" winerun="$2" probe="$3" probe_kind="$4"
here=$(cd "$(dirname "$(readlink -f "$0")")" && pwd)
. "$here/winebench.sh"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() {  # expect WHAT EXPECTED_STATUS EXPECTED_OUTPUT COMMAND...
  local what="$1" status="$2" output="$3" out rc; shift 3
  out=$("$@" 2>/dev/null); rc=$?
  [ "$rc" = "$status" ] && [ "$out" = "$output" ] || fail "$what: status $rc, output '$out'"
}

# i386 programs start here when the i386 program interpreter runs.
if /lib/ld-linux.so.2 --version >/dev/null 2>&1 && [ -x "$WB_LOADER_i686" ]; then probed=i686; else probed=x86_64; fi
unset WINEBENCH_KIND
expect "probe" 0 "$probed" "$kind"
expect "tree" 0 "$(wb_kind_tree "$probed")" "$kind" --tree
expect "override x86_64" 0 x86_64 env WINEBENCH_KIND=x86_64 "$kind"
expect "bad override" 2 "" env WINEBENCH_KIND=arm "$kind"
if [ $probed = i686 ]; then expect "override i686" 0 i686 env WINEBENCH_KIND=i686 "$kind"; fi

# The machine type of the PE header decides how winerun runs a program.
expect "kind of the probe" 0 "$probe_kind" wb_exe_kind "$probe"
fake=$(mktemp); trap 'rm -f "$fake"' EXIT
printf 'MZ' >"$fake"; head -c 58 /dev/zero >>"$fake"; printf '\x40\0\0\0PE\0\0\x4c\x01' >>"$fake"
expect "kind of an i386 header" 0 i686 wb_exe_kind "$fake"
printf 'not a program at all, but long enough to have a header field here' >"$fake"
expect "kind of a text file" 1 "" wb_exe_kind "$fake"
"$winerun" "$fake" >/dev/null 2>&1; rc=$?
[ $rc = 125 ] || fail "winerun of a file that is no program: status $rc, expected 125"

# A kernel without 32-bit processes, replayed in a private mount namespace.
interp=$(readlink -f /lib/ld-linux.so.2)
if [ -e "$interp" ] && unshare -m true 2>/dev/null; then
  no32() { unshare -m bash -c 'mount --bind /usr/bin/false "$0" && exec "$@"' "$interp" "$@"; }
  expect "probe without 32-bit processes" 0 x86_64 no32 "$kind"
  expect "override i686 without 32-bit processes" 1 "" no32 env WINEBENCH_KIND=i686 "$kind"
  printf 'MZ' >"$fake"; head -c 58 /dev/zero >>"$fake"; printf '\x40\0\0\0PE\0\0\x4c\x01' >>"$fake"
  out=$(no32 "$winerun" "$fake" 2>&1); rc=$?
  [ $rc = 125 ] && grep -q "i686 Wine does not start" <<<"$out" ||
    fail "winerun of an i686 program without 32-bit processes: status $rc: $out"
else
  echo "note: no mount namespace here; the kernel without 32-bit processes is not replayed"
fi

[ $failures = 0 ] && echo "kind: all checks passed"
exit $((failures > 0))
