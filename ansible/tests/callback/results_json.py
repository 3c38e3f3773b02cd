# A stdout callback for the tests: every task's result per host and the recap's counts as one
# JSON object at the end ({"plays": [{"tasks": [{"task", "hosts"}]}], "stats": {...}}).
# ansible-core ships no JSON callback of its own.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json

from ansible.plugins.callback import CallbackBase

DOCUMENTATION = """
name: results_json
type: stdout
short_description: task results and the recap as one JSON object
description: For the collection's tests.
"""


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = "stdout"
    CALLBACK_NAME = "results_json"

    def __init__(self):
        super(CallbackModule, self).__init__()
        self.plays = []

    def v2_playbook_on_play_start(self, play):
        self.plays.append({"play": play.get_name(), "tasks": []})

    def v2_playbook_on_task_start(self, task, is_conditional):
        self.plays[-1]["tasks"].append({"task": task.get_name(), "hosts": {}})

    def _record(self, result, **marks):
        data = dict(result._result)
        data.update(marks)
        self.plays[-1]["tasks"][-1]["hosts"][result._host.get_name()] = data

    def v2_runner_on_ok(self, result):
        self._record(result)

    def v2_runner_on_failed(self, result, ignore_errors=False):
        self._record(result, failed=True)

    def v2_runner_on_unreachable(self, result):
        self._record(result, unreachable=True)

    def v2_runner_on_skipped(self, result):
        self._record(result, skipped=True)

    def v2_playbook_on_stats(self, stats):
        counts = {}
        for host in sorted(stats.processed):
            counts[host] = stats.summarize(host)
        self._display.display(json.dumps({"plays": self.plays, "stats": counts}, default=str))
