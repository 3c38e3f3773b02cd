# -*- coding: utf-8 -*-
# The fleet's CSV inventory (the one vmlctl --inventory and napi-sim --inventory-out use) as
# Ansible hosts, read by vmlcmd.read_inventory so that its rules and refusals are vmlctl's.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
name: inventory
short_description: The devices of a vmlcmd CSV inventory as hosts
version_added: 0.1.0
description:
  - Reads the fleet's CSV inventory (columns C(host) and C(port), and as needed C(name),
    C(user), C(password), C(video-port), C(text-encoding)) with the reader of the Python
    package vmlcmd, the one vmlctl uses - the same rules, and the same refusals of an unknown
    column, a bad value or an account the library would refuse, naming the file and line.
  - Each device becomes a host named after its C(name) column (C(HOST_PORT) without one), with
    the variables C(vmlcmd_host), C(vmlcmd_port), C(vmlcmd_video_port),
    C(vmlcmd_text_encoding), C(vmlcmd_line) (its line in the file) and, unless
    C(credentials) is false, C(vmlcmd_user) and C(vmlcmd_password). The modules of this
    collection take their connection options from these variables.
  - Every host runs on the controller - C(ansible_connection=local), and the Python
    that runs Ansible as C(ansible_python_interpreter), where vmlcmd is installed.
  - The CSV has no group column (the reader refuses columns it does not know), so groups
    come from the C(device_groups) option, or from the constructed options C(groups),
    C(keyed_groups) and C(compose) over the variables above.
  - The inventory source is a YAML file whose name ends in C(vmlcmd.yml) or C(vmlcmd.yaml).
extends_documentation_fragment:
  - constructed
options:
  plugin:
    description: The name of this plugin; it makes the file an inventory of this plugin.
    required: true
    choices: [vmlcmd.devices.inventory]
    type: str
  path:
    description:
      - The CSV inventory, relative to the directory of this YAML file unless absolute
        (C(~) is expanded).
    required: true
    type: str
  user:
    description: The user of the devices whose row has no C(user) column.
    type: str
    default: admin
  password:
    description: The password of the devices whose row has no C(password) column.
    type: str
    default: admin
  video_port:
    description: The video port of the devices whose row has no C(video-port) column.
    type: int
    default: 0
  credentials:
    description:
      - Make the file's user and password host variables. Set it to false when the
        passwords are kept in Ansible Vault (C(vmlcmd_password) in group_vars) - the
        inventory's host variables would otherwise win over group variables.
    type: bool
    default: true
  device_groups:
    description:
      - Groups by device name - each key is a group, its value a list of device names or
        shell-style patterns (C(cam-north-*)). A device may be in several groups.
    type: dict
    default: {}
"""

EXAMPLES = r"""
# fleet.vmlcmd.yml, beside fleet.csv:
plugin: vmlcmd.devices.inventory
path: fleet.csv
credentials: false          # passwords come from group_vars/all/vault.yml
device_groups:
  north: ["cam-north-*"]
  gates: [cam-north-1, cam-south-4]
keyed_groups:
  - key: vmlcmd_text_encoding
    prefix: encoding
# ansible-inventory -i fleet.vmlcmd.yml --graph
"""

import fnmatch
import os

from ansible.errors import AnsibleParserError
from ansible.plugins.inventory import BaseInventoryPlugin, Constructable

try:
    import vmlcmd

    HAS_VMLCMD = True
except ImportError:
    HAS_VMLCMD = False


class InventoryModule(BaseInventoryPlugin, Constructable):
    NAME = "vmlcmd.devices.inventory"

    def verify_file(self, path):
        return super(InventoryModule, self).verify_file(path) and path.endswith(("vmlcmd.yml", "vmlcmd.yaml"))

    def parse(self, inventory, loader, path, cache=True):
        super(InventoryModule, self).parse(inventory, loader, path, cache)
        self._read_config_data(path)
        if not HAS_VMLCMD:
            raise AnsibleParserError(
                "the Python package vmlcmd is not importable by the Python running Ansible: install "
                "python3-vmlcmd, or put a build's python/ folder on PYTHONPATH"
            )
        csv = os.path.expanduser(self.get_option("path"))
        if not os.path.isabs(csv):
            csv = os.path.join(os.path.dirname(path), csv)
        try:
            entries = vmlcmd.read_inventory(
                csv, user=self.get_option("user"), password=self.get_option("password"),
                video_port=self.get_option("video_port"),
            )
        except OSError as error:
            raise AnsibleParserError("%s: %s" % (csv, error.strerror or error))
        except ValueError as error:  # InventoryError: the file and line, and why
            raise AnsibleParserError(str(error))
        groups = self.get_option("device_groups") or {}
        strict = self.get_option("strict")
        seen = {}
        for entry in entries:
            name = entry.name or "%s_%d" % (entry.host, entry.port)
            if name in seen:
                raise AnsibleParserError(
                    "%s:%d: the device name %s is already that of line %d" % (csv, entry.line, name, seen[name])
                )
            seen[name] = entry.line
            self.inventory.add_host(name)
            variables = dict(
                vmlcmd_host=entry.host,
                vmlcmd_port=entry.port,
                vmlcmd_video_port=entry.video_port,
                vmlcmd_text_encoding=entry.text_encoding,
                vmlcmd_line=entry.line,
                ansible_connection="local",
                ansible_python_interpreter="{{ ansible_playbook_python }}",
            )
            if self.get_option("credentials"):
                variables.update(vmlcmd_user=entry.user, vmlcmd_password=entry.password)
            for key, value in variables.items():
                self.inventory.set_variable(name, key, value)
            for group, patterns in groups.items():
                if isinstance(patterns, str):
                    patterns = [patterns]
                if any(fnmatch.fnmatchcase(name, pattern) for pattern in patterns):
                    self.inventory.add_group(group)
                    self.inventory.add_child(group, name)
            self._set_composite_vars(self.get_option("compose"), variables, name, strict=strict)
            self._add_host_to_composed_groups(self.get_option("groups"), variables, name, strict=strict)
            self._add_host_to_keyed_groups(self.get_option("keyed_groups"), variables, name, strict=strict)
