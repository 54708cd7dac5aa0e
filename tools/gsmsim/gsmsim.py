#!/usr/bin/env python3
"""GSM-modem simulator for tests and demos.

Plays the GSM modem on the far side of the station's second serial port: it
answers AT commands in SMS text mode (3GPP TS 27.005 / 27.007) with a
configurable model name, PIN state, registration and signal, keeps an SMS
store that the station lists, reads and deletes, accepts outgoing SMS after
the "> " prompt and records them decoded from the GSM 7-bit default alphabet,
rings with a caller number that AT+CLCC reports, and can go silent or garble
its answers on demand. It is written from the wire description alone and
shares no code with the station, so that a misreading of the wire format in
the station cannot hide behind the same misreading here.

Usage summary (see tools/README.md for the full description):

    gsmsim.py --link /tmp/x/COM2 [--scenario FILE|JSON] [--stdin] [--verbose]

The program prints "READY <slave path>" once it listens, then one line per
event. Standard library only; tools/simcommon.py, shared with the
telephone-modem simulator, holds everything that is not the modem itself:
pseudo-terminal and link, event lines, timers, control commands, signals.

The control command "kill-after-cmgs PID" (on standard input or as a scenario
step) sends SIGKILL to the process PID, the station under test, the moment the
modem has written "+CMGS: <mr>" and "OK" for the next SMS it sends (after the
reply delay when there is one), and prints "KILLED-AFTER-CMGS <pid>" (or
"KILL-FAILED <pid> <reason>"). It acts once; "kill-after-cmgs off" disarms it.
A test uses it to stop the station between the modem's acceptance of an SMS
and the station's own note of it.
"""

import argparse
import json
import os
import random
import signal
import sys
import time

# The scaffolding shared with the telephone-modem simulator lives in tools/simcommon.py,
# one folder up; this file runs as a script, so that folder goes first on the
# path (found through links to this file too).
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.realpath(__file__))))

import simcommon  # noqa: E402
# Output and Scheduler are named here for the self-tests, which build a modem of their own.
from simcommon import ConfigError, Output, Scheduler, check_keys, get_ms, ms_keys  # noqa: E402,F401

CR = 0x0D
LF = 0x0A
BS = 0x08
CTRL_Z = 0x1A
ESC = 0x1B

# ---------------------------------------------------------------------------
# GSM 7-bit default alphabet with its extension table (3GPP TS 23.038)

GSM_BASIC = (
    "@£$¥èéùìòÇ\nØø\rÅå"
    "Δ_ΦΓΛΩΠΨΣΘΞ\x1bÆæßÉ"
    " !\"#¤%&'()*+,-./"
    "0123456789:;<=>?"
    "¡ABCDEFGHIJKLMNO"
    "PQRSTUVWXYZÄÖÑÜ§"
    "¿abcdefghijklmno"
    "pqrstuvwxyzäöñüà"
)
assert len(GSM_BASIC) == 128

# Reached through the escape code 0x1B.
GSM_EXTENSION = {
    0x0A: "\f",
    0x14: "^",
    0x28: "{",
    0x29: "}",
    0x2F: "\\",
    0x3C: "[",
    0x3D: "~",
    0x3E: "]",
    0x40: "|",
    0x65: "€",
}

_GSM_ENCODE = {}
for _code, _ch in enumerate(GSM_BASIC):
    if _code != ESC:
        _GSM_ENCODE[_ch] = bytes([_code])
for _code, _ch in GSM_EXTENSION.items():
    _GSM_ENCODE.setdefault(_ch, bytes([ESC, _code]))


def gsm_encode(text, replacement=b"?"):
    """Unicode text to GSM septets, one per byte; extension characters take
    two (escape and code). Characters the alphabet lacks become `replacement`."""
    out = bytearray()
    for ch in text:
        out += _GSM_ENCODE.get(ch, replacement)
    return bytes(out)


def gsm_decode(data):
    """GSM septets (one per byte) to Unicode. An escape followed by a code the
    extension table lacks shows the basic character of that code, as receivers
    are told to do; bytes above 127 are not septets and become U+FFFD."""
    out = []
    i = 0
    while i < len(data):
        b = data[i]
        i += 1
        if b > 0x7F:
            out.append("\ufffd")
        elif b == ESC:
            if i < len(data) and data[i] <= 0x7F:
                nxt = data[i]
                i += 1
                out.append(GSM_EXTENSION.get(nxt, GSM_BASIC[nxt] if nxt != ESC else " "))
            else:
                out.append(" ")
        else:
            out.append(GSM_BASIC[b])
    return "".join(out)


def gsm_septets(text):
    return len(gsm_encode(text))


# Character sets of AT+CSCS that the simulator speaks.
CHARSETS = ("GSM", "IRA", "8859-1")


def charset_encode(text, charset):
    if charset == "GSM":
        return gsm_encode(text)
    if charset == "IRA":
        return text.encode("ascii", "replace")
    return text.encode("latin-1", "replace")


def charset_decode(data, charset):
    if charset == "GSM":
        return gsm_decode(data)
    if charset == "IRA":
        return data.decode("ascii", "replace")
    return data.decode("latin-1")


# ---------------------------------------------------------------------------
# Small helpers


def show_bytes(data):
    """Bytes as a JSON string (each byte one code point) for RX/TX lines."""
    return json.dumps(bytes(data).decode("latin-1"))


def show_number(number):
    """A number as one token: as it is, or as a JSON string when it is empty
    or holds blanks or quotes."""
    if number == "" or any(c.isspace() or c in "\"\\" for c in number):
        return json.dumps(number, ensure_ascii=False)
    return number


def json_text(text):
    return json.dumps(text, ensure_ascii=False)


def local_timestamp(t=None):
    """Service-centre time stamp "yy/MM/dd,hh:mm:ss+zz" (zone in quarter hours)."""
    lt = time.localtime(time.time() if t is None else t)
    quarters = (lt.tm_gmtoff or 0) // 900
    sign = "+" if quarters >= 0 else "-"
    return time.strftime("%y/%m/%d,%H:%M:%S", lt) + "%s%02d" % (sign, abs(quarters))


def number_type(number):
    if number.startswith("+"):
        return 145
    if number and not all(c.isdigit() or c in "*#" for c in number):
        return 208  # alphanumeric sender
    return 129


