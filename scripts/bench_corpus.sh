#!/usr/bin/env bash
# Assembles the benchmark corpus once (about BENCH_CORPUS_MB, default 100 MB): Windows binaries
# (Debian's Wine i386 DLLs, many mid-sized files) and a tenth text (the system's C headers in
# files of about 2 MB), in build/bench-corpus; prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
corpus_mb=${BENCH_CORPUS_MB:-100}
corpus=build/bench-corpus
if [ ! -f "$corpus/.size-$corpus_mb" ]; then
  rm -rf "$corpus"; mkdir -p "$corpus"
  text_budget=$(( corpus_mb * 1024 * 1024 / 10 ))        # a tenth text
  bin_budget=$(( corpus_mb * 1024 * 1024 - text_budget ))
  used=0
  for f in $(ls -S /usr/lib/i386-linux-gnu/wine/i386-windows/*.dll | sort); do
    size=$(stat -c %s "$f")
    [ "$size" -gt $(( 4 * 1024 * 1024 )) ] && continue     # many mid-sized files, no giants
    [ $(( used + size )) -gt "$bin_budget" ] && continue
    cp "$f" "$corpus/"; used=$(( used + size ))
  done
  # Text: C headers of the system, concatenated into files of about 2 MB.
  written=0
  while IFS= read -r -d '' h; do
    [ "$written" -ge "$text_budget" ] && break
    out="$corpus/text$(( written / (2 * 1024 * 1024) )).txt"
    cat "$h" >> "$out"; written=$(( written + $(stat -c %s "$h") ))
  done < <(find /usr/include -name '*.h' -print0 | sort -z)
  touch "$corpus/.size-$corpus_mb"
fi
echo "$PWD/$corpus"

