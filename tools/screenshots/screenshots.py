#!/usr/bin/python3
"""Runs the demo with windows on the current display and takes pictures.

Reads the station's event lines (it writes them with windows too) to know
when the P100 alarm has popped up its dialog and when the voice call rings
the operator, and grabs the windows then with orva_grab_window.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--build", default=os.path.join(SOURCE, "build"))
    p.add_argument("--out", default="screenshots")
    p.add_argument("--timeout", type=float, default=120, help="seconds to wait for the alarms")
    args = p.parse_args()
    if not os.environ.get("DISPLAY"):
        sys.exit("screenshots: no DISPLAY (run take-screenshots.sh, which starts Xvfb)")
    build = os.path.abspath(args.build)
    grab = os.path.join(build, "tools", "screenshots", "orva_grab_window")
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    data = tempfile.mkdtemp(prefix="orva-screenshots-")

    demo = subprocess.Popen(
        ["/usr/bin/python3", os.path.join(SOURCE, "tools", "demo", "demo.py"), "--build", build, "--data", data],
        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    lines = []
    seen = threading.Condition()

    def read():
        for line in demo.stdout:
            sys.stdout.write(line)
            with seen:
                lines.append(line)
                seen.notify_all()

    reader = threading.Thread(target=read, daemon=True)
    reader.start()

    def wait_for(predicate, what):
        deadline = time.monotonic() + args.timeout
        with seen:
            while not any(predicate(l) for l in lines):
                left = deadline - time.monotonic()
                if left <= 0 or demo.poll() is not None:
                    raise RuntimeError("screenshots: no %s within %d s" % (what, args.timeout))
                seen.wait(min(left, 1))

    def shoot(title, name):
        path = os.path.join(out, name)
        subprocess.run([grab, "--window", title, "--out", path], check=True)
        print("screenshots: wrote %s" % path, flush=True)

    code = 0
    try:
        wait_for(lambda l: " READY" in l, "start-up")
        wait_for(lambda l: " ALARM normal " in l, "alarm with a dialog")
        time.sleep(1.5)  # let the dialog paint
        shoot("Alarm", "alarm-dialog.png")
        wait_for(lambda l: " CALL 2 " in l, "voice call ringing the operator")
        time.sleep(1.5)
        shoot("Alarm", "voice-call-dialog.png")
        shoot("Tervin CallCenter", "main-window.png")
    except (RuntimeError, subprocess.CalledProcessError) as e:
        print(e, file=sys.stderr)
        code = 1
    finally:
        if demo.poll() is None:
            demo.send_signal(signal.SIGTERM)
            try:
                demo.wait(timeout=30)
            except subprocess.TimeoutExpired:
                demo.kill()
        reader.join(timeout=5)
        shutil.rmtree(data, ignore_errors=True)
    return code


if __name__ == "__main__":
    sys.exit(main())
