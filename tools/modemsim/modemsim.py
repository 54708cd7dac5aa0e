#!/usr/bin/env python3
"""Telephone-modem simulator for tests and demos.

Plays the intelligent telephone modem on the far side of the station's serial
port: it answers the station's link frames, reports ring signals, the caller's
number and the operator's handset in its status byte, and carries scripted
CPC and P100 lift telephones. It is written from the wire description of the
modem link alone and shares no code with the station, so that a misreading of
the wire format in the station cannot hide behind the same misreading here.

Usage summary (see tools/README.md for the full description):

    modemsim.py --link /tmp/x/COM1 [--scenario FILE|JSON] [--stdin] [--verbose]

The program prints "READY <slave path>" once it listens, then one line per
event. Standard library only. The program around the modem (pseudo-terminal
and link, event lines, timers, control commands, signals) is tools/simcommon.py,
which the GSM-modem simulator uses as well.
"""

import argparse
import collections
import json
import os
import sys
import time

# The scaffolding shared with the GSM-modem simulator lives in tools/simcommon.py,
# one folder up; this file runs as a script, so that folder goes first on the
# path (found through links to this file too).
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.realpath(__file__))))

import simcommon  # noqa: E402
# Output and Scheduler are named here for the self-tests, which build a modem of their own.
from simcommon import ConfigError, Output, Scheduler, check_keys, ms_keys  # noqa: E402,F401

# ---------------------------------------------------------------------------
# Wire format

STATUS_TXACK = 0x80
STATUS_BUSY = 0x40
STATUS_RING = 0x20
STATUS_LINE = 0x10
STATUS_HANDSET = 0x08
STATUS_CONNECTED = 0x04
STATUS_ICT_ERROR = 0x02

# The station's status byte: bit 7 acknowledges the modem's last message frame.
STATION_ACK = 0x80

CMD_POLL = 0x81
CMD_LINE = 0x82
CMD_SEND_DATA = 0x84
CMD_P100_START = 0x87
CMD_IDENTIFY = 0x8A
CMD_RESET_LINE = 0x8B
CMD_VOICE_NOTIFY = 0x8D
CMD_CPC_REQUEST = 0x8F
CMD_RELAY = 0x90
CMD_NETWORK = 0x91

MSG_P100_DATA = 0x86
MSG_IDENT = 0x8D
MSG_CPC_ANSWER = 0x8E

# P100 reports of the modem (answer to a start of reception).
P100_REPORTS = {
    "start_timeout": (0x87, "START-TIMEOUT"),
    "retries_exceeded": (0x88, "RETRIES-EXCEEDED"),
    "msg_timeout": (0x89, "MSG-TIMEOUT"),
    "checksum": (0x8A, "CHECKSUM-ERROR"),
    "timing": (0x8B, "TIMING-ERROR"),
}
P100_INTERMEDIATE = ("msg_timeout", "checksum", "timing")

# Body length of a frame whose command has bit 7 clear (no length byte).
FIXED_LENGTH = 2
# A pause this long inside a frame abandons the partial frame.
FRAME_GAP_S = 0.050


def checksum(data):
    """0xFF XOR every byte (command, length when present, body)."""
    cs = 0xFF
    for b in data:
        cs ^= b
    return cs


def encode_frame(command, body):
    """One frame: command, length (bit 7 commands only), body, checksum.

    The body is the status byte followed by the payload. A command with bit 7
    clear has no length byte and exactly two body bytes (padded or cut)."""
    body = bytes(body)
    if command & 0x80:
        if len(body) > 255:
            raise ValueError("frame body longer than 255 bytes")
        head = bytes([command, len(body)])
    else:
        body = (body + bytes(FIXED_LENGTH))[:FIXED_LENGTH]
        head = bytes([command])
    frame = head + body
    return frame + bytes([checksum(frame)])


class FrameReceiver:
    """Byte-at-a-time frame receiver of the modem side.

    feed() returns a list of results:
      ("frame", command, body, raw)  a frame with a good checksum
      ("bad", command, body, raw)    a frame with a wrong checksum
      ("discard", raw)               a partial frame dropped after a pause
    """

    def __init__(self, fixed_length=FIXED_LENGTH, gap_s=FRAME_GAP_S):
        self.fixed_length = fixed_length
        self.gap_s = gap_s
        self.last_byte = None
        self._restart()

    def _restart(self):
        self.state = 0
        self.raw = bytearray()
        self.command = 0
        self.body = bytearray()
        self.expected = 0
        self.cs = 0xFF

    def feed(self, data, now=None):
        if now is None:
            now = time.monotonic()
        results = []
        if self.state != 0 and self.last_byte is not None and now - self.last_byte >= self.gap_s:
            results.append(("discard", bytes(self.raw)))
            self._restart()
        for b in data:
            self.raw.append(b)
            if self.state == 0:
                self.command = b
                self.cs = 0xFF ^ b
                self.body = bytearray()
                if b & 0x80:
                    self.state = 1
                else:
                    self.expected = self.fixed_length
                    self.state = 2 if self.expected else 3
            elif self.state == 1:
                self.expected = b
                self.cs ^= b
                self.state = 2 if b else 3
            elif self.state == 2:
                self.body.append(b)
                self.cs ^= b
                if len(self.body) >= self.expected:
                    self.state = 3
            else:
                kind = "frame" if b == self.cs else "bad"
                results.append((kind, self.command, bytes(self.body), bytes(self.raw)))
                self._restart()
        if data:
            self.last_byte = now
        return results


