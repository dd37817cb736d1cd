#!/usr/bin/env bash
# Benchmarks (not part of test.sh): builds the native tree, assembles a corpus of Windows
# binaries (Debian's Wine i386 DLLs) and large text files (about BENCH_CORPUS_MB, default
# 100 MB) in build/bench-corpus, and runs each benchmark over it; every benchmark prints
# this library's figures beside the peers' from the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
corpus_mb=${BENCH_CORPUS_MB:-100}
runs=${BENCH_RUNS:-1}
cmake -S . -B build/native -G Ninja >/dev/null
cmake --build build/native -j2 >/dev/null

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

echo "== encode: kompak32 LZH_Add beside jlha; decode of its archive beside lhasa, 7z, bsdtar"
build/native/bench/encode_bench "$corpus" build/bench-work/encode --runs "$runs"

echo "== decode: kompak32 (kompak x) beside lhasa, 7z and bsdtar extracting one archive"
mkdir -p build/bench-work
archive=build/bench-work/decode-corpus.lzh
if [ ! -f "$archive" ] || [ "$corpus/.size-$corpus_mb" -nt "$archive" ]; then
  rm -f "$archive"
  (cd "$corpus" && "$OLDPWD/build/native/tools/kompak/kompak" a "$OLDPWD/$archive" * >/dev/null)
fi
scratch=$(mktemp -d /dev/shm/kompak-bench.XXXXXX 2>/dev/null || mktemp -d build/bench-work/scratch.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
build/native/bench/decode_bench build/native/tools/kompak/kompak "$archive" "$scratch" \
  "$(( runs < 3 ? 3 : runs ))"
