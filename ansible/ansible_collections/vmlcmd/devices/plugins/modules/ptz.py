#!/usr/bin/python
# -*- coding: utf-8 -*-
# A timed movement of a PTZ head that always ends with a stop, and a plain stop.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: ptz
short_description: Move a video server's PTZ head for a while, or stop it
version_added: 0.1.0
description:
  - Starts a movement of the head of C(video_port), waits C(duration) seconds, and stops it.
    The device never ends a movement by itself, so the stop is sent however the wait ends -
    also when the movement's own request fails, when the task times out (C(timeout)) and when
    the play is interrupted (Ctrl-C, SIGTERM).
  - C(action=stop) sends the stop alone, to halt a head left moving by something else.
extends_documentation_fragment:
  - vmlcmd.devices.connection
options:
  action:
    description: C(move) for a timed movement, C(stop) to stop.
    type: str
    choices: [move, stop]
    default: move
  movement:
    description: What moves - C(pan) (right for a positive direction), C(tilt) (up),
      C(zoom) (in), C(focus) (nearer), C(iris) (open).
    type: str
    choices: [pan, tilt, zoom, focus, iris]
  direction:
    description: The movement's direction; only its sign counts, 0 is refused.
    type: int
    default: 1
  duration:
    description: Seconds the movement runs before the stop (at most 300).
    type: float
    default: 1.0
  video_port:
    description:
      - The video port whose head moves. When left out, the host variable
        C(vmlcmd_video_port), else 0.
    type: int
notes:
  - Check mode sends nothing and reports C(changed).
author:
  - VmlCmd developers
"""

EXAMPLES = r"""
- name: Pan right for two seconds, then stop
  vmlcmd.devices.ptz:
    movement: pan
    direction: 1
    duration: 2

- name: Stop every head of the fleet
  vmlcmd.devices.ptz:
    action: stop
"""

RETURN = r"""
stopped:
  description: Whether the stop was sent and answered.
  returned: always
  type: bool
moved_seconds:
  description: How long the head moved before the stop.
  returned: when action is move
  type: float
"""

import signal
import time

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.vmlcmd.devices.plugins.module_utils.device import (
    CONNECTION_OPTIONS,
    fail_device,
    open_device,
    require_vmlcmd,
    vmlcmd,
)

_LONGEST = 300.0


class Interrupted(Exception):
    pass


def _interrupt(signum, frame):
    raise Interrupted("interrupted by signal %d" % signum)


def main():
    declared = dict(
        action=dict(type="str", default="move", choices=["move", "stop"]),
        movement=dict(type="str", choices=["pan", "tilt", "zoom", "focus", "iris"]),
        direction=dict(type="int", default=1),
        duration=dict(type="float", default=1.0),
        video_port=dict(type="int"),
    )
    declared.update(CONNECTION_OPTIONS)
    module = AnsibleModule(
        argument_spec=declared, supports_check_mode=True, required_if=[("action", "move", ["movement"])]
    )
    require_vmlcmd(module)
    params = module.params
    if params["action"] == "move":
        if params["direction"] == 0:
            module.fail_json(msg="direction must be positive or negative; 0 is no movement")
        if not 0 < params["duration"] <= _LONGEST:
            module.fail_json(msg="duration must be more than 0 and at most %d seconds" % _LONGEST)
    device = open_device(module, video_port=params["video_port"] or 0)
    if module.check_mode:
        device.close()
        module.exit_json(changed=True, stopped=False)
    if params["action"] == "stop":
        try:
            device.ptz.stop()
        except vmlcmd.DeviceError as error:
            fail_device(module, error, stopped=False)
        finally:
            device.close()
        module.exit_json(changed=True, stopped=True)

    # SIGTERM (a task's timeout, a killed worker) and SIGHUP end the wait like Ctrl-C does, so
    # that the stop below is still sent.
    for number in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, _interrupt)
    failure = None
    started = time.monotonic()
    moved = 0.0
    try:
        getattr(device.ptz, params["movement"])(params["direction"])
        time.sleep(params["duration"])
    except (vmlcmd.DeviceError, Interrupted, KeyboardInterrupt) as error:
        failure = error
    finally:
        moved = time.monotonic() - started
        try:
            device.ptz.stop()
            stopped, stop_error = True, None
        except vmlcmd.DeviceError as error:
            stopped, stop_error = False, error
        device.close()
    if failure is not None or stop_error is not None:
        texts = []
        if failure is not None:
            texts.append(str(failure) or "interrupted")
        texts.append("stop sent" if stopped else "the stop failed too: %s" % stop_error)
        error = failure if isinstance(failure, vmlcmd.DeviceError) else stop_error
        if error is not None:
            fail_device(module, error, msg="; ".join(texts), stopped=stopped, moved_seconds=round(moved, 3))
        module.fail_json(msg="; ".join(texts), stopped=stopped, moved_seconds=round(moved, 3))
    module.exit_json(changed=True, stopped=True, moved_seconds=round(moved, 3))


if __name__ == "__main__":
    main()
