#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 The Vandel Configurator developers
# MIT License (see /usr/share/doc/vandel-configurator/copyright)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: receiver_info
short_description: Read the settings GPS timing receivers hold
version_added: 1.0.0
description:
  - Loads the settings of each GPS timing receiver on serial devices of the managed host
    (C(vandel-cli load), which writes nothing to the receiver) and gives them as facts, so a play
    can read a site's current values.
  - The settings of a receiver are a dictionary of groups of fields, the text form of
    C(vandel-cli show --toml) where the installed tool has it (the same C(group.key) names that
    M(vandel.receivers.receiver) takes in I(settings)); otherwise each group by its name with
    its fields by caption and the texts of C(vandel-cli show).
  - Receivers are loaded side by side. One that cannot be loaded fails the task with the tool's
    message; the others are still returned.
author:
  - Vandel Configurator developers
options:
  device:
    description:
      - The serial device of each receiver, wired to the receiver's Port B, one or a list
        (C(/dev/ttyUSB0), C(rfc2217://HOST:PORT)).
    type: list
    elements: str
    required: true
    aliases: [devices]
extends_documentation_fragment:
  - vandel.receivers.cli
attributes:
  check_mode:
    support: full
    description: Reads only, in check mode as in any other.
  diff_mode:
    support: none
  facts:
    support: full
seealso:
  - module: vandel.receivers.receiver
'''

EXAMPLES = r'''
- name: Read the site's receivers
  vandel.receivers.receiver_info:
    device:
      - /dev/ttyUSB0
      - /dev/ttyUSB1

- name: The NMEA interval of the first one
  ansible.builtin.debug:
    var: vandel_receivers['/dev/ttyUSB0'].nmea_output
'''

RETURN = r'''
ansible_facts:
  description: Facts added to the host.
  returned: always
  type: dict
  contains:
    vandel_receivers:
      description: The settings of each receiver that was loaded, by device.
      type: dict
      sample:
        /dev/ttyUSB0:
          NMEA Output:
            Output Interval (0-255 sec): "1"
            GGA: "on"
receivers:
  description: One entry per device, in the order given.
  returned: always
  type: list
  elements: dict
  contains:
    device:
      description: The device as given.
      type: str
    settings:
      description: The receiver's settings (as in the facts); null when it could not be loaded.
      type: dict
    error:
      description: Why the receiver could not be loaded, in the tool's words; null otherwise.
      type: str
'''

import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vandel.receivers.plugins.module_utils.vandel_cli import (
    CLI_ARGUMENT_SPEC, CliFailure, VandelCli)


def main():
    argument_spec = dict(device=dict(type='list', elements='str', required=True, aliases=['devices']))
    argument_spec.update(CLI_ARGUMENT_SPEC)
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)
    devices = module.params['device']
    if not devices:
        module.fail_json(msg='no device given')
    cli = VandelCli(module)

    with tempfile.TemporaryDirectory(prefix='vandel-receivers-') as folder:
        try:
            loaded, failed = cli.load(devices, folder)
            settings = dict((device, cli.text_form(path)) for device, path in loaded)
        except CliFailure as e:
            e.fail(module)

    errors = dict(failed)
    receivers = [dict(device=d, settings=settings.get(d), error=errors.get(d)) for d in devices]
    result = dict(changed=False, receivers=receivers, ansible_facts=dict(vandel_receivers=settings))
    if failed:
        module.fail_json(msg='%d of %d receivers could not be loaded: %s'
                             % (len(failed), len(devices), '; '.join('%s: %s' % f for f in failed)), **result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
