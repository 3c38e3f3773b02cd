"""The build backend of the vmlcmd package: CMake builds the module, the standard library packs
the wheel.

pip runs it from this tree (pyproject.toml names it with backend-path), so it needs nothing a
fresh virtual environment lacks and no package index. It builds the project's own CMake tree,
one folder up, for the interpreter that runs it, with the compiler, CMake and pybind11 of the
system as every other build of the project finds them; then it installs the package's CMake
component into a staging folder and packs that folder as a wheel.

Settings (pip's ``--config-settings`` / ``-C``):

- ``build-dir``: the CMake build folder (default ``build/pip-<wheel tag>`` in the project, kept
  so that a second install builds only what changed);
- ``cmake-args``: further arguments for the CMake configuration, split as a shell would
  (the environment variable ``CMAKE_ARGS`` is read as well), e.g. ``-DCMAKE_CXX_COMPILER=clang++``.

``CMAKE_BUILD_PARALLEL_LEVEL`` sets the number of compile jobs (the machine's processors by
default) and ``CMAKE_GENERATOR`` the generator, as for any CMake build.
"""

import base64
import csv
import hashlib
import io
import os
import pathlib
import re
import shlex
import shutil
import subprocess
import sys
import sysconfig
import tempfile
import zipfile

NAME = "vmlcmd"
SUMMARY = "Configure and test networked video servers (NAPI protocol), with a device simulator"
REQUIRES_PYTHON = ">=3.8"
LICENSE = "MIT"

PACKAGE_ROOT = pathlib.Path(__file__).resolve().parent.parent
PROJECT_ROOT = PACKAGE_ROOT.parent
VERSION_HEADER = PROJECT_ROOT / "include" / "VmlCmd" / "ICommand.h"

# Entries of a wheel get one fixed date, so the same files give the same wheel.
ZIP_DATE = (1980, 1, 1, 0, 0, 0)


class UnsupportedOperation(Exception):
    """A hook this backend does not offer (PEP 517's name for it)."""


def _version() -> str:
    # The public header holds the one version of the project; CMake reads it from there too.
    if not VERSION_HEADER.is_file():
        raise RuntimeError(
            f"{PACKAGE_ROOT} must stay inside the VmlCmd source tree: the package is built from "
            f"the project's CMake tree, and {VERSION_HEADER} is missing"
        )
    text = VERSION_HEADER.read_text(encoding="utf-8")
    parts = dict(re.findall(r"^#define VMLCMD_VERSION_(MAJOR|MINOR|PATCH) ([0-9]+)$", text, re.MULTILINE))
    return "{MAJOR}.{MINOR}.{PATCH}".format(**parts)


def wheel_tag() -> str:
    """The tag of a wheel built for the running interpreter: python-abi-platform."""
    if sys.implementation.name != "cpython":
        raise RuntimeError(f"the vmlcmd module is built for CPython, not {sys.implementation.name}")
    # SOABI is cpython-311-x86_64-linux-gnu, or cpython-313t-... for a free-threaded build.
    soabi = sysconfig.get_config_var("SOABI") or ""
    flags = soabi.split("-")[1] if soabi.count("-") >= 2 else f"{sys.version_info[0]}{sys.version_info[1]}"
    platform = sysconfig.get_platform()
    # A 32-bit interpreter on a 64-bit kernel reports the kernel's machine.
    if sys.maxsize <= 2**32:
        platform = {"linux-x86_64": "linux-i686", "linux-aarch64": "linux-armv8l"}.get(platform, platform)
    platform = re.sub(r"[^A-Za-z0-9]", "_", platform)
    return f"cp{sys.version_info[0]}{sys.version_info[1]}-cp{flags}-{platform}"


def _dist_info() -> str:
    return f"{NAME}-{_version()}.dist-info"


def _metadata() -> str:
    return (
        "Metadata-Version: 2.1\n"
        f"Name: {NAME}\n"
        f"Version: {_version()}\n"
        f"Summary: {SUMMARY}\n"
        f"License: {LICENSE}\n"
        f"Requires-Python: {REQUIRES_PYTHON}\n"
        "Description-Content-Type: text/plain\n"
        "\n"
        "vmlcmd.Device talks to one networked video server through the VmlCmd library: its settings\n"
        "are properties, its operations methods, its failures exceptions that say where the\n"
        "operation ended; vmlcmd.aio.Device offers the same to asyncio programs, and\n"
        "vmlcmd.Simulator runs simulated devices in the same process.\n"
    )


def _wheel_file() -> str:
    return (
        "Wheel-Version: 1.0\n"
        f"Generator: vmlcmd_build {_version()}\n"
        "Root-Is-Purelib: false\n"
        f"Tag: {wheel_tag()}\n"
    )


