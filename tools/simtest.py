"""Harness shared by the self-tests of the device simulators (modemsim, gsmsim).

A simulator runs as a child process on a pseudo-terminal with its --link; its
event lines are read on a thread and waited for by prefix, its control
commands go to its standard input. The station's end of the line is the link
opened raw. Standard library only, like the simulators.
"""

import os
import queue
import subprocess
import sys
import tempfile
import threading
import time
import tty


class SimProcess:
    """A simulator as a child process, with its event lines in a queue.

    script is the simulator's program, link_name the name of its link in a
    scratch folder of its own, args the further command-line arguments. The
    object is ready when the simulator said READY (kept in .ready).
    """

    def __init__(self, script, link_name, args=(), prefix="sim-"):
        self.dir = tempfile.TemporaryDirectory(prefix=prefix)
        self.link = os.path.join(self.dir.name, link_name)
        self.proc = subprocess.Popen([sys.executable, script, "--link", self.link] + list(args),
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     text=True, encoding="utf-8", bufsize=1)
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._pump, daemon=True).start()
        try:
            self.ready = self.wait_for("READY ")
        except BaseException:
            self.close()
            raise

    def _pump(self):
        for line in self.proc.stdout:
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)

    def wait_for(self, prefix, timeout=20.0):
        """Reads event lines until one starts with the prefix and returns it."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError("no event %r; seen: %s" % (prefix, self.seen[-15:]))
            try:
                line = self.lines.get(timeout=left)
            except queue.Empty:
                continue
            if line is None:
                raise AssertionError("simulator ended before %r; seen: %s" % (prefix, self.seen[-15:]))
            self.seen.append(line)
            if line.startswith(prefix):
                return line

    def command(self, line):
        """One control command, waited for until the simulator took it."""
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()
        self.wait_for("OK " + line)

    def close(self):
        try:
            self.proc.stdin.close()
        except BrokenPipeError:
            pass
        if self.proc.poll() is None:
            try:
                self.proc.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc.stdout.close()
        self.dir.cleanup()


class LineEnd:
    """The station's end of the serial line: the link opened raw."""

    def __init__(self, path):
        self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd)

    def close(self):
        os.close(self.fd)
