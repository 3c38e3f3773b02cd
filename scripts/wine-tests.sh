#!/usr/bin/env bash
# The Windows stage: cross-compiles VmlCmd.dll, napi-sim.exe and vmlctl.exe for x86 and x86-64
# (and vmlcmd-gateway.exe for x86-64) with mingw-w64 (presets win32 and win64), makes the release archives (scripts/package.sh),
# checks each module's exports, imports and version, and runs the Windows tests under Wine, each
# architecture in a fresh Wine prefix inside its build folder.
#
#   scripts/wine-tests.sh             everything of the cross builds; all of CTest runs through
#                                     Wine: the shared GoogleTest suite (unit, device and
#                                     fuzz-corpus tests), the platform tests, the host programs
#                                     (one built by mingw, one built for Microsoft's ABI by clang
#                                     and lld-link, and that one again from an unpacked release
#                                     archive), vmlctl.exe's tour and vmlcmd-gateway.exe
#                                     in front of napi-sim.exe. The device tests talk over
#                                     loopback to a simulator they drive through its control
#                                     channel (VMLCMD_SIM_CONTROL): napi-sim.exe under Wine for
#                                     the x86 suite, the native napi-sim (preset default) for the
#                                     x86-64 one. The dialog tests (label display) run last, on a
#                                     virtual display (xvfb-run) with a Wine virtual desktop,
#                                     against the same simulator.
#   VMLCMD_WINE_FULL_SUITE=0 ...      only the DLLs, the host programs and the platform tests
#   VMLCMD_WINE_ARCHES="win64" ...    only some of the presets
#
# vmlcmd-gateway.exe (x64 only) is built with Debian's Boost headers (libboost1.81-dev, which
# the test command installs); where they are missing the x64 build, archive and tests go without
# the gateway, reported "not run".
#
# The x86 part runs where the kernel runs 32-bit programs (scripts/can-run-x86.sh) and a 32-bit
# Wine is installed or can be, and is then required like the rest. Elsewhere it is built, its
# archive made and its exports, imports and version checked statically (objdump; nothing that
# starts Wine), and it is reported "not run" with its reason, on a line here and in the file that
# VMLCMD_NOT_RUN_FILE names (scripts/test.sh repeats those lines above its closing line).
# VMLCMD_WINE_REQUIRE_X86=1 makes that a failure.
#
# Outside CI a machine without mingw-w64 or Wine that cannot install them reports the whole
# stage "not run", and one without xvfb-run the dialog tests; under CI=true the 64-bit tools
# are installed and any failure fails the stage. The 32-bit Wine is never required to install:
# a registry whose i386 index will not load costs the x86 run, not the stage.
#
# VMLCMD_WINE_SIMULATE_MISSING=tools, =wine32 or =boost makes the probes answer as on a machine
# that lacks that piece, so that both ways can be tried on one machine.
set -euo pipefail
cd "$(dirname "$0")/.."

ci=false
[ "${CI:-}" = true ] && ci=true
arches=${VMLCMD_WINE_ARCHES:-"win32 win64"}
full_suite=${VMLCMD_WINE_FULL_SUITE:-1}
simulate_missing=${VMLCMD_WINE_SIMULATE_MISSING:-}
# The cross tools and 64-bit Wine, clang, lld-link and llvm-dlltool for the Microsoft-ABI host and
# the import libraries, what the native simulator needs (its preset builds the tests too), and
# the locales for code page 936. All of the machine's own architecture.
packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 wine wine64 googletest
          clang lld llvm cmake ninja-build g++ libgtest-dev libgmock-dev libasio-dev libcli11-dev
          nlohmann-json3-dev libboost1.81-dev locales python3-pytest)
# The dialog tests: a virtual X server, and a font with the dialogs' Chinese texts.
display_packages=(xvfb xauth fonts-wqy-microhei)
cjk_font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

stage_start=$SECONDS
elapsed() { echo "$((SECONDS - $1)) s"; }

# Says once that a piece did not run and why, here and for the closing line of scripts/test.sh.
not_run() {
  echo "== NOT RUN: $*"
  if [ -n "${VMLCMD_NOT_RUN_FILE:-}" ]; then echo "$*" >>"$VMLCMD_NOT_RUN_FILE"; fi
}

