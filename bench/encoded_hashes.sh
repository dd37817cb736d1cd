#!/usr/bin/env bash
# Encoder identity check: packs every file of a corpus directory into an archive of its own
# with the given kompak program and prints, per file, the SHA-256 of the file, the SHA-256 of
# its archive and its name, then one line for the whole list.
#
#   bench/encoded_hashes.sh KOMPAK CORPUS_DIR                prints the list
#   bench/encoded_hashes.sh --check TABLE KOMPAK CORPUS_DIR  compares with a committed list
#
# The member's time stamp (the file's own, and the header checksum that covers it) is zeroed
# before the archive is hashed, so a list holds wherever the corpus is assembled. --check
# compares the files that are in the corpus with the same content as in TABLE (a corpus made
# on another machine may hold other versions of some files), prints how many were equal, and
# fails if any archive differs or no file could be compared.
#   bench/encoded/windows.txt, bench/encoded/unix.txt: the lists of scripts/bench_corpus.sh's
#   corpora, made with the encoder whose bytes every later one must keep.
set -euo pipefail
table=""
if [ "${1:-}" = --check ]; then
  table=$(readlink -f "$2")
  shift 2
fi
if [ $# -ne 2 ]; then
  echo "usage: $0 [--check TABLE] KOMPAK CORPUS_DIR" >&2
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
status=0
python3 - "$work" "$table" >"$work/list" <<'EOF' || status=$?
import hashlib, os, sys
work, table = sys.argv[1], sys.argv[2]
rows = []
for name in sorted(os.listdir(".")):
    if name.startswith(".") or not os.path.isfile(name):
        continue
    with open(name, "rb") as f:
        source = hashlib.sha256(f.read()).hexdigest()
    with open(os.path.join(work, name + ".lzh"), "rb") as f:
        archive = bytearray(f.read())
    # One member: the header's checksum at offset 1, its DOS time at offsets 15-18.
    archive[1] = 0
    archive[15:19] = bytes(4)
    rows.append((source, hashlib.sha256(archive).hexdigest(), name))
if not table:
    for row in rows:
        print(*row)
    sys.exit(0)
expected = {}
for line in open(table):
    if line.strip() and not line.startswith("#"):
        source, archive, name = line.split(maxsplit=2)
        expected[(source, name.strip())] = archive
compared = differing = 0
for source, archive, name in rows:
    want = expected.get((source, name))
    if want is None:
        continue
    compared += 1
    if want != archive:
        differing += 1
        print(f"differs: {name}")
print(f"{compared} of {len(expected)} archives of the table compared ({len(rows)} files in the corpus), "
      f"{differing} differ")
sys.exit(1 if differing or not compared else 0)
EOF
cat "$work/list"
if [ -z "$table" ]; then echo "all: $(sha256sum <"$work/list" | cut -d' ' -f1)"; fi
exit "$status"
