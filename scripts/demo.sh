#!/usr/bin/env bash
# Builds the library and the command-line tool, then walks through every family of operations
# against the embedded simulated device. It installs and builds only what vmlctl needs (the
# preset "demo", in build/demo: no tests, benchmarks, gateway or Python package);
# scripts/test.sh installs and builds the rest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --demo
cmake --preset demo >/dev/null
cmake --build --preset demo
exec build/demo/tools/vmlctl "${@:-tour}"
