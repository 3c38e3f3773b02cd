#!/usr/bin/env bash
# Builds the Debian packages from the default build and checks them as a user meets them
# (tests/consumer): lintian, then the packages unpacked with dpkg-deb -x into a temporary
# folder (nothing is installed on this machine), hosts built against them with find_package
# and with pkg-config and run against the packaged napi-sim, and add_subdirectory of the tree.
set -euo pipefail
cd "$(dirname "$0")/.."
# CPack's DEB generator needs dpkg-shlibdeps and file; the checks need the rest.
scripts/install-deps.sh dpkg-dev file lintian man-db pkgconf make ninja-build

build=${1:-build/default}
shift || true  # the rest goes to ctest, e.g. -V

rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/packages/*.deb

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
for deb in "$build"/packages/*.deb; do
  dpkg-deb -x "$deb" "$root"
done

cmake -S tests/consumer -B build/consumer -DVMLCMD_ROOT="$root" -DVMLCMD_PACKAGES="$PWD/$build/packages" \
  -DVMLCMD_SOURCE_DIR="$PWD" >/dev/null
ctest --test-dir build/consumer --output-on-failure "$@"
