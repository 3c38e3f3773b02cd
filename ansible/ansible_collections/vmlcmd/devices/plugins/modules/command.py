#!/usr/bin/python
# -*- coding: utf-8 -*-
# One operation of the device by its vmlctl name, for what the other modules do not cover.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: command
short_description: Run one operation of a video server by its vmlctl name
version_added: 0.1.0
description:
  - Runs one operation, named as the C(vmlctl) command that runs it, with C(args) in the
    order of that command's arguments, through the Python package vmlcmd.
  - For what the other modules do not cover - the account, the PTZ heads' bus setup, a port
    setting, the pass-through commands, single values. A device's settings are better kept
    with vmlcmd.devices.config, which writes only what differs and reads it back.
  - "Reads (C(changed) false): C(vendor), C(get-ip), C(get-subnet-mask), C(get-gateway),
    C(network), C(get-baud), C(get-bitrate), C(get-frame-rate), C(get-iframe-interval),
    C(get-quant-step), C(get-param-r), C(get-brightness), C(get-contrast),
    C(get-saturation), C(get-hue), C(video-settings), C(privacy-mask get), C(motion get),
    C(osd caption), C(osd clock-overlay)."
  - "Writes (C(changed) true, nothing sent in check mode): C(set-ip IP), C(set-subnet-mask
    MASK), C(set-gateway GW), C(set-network IP MASK GW), C(set-baud RATE), C(set-bitrate N),
    C(set-frame-rate N), C(set-iframe-interval N), C(set-quant-step N), C(set-param-r N),
    C(set-param-t TEXT PORT), C(set-brightness N), C(set-contrast N), C(set-saturation N),
    C(set-hue N), C(restore-video-defaults), C(set-account USER PASS), C(set-port-setting
    PORT VALUE), C(ptz-protocol PROTOCOL HEAD), C(ptz-address ADDRESS HEAD),
    C(ptz-parameters R S), C(ptz auto MODE), C(command8), C(command9), C(command51 P T A O),
    C(command52 P T A O), C(osd set-caption SHOW POSITION TEXT), C(osd set-clock-overlay SHOW
    POSITION), C(privacy-mask set ENABLED LEFT TOP WIDTH HEIGHT), C(motion set ENABLED LEFT
    TOP WIDTH HEIGHT SENSITIVITY)."
  - The movements of the PTZ head are left to vmlcmd.devices.ptz, which always stops them.
extends_documentation_fragment:
  - vmlcmd.devices.connection
options:
  name:
    description: The operation, as its vmlctl command (with a space for a subcommand).
    type: str
    required: true
  args:
    description:
      - The operation's arguments in the order of the vmlctl command's. Numbers may be given
        as numbers or text; C(true)/C(false), C(1)/C(0) and C(on)/C(off) for switches.
    type: list
    elements: raw
    default: []
  video_port:
    description:
      - The video port the per-port operations address. When left out, the host variable
        C(vmlcmd_video_port), else 0.
    type: int
author:
  - VmlCmd developers
"""

EXAMPLES = r"""
- name: Point PTZ head 0 at bus address 5
  vmlcmd.devices.command:
    name: ptz-address
    args: [5, 0]

- name: A new account (log in with it from the next task on)
  vmlcmd.devices.command:
    name: set-account
    args: [operator, "{{ vault_new_password }}"]
  no_log: true

- name: One value
  vmlcmd.devices.command:
    name: get-bitrate
  register: bitrate
"""

RETURN = r"""
value:
  description: What a read returned (a number, a text, or a dict of the fields).
  returned: for reads
  type: raw
  sample: 1024
operation:
  description: The operation's name as given.
  returned: always
  type: str
