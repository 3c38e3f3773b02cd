#!/usr/bin/env bash
# Regenerates the help texts the documentation quotes, so they cannot drift from the tools:
# `vmlctl help-all` in docs/vmlctl.md, `napi-sim --help` in docs/simulator.md and
# `vmlcmd-gateway --help` in docs/gateway.md (the blocks between <!-- TOOL-help:begin --> and
# <!-- TOOL-help:end --> of any page). The test docs_help_current fails while one differs.
# Usage: scripts/update-readme-help.sh [BUILD_DIR]   (default build/default)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
# An older form of this script took the path of vmlctl itself.
case "$build" in */tools/vmlctl) build=${build%/tools/vmlctl} ;; esac
tools=(--tool "vmlctl=$build/tools/vmlctl" --tool "napi-sim=$build/sim/napi-sim")
if [ -x "$build/gateway/vmlcmd-gateway" ]; then
  tools+=(--tool "vmlcmd-gateway=$build/gateway/vmlcmd-gateway")
fi
exec python3 tests/docs/docblocks.py update-help "${tools[@]}" README.md docs/*.md
