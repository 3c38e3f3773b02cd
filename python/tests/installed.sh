#!/bin/sh
# Installs the python component of a build into a fresh prefix and imports the package from
# there alone, with the build tree out of reach: what a user of the package gets.
set -eu
build=$1
python=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --component python --prefix "$prefix" >/dev/null
site=$(find "$prefix" -name __init__.py -path '*/vmlcmd/*' -exec dirname {} \; | xargs dirname)
cd "$prefix"
PYTHONPATH=$site "$python" -c '
import pathlib, sys, vmlcmd
assert pathlib.Path(vmlcmd.__file__).is_relative_to(sys.argv[1]), vmlcmd.__file__
assert (pathlib.Path(vmlcmd.__file__).parent / "_vmlcmd.pyi").exists()
with vmlcmd.Simulator() as sim, sim.device() as camera:
    camera.bitrate = 640
    assert camera.bitrate == 640
print("vmlcmd", vmlcmd.__version__, "imports from", sys.argv[1])
' "$prefix"
