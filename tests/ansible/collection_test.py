#!/usr/bin/env python3
"""The Ansible collection vandel.receivers (integrations/ansible), used as an operator uses it.

  collection_test.py doc SOURCE_DIR BIN_DIR        ansible-doc renders both modules without a
                                                   warning, and documents exactly their options
  collection_test.py playbooks SOURCE_DIR BIN_DIR  real playbooks against emulated receivers

Exits 77 (skipped) where ansible-playbook is not installed."""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
MODULES = ('receiver', 'receiver_info')
# Two fields the target settings change from the emulator's factory settings, as `vandel-cli diff`
# names them: (group and field, factory text, target text).
CHANGED_FIELDS = (('NMEA Output: Output Interval (0-255 sec)', '1', '5'),
                  ('Self Survey Configuration: Self Survey Limit', '2000', '3000'))
failures = []


def check(condition, what, detail=None):
    if not condition:
        failures.append(what)
        print('FAILED: %s%s' % (what, '\n  %s' % detail if detail is not None else ''))
    return condition


def ansible_python():
    """The interpreter ansible-playbook runs on (modules and the doc check need its packages)."""
    path = shutil.which('ansible-playbook')
    if path is None:
        print('SKIPPED: ansible-playbook is not installed (tools/ensure-deps.sh installs ansible-core)')
        sys.exit(77)
    with open(path) as f:
        first = f.readline()
    return first[2:].split() if first.startswith('#!') else [sys.executable]


class Ansible:
    """The collection as Ansible finds it from the source tree, and the commands that use it."""

    def __init__(self, work, source_dir, bin_dir):
        self.collections = os.path.join(work, 'collections')
        namespace = os.path.join(self.collections, 'ansible_collections', 'vandel')
        os.makedirs(namespace)
        os.symlink(os.path.join(source_dir, 'integrations', 'ansible'), os.path.join(namespace, 'receivers'))
        self.env = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=self.collections, ANSIBLE_HOME=os.path.join(work, 'home'),
                        ANSIBLE_LOCAL_TEMP=os.path.join(work, 'tmp'), ANSIBLE_REMOTE_TEMP=os.path.join(work, 'tmp'),
                        ANSIBLE_NOCOLOR='1', ANSIBLE_RETRY_FILES_ENABLED='0',
                        ANSIBLE_CALLBACK_PLUGINS=os.path.join(HERE, 'callback_plugins'),
                        ANSIBLE_CALLBACKS_ENABLED='results_file', VC_ANSIBLE_RESULTS=os.path.join(work, 'results.json'),
                        ANSIBLE_PYTHON_INTERPRETER=ansible_python()[-1],
                        VANDEL_CLI=os.path.join(bin_dir, 'vandel-cli'))

    def run(self, args):
        return subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=600)

    def playbook(self, name, variables, *options, inventory='localhost,'):
        """Runs one of this folder's playbooks: its tasks' results, host by host, the recap by host,
        and what it printed."""
        results = self.env['VC_ANSIBLE_RESULTS']
        if os.path.exists(results):
            os.remove(results)
        p = self.run(['ansible-playbook', '-i', inventory, '-c', 'local', os.path.join(HERE, name),
                      '-e', json.dumps(variables)] + list(options))
        check(p.returncode == 0, '%s ends with status 0' % name, p.stdout[-3000:] + p.stderr[-3000:])
        if not os.path.exists(results):
            return None, None, p.stdout
        with open(results) as f:
            report = json.load(f)
        return [task['hosts'] for task in report['tasks']], report['stats'], p.stdout


def module_options(collections):
    """Each module's options as it takes them, captured from the module itself."""
    sys.dont_write_bytecode = True  # nothing written into the source tree
    sys.path.insert(0, collections)
    import importlib
    taken_options = {}
    for name in MODULES:
        module = importlib.import_module('ansible_collections.vandel.receivers.plugins.modules.' + name)

        class Captured(Exception):
            pass

        def capture(argument_spec, **_):
            raise Captured(argument_spec)

        module.AnsibleModule = capture
        try:
            module.main()
        except Captured as c:
            taken_options[name] = c.args[0]
    return taken_options


