#!/usr/bin/env bash
# Runs the paired transaction benchmark RUNS times (default 3) and prints, for each run, the
# library's cost relative to the raw-socket floor: a bare blocking client and a bounded one, both
# reading replies whole. In each run the three take turns operation by operation, each operation
# timed on its own, and the medians are compared (the means are printed beside them): on a
# virtual machine the cost of a connection drifts over seconds by more than the difference being
# measured, and only operations side by side see the same machine.
# The clients and the simulated device share one processor (VMLCMD_RATIO_CPU, default the first
# this process may use; "none" leaves them to the scheduler): across two processors a run falls
# into one of several patterns of wake-ups between them, and which one moves the three clients'
# times by different amounts, so that the same build measures from 1.00 to 1.14 from run to run.
#   bench/ratio.sh [BENCH] [RUNS]
set -euo pipefail
bench=${1:-build/default/bench/transaction_bench}
runs=${2:-3}
cpu=${VMLCMD_RATIO_CPU:-$(python3 -c 'import os; print(min(os.sched_getaffinity(0)))')}
pin=()
if [[ $cpu != none ]]; then
  pin=(taskset -c "$cpu")
  echo "clients and simulated device on processor $cpu"
fi
for run in $(seq 1 "$runs"); do
  "${pin[@]}" "$bench" --benchmark_filter='^PairedPtzStop' --benchmark_format=json 2>/dev/null |
    RUN="$run" python3 -c '
import json, os, sys
b = next(b for b in json.load(sys.stdin)["benchmarks"] if b["run_name"].startswith("PairedPtzStop"))
run, n = os.environ["RUN"], b["iterations"]
lib, bare, bounded = (b[k + "_median_us"] for k in ("library", "bare", "bounded"))
mlib, mbare, mbounded = (b[k + "_mean_us"] for k in ("library", "bare", "bounded"))
print(f"run {run}: {n} operations each; median per operation: library {lib:.1f} us, "
      f"bare raw sockets {bare:.1f} us, bounded raw sockets {bounded:.1f} us")
print(f"run {run}: library / bare = {lib / bare:.3f}, library / bounded = {lib / bounded:.3f} "
      f"(means: {mlib / mbare:.3f}, {mlib / mbounded:.3f})")
'
done
