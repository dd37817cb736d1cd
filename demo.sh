#!/usr/bin/env bash
# Builds everything and runs a demo installation of a generated install set under Wine.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh
echo "demo: not yet available"
