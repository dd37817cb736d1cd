#!/usr/bin/env bash
# install_bench.sh: installs the benchmark corpus (scripts/bench_corpus.sh; run scripts/build.sh first)
# under Wine twice in one bench session: with a single-file setup.exe of it (install_kit,
# dialogs answered at once by setup_bench_driver) and with an NSIS installer of the same files
# (makensis, default compression, run silently with /S). Prints the best time of each over
# BENCH_RUNS runs (default 3), their ratio and the peak memory of both installers.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$PWD
if [ -z "${WINEBENCH_SESSION:-}" ]; then exec tests/winebench/session "$0" "$@"; fi
runs=${BENCH_RUNS:-3}
corpus=$(scripts/bench_corpus.sh)
tree=$(tests/winebench/kind --tree)
. "$tree/demo-paths.sh"
work=$here/build/bench-work/install
rm -rf "$work"; mkdir -p "$work"
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

build/native/bench/install_kit "$setup_exe" "$kompak32_dll" "$corpus" 'C:\BENCHKIT' "$work/kit_setup.exe"
cat >"$work/bench.nsi" <<NSI
Name "Benchmark"
OutFile "$work/nsis_setup.exe"
InstallDir "C:\\BENCHNSIS"
RequestExecutionLevel user
SilentInstall silent
Section
  SetOutPath "\$INSTDIR"
  File /x .size-* "$corpus/*"
SectionEnd
NSI
makensis -V1 "$work/bench.nsi"
files=$(find "$corpus" -maxdepth 1 -type f ! -name '.size-*' | wc -l)
bytes=$(find "$corpus" -maxdepth 1 -type f ! -name '.size-*' -printf '%s\n' | awk '{s += $1} END {print s}')
drive_c=$tree/winebench/prefix-default/drive_c

# Runs one installer through the bench driver (under winerun); prints "seconds wall-seconds
# peak-kB": the time from the start of the installer's process to its end as the driver
# measured it (both installers alike, without the driver's own start), the wall time of the
# whole winerun, and the largest VmHWM seen of the Wine process whose command line names `exe`.
measure() {
  local exe=$1; shift
  local peakfile=$work/peak start end
  echo 0 >"$peakfile"
  ( exec >/dev/null  # the poller must not hold the caller's output open
    while :; do
      for p in $(pgrep -f "$exe" || true); do
        v=$(awk '/VmHWM/ {print $2}' "/proc/$p/status" 2>/dev/null || echo 0)
        [ "${v:-0}" -gt "$(cat "$peakfile")" ] && echo "$v" >"$peakfile"
      done
      sleep 0.05
    done ) &
  local poller=$!
  local status=0 elapsed
  start=$(date +%s.%N)
  tests/winebench/winerun "$bench_driver" "$@" >"$work/driver.out" </dev/null || status=$?
  end=$(date +%s.%N)
  kill "$poller"; wait "$poller" 2>/dev/null || true
  [ $status = 0 ] || return $status
  elapsed=$(awk '/^elapsed/ {print $2}' "$work/driver.out")
  echo "$elapsed $(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.3f", b - a}') $(cat "$peakfile")"
}

check() {  # the installed directory holds every file of the corpus, byte for byte
  local dir=$1 f
  for f in "$corpus"/*; do cmp -s "$f" "$dir/$(basename "$f")" || { echo "install_bench: $dir/$(basename "$f") differs" >&2; return 1; }; done
}

best() { awk -v t="$1" -v b="$2" 'BEGIN {print (b == "" || t < b) ? t : b}'; }
best_setup=""; best_nsis=""; wall_setup=""; wall_nsis=""; peak_setup=0; peak_nsis=0
for i in $(seq 1 "$runs"); do
  rm -rf "$drive_c/BENCHKIT" "$drive_c/BENCHNSIS"
  read -r t w m < <(measure kit_setup.exe "$(winpath "$work/kit_setup.exe")")
  check "$drive_c/BENCHKIT"
  best_setup=$(best "$t" "$best_setup"); wall_setup=$(best "$w" "$wall_setup")
  [ "$m" -gt "$peak_setup" ] && peak_setup=$m
  if read -r t w m < <(measure nsis_setup.exe --plain "$(winpath "$work/nsis_setup.exe")" /S); then
    check "$drive_c/BENCHNSIS"
    best_nsis=$(best "$t" "$best_nsis"); wall_nsis=$(best "$w" "$wall_nsis")
    [ "$m" -gt "$peak_nsis" ] && peak_nsis=$m
  fi
done
awk -v files="$files" -v bytes="$bytes" -v kind="$(tests/winebench/kind)" -v runs="$runs" \
    -v ts="$best_setup" -v ws="$wall_setup" -v ms="$peak_setup" \
    -v tn="$best_nsis" -v wn="$wall_nsis" -v mn="$peak_nsis" 'BEGIN {
  printf "install of %d files, %.1f MB, under %s Wine (best of %d; process start to end,\n", files, bytes / 1048576, kind, runs
  printf "in brackets the wall time, the start of the driver included):\n"
  printf "  setup.exe %6.2f s (%5.2f s), peak %6.1f MB\n", ts, ws, ms / 1024
  if (tn == "") { print "  NSIS      not run (its installer needs 32-bit Wine)"; exit }
  printf "  NSIS      %6.2f s (%5.2f s), peak %6.1f MB\n", tn, wn, mn / 1024
  printf "  ratio setup/NSIS: %.2f (target: at most 1.5)\n", ts / tn
}'