def decode_frame(raw):
    """Decodes exactly one complete frame: (command, body). Raises ValueError."""
    results = FrameReceiver().feed(bytes(raw), 0.0)
    if len(results) != 1 or results[0][0] != "frame" or len(results[0][3]) != len(raw):
        raise ValueError("not exactly one valid frame: " + hexs(raw))
    return results[0][1], results[0][2]


def hexs(data):
    return " ".join("%02X" % b for b in data)


# ---------------------------------------------------------------------------
# Configuration helpers


def get_ms(d, name, default):
    """A duration given as name_ms or name_s; returns milliseconds, or None
    for a JSON null (no such time)."""
    return simcommon.get_ms(d, name, default, allow_null=True)


def parse_byte(v, where):
    if isinstance(v, str):
        v = int(v, 0) if v.lower().startswith("0x") else int(v, 16)
    if not isinstance(v, int) or not 0 <= v <= 255:
        raise ConfigError("%s: byte value out of range: %r" % (where, v))
    return v


def parse_digits(v, where):
    """Identity digits: a string of decimal digits, or a list of values 0-255
    (values above 9 make deliberately invalid identities)."""
    if isinstance(v, str):
        if not v.isdigit():
            raise ConfigError("%s: identity must be decimal digits: %r" % (where, v))
        return [int(c) for c in v]
    if isinstance(v, list):
        return [parse_byte(x, where) if isinstance(x, str) else _int_byte(x, where) for x in v]
    raise ConfigError("%s: identity must be a string or a list: %r" % (where, v))


def _int_byte(x, where):
    if not isinstance(x, int) or not 0 <= x <= 255:
        raise ConfigError("%s: value out of range: %r" % (where, x))
    return x


def parse_bytes(v, where):
    """Bytes as a hex string ("0A1B", "0A 1B") or a list of numbers."""
    if isinstance(v, str):
        s = v.replace(" ", "")
        try:
            return list(bytes.fromhex(s))
        except ValueError:
            raise ConfigError("%s: not a hex string: %r" % (where, v))
    if isinstance(v, list):
        return [_int_byte(x, where) for x in v]
    raise ConfigError("%s: expected hex string or list: %r" % (where, v))


def parse_sw_version(v):
    """"01.50" (two hex bytes, as the modem shows it), "0x0150" or an int."""
    if isinstance(v, int):
        return (v >> 8) & 0xFF, v & 0xFF
    if isinstance(v, str):
        if "." in v:
            hi, lo = v.split(".", 1)
            return int(hi, 16) & 0xFF, int(lo, 16) & 0xFF
        n = int(v, 16)
        return (n >> 8) & 0xFF, n & 0xFF
    raise ConfigError("sw_version: expected \"HH.LL\" or a number: %r" % (v,))


MODEM_KEYS = [
    "model_id", "sw_version", "sw_info", "hw_version", "interface_type",
    "line", "signal",
] + ms_keys("busy", "data_busy", "ident_delay", "reply_delay",
            "cpc_timeout", "p100_start_timeout", "p100_message_delay",
            "p100_report_gap", "cpc_answer_delay") + ["cpc_timeout_report"]


class ModemConfig:
    def __init__(self, d=None):
        d = d or {}
        check_keys(d, MODEM_KEYS, "modem")
        self.model_id = _int_byte(d.get("model_id", 12), "model_id")
        self.sw_hi, self.sw_lo = parse_sw_version(d.get("sw_version", "01.50"))
        self.sw_info = _int_byte(d.get("sw_info", 0), "sw_info")
        self.hw_version = _int_byte(d.get("hw_version", 1), "hw_version")
        self.interface_type = _int_byte(d.get("interface_type", 1), "interface_type")
        self.line = bool(d.get("line", True))
        sig = d.get("signal")
        self.signal = None if sig is None else _int_byte(sig, "signal")
        self.busy_ms = get_ms(d, "busy", 150.0)
        self.data_busy_ms = get_ms(d, "data_busy", 300.0)
        self.ident_delay_ms = get_ms(d, "ident_delay", 100.0)
        self.reply_delay_ms = get_ms(d, "reply_delay", 0.0)
        self.cpc_timeout_ms = get_ms(d, "cpc_timeout", 2000.0)
        self.cpc_answer_delay_ms = get_ms(d, "cpc_answer_delay", 300.0)
        self.cpc_timeout_report = parse_byte(d.get("cpc_timeout_report", "90"), "cpc_timeout_report")
        self.p100_start_timeout_ms = get_ms(d, "p100_start_timeout", 1500.0)
        self.p100_message_delay_ms = get_ms(d, "p100_message_delay", 500.0)
        self.p100_report_gap_ms = get_ms(d, "p100_report_gap", 300.0)

    def ident_text(self):
        return "model=%d sw=%02X.%02X swinfo=%02X hw=%d interface=%d" % (
            self.model_id, self.sw_hi, self.sw_lo, self.sw_info, self.hw_version, self.interface_type)


# ---------------------------------------------------------------------------
# Lift telephones

