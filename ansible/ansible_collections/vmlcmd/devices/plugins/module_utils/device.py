# -*- coding: utf-8 -*-
# The modules' common part: the vmlcmd import, the connection options, the mapping of the
# package's exceptions to Ansible's failed and unreachable, and the configuration helpers that
# describe what the engine did. Reading, planning, writing, read-back and rollback are the
# engine's (vmlcmd.Device.read_config / plan_config / apply_config); nothing here repeats them.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import copy
import sys
import traceback

try:
    import vmlcmd

    HAS_VMLCMD = True
    VMLCMD_IMPORT_ERROR = None
except ImportError:  # pragma: no cover - exercised by the "missing package" test
    vmlcmd = None
    HAS_VMLCMD = False
    VMLCMD_IMPORT_ERROR = traceback.format_exc()

COLLECTION_VERSION = "0.1.0"

CONNECTION_OPTIONS = dict(
    host=dict(type="str"),
    port=dict(type="int"),
    user=dict(type="str", default="admin"),
    password=dict(type="str", default="admin", no_log=True),
    text_encoding=dict(type="str", default="cp936"),
)

# The outcome stages where no connection was ever made: Ansible's "unreachable". A device that
# accepted the connection and then failed (login refused, no reply, not a NAPI peer) is a
# failed task instead, since it is there and answering something.
_NEVER_CONNECTED = ("NO_NETWORK_LINK", "ADDRESS_INVALID", "CONNECT_REFUSED", "CONNECT_TIMED_OUT", "CONNECT_FAILED")

# Defaults of a section set whole ("replaced"): the values a device starts with, on the
# document's scale. The network has none: an address is the device's own, never a default.
SECTION_DEFAULTS = {
    "serial": {"baud": 9600},
    "encoder": {"bitrate": 512, "frame_rate": 25, "iframe_interval": 100, "quant_step": 31, "param_r": 1},
    "picture": {"brightness": 128, "contrast": 199, "saturation": 192, "hue": 128},
    "privacy_mask": {"enabled": False, "left": 0, "top": 0, "width": 0, "height": 0},
    "motion": {"enabled": False, "left": 0, "top": 0, "width": 0, "height": 0, "sensitivity": 0},
    "caption": {"show": False, "position": 1, "caption": ""},
    "clock_overlay": {"show": False, "position": 1},
}
PORT_SECTIONS = ("encoder", "picture", "privacy_mask", "motion", "caption", "clock_overlay")
NETWORK_FIELDS = ("ip", "subnet_mask", "gateway")

# The operation that writes each unit of the document, as the engine groups them: one changed
# field of the encoder and picture goes through its own setter, two or more through one
# SetVideoSettings; each other unit is one setter writing all its fields.
_SINGLE_VIDEO_SETTERS = {
    ("encoder", "bitrate"): "SetVideoBitrate",
    ("encoder", "frame_rate"): "SetVideoFrameRate",
    ("encoder", "iframe_interval"): "SetVideoIFrameInterval",
    ("encoder", "quant_step"): "SetVideoQuantStep",
    ("encoder", "param_r"): "SetVideoParamR",
    ("picture", "brightness"): "SetBrightness",
    ("picture", "contrast"): "SetContrast",
    ("picture", "saturation"): "SetSaturation",
    ("picture", "hue"): "SetHue",
}
_UNIT_SETTERS = {
    "serial": "SetSerialBaudRate",
    "privacy_mask": "SetMaskRegion",
    "motion": "SetMotionRegion",
    "caption": "SetOsdCaption",
    "clock_overlay": "SetOsdTime",
}
_SINGLE_NETWORK_SETTERS = {"ip": "SetIpAddress", "subnet_mask": "SetSubnetMask", "gateway": "SetGateway"}


def require_vmlcmd(module):
    """Fails the task with what to install when the controller's Python has no vmlcmd."""
    if not HAS_VMLCMD:
        module.fail_json(
            msg="the Python package vmlcmd is not importable by %s on the controller: install the "
            "python3-vmlcmd package, pip install the project's python/ folder, or put a build's "
            "python/ folder on PYTHONPATH" % sys.executable,
            exception=VMLCMD_IMPORT_ERROR,
        )


def open_device(module, video_port=0):
    """A vmlcmd.Device from the task's connection options; a refused option fails the task."""
    params = module.params
    missing = [name for name in ("host", "port") if params.get(name) is None]
    if missing:
        module.fail_json(
            msg="%s: give them as options, or as the host variables vmlcmd_host and vmlcmd_port "
            "(the vmlcmd.devices.inventory plugin sets them)" % " and ".join(missing)
            + (" are missing" if len(missing) > 1 else " is missing")
        )
    try:
        return vmlcmd.Device(
            params["host"],
            params["port"],
            user=params["user"],
            password=params["password"],
            video_port=video_port,
            text_encoding=params["text_encoding"],
        )
    except (TypeError, ValueError) as error:
        module.fail_json(msg="refused before anything was sent: %s" % error)


def never_connected(stage):
    """Whether an outcome stage means the connection was never made."""
    return any(stage == getattr(vmlcmd.Stage, name) for name in _NEVER_CONNECTED)


