#!/usr/bin/env bash
# Builds everything and runs every test: the simulated PC in a debug build
# and under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --workflow --preset default
cmake --workflow --preset asan