def doc_test(ansible):
    """Both modules render without a warning, and their documentation says what they take."""
    names = ['vandel.receivers.' + name for name in MODULES]
    p = ansible.run(['ansible-doc', '--json'] + names)
    check(p.returncode == 0 and p.stderr.strip() == '', 'ansible-doc --json without a warning', p.stderr)
    docs = json.loads(p.stdout or '{}')
    shown = ansible.run(['ansible-doc'] + names)
    check(shown.returncode == 0 and shown.stderr.strip() == '' and shown.stdout.count('EXAMPLES') == len(names),
          'ansible-doc shows both modules with their examples without a warning', shown.stderr)
    import yaml
    for name, taken_options in module_options(ansible.collections).items():
        entry = docs.get('vandel.receivers.' + name, {})
        doc = entry.get('doc', {})
        check(doc.get('short_description') and doc.get('description'), '%s is described' % name)
        check(yaml.safe_load(entry.get('examples') or '[]'), '%s has examples that are YAML' % name)
        check(entry.get('return'), '%s documents its return values' % name)
        options = doc.get('options', {})
        check(set(options) == set(taken_options), '%s documents exactly its options' % name, '%s against %s' %
              (sorted(options), sorted(taken_options)))
        for option in set(options) & set(taken_options):
            for key, default in (('type', 'str'), ('default', None), ('required', False), ('choices', None),
                                 ('elements', None), ('aliases', None)):
                documented, taken = options[option].get(key, default), taken_options[option].get(key, default)
                check(documented == taken, '%s: %s: documented %s %r, taken %r' % (name, option, key, documented,
                                                                                    taken))


class Emulator:
    """count emulated receivers on pseudo-terminals."""

    def __init__(self, bin_dir, count, *options):
        self.process = subprocess.Popen([os.path.join(bin_dir, 'kirp-emulator'), '--pty', '--count', str(count)] +
                                        list(options), stdout=subprocess.PIPE, text=True)
        self.devices = []
        for _ in range(count):
            line = self.process.stdout.readline()
            found = re.search(r'receiver \d+ on (\S+)', line)
            if not found:
                raise SystemExit('kirp-emulator said: %r' % line)
            self.devices.append(found.group(1))

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


def cli(bin_dir, *args):
    return subprocess.run([os.path.join(bin_dir, 'vandel-cli')] + list(args), capture_output=True, text=True,
                          timeout=120)


def load_all(bin_dir, devices, folder):
    """Loads each receiver's settings, side by side: their files, in order."""
    files = [os.path.join(folder, 'loaded-%d.dat' % i) for i in range(len(devices))]
    loads = [subprocess.Popen([os.path.join(bin_dir, 'vandel-cli'), 'load', d, '-o', f, '-q'])
             for d, f in zip(devices, files)]
    for p in loads:
        p.wait(120)
    return files


def field_text(bin_dir, path, group, field):
    shown = json.loads(cli(bin_dir, 'show', path, '--json').stdout or '{}')
    for g in shown.get('groups', []):
        for f in g['fields'] if g['name'] == group else []:
            if f['name'] == field:
                return f['text']
    return None


def messages_from(result):
    return result.get('msg', '') if result else ''


