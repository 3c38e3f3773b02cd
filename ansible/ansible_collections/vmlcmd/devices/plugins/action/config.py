# -*- coding: utf-8 -*-
# vmlcmd.devices.config with the host's vmlcmd_* variables as the defaults of its options.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

from ansible_collections.vmlcmd.devices.plugins.plugin_utils.device_action import DeviceAction


class ActionModule(DeviceAction):
    VIDEO_PORT_OPTIONS = {"video_ports": True}
