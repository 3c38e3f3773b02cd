#!/usr/bin/env bash
# Gets the single-header form of the HTTP library for the Windows build of vmlcmd-gateway.
#
# Debian's libcpp-httplib-dev holds a header of declarations and a compiled Linux library, which
# the mingw-w64 compilers cannot use; the whole library as one header is in Debian's source
# package cpp-httplib. This takes that package (with Debian's own patches applied, as the
# Linux library is built) from the machine's Debian release and keeps its httplib.h in a folder
# of its own outside git, where the Windows build includes it from.
#
#   scripts/fetch-httplib-source.sh [DIR]      DIR: build/third-party/cpp-httplib by default
#
# Prints the header's path on success. Exit status: 0 the header is there; 1 it could not be
# fetched for a reason of the machine (no apt, no Debian release, no network, no dpkg-source),
# said on the error stream; 2 what was fetched is not what the build needs (not the single
# header, or another version than the installed libcpp-httplib-dev).
#
# apt works in a private state folder: the deb-src line, its index and the download never touch
# the machine's own apt lists. Signatures are checked by apt against the release's keyring
# (the index is signed, the files are checked against the index's checksums).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/third-party/cpp-httplib}
keyring=/usr/share/keyrings/debian-archive-keyring.gpg

fail() {
  echo "fetch-httplib-source: $*" >&2
  exit 1
}
wrong() {
  echo "fetch-httplib-source: $*" >&2
  exit 2
}
header_version() { sed -n 's/^#define CPPHTTPLIB_VERSION "\(.*\)"$/\1/p' "$1"; }

# The header has to be the whole library (the split header of the binary package declares
# Server::listen_after_bind; the single one also defines it), of the installed package's version.
check_header() {
  local header=$1 origin=$2 version
  grep -q '^inline bool Server::listen_after_bind' "$header" ||
    wrong "the httplib.h of $origin is not the single-header library"
  version=$(header_version "$header")
  [ -n "$version" ] || wrong "the httplib.h of $origin names no CPPHTTPLIB_VERSION"
  if [ -n "$installed_header_version" ] && [ "$version" != "$installed_header_version" ]; then
    wrong "the httplib.h of $origin has version $version, the installed libcpp-httplib-dev $installed_header_version"
  fi
}

# The source version to ask for: the installed binary package's, so that both builds have the
# same library (and the same Debian patches); any version where it is not installed.
installed=$(dpkg-query -W -f='${db:Status-Status} ${Version}' libcpp-httplib-dev 2>/dev/null |
  sed -n 's/^installed //p' || true)
installed_header_version=""
[ -f /usr/include/httplib.h ] && installed_header_version=$(header_version /usr/include/httplib.h)

if [ -f "$dir/httplib.h" ] && [ -f "$dir/source-version" ]; then
  # A kept header that no longer passes is fetched again.
  if { [ -z "$installed" ] || [ "$(cat "$dir/source-version")" = "$installed" ]; } &&
    (check_header "$dir/httplib.h" "$dir" 2>/dev/null); then
    realpath "$dir/httplib.h"
    exit 0
  fi
fi

command -v apt-get >/dev/null 2>&1 || fail "apt-get is missing (not a Debian system)"
command -v dpkg-source >/dev/null 2>&1 || fail "dpkg-source is missing (apt-get install dpkg-dev)"
[ -f "$keyring" ] || fail "$keyring is missing (apt-get install debian-archive-keyring)"
codename=""
if [ -f /etc/os-release ]; then
  # shellcheck disable=SC1091  # the machine's own release file
  codename=$(. /etc/os-release; if [ "${ID:-}" = debian ]; then echo "${VERSION_CODENAME:-}"; fi)
fi
[ -n "$codename" ] || fail "not a Debian release with a codename (/etc/os-release)"

mkdir -p "$dir"
work=$(realpath "$(mktemp -d "$dir/.fetch.XXXXXX")")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/download"
cat >"$work/deb-src.sources" <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename $codename-updates
Components: main
Signed-By: $keyring

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: $codename-security
Components: main
Signed-By: $keyring
EOF
apt_options=(-o "Dir::Etc::sourcelist=$work/deb-src.sources" -o Dir::Etc::sourceparts=- -o
             "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache" -o
             APT::Get::List-Cleanup=0 -o Acquire::Retries=1 -o Acquire::http::Timeout=30 -o
             "APT::Sandbox::User=$(id -un)" -qq)
# The first error apt gave, or else its first warning.
apt_said() { grep -m1 '^E:' "$work/apt.log" || grep -m1 '^W:' "$work/apt.log" || tail -n 1 "$work/apt.log"; }
if ! apt-get "${apt_options[@]}" --error-on=any update >"$work/apt.log" 2>&1; then
  fail "the source index of Debian $codename could not be loaded: $(apt_said)"
fi
package=cpp-httplib
[ -n "$installed" ] && package="cpp-httplib=$installed"
if ! (cd "$work/download" && apt-get "${apt_options[@]}" source --download-only "$package") >"$work/apt.log" 2>&1; then
  fail "the source package $package could not be downloaded: $(apt_said)"
fi
dsc=$(find "$work/download" -maxdepth 1 -name 'cpp-httplib_*.dsc' | head -n 1)
[ -n "$dsc" ] || fail "no .dsc among the downloaded files"
# apt has checked the files against the signed index; dpkg-source unpacks and applies the
# package's patches.
dpkg-source -x --no-check "$dsc" "$work/source" >"$work/dpkg-source.log" 2>&1 ||
  fail "dpkg-source could not unpack $(basename "$dsc"): $(tail -n 1 "$work/dpkg-source.log")"

header=$work/source/httplib.h
[ -f "$header" ] || wrong "$(basename "$dsc") holds no httplib.h"
check_header "$header" "$(basename "$dsc")"

cp "$header" "$dir/httplib.h.new"
cp "$work/source/LICENSE" "$dir/LICENSE" 2>/dev/null || true
mv "$dir/httplib.h.new" "$dir/httplib.h"
basename "$dsc" .dsc | sed 's/^cpp-httplib_//' >"$dir/source-version"
echo "fetch-httplib-source: httplib.h $(header_version "$header") from $(basename "$dsc")" >&2
realpath "$dir/httplib.h"
