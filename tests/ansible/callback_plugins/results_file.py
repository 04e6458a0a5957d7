# -*- coding: utf-8 -*-
# Copyright: 2026 The Vandel Configurator developers
# MIT License (see /usr/share/doc/vandel-configurator/copyright)
"""For the tests: every task's result per host, and the play recap, written as JSON to the file
named by VC_ANSIBLE_RESULTS when the playbook ends. The screen output stays the default one."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
name: results_file
type: notification
short_description: write each task's results to a JSON file
description:
  - Writes the tasks, each with its result per host, and the play recap to the file named by the
    environment variable C(VC_ANSIBLE_RESULTS).
'''

import json
import os

from ansible.plugins.callback import CallbackBase


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = 'notification'
    CALLBACK_NAME = 'results_file'
    CALLBACK_NEEDS_ENABLED = True

    def __init__(self):
        super(CallbackModule, self).__init__()
        self.tasks = []

    def v2_playbook_on_task_start(self, task, is_conditional):
        self.tasks.append({'name': task.get_name(), 'hosts': {}})

    def _record(self, result, failed=False):
        self.tasks[-1]['hosts'][result._host.get_name()] = dict(result._result, failed=failed)

    v2_runner_on_ok = v2_runner_on_skipped = _record

    def v2_runner_on_failed(self, result, ignore_errors=False):
        self._record(result, failed=True)

    def v2_runner_on_unreachable(self, result):
        self._record(result, failed=True)

    def v2_playbook_on_stats(self, stats):
        recap = dict((host, stats.summarize(host)) for host in sorted(stats.processed))
        with open(os.environ['VC_ANSIBLE_RESULTS'], 'w') as f:
            json.dump({'tasks': self.tasks, 'stats': recap}, f, default=str)
