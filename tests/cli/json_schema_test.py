#!/usr/bin/env python3
"""Every JSON output of vandel-cli against its schema in docs/schema, as the real program prints it
for emulated receivers: show, diff, ports, probe, configure and verify (their summaries and audit
lines) and trace.

  json_schema_test.py SOURCE_DIR BIN_DIR"""
import json
import os
import re
import subprocess
import sys
import tempfile

import jsonschema

SOURCE_DIR, BIN_DIR = sys.argv[1], sys.argv[2]
SCHEMAS = os.path.join(SOURCE_DIR, 'docs', 'schema')
failures = []
checked = []


def load_schemas():
    store = {}
    for name in sorted(os.listdir(SCHEMAS)):
        with open(os.path.join(SCHEMAS, name)) as f:
            schema = json.load(f)
        jsonschema.Draft202012Validator.check_schema(schema)
        store[schema['$id']] = schema
    return store


STORE = load_schemas()


def validator_of(schema):
    """A validator that finds the other schemas by their $id (referencing where jsonschema has it,
    the older RefResolver before)."""
    try:
        from referencing import Registry, Resource
    except ImportError:
        return jsonschema.Draft202012Validator(schema, resolver=jsonschema.RefResolver.from_schema(schema, store=STORE))
    registry = Registry().with_resources((key, Resource.from_contents(value)) for key, value in STORE.items())
    return jsonschema.Draft202012Validator(schema, registry=registry)


def validate(document, schema_name, what):
    schema = next(s for s in STORE.values() if s['$id'].endswith('/' + schema_name))
    validator = validator_of(schema)
    errors = sorted(validator.iter_errors(document), key=lambda e: list(e.path))
    checked.append(what)
    for e in errors[:5]:
        failures.append(what)
        print('FAILED: %s: %s at %s' % (what, e.message[:300], '/'.join(str(p) for p in e.path)))
    return not errors


def cli(*args):
    return subprocess.run([os.path.join(BIN_DIR, 'vandel-cli')] + list(args), capture_output=True, text=True,
                          timeout=240)


class Emulator:
    """One emulated receiver on a pseudo-terminal, or on a network port (where a line break passes and
    the receiver's text after it reaches the trace)."""

    def __init__(self, *options):
        self.process = subprocess.Popen([os.path.join(BIN_DIR, 'kirp-emulator')] + list(options),
                                        stdout=subprocess.PIPE, text=True)
        found = re.search(r'receiver \d+ on (\S+)|(rfc2217://[^\s)]+)', self.process.stdout.readline())
        if not found:
            raise SystemExit('kirp-emulator did not start')
        self.device = found.group(1) or found.group(2)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


def main():
    work = tempfile.mkdtemp(prefix='vc-schema-')
    path = lambda name: os.path.join(work, name)  # noqa: E731
    holding, differing = Emulator('--listen', '0'), Emulator('--pty', '--differ', '7')
    try:
        factory = path('factory.dat')
        assert cli('load', holding.device, '-o', factory, '-q', '--trace', path('load.trace')).returncode == 0, 'load'
        assert cli('set', factory, 'nmea_output.output_interval_0_255_sec=5', '-o', path('changed.dat')).returncode == 0
        nowhere = 'rfc2217://127.0.0.1:1'
        devices = [holding.device, differing.device, nowhere]
        fleet = ['--quiet', '--json', '--pc-settings', '9600,8,N,1', '--audit', path('audit.jsonl')]
        # (what, arguments, its schema, the exit statuses it may end with)
        commands = [
            ('show', ['show', '--json', factory], 'show.json', {0}),
            ('diff of two files', ['diff', '--json', factory, path('changed.dat')], 'diff.json', {1}),
            ('diff of one file', ['diff', '--json', factory, factory], 'diff.json', {0}),
            ('ports', ['ports', '--json', differing.device, '/dev/null'], 'ports.json', {0}),
            ('probe', ['probe', '--json', differing.device, nowhere], 'probe.json', {1}),
            ('configure', ['configure'] + fleet + [factory] + devices,
             'summary.json', {1}),
            ('verify', ['verify'] + fleet + [path('changed.dat')] + devices, 'summary.json', {1}),
            ('trace', ['trace', '--json', path('load.trace')], 'trace.json', {0}),
        ]
        printed = {}
        for what, args, schema, statuses in commands:
            p = cli(*args)
            if p.returncode not in statuses:
                failures.append(what)
                print('FAILED: %s: exit %d: %s' % (what, p.returncode, p.stderr))
                continue
            printed[what] = json.loads(p.stdout)
            validate(printed[what], schema, what)
        with open(path('audit.jsonl')) as f:
            lines = [json.loads(line) for line in f]
        if len(lines) != 6:
            failures.append('audit lines')
        for i, line in enumerate(lines):
            validate(line, 'audit.json', 'audit line %d' % (i + 1))

        # The schemas are not empty promises: the outputs hold what they describe.
        verify = printed.get('verify', {}).get('ports', [])
        found = [(p['result'], p['text']) for p in verify]
        if found[:1] != [('differs', 'differs: NMEA Output')] or found[2][0] != 'open-failed':
            failures.append('verify results')
            print('FAILED: verify results: %r' % found)
        events = [e['event'] for port in printed.get('trace', {}).get('ports', []) for e in port['events']]
        if 'unframed' not in events or 'packet-rx' not in events:
            failures.append('trace events')
            print('FAILED: trace: the break reply and the packets: %r' % sorted(set(events)))
    finally:
        holding.stop()
        differing.stop()
    print('%d outputs checked against their schemas, %d failures' % (len(checked), len(failures)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
