"""Scaffolding shared by the device simulators (modemsim, gsmsim).

Everything here is independent of any device: the event lines on standard
output, the timers, the pseudo-terminal with its --link, the control commands
on standard input, the signals and the main loop, and the small helpers of the
scenario files. Each simulator keeps its own wire format, modem and scenario
keys. Like the simulators, this module uses the standard library only and
nothing of the station's code.
"""

import heapq
import itertools
import json
import os
import select
import signal
import sys
import termios
import time
import tty

# ---------------------------------------------------------------------------
# Scenario helpers


class ConfigError(Exception):
    pass


def check_keys(d, allowed, where):
    if not isinstance(d, dict):
        raise ConfigError("%s must be a JSON object" % where)
    unknown = sorted(set(d) - set(allowed))
    if unknown:
        raise ConfigError("%s: unknown key(s) %s" % (where, ", ".join(unknown)))


def get_ms(d, name, default, allow_null=False):
    """A duration given as name_ms or name_s; returns milliseconds. With
    allow_null a JSON null stands for "none" and gives None."""
    for suffix, scale in (("_ms", 1.0), ("_s", 1000.0)):
        if name + suffix in d:
            v = d[name + suffix]
            if v is None and allow_null:
                return None
            return float(v) * scale
    return default


def ms_keys(*names):
    return [n + suffix for n in names for suffix in ("_ms", "_s")]


def load_json(text):
    """A scenario's JSON from a file name, or inline when the text starts with "{"."""
    if text.lstrip().startswith("{"):
        source = text
    else:
        with open(text, encoding="utf-8") as f:
            source = f.read()
    try:
        return json.loads(source)
    except json.JSONDecodeError as e:
        raise ConfigError("scenario is not valid JSON: %s" % e)


def split_command(line):
    """A control command: (its first word in lower case, the rest without the
    blanks around it, the words of the rest); ("", "", []) for a blank line."""
    parts = line.split(None, 1)
    if not parts:
        return "", "", []
    arg = parts[1].strip() if len(parts) > 1 else ""
    return parts[0].lower(), arg, arg.split()


# ---------------------------------------------------------------------------
# Event output


class Output:
    def __init__(self, stream, verbose=False, timestamps=False, clock=time.monotonic):
        self.stream = stream
        self.verbose = verbose
        self.timestamps = timestamps
        self.clock = clock
        self.t0 = clock()
        self.broken = False

    def event(self, text, verbose_only=False):
        if verbose_only and not self.verbose:
            return
        if self.broken:
            return
        if self.timestamps:
            text = "%.3f %s" % (self.clock() - self.t0, text)
        try:
            self.stream.write(text + "\n")
            self.stream.flush()
        except (BrokenPipeError, ValueError, OSError):
            # Whoever read our events has gone; the modem keeps answering.
            self.broken = True


# ---------------------------------------------------------------------------
# Timers


class Scheduler:
    class Handle:
        __slots__ = ("cancelled",)

        def __init__(self):
            self.cancelled = False

        def cancel(self):
            self.cancelled = True

    def __init__(self, clock=time.monotonic):
        self.clock = clock
        self.heap = []
        self.seq = itertools.count()

    def after(self, ms, fn):
        h = Scheduler.Handle()
        heapq.heappush(self.heap, (self.clock() + max(0.0, ms) / 1000.0, next(self.seq), fn, h))
        return h

    def timeout(self):
        while self.heap and self.heap[0][3].cancelled:
            heapq.heappop(self.heap)
        if not self.heap:
            return None
        return max(0.0, self.heap[0][0] - self.clock())

    def run_due(self):
        now = self.clock()
        while self.heap and self.heap[0][0] <= now:
            _, _, fn, h = heapq.heappop(self.heap)
            if not h.cancelled:
                fn()


# ---------------------------------------------------------------------------
# The program around a modem


