#!/usr/bin/python
# -*- coding: utf-8 -*-
# The device's clock set to the controller's time, or to a given one.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: clock
short_description: Set a video server's clock
version_added: 0.1.0
description:
  - Sets the device's clock (its time of day) to the controller's local time when the task
    runs, or to C(time).
  - The device cannot report its clock, so every run writes it and reports C(changed).
extends_documentation_fragment:
  - vmlcmd.devices.connection
options:
  time:
    description:
      - The time to set, C(YYYY-MM-DDTHH:MM:SS) (or C(YYYY-MM-DD HH:MM:SS)), local time as the
        device keeps it. When left out, the controller's time at the write.
    type: str
notes:
  - Check mode writes nothing and reports C(changed).
  - Forks run hosts in batches; the time is taken per device when its write is sent, not
    once for the play.
author:
  - VmlCmd developers
"""

EXAMPLES = r"""
- name: Every device's clock to the controller's time
  vmlcmd.devices.clock:

- name: A fixed time, for a test of the recordings' time stamps
  vmlcmd.devices.clock:
    time: "2026-01-01T00:00:00"
"""

RETURN = r"""
clock:
  description: The time written (or that would be, in check mode), C(YYYY-MM-DDTHH:MM:SS).
  returned: always
  type: str
  sample: "2026-03-01T08:30:00"
"""

import datetime

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.vmlcmd.devices.plugins.module_utils.device import (
    CONNECTION_OPTIONS,
    fail_device,
    open_device,
    require_vmlcmd,
    vmlcmd,
)


def parse(text):
    for layout in ("%Y-%m-%dT%H:%M:%S", "%Y-%m-%d %H:%M:%S"):
        try:
            return datetime.datetime.strptime(text, layout)
        except ValueError:
            pass
    return None


def main():
    declared = dict(time=dict(type="str"))
    declared.update(CONNECTION_OPTIONS)
    module = AnsibleModule(argument_spec=declared, supports_check_mode=True)
    require_vmlcmd(module)
    when = None
    if module.params["time"] is not None:
        when = parse(module.params["time"])
        if when is None:
            module.fail_json(msg="time must be YYYY-MM-DDTHH:MM:SS, not %r" % module.params["time"])
    device = open_device(module)
    try:
        if when is None:
            when = datetime.datetime.now().replace(microsecond=0)
        if not module.check_mode:
            device.set_clock(when)
    except vmlcmd.DeviceError as error:
        fail_device(module, error)
    finally:
        device.close()
    module.exit_json(changed=True, clock=when.strftime("%Y-%m-%dT%H:%M:%S"))


if __name__ == "__main__":
    main()
