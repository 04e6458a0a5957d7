#!/usr/bin/env python3
"""vandel-cli's bash completion as a person at a terminal meets it: an interactive bash on a
pseudo-terminal, the completion sourced, a line typed and Tab pressed. After the Tab a 'Z' is typed
and the line is run as printf's arguments, so each word comes back as bash took it: a word
completed with a blank after it leaves 'Z' a word of its own.

Usage: completion_test.py COMPLETION_SCRIPT
"""
import fcntl
import os
import pty
import select
import struct
import sys
import tempfile
import termios
import time

PROMPT = "@@prompt@@ "


class Shell:
    def __init__(self, script, folder):
        inputrc = os.path.join(folder, ".inputrc")
        with open(inputrc, "w") as f:
            f.write("set bell-style none\nset enable-bracketed-paste off\n"
                    "set completion-query-items 1000\nset page-completions off\n")
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": folder, "TERM": "dumb",
               "INPUTRC": inputrc, "PS1": PROMPT, "LC_ALL": "C"}
        self.pending = b""
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(folder)
            os.execvpe("bash", ["bash", "--norc", "--noprofile", "-i"], env)
        fcntl.ioctl(self.fd, termios.TIOCSWINSZ, struct.pack("HHHH", 40, 250, 0, 0))
        self.read_until(PROMPT)
        self.run("source '%s'" % script)
        self.tty = self.run("tty").strip().splitlines()[-1]

    def read_until(self, marker, timeout=10):
        """What the terminal shows up to and including marker; the rest is kept for the next read."""
        deadline = time.time() + timeout
        while marker.encode() not in self.pending:
            if time.time() > deadline:
                raise AssertionError("no %r in %r" % (marker, self.pending.decode(errors="replace")))
            if select.select([self.fd], [], [], 0.1)[0]:
                self.pending += os.read(self.fd, 4096)
        end = self.pending.index(marker.encode()) + len(marker)
        seen, self.pending = self.pending[:end], self.pending[end:]
        return seen.decode(errors="replace")

    def run(self, line):
        os.write(self.fd, (line + "\n").encode())
        # The echo of the line, then its output up to the next prompt.
        return self.read_until(PROMPT).rsplit(PROMPT, 1)[0]

    def complete(self, typed, tabs=1):
        """The words of the line after typing `typed`, Tab and 'Z', and the whole transcript."""
        os.write(self.fd, typed.encode())
        for _ in range(tabs):
            time.sleep(0.3)
            os.write(self.fd, b"\t")
        time.sleep(0.3)
        # Z; at the line's start (Ctrl-A) printf to show each word in <>, at its end (Ctrl-E) a mark.
        os.write(self.fd, b"Z\x01printf '<%s>\\n' \x05; echo @@\"done\"@@\n")
        out = self.read_until("@@done@@")
        self.read_until(PROMPT)
        words = [line[1:-1] for line in out.replace("\r", "").split("\n")
                 if line.startswith("<") and line.endswith(">")]
        return words, out

    def close(self):
        os.write(self.fd, b"exit\n")
        os.waitpid(self.pid, 0)


def main():
    script = os.path.abspath(sys.argv[1])
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        open(os.path.join(folder, "my site.dat"), "w").close()
        open(os.path.join(folder, "notes.txt"), "w").close()
        os.mkdir(os.path.join(folder, "racks"))
        open(os.path.join(folder, "racks", "rack3.toml"), "w").close()
        shell = Shell(script, folder)
        pts = shell.tty  # this shell's own terminal: a /dev/pts device that exists
        # A device by a name of its own (as /dev/serial/by-id/ names are): other programs' terminals
        # come and go beside /dev/pts/1 (/dev/pts/10 ...), this name has no neighbours.
        os.symlink(pts, os.path.join(folder, "receiver-a"))
        cases = [
            # (what is typed, the words expected, Tabs)
            ("vandel-cli load rfc", ["rfc2217://Z"], 1),
            ("vandel-cli load rfc2217://", ["rfc2217://Z"], 1),
            ("vandel-cli verify my\\ site.dat rfc2217:", ["rfc2217://Z"], 1),
            ("vandel-cli show rac", ["racks/Z"], 1),
            ("vandel-cli show racks/", ["racks/rack3.toml", "Z"], 1),
            ("vandel-cli show my", ["my site.dat", "Z"], 1),
            ("vandel-cli configure --quiet my", ["my site.dat", "Z"], 1),
            ("vandel-cli verify --pc-settings 9600,8,N,1 --trace notes.txt my", ["my site.dat", "Z"], 1),
            ("vandel-cli configure my\\ site.dat --brief ./receiver-", ["./receiver-a", "Z"], 1),
            ("vandel-cli configure --color=al", ["--color=always", "Z"], 1),
        ]
        for typed, expected, tabs in cases:
            words, out = shell.complete(typed, tabs)
            # The words from the one completed on.
            got = words[len(typed.replace("\\ ", "_").split()) - 1:]
            if got != expected:
                failures.append("%r: expected %r, got %r\n%s" % (typed, expected, words, out))
        # Devices are offered: /dev/pts/N among what Tab Tab lists.
        words, out = shell.complete("vandel-cli load /dev/pts/", 2)
        if pts not in out.replace("<", " ").replace(">", " ").split():
            failures.append("load /dev/pts/ Tab Tab does not offer %s:\n%s" % (pts, out))
        shell.close()
    for failure in failures:
        print("FAIL " + failure)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
