#!/usr/bin/env bash
# Benchmarks (not part of test.sh): builds the native tree, assembles three corpora (see
# scripts/bench_corpus.sh: Windows binaries with some text, x86-64 shared libraries with more
# text, 10,000 small files; BENCH_CORPORA picks some) and runs the codec benchmarks over each,
# then the installation benchmark; every benchmark prints this library's figures beside the
# peers' from the same run, and checks the encoded bytes of the first two corpora against
# their committed hashes. BENCH_RUNS sets the runs per figure (best of them).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${BENCH_RUNS:-1}
cmake -S . -B build/native -G Ninja >/dev/null
cmake --build build/native -j2 >/dev/null

mkdir -p build/bench-work
scratch=$(mktemp -d /dev/shm/kompak-bench.XXXXXX 2>/dev/null || mktemp -d build/bench-work/scratch.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
# Each corpus (its archives and outputs in memory where /dev/shm allows, so that the disk does
# not hide the codecs): the encoder beside jlha and the in-process decoder beside the peers, then
# whole `kompak x` processes beside the peers' over one archive of it.
for kind in ${BENCH_CORPORA:-windows unix small}; do
  corpus=$(scripts/bench_corpus.sh "$kind")
  echo "== $kind corpus, encode: kompak32 LZH_Add beside jlha; decode of its archive beside lhasa, 7z, bsdtar"
  build/native/bench/encode_bench "$corpus" "$scratch/encode" --runs "$runs"
  if [ -f "bench/encoded/$kind.txt" ]; then
    echo "== $kind corpus, encoded bytes against bench/encoded/$kind.txt"
    bench/encoded_hashes.sh --check "bench/encoded/$kind.txt" build/native/tools/kompak/kompak "$corpus" |
      tail -n 5 || echo "encoded bytes: the check failed (see above)"
  fi

  echo "== $kind corpus, decode: kompak32 (kompak x) beside lhasa, 7z and bsdtar extracting one archive"
  archive=build/bench-work/decode-$kind.lzh
  if [ ! -f "$archive" ] || [ -n "$(find "$corpus" -maxdepth 1 -name ".size-*" -newer "$archive")" ]; then
    rm -f "$archive"
    (cd "$corpus" && find . -maxdepth 1 -type f ! -name '.*' -printf '%f\n' | sort |
       xargs "$OLDPWD/build/native/tools/kompak/kompak" a "$OLDPWD/$archive" >/dev/null)
  fi
  build/native/bench/decode_bench build/native/tools/kompak/kompak "$archive" "$scratch" \
    "$(( runs < 3 ? 3 : runs ))"
done

echo "== install: setup.exe beside an NSIS installer of the same files, under Wine"
dpkg-query -W -f='${Status}' nsis 2>/dev/null | grep -q 'install ok installed' ||
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends nsis >/dev/null
scripts/build.sh >/dev/null
bench/install_bench.sh