def check_run(ansible, bin_dir, work, v, log):
    """--check --diff: changed where a configure would run, the differing fields, nothing written."""
    tasks, _, shown = ansible.playbook('check.yml', v, '--check', '--diff')
    if tasks is None:
        return
    rollout, verified, failing = (task['localhost'] for task in tasks)
    check(rollout.get('changed') and not rollout.get('failed'), 'check: differing receivers are changed', rollout)
    diffs = rollout.get('diff', [])
    check(len(diffs) == 2 and all(r['changed'] and r['result'] == 'differs' for r in rollout.get('receivers', [])),
          'check: a diff for each differing receiver', rollout)
    for d in diffs:
        for field, before, after in CHANGED_FIELDS:
            check('%s: %s\n' % (field, before) in d['before'] and '%s: %s\n' % (field, after) in d['after'],
                  'check: the diff shows %s' % field, d)
    for device in v['differing']:
        header = '--- before: %s (receiver)\n+++ after: %s (%s)\n' % (device, device, v['target_file'])
        shown_diff = shown[shown.find(header):].split('\n\n')[0] if header in shown else ''
        check(all('\n-%s: %s\n' % (field, before) in shown_diff and '\n+%s: %s' % (field, after) in shown_diff
                  for field, before, after in CHANGED_FIELDS), 'check: the play shows what differs on %s' % device,
              shown)
    check(verified.get('failed') and not verified.get('changed') and 'do not hold the settings' in verified['msg']
          and ': differs: Self Survey Configuration, NMEA Output [' in verified['msg'],
          'check: state verified fails on a receiver that differs, in verify\'s words',
          verified)
    silent, missing = failing.get('results', [{}, {}])
    check(silent.get('failed') and 'no-answer: Error 102:  Could not establish KIRP communications.' in
          messages_from(silent), 'a silent receiver fails with its result name and text', silent)
    check(missing.get('failed') and re.search(re.escape(v['missing']) + r'.*no[ -]such[ -]device', messages_from(missing)),
          'a missing device fails with the reason', missing)

    with open(log) as f:
        notes = re.findall(r' note rx [0-9A-F ]+\((.*)\)$', f.read(), re.M)
    written = [n for n in notes if n != 'link check' and not n.endswith(': reported')]
    check(notes and not written, 'check mode: only link checks and requests reached the receivers', written)
    check(os.path.getsize(v['target_file']) == 169, 'check mode: the settings file is kept')


def apply_run(ansible, bin_dir, work, v):
    """A rollout configures what differs, fails the one that reads back different, then changes nothing."""
    tasks, _, _ = ansible.playbook('apply.yml', v)
    if tasks is None:
        return
    rollout, again, info = (task['localhost'] for task in tasks)
    receivers = rollout.get('receivers', [])
    check([r['result'] for r in receivers] == ['success', 'success', 'differs'] and all(r['changed'] for r in receivers)
          and 'configure' in receivers[0], 'apply: each receiver configured', receivers)
    check(rollout.get('failed') and rollout['msg'].startswith('1 of 3 receivers failed: %s: differs: Error 104'
                                                              % v['differs_after']),
          'apply: a receiver that differs after configure fails the task', rollout.get('msg'))
    check(again.get('changed') is False and not again.get('failed') and
          not any(r['changed'] for r in again.get('receivers', [])), 'apply again: no receiver changed', again)

    facts = info.get('ansible_facts', {}).get('vandel_receivers', {})
    shown = cli(bin_dir, 'show', v['target_file'], '--toml')
    if shown.returncode == 0:
        import tomllib
        expected = tomllib.loads(shown.stdout)
    else:
        groups = json.loads(cli(bin_dir, 'show', v['target_file'], '--json').stdout)['groups']
        expected = {g['name']: {f['name']: f['text'] for f in g['fields']} for g in groups}
    check(sorted(facts) == sorted(v['differing']) and all(facts[d] == expected for d in facts),
          'receiver_info: the facts are the text form of the settings the receivers hold', facts)

    for device, loaded in zip(v['differing'], load_all(bin_dir, v['differing'], work)):
        check(cli(bin_dir, 'diff', v['target_file'], loaded).returncode == 0,
              'apply: %s loads back equal to the settings' % device)
    with open(v['audit_file']) as f:
        operations = [json.loads(line)['operation'] for line in f]
    check(operations.count('configure') == 3 and operations.count('verify') == 5,
          'the audit record holds every verify and configure', operations)


def settings_key(bin_dir, target):
    """The group.key of the NMEA output interval in the text form."""
    import tomllib
    text = tomllib.loads(cli(bin_dir, 'show', target, '--toml').stdout)
    keys = ['%s.%s' % (g, k) for g, table in text.items() if isinstance(table, dict) and 'nmea' in g
            for k in table if 'interval' in k]
    return keys[0] if len(keys) == 1 else None


