#!/usr/bin/env bash
# One step of the consumer checks (tests/consumer/CMakeLists.txt says which and why).
set -euo pipefail
step=$1
root=$VMLCMD_ROOT
work=$VMLCMD_WORK
mkdir -p "$work"
lib=$(dirname "$(find "$root/usr" -name 'libVmlCmd.so.*.*.*' | head -n 1)")
export LD_LIBRARY_PATH=$lib
export PKG_CONFIG_PATH=$lib/pkgconfig
source_version=$(sed -nE 's/^#define VMLCMD_VERSION_(MAJOR|MINOR|PATCH) ([0-9]+)$/\2/p' \
  "$VMLCMD_SOURCE_DIR/include/VmlCmd/ICommand.h" | paste -sd.)
port() { cat "$work/sim.port"; }
fail() { echo "FAIL: $*" >&2; exit 1; }

# The host against the packaged simulator: it writes and reads back a bitrate.
run_host() {
  local output
  output=$("$1" 127.0.0.1 "$(port)") || fail "$1: $output"
  echo "$output"
  [ "$output" = "VmlCmd $source_version: bitrate 1024, 成功" ] || fail "unexpected output from $1"
}

case $step in
  lintian)
    # Errors fail the check; warnings are shown.
    lintian --fail-on error --tag-display-limit 0 "$VMLCMD_PACKAGES"/*.deb
    ;;
  start-simulator)
    # The simulator's output goes to a file, so this step ends while it runs on.
    "$root/usr/bin/napi-sim" --address 127.0.0.1 --port 0 </dev/null >"$work/sim.out" 2>&1 &
    echo $! >"$work/sim.pid"
    for _ in $(seq 50); do
      if grep -qE 'listening on 127\.0\.0\.1:[0-9]+' "$work/sim.out"; then
        sed -nE 's/.*listening on 127\.0\.0\.1:([0-9]+).*/\1/p' "$work/sim.out" >"$work/sim.port"
        echo "napi-sim on 127.0.0.1:$(port)"
        exit 0
      fi
      sleep 0.1
    done
    fail "napi-sim did not start: $(cat "$work/sim.out")"
    ;;
  stop-simulator)
    [ -f "$work/sim.pid" ] && kill "$(cat "$work/sim.pid")" 2>/dev/null || true
    rm -f "$work/sim.pid" "$work/sim.port"
    ;;
  versions)
    soname=$(readelf -d "$lib"/libVmlCmd.so.*.*.* | sed -nE 's/.*Library soname: \[(.*)\].*/\1/p')
    header=$(sed -nE 's/^#define VMLCMD_VERSION_(MAJOR|MINOR|PATCH) ([0-9]+)$/\2/p' \
      "$root/usr/include/VmlCmd/ICommand.h" | paste -sd.)
    echo "source $source_version, header $header, SONAME $soname, pkg-config $(pkg-config --modversion VmlCmd)"
    [ "$soname" = "libVmlCmd.so.${source_version%%.*}" ] || fail "SONAME $soname"
    [ "$header" = "$source_version" ] || fail "installed header says $header"
    [ "$(pkg-config --modversion VmlCmd)" = "$source_version" ] || fail "VmlCmd.pc"
    [ "$("$root/usr/bin/vmlctl" --version)" = "vmlctl $source_version" ] || fail "vmlctl --version"
    [ "$("$root/usr/bin/napi-sim" --version)" = "napi-sim $source_version" ] || fail "napi-sim --version"
    for page in vmlctl napi-sim; do
      man -l "$root/usr/share/man/man1/$page.1.gz" 2>/dev/null | grep -q -- "--version" || fail "man page $page(1)"
    done
    ;;
  find-package)
    rm -rf "$work/find-package" "$work/wrong-major"
    cmake -S "$VMLCMD_HOST_SOURCE" -B "$work/find-package" -G Ninja -DCMAKE_PREFIX_PATH="$root/usr" >/dev/null
    cmake --build "$work/find-package" -j2
    run_host "$work/find-package/host"
    # SameMajorVersion: a host that wants the next major version is refused at configure time.
    if cmake -S "$VMLCMD_HOST_SOURCE" -B "$work/wrong-major" -G Ninja -DCMAKE_PREFIX_PATH="$root/usr" \
      -DVMLCMD_WANT=$((${source_version%%.*} + 1)).0 >/dev/null 2>&1; then
      fail "find_package accepted another major version"
    fi
    ;;
  pkg-config)
    rm -rf "$work/pkg-config" && mkdir -p "$work/pkg-config"
    make -s -C "$VMLCMD_HOST_SOURCE" OUT="$work/pkg-config"
    run_host "$work/pkg-config/host"
    ;;
  add-subdirectory)
    rm -rf "$work/add-subdirectory"
    cmake -S "$VMLCMD_HOST_SOURCE" -B "$work/add-subdirectory" -G Ninja -DVMLCMD_SOURCE_DIR="$VMLCMD_SOURCE_DIR" >/dev/null
    targets=$(ninja -C "$work/add-subdirectory" -t targets all)
    if grep -E '(^|/)(napi-sim|vmlctl|napisim|[a-z_]*tests|transaction_bench|reply_readers[a-z_]*)(:| )' <<<"$targets"; then
      fail "add_subdirectory brings more than the library"
    fi
    steps=$(ninja -C "$work/add-subdirectory" -n host | grep -c '^\[')
    echo "add_subdirectory: $steps build steps"
    cmake --build "$work/add-subdirectory" -j2
    LD_LIBRARY_PATH="$work/add-subdirectory/vmlcmd" run_host "$work/add-subdirectory/host"
    ;;
  python)
    # Debian's interpreter, with only the unpacked package's dist-packages added: the module
    # must come from there and reach the packaged napi-sim as well as its own simulator.
    site=$root/usr/lib/python3/dist-packages
    [ -f "$site/vmlcmd/__init__.py" ] || fail "no vmlcmd in $site"
    dpkg-deb -f "$VMLCMD_PACKAGES"/python3-vmlcmd_*.deb Depends | grep -q 'python3 (>= ' || fail "no python3 dependency"
    (cd "$work" && PYTHONNOUSERSITE=1 PYTHONDONTWRITEBYTECODE=1 PYTHONPATH=$site /usr/bin/python3 -c '
import pathlib, sys, vmlcmd
assert pathlib.Path(vmlcmd.__file__).is_relative_to(sys.argv[1]), vmlcmd.__file__
with vmlcmd.Device("127.0.0.1", int(sys.argv[2])) as camera:
    camera.bitrate = 1024
    assert camera.bitrate == 1024
with vmlcmd.Simulator() as sim, sim.device() as camera:
    camera.bitrate = 640
    assert camera.bitrate == 640
print("vmlcmd", vmlcmd.__version__, "from", sys.argv[1])
' "$site" "$(port)") || fail "the packaged Python module"
    ;;
  *)
    fail "unknown step $step"
    ;;
esac