def split_params(text):
    """Comma-separated parameters; quotes group, and are removed. Returns a
    list of (value, quoted)."""
    params = []
    cur = []
    quoted = False
    inq = False
    for ch in text:
        if inq:
            if ch == '"':
                inq = False
            else:
                cur.append(ch)
        elif ch == '"':
            inq = True
            quoted = True
        elif ch == ",":
            params.append(("".join(cur).strip() if not quoted else "".join(cur), quoted))
            cur = []
            quoted = False
        else:
            if not quoted:
                cur.append(ch)
    params.append(("".join(cur).strip() if not quoted else "".join(cur), quoted))
    return params


def parse_int(text, lo=None, hi=None):
    text = text.strip()
    if not text or not (text.isdigit()):
        raise ValueError("not a number: %r" % text)
    v = int(text)
    if (lo is not None and v < lo) or (hi is not None and v > hi):
        raise ValueError("out of range: %d" % v)
    return v


# ---------------------------------------------------------------------------
# Configuration

PIN_STATES = ("ready", "required", "rejected", "puk")
REG_NAMES = {"none": 0, "home": 1, "searching": 2, "denied": 3, "unknown": 4, "roaming": 5}
WS46_VALUES = (12, 22, 25, 28, 29, 30, 31)
STATUSES = ("REC UNREAD", "REC READ", "STO UNSENT", "STO SENT")
ESCAPE_MODES = ("extension", "cancel")

MODEM_KEYS = [
    "model", "manufacturer", "revision", "imei", "imsi", "smsc",
    "pin_state", "pin", "pin_attempts", "reg", "rssi", "echo",
    "capacity", "first_index", "max_septets", "text_escape", "seed",
] + ms_keys("send_delay", "reply_delay", "ring_interval")


class ModemConfig:
    def __init__(self, d=None):
        d = dict(d or {})
        check_keys(d, MODEM_KEYS, "modem")
        self.model = str(d.get("model", "SIEMENS TC35"))
        self.manufacturer = str(d.get("manufacturer", "GSMSIM"))
        self.revision = str(d.get("revision", "REVISION 01.00"))
        self.imei = str(d.get("imei", "350000000000001"))
        self.imsi = str(d.get("imsi", "262010000000001"))
        self.smsc = str(d.get("smsc", "+491710760000"))
        self.pin_state = d.get("pin_state", "ready")
        if self.pin_state not in PIN_STATES:
            raise ConfigError("pin_state must be one of %s" % ", ".join(PIN_STATES))
        self.pin = str(d.get("pin", "1234"))
        self.pin_attempts = int(d.get("pin_attempts", 3))
        self.reg = parse_reg(d.get("reg", 1))
        self.rssi = parse_rssi(d.get("rssi", 20))
        self.echo = bool(d.get("echo", True))
        self.capacity = int(d.get("capacity", 25))
        self.first_index = int(d.get("first_index", 1))
        if self.capacity < 1 or self.first_index < 0:
            raise ConfigError("capacity must be at least 1 and first_index at least 0")
        self.max_septets = int(d.get("max_septets", 160))
        self.text_escape = d.get("text_escape", "extension")
        if self.text_escape not in ESCAPE_MODES:
            raise ConfigError("text_escape must be extension or cancel")
        self.seed = int(d.get("seed", 1))
        self.send_delay_ms = get_ms(d, "send_delay", 200.0)
        self.reply_delay_ms = get_ms(d, "reply_delay", 0.0)
        self.ring_interval_ms = get_ms(d, "ring_interval", 3000.0)
        if self.ring_interval_ms <= 0:
            raise ConfigError("ring_interval must be positive")


def parse_reg(v):
    if isinstance(v, str):
        if v.lower() in REG_NAMES:
            return REG_NAMES[v.lower()]
        v = int(v)
    if not isinstance(v, int) or not 0 <= v <= 5:
        raise ConfigError("registration status must be 0 to 5 or a name (%s)" % ", ".join(REG_NAMES))
    return v


def parse_rssi(v):
    v = int(v)
    if not (0 <= v <= 31 or v == 99):
        raise ConfigError("rssi must be 0 to 31 or 99")
    return v


# ---------------------------------------------------------------------------
# SMS store


class StoredSms:
    __slots__ = ("index", "status", "number", "timestamp", "text", "raw")

    def __init__(self, index, status, number, timestamp, text, raw=None):
        self.index = index
        self.status = status
        self.number = number
        self.timestamp = timestamp
        self.text = text
        self.raw = raw  # exact text bytes for the line, overriding the charset

    def body(self, charset):
        return self.raw if self.raw is not None else charset_encode(self.text, charset)

    def length(self, charset):
        # Text mode reports the user-data length: septets for the default
        # alphabet (escaped characters count twice).
        return len(self.raw) if self.raw is not None else gsm_septets(self.text)


SMS_KEYS = ["number", "text", "hex", "status", "timestamp", "index"]


def sms_from_json(d, where):
    check_keys(d, SMS_KEYS, where)
    if "number" not in d:
        raise ConfigError("%s: missing \"number\"" % where)
    if ("text" in d) == ("hex" in d):
        raise ConfigError("%s: give exactly one of \"text\" and \"hex\"" % where)
    raw = None
    if "hex" in d:
        try:
            raw = bytes.fromhex(str(d["hex"]).replace(" ", ""))
        except ValueError:
            raise ConfigError("%s: \"hex\" is not a hex string" % where)
        text = gsm_decode(raw)
    else:
        text = str(d["text"])
    status = d.get("status", "REC UNREAD")
    if status not in STATUSES:
        raise ConfigError("%s: status must be one of %s" % (where, ", ".join(STATUSES)))
    index = d.get("index")
    if index is not None and not isinstance(index, int):
        raise ConfigError("%s: index must be a number" % where)
    return dict(number=str(d["number"]), text=text, raw=raw, status=status,
                timestamp=d.get("timestamp"), index=index)


