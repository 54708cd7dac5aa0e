#!/usr/bin/python3
"""Runs a ready station in a local data folder, with simulated devices.

The folder (default ./orva-demo) gets
  config/Tervin/ORVA.conf  the station's settings (XDG_CONFIG_HOME=config)
  com/COM1, com/COM2       the telephone and GSM modem simulators (ORVA_COM_DIR=com)
  station/                 the station's own folder: ORVA_10.mdb with four sample
                           lifts, the log files, AlarmTypeText.ini, user messages
  mail/                    every mail the local SMTP server received, one .eml each
  modemsim.log, gsmsim.log what the simulators did

The simulators play a short sequence (a P100 alarm, a CPC voice call, an SMS
alarm and a test call) and then keep the lines alive. With a display the
station opens its windows; without one it runs headless and writes its lines to
this terminal. Ctrl-C stops everything. A second run keeps the database, its
alarms and the settings (apart from the values this script manages).

With --real-modems no simulator is started and the station opens real serial
ports (COM1-32 /dev/ttyS0-31, COM33-64 /dev/ttyUSB0-31, COM65-96 /dev/ttyACM0-31);
--smtp HOST:PORT sends the mail to a real server instead of the local one.

Arguments after "--" go to the station (see build/orva --help).
"""

import argparse
import asyncio
import email
import email.policy
import os
import re
import signal
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
PYTHON = "/usr/bin/python3"


def say(text):
    print("[demo] " + text, flush=True)


# ---------------------------------------------------------------------------
# Settings file (QSettings' INI format, group [Settings])