class PtySimulator:
    """A simulated device on a pseudo-terminal.

    A simulator derives from this class: its __init__ calls this one, loads
    its configuration, calls open_pty() and sets `self.modem`, an object with
    feed(data) for the station's bytes and command(line) for a control command
    (raising ConfigError or ValueError to refuse it). The modem sends its bytes
    with self.write(). before_ready() and after_ready() set up the scenario
    around the READY line."""

    # True: timers that are due run before each wait for input, and the loop
    # ends at once when one of them stops the program. False: they run after
    # the input of each pass.
    timers_before_wait = True

    def __init__(self, args):
        self.args = args
        self.out = Output(sys.stdout, args.verbose, args.timestamps)
        self.sched = Scheduler()
        self.stopping = False
        self.exit_code = 0
        self.link_path = None
        self.stdin_buf = b""
        self.modem = None

    def open_pty(self, link=None):
        self.master, self.slave = os.openpty()
        # Raw mode: no echo or line editing by the pty itself; the slave stays
        # open here so the master never sees a hang-up between station runs.
        tty.setraw(self.slave, termios.TCSANOW)
        os.set_blocking(self.master, False)
        self.slave_path = os.ttyname(self.slave)
        try:
            if link:
                self.make_link(link)
        except BaseException:
            os.close(self.master)
            os.close(self.slave)
            raise

    def make_link(self, path):
        parent = os.path.dirname(os.path.abspath(path))
        os.makedirs(parent, exist_ok=True)
        if os.path.islink(path):
            os.unlink(path)  # left behind by an earlier run
        elif os.path.exists(path):
            raise ConfigError("%s exists and is not a symbolic link" % path)
        os.symlink(self.slave_path, path)
        self.link_path = path

    def remove_link(self):
        if self.link_path and os.path.islink(self.link_path):
            try:
                if os.readlink(self.link_path) == self.slave_path:
                    os.unlink(self.link_path)
            except OSError:
                pass
        self.link_path = None

    def write(self, data):
        deadline = time.monotonic() + 0.5
        while data:
            try:
                n = os.write(self.master, data)
                data = data[n:]
            except BlockingIOError:
                if time.monotonic() > deadline:
                    self.out.event("TX-DROPPED %d" % len(data))
                    return
                select.select([], [self.master], [], 0.05)
            except OSError as e:
                self.out.event("TX-ERROR %s" % e.strerror)
                return

    def run_command(self, line):
        line = line.strip()
        if not line or line.startswith("#"):
            return
        if line.lower() in ("quit", "exit"):
            self.stopping = True
            return
        try:
            self.modem.command(line)
            self.out.event("OK " + line)
        except (ConfigError, ValueError) as e:
            self.out.event("ERROR %s" % e)

    def schedule_steps(self, steps):
        """Scenario steps: (milliseconds after now, control command)."""
        for at, cmd in steps:
            self.sched.after(at, lambda c=cmd: self.run_command(c))

    def before_ready(self):
        pass

    def after_ready(self):
        pass

    def run(self):
        wake_r, wake_w = os.pipe()
        os.set_blocking(wake_r, False)
        os.set_blocking(wake_w, False)
        signal.set_wakeup_fd(wake_w)

        def on_signal(signum, frame):
            self.stopping = True

        for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            signal.signal(signum, on_signal)

        self.before_ready()
        self.out.event("READY " + self.slave_path)
        self.after_ready()
        watch = [self.master, wake_r]
        if self.args.stdin:
            watch.append(sys.stdin.fileno())
        try:
            while not self.stopping:
                if self.timers_before_wait:
                    self.sched.run_due()
                    if self.stopping:
                        break
                timeout = self.sched.timeout()
                if timeout is None or timeout > 0.5:
                    timeout = 0.5
                try:
                    ready, _, _ = select.select(watch, [], [], timeout)
                except InterruptedError:
                    ready = []
                if wake_r in ready:
                    try:
                        while os.read(wake_r, 64):
                            pass
                    except BlockingIOError:
                        pass
                if self.master in ready:
                    self.read_master()
                if self.args.stdin and sys.stdin.fileno() in ready:
                    self.read_stdin()
                if not self.timers_before_wait:
                    self.sched.run_due()
        finally:
            self.remove_link()
            self.out.event("BYE")
            signal.set_wakeup_fd(-1)
            os.close(wake_r)
            os.close(wake_w)
            os.close(self.master)
            os.close(self.slave)
        return self.exit_code

    def read_master(self):
        try:
            data = os.read(self.master, 4096)
        except BlockingIOError:
            return
        except OSError:
            # No slave side open: nothing to read until the station opens it.
            time.sleep(0.01)
            return
        if data:
            self.modem.feed(data)

    def read_stdin(self):
        try:
            data = os.read(sys.stdin.fileno(), 4096)
        except BlockingIOError:
            return
        if not data:
            if self.stdin_buf.strip():
                self.run_command(self.stdin_buf.decode("utf-8", "replace"))
            self.stopping = True
            return
        self.stdin_buf += data
        while b"\n" in self.stdin_buf:
            line, self.stdin_buf = self.stdin_buf.split(b"\n", 1)
            self.run_command(line.decode("utf-8", "replace"))
            if self.stopping:
                return


# ---------------------------------------------------------------------------
# Command line


def add_common_options(p, port, verbose_help):
    """The options every simulator takes; `port` names the example link."""
    p.add_argument("--link", metavar="PATH",
                   help="create a symbolic link PATH to the pty slave (e.g. $ORVA_COM_DIR/%s)" % port)
    p.add_argument("--scenario", metavar="FILE|JSON",
                   help="scenario file, or inline JSON starting with '{'")
    p.add_argument("--stdin", action="store_true",
                   help="read control commands from standard input; exit when it closes")
    p.add_argument("--verbose", "-v", action="store_true", help=verbose_help)
    p.add_argument("--timestamps", action="store_true",
                   help="prefix every event line with the seconds since start")


def run_main(prog, simulator_class, args):
    """Builds and runs the simulator; 2 with one line on standard error when
    the options or the scenario are wrong."""
    try:
        sim = simulator_class(args)
    except (ConfigError, OSError, ValueError) as e:
        sys.stderr.write("%s: %s\n" % (prog, e))
        return 2
    return sim.run()
