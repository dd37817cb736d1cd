#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build/fuzz and runs each one
# briefly over a scratch copy of its seed corpus. FUZZ_SECONDS sets the time per target.
# Fails when a target finds a crash, a leak or undefined behaviour.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-8}
cmake -S . -B build/fuzz -G Ninja -DKOMPAK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
targets=(fuzz_header_walk fuzz_lh5_decoder fuzz_lh5_roundtrip setup_dat_fuzz text_rewrite_fuzz
         path_macros_fuzz manifest_fuzz)
cmake --build build/fuzz -j 2 --target "${targets[@]}" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for t in "${targets[@]}"; do
  name=${t#fuzz_}; name=${name%_fuzz}
  mkdir -p "$work/$t/corpus" "$work/$t/tmp"
  seeds=fuzz/corpus/$name
  [ -d "$seeds" ] || seeds=""
  log=$work/$t/log
  if (cd "$work/$t" && TMPDIR="$work/$t/tmp" \
        "$OLDPWD/build/fuzz/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 \
        -rss_limit_mb=1024 -timeout=10 corpus ${seeds:+"$OLDPWD/$seeds"} >"$log" 2>&1); then
    runs=$(grep -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}')
    echo "fuzz $t: ${runs:-?} runs in ${seconds}s, no finding"
  else
    echo "fuzz $t: FINDING" >&2
    grep -v -e '^LZH Decompress Exception' -e '^CRC Error' "$log" | tail -40 >&2
    cp "$work/$t"/crash-* "$work/$t"/leak-* "$work/$t"/timeout-* build/fuzz/ 2>/dev/null || true
    status=1
  fi
done
exit $status
