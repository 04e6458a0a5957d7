# -*- coding: utf-8 -*-
# Copyright: 2026 The Vandel Configurator developers
# MIT License (see /usr/share/doc/vandel-configurator/copyright)

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    # The options of every module that runs vandel-cli (module_utils/vandel_cli.py).
    DOCUMENTATION = r'''
options:
  vandel_cli:
    description:
      - The C(vandel-cli) program to run, as a path or a name looked up in C(PATH) on the managed host.
      - The environment variable C(VANDEL_CLI) gives it when this option is not set.
    type: str
    default: vandel-cli
  pc_settings:
    description:
      - The PC side's line settings for the first contact with each receiver, as C(BAUD,DATA,PARITY,STOP)
        such as C(9600,8,O,1) (the tool's default when not given).
      - Passed to the tool's C(--pc-settings) unchanged, so C(auto) works where the installed
        C(vandel-cli) can probe for the receiver's line settings.
    type: str
  timeout:
    description:
      - Seconds each run of C(vandel-cli) may take. One that takes longer is stopped (SIGTERM, and
        SIGKILL 10 seconds later) and the task fails.
      - Receivers of one task are worked side by side, so a run takes about as long for many
        receivers as for one (a verify about 6 seconds, a configure about 10, more for receivers
        that are slow to answer).
    type: int
    default: 300
requirements:
  - C(vandel-cli) on the managed host (the vandel-configurator package installs it).
notes:
  - The receivers are the serial devices of the managed host, so a play runs these modules on the
    hosts the receivers are wired to, not on the controller.
'''
