#!/usr/bin/env bash
# Installs the Debian packages the native build and its tests need, when any is missing; with
# package names as arguments, those instead (other scripts install what only they need); with
# --demo, only what scripts/demo.sh needs to build vmlctl (the CMake preset "demo").
#
# A registry can serve one index badly on a given day (a foreign architecture's list that fails
# its size check while a mirror syncs): the package lists are then refreshed once more, and the
# install goes on with the lists that did load. Only the install itself decides success.
set -euo pipefail

default_packages=(cmake ninja-build g++ clang libclang-rt-dev clang-format libgtest-dev libgmock-dev libbenchmark-dev
          libasio-dev libcli11-dev nlohmann-json3-dev python3 python3-dev python3-venv pybind11-dev python3-pytest
          help2man  # the man pages; scripts/consumer-test.sh installs what the packages need
          mono-mcs mono-runtime golang-go  # the tests of the C# and Go bindings
          libboost1.81-dev libssl-dev libcpp-httplib-dev  # the gateway's HTTP (Beast), and an HTTP client for its benchmark
          curl wrk python3-jsonschema chromium chromium-driver python3-selenium  # clients of the gateway's tests and docs
          ansible-core  # the Ansible collection: its build and its playbook tests
          prometheus-cpp-dev prometheus python3-yaml)  # the gateway's metrics, the Prometheus and promtool that test them, and the reader of their example configuration
# vmlctl alone: the library, the simulator it embeds (asio), the configuration engine (JSON) and
# its command line (CLI11).
demo_packages=(cmake ninja-build g++ libasio-dev libcli11-dev nlohmann-json3-dev)
if [ "${1:-}" = "--demo" ]; then
  packages=("${demo_packages[@]}")
elif [ $# -gt 0 ]; then
  packages=("$@")
else
  packages=("${default_packages[@]}")
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# Refreshes the package lists, tolerating an index that will not load.
refresh_lists() {
  if ! $sudo apt-get update -qq; then
    echo "install-deps: apt-get update failed; trying once more" >&2
    sleep 5
    $sudo apt-get update -qq ||
      echo "install-deps: apt-get update failed again; going on with the package lists that loaded" >&2
  fi
}

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  refresh_lists
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
