"""The names table in docs/names.md against the tools themselves, so that the document, vmlctl,
the Python package and the configuration schema cannot drift apart."""

import json
import os
import pathlib
import re
import subprocess

import pytest

import vmlcmd

ROOT = pathlib.Path(__file__).resolve().parents[2]
CODE = re.compile(r"`([^`]+)`")


def rows():
    lines = (ROOT / "docs" / "names.md").read_text(encoding="utf-8").splitlines()
    table = [line for line in lines if line.startswith("| ") and not line.startswith("| Setting")]
    assert len(table) > 20, "the names table is missing or cut short"
    for line in table:
        setting, operations, vmlctl, python, key, _ = [cell.strip() for cell in line.strip("|").split("|")]
        yield setting, CODE.findall(operations), CODE.findall(vmlctl), CODE.findall(python), CODE.findall(key)


ROWS = list(rows())


def vmlctl(*args):
    path = os.environ.get("VMLCTL")
    if not path:
        pytest.fail("VMLCTL names the vmlctl to check the table against (ctest sets it)")
    return subprocess.run([path, *args], capture_output=True, text=True, timeout=30, check=False)


@pytest.fixture(scope="module")
def help_all():
    run = vmlctl("help-all")
    assert run.returncode == 0, run.stderr
    return run.stdout


def test_every_operation_is_in_the_table():
    header = (ROOT / "include" / "VmlCmd" / "ICommand.h").read_text(encoding="utf-8")
    missing = [op for _, ops, *_ in ROWS for op in ops if not re.search(rf"\b{op}\(", header)]
    assert missing == []


def test_every_command_is_shown_by_vmlctl(help_all):
    missing = [c for _, _, commands, *_ in ROWS for c in commands if f"Usage: vmlctl {c} [" not in help_all]
    assert missing == []


def test_every_python_name_is_an_attribute_of_device():
    missing = []
    for _, _, _, names, _ in ROWS:
        for name in names:
            owner = vmlcmd.Device
            *path, last = name.split(".")
            for part in path:
                # Follow a property to the class its getter returns (Device.ptz -> Ptz).
                owner = getattr(owner, part).fget.__annotations__["return"]
                if isinstance(owner, str):
                    owner = getattr(vmlcmd._device, owner)
            if not hasattr(owner, last):
                missing.append(name)
    assert missing == []


def test_every_document_key_is_in_the_schema():
    schema = json.loads((ROOT / "config" / "vmlcmd-config.schema.json").read_text(encoding="utf-8"))
    port = schema["$defs"]["video_port"]
    missing = []
    for _, _, _, _, keys in ROWS:
        for key in keys:
            parts = key.split(".")
            if parts[0] not in schema["properties"]:
                continue  # a key of vmlctl --json alone, said so in the table
            node = schema
            for part in parts:
                node = port if part == "N" else node.get("properties", {}).get(part)
                if node is None:
                    missing.append(key)
                    break
    assert missing == []


def test_vmlctl_json_uses_the_document_key_for_each_value():
    # The first vmlctl command of a row with one value reads it; its JSON carries the key's leaf.
    wrong = []
    for setting, _, commands, _, keys in ROWS:
        if not commands or not keys or not commands[0].startswith("get-"):
            continue
        run = vmlctl("--json", commands[0])
        values = json.loads(run.stdout)["values"]
        leaf = keys[0].split(".")[-1]
        if leaf not in values:
            wrong.append(f"{commands[0]}: {sorted(values)} has no {leaf}")
    network = json.loads(vmlctl("--json", "network").stdout)["values"]
    if sorted(network) != ["gateway", "ip", "subnet_mask"]:
        wrong.append(f"network: {sorted(network)}")
    assert wrong == []
