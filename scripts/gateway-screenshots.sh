#!/usr/bin/env bash
# Regenerates the web console's pictures of the documentation, docs/gateway-*.png (the fleet, a
# device's plan, the mask and motion page), in headless Chromium against the gateway and a
# napi-sim fleet on 127.0.0.1. Not part of the test stage.
#
#   scripts/gateway-screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export CCACHE_BASEDIR=$PWD
cmake --preset default >/dev/null
cmake --build --preset default --target vmlcmd-gateway napi-sim
PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 gateway/tests/screenshots.py build/default/gateway/vmlcmd-gateway \
  build/default/sim/napi-sim docs
ls -l docs/gateway-*.png
