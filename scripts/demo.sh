#!/usr/bin/env bash
# Builds the library and the command-line tool, then walks through every family of operations
# against the embedded simulated device.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target vmlctl
exec build/default/tools/vmlctl "${@:-tour}"
