#!/usr/bin/python
# -*- coding: utf-8 -*-
# The device's configuration as a network resource: merged, replaced, overridden, gathered and
# rendered over the configuration engine of the vmlcmd package.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: config
short_description: Manage a video server's configuration as one resource
version_added: 0.1.0
description:
  - Reads, compares and writes a video server's configuration document (the one
    C(vmlctl config get) writes and C(vmlctl config apply) takes) through the configuration
    engine of the Python package vmlcmd. The engine reads only what the document names,
    writes only the fields that differ in as few operations as the device allows, reads every
    written field back, and writes the earlier values back when a write fails or does not
    hold.
  - Follows the network resource module conventions - C(state), C(config), C(running_config),
    and the return values C(before), C(after), C(commands), C(gathered) and C(rendered).
  - C(before) and C(after) hold the part of the configuration that C(config) names, as it
    was and as it is; the fields the engine read back are the proof of C(after). Use
    C(state=gathered) or vmlcmd.devices.facts for the whole document.
  - Of the other states of the conventions, C(deleted) does not apply - a device has no
    setting that can be absent, and no operation that restores its starting values except
    for the encoder and picture (use C(state=replaced) with the sections to reset); C(parsed)
    does not apply either - the devices have no configuration text of their own to parse, a
    backup is already the document (read it with the file lookup and C(from_json)).
extends_documentation_fragment:
  - vmlcmd.devices.connection
options:
  config:
    description:
      - The configuration document, or the part of it to manage, in the format of
        C(vmlctl config get) - sections C(network), C(serial) and C(video_ports) with one
        entry per video port (C("0"), C("1"), ...), each with C(encoder), C(picture),
        C(privacy_mask), C(motion), C(caption) and C(clock_overlay). The schema
        (/usr/share/vmlcmd/vmlcmd-config.schema.json) is checked before anything is sent.
      - Captions are UTF-8 text here, converted to the device's C(text_encoding); bytes that
        are no text in it are a dict with the key C(hex), two hexadecimal digits a byte.
      - Required for every state but C(gathered).
    type: dict
  running_config:
    description:
      - With C(state=rendered), the device's configuration to compare C(config) with, as
        C(gathered) returns it or a backup holds it. Fields it leaves out count as the
        devices' starting values (those listed under C(state=replaced)).
    type: dict
  state:
    description:
      - C(merged) sets the fields C(config) names and leaves every other field as it is.
      - C(replaced) sets each section C(config) names whole - the section's fields that
        C(config) leaves out take the values a device starts with - serial baud 9600;
        encoder bitrate 512, frame_rate 25, iframe_interval 100, quant_step 31, param_r 1;
        picture brightness 128, contrast 199, saturation 192, hue 128; privacy_mask and
        motion disabled at 0,0 size 0 (sensitivity 0); caption hidden at position 1 with no
        text; clock_overlay hidden at position 1. The network section has no such values - an
        address is each device's own - so it must name all three fields.
      - C(overridden) sets every section of every video port C(config) names, and the serial
        line - sections C(config) leaves out go back to the starting values above, as well as
        omitted fields. The network is left alone unless named.
      - C(gathered) reads the configuration of the C(video_ports) and returns it in
        C(gathered); nothing is written.
      - C(rendered) contacts no device and returns in C(rendered) the operations that a
        merge of C(config) would run on a device holding C(running_config).
    type: str
    choices: [merged, replaced, overridden, gathered, rendered]
    default: merged
  video_ports:
    description:
      - The video ports C(state=gathered) reads. When left out, the host variable
        C(vmlcmd_video_port) is read, else port 0.
      - The other states touch the ports C(config) names.
    type: list
    elements: int
  allow_address_change:
    description:
      - Write a changed C(network) section (last, once everything else held) and look for
        the device at its new address. Without it a network difference fails the task and
        is not written.
    type: bool
    default: false
