#!/usr/bin/env bash
# Builds everything and runs every test: the simulated PC in a debug build
# (with the Windows packages cross-built, checked and loaded on Wine) and
# under AddressSanitizer + UndefinedBehaviorSanitizer, then the fuzz target
# (clang, libFuzzer) and its short fixed run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh windows
cmake --workflow --preset default
cmake --workflow --preset asan
cmake --workflow --preset fuzz
