#!/usr/bin/env python3
"""Times vandel-cli configure and verify of 1 receiver and of N (default 100) emulated receivers on
pseudo-terminals, served by several kirp-emulator --count 20 processes, and prints for each run the
wall time, the CPU time of the tool with every process it started, and the peak of their summed
resident memory (sampled every 100 ms).

Usage: bench/fleet_timing.py BIN_DIR [N]"""
import os
import re
import subprocess
import sys
import tempfile
import threading
import time

bin_dir = sys.argv[1]
count = int(sys.argv[2]) if len(sys.argv) > 2 else 100
cli = os.path.join(bin_dir, "vandel-cli")
emulator = os.path.join(bin_dir, "kirp-emulator")


def start_emulators(total):
    processes, devices = [], []
    while len(devices) < total:
        n = min(20, total - len(devices))
        p = subprocess.Popen([emulator, "--pty", "--count", str(n)], stdout=subprocess.PIPE, text=True)
        processes.append(p)
        for _ in range(n):
            line = p.stdout.readline()
            m = re.search(r"receiver \d+ on (\S+)", line)
            if not m:
                raise SystemExit(f"emulator said: {line!r}")
            devices.append(m.group(1))
    return processes, devices


PAGE_KB = os.sysconf("SC_PAGE_SIZE") // 1024
# How often the memory of the tool's processes is sampled. Each sample reads a file of every process
# on the machine: sampled every 20 ms, that took a quarter of both cores at 1000 receivers, time
# taken from the tool it measures.
SAMPLE_EVERY = 0.1


def tree_rss_kb(root):
    """The summed resident memory of root and its descendants."""
    children = {}
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            children.setdefault(int(fields[1]), []).append(int(pid))
        except OSError:
            pass
    total, todo = 0, [root]
    while todo:
        pid = todo.pop()
        todo.extend(children.get(pid, []))
        try:
            with open(f"/proc/{pid}/statm") as f:
                total += int(f.read().split()[1]) * PAGE_KB
        except (OSError, IndexError, ValueError):
            pass
    return total


def run(args):
    """The wall time ends when the tool ends, not at the next sample: the samples are taken beside."""
    start = time.monotonic()
    p = subprocess.Popen([cli] + args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    peak = [0]
    ended = threading.Event()

    def sample():
        while not ended.wait(SAMPLE_EVERY):
            peak[0] = max(peak[0], tree_rss_kb(p.pid))

    sampler = threading.Thread(target=sample)
    sampler.start()
    err = p.stderr.read()
    p.wait()
    wall = time.monotonic() - start
    ended.set()
    sampler.join()
    return p.returncode, wall, peak[0], err


def timed(args):
    """Runs args and returns (exit, wall, cpu, peak kB). The tool reaps the processes it starts, so
    its times as a child of this one hold theirs too."""
    before = os.times()
    code, wall, peak, err = run(args)
    after = os.times()
    cpu = (after.children_user - before.children_user) + (after.children_system - before.children_system)
    if code != 0:
        sys.stderr.write(err)
    return code, wall, cpu, peak


def lock_folder_file_system():
    """The file system of the lock folder (/var/lock): every port opened creates a lock file there, and
    on a disk file system that creation costs far more than on Debian's tmpfs."""
    folder = os.path.realpath("/var/lock")
    best, kind = "", "unknown"
    with open("/proc/mounts") as mounts:
        for line in mounts:
            fields = line.split()
            point = fields[1]
            if (folder == point or folder.startswith(point.rstrip("/") + "/")) and len(point) >= len(best):
                best, kind = point, fields[2]
    return folder, kind


print("lock folder: %s on %s" % lock_folder_file_system())
processes, devices = start_emulators(count)
try:
    folder = tempfile.mkdtemp()
    settings = os.path.join(folder, "settings.dat")
    subprocess.run([cli, "load", devices[0], "-o", settings, "--pc-settings", "9600,8,N,1", "--quiet"],
                   check=True)
    common = ["--pc-settings", "9600,8,N,1", "--quiet"]
    for command in ("configure", "verify"):
        one = timed([command, settings, devices[0]] + common)
        many = timed([command, settings] + devices + common)
        for label, (code, wall, cpu, peak) in ((1, one), (count, many)):
            print(f"{command} {label}: exit {code}, {wall:.2f} s wall, {cpu:.2f} s CPU, {peak / 1024:.1f} MB peak")
        print(f"{command} {count} vs 1: ratio {many[1] / one[1]:.3f}")
finally:
    for p in processes:
        p.terminate()
    for p in processes:
        p.wait()