tools_present() {
  [ "$simulate_missing" != tools ] || return 1
  local tool
  for tool in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix i686-w64-mingw32-windres \
              x86_64-w64-mingw32-windres i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump \
              i686-w64-mingw32-dlltool x86_64-w64-mingw32-dlltool wine wineserver clang++ lld-link llvm-dlltool \
              cmake ninja; do
    command -v "$tool" >/dev/null 2>&1 || return 1
  done
  [ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null 2>&1 || return 1
  [ -f /usr/src/googletest/CMakeLists.txt ] || return 1
  command -v g++ >/dev/null 2>&1 || return 1
  /usr/bin/python3 -c 'import pytest' >/dev/null 2>&1 || return 1
  local header
  for header in nlohmann/json.hpp asio.hpp CLI/CLI.hpp gtest/gtest.h; do
    [ -f "/usr/include/$header" ] || return 1
  done
}

# Wine's tests run in code page 936, which Wine takes from a zh_CN locale.
locale_present() { locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; }
make_locale() { $sudo localedef -i zh_CN -f UTF-8 zh_CN.UTF-8; }

# Debian's 32-bit Wine loader; the wine script prefers it when it is there.
wine32_present() { [ "$simulate_missing" != wine32 ] && [ -x /usr/lib/wine/wine ]; }

# The 32-bit Wine is a package of another architecture: its index may not load, or its libraries
# may not match the installed 64-bit ones. Either way this returns non-zero and changes nothing
# else; the architecture is taken back when nothing of it got installed.
install_wine32() {
  $sudo dpkg --add-architecture i386
  if scripts/install-deps.sh wine32:i386; then return 0; fi
  if ! dpkg-query -W -f='${Architecture}\n' 2>/dev/null | grep -qx i386; then
    $sudo dpkg --remove-architecture i386 2>/dev/null || true
  fi
  return 1
}

display_present() { command -v xvfb-run >/dev/null 2>&1 && command -v xauth >/dev/null 2>&1 && [ -f "$cjk_font" ]; }

if ! tools_present; then
  if $ci; then
    echo "installing mingw-w64, 64-bit Wine, clang and lld, and the GoogleTest sources"
    scripts/install-deps.sh "${packages[@]}"
    tools_present || { echo "wine-tests: tools still missing after installing" >&2; exit 1; }
  elif ! { scripts/install-deps.sh "${packages[@]}" >/dev/null 2>&1 && tools_present; }; then
    not_run "Windows stage (mingw-w64 or Wine is missing and could not be installed)"
    exit 0
  fi
fi

if ! locale_present; then
  echo "generating the zh_CN.UTF-8 locale"
  if ! { scripts/install-deps.sh locales && make_locale; } >/dev/null 2>&1 || ! locale_present; then
    if $ci; then
      echo "wine-tests: the zh_CN.UTF-8 locale could not be generated" >&2
      exit 1
    fi
    not_run "Windows stage (the zh_CN.UTF-8 locale for code page 936 is missing and could not be made)"
    exit 0
  fi
fi

if ! display_present; then
  echo "installing xvfb, xauth and a CJK font for the dialog tests"
  if ! scripts/install-deps.sh "${display_packages[@]}" || ! display_present; then
    if $ci; then
      echo "wine-tests: xvfb-run or the font still missing after installing" >&2
      exit 1
    fi
  fi
fi

# One decision for the x86 run, made here and reported once: it needs a kernel that runs
# 32-bit programs (Wine's 32-bit loader is one) and the 32-bit Wine itself.
x86_reason=""
if [ "$simulate_missing" = wine32 ]; then
  x86_reason="32-bit Wine is missing (VMLCMD_WINE_SIMULATE_MISSING=wine32)"
elif ! scripts/can-run-x86.sh; then
  x86_reason="this kernel runs no 32-bit programs"
elif ! wine32_present; then
  echo "installing the 32-bit Wine (wine32:i386)"
  install_wine32 || true
  wine32_present || x86_reason="32-bit Wine (wine32:i386) is missing and could not be installed"
fi
echo "== $(scripts/can-run-x86.sh -v || true); x86 under Wine: ${x86_reason:-runs}"

# The gateway's HTTP library, Boost's headers; only the whole x64 build has the gateway.
if [ "$full_suite" = 1 ] && [[ " $arches " == *" win64 "* ]]; then
  if [ "$simulate_missing" = boost ] || [ ! -f /usr/include/boost/beast.hpp ]; then
    not_run "win64 vmlcmd-gateway.exe (no Boost headers, libboost1.81-dev; the x64 build and archive go without it)"
  else
    echo "== win64 vmlcmd-gateway.exe with Boost $(sed -n 's/^#define BOOST_LIB_VERSION "\(.*\)"/\1/p' /usr/include/boost/version.hpp)"
  fi
fi

# The 64-bit loader is run directly: Debian's wine script prefers the 32-bit one.
wine64_loader=/usr/lib/wine/wine64
[ -x "$wine64_loader" ] || wine64_loader=$(command -v wine64)

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no prompts to install .NET or the HTML engine

# A fresh prefix per architecture, so that nothing from an earlier run or from $HOME leaks in.
# Windows open in a virtual desktop (scripts/wine-desktop.reg): on a virtual display without a
# window manager, Wine spends about two seconds on every top-level window it hides.
make_prefix() {
  local prefix=$1 winearch=$2 loader=$3
  rm -rf "$prefix"
  WINEPREFIX=$prefix WINEARCH=$winearch "$loader" wineboot --init >/dev/null 2>&1
  WINEPREFIX=$prefix "$loader" regedit /S "Z:$PWD/scripts/wine-desktop.reg" >/dev/null 2>&1
  WINEPREFIX=$prefix wineserver -w
}

# The simulated device for the shared suite's device tests: the tests reach its device port and
# its control channel over 127.0.0.1. The x86 suite has napi-sim.exe under Wine, so that the
# simulator built for Windows serves a whole suite; the x86-64 suite the native one.
native_sim=build/default/sim/napi-sim
build_native_sim() {
  local step=$SECONDS
  echo "== native napi-sim (preset default)"
  if [ ! -f build/default/build.ninja ]; then
    cmake --preset default >build/default.configure.log 2>&1 || { cat build/default.configure.log; return 1; }
  fi
  cmake --build build/default -j2 --target napi-sim >/dev/null || return 1
  echo "   ready in $(elapsed "$step")"
}

sim_pid=""
sim_output=""
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
  fi
  unset VMLCMD_SIM_CONTROL
}
# A persistent wineserver serves every Wine process of a preset, with Wine's own background
# processes started once, their output going nowhere. Otherwise a test process can be the one
# that starts them: they hold its output pipe open, and CTest waits for them to quit (seconds
# per test, or for ever once the server is persistent).
wineserver_up=false
stop_wineserver() {
  if $wineserver_up; then
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    wineserver_up=false
  fi
}
trap 'stop_sim; stop_wineserver' EXIT

