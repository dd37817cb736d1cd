#!/usr/bin/env bash
# Runs every test: native unit tests, the fuzz targets briefly, and the Win32 tests under Wine
# (the i686 programs under 32-bit Wine, or their x86_64 twins where 32-bit Wine cannot start).
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh
ctest --test-dir build/native --output-on-failure -j 2
scripts/fuzz.sh
tests/winebench/kind --describe
tests/winebench/session ctest --test-dir "$(tests/winebench/kind --tree)" --output-on-failure
