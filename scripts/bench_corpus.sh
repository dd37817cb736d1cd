#!/usr/bin/env bash
# bench_corpus.sh [windows|unix|small]: assembles a benchmark corpus once (about
# BENCH_CORPUS_MB, default 100 MB) and prints its path.
#   windows (build/bench-corpus): Windows binaries (Debian's Wine i386 DLLs, many mid-sized
#     files) and a tenth text (the system's C headers in files of about 2 MB);
#   unix (build/bench-corpus-unix): the machine's x86-64 shared libraries and three tenths
#     text (compressed documentation and manual pages expanded, in files of about 2 MB);
#   small (build/bench-corpus-small): 10,000 files of 1-4 KB cut from the windows corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-windows}
corpus_mb=${BENCH_CORPUS_MB:-100}

# add_binaries BUDGET FILES...: copies files of at most 4 MB, largest first, while they fit.
add_binaries() {
  local budget=$1 used=0 size f; shift
  for f in $(ls -S "$@" | sort); do
    size=$(stat -c %s "$f")
    [ "$size" -gt $(( 4 * 1024 * 1024 )) ] && continue     # many mid-sized files, no giants
    [ $(( used + size )) -gt "$budget" ] && continue
    cp "$f" "$corpus/$(basename "$f")"; used=$(( used + size ))
  done
}

# add_text BUDGET COMMAND: appends what COMMAND prints for each NUL-separated path on its
# input to text files of about 2 MB.
add_text() {
  local budget=$1 written=0 out h before; shift
  while IFS= read -r -d '' h; do
    [ "$written" -ge "$budget" ] && break
    out="$corpus/text$(( written / (2 * 1024 * 1024) )).txt"
    before=$(stat -c %s "$out" 2>/dev/null || echo 0)
    "$@" "$h" >> "$out"; written=$(( written + $(stat -c %s "$out") - before ))
  done
}

case $kind in
  windows) corpus=build/bench-corpus; text_tenths=1 ;;
  unix) corpus=build/bench-corpus-unix; text_tenths=3 ;;
  small)
    corpus=build/bench-corpus-small
    if [ ! -f "$corpus/.done" ]; then
      source=$("$0" windows)
      rm -rf "$corpus"; mkdir -p "$corpus"
      # Consecutive pieces of the windows corpus, 1,024 to 4,096 bytes long.
      perl -e '
        my $dir = shift @ARGV;
        my $data = "";
        for my $name (@ARGV) {                      # the first 25 MB of the corpus
          last if length($data) > 25 * 1024 * 1024;
          open(my $in, "<", $name) or die; binmode $in; local $/; $data .= <$in>;
        }
        my $at = 0;
        for my $i (0 .. 9999) {
          my $n = 1024 + ($i * 7919) % 3073;
          open(my $f, ">", sprintf("%s/f%05d.bin", $dir, $i)) or die;
          binmode $f; print $f substr($data, $at, $n); close $f;
          $at += $n;
        }' "$corpus" "$source"/*
      touch "$corpus/.done"
    fi
    echo "$PWD/$corpus"; exit 0 ;;
  *) echo "usage: $0 [windows|unix|small]" >&2; exit 2 ;;
esac
if [ ! -f "$corpus/.size-$corpus_mb" ]; then
  rm -rf "$corpus"; mkdir -p "$corpus"
  text_budget=$(( corpus_mb * 1024 * 1024 * text_tenths / 10 ))
  bin_budget=$(( corpus_mb * 1024 * 1024 - text_budget ))
  if [ "$kind" = windows ]; then
    add_binaries "$bin_budget" /usr/lib/i386-linux-gnu/wine/i386-windows/*.dll
    add_text "$text_budget" cat < <(find /usr/include -name '*.h' -print0 | sort -z)
  else
    mapfile -t libs < <(find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -name '*.so*')
    add_binaries "$bin_budget" "${libs[@]}"
    add_text "$text_budget" gzip -dc < <(find /usr/share/doc /usr/share/man -type f -name '*.gz' -print0 | sort -z)
  fi
  touch "$corpus/.size-$corpus_mb"
fi
echo "$PWD/$corpus"