# The tests labelled display (the dialogs), on a virtual display. They get a wineserver of
# their own, started on that display: one started without a display keeps serving the prefix
# for a while, and a program it serves cannot open a window.
run_display_tests() {
  local build=$1 loader=$2
  if ! display_present; then
    not_run "$preset dialogs under Xvfb (xvfb-run, xauth or the font $cjk_font is missing;" \
            "apt-get install ${display_packages[*]})"
    return 0
  fi
  echo "== $preset: the dialogs through Wine on a virtual display (xvfb-run)"
  # shellcheck disable=SC2016  # expanded by the inner shell
  LC_ALL=zh_CN.UTF-8 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    wineserver -p
    "$1" cmd /c exit </dev/null >/dev/null 2>&1
    ctest --test-dir "$2" --output-on-failure -L display
    status=$?
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    exit $status' display-tests "$loader" "$build"
}

# Starts napi-sim (or, with a Wine loader, napi-sim.exe of the build) on any free ports and
# exports VMLCMD_SIM_CONTROL and VMLCMD_SIM_PORT for the tests.
start_sim() {
  local log_dir=$1 loader=${2:-} device_port="" control_port="" attempt
  sim_output=$log_dir/napi-sim.out
  if [ -n "$loader" ]; then
    (cd "$log_dir/bin" && exec "$loader" napi-sim.exe --port 0 --control-port 0) >"$sim_output" \
      2>"$log_dir/napi-sim.log" &
  else
    "$native_sim" --port 0 --control-port 0 >"$sim_output" 2>"$log_dir/napi-sim.log" &
  fi
  sim_pid=$!
  # Up to 30 s: under Wine the first program of a prefix starts slowly.
  for attempt in $(seq 1 300); do
    # A Windows program ends its lines with CR LF.
    device_port=$(sed -n 's/^napi-sim listening on 127\.0\.0\.1:\([0-9]*\)\r*$/\1/p' "$sim_output")
    control_port=$(sed -n 's/^napi-sim control on 127\.0\.0\.1:\([0-9]*\)\r*$/\1/p' "$sim_output")
    [ -n "$device_port" ] && [ -n "$control_port" ] && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$device_port" ] || [ -z "$control_port" ]; then
    echo "wine-tests: napi-sim did not start:" >&2
    cat "$sim_output" "$log_dir/napi-sim.log" >&2
    stop_sim
    return 1
  fi
  export VMLCMD_SIM_CONTROL=127.0.0.1:$control_port VMLCMD_SIM_PORT=$device_port
  echo "   napi-sim${loader:+.exe under Wine} (pid $sim_pid): device on 127.0.0.1:$device_port, control on $VMLCMD_SIM_CONTROL"
}

