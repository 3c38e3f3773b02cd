# -*- coding: utf-8 -*-
# The action side of every module: the options a task leaves out come from the host's
# variables (the inventory plugin sets them), so a play over the fleet names no address; and a
# device the connection never reached makes its host unreachable rather than failed.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

from ansible.plugins.action import ActionBase

# option -> host variable it defaults to
HOST_VARIABLES = {
    "host": "vmlcmd_host",
    "port": "vmlcmd_port",
    "user": "vmlcmd_user",
    "password": "vmlcmd_password",
    "text_encoding": "vmlcmd_text_encoding",
}


class DeviceAction(ActionBase):
    """Runs the module of the same name with the host's vmlcmd_* variables as defaults."""

    # Options that take the inventory's video port, and whether as a list.
    VIDEO_PORT_OPTIONS = {}
    TRANSFERS_FILES = False
    _requires_connection = False

    def run(self, tmp=None, task_vars=None):
        task_vars = task_vars or {}
        result = super(DeviceAction, self).run(tmp, task_vars)
        args = dict(self._task.args)
        for option, variable in HOST_VARIABLES.items():
            if args.get(option) is None and variable in task_vars:
                args[option] = self._templar.template(task_vars[variable])
        for option, as_list in self.VIDEO_PORT_OPTIONS.items():
            if args.get(option) is None and "vmlcmd_video_port" in task_vars:
                port = self._templar.template(task_vars["vmlcmd_video_port"])
                args[option] = [port] if as_list else port
        result.update(self._execute_module(module_name=self._task.action, module_args=args, task_vars=task_vars))
        if result.get("unreachable"):
            # Ansible reads failed before unreachable: a host is unreachable only without it.
            result.pop("failed", None)
            result["changed"] = False
        return result
