#!/usr/bin/env bash
# orphan_test.sh WINERUN DRIVER_TEST_EXE BENCH_DIR: a test program that winerun kills on its
# time-out takes down the programs its driver started (their job is closed with it).
set -u
winerun="$1" exe="$2" bench="$3"
apps() {
  local p
  for p in $(pgrep -f 'selftest_app\.exe --hang'); do
    { tr '\0' '\n' <"/proc/$p/environ"; } 2>/dev/null | grep -qE "^WINEPREFIX=$bench/prefix-" && echo "$p"
  done
}
"$winerun" --timeout 10 "$exe" --gtest_also_run_disabled_tests \
    --gtest_filter=DriverOrphan.DISABLED_StartsTheAppAndHangs &
runner=$!
seen=""
for i in $(seq 1 100); do
  seen=$(apps); [ -n "$seen" ] && break
  kill -0 $runner 2>/dev/null || break
  sleep 0.1
done
[ -n "$seen" ] || { echo "FAIL: the driven program never ran"; wait $runner; exit 1; }
wait $runner; rc=$?
[ $rc = 124 ] || { echo "FAIL: winerun status $rc, expected 124 (time-out)"; exit 1; }
for i in $(seq 1 50); do
  [ -z "$(apps)" ] && { echo "the driven program ended with its driver"; exit 0; }
  sleep 0.1
done
echo "FAIL: left running after the driver was killed: $(apps)"
exit 1
