#!/usr/bin/python
# -*- coding: utf-8 -*-
# What a device is and holds, as facts: versions, the video ports it has, its configuration.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: facts
short_description: A video server's versions, video ports and configuration as facts
version_added: 0.1.0
description:
  - Finds which of the C(video_ports) the device has (a port it answers with status 5, wrong
    video port, is left out), then reads the configuration of those ports with the
    configuration engine of the Python package vmlcmd.
  - The device's protocol has no operation that reports a firmware version; the versions
    are those of the library and this collection, and the maker's name the library reports.
extends_documentation_fragment:
  - vmlcmd.devices.connection
options:
  video_ports:
    description: The video ports to look for; one short transaction each.
    type: list
    elements: int
    default: [0, 1, 2, 3]
notes:
  - Check mode changes nothing here, as the module never writes.
author:
  - VmlCmd developers
"""

EXAMPLES = r"""
- name: Facts of every device
  vmlcmd.devices.facts:

- name: Devices with more than one video port
  ansible.builtin.debug:
    msg: "{{ inventory_hostname }} has {{ vmlcmd_video_ports }}"
  when: vmlcmd_video_ports | length > 1
"""

RETURN = r"""
ansible_facts:
  description: The facts.
  returned: always
  type: complex
  contains:
    vmlcmd_versions:
      description: C(library) (the vmlcmd package and library), C(collection), C(vendor).
      type: dict
      sample: {"library": "0.1.0", "collection": "0.1.0", "vendor": "..."}
    vmlcmd_video_ports:
      description: The video ports of C(video_ports) the device has.
      type: list
      elements: int
      sample: [0, 1, 2, 3]
    vmlcmd_config:
      description: The configuration document of those ports, as C(vmlctl config get) writes it.
      type: dict
"""

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.vmlcmd.devices.plugins.module_utils.device import (
    COLLECTION_VERSION,
    CONNECTION_OPTIONS,
    fail_device,
    fail_unless_connected,
    open_device,
    require_vmlcmd,
    vmlcmd,
)

_WRONG_VIDEO_PORT = 5


def main():
    declared = dict(video_ports=dict(type="list", elements="int", default=[0, 1, 2, 3]))
    declared.update(CONNECTION_OPTIONS)
    module = AnsibleModule(argument_spec=declared, supports_check_mode=True)
    require_vmlcmd(module)
    device = open_device(module)
    try:
        present = []
        for port in sorted(set(module.params["video_ports"])):
            try:
                device.video_port = port
                device.clock_overlay  # the shortest read of a video port
                present.append(port)
            except vmlcmd.StatusError as error:
                if error.status != _WRONG_VIDEO_PORT:
                    fail_device(module, error)
            except vmlcmd.DeviceError as error:
                fail_device(module, error)
            except ValueError as error:
                module.fail_json(msg=str(error))
        try:
            document = device.read_config(present) if present else {}
        except vmlcmd.ConfigError as error:
            fail_unless_connected(module, device, "reading the configuration failed: %s" % error)
        facts = dict(
            vmlcmd_versions=dict(library=vmlcmd.__version__, collection=COLLECTION_VERSION, vendor=device.vendor),
            vmlcmd_video_ports=present,
            vmlcmd_config=document,
        )
    finally:
        device.close()
    module.exit_json(changed=False, ansible_facts=facts)


if __name__ == "__main__":
    main()
