#!/usr/bin/env bash
# The whole test suite: the native build with warnings as errors (the Python package's pytest
# suite among its tests), its Debian packages checked by hosts built against them, the same
# tests under AddressSanitizer and UndefinedBehaviorSanitizer, the multi-threaded tests under
# ThreadSanitizer, a clang build with short fuzzing runs of the reply readers, of the whole
# transaction and of the simulator's request handling, the format check, and the Windows DLLs
# under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

# Every test run's output is kept, so the last line can add up what ran across the stages.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
run() { "$@" 2>&1 | tee -a "$log"; }

echo "== native build and tests"
cmake --preset default >/dev/null
cmake --build --preset default
run ctest --preset default -j2

# The Python package's tests ran with the other native tests (ctest: python, python_installed,
# python_pip_install, python_fleet_example); this checks that its device calls release the GIL,
# as a ratio of wall times against devices that answer late, so a loaded machine barely moves it.
if [ -d build/default/python/vmlcmd ]; then
  echo "== Python package: N threads over N devices against one"
  PYTHONPATH=build/default/python /usr/bin/python3 python/bench/gil_ratio.py --threads 8 --check
fi

echo "== Debian packages, and hosts built against them"
run scripts/consumer-test.sh build/default

echo "== sanitizers"
cmake --preset asan >/dev/null
cmake --build --preset asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 run ctest --preset asan -j2

echo "== thread sanitizer: objects on many threads"
cmake --preset tsan >/dev/null
cmake --build --preset tsan
run ctest --preset tsan

echo "== clang build, tests and short fuzzing runs"
cmake --preset clang >/dev/null
cmake --build --preset clang
run ctest --preset clang -j2
corpus=$(mktemp -d)
cp fuzz/corpus/* "$corpus"
build/clang/fuzz/reply_readers_fuzz -max_total_time=20 -max_len=400 "$corpus" 2>&1 | tail -n 1
rm -rf "$corpus"
corpus=$(mktemp -d)
cp fuzz/corpus-transaction/* "$corpus"
build/clang/fuzz/transaction_fuzz -max_total_time=20 -max_len=1200 "$corpus" 2>&1 | tail -n 1
rm -rf "$corpus"
corpus=$(mktemp -d)
cp fuzz/corpus-sim/* "$corpus"
build/clang/fuzz/sim_request_fuzz -max_total_time=15 -max_len=2048 "$corpus" 2>&1 | tail -n 1
rm -rf "$corpus"

echo "== format"
files=$(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror $files

if [ -x scripts/wine-tests.sh ]; then
  echo "== Windows DLLs under Wine"
  run scripts/wine-tests.sh
fi

passed=$(grep -oE "tests passed, 0 tests failed out of [0-9]+" "$log" | awk '{sum += $NF} END {print sum + 0}')
echo "test: $passed passed, 0 failed"