notes:
  - Check mode plans and writes nothing; C(changed) then says whether something would change.
  - Diff mode shows each field that changes, with its value before and after.
  - A write the device answers with success but does not keep (the read-back differs) fails
    the task naming the field; the device is rolled back to what it held, and
    C(rolled_back) says whether that held.
author:
  - VmlCmd developers
"""

EXAMPLES = r"""
- name: Set the bitrate of video port 0 and leave everything else
  vmlcmd.devices.config:
    config:
      video_ports:
        "0":
          encoder:
            bitrate: 1024

- name: A caption set whole (the clock overlay and the rest untouched)
  vmlcmd.devices.config:
    state: replaced
    config:
      video_ports:
        "0":
          caption:
            caption: "北门 入口"
            show: true

- name: Back up the whole configuration of two video ports
  vmlcmd.devices.config:
    state: gathered
    video_ports: [0, 1]
  register: backup

- name: What a template would change on a backed-up device, without the device
  vmlcmd.devices.config:
    state: rendered
    config: "{{ lookup('file', 'template.json') | from_json }}"
    running_config: "{{ lookup('file', 'backup/' ~ inventory_hostname ~ '.json') | from_json }}"
"""

RETURN = r"""
before:
  description: The part of the configuration that C(config) names, before the task.
  returned: when state is merged, replaced or overridden and the device could be read
  type: dict
after:
  description:
    - The same part after the task (equal to C(before) when nothing changed, or when a
      failed write was rolled back).
  returned: when state is merged, replaced or overridden and the device could be read
  type: dict
