#!/bin/sh
# What `pip install ./python` gives a user, with no package index: pip builds a wheel of the
# package from this tree in a fresh virtual environment, the wheel's tag is one the interpreter
# accepts and its RECORD matches its files, it installs into another fresh environment, imports
# from there and talks to a simulated device, and uninstalls without leaving a file behind.
#   pip_install.sh SOURCE_DIR PYTHON BUILD_DIR [CMAKE_ARGS]
set -eu
source=$1
python=$2
build=$3
cmake_args=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset PYTHONPATH
export PIP_NO_INDEX=1 PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_CACHE_DIR=1 PYTHONDONTWRITEBYTECODE=1

"$python" -m venv "$work/build-env"
"$work/build-env/bin/pip" wheel --quiet --no-deps --wheel-dir "$work/dist" \
  --config-settings "build-dir=$build" --config-settings "cmake-args=$cmake_args" "$source/python"
wheel=$(ls "$work"/dist/vmlcmd-*.whl)

"$python" -m venv "$work/env"
"$work/env/bin/python" - "$wheel" <<'EOF'
import base64, csv, hashlib, io, pathlib, sys, zipfile
from pip._vendor.packaging.tags import sys_tags
from pip._vendor.packaging.utils import parse_wheel_filename

path = pathlib.Path(sys.argv[1])
name, version, _, tags = parse_wheel_filename(path.name)
assert name == "vmlcmd", name
assert tags & set(sys_tags()), f"{path.name} is not for this interpreter"
with zipfile.ZipFile(path) as wheel:
    info = f"vmlcmd-{version}.dist-info"
    record = list(csv.reader(io.StringIO(wheel.read(f"{info}/RECORD").decode())))
    listed = {row[0] for row in record}
    assert listed == set(wheel.namelist()), listed ^ set(wheel.namelist())
    for file, digest, size in record:
        if file == f"{info}/RECORD":
            continue
        data = wheel.read(file)
        expected = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        assert digest == f"sha256={expected}" and int(size) == len(data), file
    assert f"Version: {version}" in wheel.read(f"{info}/METADATA").decode()
    assert any(n.startswith("vmlcmd/_vmlcmd.") for n in wheel.namelist())
    assert "vmlcmd/aio.py" in wheel.namelist()
EOF

"$work/env/bin/pip" install --quiet "$wheel"
cd "$work"
site=$("$work/env/bin/python" -c 'import sysconfig; print(sysconfig.get_path("platlib"))')
"$work/env/bin/python" - "$site" <<'EOF'
import asyncio, pathlib, sys
import vmlcmd, vmlcmd.aio

assert pathlib.Path(vmlcmd.__file__).parent == pathlib.Path(sys.argv[1]) / "vmlcmd", vmlcmd.__file__

async def main(sim):
    async with vmlcmd.aio.Device(sim.host, sim.port) as camera:
        await camera.set(bitrate=640)
        return await camera.bitrate

with vmlcmd.Simulator() as sim:
    assert asyncio.run(main(sim)) == 640
print("vmlcmd", vmlcmd.__version__, "installed by pip into", sys.prefix)
EOF
"$work/env/bin/pip" uninstall --quiet --yes vmlcmd
left=$(find "$site" -path '*vmlcmd*' | head -n 5)
if [ -n "$left" ]; then
  echo "left behind by pip uninstall:" "$left" >&2
  exit 1
fi
