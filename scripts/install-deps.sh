#!/usr/bin/env bash
# Installs the Debian packages the native build and its tests need, when any is missing; with
# package names as arguments, those instead (other scripts install what only they need).
set -euo pipefail

default_packages=(cmake ninja-build g++ clang libclang-rt-dev clang-format libgtest-dev libgmock-dev libbenchmark-dev
          libasio-dev libcli11-dev nlohmann-json3-dev python3 python3-dev pybind11-dev python3-pytest
          help2man  # the man pages; scripts/consumer-test.sh installs what the packages need
          mono-mcs mono-runtime golang-go)  # the tests of the C# and Go bindings
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