class SmsStore:
    def __init__(self, capacity, first_index):
        self.capacity = capacity
        self.first_index = first_index
        self.slots = {}

    def indexes(self):
        return range(self.first_index, self.first_index + self.capacity)

    def used(self):
        return len(self.slots)

    def add(self, number, text, status="REC UNREAD", timestamp=None, index=None, raw=None):
        if index is None:
            free = [i for i in self.indexes() if i not in self.slots]
            if not free:
                raise ConfigError("SMS store is full")
            index = free[0]
        elif index not in self.indexes():
            raise ConfigError("index %d outside %d to %d" % (index, self.first_index,
                                                              self.first_index + self.capacity - 1))
        elif index in self.slots:
            raise ConfigError("index %d is taken" % index)
        sms = StoredSms(index, status, number, timestamp or local_timestamp(), text, raw)
        self.slots[index] = sms
        return sms

    def get(self, index):
        return self.slots.get(index)

    def delete(self, index):
        return self.slots.pop(index, None)

    def listing(self, status):
        return [self.slots[i] for i in sorted(self.slots)
                if status == "ALL" or self.slots[i].status == status]


# ---------------------------------------------------------------------------
# The modem


class CommandError(Exception):
    """A command that ends the line with an error. The code is shown only
    after AT+CMEE=1 or 2 (as +CMS ERROR for the message service, +CME ERROR
    otherwise); `force_cms` shows +CMS ERROR even without it."""

    def __init__(self, code=100, cms=False, force_cms=False):
        super().__init__(code)
        self.code = code
        self.cms = cms or force_cms
        self.force_cms = force_cms


class Call:
    def __init__(self, number):
        self.number = number  # empty when the caller withholds the number
        self.ring_timer = None
        self.end_timer = None

    def label(self):
        return self.number or "-"