commands:
  description:
    - The write operations run, in order, one line each - the operation, the video port and
      the fields it carries to new values (the unit's other fields go back as read). In check
      mode, the operations that would run.
  returned: when state is merged, replaced or overridden
  type: list
  elements: str
  sample: ["SetVideoBitrate video_port=0: encoder.bitrate=1024"]
changes:
  description: Each field that differed, with C(path), C(from) and C(to).
  returned: when state is merged, replaced or overridden
  type: list
  elements: dict
  sample: [{"path": "video_ports.0.encoder.bitrate", "from": 512, "to": 1024}]
failed_fields:
  description: One line per failure - a write that failed, or a field that did not hold.
  returned: on failure
  type: list
  elements: str
  sample: ["not applied: video_ports.0.encoder.bitrate is 512, wanted 1024"]
rolled_back:
  description: After a failure, whether the earlier values were written back and held.
  returned: on failure after a write
  type: bool
gathered:
  description: The configuration document read from the device.
  returned: when state is gathered
  type: dict
rendered:
  description: The operations a merge of C(config) would run on C(running_config).
  returned: when state is rendered
  type: list
  elements: str
"""

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.vmlcmd.devices.plugins.module_utils.device import (
    CONNECTION_OPTIONS,
    PORT_SECTIONS,
    commands_for,
    diff_of,
    document_ports,
    fail_unless_connected,
    normalize_document,
    open_device,
    replaced_document,
    require_vmlcmd,
    vmlcmd,
    with_changes,
)

# The simulator that rendering plans against has video ports 0..N-1; a document naming more is
# beyond any device of the fleet.
_RENDER_PORT_LIMIT = 64

# How the engine's failure lines start once the device was read and writing began; any other
# line is a read that failed, after which nothing is written.
_AFTER_READING = ("write failed", "not verified", "not applied", "rollback", "held back", "network not written", "unverified")


def gather(module):
    ports = module.params["video_ports"] or [0]
    device = open_device(module)
    try:
        document = device.read_config(ports)
    except vmlcmd.ConfigError as error:
        fail_unless_connected(module, device, "reading the configuration failed: %s" % error,
                              errors=error.errors, gathered=error.document)
    except ValueError as error:
        module.fail_json(msg=str(error))
    finally:
        device.close()
    module.exit_json(changed=False, gathered=document)


def render(module, wanted):
    running = normalize_document(module.params["running_config"])
    if running is None:
        module.fail_json(msg="state=rendered needs running_config: the configuration to compare with")
    ports = set(document_ports(wanted)) | set(document_ports(running))
    if ports and max(ports) >= _RENDER_PORT_LIMIT:
        module.fail_json(msg="rendering covers video ports 0..%d" % (_RENDER_PORT_LIMIT - 1))
    encoding = module.params["text_encoding"]
    # The engine itself plans: a simulated device is given running_config through the engine's
    # own writes (the network through its state, since the engine would look for the device at
    # the new address), then the engine plans config against it.
    with vmlcmd.Simulator(video_ports=max(ports) + 1 if ports else 1) as sim:
        network = running.pop("network", None)
        running.pop("format", None)
        if network:
            names = {"ip": "ip", "subnet_mask": "mask", "gateway": "gateway"}
            sim.update_state({"network": dict((names[k], v) for k, v in network.items() if k in names)})
        with sim.device(text_encoding=encoding) as device:
            try:
                seeded = device.apply_config(running)
                if not seeded.ok:
                    module.fail_json(msg="running_config is none a device could hold: %s" % "; ".join(seeded.failed))
                changes = device.plan_config(wanted)
            except ValueError as error:
                module.fail_json(msg="refused: %s" % error)
    module.exit_json(changed=False, rendered=commands_for(changes), changes=changes)


def apply(module, wanted):
    allow = module.params["allow_address_change"]
    device = open_device(module)
    header = "%s:%s" % (module.params["host"], module.params["port"])
    try:
        result = device.apply_config(wanted, check=module.check_mode, allow_address_change=allow)
    except ValueError as error:
        device.close()
        module.fail_json(msg="refused before anything was sent: %s" % error)
    try:
        output = dict(changes=result.changes, commands=commands_for(result.changes))
        if not result.ok and not any(line.startswith(_AFTER_READING) for line in result.failed):
            # The device could not be read whole, so nothing was written.
            fail_unless_connected(module, device, "; ".join(result.failed), failed_fields=result.failed, **output)
        output["before"] = with_changes(wanted, result.changes, "from")
        if module._diff and result.changes:
            output["diff"] = diff_of(result.changes, header)
        if not result.ok:
            output["rolled_back"] = result.rolled_back
            output["after"] = output["before"] if result.rolled_back else None
            fields = list(result.failed)
            module.fail_json(
                msg="%s; %s" % ("; ".join(fields), "rolled back" if result.rolled_back else "NOT rolled back"),
                failed_fields=fields,
                changed=not result.rolled_back,
                **output
            )
        output["after"] = with_changes(wanted, result.changes, "to")
        module.exit_json(changed=bool(result.changes), **output)
    finally:
        device.close()


def main():
    declared = dict(
        config=dict(type="dict"),
        running_config=dict(type="dict"),
        state=dict(type="str", default="merged", choices=["merged", "replaced", "overridden", "gathered", "rendered"]),
        video_ports=dict(type="list", elements="int"),
        allow_address_change=dict(type="bool", default=False),
    )
    declared.update(CONNECTION_OPTIONS)
    module = AnsibleModule(
        argument_spec=declared,
        supports_check_mode=True,
        required_if=[("state", state, ["config"]) for state in ("merged", "replaced", "overridden", "rendered")],
    )
    require_vmlcmd(module)
    state = module.params["state"]
    if state == "gathered":
        gather(module)
    wanted = normalize_document(module.params["config"])
    if state == "replaced":
        wanted, error = replaced_document(wanted)
    elif state == "overridden":
        wanted, error = replaced_document(wanted, sections_of_port=PORT_SECTIONS)
    else:
        error = None
    if error:
        module.fail_json(msg=error)
    if state == "rendered":
        render(module, wanted)
    apply(module, wanted)


if __name__ == "__main__":
    main()