def update_settings(path, values):
    """Sets the given values in the [Settings] group and keeps every other line."""
    lines = []
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
    group = None
    seen = set()
    out = []
    settings_at = None
    for line in lines:
        m = re.match(r"^\s*\[(.*)\]\s*$", line)
        if m:
            if group == "Settings":
                settings_at = len(out)
            group = m.group(1)
            out.append(line)
            continue
        key = line.split("=", 1)[0].strip() if "=" in line else None
        if group == "Settings" and key in values:
            out.append("%s=%s" % (key, ini_value(values[key])))
            seen.add(key)
            continue
        out.append(line)
    if group == "Settings":
        settings_at = len(out)
    missing = ["%s=%s" % (k, ini_value(v)) for k, v in values.items() if k not in seen]
    if settings_at is None:
        if out and out[-1].strip():
            out.append("")
        out.append("[Settings]")
        out.extend(missing)
    else:
        out[settings_at:settings_at] = missing
    os.makedirs(os.path.dirname(path), mode=0o700, exist_ok=True)
    fd = os.open(path + ".tmp", os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    with os.fdopen(fd, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")
    os.replace(path + ".tmp", path)
    os.chmod(path, 0o600)  # it may hold the SIM PIN


def ini_value(value):
    text = str(value)
    # Commas, semicolons and leading blanks need quotes in QSettings' INI format.
    if any(c in text for c in ',;"') or text != text.strip():
        return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'
    return text


# ---------------------------------------------------------------------------
# The local SMTP server: every mail becomes a .eml file in the mail folder.


class MailToFolder:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        name = "%s-%03d.eml" % (time.strftime("%Y%m%d-%H%M%S"), self.count)
        path = os.path.join(self.folder, name)
        with open(path + ".part", "wb") as f:
            f.write(envelope.original_content)
        os.replace(path + ".part", path)
        message = email.message_from_bytes(envelope.original_content, policy=email.policy.default)
        say("mail to %s: %s -> mail/%s" % (", ".join(envelope.rcpt_tos), message.get("Subject", ""), name))
        return "250 OK stored"


class MailServer:
    """aiosmtpd on a free port of 127.0.0.1, on an event loop of its own thread."""

    def __init__(self, folder):
        try:
            from aiosmtpd.smtp import SMTP
        except ImportError:
            sys.exit("[demo] the local mail server needs python3-aiosmtpd (bash scripts/install-deps.sh)")
        os.makedirs(folder, exist_ok=True)
        self.loop = asyncio.new_event_loop()
        handler = MailToFolder(folder)
        self.server = self.loop.run_until_complete(self.loop.create_server(
            lambda: SMTP(handler, hostname="orva-demo-mail", decode_data=False), host="127.0.0.1", port=0))
        self.port = self.server.sockets[0].getsockname()[1]
        self.thread = threading.Thread(target=self.loop.run_forever, daemon=True)
        self.thread.start()

    def stop(self):
        def close():
            self.server.close()
            self.loop.stop()
        self.loop.call_soon_threadsafe(close)
        self.thread.join(timeout=5)


# ---------------------------------------------------------------------------
# Simulators


def start_simulator(script, link, scenario, log_path):
    log = open(log_path, "ab")
    start = log.tell()
    process = subprocess.Popen(
        [PYTHON, os.path.join(SOURCE, script), "--link", link, "--scenario", scenario, "--timestamps"],
        stdin=subprocess.DEVNULL, stdout=log, stderr=log,
        # A session of its own: Ctrl-C reaches the station, which stops first;
        # the simulators are ended after it.
        start_new_session=True)
    log.close()
    # The first event line says that the modem listens on its port.
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline and process.poll() is None:
        with open(log_path, "rb") as f:
            f.seek(start)
            if b"READY" in f.read():
                return process
        time.sleep(0.05)
    stop(process)
    sys.exit("[demo] %s did not start (see %s)" % (script, log_path))


def stop(process):
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


# ---------------------------------------------------------------------------


def main():
    argv = sys.argv[1:]
    station_args = []
    if "--" in argv:
        at = argv.index("--")
        argv, station_args = argv[:at], argv[at + 1:]
    p = argparse.ArgumentParser(description="Runs the station with simulated devices in a local data folder.")
    p.add_argument("--build", default=os.path.join(SOURCE, "build"), help="build folder with orva (default: build)")
    p.add_argument("--data", default=os.path.join(os.getcwd(), "orva-demo"), help="data folder (default: ./orva-demo)")
    p.add_argument("--operator", default="Demo", help="operator on duty (default: Demo)")
    p.add_argument("--headless", action="store_true", help="no windows even when a display is there")
    p.add_argument("--real-modems", action="store_true", help="no simulators: the station opens real serial ports")
    p.add_argument("--tel-port", type=int, help="telephone modem port number (with --real-modems; 0: no telephone)")
    p.add_argument("--gsm-port", type=int, help="GSM modem port number (with --real-modems; 0: no GSM modem)")
    p.add_argument("--smtp", metavar="HOST:PORT", help="a real SMTP server instead of the local one")
    p.add_argument("--language", choices=("en", "de", "fr", "se"), help="the station's language (kept for later runs)")
    p.add_argument("--modem-scenario", default=os.path.join(HERE, "modem-scenario.json"),
                   help="scenario of the telephone modem simulator (default: the demo's)")
    p.add_argument("--gsm-scenario", default=os.path.join(HERE, "gsm-scenario.json"),
                   help="scenario of the GSM modem simulator (default: the demo's)")
    args = p.parse_args(argv)

    build = os.path.abspath(args.build)
    station = os.path.join(build, "orva")
    setup = os.path.join(build, "tools", "demo", "orva_demo_setup")
    for program in (station, setup):
        if not os.access(program, os.X_OK):
            sys.exit("[demo] %s is missing: build first (bash scripts/run.sh builds it)" % program)

    data = os.path.abspath(args.data)
    config, com, work, mail = (os.path.join(data, d) for d in ("config", "com", "station", "mail"))
    for folder in (data, com, work):
        os.makedirs(folder, exist_ok=True)
    say("data folder %s" % data)

    controller = None
    if args.smtp:
        host, _, port = args.smtp.rpartition(":")
        mail_host, mail_port = host, int(port)
    else:
        controller = MailServer(mail)
        mail_port = controller.port
        mail_host = "127.0.0.1"
        say("local SMTP server on %s:%d, mails go to %s" % (mail_host, mail_port, mail))

    values = {
        "DatabasePath": work + "/",
        "MailEnabled": 1,
        "SendMailServer": mail_host,
        "MailPortNumber": mail_port,
    }
    if not args.real_modems:
        values.update({
            "TelEnabled": 1, "TelComPort": 1, "TelRingSignals": 2, "CpcEnabled": 1,
            "GsmEnabled": 1, "GsmComPort": 2, "GsmBaudrate": 9600,
            "AcceptCallerIdTestAlarms": 1, "UseCidPhoneNumber": 1, "SendMailAtTestAlarm": 1,
            "VoiceCallEnabled": 1,
        })
    else:
        if args.tel_port is not None:
            values.update({"TelEnabled": 1 if args.tel_port else 0, "TelComPort": max(args.tel_port, 1)})
        if args.gsm_port is not None:
            values.update({"GsmEnabled": 1 if args.gsm_port else 0, "GsmComPort": max(args.gsm_port, 1)})
    if args.language:
        values["Language"] = args.language
    settings = os.path.join(config, "Tervin", "ORVA.conf")
    first_run = not os.path.exists(settings)
    if first_run:
        values.update({"MailSenderAddress": "orva-demo@localhost", "MailAccountName": "orva-demo",
                       "MailHeader1": "ORVA demo station", "MailHeader2": "Simulated devices"})
    update_settings(settings, values)

    result = subprocess.run([setup, work, os.path.join(HERE, "lifts.json")])
    if result.returncode != 0:
        sys.exit("[demo] the database could not be prepared")

    env = dict(os.environ)
    env["XDG_CONFIG_HOME"] = config
    simulators = []
    if not args.real_modems:
        env["ORVA_COM_DIR"] = com
        simulators.append(start_simulator("tools/modemsim/modemsim.py", os.path.join(com, "COM1"),
                                          args.modem_scenario, os.path.join(data, "modemsim.log")))
        simulators.append(start_simulator("tools/gsmsim/gsmsim.py", os.path.join(com, "COM2"),
                                          args.gsm_scenario, os.path.join(data, "gsmsim.log")))
        say("telephone modem on COM1 and GSM modem on COM2 are simulated (logs in %s)" % data)
        say("coming up: a P100 battery alarm, a CPC voice call, an SMS alarm and a test call")
    else:
        env.pop("ORVA_COM_DIR", None)

    command = [station, "--operator", args.operator]
    windows = bool(os.environ.get("DISPLAY") or os.environ.get("WAYLAND_DISPLAY")) and not args.headless
    if not windows:
        command.append("--headless")
    command += station_args
    say("starting %s (Ctrl-C stops it)" % " ".join(command))

    process = subprocess.Popen(command, cwd=work, env=env)

    # Ctrl-C at the terminal reaches the station as well; a signal sent to
    # this script alone is passed on. Either way the station stops itself.
    def pass_on(signum, frame):
        if process.poll() is None:
            process.send_signal(signum)
    signal.signal(signal.SIGINT, pass_on)
    signal.signal(signal.SIGTERM, pass_on)
    code = 1
    try:
        code = process.wait()
    finally:
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            code = process.wait()
        for sim in simulators:
            stop(sim)
        if controller is not None:
            controller.stop()
        say("station ended with exit code %d" % code)
    return code


if __name__ == "__main__":
    sys.exit(main())
