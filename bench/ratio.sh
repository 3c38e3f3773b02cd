#!/usr/bin/env bash
# Runs the transaction benchmark and prints the library's cost relative to the raw-socket floor.
set -euo pipefail
bench=${1:-build/default/bench/transaction_bench}
"$bench" --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true --benchmark_format=json |
  python3 -c '
import json, sys
runs = {b["run_name"]: b["real_time"] for b in json.load(sys.stdin)["benchmarks"] if b.get("aggregate_name") == "median"}
library = runs["LibraryPtzStop/real_time"]
raw, bounded = runs["RawSocketPtzStop/real_time"], runs["BoundedRawSocketPtzStop/real_time"]
print(f"per operation: library {library / 1000:.1f} us, bare raw sockets {raw / 1000:.1f} us, "
      f"bounded raw sockets {bounded / 1000:.1f} us")
print(f"library / bare = {library / raw:.3f}, library / bounded = {library / bounded:.3f}")
'