CPC_REQUESTS = {
    (0, 2, 1): "ID",
    (0, 3): "ALARMCODE",
    (0, 5, 1): "ACK-VOICE",
    (0, 5, 2): "ACK-OTHER",
    (0, 6, 0, 1): "DISCONNECT",
    (0, 6, 0, 7): "TIME-UPDATE",
}
CPC_REPLY_KEY = {
    "ID": "id_reply",
    "ALARMCODE": "alarm_reply",
    "ACK-VOICE": "ack_reply",
    "ACK-OTHER": "ack_reply",
    "DISCONNECT": "hangup_reply",
    "TIME-UPDATE": "time_update_reply",
}
REPLY_WORDS = ("answer", "ack", "nack", "timeout", "silent", "nothing")


class ReplySeq:
    """What the telephone does at successive requests of one kind: a single
    reply, or a list used in turn whose last entry then repeats."""

    def __init__(self, script, where):
        items = script if isinstance(script, list) else [script]
        if not items:
            raise ConfigError("%s: empty reply list" % where)
        self.items = []
        for it in items:
            if isinstance(it, dict):
                check_keys(it, ["digits"], where)
                self.items.append(("digits", parse_digits(it["digits"], where)))
            elif it in REPLY_WORDS:
                self.items.append(("timeout" if it == "silent" else it, None))
            else:
                raise ConfigError("%s: reply must be one of %s or {\"digits\": [...]}: %r"
                                  % (where, ", ".join(REPLY_WORDS), it))
        self.index = 0

    def next(self):
        item = self.items[min(self.index, len(self.items) - 1)]
        self.index += 1
        return item


P100_ITEM_KEYS = ["code", "identity", "count", "sub_code", "extra", "user_data",
                  "nibbles", "errors", "report"] + ms_keys("delay")
TELEPHONE_KEYS = (["type", "model_code", "alarm_code", "identity", "messages"]
                  + list(CPC_REPLY_KEY.values())
                  + [k for k in P100_ITEM_KEYS if k != "identity"]
                  + ms_keys("answer_delay", "start_timeout", "message_delay", "report_gap"))


class P100Item:
    """One start of reception as the telephone and the modem play it."""

    def __init__(self, d, where):
        check_keys(d, P100_ITEM_KEYS, where)
        self.delay_ms = get_ms(d, "delay", None)
        self.errors = d.get("errors", [])
        for e in self.errors:
            if e not in P100_INTERMEDIATE:
                raise ConfigError("%s: errors may hold %s: %r" % (where, ", ".join(P100_INTERMEDIATE), e))
        self.report = d.get("report")
        if self.report is not None and self.report not in ("start_timeout", "retries_exceeded", "nothing"):
            raise ConfigError("%s: report must be start_timeout, retries_exceeded or nothing" % where)
        self.nibbles = None if self.report else self._nibbles(d, where)

    @staticmethod
    def _nibbles(d, where):
        if "nibbles" in d:
            return parse_digits(d["nibbles"], where)
        code = _int_byte(d.get("code", 0), where + ".code")
        if code == 5:
            data = parse_bytes(d.get("user_data", []), where + ".user_data")
            nib = [n for b in data for n in (b >> 4, b & 0x0F)]
            return [5, _int_byte(d.get("count", len(nib)), where + ".count")] + nib
        ident = parse_digits(d.get("identity", "12345678"), where + ".identity")
        count = _int_byte(d.get("count", 11 if code == 2 else 8), where + ".count")
        nib = [code, count] + ident
        if code == 2:
            extra = _int_byte(d.get("extra", 0), where + ".extra")
            nib += [_int_byte(d.get("sub_code", 0), where + ".sub_code"), extra >> 4, extra & 0x0F]
        return nib


