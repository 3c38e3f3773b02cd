"""The collection as shipped: its tarball, its documentation as ansible-doc renders it, and that
documentation against the options each module declares (what ansible-test sanity's
validate-modules checks, done here without its downloads)."""

import importlib
import json
import os
import pathlib
import re
import subprocess
import sys
import tarfile

import pytest

from conftest import SOURCE, ansible_env

MODULES = ["config", "facts", "ptz", "clock", "command"]


def ansible_doc(ansible, *args):
    run = subprocess.run(["/usr/bin/ansible-doc", *args], capture_output=True, text=True, timeout=60,
                         env=ansible_env(ansible.home, ansible.collections))
    assert run.returncode == 0, run.stderr
    assert "WARNING" not in run.stderr, run.stderr
    return run.stdout


class _Captured(Exception):
    def __init__(self, declared, options):
        self.declared = declared
        self.options = options


class _CapturingModule:
    def __init__(self, argument_spec, **options):
        raise _Captured(argument_spec, options)


def declared_options(collections, name):
    sys.path.insert(0, str(collections))
    try:
        module = importlib.import_module("ansible_collections.vmlcmd.devices.plugins.modules.%s" % name)
    finally:
        sys.path.remove(str(collections))
    module.AnsibleModule = _CapturingModule
    with pytest.raises(_Captured) as captured:
        module.main()
    return captured.value.declared, captured.value.options


@pytest.mark.parametrize("name", MODULES)
def test_documentation_matches_the_declared_options(ansible, name):
    doc = json.loads(ansible_doc(ansible, "--json", "vmlcmd.devices." + name))["vmlcmd.devices." + name]
    assert doc["examples"].strip() and doc["return"], "examples and return values are documented"
    documented = doc["doc"]["options"]
    declared, options = declared_options(ansible.collections, name)
    assert sorted(documented) == sorted(declared)
    for option, given in declared.items():
        shown = documented[option]
        assert shown.get("type", "str") == given.get("type", "str"), option
        assert bool(shown.get("required", False)) == bool(given.get("required", False)), option
        assert shown.get("default") == given.get("default"), option
        assert shown.get("choices") == given.get("choices"), option
        assert shown.get("elements") == given.get("elements"), option
        assert shown.get("description"), option
    assert declared["password"].get("no_log") is True
    assert options.get("supports_check_mode") is True


def test_text_rendering_and_the_inventory_plugin(ansible):
    for name in MODULES:
        text = ansible_doc(ansible, "vmlcmd.devices." + name)
        assert "EXAMPLES:" in text and "OPTIONS" in text
    doc = json.loads(ansible_doc(ansible, "-t", "inventory", "--json", "vmlcmd.devices.inventory"))
    plugin = doc["vmlcmd.devices.inventory"]
    assert plugin["examples"].strip()
    source = (SOURCE / "plugins" / "inventory" / "inventory.py").read_text(encoding="utf-8")
    used = set(re.findall(r'get_option\("([a-z_]+)"\)', source))
    assert used and used <= set(plugin["doc"]["options"]), used - set(plugin["doc"]["options"])


def test_tarball_holds_the_source_and_the_project_version():
    version = re.search(r"^version: *(\S+)", (SOURCE / "galaxy.yml").read_text(), re.M).group(1)
    assert version == os.environ["VMLCMD_VERSION"]
    tarball = os.environ["VMLCMD_ANSIBLE_TARBALL"]
    assert tarball.endswith("vmlcmd-devices-%s.tar.gz" % version)
    with tarfile.open(tarball) as archive:
        packed = {m.name for m in archive.getmembers() if m.isfile()}
        manifest = json.load(archive.extractfile("MANIFEST.json"))
    assert manifest["collection_info"]["version"] == version
    shipped = {str(p.relative_to(SOURCE)) for p in SOURCE.rglob("*")
               if p.is_file() and "__pycache__" not in p.parts and p.name != "galaxy.yml"}
    assert shipped <= packed, shipped - packed
    # The version the facts report is the collection's own.
    device = (SOURCE / "plugins" / "module_utils" / "device.py").read_text()
    assert 'COLLECTION_VERSION = "%s"' % version in device
