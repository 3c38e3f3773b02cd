#!/usr/bin/env bash
# The whole test suite: the native build with warnings as errors (the Python package's pytest
# suite among its tests), its Debian packages checked by hosts built against them, the same
# tests under AddressSanitizer and UndefinedBehaviorSanitizer, the multi-threaded tests under
# ThreadSanitizer, a clang build with short fuzzing runs of the reply readers, of the whole
# transaction and of the simulator's request handling, the format check, and the Windows DLLs
# under Wine.
#
# The closing lines add up every stage's tests ("test: N passed, M failed"), with a "not run:"
# line above it for each piece this machine could not run and why; they are printed also when
# a stage fails, naming it.
set -euo pipefail
cd "$(dirname "$0")/.."

# Every test run's output is kept, so the last line can add up what ran across the stages.
log=$(mktemp)
export VMLCMD_NOT_RUN_FILE
VMLCMD_NOT_RUN_FILE=$(mktemp)
stage=""
summary() {
  local status=$?
  # CTest closes each run with "P% tests passed, F tests failed out of T".
  local counts
  counts=$(grep -aoE "tests passed, [0-9]+ tests failed out of [0-9]+" "$log" |
           awk '{failed += $3; total += $NF} END {print total - failed, failed + 0}')
  set -- $counts
  local failed=$2
  [ "$status" -eq 0 ] || [ "$failed" -gt 0 ] || failed=$((failed + 1))  # a stage that failed outside CTest
  # A piece missing in two stages (the documentation's examples run in the native and the clang
  # build) is named once.
  awk '!seen[$0]++ {print "not run: " $0}' "$VMLCMD_NOT_RUN_FILE"
  [ "$status" -eq 0 ] || echo "FAILED in stage: $stage"
  echo "test: $1 passed, $failed failed"
  rm -f "$log" "$VMLCMD_NOT_RUN_FILE"
  exit "$status"
}
trap summary EXIT
run() { "$@" 2>&1 | tee -a "$log"; }
begin() { stage=$1; echo "== $1"; }
not_run() { echo "== NOT RUN: $*"; echo "$*" >>"$VMLCMD_NOT_RUN_FILE"; }

stage="installing what the build and tests need"
scripts/install-deps.sh

begin "native build and tests"
cmake --preset default >/dev/null
cmake --build --preset default
run ctest --preset default -j2

# The Python package's tests ran with the other native tests (ctest: python, python_installed,
# python_pip_install, python_fleet_example); this checks that its device calls release the GIL,
# as a ratio of wall times against devices that answer late, so a loaded machine barely moves it.
if [ -d build/default/python/vmlcmd ]; then
  begin "Python package: N threads over N devices against one"
  PYTHONPATH=build/default/python /usr/bin/python3 python/bench/gil_ratio.py --threads 8 --check
else
  not_run "Python package (not built: Python or pybind11 missing)"
fi

begin "Debian packages, and hosts built against them"
run scripts/consumer-test.sh build/default

begin "sanitizers"
cmake --preset asan >/dev/null
cmake --build --preset asan
# Against simulated devices that write values of their own in the reply fields the protocol
# leaves free, so that no test can lean on the 100 most devices send there.
NAPISIM_REPLY_FIELDS=drawn ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run ctest --preset asan -j2

begin "thread sanitizer: objects on many threads"
cmake --preset tsan >/dev/null
cmake --build --preset tsan
run ctest --preset tsan

begin "clang build, tests and short fuzzing runs"
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

begin "format"
files=$(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror $files

begin "Windows DLLs under Wine"
run scripts/wine-tests.sh
stage=""
