#!/usr/bin/env bash
# Installs the Debian packages the native build and its tests need, when any is missing; with
# package names as arguments, those instead (other scripts install what only they need).
set -euo pipefail

default_packages=(cmake ninja-build g++ clang libclang-rt-dev clang-format libgtest-dev libgmock-dev libbenchmark-dev
          libasio-dev libcli11-dev nlohmann-json3-dev python3 python3-dev pybind11-dev python3-pytest
          help2man libcpp-httplib-dev libssl-dev python3-jsonschema chromium chromium-driver python3-selenium)  # the man pages, the gateway and its browser tests; scripts/consumer-test.sh installs what the packages need
if [ $# -gt 0 ]; then packages=("$@"); else packages=("${default_packages[@]}"); fi
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
