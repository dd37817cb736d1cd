#!/usr/bin/env bash
# Configures and builds the native tree (build/native), the Win32 tree of the deliverables
# (build/win32, i686) and its x86_64 twin (build/win64: the same Windows programs, for the Wine
# bench on machines that run no 32-bit processes). All three build on every run, whichever
# kind the bench then runs, so that code which is not 64-bit clean fails at once.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake -S . -B build/native -G Ninja >/dev/null
cmake --build build/native -j "$jobs"
for tree in win32:i686 win64:x86_64; do
  cmake -S . -B "build/${tree%%:*}" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-${tree#*:}.cmake" >/dev/null
  cmake --build "build/${tree%%:*}" -j "$jobs"
done
