#!/usr/bin/env bash
# Builds the simulated PC and the driver, then runs an application session
# against the driver on it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target vexlor-demo
build/default/apps/demo/vexlor-demo "$@"
