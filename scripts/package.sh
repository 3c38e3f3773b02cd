#!/usr/bin/env bash
# Makes the release archives for Windows developers: build/VmlCmd-<version>-win32.zip and
# -win64.zip, each with bin/ (VmlCmd.dll, napi-sim.exe, vmlctl.exe; vmlcmd-gateway.exe in the
# x64 one), lib/ (VmlCmd.lib,
# libVmlCmd.dll.a, VmlCmd.def), include/VmlCmd/ (ICommand.h, vmlcmd.h), the C# binding
# bindings/dotnet/VmlCmd.cs, README.txt, LICENSE.txt and docs/operations.md (the operation
# reference). Builds what is
# missing with the presets of the same names (mingw-w64, llvm-dlltool, cmake and ninja, which
# scripts/wine-tests.sh installs).
#
#   scripts/package.sh [win32] [win64]     both when none is named
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(win32 win64)
mkdir -p build
for preset in "${presets[@]}"; do
  case $preset in
    win32 | win64) ;;
    *) echo "package: unknown preset $preset (win32 or win64)" >&2; exit 2 ;;
  esac
  if [ ! -f "build/$preset/build.ninja" ]; then
    # The x64 archive carries vmlcmd-gateway.exe where Debian's Boost headers are installed.
    if [ "$preset" = win64 ] && [ ! -f /usr/include/boost/beast.hpp ]; then
      echo "package: the win64 archive goes without vmlcmd-gateway.exe (no Boost headers)" >&2
    fi
    cmake --preset "$preset" >"build/$preset.configure.log" 2>&1 ||
      { cat "build/$preset.configure.log"; exit 1; }
  fi
  cmake --build "build/$preset" -j2 --target windows_archive >/dev/null
  for archive in "build/$preset"/VmlCmd-*-"$preset".zip; do
    cp "$archive" build/
    echo "build/$(basename "$archive")"
  done
done