failures=()
x86_runnable=true
[ -z "$x86_reason" ] || x86_runnable=false
for preset in $arches; do
  case $preset in
    win32) winearch=win32 loader=wine objdump=i686-w64-mingw32-objdump runnable=$x86_runnable msvc_arch=x86 ;;
    win64) winearch=win64 loader=$wine64_loader objdump=x86_64-w64-mingw32-objdump runnable=true msvc_arch=x64 ;;
    *) echo "wine-tests: unknown preset $preset" >&2; exit 2 ;;
  esac
  build=build/$preset
  echo "== $preset: configure and build"
  step=$SECONDS
  mkdir -p build
  cmake --preset "$preset" >"$build.configure.log" 2>&1 ||
    { cat "$build.configure.log"; exit 1; }
  # Everything is built, also where it cannot run; with VMLCMD_WINE_FULL_SUITE=0 only the
  # module, the host programs and the platform tests.
  if [ "$full_suite" = 1 ]; then
    cmake --build "$build" -j2
    scripts/package.sh "$preset" | sed 's/^/   /'
    [ "$runnable" = true ] || tests/windows/msvc-host.sh --build-only "$msvc_arch" include \
      "$build/lib/VmlCmd.lib" "$build/bin" | sed 's/^/   /'
  else
    cmake --build "$build" -j2 --target VmlCmd vmlcmd_abi_host vmlcmd_windows_platform_test \
      vmlcmd_import_libraries napi-sim
  fi
  echo "   built in $(elapsed "$step")"

  # CTest lists the GoogleTest programs' tests through Wine whenever it reads the build folder,
  # so the prefix is set before its first run: nothing may land in $HOME/.wine.
  export WINEPREFIX=$PWD/$build/wineprefix
  if [ "$runnable" = true ]; then
    step=$SECONDS
    make_prefix "$WINEPREFIX" "$winearch" "$loader"
    wineserver -p
    wineserver_up=true
    "$loader" cmd /c exit </dev/null >/dev/null 2>&1
    echo "   Wine prefix ($winearch) ready in $(elapsed "$step")"
  fi

  echo "== $preset: exports, imports and version ($objdump)"
  if [ "$runnable" != true ]; then
    # Not through CTest: reading the build folder lists the GoogleTest programs' tests, which
    # starts them under a Wine that cannot run them. The same checks as a build target.
    cmake --build "$build" --target windows_static_checks || failures+=("$preset exports")
    not_run "$preset under Wine ($x86_reason; built, archived and its exports checked)"
    [ "${VMLCMD_WINE_REQUIRE_X86:-0}" = 1 ] && failures+=("$preset cannot run: $x86_reason")
    unset WINEPREFIX
    continue
  fi
  ctest --test-dir "$build" -L exports --output-on-failure || failures+=("$preset exports")

  step=$SECONDS
  if [ "$full_suite" = 1 ]; then
    if [ -z "${native_sim_built:-}" ]; then
      build_native_sim || { failures+=("native napi-sim"); break; }
      native_sim_built=1
    fi
    if [ "$preset" = win32 ]; then
      start_sim "$build" "$loader" || { failures+=("$preset napi-sim.exe"); stop_wineserver; continue; }
    else
      start_sim "$build" || { failures+=("$preset napi-sim"); stop_wineserver; continue; }
    fi
    echo "== $preset: the whole suite through Wine (code page 936)"
    # Every registered test but the dialogs; CTest starts each .exe through
    # CMAKE_CROSSCOMPILING_EMULATOR and lists the GoogleTest programs' tests through it first.
    # The device tests share the one simulator (RESOURCE_LOCK), the rest run beside them.
    LC_ALL=zh_CN.UTF-8 ctest --test-dir "$build" --output-on-failure -j2 -LE 'exports|display' ||
      failures+=("$preset suite")
    # napi-sim.exe goes before its wineserver does; the dialogs, which need a wineserver of
    # their own on the virtual display, have the native simulator.
    stop_sim
    stop_wineserver
    echo "   ran in $(elapsed "$step")"
    step=$SECONDS
    start_sim "$build" || { failures+=("$preset napi-sim"); continue; }
    run_display_tests "$build" "$loader" || failures+=("$preset dialogs")
    stop_sim
  else
    echo "== $preset: host program and platform tests through Wine (code page 936)"
    LC_ALL=zh_CN.UTF-8 ctest --test-dir "$build" --output-on-failure -L wine -LE display ||
      failures+=("$preset platform")
    stop_wineserver
  fi
  echo "   ran in $(elapsed "$step")"
  unset WINEPREFIX
done

echo "== Windows stage finished in $(elapsed "$stage_start")"
if [ ${#failures[@]} -gt 0 ]; then
  printf 'wine-tests: FAILED: %s\n' "${failures[@]}" >&2
  exit 1
fi