def _setting(config_settings, key: str):
    value = (config_settings or {}).get(key)
    # pip passes a list when a setting is given more than once; the last one wins.
    return value[-1] if isinstance(value, list) else value


def _run(command) -> None:
    print("+", " ".join(shlex.quote(str(c)) for c in command), flush=True)
    subprocess.run([str(c) for c in command], check=True)


def _build(config_settings, staging: pathlib.Path) -> None:
    """Configure and build the module, then install the package's files into ``staging``."""
    cmake = shutil.which("cmake")
    if cmake is None:
        raise RuntimeError("cmake is not on PATH (Debian: apt-get install cmake g++ pybind11-dev python3-dev)")
    build_dir = pathlib.Path(_setting(config_settings, "build-dir") or PROJECT_ROOT / "build" / f"pip-{wheel_tag()}")
    arguments = shlex.split(os.environ.get("CMAKE_ARGS", "")) + shlex.split(_setting(config_settings, "cmake-args") or "")
    _run(
        [cmake, "-S", PROJECT_ROOT, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
         # The module is built for the interpreter that runs pip, whichever is first on PATH.
         f"-DPython3_EXECUTABLE={sys.executable}", "-DVMLCMD_BUILD_PYTHON=ON", "-DVMLCMD_BUILD_TOOLS=ON",
         "-DVMLCMD_BUILD_TESTS=OFF", "-DVMLCMD_BUILD_BENCH=OFF", "-DVMLCMD_BUILD_FUZZ=OFF", "-DVMLCMD_INSTALL=OFF",
         # Another compiler's new warnings must not stop a user's install.
         "-DVMLCMD_WERROR=OFF", "-DVMLCMD_PYTHON_INSTALL_DIR=.", *arguments]
    )
    build = [cmake, "--build", build_dir, "--target", "vmlcmd_python"]
    if "CMAKE_BUILD_PARALLEL_LEVEL" not in os.environ:
        build += ["--parallel", str(os.cpu_count() or 1)]
    _run(build)
    _run([cmake, "--install", build_dir, "--component", "python", "--prefix", staging, "--strip"])
    module = staging / NAME / f"_vmlcmd{sysconfig.get_config_var('EXT_SUFFIX')}"
    if not module.is_file():
        found = sorted(p.name for p in (staging / NAME).glob("_vmlcmd*"))
        raise RuntimeError(f"the build made {found or 'no module'}, not {module.name} for {sys.executable}")


def _record_line(path: str, data: bytes):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode("ascii")
    return [path, f"sha256={digest}", str(len(data))]


def _pack(wheel_path: pathlib.Path, files) -> None:
    """Write the wheel: ``files`` (archive path, bytes) first, then its RECORD."""
    record = io.StringIO()
    writer = csv.writer(record, lineterminator="\n")
    with zipfile.ZipFile(wheel_path, "w", zipfile.ZIP_DEFLATED) as wheel:
        for path, data in files:
            entry = zipfile.ZipInfo(path, ZIP_DATE)
            entry.external_attr = 0o100644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(entry, data)
            writer.writerow(_record_line(path, data))
        record_path = f"{_dist_info()}/RECORD"
        writer.writerow([record_path, "", ""])
        entry = zipfile.ZipInfo(record_path, ZIP_DATE)
        entry.external_attr = 0o100644 << 16
        entry.compress_type = zipfile.ZIP_DEFLATED
        wheel.writestr(entry, record.getvalue())


# ---- the PEP 517 hooks ---------------------------------------------------------------------


def get_requires_for_build_wheel(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    folder = pathlib.Path(metadata_directory) / _dist_info()
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "METADATA").write_text(_metadata(), encoding="utf-8")
    (folder / "WHEEL").write_text(_wheel_file(), encoding="utf-8")
    return folder.name


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    with tempfile.TemporaryDirectory(prefix="vmlcmd-wheel-") as staging_name:
        staging = pathlib.Path(staging_name)
        _build(config_settings, staging)
        files = []
        for path in sorted(p for p in (staging / NAME).rglob("*") if p.is_file() and "__pycache__" not in p.parts):
            files.append((path.relative_to(staging).as_posix(), path.read_bytes()))
        info = _dist_info()
        files += [
            (f"{info}/METADATA", _metadata().encode("utf-8")),
            (f"{info}/WHEEL", _wheel_file().encode("utf-8")),
            (f"{info}/LICENSE", (PROJECT_ROOT / "LICENSE").read_bytes()),
        ]
        name = f"{NAME}-{_version()}-{wheel_tag()}.whl"
        _pack(pathlib.Path(wheel_directory) / name, files)
    return name


def build_sdist(sdist_directory, config_settings=None):
    raise UnsupportedOperation(
        "vmlcmd is built from the whole VmlCmd source tree, which is its source distribution: "
        "install it with 'pip install ./python' from that tree"
    )