class Modem:
    """The AT side of the modem. feed() takes the station's bytes; write(data)
    is called with the modem's bytes; events go to `out`."""

    def __init__(self, cfg, out, sched, write):
        self.cfg = cfg
        self.out = out
        self.sched = sched
        self._write = write
        self.store = SmsStore(cfg.capacity, cfg.first_index)
        self.rng = random.Random(cfg.seed)
        self.sent = []  # (number, text) of every SMS sent
        # Settings that AT commands change; the values a modem has after
        # power-on: echo on, PDU mode, no header details, GSM character set.
        self.model = cfg.model
        self.pin_state = cfg.pin_state
        self.pin_attempts = cfg.pin_attempts
        self.reg = cfg.reg
        self.rssi = cfg.rssi
        self.reset_settings()
        # Faults ordered from the control side.
        self.fail_sends = 0
        self.fail_style = "error"
        self.garble = 0
        self.garble_mode = "noise"
        self.silent = False
        self.silent_timer = None
        # Input state.
        self.mode = "command"  # command | text | sending
        self.line = bytearray()
        self.line_overflow = False
        self.skip_lf = False
        self.text = bytearray()
        self.dest = ""
        self.esc_pending = False
        self.esc_timer = None
        self.held = bytearray()  # input that arrived while an SMS was being sent
        self.echo_buf = bytearray()
        self.urc_held = []
        self.call = None
        self.mr = 0

    def reset_settings(self):
        self.echo = self.cfg.echo
        self.cmgf = 0
        self.csdh = 0
        self.cscs = "GSM"
        self.creg_n = 0
        self.clip = 0
        self.cmee = 0
        self.cnmi_mt = 0
        self.ws46 = 25

    # -- output to the station ---------------------------------------------

    def write(self, data, response=True):
        """Sends bytes to the station; responses may be delayed or garbled,
        and nothing leaves a silent modem. Echoed bytes are collected and go
        out before the next response, or at the end of the received chunk."""
        if self.silent or not data:
            return False
        if not response:
            self.echo_buf += data
            return True
        self.flush_echo()
        data = bytes(data)
        if self.garble > 0:
            self.garble -= 1
            self.out.event("GARBLED " + show_bytes(data), verbose_only=True)
            data = self.garbled(data)
        if self.cfg.reply_delay_ms > 0:
            self.sched.after(self.cfg.reply_delay_ms, lambda: self._send(data))
        else:
            self._send(data)
        return True

    def urc(self, data, event=None):
        """An unsolicited result: held back while the station types an SMS or
        the modem sends one, as modems do; `event` is printed when it leaves."""
        if self.mode != "command":
            self.urc_held.append((data, event))
            return
        if self.write(data) and event:
            self.out.event(event)

    def release_urcs(self):
        held, self.urc_held = self.urc_held, []
        for data, event in held:
            self.urc(data, event)

    def flush_echo(self):
        if self.echo_buf:
            data = bytes(self.echo_buf)
            self.echo_buf = bytearray()
            self._send(data)

    def _send(self, data):
        if self.silent:
            return
        self.out.event("TX " + show_bytes(data), verbose_only=True)
        self._write(data)

    def garbled(self, data):
        if self.garble_mode == "cut":
            return data[:len(data) // 2]
        # Line ends stay, every other byte becomes noise above 127, so no
        # garbled answer can pass for a good one by chance.
        return bytes(b if b in (CR, LF) else self.rng.randrange(0x80, 0x100) for b in data)

    @staticmethod
    def block(text):
        if isinstance(text, str):
            text = text.encode("latin-1", "replace")
        return b"\r\n" + text + b"\r\n"

    def final_error(self, err):
        if self.cmee == 0 and not err.force_cms:
            return self.block("ERROR")
        return self.block("+%s ERROR: %d" % ("CMS" if err.cms else "CME", err.code))

    # -- input from the station ----------------------------------------------

    def feed(self, data):
        if self.silent:
            self.out.event("DROPPED " + show_bytes(data), verbose_only=True)
            return
        self.out.event("RX " + show_bytes(data), verbose_only=True)
        self.process(data)
        self.flush_echo()

    def process(self, data):
        for i, b in enumerate(data):
            if self.silent:
                return
            if self.mode == "sending":
                # A modem busy with the network takes the next command later.
                self.held += data[i:]
                return
            if self.mode == "text":
                self.text_byte(b)
            else:
                self.command_byte(b)

    def command_byte(self, b):
        if self.echo:
            self.write(bytes([b]), response=False)
        if b == CR:
            line = bytes(self.line)
            overflow = self.line_overflow
            self.line = bytearray()
            self.line_overflow = False
            self.skip_lf = True
            self.run_line(line, overflow)
            return
        self.skip_lf = False
        if b == LF:
            return  # a line feed after the carriage return is not part of a command
        if b == BS:
            if self.line:
                self.line.pop()
            return
        if len(self.line) >= 512:
            self.line_overflow = True
        else:
            self.line.append(b)

    def text_byte(self, b):
        if self.skip_lf and b == LF:
            # "AT+CMGS=...\r\n": the line feed belongs to the command line.
            self.skip_lf = False
            return
        self.skip_lf = False
        if self.esc_pending:
            self.esc_pending = False
            if self.esc_timer:
                self.esc_timer.cancel()
                self.esc_timer = None
            if b in GSM_EXTENSION:
                self.text += bytes([ESC, b])
                self.echo_text(bytes([ESC, b]))
                return
            self.cancel_text()
            self.command_byte(b)
            return
        if b == CTRL_Z:
            self.finish_text()
        elif b == ESC:
            if self.cfg.text_escape == "extension" and self.cscs == "GSM":
                # Could be the first half of an extension character; a code
                # that is not one, or a pause, makes it the cancel key.
                self.esc_pending = True
                self.esc_timer = self.sched.after(100.0, self.esc_alone)
            else:
                self.cancel_text()
        elif b == CR:
            self.text.append(CR)
            self.write(b"\r\n> ")
        else:
            if len(self.text) < 4096:
                self.text.append(b)
            self.echo_text(bytes([b]))

    def echo_text(self, data):
        if self.echo:
            self.write(data, response=False)

    def esc_alone(self):
        self.esc_timer = None
        if self.mode == "text" and self.esc_pending:
            self.esc_pending = False
            self.cancel_text()

    def cancel_text(self):
        self.out.event("SMS-CANCELLED %s" % show_number(self.dest))
        self.mode = "command"
        self.text = bytearray()
        self.write(self.block("OK"))
        self.release_urcs()

    def finish_text(self):
        raw = bytes(self.text)
        text = charset_decode(raw, self.cscs)
        self.text = bytearray()
        number = self.dest
        septets = gsm_septets(text) if self.cscs != "GSM" else len(raw)
        if self.fail_sends > 0:
            self.fail_sends -= 1
            reason, err = "forced", CommandError(500, cms=True, force_cms=self.fail_style == "cms")
        elif self.reg not in (1, 5):
            reason, err = "no-network", CommandError(331, cms=True)
        elif septets > self.cfg.max_septets:
            reason, err = "too-long", CommandError(304, cms=True)
        else:
            reason, err = None, None
        self.out.event("SMS-TEXT %s %s" % (show_number(number), show_bytes(raw)), verbose_only=True)
        self.mode = "sending"

        def done():
            self.mode = "command"
            if err is None:
                self.mr = (self.mr + 1) % 256
                self.sent.append((number, text))
                self.out.event("SMS-SENT %s %s" % (show_number(number), json_text(text)))
                self.write(self.block("+CMGS: %d" % self.mr) + self.block("OK"))
                self.kill_after_cmgs_if_ordered()
            else:
                self.out.event("SMS-FAILED %s %s %s" % (show_number(number), reason, json_text(text)))
                self.write(self.final_error(err))
            self.release_urcs()
            held = bytes(self.held)
            self.held = bytearray()
            if held:
                self.process(held)
                self.flush_echo()

        self.sched.after(self.cfg.send_delay_ms, done)

    # -- command lines ---------------------------------------------------------

    def run_line(self, line, overflow):
        # Everything before the first "AT" is noise a modem skips.
        upper = line.upper()
        start = upper.find(b"AT")
        if start < 0:
            return
        body = line[start + 2:].decode("latin-1")
        self.out.event("CMD " + show_cmd(line[start:]), verbose_only=True)
        if overflow:
            self.write(self.final_error(CommandError(100)))
            return
        blocks = []
        try:
            final = self.run_commands(body, blocks)
        except CommandError as e:
            self.write(b"".join(blocks) + self.final_error(e))
            return
        if final == "prompt":
            self.send_prompt(b"".join(blocks))
        else:
            self.write(b"".join(blocks) + self.block("OK"))

    def run_commands(self, body, blocks):
        i = 0
        n = len(body)
        while i < n:
            c = body[i]
            if c in " ;":
                i += 1
                continue
            if c == "+":
                j = i
                inq = False
                while j < n and (inq or body[j] != ";"):
                    if body[j] == '"':
                        inq = not inq
                    j += 1
                result = self.extended(body[i:j].strip(), blocks)
                i = j + 1
                if result == "prompt":
                    if body[i:].strip(" ;"):
                        raise CommandError(3)  # nothing may follow the SMS command
                    return "prompt"
                continue
            letter = c.upper()
            i += 1
            if letter == "&":
                if i >= n:
                    raise CommandError(3)
                letter = "&" + body[i].upper()
                i += 1
            j = i
            while j < n and body[j].isdigit():
                j += 1
            arg = body[i:j]
            i = j
            self.basic(letter, arg, blocks)
        return "ok"

    def basic(self, letter, arg, blocks):
        if letter == "E":
            if arg not in ("", "0", "1"):
                raise CommandError(3)
            self.echo = arg == "1"
        elif letter == "Z" or letter == "&F":
            self.reset_settings()
        elif letter == "I":
            blocks.append(self.block(self.model))
        elif letter == "H":
            if self.call:
                self.end_call("ath")
        elif letter == "V":
            if arg not in ("", "1"):
                raise CommandError(4)  # numeric result codes are not simulated
        elif letter in ("Q", "&C", "&D", "&W", "&K", "X"):
            pass
        else:
            raise CommandError(4)

    def need_sim(self):
        if self.pin_state != "ready":
            raise CommandError(11 if self.pin_state != "puk" else 12)

    def need_text_mode(self):
        if self.cmgf != 1:
            raise CommandError(303, cms=True)  # PDU mode is not simulated

    def extended(self, cmd, blocks):
        """One extended command "+NAME", "+NAME?", "+NAME=?" or "+NAME=ARGS"."""
        upper = cmd.upper()
        name = upper
        form = "exec"
        args = ""
        k = len(cmd)
        for pos, ch in enumerate(upper):
            if ch in "=?":
                k = pos
                break
        name = upper[:k]
        rest = cmd[k:]
        if rest == "?":
            form = "read"
        elif rest == "=?":
            form = "test"
        elif rest.startswith("="):
            form = "set"
            args = rest[1:]
        elif rest:
            raise CommandError(4)
        handler = getattr(self, "at_" + name[1:].lower().replace("+", ""), None) \
            if name[1:].isalnum() else None
        if handler is None:
            raise CommandError(4)
        if form == "test":
            return "ok"  # ranges are not reported; the command exists
        try:
            return handler(form, args, blocks)
        except ValueError:
            raise CommandError(3)

    # Identification.

    def at_cgmm(self, form, args, blocks):
        blocks.append(self.block(self.model))

    at_gmm = at_cgmm

    def at_cgmi(self, form, args, blocks):
        blocks.append(self.block(self.cfg.manufacturer))

    def at_cgmr(self, form, args, blocks):
        blocks.append(self.block(self.cfg.revision))

    def at_cgsn(self, form, args, blocks):
        blocks.append(self.block(self.cfg.imei))

    def at_cimi(self, form, args, blocks):
        self.need_sim()
        blocks.append(self.block(self.cfg.imsi))

    def at_cmee(self, form, args, blocks):
        if form == "read":
            blocks.append(self.block("+CMEE: %d" % self.cmee))
        elif form == "set":
            self.cmee = parse_int(args, 0, 2)
        else:
            raise CommandError(3)

    # SIM PIN.

    def at_cpin(self, form, args, blocks):
        if form == "read":
            text = {"ready": "READY", "required": "SIM PIN", "rejected": "SIM PIN",
                    "puk": "SIM PUK"}[self.pin_state]
            blocks.append(self.block("+CPIN: " + text))
            return
        if form != "set":
            raise CommandError(3)
        params = split_params(args)
        pin = params[0][0]
        if self.pin_state == "ready" or self.pin_state == "puk":
            self.out.event("PIN-REJECTED %s" % show_number(pin))
            raise CommandError(3 if self.pin_state == "ready" else 12)
        if self.pin_state == "required" and pin == self.cfg.pin:
            self.pin_state = "ready"
            self.pin_attempts = self.cfg.pin_attempts
            self.out.event("PIN-ACCEPTED %s" % show_number(pin))
            return
        self.out.event("PIN-REJECTED %s" % show_number(pin))
        if self.pin_state == "required":
            self.pin_attempts -= 1
            if self.pin_attempts <= 0:
                self.pin_state = "puk"
                self.out.event("PIN-BLOCKED")
        raise CommandError(16)

    # Network.

    def at_creg(self, form, args, blocks):
        if form == "read":
            stat = self.reg if self.pin_state == "ready" else 0
            blocks.append(self.block("+CREG: %d,%d" % (self.creg_n, stat)))
        elif form == "set":
            self.creg_n = parse_int(args, 0, 2)
        else:
            raise CommandError(3)

    def at_csq(self, form, args, blocks):
        if form != "exec":
            raise CommandError(3)
        blocks.append(self.block("+CSQ: %d,99" % self.rssi))

    def at_ws46(self, form, args, blocks):
        if form == "read":
            blocks.append(self.block("+WS46: %d" % self.ws46))
        elif form == "set":
            value = parse_int(args)
            if value not in WS46_VALUES:
                raise CommandError(3)
            self.ws46 = value
            self.out.event("WS46 %d" % value)
        else:
            raise CommandError(3)

    # SMS settings.

    def at_cmgf(self, form, args, blocks):
        if form == "read":
            blocks.append(self.block("+CMGF: %d" % self.cmgf))
        elif form == "set":
            self.cmgf = parse_int(args, 0, 1)
        else:
            raise CommandError(3)

    def at_cscs(self, form, args, blocks):
        if form == "read":
            blocks.append(self.block('+CSCS: "%s"' % self.cscs))
        elif form == "set":
            value = split_params(args)[0][0].upper()
            if value not in CHARSETS:
                raise CommandError(3)
            self.cscs = value
        else:
            raise CommandError(3)

    def at_csdh(self, form, args, blocks):
        if form == "read":
            blocks.append(self.block("+CSDH: %d" % self.csdh))
        elif form == "set":
            self.csdh = parse_int(args, 0, 1)
        else:
            raise CommandError(3)

    def at_cnmi(self, form, args, blocks):
        if form == "read":
            blocks.append(self.block("+CNMI: 0,%d,0,0,0" % self.cnmi_mt))
        elif form == "set":
            params = split_params(args)
            self.cnmi_mt = parse_int(params[1][0], 0, 3) if len(params) > 1 and params[1][0] else 0
        else:
            raise CommandError(3)

    def at_csca(self, form, args, blocks):
        if form != "read":
            raise CommandError(3)
        blocks.append(self.block('+CSCA: "%s",%d' % (self.cfg.smsc, number_type(self.cfg.smsc))))

    def at_cpms(self, form, args, blocks):
        self.need_sim()
        used, total = self.store.used(), self.store.capacity
        if form == "read":
            blocks.append(self.block('+CPMS: "MT",%d,%d,"MT",%d,%d,"MT",%d,%d' % ((used, total) * 3)))
            return
        if form != "set":
            raise CommandError(3)
        params = split_params(args)
        if not 1 <= len(params) <= 3:
            raise CommandError(3)
        for value, _ in params:
            if value.upper() not in ("SM", "ME", "MT"):
                raise CommandError(302, cms=True)
        blocks.append(self.block("+CPMS: " + ",".join(["%d,%d" % (used, total)] * len(params))))

    # SMS store.

    def header(self, sms, listing):
        number = '"%s"' % sms.number
        lead = "+CMGL: %d," % sms.index if listing else "+CMGR: "
        if sms.status.startswith("REC"):
            text = '%s"%s",%s,,"%s"' % (lead, sms.status, number, sms.timestamp)
            if self.csdh:
                if listing:
                    text += ",%d,%d" % (number_type(sms.number), sms.length(self.cscs))
                else:
                    text += ',%d,4,0,0,"%s",%d,%d' % (number_type(sms.number), self.cfg.smsc,
                                                      number_type(self.cfg.smsc),
                                                      sms.length(self.cscs))
        else:
            text = '%s"%s",%s,' % (lead, sms.status, number)
            if self.csdh:
                text += ",%d,%d" % (number_type(sms.number), sms.length(self.cscs))
        return text.encode("latin-1", "replace")

    def at_cmgl(self, form, args, blocks):
        self.need_sim()
        self.need_text_mode()
        if form == "exec":
            status = "REC UNREAD"
        elif form == "set":
            status = split_params(args)[0][0].upper()
            if status not in STATUSES + ("ALL",):
                raise CommandError(3)
        else:
            raise CommandError(3)
        listed = self.store.listing(status)
        if listed:
            parts = []
            for sms in listed:
                parts.append(self.header(sms, True) + b"\r\n" + sms.body(self.cscs))
                if sms.status == "REC UNREAD":
                    sms.status = "REC READ"
            blocks.append(self.block(b"\r\n".join(parts)))
        self.out.event("LISTED %s %d" % (json.dumps(status), len(listed)), verbose_only=True)

    def at_cmgr(self, form, args, blocks):
        self.need_sim()
        self.need_text_mode()
        if form != "set":
            raise CommandError(3)
        index = parse_int(split_params(args)[0][0])
        if index not in self.store.indexes():
            raise CommandError(321, cms=True)
        sms = self.store.get(index)
        if sms is None:
            return  # an empty place reads as nothing
        blocks.append(self.block(self.header(sms, False) + b"\r\n" + sms.body(self.cscs)))
        if sms.status == "REC UNREAD":
            sms.status = "REC READ"
        self.out.event("SMS-READ %d" % index)

    def at_cmgd(self, form, args, blocks):
        self.need_sim()
        if form != "set":
            raise CommandError(3)
        params = split_params(args)
        index = parse_int(params[0][0])
        self.refuse_delete_if_ordered(index)
        flag = parse_int(params[1][0], 0, 4) if len(params) > 1 and params[1][0] else 0
        if flag == 0:
            if index not in self.store.indexes():
                raise CommandError(321, cms=True)
            if self.store.delete(index):
                self.out.event("SMS-DELETED %d" % index)
            else:
                self.out.event("SMS-DELETE-EMPTY %d" % index)
            return
        # 1 read, 2 read and sent, 3 all but unread, 4 all.
        kept = {1: ("REC UNREAD", "STO UNSENT", "STO SENT"), 2: ("REC UNREAD", "STO UNSENT"),
                3: ("REC UNREAD",), 4: ()}[flag]
        for sms in self.store.listing("ALL"):
            if sms.status not in kept:
                self.store.delete(sms.index)
                self.out.event("SMS-DELETED %d" % sms.index)

    def at_cmgs(self, form, args, blocks):
        self.need_sim()
        self.need_text_mode()
        if form != "set":
            raise CommandError(3)
        params = split_params(args)
        number = params[0][0]
        if not number:
            raise CommandError(3)
        self.dest = number
        self.text = bytearray()
        self.esc_pending = False
        self.mode = "text"
        return "prompt"

    # Calls.

    def at_clcc(self, form, args, blocks):
        if form != "exec":
            raise CommandError(3)
        if self.call:
            if self.call.number:
                blocks.append(self.block('+CLCC: 1,1,4,0,0,"%s",%d' % (
                    self.call.number, number_type(self.call.number))))
            else:
                blocks.append(self.block("+CLCC: 1,1,4,0,0"))
            self.out.event("CLCC %s" % self.call.label())

    def at_clip(self, form, args, blocks):
        if form == "read":
            blocks.append(self.block("+CLIP: %d,1" % self.clip))
        elif form == "set":
            self.clip = parse_int(args, 0, 1)
        else:
            raise CommandError(3)

    def ring(self, number, seconds):
        if self.call:
            raise ConfigError("a call is already ringing (%s)" % self.call.label())
        self.call = Call(number)
        call = self.call
        call.end_timer = self.sched.after(seconds * 1000.0, lambda: self.end_call("timeout"))
        self.ring_once(call)

    def ring_once(self, call):
        if self.call is not call:
            return
        data = self.block("RING")
        if self.clip:
            if call.number:
                data += self.block('+CLIP: "%s",%d,,,,0' % (call.number, number_type(call.number)))
            else:
                data += self.block('+CLIP: "",128,,,,1')
        if self.mode == "command":
            # While an SMS is typed or sent this ring is skipped; the next
            # one comes a ring interval later.
            self.urc(data, "RING %s" % call.label())
        call.ring_timer = self.sched.after(self.cfg.ring_interval_ms, lambda: self.ring_once(call))

    def end_call(self, reason):
        call = self.call
        if call is None:
            return False
        self.call = None
        for h in (call.ring_timer, call.end_timer):
            if h:
                h.cancel()
        self.out.event("CALL-END %s %s" % (call.label(), reason))
        return True

    # -- control commands ------------------------------------------------------

    def add_sms(self, number, text, status="REC UNREAD", timestamp=None, index=None, raw=None):
        sms = self.store.add(number, text, status, timestamp, index, raw)
        self.out.event("SMS-STORED %d %s %s" % (sms.index, show_number(sms.number), json_text(sms.text)))
        if self.cnmi_mt == 1 and status.startswith("REC"):
            self.urc(self.block('+CMTI: "MT",%d' % sms.index))
        return sms

    def set_reg(self, value):
        self.reg = parse_reg(value)
        if self.creg_n and self.pin_state == "ready":
            self.urc(self.block("+CREG: %d" % self.reg))

    def set_silent(self, value):
        if self.silent_timer:
            self.silent_timer.cancel()
            self.silent_timer = None
        if value == "on":
            self.silent = True
        elif value == "off":
            self.silent = False
        else:
            seconds = float(value)
            if seconds <= 0:
                raise ConfigError("silent on|off|SECONDS")
            self.silent = True

            def wake():
                self.silent_timer = None
                self.silent = False
                self.out.event("SILENT-END")

            self.silent_timer = self.sched.after(seconds * 1000.0, wake)

    def command(self, line):
        """Runs one control command; raises ConfigError or ValueError."""
        word, arg, words = simcommon.split_command(line)
        if not word:
            return
        if self.fault_command(word, words):
            return
        if word == "sms":
            if arg.startswith("{"):
                d = sms_from_json(json.loads(arg), "sms")
                self.add_sms(d["number"], d["text"], d["status"], d["timestamp"], d["index"], d["raw"])
                return
            if len(words) < 1:
                raise ConfigError('sms NUMBER TEXT, sms NUMBER "JSON TEXT" or sms {JSON}')
            number = words[0]
            rest = arg[len(number):].strip()
            if rest.startswith('"'):
                text = json.loads(rest)
                if not isinstance(text, str):
                    raise ConfigError("the text must be a JSON string")
            else:
                text = rest
            self.add_sms(number, text)
        elif word == "delete":
            index = int(arg)
            if not self.store.delete(index):
                raise ConfigError("no SMS at index %d" % index)
            self.out.event("SMS-DELETED %d" % index)
        elif word == "clear":
            self.store.slots.clear()
        elif word == "pin":
            if not words or words[0] not in PIN_STATES:
                raise ConfigError("pin %s [CODE]" % "|".join(PIN_STATES))
            self.pin_state = words[0]
            self.pin_attempts = self.cfg.pin_attempts
            if len(words) > 1:
                self.cfg.pin = words[1]
        elif word in ("reg", "registration"):
            if len(words) != 1:
                raise ConfigError("reg 0-5|none|home|searching|denied|unknown|roaming")
            self.set_reg(words[0])
        elif word in ("rssi", "signal"):
            if len(words) != 1:
                raise ConfigError("rssi 0-31|99")
            self.rssi = parse_rssi(words[0])
        elif word == "ring":
            if not words or len(words) > 2:
                raise ConfigError("ring NUMBER|- [SECONDS]")
            number = "" if words[0] == "-" else words[0]
            seconds = float(words[1]) if len(words) > 1 else 10.0
            if seconds <= 0:
                raise ConfigError("ring time must be positive")
            self.ring(number, seconds)
        elif word == "hangup":
            if not self.end_call("hangup"):
                raise ConfigError("no call")
        elif word == "fail":
            if not words or len(words) > 2 or (len(words) == 2 and words[1] not in ("error", "cms")):
                raise ConfigError("fail N [error|cms]")
            self.fail_sends = int(words[0])
            if self.fail_sends < 0:
                raise ConfigError("fail N: N must not be negative")
            self.fail_style = words[1] if len(words) == 2 else "error"
        elif word == "silent":
            if len(words) != 1:
                raise ConfigError("silent on|off|SECONDS")
            self.set_silent(words[0])
        elif word == "garble":
            if not words or len(words) > 2 or (len(words) == 2 and words[1] not in ("noise", "cut")):
                raise ConfigError("garble N [noise|cut]")
            self.garble = int(words[0])
            if self.garble < 0:
                raise ConfigError("garble N: N must not be negative")
            self.garble_mode = words[1] if len(words) == 2 else "noise"
        elif word == "model":
            if not arg:
                raise ConfigError("model TEXT")
            self.model = arg
        elif word == "echo":
            if words not in (["on"], ["off"]):
                raise ConfigError("echo on|off")
            self.echo = words[0] == "on"
        elif word == "raw":
            data = json.loads(arg) if arg else None
            if not isinstance(data, str):
                raise ConfigError('raw "JSON STRING" (code points 0-255 are the bytes)')
            self.write(data.encode("latin-1"))
        elif word == "dump":
            for sms in self.store.listing("ALL"):
                self.out.event("STORE %d %s %s %s %s" % (
                    sms.index, json.dumps(sms.status), show_number(sms.number),
                    json.dumps(sms.timestamp), json_text(sms.text)))
            self.out.event("STORE-END %d" % self.store.used())
        elif word == "state":
            self.out.event(self.state_line())
        else:
            raise ConfigError("unknown command: " + word)

    # -- refused deletions and lost prompts ------------------------------------
    # The faults a station must recover from without losing an alarm: a
    # modem that refuses to delete an SMS, and a modem left in the text input
    # of AT+CMGS because its prompt never reached the station (lost, garbled,
    # or too late). Ordered with the control commands "refuse-delete" and
    # "prompt".

    refuse_deletes = 0        # the next N AT+CMGD are refused
    refuse_delete_index = None  # every AT+CMGD of this index is refused
    refuse_delete_style = "error"
    prompt_faults = 0         # the next N prompts are spoiled
    prompt_fault = "lost"     # lost | garbled | late
    prompt_late_ms = 0.0
    prompt_session = 0        # counts the text inputs, so a late prompt knows its own

    def refuse_delete_if_ordered(self, index):
        if self.refuse_delete_index == index:
            pass
        elif self.refuse_deletes > 0:
            self.refuse_deletes -= 1
        else:
            return
        self.out.event("SMS-DELETE-REFUSED %d" % index)
        raise CommandError(500, cms=True, force_cms=self.refuse_delete_style == "cms")

    def send_prompt(self, blocks):
        """The answer to AT+CMGS: the text input is open, whatever becomes of
        the prompt that says so."""
        self.prompt_session += 1
        if self.prompt_faults <= 0:
            self.write(blocks + b"\r\n> ")
            return
        self.prompt_faults -= 1
        fault = self.prompt_fault
        if fault == "garbled":
            self.out.event("PROMPT-GARBLED %s" % show_number(self.dest))
            self.write(blocks + b"\r\n" + bytes(self.rng.randrange(0x80, 0x100) for _ in range(2)))
            return
        if blocks:
            self.write(blocks)
        if fault == "lost":
            self.out.event("PROMPT-LOST %s" % show_number(self.dest))
            return
        self.out.event("PROMPT-LATE %s %g" % (show_number(self.dest), self.prompt_late_ms / 1000.0))
        session = self.prompt_session

        def late():
            # Only while the same text input is still open.
            if self.mode == "text" and self.prompt_session == session:
                self.write(b"\r\n> ")
                self.out.event("PROMPT-SENT %s" % show_number(self.dest))

        self.sched.after(self.prompt_late_ms, late)

    def fault_command(self, word, words):
        """Runs "refuse-delete", "prompt" and "kill-after-cmgs"; False for any
        other command."""
        if word == "kill-after-cmgs":
            self.kill_command(words)
            return True
        if word == "refuse-delete":
            usage = "refuse-delete N|at INDEX|off [error|cms]"
            if words and words[0] == "at":
                if len(words) not in (2, 3):
                    raise ConfigError(usage)
                index, style = int(words[1]), words[2:]
                count = self.refuse_deletes
            elif words and words[0] == "off":
                if len(words) != 1:
                    raise ConfigError(usage)
                index, style, count = None, [], 0
            else:
                if len(words) not in (1, 2):
                    raise ConfigError(usage)
                count, style = int(words[0]), words[1:]
                if count < 0:
                    raise ConfigError(usage)
                index = self.refuse_delete_index if count else None
            if style and style[0] not in ("error", "cms"):
                raise ConfigError(usage)
            self.refuse_deletes = count
            self.refuse_delete_index = index
            self.refuse_delete_style = style[0] if style else "error"
            return True
        if word == "prompt":
            usage = "prompt ok|lost [N]|garbled [N]|late SECONDS [N]"
            if words == ["ok"]:
                self.prompt_faults = 0
                return True
            if not words or words[0] not in ("lost", "garbled", "late"):
                raise ConfigError(usage)
            fault, rest = words[0], words[1:]
            late_ms = 0.0
            if fault == "late":
                if not rest:
                    raise ConfigError(usage)
                late_ms = float(rest[0]) * 1000.0
                if late_ms <= 0:
                    raise ConfigError("prompt late SECONDS: SECONDS must be positive")
                rest = rest[1:]
            if len(rest) > 1:
                raise ConfigError(usage)
            count = int(rest[0]) if rest else 1
            if count < 1:
                raise ConfigError(usage)
            self.prompt_fault, self.prompt_late_ms, self.prompt_faults = fault, late_ms, count
            return True
        return False

    # -- a station killed right after "+CMGS:" -------------------------------
    # The worst moment for a station to die: the SMS has left, but the
    # station has not yet noted that it has. Ordered with "kill-after-cmgs".

    kill_pid = None       # the process to kill after the next "+CMGS:"
    kill = staticmethod(os.kill)  # replaced by the self-tests

    def kill_after_cmgs_if_ordered(self):
        """Once armed: SIGKILL to the process once the answer of an SMS that
        was sent has been written (after the reply delay when there is one)."""
        if self.kill_pid is None:
            return
        pid, self.kill_pid = self.kill_pid, None

        def kill_now():
            try:
                self.kill(pid, signal.SIGKILL)
            except OSError as e:
                self.out.event("KILL-FAILED %d %s" % (pid, e.strerror or e))
                return
            self.out.event("KILLED-AFTER-CMGS %d" % pid)

        if self.cfg.reply_delay_ms > 0:
            # The answer is on its way after the reply delay; the kill follows it.
            self.sched.after(self.cfg.reply_delay_ms, kill_now)
        else:
            kill_now()

    def kill_command(self, words):
        usage = "kill-after-cmgs PID|off"
        if words == ["off"]:
            self.kill_pid = None
            return
        if len(words) != 1:
            raise ConfigError(usage)
        pid = parse_int(words[0])
        if pid <= 1:
            raise ConfigError(usage + ": PID must be above 1")
        self.kill_pid = pid

    def state_line(self):
        return ("STATE model=%s pin=%s reg=%d rssi=%d echo=%d cmgf=%d cscs=%s csdh=%d "
                "stored=%d sent=%d call=%s silent=%d garble=%d fail=%d mode=%s") % (
            json.dumps(self.model), self.pin_state, self.reg, self.rssi, self.echo, self.cmgf,
            self.cscs, self.csdh, self.store.used(), len(self.sent),
            self.call.label() if self.call else "none", self.silent, self.garble,
            self.fail_sends, self.mode)


def show_cmd(data):
    """A command line for the CMD event: printable as it is, the rest as \\xNN."""
    return "".join(chr(b) if 0x20 <= b < 0x7F else "\\x%02X" % b for b in data)


# ---------------------------------------------------------------------------
# Scenario and program

SCENARIO_KEYS = ["modem", "sms", "steps"]


class Scenario:
    def __init__(self, d):
        check_keys(d, SCENARIO_KEYS, "scenario")
        self.modem = d.get("modem", {})
        self.sms = [sms_from_json(s, "sms[%d]" % i) for i, s in enumerate(d.get("sms", []))]
        self.steps = []
        for i, s in enumerate(d.get("steps", [])):
            check_keys(s, ["do"] + ms_keys("at"), "steps[%d]" % i)
            if not isinstance(s.get("do"), str):
                raise ConfigError("steps[%d]: missing \"do\" command" % i)
            self.steps.append((get_ms(s, "at", 0.0), s["do"]))


def load_scenario(text):
    """A file name, or inline JSON when the text starts with "{"."""
    return Scenario(simcommon.load_json(text))


class Simulator(simcommon.PtySimulator):
    def __init__(self, args):
        super().__init__(args)
        scen = load_scenario(args.scenario) if args.scenario else Scenario({})
        cfg_d = dict(scen.modem)
        for key, val in (("model", args.model), ("pin_state", args.pin_state), ("pin", args.pin),
                         ("reg", args.reg), ("rssi", args.rssi)):
            if val is not None:
                cfg_d[key] = val
        self.cfg = ModemConfig(cfg_d)
        self.scenario = scen
        self.open_pty(args.link)
        self.modem = Modem(self.cfg, self.out, self.sched, self.write)

    def after_ready(self):
        for d in self.scenario.sms:
            try:
                self.modem.add_sms(d["number"], d["text"], d["status"], d["timestamp"], d["index"], d["raw"])
            except ConfigError as e:
                self.out.event("ERROR %s" % e)
        self.schedule_steps(self.scenario.steps)


def parse_args(argv):
    p = argparse.ArgumentParser(
        description="GSM-modem simulator: answers the station's AT commands on a pseudo-terminal.")
    simcommon.add_common_options(p, "COM2", "also print every command (CMD) and the raw bytes (RX/TX)")
    p.add_argument("--model", help='answer to AT+CGMM (default "SIEMENS TC35")')
    p.add_argument("--pin-state", choices=PIN_STATES, help="SIM state at start (default ready)")
    p.add_argument("--pin", help="the PIN that unlocks the SIM in state required (default 1234)")
    p.add_argument("--reg", help="registration status 0-5 or a name (default 1, home)")
    p.add_argument("--rssi", type=int, help="signal 0-31 or 99 (default 20)")
    return p.parse_args(argv)


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    try:
        sys.stdout.reconfigure(encoding="utf-8", errors="replace")
    except (AttributeError, ValueError):
        pass
    return simcommon.run_main("gsmsim", Simulator, args)


if __name__ == "__main__":
    sys.exit(main())