"""

import dataclasses

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.vmlcmd.devices.plugins.module_utils.device import (
    CONNECTION_OPTIONS,
    fail_device,
    open_device,
    require_vmlcmd,
    vmlcmd,
)


def _bool(value):
    if isinstance(value, bool):
        return value
    text = str(value).strip().lower()
    if text in ("1", "true", "on", "yes"):
        return True
    if text in ("0", "false", "off", "no"):
        return False
    raise ValueError("expected a switch (true/false, 1/0, on/off), not %r" % (value,))


def _int(value):
    if isinstance(value, bool):
        raise ValueError("expected a number, not %r" % (value,))
    return int(value)


def _str(value):
    return str(value)


def _plain(value):
    if dataclasses.is_dataclass(value):
        return dict((k, _plain(v)) for k, v in dataclasses.asdict(value).items())
    if hasattr(value, "_asdict"):
        return dict(value._asdict())
    return value


def _setter(attribute):
    return lambda device, value: setattr(device, attribute, value)


# vmlctl name -> (argument converters, what to call with the device and the converted arguments)
READS = {
    "vendor": lambda d: d.vendor,
    "get-ip": lambda d: d.ip,
    "get-subnet-mask": lambda d: d.subnet_mask,
    "get-gateway": lambda d: d.gateway,
    "network": lambda d: d.network,
    "get-baud": lambda d: d.baud,
    "get-bitrate": lambda d: d.bitrate,
    "get-frame-rate": lambda d: d.frame_rate,
    "get-iframe-interval": lambda d: d.iframe_interval,
    "get-quant-step": lambda d: d.quant_step,
    "get-param-r": lambda d: d.param_r,
    "get-brightness": lambda d: d.brightness,
    "get-contrast": lambda d: d.contrast,
    "get-saturation": lambda d: d.saturation,
    "get-hue": lambda d: d.hue,
    "video-settings": lambda d: d.video_settings,
    "privacy-mask get": lambda d: d.privacy_mask,
    "motion get": lambda d: d.motion,
    "osd caption": lambda d: d.caption,
    "osd clock-overlay": lambda d: d.clock_overlay,
}

WRITES = {
    "set-ip": ((_str,), _setter("ip")),
    "set-subnet-mask": ((_str,), _setter("subnet_mask")),
    "set-gateway": ((_str,), _setter("gateway")),
    "set-network": ((_str, _str, _str), lambda d, ip, mask, gw: d.set_network(ip, mask, gw)),
    "set-baud": ((_int,), _setter("baud")),
    "set-bitrate": ((_int,), _setter("bitrate")),
    "set-frame-rate": ((_int,), _setter("frame_rate")),
    "set-iframe-interval": ((_int,), _setter("iframe_interval")),
    "set-quant-step": ((_int,), _setter("quant_step")),
    "set-param-r": ((_int,), _setter("param_r")),
    "set-param-t": ((_str, _int), lambda d, text, port: d.set_param_t(text, port)),
    "set-brightness": ((_int,), _setter("brightness")),
    "set-contrast": ((_int,), _setter("contrast")),
    "set-saturation": ((_int,), _setter("saturation")),
    "set-hue": ((_int,), _setter("hue")),
    "restore-video-defaults": ((), lambda d: d.restore_video_defaults()),
    "set-account": ((_str, _str), lambda d, user, password: d.set_account(user, password)),
    "set-port-setting": ((_int, _int), lambda d, port, value: d.set_port_setting(port, value)),
    "ptz-protocol": ((_int, _int), lambda d, protocol, head: d.set_ptz_protocol(protocol, head)),
    "ptz-address": ((_int, _int), lambda d, address, head: d.set_ptz_address(address, head)),
    "ptz-parameters": ((_int, _int), lambda d, r, s: d.ptz.set_parameters(r, s)),
    "ptz auto": ((_bool,), lambda d, on: d.ptz.auto(on)),
    "command8": ((), lambda d: d.send_command8()),
    "command9": ((), lambda d: d.send_command9()),
    "command51": ((_int, _str, _str, _int), lambda d, p, t, a, o: d.send_command51(p, t, a, o)),
    "command52": ((_int, _str, _str, _int), lambda d, p, t, a, o: d.send_command52(p, t, a, o)),
    "osd set-caption": ((_bool, _int, _str), lambda d, show, pos, text: d.set_caption(text, pos, show)),
    "osd set-clock-overlay": (
        (_bool, _int),
        lambda d, show, pos: setattr(d, "clock_overlay", vmlcmd.ClockOverlay(position=pos, show=show)),
    ),
    "privacy-mask set": (
        (_bool, _int, _int, _int, _int),
        lambda d, on, left, top, width, height: setattr(d, "privacy_mask", vmlcmd.Region(on, left, top, width, height)),
    ),
    "motion set": (
        (_bool, _int, _int, _int, _int, _int),
        lambda d, on, left, top, width, height, sens: setattr(
            d, "motion", vmlcmd.MotionRegion(on, left, top, width, height, sens)
        ),
    ),
}

# Names vmlctl still takes for one release; the table keeps them working here too.
ALIASES = {
    "get-mask": "privacy-mask get",
    "mask get": "privacy-mask get",
    "set-mask": "privacy-mask set",
    "mask set": "privacy-mask set",
    "osd time": "osd clock-overlay",
    "osd set-time": "osd set-clock-overlay",
}


def main():
    declared = dict(
        name=dict(type="str", required=True),
        args=dict(type="list", elements="raw", default=[]),
        video_port=dict(type="int"),
    )
    declared.update(CONNECTION_OPTIONS)
    module = AnsibleModule(argument_spec=declared, supports_check_mode=True)
    require_vmlcmd(module)
    given = " ".join(module.params["name"].split())
    name = ALIASES.get(given, given)
    args = module.params["args"]
    if name in READS:
        converters, call = (), READS[name]
    elif name in WRITES:
        converters, call = WRITES[name]
    else:
        module.fail_json(
            msg="%s is no operation this module runs; it runs %s" % (given, ", ".join(sorted(READS) + sorted(WRITES)))
        )
    if len(args) != len(converters):
        module.fail_json(msg="%s takes %d argument(s), not %d" % (given, len(converters), len(args)))
    try:
        values = [convert(arg) for convert, arg in zip(converters, args)]
    except (TypeError, ValueError) as error:
        module.fail_json(msg="%s: %s" % (given, error))
    if name in WRITES and module.check_mode:
        module.exit_json(changed=True, operation=given)
    device = open_device(module, video_port=module.params["video_port"] or 0)
    try:
        value = call(device, *values)
    except vmlcmd.DeviceError as error:
        fail_device(module, error, operation=given)
    except (TypeError, ValueError) as error:
        module.fail_json(msg="%s refused before anything was sent: %s" % (given, error), operation=given)
    finally:
        device.close()
    if name in READS:
        value = _plain(value)
        if isinstance(value, bytes):
            value = {"hex": value.hex()}
        if isinstance(value, dict):
            value = dict((k, {"hex": v.hex()} if isinstance(v, bytes) else v) for k, v in value.items())
        module.exit_json(changed=False, operation=given, value=value)
    module.exit_json(changed=True, operation=given)


if __name__ == "__main__":
    main()
