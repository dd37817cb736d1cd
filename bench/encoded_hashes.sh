#!/usr/bin/env bash
# Encoder identity check: packs every file of a corpus directory into an archive of its own
# with the given kompak program and prints the SHA-256 of each archive, then one line for
# the whole list. Run it with the program built before and after an encoder change and
# compare the outputs: any change of the encoded bytes shows up.
#
#   bench/encoded_hashes.sh KOMPAK CORPUS_DIR
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 KOMPAK CORPUS_DIR" >&2
  exit 2
fi
kompak=$(readlink -f "$1")
corpus=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$corpus"
for f in *; do
  [ -f "$f" ] || continue
  "$kompak" c "$work/$f.lzh" "$f" >/dev/null
done
(cd "$work" && sha256sum -- *.lzh) | tee "$work/list"
echo "all: $(sha256sum < "$work/list" | cut -d' ' -f1)"
