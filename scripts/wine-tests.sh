#!/usr/bin/env bash
# The Windows stage: cross-compiles VmlCmd.dll for x86 and x86-64 with mingw-w64 (presets win32
# and win64), checks each module's exports and imports, and runs the Windows tests under Wine,
# each architecture in a fresh Wine prefix inside its build folder.
#
#   scripts/wine-tests.sh             the DLLs, the host-program test and the platform tests
#   VMLCMD_WINE_FULL_SUITE=1 ...      also builds every test target of the cross builds and runs
#                                     all of CTest through Wine (the shared GoogleTest suite)
#   VMLCMD_WINE_ARCHES="win64" ...    only some of the presets
#
# Outside CI a machine without mingw-w64 or Wine that cannot install them skips this stage with
# one line; under CI=true missing tools are installed and any failure fails the stage.
set -euo pipefail
cd "$(dirname "$0")/.."

ci=false
[ "${CI:-}" = true ] && ci=true
arches=${VMLCMD_WINE_ARCHES:-"win32 win64"}
full_suite=${VMLCMD_WINE_FULL_SUITE:-0}
packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 wine wine32:i386 wine64 googletest
          cmake ninja-build)

stage_start=$SECONDS
elapsed() { echo "$((SECONDS - $1)) s"; }

tools_present() {
  local tool
  for tool in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix i686-w64-mingw32-windres \
              x86_64-w64-mingw32-windres i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump wine wineserver \
              cmake ninja; do
    command -v "$tool" >/dev/null 2>&1 || return 1
  done
  [ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null 2>&1 || return 1
  [ -f /usr/src/googletest/CMakeLists.txt ] || return 1
}

install_tools() {
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo dpkg --add-architecture i386
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
}

if ! tools_present; then
  if $ci; then
    echo "installing mingw-w64, Wine and the GoogleTest sources"
    install_tools
    tools_present || { echo "wine-tests: tools still missing after installing" >&2; exit 1; }
  elif ! { install_tools >/dev/null 2>&1 && tools_present; }; then
    echo "wine-tests: skipped: mingw-w64 or Wine is missing and could not be installed"
    exit 0
  fi
fi

# The 64-bit loader is run directly: Debian's wine script prefers the 32-bit one.
wine64_loader=/usr/lib/wine/wine64
[ -x "$wine64_loader" ] || wine64_loader=$(command -v wine64)
# Wine's 32-bit side is a 32-bit Linux program: kernels built or booted without ia32 emulation
# cannot start it, and then no x86 Windows program runs at all.
can_run_x86=true
if [ -x /usr/lib/wine/wine ]; then
  /usr/lib/wine/wine --version >/dev/null 2>&1 || can_run_x86=false
else
  wine --version >/dev/null 2>&1 || can_run_x86=false
fi

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no prompts to install .NET or the HTML engine

# A fresh prefix per architecture, so that nothing from an earlier run or from $HOME leaks in.
make_prefix() {
  local prefix=$1 winearch=$2 loader=$3
  rm -rf "$prefix"
  WINEPREFIX=$prefix WINEARCH=$winearch "$loader" wineboot --init >/dev/null 2>&1
  WINEPREFIX=$prefix wineserver -w
}

failures=()
for preset in $arches; do
  case $preset in
    win32) winearch=win32 loader=wine objdump=i686-w64-mingw32-objdump runnable=$can_run_x86 ;;
    win64) winearch=win64 loader=$wine64_loader objdump=x86_64-w64-mingw32-objdump runnable=true ;;
    *) echo "wine-tests: unknown preset $preset" >&2; exit 2 ;;
  esac
  build=build/$preset
  echo "== $preset: configure and build"
  step=$SECONDS
  mkdir -p build
  cmake --preset "$preset" >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
  if [ "$full_suite" = 1 ]; then
    cmake --build "$build" -j2
  else
    cmake --build "$build" -j2 --target VmlCmd vmlcmd_abi_host vmlcmd_windows_platform_test
  fi
  echo "   built in $(elapsed "$step")"

  echo "== $preset: exports and imports ($objdump)"
  ctest --test-dir "$build" -L exports --output-on-failure || failures+=("$preset exports")

  if [ "$runnable" != true ]; then
    echo "== $preset: Wine tests SKIPPED: this kernel cannot run 32-bit programs (ia32 emulation off), so" \
         "32-bit Wine cannot start; the DLL was built and its exports checked"
    [ "${VMLCMD_WINE_REQUIRE_X86:-0}" = 1 ] && failures+=("$preset cannot run")
    continue
  fi

  step=$SECONDS
  export WINEPREFIX=$PWD/$build/wineprefix
  make_prefix "$WINEPREFIX" "$winearch" "$loader"
  echo "   Wine prefix ($winearch) ready in $(elapsed "$step")"

  step=$SECONDS
  echo "== $preset: host program against VmlCmd.dll (code page 936)"
  (cd "$build/bin" && LC_ALL=zh_CN.UTF-8 "$loader" vmlcmd_abi_host.exe --gbk) || failures+=("$preset host program")

  echo "== $preset: tests through Wine"
  if [ "$full_suite" = 1 ]; then
    # Every registered test, the shared GoogleTest suite included; CTest starts each .exe
    # through CMAKE_CROSSCOMPILING_EMULATOR.
    ctest --test-dir "$build" --output-on-failure -E windows_abi_host || failures+=("$preset suite")
  else
    ctest --test-dir "$build" --output-on-failure -L wine -E windows_abi_host || failures+=("$preset platform")
  fi
  wineserver -w
  echo "   ran in $(elapsed "$step")"
  unset WINEPREFIX
done

echo "== Windows stage finished in $(elapsed "$stage_start")"
if [ ${#failures[@]} -gt 0 ]; then
  printf 'wine-tests: FAILED: %s\n' "${failures[@]}" >&2
  exit 1
fi
