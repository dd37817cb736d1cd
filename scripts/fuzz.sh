#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build/fuzz and runs each one.
#   scripts/fuzz.sh             briefly (FUZZ_SECONDS, default 8), one target after another,
#                               over a scratch copy of its seed corpus: the test run's version.
#   scripts/fuzz.sh --campaign  the long campaign: FUZZ_SECONDS (default 1800) per target,
#                               FUZZ_JOBS targets at once (default 2) at low priority, over
#                               the seeds and what earlier campaigns found (build/fuzz-campaign);
#                               inputs that reach new code are merged into fuzz/corpus, and
#                               the figures are written to docs/fuzzing.md.
# Fails when a target finds a crash, a leak, a timeout or undefined behaviour; the input is
# kept in build/fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
campaign=0
[ "${1:-}" = --campaign ] && campaign=1
if [ $campaign = 1 ]; then
  seconds=${FUZZ_SECONDS:-1800}; jobs=${FUZZ_JOBS:-2}
  work=$PWD/build/fuzz-campaign
else
  seconds=${FUZZ_SECONDS:-8}; jobs=1
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
cmake -S . -B build/fuzz -G Ninja -DKOMPAK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
all=(fuzz_header_walk fuzz_lh5_decoder fuzz_lh5_roundtrip setup_dat_fuzz payload_fuzz
     text_rewrite_fuzz path_macros_fuzz manifest_fuzz)
# FUZZ_TARGETS (names separated by spaces) runs some of them; the campaign's report keeps the
# other targets' rows from their last run.
read -r -a targets <<< "${FUZZ_TARGETS:-${all[*]}}"
cmake --build build/fuzz -j 2 --target "${targets[@]}" >/dev/null

# run TARGET: fuzzes one target in $work/TARGET; its log and figures stay there.
run() {
  local t=$1 name seeds dir
  name=${t#fuzz_}; name=${name%_fuzz}
  dir=$work/$t
  mkdir -p "$dir/corpus" "$dir/tmp"
  seeds=fuzz/corpus/$name
  [ -d "$seeds" ] || seeds=""
  local abs=$PWD status=0
  (cd "$dir" && TMPDIR="$dir/tmp" nice -n $(( campaign * 10 )) \
     "$abs/build/fuzz/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 \
     -rss_limit_mb=1024 -timeout=10 corpus ${seeds:+"$abs/$seeds"} >log 2>&1) || status=$?
  echo $status > "$dir/status"
  if [ $status = 0 ] && [ $campaign = 1 ]; then
    # Keep the seeds as they are and add what reaches code they do not.
    mkdir -p "fuzz/corpus/$name"
    "$abs/build/fuzz/fuzz/$t" -merge=1 "$abs/fuzz/corpus/$name" "$dir/corpus" >"$dir/merge.log" 2>&1 || true
  fi
}

# figure TARGET KEY: a final statistic of the target's run.
figure() { grep -m1 "stat::$2:" "$work/$1/log" | awk "{print \$2}" || true; }

status=0
running=0
for t in "${targets[@]}"; do
  rm -f "$work/$t/status" "$work/$t"/crash-* "$work/$t"/leak-* "$work/$t"/timeout-*
  run "$t" &
  running=$(( running + 1 ))
  if [ $running -ge "$jobs" ]; then wait -n || true; running=$(( running - 1 )); fi
done
wait

for t in "${targets[@]}"; do
  name=${t#fuzz_}; name=${name%_fuzz}
  runs=$(figure "$t" number_of_executed_units); rate=$(figure "$t" average_exec_per_sec)
  cov=$(grep -o "cov: [0-9]*" "$work/$t/log" | tail -1 | awk "{print \$2}" || true)
  files=$(find "fuzz/corpus/$name" -type f 2>/dev/null | wc -l || true)
  if [ "$(cat "$work/$t/status")" = 0 ]; then
    found=0
    echo "fuzz $t: ${runs:-?} runs in ${seconds}s, no finding"
  else
    found=1
    echo "fuzz $t: FINDING" >&2
    grep -v -e '^LZH Decompress Exception' -e '^CRC Error' "$work/$t/log" | tail -40 >&2
    cp "$work/$t"/crash-* "$work/$t"/leak-* "$work/$t"/timeout-* build/fuzz/ 2>/dev/null || true
    status=1
  fi
  echo "| $t | $(date -u +%Y-%m-%d) | $seconds | ${runs:-?} | ${rate:-?} | ${cov:-?} | $files | $found |" > "$work/$t/row"
done

if [ $campaign = 1 ]; then
  # What follows the table ("## Findings", written by hand: what was found and how it was
  # mended) is kept.
  findings=$(sed -n '/^## Findings/,$p' docs/fuzzing.md 2>/dev/null || true)
  # A target that did not run here keeps its row from the report (build/ may be new).
  previous=$(grep '^| [a-z_0-9]* | [0-9]' docs/fuzzing.md 2>/dev/null || true)
  {
    echo "# Fuzzing campaign"
    echo
    echo "Written by \`scripts/fuzz.sh --campaign\` ($(nproc) processors, $jobs targets at once at"
    echo "low priority beside other work; clang with ASan and UBSan). Each row is a target's last"
    echo "run: its date, seconds, executions, rate and coverage; the corpus is the one kept in"
    echo "fuzz/corpus after the merge, which the normal test run replays."
    echo
    echo "| target | run on | seconds | executions | per second | coverage (edges) | corpus files | findings |"
    echo "|---|---|---|---|---|---|---|---|"
    for t in "${all[@]}"; do
      if [ -f "$work/$t/row" ]; then cat "$work/$t/row"; else grep "^| $t |" <<< "$previous" || true; fi
    done
    if [ -n "$findings" ]; then echo; echo "$findings"; fi
  } > docs/fuzzing.md
  cat docs/fuzzing.md
fi
exit $status