def fail_device(module, error, msg=None, **result):
    """Fails the task for a vmlcmd exception: unreachable for a connection never made (the
    action plugin turns that into Ansible's unreachable host), failed otherwise."""
    if isinstance(error, vmlcmd.DeviceError):
        result.setdefault("stage", error.stage_text)
        if isinstance(error, vmlcmd.ConnectError) or never_connected(error.stage):
            result["unreachable"] = True
    module.fail_json(msg=msg or str(error), **result)


def fail_unless_connected(module, device, msg, **result):
    """Fails the task after an operation that reports failures in its result (the engine's):
    whether the device was ever reached is read from the device's last outcome."""
    outcome = device.last_outcome
    if never_connected(outcome.stage):
        result["unreachable"] = True
    result.setdefault("stage", vmlcmd.stage_text(outcome.stage))
    module.fail_json(msg=msg, **result)


# ---- the configuration document ------------------------------------------------------------


def normalize_document(document):
    """The document with video port keys as strings (YAML reads `0:` as an integer)."""
    if document is None:
        return None
    out = copy.deepcopy(document)
    ports = out.get("video_ports")
    if isinstance(ports, dict):
        out["video_ports"] = dict((str(key), value) for key, value in ports.items())
    return out


def document_ports(document):
    """The video ports a document names, as integers, sorted."""
    ports = (document or {}).get("video_ports") or {}
    try:
        return sorted(int(key) for key in ports)
    except ValueError:
        return []


def replaced_document(document, sections_of_port=None):
    """Each section the document names set whole: its omitted fields take the devices' starting
    values. With sections_of_port (overridden), every one of those sections of every port the
    document names is set, named or not, and the serial line with them. The network section
    must name all three fields: an address has no default. Returns (document, error)."""
    out = normalize_document(document)
    network = out.get("network")
    if network is not None:
        missing = [field for field in NETWORK_FIELDS if field not in network]
        if missing:
            return None, (
                "network is set whole and has no default for %s: an address is each device's own"
                % ", ".join(missing)
            )
    if "serial" in out or sections_of_port is not None:
        serial = dict(SECTION_DEFAULTS["serial"])
        serial.update(out.get("serial") or {})
        out["serial"] = serial
    for key, port in (out.get("video_ports") or {}).items():
        names = list(port)
        if sections_of_port is not None:
            names = [name for name in PORT_SECTIONS if name in port or name in sections_of_port]
        for name in names:
            if name not in SECTION_DEFAULTS:
                continue  # refused by the schema below, with its own words
            section = dict(SECTION_DEFAULTS[name])
            section.update(port.get(name) or {})
            port[name] = section
    return out, None


def _split(path):
    parts = path.split(".")
    if parts[0] == "video_ports":
        return int(parts[1]), parts[2], parts[3]
    return None, parts[0], parts[1]


def commands_for(changes):
    """The write operations the engine runs for these changes, in its order: units in the
    changes' (canonical) order, the network last; one line each, naming the operation, the
    video port and the fields it carries to new values (a unit's other fields go back as read)."""
    groups = []
    network = []
    for change in changes:
        port, section, field = _split(change["path"])
        if section == "network":
            network.append((section, field, change["to"]))
            continue
        unit = "video" if section in ("encoder", "picture") else section
        for group in groups:
            if group[0] == unit and group[1] == port:
                group[2].append((section, field, change["to"]))
                break
        else:
            groups.append((unit, port, [(section, field, change["to"])]))
    if network:
        groups.append(("network", None, network))
    lines = []
    for unit, port, fields in groups:
        if unit == "video":
            name = _SINGLE_VIDEO_SETTERS[fields[0][:2]] if len(fields) == 1 else "SetVideoSettings"
        elif unit == "network":
            name = _SINGLE_NETWORK_SETTERS[fields[0][1]] if len(fields) == 1 else "SetNetworkConfig"
        else:
            name = _UNIT_SETTERS[unit]
        values = ", ".join("%s.%s=%s" % (section, field, show(value)) for section, field, value in fields)
        where = "" if port is None else " video_port=%d" % port
        lines.append("%s%s: %s" % (name, where, values))
    return lines


def show(value):
    """A document value as vmlctl plan shows it."""
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, dict) and "hex" in value:
        return "{hex: %s}" % value["hex"]
    return str(value) if not isinstance(value, str) else '"%s"' % value


def with_changes(document, changes, side):
    """The document with each changed field at its "from" or "to" value: the managed part as
    it was before the changes, or as it is after them."""
    out = normalize_document(document)
    out.pop("format", None)
    for change in changes:
        port, section, field = _split(change["path"])
        holder = out[section] if port is None else out["video_ports"][str(port)][section]
        holder[field] = change[side]
    return out


def diff_of(changes, header):
    """Ansible's diff for the changes: one line per field, before and after."""
    return dict(
        before_header=header,
        after_header=header,
        before="".join("%s: %s\n" % (c["path"], show(c["from"])) for c in changes),
        after="".join("%s: %s\n" % (c["path"], show(c["to"])) for c in changes),
    )