def sites_run(ansible, bin_dir, work, v):
    """Each host's settings from its host_vars reach its own receiver."""
    key = settings_key(bin_dir, v['target_file'])
    if not check(key, 'the text form names the NMEA output interval'):
        return
    sites = {'site1': (v['differing'][0], 7), 'site2': (v['differing'][1], 9)}
    folder = os.path.join(work, 'sites')
    os.makedirs(os.path.join(folder, 'host_vars'))
    with open(os.path.join(folder, 'inventory'), 'w') as f:
        f.write('[sites]\n%s\n[sites:vars]\nansible_connection=local\n' % '\n'.join(sites))
    for host, (device, interval) in sites.items():
        with open(os.path.join(folder, 'host_vars', host + '.yml'), 'w') as f:
            json.dump({'site_receiver': device, 'site_settings': {key: interval}}, f)
    tasks, stats, _ = ansible.playbook('sites.yml', v, inventory=os.path.join(folder, 'inventory'))
    if tasks is None:
        return
    check(all(stats.get(host, {}).get('changed') == 1 for host in sites), 'sites: each host changed', stats)
    devices = [device for device, _ in sites.values()]
    for (host, (device, interval)), loaded in zip(sites.items(), load_all(bin_dir, devices, folder)):
        check(field_text(bin_dir, loaded, 'NMEA Output', 'Output Interval (0-255 sec)') == str(interval),
              'sites: %s holds its own interval' % host)


def playbooks_test(ansible, bin_dir, work):
    log = os.path.join(work, 'emulator.log')
    receivers = Emulator(bin_dir, 3, '--log', log)
    silent = Emulator(bin_dir, 1, '--silent')
    reads_back_different = Emulator(bin_dir, 1, '--differ', '3')
    try:
        factory = os.path.join(work, 'factory.dat')
        if not check(cli(bin_dir, 'load', receivers.devices[2], '-o', factory, '-q').returncode == 0,
                     'the factory settings load'):
            return
        with open(factory, 'rb') as f:
            target = bytearray(f.read())
        target[10] = 5  # NMEA Output: the output interval
        target[163:165] = (3000).to_bytes(2, 'big')  # Self Survey Configuration: the limit
        v = {'target_file': os.path.join(work, 'target.dat'), 'audit_file': os.path.join(work, 'audit.jsonl'),
             'differing': receivers.devices[:2], 'factory': receivers.devices[2], 'silent': silent.devices[0],
             'missing': os.path.join(work, 'no-such-tty'), 'differs_after': reads_back_different.devices[0]}
        with open(v['target_file'], 'wb') as f:
            f.write(target)
        open(log, 'w').close()  # from here on, the log holds what the playbooks sent
        check_run(ansible, bin_dir, work, v, log)
        apply_run(ansible, bin_dir, work, v)
        sites_run(ansible, bin_dir, work, v)
    finally:
        for emulator in (receivers, silent, reads_back_different):
            emulator.stop()


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ('doc', 'playbooks'):
        raise SystemExit(__doc__)
    mode, source_dir, bin_dir = sys.argv[1:]
    interpreter = ansible_python()
    try:
        import ansible  # noqa: F401
    except ImportError:
        if os.environ.get('VC_ANSIBLE_REEXEC'):
            raise SystemExit('ansible-playbook runs on %s, which cannot import ansible' % interpreter)
        os.environ['VC_ANSIBLE_REEXEC'] = '1'
        os.execvp(interpreter[0], interpreter + [os.path.abspath(__file__)] + sys.argv[1:])
    with tempfile.TemporaryDirectory(prefix='vc-ansible-') as work:
        ansible = Ansible(work, os.path.abspath(source_dir), os.path.abspath(bin_dir))
        if mode == 'doc':
            doc_test(ansible)
        else:
            playbooks_test(ansible, os.path.abspath(bin_dir), work)
    print('%d check(s) failed' % len(failures) if failures else 'passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
