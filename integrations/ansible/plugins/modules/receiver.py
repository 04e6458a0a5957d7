#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 The Vandel Configurator developers
# MIT License (see /usr/share/doc/vandel-configurator/copyright)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: receiver
short_description: Keep GPS timing receivers at their settings
version_added: 1.0.0
description:
  - Keeps the GPS timing receivers on serial devices of the managed host at the settings of a
    settings file, through the C(vandel-cli) command-line tool of Vandel Configurator.
  - It first verifies every receiver (C(vandel-cli verify), which writes nothing). A receiver that
    already holds the settings is left alone and reports no change; a receiver that differs is
    configured (C(vandel-cli configure)), read back and compared, and reports a change.
  - In check mode it only verifies. No set, save or control command reaches any receiver (only the
    link check, a line break where a receiver stays silent, and the requests for its settings),
    and C(changed) says where a configure would run.
  - In diff mode it shows, per receiver, the fields that differ as the receiver holds them
    (before) and as the settings give them (after), in the words of C(vandel-cli diff).
  - A receiver that cannot be opened, does not answer, or still differs after it was configured
    fails the task with the tool's result name and text and the reason it gives; the other
    receivers of the task are worked all the same.
author:
  - Vandel Configurator developers
options:
  device:
    description:
      - The serial device of each receiver, wired to the receiver's Port B, one or a list.
      - A tty such as C(/dev/ttyUSB0) or C(/dev/serial/by-id/...), or a network serial port
        C(rfc2217://HOST:PORT).
    type: list
    elements: str
    required: true
    aliases: [devices]
  settings_file:
    description:
      - The settings file on the managed host, in either form C(vandel-cli) takes (the 169-byte
        settings file, or its text form where the tool has one).
    type: path
    required: true
  settings:
    description:
      - Fields set over those of I(settings_file), as a dictionary of C(group.key) to value, the
        keys and values C(vandel-cli set) takes. Booleans are given as C(true) and C(false).
      - Set into a temporary copy; I(settings_file) itself is never changed.
    type: dict
    default: {}
  state:
    description:
      - C(present) configures each receiver that differs from the settings.
      - C(verified) only checks them, writing nothing, and fails the task for every receiver that
        does not hold the settings (with the differences in diff mode and in C(receivers)).
    type: str
    choices: [present, verified]
    default: present
  accept_invalid_configuration:
    description:
      - Configure even when the settings fail the self-survey and dynamics check (the
        "Invalid Configuration" question). Without it such a task fails before anything is sent.
    type: bool
    default: false
  audit:
    description:
      - A file on the managed host to which C(vandel-cli) appends one JSON line per receiver for
        every verify and configure it runs (check mode included); never rewritten.
    type: path
extends_documentation_fragment:
  - vandel.receivers.cli
attributes:
  check_mode:
    support: full
    description: Verifies only; no set, save or control command reaches a receiver.
  diff_mode:
    support: full
    description: The differing fields per receiver, before (receiver) and after (settings).
seealso:
  - module: vandel.receivers.receiver_info
'''

EXAMPLES = r'''
- name: Rack receivers hold the rack settings
  vandel.receivers.receiver:
    device:
      - /dev/ttyUSB0
      - /dev/ttyUSB1
      - rfc2217://10.0.0.7:4001
    settings_file: /etc/vandel/rack.dat

- name: The site's own values over a base file, with an audit record
  vandel.receivers.receiver:
    device: "{{ site_receivers }}"
    settings_file: /etc/vandel/base.toml
    settings: "{{ site_settings }}"
    pc_settings: 9600,8,N,1
    audit: /var/log/vandel/audit.jsonl

- name: Check only that the receivers hold the settings
  vandel.receivers.receiver:
    device: /dev/ttyUSB0
    settings_file: /etc/vandel/rack.dat
    state: verified
  register: checked

- name: Show what differs
  ansible.builtin.debug:
    msg: "{{ checked.receivers | map(attribute='differences') | list }}"
  when: checked is failed
'''

RETURN = r'''
receivers:
  description: One entry per device, in the order given.
  returned: when vandel-cli gave a result per receiver
  type: list
  elements: dict
  contains:
    device:
      description: The device as given.
      type: str
      sample: /dev/ttyUSB0
    changed:
      description: Whether the receiver was configured (in check mode, whether it would be).
      type: bool
    failed:
      description: Whether this receiver failed.
      type: bool
    result:
      description:
        - The receiver's result by name, from the last run of C(vandel-cli) on it
          (C(success), C(differs), C(missing), C(open-failed), C(no-answer), C(no-result)).
      type: str
      sample: success
    text:
      description: The tool's text for the result.
      type: str
      sample: Configuration was successful.
    reason:
      description: Why a port could not be opened, the tool's code for it and its words; null otherwise.
      type: str
      sample: "busy: held by PID 4711"
    differences:
      description: The fields that differ (from the verify, or after a configure that failed).
      type: list
      elements: dict
      contains:
        group:
          description: The settings group.
          type: str
          sample: NMEA Output
        field:
          description: The field, as the window program captions it.
          type: str
          sample: Output Interval (0-255 sec)
        receiver:
          description: The value the receiver reported.
          type: str
          sample: "1"
        settings:
          description: The value of the settings.
          type: str
          sample: "5"
        receiver_hex:
          description: The receiver's bytes of the field.
          type: str
        settings_hex:
          description: The settings' bytes of the field.
          type: str
    missing:
      description: The groups the receiver did not report, with the tool's text.
      type: list
      elements: dict
    verify:
      description: This receiver's entry of the JSON summary of C(vandel-cli verify --json)
        (described by /usr/share/doc/vandel-configurator/schema/summary.json).
      type: dict
    configure:
      description: This receiver's entry of the JSON summary of C(vandel-cli configure --json)
        (described by /usr/share/doc/vandel-configurator/schema/summary.json).
      type: dict
      returned: when the receiver was configured
'''

import os
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vandel.receivers.plugins.module_utils.vandel_cli import (
    CLI_ARGUMENT_SPEC, RESULT_SUCCESS, RESULTS_TO_CONFIGURE, CliFailure, VandelCli, outcome_summary,
    receiver_diff)


def _entry(outcome):
    entry = dict((key, outcome[key]) for key in ('device', 'result', 'text', 'reason', 'differences', 'missing'))
    entry['verify'] = outcome['json']
    entry['changed'] = False
    entry['failed'] = False
    return entry


def main():
    argument_spec = dict(
        device=dict(type='list', elements='str', required=True, aliases=['devices']),
        settings_file=dict(type='path', required=True),
        settings=dict(type='dict', default={}),
        state=dict(type='str', choices=['present', 'verified'], default='present'),
        accept_invalid_configuration=dict(type='bool', default=False),
        audit=dict(type='path'),
    )
    argument_spec.update(CLI_ARGUMENT_SPEC)
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)
    params = module.params
    devices = params['device']
    if not devices:
        module.fail_json(msg='no device given')
    cli = VandelCli(module)
    base = os.path.abspath(params['settings_file'])

    with tempfile.TemporaryDirectory(prefix='vandel-receivers-') as folder:
        try:
            settings_file = cli.settings_with(base, params['settings'], folder)
            verified = cli.verify(settings_file, devices, params['audit'])
            entries = [_entry(outcome) for outcome in verified]
            to_configure = [i for i, outcome in enumerate(verified) if outcome['result'] in RESULTS_TO_CONFIGURE]
            for i, outcome in enumerate(verified):
                entries[i]['failed'] = outcome['result'] != RESULT_SUCCESS and (
                    params['state'] == 'verified' or i not in to_configure)
            configured = {}
            if params['state'] == 'present' and to_configure and not module.check_mode:
                results = cli.configure(settings_file, [devices[i] for i in to_configure], params['audit'],
                                        params['accept_invalid_configuration'])
                configured = dict(zip(to_configure, results))
        except CliFailure as e:
            e.fail(module, settings_file=params['settings_file'])

    settings_name = params['settings_file'] + (' with the settings' if params['settings'] else '')
    diffs = []
    for i in to_configure:
        entry = entries[i]
        entry['changed'] = params['state'] == 'present'
        if module._diff:
            diffs.append(receiver_diff(verified[i], settings_name))
        if i in configured:
            outcome = configured[i]
            entry.update((key, outcome[key]) for key in ('result', 'text', 'reason', 'differences', 'missing'))
            entry['configure'] = outcome['json']
            entry['failed'] = outcome['result'] != RESULT_SUCCESS

    result = dict(changed=any(e['changed'] for e in entries), receivers=entries)
    if diffs:
        result['diff'] = diffs
    failed = [i for i, e in enumerate(entries) if e['failed']]
    if failed:
        last = [configured.get(i, verified[i]) for i in failed]
        what = 'do not hold the settings' if params['state'] == 'verified' else 'failed'
        module.fail_json(msg='%d of %d receivers %s: %s' % (len(failed), len(entries), what,
                                                             '; '.join(outcome_summary(o) for o in last)),
                         **result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
