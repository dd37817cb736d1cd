#!/usr/bin/env bash
# Runs every test: native unit tests, the fuzz targets briefly, and the Win32 tests under Wine.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh
ctest --test-dir build/native --output-on-failure -j 2
scripts/fuzz.sh
tests/winebench/session ctest --test-dir build/win32 --output-on-failure
