#!/usr/bin/env bash
# Builds the Microsoft-ABI host (MsvcHost.cpp) with clang and lld-link, from a header folder and
# an import library only, and runs it under Wine against napi-sim.exe from the same folder as
# VmlCmd.dll.
#
#   msvc-host.sh ARCH INCLUDE_DIR VMLCMD_LIB BIN_DIR WINE
#       ARCH x86 or x64; BIN_DIR holds VmlCmd.dll and napi-sim.exe, and receives the host
#   msvc-host.sh --build-only ARCH INCLUDE_DIR VMLCMD_LIB BIN_DIR
#       only builds it (where the kernel cannot run the architecture's Wine)
#   msvc-host.sh --archive ZIP WORK_DIR ARCH WINE
#       unpacks a release archive into an empty WORK_DIR and does the above from its contents
#       alone: include/, lib/VmlCmd.lib and bin/; with VMLCMD_ARCHIVE_GATEWAY=1 it also holds
#       bin/vmlcmd-gateway.exe, which has to start from there (--version)
#
# CLANG, LLD_LINK and LLVM_DLLTOOL name the tools when they are not on PATH under those names.
# Wine's prefix is the caller's (WINEPREFIX); the texts need code page 936 (LC_ALL=zh_CN.UTF-8).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
clang=${CLANG:-clang++}
lld_link=${LLD_LINK:-lld-link}
dlltool=${LLVM_DLLTOOL:-llvm-dlltool}

if [ "${1:-}" = --archive ]; then
  [ $# -eq 5 ] || { echo "usage: $0 --archive ZIP WORK_DIR ARCH WINE" >&2; exit 2; }
  zip=$(realpath "$2") work=$3 arch=$4 wine=$5
  rm -rf "$work"
  mkdir -p "$work"
  (cd "$work" && cmake -E tar xf "$zip")
  # The archive holds one top folder, VmlCmd-<version>-win32 or -win64.
  root=$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)
  missing=()
  files=(bin/VmlCmd.dll bin/napi-sim.exe bin/vmlctl.exe lib/VmlCmd.lib lib/libVmlCmd.dll.a lib/VmlCmd.def
         include/VmlCmd/ICommand.h include/VmlCmd/vmlcmd.h bindings/dotnet/VmlCmd.cs README.txt LICENSE.txt
         docs/operations.md)
  gateway=false
  [ "${VMLCMD_ARCHIVE_GATEWAY:-0}" = 1 ] && gateway=true
  $gateway && files+=(bin/vmlcmd-gateway.exe)
  for file in "${files[@]}"; do
    [ -f "$root/$file" ] || missing+=("$file")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "msvc-host: $(basename "$zip") lacks: ${missing[*]}" >&2
    exit 1
  fi
  if $gateway; then
    # Stripped, beside the archive's own VmlCmd.dll, and named in its README.
    grep -q 'bin\\vmlcmd-gateway.exe' "$root/README.txt" ||
      { echo "msvc-host: README.txt does not name vmlcmd-gateway.exe" >&2; exit 1; }
    version=$(cd "$root/bin" && "$wine" vmlcmd-gateway.exe --version | tr -d '\r')
    [[ $version == "vmlcmd-gateway "* ]] ||
      { echo "msvc-host: the archive's vmlcmd-gateway.exe did not start: $version" >&2; exit 1; }
    echo "the archive's $version starts"
  fi
  exec "$0" "$arch" "$root/include" "$root/lib/VmlCmd.lib" "$root/bin" "$wine"
fi

build_only=false
if [ "${1:-}" = --build-only ]; then
  build_only=true
  shift
  set -- "$@" ""
fi
[ $# -eq 5 ] || { echo "usage: $0 ARCH INCLUDE_DIR VMLCMD_LIB BIN_DIR WINE" >&2; exit 2; }
arch=$1 include=$2 vmlcmd_lib=$3 bin=$4 wine=$5
case $arch in
  x86) target=i686-pc-windows-msvc machine=i386 ;;
  x64) target=x86_64-pc-windows-msvc machine=i386:x86-64 ;;
  *) echo "msvc-host: unknown architecture $arch" >&2; exit 2 ;;
esac
work=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# kernel32's import library from the names the host uses; on x86 they are stdcall, decorated
# with their argument bytes, which -k removes from the names imported at run time.
kernel32=(GetStdHandle@4 WriteFile@20 ExitProcess@4 GetEnvironmentVariableA@12 GetACP@0)
{
  echo "LIBRARY kernel32.dll"
  echo "EXPORTS"
  for name in "${kernel32[@]}"; do
    if [ "$arch" = x86 ]; then echo "  $name"; else echo "  ${name%@*}"; fi
  done
} >"$work/kernel32.def"
"$dlltool" -m "$machine" -k -d "$work/kernel32.def" -l "$work/kernel32.lib"

"$clang" --target="$target" -std=c++17 -fms-extensions -ffreestanding -fno-builtin -fno-exceptions -fno-rtti -O2 \
  -Wall -Wextra -Werror -I "$include" -c "$here/MsvcHost.cpp" -o "$work/host.obj"
host=$bin/vmlcmd_msvc_host.exe
"$lld_link" /nologo /entry:mainCRTStartup /subsystem:console /nodefaultlib "/out:$host" "$work/host.obj" \
  "$vmlcmd_lib" "$work/kernel32.lib"
echo "built $host ($target, lld-link, no C runtime)"
$build_only && exit 0

# The device: the Windows build of the simulator, on any free loopback port.
(cd "$bin" && exec "$wine" napi-sim.exe --port 0) >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
port=""
for _ in $(seq 1 300); do
  port=$(sed -n 's/^napi-sim listening on 127\.0\.0\.1:\([0-9]*\).*$/\1/p' "$work/sim.out")
  [ -n "$port" ] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "msvc-host: napi-sim.exe did not start:" >&2
  cat "$work/sim.out" "$work/sim.err" >&2
  exit 1
fi
echo "napi-sim.exe listening on 127.0.0.1:$port"
status=0
(cd "$bin" && VMLCMD_DEVICE_PORT=$port exec "$wine" vmlcmd_msvc_host.exe) || status=$?
exit $status
