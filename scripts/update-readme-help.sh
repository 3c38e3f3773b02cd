#!/usr/bin/env bash
# Regenerates the command reference in README.md from `vmlctl help-all`, so it cannot drift
# from the tool.
set -euo pipefail
cd "$(dirname "$0")/.."
vmlctl=${1:-build/default/tools/vmlctl}
help=$("$vmlctl" help-all)
python3 - "$help" <<'PY'
import re, sys
readme = open("README.md", encoding="utf-8").read()
block = "<!-- vmlctl-help:begin -->\n```text\n" + sys.argv[1].rstrip() + "\n```\n<!-- vmlctl-help:end -->"
readme = re.sub(r"<!-- vmlctl-help:begin -->.*<!-- vmlctl-help:end -->", lambda _: block, readme, flags=re.S)
open("README.md", "w", encoding="utf-8").write(readme)
PY
