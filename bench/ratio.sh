#!/usr/bin/env bash
# Runs the transaction benchmark RUNS times (default 3) and prints, for each run, the library's
# cost relative to the raw-socket floor: a bare blocking client and a bounded one, both reading
# replies whole. The three run interleaved, 21 repetitions each, and the medians are compared: on
# a virtual machine a repetition's time moves by several per cent from one to the next, more
# than the difference being measured.
#   bench/ratio.sh [BENCH] [RUNS]
set -euo pipefail
bench=${1:-build/default/bench/transaction_bench}
runs=${2:-3}
for run in $(seq 1 "$runs"); do
  "$bench" --benchmark_repetitions=21 --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true --benchmark_format=json 2>/dev/null |
    RUN="$run" python3 -c '
import json, os, sys
runs = {b["run_name"]: b["real_time"] for b in json.load(sys.stdin)["benchmarks"] if b.get("aggregate_name") == "median"}
library = runs["LibraryPtzStop/real_time"]
raw, bounded = runs["RawSocketPtzStop/real_time"], runs["BoundedRawSocketPtzStop/real_time"]
run = os.environ["RUN"]
print(f"run {run}: per operation: library {library / 1000:.1f} us, bare raw sockets {raw / 1000:.1f} us, "
      f"bounded raw sockets {bounded / 1000:.1f} us")
print(f"run {run}: library / bare = {library / raw:.3f}, library / bounded = {library / bounded:.3f}")
'
done
