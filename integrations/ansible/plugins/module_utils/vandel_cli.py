# -*- coding: utf-8 -*-
# Copyright: 2026 The Vandel Configurator developers
# MIT License (see /usr/share/doc/vandel-configurator/copyright)
"""Runs vandel-cli for the modules of this collection and reads what it prints as JSON.

Every name of the tool's JSON output is read here and nowhere else: the modules see receivers as
plain dictionaries with the keys documented in their RETURN blocks, whatever the tool calls them.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os
import signal
import subprocess
import time

try:
    import tomllib
except ImportError:  # Python before 3.11: the settings come from the JSON form instead
    tomllib = None

from ansible.module_utils.basic import env_fallback

# The options every module of the collection takes (documented in doc_fragments/cli.py).
CLI_ARGUMENT_SPEC = dict(
    vandel_cli=dict(type='str', default='vandel-cli', fallback=(env_fallback, ['VANDEL_CLI'])),
    pc_settings=dict(type='str'),
    timeout=dict(type='int', default=300),
)

# The result of a receiver that holds the settings; results after which a configure is worth
# running (the receiver answered, some group differs or did not arrive). Any other result (the
# port could not be opened, no answer, no result, interrupted) is a failure of that receiver.
RESULT_SUCCESS = 'success'
RESULTS_TO_CONFIGURE = ('differs', 'missing')

# How long a stopped vandel-cli gets to close its ports and write its record before it is killed.
STOP_GRACE_SECONDS = 10


class CliFailure(Exception):
    """vandel-cli did not get as far as a result per receiver: bad arguments, an unknown device, a
    settings file it refused, the "Invalid Configuration" question, or no answer in time."""

    def __init__(self, message, rc=None, stdout='', stderr=''):
        super(CliFailure, self).__init__(message)
        self.rc = rc
        self.stdout = stdout
        self.stderr = stderr

    def fail(self, module, **extra):
        module.fail_json(msg=str(self), rc=self.rc, stdout=self.stdout, stderr=self.stderr, **extra)


def _messages(stderr):
    """The tool's messages on one line, without its name in front of each."""
    lines = [line.strip() for line in stderr.splitlines() if line.strip()]
    return '; '.join(line[len('vandel-cli: '):] if line.startswith('vandel-cli: ') else line for line in lines)


def _setting_text(value):
    """A value of the settings option as the tool's set command reads it."""
    if isinstance(value, bool):
        return 'true' if value else 'false'
    return str(value)


def _reason_text(reason):
    """Why a port could not be opened: the tool's code for it and its words."""
    if not isinstance(reason, dict):
        return None
    words = [reason.get('code'), reason.get('text') or reason.get('detail')]
    return ': '.join(str(w) for w in words if w) or None


def _outcome(entry):
    """One receiver of a configure or verify summary, in the modules' own words (the tool's words:
    /usr/share/doc/vandel-configurator/schema/summary.json)."""
    differences, missing = [], []
    for group in entry.get('groups') or []:
        name = group.get('name')
        if group.get('status') == 'missing':
            missing.append({'group': name, 'text': group.get('text')})
        for change in group.get('differences') or []:
            differences.append({
                'group': name,
                'field': change.get('name'),
                'settings': change.get('expected'),
                'receiver': change.get('found'),
                'settings_hex': change.get('expectedHex'),
                'receiver_hex': change.get('foundHex'),
            })
    return {
        'device': entry.get('device'),
        'result': entry.get('result'),
        'text': entry.get('text'),
        'reason': _reason_text(entry.get('reason')),
        'differences': differences,
        'missing': missing,
        'json': entry,
    }


def difference_line(group, field, value, value_hex, other):
    """A field as `vandel-cli diff` names it; the bytes too where both values read the same."""
    line = '%s: %s: %s' % (group, field, value)
    return line + (' (bytes %s)' % value_hex if value == other else '')


def receiver_diff(outcome, settings_name):
    """What differs between a receiver and the settings, as Ansible's diff mode shows it."""
    before, after = [], []
    for missing in outcome['missing']:
        before.append('%s: %s\n' % (missing['group'], missing['text']))
    for d in outcome['differences']:
        before.append(difference_line(d['group'], d['field'], d['receiver'], d['receiver_hex'], d['settings']) + '\n')
        after.append(difference_line(d['group'], d['field'], d['settings'], d['settings_hex'], d['receiver']) + '\n')
    return {
        'before_header': '%s (receiver)' % outcome['device'],
        'after_header': '%s (%s)' % (outcome['device'], settings_name),
        'before': ''.join(before),
        'after': ''.join(after),
    }


def outcome_summary(outcome, most=3):
    """One receiver's result on one line: device, result name, the tool's text, why, what differs."""
    # verify's texts begin with the result's name already ("differs: Datum").
    said = outcome['text'] or ''
    line = '%s: %s' % (outcome['device'], said if said.startswith(outcome['result'] + ':') else
                       '%s: %s' % (outcome['result'], said))
    if outcome['reason']:
        line += ' (%s)' % outcome['reason']
    details = ['%s: %s: %s on the receiver, %s in the settings' % (d['group'], d['field'], d['receiver'], d['settings'])
               for d in outcome['differences']]
    details += ['%s: %s' % (m['group'], m['text']) for m in outcome['missing']]
    if details:
        more = len(details) - most
        line += ' [%s%s]' % ('; '.join(details[:most]), '; and %d more' % more if more > 0 else '')
    return line


