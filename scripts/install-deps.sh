#!/usr/bin/env bash
# Installs the Debian packages the native build and its tests need, when any is missing.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-dev clang-format libgtest-dev libgmock-dev libbenchmark-dev
          libasio-dev libcli11-dev nlohmann-json3-dev
          help2man)  # the man pages; scripts/consumer-test.sh installs what the packages need
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
