# -*- coding: utf-8 -*-
# The connection options every module of the collection takes.

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    DOCUMENTATION = r"""
options:
  host:
    description:
      - The device's IPv4 address as a dotted quad.
      - When left out, the host variable C(vmlcmd_host) is used (the vmlcmd.devices.inventory
        plugin sets it).
    type: str
  port:
    description:
      - The device's TCP port.
      - When left out, the host variable C(vmlcmd_port) is used.
    type: int
  user:
    description:
      - The account to log in with (at most 16 bytes, no C(-)).
      - When left out, the host variable C(vmlcmd_user) is used, else C(admin).
    type: str
    default: admin
  password:
    description:
      - The account's password (at most 8 bytes, no C(-)). Keep it in Ansible Vault.
      - When left out, the host variable C(vmlcmd_password) is used, else C(admin).
    type: str
    default: admin
  text_encoding:
    description:
      - The code page the device keeps its texts in (captions, the account), C(cp936),
        C(utf-8) or C(cpN). Texts in tasks and results are UTF-8 and converted to and from it.
      - When left out, the host variable C(vmlcmd_text_encoding) is used (the inventory's
        text-encoding column).
    type: str
    default: cp936
notes:
  - Runs on the controller (C(connection=local)); one device per inventory host, in parallel
    by Ansible's forks. The modules import the Python package C(vmlcmd) from the controller's
    Python (the C(python3-vmlcmd) package, or a build's C(python/) folder on C(PYTHONPATH)) and
    fail naming what to install when it is missing.
  - A device the connection never reached (refused, timed out, no route) makes its host
    unreachable; a device that answered and then failed (login refused, no reply, a wrong
    peer) fails its task. Either way only that host stops.
requirements:
  - the Python package vmlcmd on the controller
"""
