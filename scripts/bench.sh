#!/usr/bin/env bash
# Benchmarks (not part of test.sh): builds the native tree, assembles a corpus of Windows
# binaries (Debian's Wine i386 DLLs) and large text files (about BENCH_CORPUS_MB, default
# 100 MB) in build/bench-corpus, and runs each benchmark over it; every benchmark prints
# this library's figures beside the peers' from the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${BENCH_RUNS:-1}
cmake -S . -B build/native -G Ninja >/dev/null
cmake --build build/native -j2 >/dev/null

corpus=$(scripts/bench_corpus.sh)

echo "== encode: kompak32 LZH_Add beside jlha; decode of its archive beside lhasa, 7z, bsdtar"
build/native/bench/encode_bench "$corpus" build/bench-work/encode --runs "$runs"

echo "== decode: kompak32 (kompak x) beside lhasa, 7z and bsdtar extracting one archive"
mkdir -p build/bench-work
archive=build/bench-work/decode-corpus.lzh
if [ ! -f "$archive" ] || [ -n "$(find "$corpus" -maxdepth 1 -name ".size-*" -newer "$archive")" ]; then
  rm -f "$archive"
  (cd "$corpus" && "$OLDPWD/build/native/tools/kompak/kompak" a "$OLDPWD/$archive" * >/dev/null)
fi
scratch=$(mktemp -d /dev/shm/kompak-bench.XXXXXX 2>/dev/null || mktemp -d build/bench-work/scratch.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
build/native/bench/decode_bench build/native/tools/kompak/kompak "$archive" "$scratch" \
  "$(( runs < 3 ? 3 : runs ))"

echo "== install: setup.exe beside an NSIS installer of the same files, under Wine"
dpkg-query -W -f='${Status}' nsis 2>/dev/null | grep -q 'install ok installed' ||
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends nsis >/dev/null
scripts/build.sh >/dev/null
bench/install_bench.sh