class VandelCli:
    """The installed vandel-cli, with the options of one task."""

    def __init__(self, module):
        self.module = module
        name = module.params['vandel_cli']
        self.path = name if os.sep in name else module.get_bin_path(name)
        if not self.path or not os.access(self.path, os.X_OK):
            module.fail_json(msg='vandel-cli is not found or cannot be run: %s (install the vandel-configurator '
                                 'package, or give its path in vandel_cli)' % name)
        self.timeout = module.params['timeout']
        self.pc_settings = module.params['pc_settings']

    def run_many(self, commands):
        """Runs each argument list as one vandel-cli, all side by side; (rc, stdout, stderr) each.
        One that is not done within the timeout is stopped (SIGTERM to its process group, then
        SIGKILL) and raises CliFailure."""
        processes = []
        try:
            for args in commands:
                processes.append(subprocess.Popen([self.path] + args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                                  stderr=subprocess.PIPE, start_new_session=True,
                                                  universal_newlines=True))
        except OSError as e:
            for p in processes:
                self._stop(p)
            raise CliFailure('vandel-cli could not be started: %s' % e)
        deadline = time.monotonic() + self.timeout
        results = []
        for args, p in zip(commands, processes):
            try:
                out, err = p.communicate(timeout=max(0.0, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                for other in processes:
                    self._stop(other)
                raise CliFailure('vandel-cli %s did not finish within %d s (timeout) and was stopped'
                                 % (args[0], self.timeout))
            results.append((p.returncode, out, err))
        return results

    @staticmethod
    def _stop(process):
        if process.poll() is not None:
            return
        for sig, wait in ((signal.SIGTERM, STOP_GRACE_SECONDS), (signal.SIGKILL, None)):
            try:
                os.killpg(process.pid, sig)
            except OSError:
                pass
            try:
                process.communicate(timeout=wait)
                return
            except subprocess.TimeoutExpired:
                continue

    def run(self, args):
        return self.run_many([args])[0]

    def _pc_settings_args(self):
        return ['--pc-settings', self.pc_settings] if self.pc_settings else []

    def settings_with(self, settings_file, settings, folder):
        """settings_file itself, or with the keys of settings set over it in a file in folder."""
        if not settings:
            return settings_file
        stem = os.path.splitext(os.path.basename(settings_file))[0]
        out = os.path.join(folder, '%s-with-settings.dat' % stem)
        pairs = ['%s=%s' % (key, _setting_text(value)) for key, value in sorted(settings.items())]
        rc, stdout, stderr = self.run(['set', settings_file] + pairs + ['-o', out])
        if rc != 0:
            raise CliFailure('the settings could not be set over %s: %s' % (settings_file, _messages(stderr)),
                             rc, stdout, stderr)
        return out

    def summary(self, operation, settings_file, devices, audit=None, extra=()):
        """Runs configure or verify and gives each receiver's outcome, in the order of devices."""
        args = [operation, '--json', '--quiet'] + self._pc_settings_args() + list(extra)
        if audit:
            args += ['--audit', audit]
        # After '--' a device named like an option is still a device.
        rc, stdout, stderr = self.run(args + ['--', settings_file] + list(devices))
        try:
            summary = json.loads(stdout)
        except ValueError:
            summary = None
        if not isinstance(summary, dict):
            raise CliFailure('vandel-cli %s: %s' % (operation, _messages(stderr) or 'exit status %d' % rc),
                             rc, stdout, stderr)
        if summary.get('aborted'):
            raise CliFailure('vandel-cli %s stopped at the "Invalid Configuration" question, nothing was sent: %s'
                             % (operation, _messages(stderr)), rc, stdout, stderr)
        ports = summary.get('ports') or []
        if len(ports) != len(devices):
            raise CliFailure('vandel-cli %s reported %d receivers for %d devices: %s'
                             % (operation, len(ports), len(devices), _messages(stderr)), rc, stdout, stderr)
        return [_outcome(entry) for entry in ports]

    def verify(self, settings_file, devices, audit=None):
        return self.summary('verify', settings_file, devices, audit)

    def configure(self, settings_file, devices, audit=None, yes=False):
        return self.summary('configure', settings_file, devices, audit, ['--yes'] if yes else [])

    def load(self, devices, folder):
        """Loads each receiver's settings into a file in folder, all side by side: a list of
        (device, file) and a list of (device, why it failed)."""
        files = [os.path.join(folder, 'receiver-%d.dat' % i) for i in range(len(devices))]
        commands = [['load', '-o', path, '--quiet'] + self._pc_settings_args() + ['--', device]
                    for device, path in zip(devices, files)]
        loaded, failed = [], []
        for device, path, (rc, stdout, stderr) in zip(devices, files, self.run_many(commands)):
            if rc == 0:
                loaded.append((device, path))
            else:
                failed.append((device, _messages(stderr) or 'exit status %d' % rc))
        return loaded, failed

    def text_form(self, settings_file):
        """A settings file as a dictionary of groups of fields: the tool's text form (TOML) where
        it has one, else each group's fields by name with the texts `vandel-cli show` gives."""
        if tomllib is not None:
            rc, stdout, stderr = self.run(['show', settings_file, '--toml'])
            if rc == 0:
                try:
                    return tomllib.loads(stdout)
                except ValueError as e:
                    raise CliFailure('vandel-cli show --toml gave text that is not TOML: %s' % e, rc, stdout, stderr)
        rc, stdout, stderr = self.run(['show', settings_file, '--json'])
        try:
            shown = json.loads(stdout) if rc == 0 else None
        except ValueError:
            shown = None
        if not isinstance(shown, dict):
            raise CliFailure('vandel-cli show: %s' % (_messages(stderr) or 'exit status %d' % rc), rc, stdout, stderr)
        return dict((group['name'], dict((field['name'], field['text']) for field in group['fields']))
                    for group in shown.get('groups', []))
