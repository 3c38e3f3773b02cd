#!/usr/bin/env bash
# Regenerates the dialog pictures of the documentation, docs/ui-*.png: the 32-bit DLL's three
# dialogs (the build most hosts load; the 64-bit one where this kernel cannot run 32-bit
# programs) and the four pages of the video settings dialog, as the Wine test program
# vmlcmd_ui_wine drives them against a native napi-sim, on a virtual display (xvfb-run) with a
# Wine virtual desktop so that title bars show.
#
#   scripts/screenshots.sh
#
# The program stops at each dialog and page and writes NAME.ready, holding the window's screen
# rectangle, into a folder; this script takes the picture (ImageMagick's import), crops it to
# that rectangle, and removes the file, upon which the program goes on. Not part of the test
# stage; it needs mingw-w64, Wine and its fonts, xvfb, xauth, a CJK font and ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/.."

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no prompts to install .NET or the HTML engine
if scripts/can-run-x86.sh; then
  preset=win32 winearch=win32 mingw=i686-w64-mingw32-g++-posix
  loader=$(command -v wine || true)
else
  preset=win64 winearch=win64 mingw=x86_64-w64-mingw32-g++-posix
  loader=/usr/lib/wine/wine64
  [ -x "$loader" ] || loader=$(command -v wine64 || true)
fi
pictures=(device-config ptz-control video-settings video-settings-picture video-settings-mask
          video-settings-motion video-settings-osd)
work=$PWD/build/screenshots
flags=$work/flags

# Inside the virtual display: the program runs, and each stop becomes a picture.
if [ "${1:-}" = --on-display ]; then
  wineserver -p
  "$loader" cmd /c exit </dev/null >/dev/null 2>&1
  (cd "build/$preset/bin" && exec "$loader" vmlcmd_ui_wine.exe --screenshots "Z:$flags") >"$work/program.log" 2>&1 &
  program=$!
  taken=0
  deadline=$((SECONDS + 240))
  while kill -0 "$program" 2>/dev/null && [ $SECONDS -lt $deadline ]; do
    for flag in "$flags"/*.ready; do
      [ -f "$flag" ] || continue
      name=$(basename "$flag" .ready)
      read -r left top width height <"$flag"
      import -window root -crop "${width}x${height}+${left}+${top}" +repage "docs/ui-$name.png"
      echo "   docs/ui-$name.png (${width} x ${height})"
      rm -f "$flag"
      taken=$((taken + 1))
    done
    sleep 0.2
  done
  status=0
  if kill -0 "$program" 2>/dev/null; then
    echo "screenshots: the program did not finish in time" >&2
    kill "$program" 2>/dev/null || true
    status=1
  fi
  wait "$program" || status=1
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  if [ "$status" != 0 ] || [ "$taken" != "${#pictures[@]}" ]; then
    echo "screenshots: $taken of ${#pictures[@]} pictures; the program said:" >&2
    cat "$work/program.log" >&2
    exit 1
  fi
  exit 0
fi

missing=()
for tool in xvfb-run xauth import "$mingw" wineserver cmake ninja; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
[ -n "$loader" ] || missing+=("Wine for $winearch")
[ -f /usr/share/fonts/truetype/wqy/wqy-microhei.ttc ] || missing+=("the font fonts-wqy-microhei")
# Wine's own fonts: without Marlett the caption buttons show letters instead of their glyphs.
[ -f /usr/share/wine/fonts/marlett.ttf ] || missing+=("Wine's fonts (fonts-wine)")
if [ ${#missing[@]} -gt 0 ]; then
  echo "screenshots: missing: ${missing[*]}" >&2
  echo "  apt-get install --no-install-recommends xvfb xauth fonts-wqy-microhei fonts-wine imagemagick" \
       "g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 cmake ninja-build" >&2
  exit 1
fi

echo "== build: VmlCmd.dll and the dialog program (preset $preset), napi-sim (preset default)"
mkdir -p build
cmake --preset "$preset" >"build/$preset.configure.log" 2>&1 || { cat "build/$preset.configure.log"; exit 1; }
cmake --build "build/$preset" -j2 --target VmlCmd vmlcmd_ui_wine >/dev/null
[ -f build/default/build.ninja ] || cmake --preset default >build/default.configure.log
cmake --build build/default -j2 --target napi-sim >/dev/null

echo "== a fresh Wine prefix with a virtual desktop"
rm -rf "$work"
mkdir -p "$flags"
export WINEPREFIX=$work/wineprefix
WINEARCH=$winearch "$loader" wineboot --init >/dev/null 2>&1
"$loader" regedit /S "Z:$PWD/scripts/wine-desktop.reg" >/dev/null 2>&1
wineserver -w
# Debian's Wine does not look into the folder of fonts-wine: the caption buttons' font goes
# into the prefix.
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

sim_pid=""
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null || true' EXIT
build/default/sim/napi-sim --port 0 --control-port 0 >"$work/napi-sim.out" 2>"$work/napi-sim.log" &
sim_pid=$!
control_port=""
for _ in $(seq 1 100); do
  control_port=$(sed -n 's/^napi-sim control on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/napi-sim.out")
  [ -n "$control_port" ] && break
  sleep 0.1
done
[ -n "$control_port" ] || { echo "screenshots: napi-sim did not start" >&2; cat "$work/napi-sim.log" >&2; exit 1; }
export VMLCMD_SIM_CONTROL=127.0.0.1:$control_port

echo "== the dialogs on a virtual display"
LC_ALL=zh_CN.UTF-8 xvfb-run -a -s "-screen 0 1024x768x24" "$PWD/scripts/screenshots.sh" --on-display