class Telephone:
    """The calling lift telephone: "cpc", "p100" or "none" (speaks neither)."""

    def __init__(self, d, where="telephone"):
        d = d or {"type": "none"}
        check_keys(d, TELEPHONE_KEYS, where)
        self.kind = d.get("type", "none")
        if self.kind not in ("cpc", "p100", "none"):
            raise ConfigError("%s.type must be cpc, p100 or none" % where)
        self.hung_up = False
        self.answer_delay_ms = get_ms(d, "answer_delay", None)
        self.start_timeout_ms = get_ms(d, "start_timeout", None)
        self.message_delay_ms = get_ms(d, "message_delay", None)
        self.report_gap_ms = get_ms(d, "report_gap", None)
        # CPC
        self.model_code = _int_byte(d.get("model_code", 1), where + ".model_code")
        self.alarm_code = d.get("alarm_code", 26)
        if not isinstance(self.alarm_code, int) or not 0 <= self.alarm_code <= 99:
            raise ConfigError("%s.alarm_code must be 0-99" % where)
        default_id = "123456" if self.kind == "cpc" else "12345678"
        self.identity = parse_digits(d.get("identity", default_id), where + ".identity")
        self.replies = {}
        defaults = {"id_reply": "answer", "alarm_reply": "answer", "ack_reply": "ack",
                    "hangup_reply": "ack", "time_update_reply": "ack"}
        for key, dflt in defaults.items():
            self.replies[key] = ReplySeq(d.get(key, dflt), where + "." + key)
        # P100: a list of messages, or one message given by the shorthand keys.
        self.p100_items = collections.deque()
        if self.kind == "p100":
            if "messages" in d:
                for i, m in enumerate(d["messages"]):
                    self.p100_items.append(P100Item(m, "%s.messages[%d]" % (where, i)))
            else:
                single = {k: d[k] for k in P100_ITEM_KEYS if k in d}
                self.p100_items.append(P100Item(single, where))

    def cpc_reply(self, request):
        """("digits", [...]) to answer, ("timeout", None) or ("nothing", None)."""
        if self.kind != "cpc" or self.hung_up or request not in CPC_REPLY_KEY:
            return ("timeout", None)
        kind, digits = self.replies[CPC_REPLY_KEY[request]].next()
        if kind == "digits":
            return (kind, digits)
        if kind in ("answer", "ack"):
            if request == "ID":
                return ("digits", [0, 2, self.model_code])
            if request == "ALARMCODE":
                return ("digits", [0, 4, self.alarm_code // 10, self.alarm_code % 10] + self.identity)
            return ("digits", [0, 1, 1])
        if kind == "nack":
            return ("digits", [0, 1, 0])
        return (kind, None)

    def next_p100(self):
        if self.kind != "p100" or self.hung_up or not self.p100_items:
            return None
        return self.p100_items.popleft()


CALL_KEYS = (["caller_id", "caller_id_quoted", "ring", "telephone", "handset"] + ms_keys("delay"))
RING_KEYS = ["count"] + ms_keys("on", "off")
HANDSET_KEYS = ms_keys("lift_after", "down_after")


class CallScript:
    def __init__(self, d, where="call"):
        d = d or {}
        check_keys(d, CALL_KEYS, where)
        self.delay_ms = get_ms(d, "delay", 1000.0)
        self.caller_id = d.get("caller_id")
        self.caller_id_quoted = bool(d.get("caller_id_quoted", True))
        ring = d.get("ring", {})
        check_keys(ring, RING_KEYS, where + ".ring")
        self.ring_on_ms = get_ms(ring, "on", 1000.0)
        self.ring_off_ms = get_ms(ring, "off", 4000.0)
        self.ring_count = int(ring.get("count", 10))
        self.telephone = Telephone(d.get("telephone"), where + ".telephone")
        hs = d.get("handset") or {}
        check_keys(hs, HANDSET_KEYS, where + ".handset")
        self.lift_after_ms = get_ms(hs, "lift_after", None)
        self.down_after_ms = get_ms(hs, "down_after", None)


# ---------------------------------------------------------------------------
# The modem


class Message:
    """A message frame waiting to be carried by a poll answer."""

    def __init__(self, command, payload, label, due, op=None, final=False):
        self.command = command
        self.payload = bytes(payload)
        self.label = label
        self.due = due
        self.op = op
        self.final = final


class Operation:
    """A command in progress (P100 reception, CPC exchange): BUSY meanwhile."""

    def __init__(self, name):
        self.name = name
        self.active = True
        self.handles = []


class Call:
    def __init__(self, number, script):
        self.number = number
        self.script = script
        self.phone = script.telephone
        self.state = "ringing"
        self.rings = 0
        self.handles = []


class Modem:
    def __init__(self, cfg, out, sched, write):
        self.cfg = cfg
        self.out = out
        self.sched = sched
        self.write = write
        self.receiver = FrameReceiver()
        # Line and status.
        self.line = cfg.line
        self.ringing = False
        self.connected = False
        self.handset = False
        self.busy_until = 0.0
        self.stuck_busy = False
        self.signal = cfg.signal
        self.caller_id_pending = None
        self.last_status = None
        # Message frames.
        self.outq = []
        self.unacked = None
        self.op = None
        # Faults.
        self.faults = {"checksum": 0, "silent": 0, "invalid": 0, "notxack": 0, "ict": 0}
        self.invalid_code = 0x98
        self.no_seize = False
        self.no_reset = False
        # Retransmission detection: a command repeated after an answer we spoiled.
        self.last_faulty = False
        self.last_command = None
        # Calls.
        self.call = None
        self.call_count = 0
        self.pending_calls = collections.deque()
        self.calls_gate_open = True
        self.call_starting = False
        self.lift_handle = None
        self.down_handle = None
        self.on_idle = None  # called when no call is running or pending

    # -- status -----------------------------------------------------------

    def now(self):
        return self.sched.clock()

    def busy(self):
        return (self.stuck_busy or self.now() < self.busy_until
                or (self.op is not None and self.op.active))

    def status(self):
        st = 0
        if self.line:
            st |= STATUS_LINE
            if self.ringing:
                st |= STATUS_RING
        if self.handset:
            st |= STATUS_HANDSET
        if self.connected:
            st |= STATUS_CONNECTED
        if self.busy():
            st |= STATUS_BUSY
        return st

    def set_busy(self, ms):
        if ms and ms > 0:
            self.busy_until = max(self.busy_until, self.now() + ms / 1000.0)

    # -- receiving --------------------------------------------------------

    def feed(self, data):
        for res in self.receiver.feed(data, self.now()):
            if res[0] == "frame":
                self.on_frame(res[1], res[2], res[3])
            elif res[0] == "bad":
                self.out.event("RX-BAD " + hexs(res[3]))
            else:
                self.out.event("RX-DISCARD " + hexs(res[1]))

    def on_frame(self, command, body, raw):
        self.out.event("RX " + hexs(raw), verbose_only=True)
        if not command & 0x80:
            # The station always sends bit-7 commands; a modem does not answer junk.
            self.out.event("RX-INVALID " + hexs(raw))
            return
        if self.faults["silent"] > 0:
            self.faults["silent"] -= 1
            # As if the frame were lost on the line: no state changes at all.
            self.out.event("FAULT silent")
            return
        station_status = body[0] if body else 0
        payload = body[1:]
        if self.unacked is not None and station_status & STATION_ACK:
            self.out.event("ACK %02X" % self.unacked.command)
            acked = self.unacked
            self.unacked = None
            self.on_acked(acked)
        retry = (command != CMD_POLL and self.last_faulty
                 and self.last_command == (command, payload))
        if retry:
            self.out.event("RETRY %02X" % command)
        else:
            self.execute(command, payload)
        self.answer(command, payload)

    # -- answering --------------------------------------------------------

    def next_message(self):
        now = self.now()
        best = None
        for m in self.outq:
            if m.due <= now and (best is None or m.due < best.due):
                best = m
        if best is not None:
            self.outq.remove(best)
        return best

    def answer(self, command, payload):
        is_poll = command == CMD_POLL
        ans_cmd, ans_payload = CMD_POLL, b""
        msg, first_send, caller_id = None, False, None
        if is_poll:
            if self.unacked is not None:
                msg = self.unacked
            else:
                msg = self.next_message()
                first_send = msg is not None
                if msg is not None:
                    self.unacked = msg
                    if msg.final and msg.op is not None and msg.op is self.op:
                        self.end_op()
            if msg is not None:
                ans_cmd, ans_payload = msg.command, msg.payload
            elif self.caller_id_pending is not None:
                caller_id = self.caller_id_pending
                ans_payload = b"\x00" + caller_id
            elif self.signal is not None:
                ans_payload = bytes([self.signal])
        status = self.status()
        if status != self.last_status:
            self.out.event("STATUS %02X" % status, verbose_only=True)
            self.last_status = status
        faulty = False
        if not is_poll:
            if self.faults["notxack"] > 0:
                self.faults["notxack"] -= 1
                self.out.event("FAULT notxack")
                faulty = True
            else:
                status |= STATUS_TXACK
        if self.faults["ict"] > 0:
            self.faults["ict"] -= 1
            self.out.event("FAULT ict")
            status |= STATUS_ICT_ERROR
        if self.faults["invalid"] > 0:
            self.faults["invalid"] -= 1
            self.out.event("FAULT invalid %02X" % self.invalid_code)
            ans_cmd = self.invalid_code
            faulty = True
        frame = bytearray(encode_frame(ans_cmd, bytes([status]) + ans_payload))
        if self.faults["checksum"] > 0:
            self.faults["checksum"] -= 1
            self.out.event("FAULT checksum")
            frame[-1] ^= 0x5A
            faulty = True
        self.last_faulty = faulty
        self.last_command = (command, payload)
        if msg is not None:
            self.out.event(msg.label if first_send else "RESEND %02X" % msg.command)
        if caller_id is not None and not faulty:
            self.caller_id_pending = None
            self.out.event("CALLERID " + caller_id.decode("latin-1"))
        delay = self.cfg.reply_delay_ms
        data = bytes(frame)
        if delay and delay > 0:
            self.sched.after(delay, lambda: self._send(data))
        else:
            self._send(data)

    def _send(self, data):
        self.out.event("TX " + hexs(data), verbose_only=True)
        self.write(data)

    def queue(self, command, payload, label, delay_ms=0.0, op=None, final=False):
        m = Message(command, payload, label, self.now() + max(0.0, delay_ms or 0.0) / 1000.0, op, final)
        self.outq.append(m)
        return m

    def on_acked(self, msg):
        if msg.command == MSG_IDENT and not self.calls_gate_open:
            self.calls_gate_open = True
            self.maybe_start_next_call()

    # -- operations -------------------------------------------------------

    def begin_op(self, name):
        self.cancel_op()
        self.op = Operation(name)
        return self.op

    def end_op(self):
        if self.op is not None:
            self.op.active = False
            for h in self.op.handles:
                h.cancel()
            self.op = None

    def cancel_op(self):
        if self.op is None:
            return
        op = self.op
        self.outq = [m for m in self.outq if m.op is not op]
        self.end_op()

    # -- commands ---------------------------------------------------------

    def execute(self, command, payload):
        handler = {
            CMD_POLL: lambda p: None,
            CMD_LINE: self.cmd_line,
            CMD_SEND_DATA: self.cmd_send_data,
            CMD_P100_START: self.cmd_p100_start,
            CMD_IDENTIFY: self.cmd_identify,
            CMD_RESET_LINE: self.cmd_reset,
            CMD_VOICE_NOTIFY: self.cmd_voice_notify,
            CMD_CPC_REQUEST: self.cmd_cpc,
            CMD_RELAY: self.cmd_relay,
            CMD_NETWORK: self.cmd_network,
        }.get(command)
        if handler is None:
            self.out.event("CMD %02X %s" % (command, hexs(payload)) if payload else "CMD %02X" % command)
            return
        handler(payload)

    def cmd_line(self, p):
        self.set_busy(self.cfg.busy_ms)
        if p and p[0]:
            self.out.event("SEIZE")
            if self.no_seize:
                self.out.event("FAULT noseize")
                return
            self.connected = True
            if self.call is not None and self.call.state == "ringing":
                self.answer_call()
        else:
            self.out.event("RELEASE")
            self.release_line()

    def release_line(self):
        self.connected = False
        self.cancel_op()
        if self.call is not None and self.call.state == "answered":
            self.end_call()
        else:
            self.maybe_start_next_call()

    def cmd_send_data(self, p):
        self.set_busy(self.cfg.data_busy_ms)
        self.out.event("DATA " + hexs(p))
        if p == b"\x0f":
            self.out.event("HANGUP P100")
            self.hang_up_phone()
        elif p[:1] == b"\x03":
            self.out.event("REDIRECT " + hexs(p))
            self.hang_up_phone()

    def hang_up_phone(self):
        if self.call is not None:
            self.call.phone.hung_up = True

    def phone(self):
        if self.call is not None and self.call.state == "answered" and self.connected:
            return self.call.phone
        return None

    def cmd_p100_start(self, p):
        attempt = p[0] if p else 0
        self.out.event("P100-START %d" % attempt)
        op = self.begin_op("p100")
        phone = self.phone()
        item = phone.next_p100() if phone is not None else None

        start_timeout = self._timing(phone, "start_timeout_ms", self.cfg.p100_start_timeout_ms)
        msg_delay = self._timing(phone, "message_delay_ms", self.cfg.p100_message_delay_ms)
        gap = self._timing(phone, "report_gap_ms", self.cfg.p100_report_gap_ms)
        if item is None:
            cmd, name = P100_REPORTS["start_timeout"]
            self.queue(cmd, b"", "P100-REPORT " + name, start_timeout, op, final=True)
            return
        t = 0.0
        for e in item.errors:
            t += gap
            cmd, name = P100_REPORTS[e]
            self.queue(cmd, b"", "P100-REPORT " + name, t, op)
        if item.report == "nothing":
            # The modem swallows the outcome; BUSY ends after its usual time.
            op.handles.append(self.sched.after(t + (self.cfg.busy_ms or 0.0), self.end_op_if(op)))
            return
        t += item.delay_ms if item.delay_ms is not None else (
            start_timeout if item.report == "start_timeout" else msg_delay)
        if item.report:
            cmd, name = P100_REPORTS[item.report]
            self.queue(cmd, b"", "P100-REPORT " + name, t, op, final=True)
        else:
            self.queue(MSG_P100_DATA, bytes(item.nibbles), "P100-MSG " + hexs(item.nibbles), t, op, final=True)

    @staticmethod
    def _timing(phone, attr, default):
        value = getattr(phone, attr) if phone is not None else None
        return default if value is None else value

    def end_op_if(self, op):
        def fn():
            if self.op is op:
                self.end_op()
        return fn

    def cmd_identify(self, p):
        self.set_busy(self.cfg.busy_ms)
        c = self.cfg
        payload = bytes([c.sw_hi, c.sw_lo, c.sw_info, c.model_id, c.hw_version, c.interface_type])
        self.queue(MSG_IDENT, payload, "IDENT " + c.ident_text(), c.ident_delay_ms)

    def cmd_reset(self, p):
        self.set_busy(self.cfg.busy_ms)
        self.out.event("RESET")
        if self.no_reset:
            self.out.event("FAULT noreset")
            return
        self.release_line()

    def cmd_voice_notify(self, p):
        self.set_busy(self.cfg.busy_ms)
        on = bool(p and p[0])
        self.out.event("VOICE-NOTIFY " + ("on" if on else "off"))
        if on:
            script = self.call.script if self.call is not None else None
            if script is not None and script.lift_after_ms is not None and not self.handset:
                self._cancel(self.lift_handle)
                self.lift_handle = self.sched.after(script.lift_after_ms, lambda: self.set_handset(True, script))
        else:
            self._cancel(self.lift_handle)
            self.lift_handle = None

    @staticmethod
    def _cancel(h):
        if h is not None:
            h.cancel()

    def set_handset(self, up, script=None):
        if up == self.handset:
            return
        self.handset = up
        self.out.event("HANDSET " + ("up" if up else "down"))
        self._cancel(self.down_handle)
        self.down_handle = None
        if up and script is not None and script.down_after_ms is not None:
            self.down_handle = self.sched.after(script.down_after_ms, lambda: self.set_handset(False))

    def cmd_cpc(self, p):
        digits = tuple(p)
        name = CPC_REQUESTS.get(digits)
        self.out.event("CPC-REQ " + (name if name else ("UNKNOWN " + hexs(p)).strip()))
        op = self.begin_op("cpc")
        phone = self.phone()
        if phone is None:
            reply = ("timeout", None)
        else:
            reply = phone.cpc_reply(name)
        if name in ("ACK-VOICE", "ACK-OTHER"):
            self.out.event("ALARM-ACKED " + name[4:])
        elif name == "DISCONNECT":
            self.out.event("HANGUP CPC")
        elif name == "TIME-UPDATE":
            self.out.event("TIME-UPDATE")
        kind, answer = reply
        if kind == "digits":
            if name == "DISCONNECT" and answer == [0, 1, 1]:
                phone.hung_up = True
            delay = self._timing(phone, "answer_delay_ms", self.cfg.cpc_answer_delay_ms)
            self.queue(MSG_CPC_ANSWER, bytes(answer), "CPC-ANSWER " + hexs(answer), delay, op, final=True)
        elif kind == "timeout":
            cmd = self.cfg.cpc_timeout_report
            self.queue(cmd, b"", "CPC-REPORT %02X" % cmd, self.cfg.cpc_timeout_ms, op, final=True)
        else:  # nothing: the modem never reports
            op.handles.append(self.sched.after(self.cfg.busy_ms or 0.0, self.end_op_if(op)))

    def cmd_relay(self, p):
        self.set_busy(self.cfg.busy_ms)
        idx = p[0] if len(p) > 0 else 0
        state = p[1] if len(p) > 1 else 0
        self.out.event("RELAY %d %d" % (idx, state))

    def cmd_network(self, p):
        self.set_busy(self.cfg.busy_ms)
        sel = p[0] if len(p) > 0 else 0
        second = p[1] if len(p) > 1 else 0
        self.out.event("NETSEL %d %d" % (sel, second))

    # -- calls --------------------------------------------------------------

    def add_call(self, script):
        self.pending_calls.append(script)
        self.maybe_start_next_call()

    def maybe_start_next_call(self):
        if (self.call is not None or self.call_starting or not self.calls_gate_open):
            return
        if not self.pending_calls:
            return
        script = self.pending_calls.popleft()
        self.call_starting = True
        self.sched.after(script.delay_ms or 0.0, lambda: self.start_call(script))

    def start_call(self, script):
        self.call_starting = False
        if self.connected:
            # The line is held by the station; the caller tries again shortly.
            self.call_starting = True
            self.sched.after(500.0, lambda: self.start_call(script))
            return
        self.call_count += 1
        self.call = Call(self.call_count, script)
        self.out.event("CALL start %d" % self.call.number)
        self.ring_on(self.call)

    def ring_on(self, call):
        if call is not self.call or call.state != "ringing":
            return
        if call.rings >= call.script.ring_count:
            self.out.event("CALL unanswered")
            self.end_call()
            return
        call.rings += 1
        if self.line:
            self.ringing = True
            self.out.event("RING on %d" % call.rings)
        if call.rings == 1 and call.script.caller_id is not None:
            text = call.script.caller_id.encode("latin-1", "replace")
            self.caller_id_pending = (b'"' + text + b'"') if call.script.caller_id_quoted else text
        call.handles.append(self.sched.after(call.script.ring_on_ms, lambda: self.ring_off(call)))

    def ring_off(self, call):
        if call is not self.call or call.state != "ringing":
            return
        if self.ringing:
            self.ringing = False
            self.out.event("RING off %d" % call.rings)
        call.handles.append(self.sched.after(call.script.ring_off_ms, lambda: self.ring_on(call)))

    def answer_call(self):
        call = self.call
        for h in call.handles:
            h.cancel()
        call.handles = []
        if self.ringing:
            self.ringing = False
            self.out.event("RING off %d" % call.rings)
        call.state = "answered"
        self.out.event("CALL answered")

    def caller_hangs_up(self):
        if self.call is None:
            return
        if self.call.state == "ringing":
            self.out.event("CALL abandoned")
            self.end_call()
        else:
            self.call.phone.hung_up = True
            self.out.event("CALLER gone")

    def end_call(self):
        call = self.call
        if call is None:
            return
        for h in call.handles:
            h.cancel()
        if self.ringing:
            self.ringing = False
        self.caller_id_pending = None
        self._cancel(self.lift_handle)
        self.lift_handle = None
        call.state = "ended"
        self.call = None
        self.out.event("CALL end %d" % call.number)
        self.maybe_start_next_call()
        if self.call is None and not self.call_starting and not self.pending_calls and self.on_idle:
            self.on_idle()

    # -- stdin / scenario commands ------------------------------------------

    def command(self, line):
        """Runs one control command; returns None or raises ConfigError."""
        word, arg, words = simcommon.split_command(line)
        if not word:
            return
        if word == "call":
            d = json.loads(arg) if arg else {}
            if "delay_ms" not in d and "delay_s" not in d:
                d["delay_ms"] = 0
            self.add_call(CallScript(d, "call"))
        elif word == "ring":
            ring = {}
            for key, val in zip(("count", "on_ms", "off_ms"), words):
                ring[key] = int(val)
            self.add_call(CallScript({"delay_ms": 0, "ring": ring}, "ring"))
        elif word == "hangup":
            self.caller_hangs_up()
        elif word == "callerid":
            self.caller_id_pending = b'"' + arg.encode("latin-1", "replace") + b'"'
        elif word == "line":
            self.line = self._on_off(words)
        elif word == "handset":
            if not words or words[0] not in ("up", "down"):
                raise ConfigError("handset up|down")
            self.set_handset(words[0] == "up")
        elif word == "signal":
            if not words:
                raise ConfigError("signal N|off")
            self.signal = None if words[0] == "off" else _int_byte(int(words[0], 0), "signal")
        elif word == "busy":
            self.stuck_busy = self._on_off(words)
        elif word == "seized":
            self.connected = self._on_off(words)
        elif word == "fault":
            self.fault_command(words)
        elif word == "set":
            self.set_command(words)
        elif word == "send":
            if not words:
                raise ConfigError("send CMD [BYTES...]")
            cmd = parse_byte(words[0], "send")
            payload = bytes(parse_byte(w, "send") for w in words[1:])
            self.queue(cmd, payload, "SENT %02X %s" % (cmd, hexs(payload)) if payload else "SENT %02X" % cmd)
        elif word == "status":
            self.out.event("STATE status=%02X call=%s connected=%d handset=%d busy=%d queued=%d unacked=%s" % (
                self.status(),
                "none" if self.call is None else "%d:%s" % (self.call.number, self.call.state),
                self.connected, self.handset, self.busy(), len(self.outq),
                "none" if self.unacked is None else "%02X" % self.unacked.command))
        else:
            raise ConfigError("unknown command: " + word)

    @staticmethod
    def _on_off(words):
        if not words or words[0] not in ("on", "off"):
            raise ConfigError("expected on|off")
        return words[0] == "on"

    def fault_command(self, words):
        if not words:
            raise ConfigError("fault checksum|silent|invalid|notxack|ict N, fault noseize|noreset on|off, fault clear")
        what = words[0]
        if what == "clear":
            for k in self.faults:
                self.faults[k] = 0
            self.no_seize = self.no_reset = self.stuck_busy = False
        elif what in self.faults:
            n = int(words[1]) if len(words) > 1 else 1
            self.faults[what] = n
            if what == "invalid" and len(words) > 2:
                self.invalid_code = parse_byte(words[2], "invalid code")
        elif what == "noseize":
            self.no_seize = self._on_off(words[1:])
        elif what == "noreset":
            self.no_reset = self._on_off(words[1:])
        else:
            raise ConfigError("unknown fault: " + what)

    def set_command(self, words):
        if len(words) != 2:
            raise ConfigError("set model|sw|swinfo|hw|interface VALUE")
        what, val = words
        c = self.cfg
        if what == "model":
            c.model_id = _int_byte(int(val, 0), "model")
        elif what == "sw":
            c.sw_hi, c.sw_lo = parse_sw_version(val)
        elif what == "swinfo":
            c.sw_info = _int_byte(int(val, 0), "swinfo")
        elif what == "hw":
            c.hw_version = _int_byte(int(val, 0), "hw")
        elif what == "interface":
            c.interface_type = _int_byte(int(val, 0), "interface")
        else:
            raise ConfigError("unknown setting: " + what)


# ---------------------------------------------------------------------------
# Scenario and program

SCENARIO_KEYS = ["modem", "calls", "steps", "start", "exit_when_done"]


class Scenario:
    def __init__(self, d):
        check_keys(d, SCENARIO_KEYS, "scenario")
        self.modem = d.get("modem", {})
        ModemConfig(self.modem)  # refuse mistakes at load time
        self.calls = [CallScript(c, "calls[%d]" % i) for i, c in enumerate(d.get("calls", []))]
        self.steps = []
        for i, s in enumerate(d.get("steps", [])):
            check_keys(s, ["do"] + ms_keys("at"), "steps[%d]" % i)
            if "do" not in s:
                raise ConfigError("steps[%d]: missing \"do\"" % i)
            self.steps.append((get_ms(s, "at", 0.0), s["do"]))
        self.start = d.get("start", "after_ident")
        if self.start not in ("after_ident", "immediately"):
            raise ConfigError("start must be after_ident or immediately")
        self.exit_when_done = bool(d.get("exit_when_done", False))


def load_scenario(text):
    """A file name, or inline JSON when the text starts with "{"."""
    return Scenario(simcommon.load_json(text))


class Simulator(simcommon.PtySimulator):
    # Timers that are due run after the input of each pass.
    timers_before_wait = False

    def __init__(self, args):
        super().__init__(args)
        self.done_reported = False
        scen = load_scenario(args.scenario) if args.scenario else Scenario({})
        cfg_d = dict(scen.modem)
        for key, val in (("model_id", args.model), ("sw_version", args.sw),
                         ("interface_type", args.interface), ("signal", args.signal)):
            if val is not None:
                cfg_d[key] = val
        if args.no_line:
            cfg_d["line"] = False
        self.cfg = ModemConfig(cfg_d)
        self.scenario = scen
        self.open_pty(args.link)
        self.modem = Modem(self.cfg, self.out, self.sched, self.write)
        self.modem.on_idle = self.on_idle

    def on_idle(self):
        # Once: the scenario's calls have all ended (or, without calls, its
        # last step has run).
        if self.done_reported or self.modem.pending_calls:
            return
        if not self.scenario.calls and not self.scenario.exit_when_done:
            return
        self.done_reported = True
        self.out.event("DONE")
        if self.scenario.exit_when_done:
            self.stopping = True

    def before_ready(self):
        scen = self.scenario
        self.modem.calls_gate_open = scen.start == "immediately" or not scen.calls
        for script in scen.calls:
            self.modem.add_call(script)
        self.schedule_steps(scen.steps)
        if not scen.calls and scen.exit_when_done:
            self.sched.after(max([at for at, _ in scen.steps] + [0.0]) + 100.0, self.on_idle)


def parse_args(argv):
    p = argparse.ArgumentParser(
        description="Telephone-modem simulator: answers the station's modem link on a pseudo-terminal.")
    simcommon.add_common_options(p, "COM1", "also print every frame (RX/TX) and status change")
    p.add_argument("--model", type=int, help="model id of the identification (default 12)")
    p.add_argument("--sw", help="software version HH.LL of the identification (default 01.50)")
    p.add_argument("--interface", type=int, help="interface type (1 line, 2 GSM; default 1)")
    p.add_argument("--signal", type=int, help="signal value carried by poll answers")
    p.add_argument("--no-line", action="store_true", help="start without the telephone line")
    return p.parse_args(argv)


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    return simcommon.run_main("modemsim", Simulator, args)


if __name__ == "__main__":
    sys.exit(main())
