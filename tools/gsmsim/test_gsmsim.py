#!/usr/bin/env python3
"""Self-tests of the GSM-modem simulator: python3 -m unittest (in this folder)."""

import glob
import io
import os
import select
import signal
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.dirname(HERE))
import gsmsim  # noqa: E402
import simtest  # noqa: E402

SIM = os.path.join(HERE, "gsmsim.py")


class AlphabetTest(unittest.TestCase):
    PAIRS = [
        ("@", b"\x00"), ("£", b"\x01"), ("$", b"\x02"), ("¥", b"\x03"), ("è", b"\x04"),
        ("é", b"\x05"), ("ù", b"\x06"), ("ì", b"\x07"), ("ò", b"\x08"), ("Ç", b"\x09"),
        ("\n", b"\x0a"), ("Ø", b"\x0b"), ("\r", b"\x0d"), ("Å", b"\x0e"), ("å", b"\x0f"),
        ("Δ", b"\x10"), ("_", b"\x11"), ("Ξ", b"\x1a"), ("Æ", b"\x1c"), ("ß", b"\x1e"),
        ("É", b"\x1f"), ("¤", b"\x24"), ("¡", b"\x40"), ("Ä", b"\x5b"), ("Ö", b"\x5c"),
        ("Ñ", b"\x5d"), ("Ü", b"\x5e"), ("§", b"\x5f"), ("¿", b"\x60"), ("ä", b"\x7b"),
        ("ö", b"\x7c"), ("ñ", b"\x7d"), ("ü", b"\x7e"), ("à", b"\x7f"), ("A", b"A"),
        ("z", b"z"), ("?", b"?"),
        ("\f", b"\x1b\x0a"), ("^", b"\x1b\x14"), ("{", b"\x1b\x28"), ("}", b"\x1b\x29"),
        ("\\", b"\x1b\x2f"), ("[", b"\x1b\x3c"), ("~", b"\x1b\x3d"), ("]", b"\x1b\x3e"),
        ("|", b"\x1b\x40"), ("€", b"\x1b\x65"),
    ]

    def test_characters_and_codes_both_ways(self):
        for ch, code in self.PAIRS:
            with self.subTest(ch=ch):
                self.assertEqual(gsmsim.gsm_encode(ch), code)
                self.assertEqual(gsmsim.gsm_decode(code), ch)

    def test_every_code_survives_a_round_trip(self):
        for code in range(128):
            if code == 0x1B:
                continue
            self.assertEqual(gsmsim.gsm_encode(gsmsim.gsm_decode(bytes([code]))), bytes([code]))

    def test_outside_the_alphabet(self):
        self.assertEqual(gsmsim.gsm_encode("`a\u4e2d"), b"?a?")
        # Unknown escaped code: the basic character; bytes above 127 are no septets.
        self.assertEqual(gsmsim.gsm_decode(b"\x1bA\x1b"), "A ")
        self.assertEqual(gsmsim.gsm_decode(b"a\x80"), "a\ufffd")
        self.assertEqual(gsmsim.gsm_septets("a€"), 3)


class FakeClock:
    def __init__(self):
        self.now = 1000.0

    def __call__(self):
        return self.now


class ModemTest(unittest.TestCase):
    """The modem without a pty: bytes in, bytes and events out, fake time."""

    def make(self, **cfg):
        self.clock = FakeClock()
        self.events = io.StringIO()
        self.sched = gsmsim.Scheduler(self.clock)
        self.tx = bytearray()
        self.modem = gsmsim.Modem(gsmsim.ModemConfig(cfg), gsmsim.Output(self.events),
                                  self.sched, self.tx.extend)
        return self.modem

    def setUp(self):
        self.make()

    def at(self, data):
        """Feeds bytes and returns what the modem answered at once."""
        self.tx.clear()
        self.modem.feed(data if isinstance(data, bytes) else data.encode("latin-1"))
        return bytes(self.tx)

    def advance(self, seconds):
        self.tx.clear()
        self.clock.now += seconds
        self.sched.run_due()
        return bytes(self.tx)

    def lines(self):
        return self.events.getvalue().splitlines()

    def station_init(self, model=None):
        if model:
            self.modem.command("model " + model)
        self.at("ATE0\r\n")
        for cmd in ("AT+CMGF=1", 'AT+CSCS="GSM"', "AT+CSDH=1"):
            self.assertEqual(self.at(cmd + "\r\n"), b"\r\nOK\r\n")

    def test_echo_follows_ate(self):
        self.assertEqual(self.at("AT\r\n"), b"AT\r\r\nOK\r\n\n")
        self.assertEqual(self.at("ATE0\r\n"), b"ATE0\r\r\nOK\r\n")
        self.assertEqual(self.at("AT\r\n"), b"\r\nOK\r\n")
        self.assertEqual(self.at("ATE1\r"), b"\r\nOK\r\n")
        self.assertEqual(self.at("AT\r"), b"AT\r\r\nOK\r\n")

    def test_answers_of_the_station_commands(self):
        cases = [
            ("SIEMENS TC35", "AT+CGMM", b"\r\nSIEMENS TC35\r\n\r\nOK\r\n"),
            ("LE910-EU1", "AT+CGMM", b"\r\nLE910-EU1\r\n\r\nOK\r\n"),
            ("TC65", "AT+CPIN?", b"\r\n+CPIN: READY\r\n\r\nOK\r\n"),
            ("TC65", "AT+CMGF=1", b"\r\nOK\r\n"),
            ("TC65", 'AT+CSCS="GSM"', b"\r\nOK\r\n"),
            ("TC65", "AT+CPMS=MT,MT,MT", b"\r\n+CPMS: 0,25,0,25,0,25\r\n\r\nOK\r\n"),
            ("LE910-EU1", 'AT+CPMS="ME","ME","ME"', b"\r\n+CPMS: 0,25,0,25,0,25\r\n\r\nOK\r\n"),
            ("TC65", "AT+CSDH=1", b"\r\nOK\r\n"),
            ("LE910-EU1", "AT+WS46=30", b"\r\nOK\r\n"),
            ("LE910-EU1", "AT+WS46=7", b"\r\nERROR\r\n"),
            ("GL865", "AT+CREG?", b"\r\n+CREG: 0,1\r\n\r\nOK\r\n"),
            ("GL865", "AT+CSQ", b"\r\n+CSQ: 20,99\r\n\r\nOK\r\n"),
            ("GL865", "AT+CLCC", b"\r\nOK\r\n"),
            ("GL865", 'AT+CMGL="ALL"', b"\r\nOK\r\n"),
            ("GL865", "AT+CMGF=1;+CSDH=1", b"\r\nOK\r\n"),
            ("GL865", "AT+NOPE", b"\r\nERROR\r\n"),
            ("GL865", "AT+CMGF=2", b"\r\nERROR\r\n"),
        ]
        for model, cmd, answer in cases:
            with self.subTest(cmd=cmd, model=model):
                self.make()
                self.station_init(model)
                self.assertEqual(self.at(cmd + "\r\n"), answer)
                if cmd == "AT+WS46=30":
                    self.assertEqual(self.lines(), ["WS46 30"])

    def test_power_on_defaults_need_the_settings(self):
        # PDU mode until AT+CMGF=1: a station that forgets it gets ERROR.
        self.at("ATE0\r")
        self.assertEqual(self.at('AT+CMGL="ALL"\r'), b"\r\nERROR\r\n")
        self.assertEqual(self.at("AT+CMEE=1;+CMGS=\"1\"\r"), b"\r\n+CMS ERROR: 303\r\n")

    def test_pin_states(self):
        # (state, PIN sent, answer to the query before, answer to the PIN, query after, event)
        cases = [
            ("required", "1234", b"SIM PIN", b"\r\nOK\r\n", b"READY", "PIN-ACCEPTED 1234"),
            ("required", "9999", b"SIM PIN", b"\r\nERROR\r\n", b"SIM PIN", "PIN-REJECTED 9999"),
            ("rejected", "1234", b"SIM PIN", b"\r\nERROR\r\n", b"SIM PIN", "PIN-REJECTED 1234"),
            ("ready", "1234", b"READY", b"\r\nERROR\r\n", b"READY", "PIN-REJECTED 1234"),
            ("puk", "1234", b"SIM PUK", b"\r\nERROR\r\n", b"SIM PUK", "PIN-REJECTED 1234"),
        ]
        for state, pin, before, answer, after, event in cases:
            with self.subTest(state=state, pin=pin):
                self.make(pin_state=state, echo=False)
                self.assertEqual(self.at("AT+CPIN?\r"), b"\r\n+CPIN: " + before + b"\r\n\r\nOK\r\n")
                self.assertEqual(self.at('AT+CPIN="%s"\r' % pin), answer)
                self.assertEqual(self.at("AT+CPIN?\r"), b"\r\n+CPIN: " + after + b"\r\n\r\nOK\r\n")
                self.assertEqual(self.lines(), [event])

    def test_locked_sim_refuses_sms_and_blocks_after_three_wrong_pins(self):
        self.make(pin_state="required", echo=False)
        self.assertEqual(self.at("AT+CMGF=1\r"), b"\r\nOK\r\n")
        self.assertEqual(self.at("AT+CPMS=MT,MT,MT\r"), b"\r\nERROR\r\n")
        self.assertEqual(self.at("AT+CREG?\r"), b"\r\n+CREG: 0,0\r\n\r\nOK\r\n")
        for _ in range(3):
            self.at('AT+CPIN="0000"\r')
        self.assertEqual(self.lines()[-1], "PIN-BLOCKED")
        self.assertEqual(self.at('AT+CPIN="1234"\r'), b"\r\nERROR\r\n")

    def test_registration_and_signal_follow_control(self):
        self.at("ATE0\r")
        for reg, rssi in (("0", "0"), ("roaming", "99"), ("2", "31")):
            self.modem.command("reg " + reg)
            self.modem.command("rssi " + rssi)
            self.assertEqual(self.at("AT+CREG?;+CSQ\r"), b"\r\n+CREG: 0,%d\r\n\r\n+CSQ: %s,99\r\n\r\nOK\r\n" % (
                gsmsim.parse_reg(reg), rssi.encode()))
        # Registration reports once the station asks for them.
        self.at("AT+CREG=1\r")
        self.tx.clear()
        self.modem.command("reg home")
        self.assertEqual(bytes(self.tx), b"\r\n+CREG: 1\r\n")

    def test_listing_with_headers_and_a_text_with_a_carriage_return(self):
        self.station_init()
        self.modem.command('sms {"number": "+4917012345", "text": "Lift\\r4 €!", '
                           '"timestamp": "24/03/05,14:22:10+04", "index": 3}')
        self.modem.command('sms {"number": "0301234", "text": "read", "status": "REC READ",'
                           ' "timestamp": "24/03/05,14:22:11+04"}')
        self.modem.command('sms {"number": "0307777", "text": "draft", "status": "STO UNSENT"}')
        listing = self.at('AT+CMGL="ALL"\r\n')
        self.assertEqual(listing,
                         b'\r\n+CMGL: 1,"REC READ","0301234",,"24/03/05,14:22:11+04",129,4\r\nread'
                         b'\r\n+CMGL: 2,"STO UNSENT","0307777",,129,5\r\ndraft'
                         b'\r\n+CMGL: 3,"REC UNREAD","+4917012345",,"24/03/05,14:22:10+04",145,10\r\n'
                         b'Lift\r4 \x1be!\r\n\r\nOK\r\n')
        # Listing marks the message read; the unread filter finds nothing more.
        self.assertEqual(self.at('AT+CMGL="REC UNREAD"\r\n'), b"\r\nOK\r\n")
        self.assertTrue(self.at("AT+CSDH=0;+CMGL=\"REC READ\"\r\n").startswith(
            b'\r\n+CMGL: 1,"REC READ","0301234",,"24/03/05,14:22:11+04"\r\nread\r\n'))
        self.assertEqual(self.at("AT+CMGR=3\r\n"),
                         b'\r\n+CMGR: "REC READ","+4917012345",,"24/03/05,14:22:10+04"\r\n'
                         b'Lift\r4 \x1be!\r\n\r\nOK\r\n')
        self.assertEqual(self.lines()[:1], ['SMS-STORED 3 +4917012345 "Lift\\r4 €!"'])

    def test_delete_by_index(self):
        self.station_init()
        self.modem.command("sms +491 one")
        self.modem.command("sms +492 two")
        self.assertEqual(self.at("AT+CMGD=1\r\n"), b"\r\nOK\r\n")
        self.assertEqual(self.at("AT+CMGD=1\r\n"), b"\r\nOK\r\n")
        self.assertEqual(self.at("AT+CMGD=99\r\n"), b"\r\nERROR\r\n")
        self.assertEqual(self.at('AT+CMGL="ALL"\r\n')[:19], b'\r\n+CMGL: 2,"REC UNR')
        self.assertEqual(self.lines()[2:], ["SMS-DELETED 1", "SMS-DELETE-EMPTY 1"])

    def send(self, number, text_bytes):
        """One send as the station does it; returns the final answer."""
        self.assertEqual(self.at('AT+CMGS="%s"\r\n' % number), b"\r\n> ")
        self.assertEqual(self.at(text_bytes + b"\x1a"), b"")
        return self.advance(1.0)

    def test_send_records_the_decoded_text(self):
        self.station_init()
        answer = self.send("+4917055", b"Lift 7\nfloor 2: \x1b\x65 \x1b\x3c\x02\x00?\x7b")
        self.assertEqual(answer, b"\r\n+CMGS: 1\r\n\r\nOK\r\n")
        self.assertEqual(self.send("0170 5", b"x"), b"\r\n+CMGS: 2\r\n\r\nOK\r\n")
        self.assertEqual(self.lines(), ['SMS-SENT +4917055 "Lift 7\\nfloor 2: € [$@?ä"',
                                        'SMS-SENT "0170 5" "x"'])
        self.assertEqual(self.modem.sent[0][0], "+4917055")

    def test_send_failures(self):
        # (control before, registration, text length, answer, event start)
        cases = [
            ("fail 1", "home", 5, b"\r\nERROR\r\n", "SMS-FAILED +49 forced"),
            ("fail 1 cms", "home", 5, b"\r\n+CMS ERROR: 500\r\n", "SMS-FAILED +49 forced"),
            ("fail 0", "searching", 5, b"\r\nERROR\r\n", "SMS-FAILED +49 no-network"),
            ("fail 0", "roaming", 160, b"\r\n+CMGS: 1\r\n\r\nOK\r\n", "SMS-SENT +49"),
            ("fail 0", "home", 161, b"\r\nERROR\r\n", "SMS-FAILED +49 too-long"),
        ]
        for control, reg, length, answer, event in cases:
            with self.subTest(control=control, reg=reg, length=length):
                self.make()
                self.station_init()
                self.modem.command(control)
                self.modem.command("reg " + reg)
                self.assertEqual(self.send("+49", b"a" * length), answer)
                self.assertTrue(self.lines()[-1].startswith(event), self.lines())

    def test_failures_run_out_then_sends_succeed(self):
        self.station_init()
        self.modem.command("fail 2")
        answers = [self.send("+49", b"t") for _ in range(3)]
        self.assertEqual(answers, [b"\r\nERROR\r\n"] * 2 + [b"\r\n+CMGS: 1\r\n\r\nOK\r\n"])

    def test_escape_cancels_unless_it_starts_an_extension_character(self):
        self.station_init()
        self.at('AT+CMGS="+49"\r\n')
        self.assertEqual(self.at(b"abc\x1bAT+CSQ\r\n"), b"\r\nOK\r\n\r\n+CSQ: 20,99\r\n\r\nOK\r\n")
        self.assertEqual(self.lines(), ["SMS-CANCELLED +49"])
        # An escape with nothing after it cancels after a short pause.
        self.at('AT+CMGS="+49"\r\n')
        self.at(b"abc\x1b")
        self.assertEqual(self.advance(0.2), b"\r\nOK\r\n")
        self.assertEqual(self.at("AT\r\n"), b"\r\nOK\r\n")
        # A stricter modem cancels on every escape, extension or not.
        self.make(text_escape="cancel")
        self.station_init()
        self.at('AT+CMGS="+49"\r\n')
        self.assertEqual(self.at(b"\x1b\x65\x1a"), b"\r\nOK\r\n")
        self.assertEqual(self.lines(), ["SMS-CANCELLED +49"])

    def test_commands_and_reports_during_a_send_wait_for_its_answer(self):
        self.station_init()
        self.at("AT+CREG=1\r\n")
        self.at('AT+CMGS="+49"\r\n')
        self.tx.clear()
        self.modem.command("ring +4930 20")
        self.modem.command("reg roaming")
        self.assertEqual(bytes(self.tx), b"")
        self.assertEqual(self.at(b"hi\x1aAT+CSQ\r\n"), b"")
        self.assertEqual(self.advance(1.0), b"\r\n+CMGS: 1\r\n\r\nOK\r\n\r\n+CREG: 5\r\n"
                                            b"\r\n+CSQ: 20,99\r\n\r\nOK\r\n")
        self.assertEqual(self.advance(3.0), b"\r\nRING\r\n")

    def test_ring_with_caller_number(self):
        self.make(ring_interval_ms=3000)
        self.station_init()
        self.tx.clear()
        self.modem.command("ring +4930123 7")
        self.assertEqual(bytes(self.tx), b"\r\nRING\r\n")
        clcc = self.at("AT+CLCC\r\n")
        self.assertEqual(clcc, b'\r\n+CLCC: 1,1,4,0,0,"+4930123",145\r\n\r\nOK\r\n')
        # The number starts at the same place in every report of a single call.
        self.assertEqual(clcc[2 + 17:2 + 18], b'"')
        self.assertEqual(self.advance(3.0), b"\r\nRING\r\n")
        self.assertEqual(self.advance(3.0), b"\r\nRING\r\n")
        self.assertEqual(self.advance(1.0), b"")
        self.assertEqual(self.at("AT+CLCC\r\n"), b"\r\nOK\r\n")
        self.assertEqual(self.lines(), ["RING +4930123", "CLCC +4930123", "RING +4930123",
                                        "RING +4930123", "CALL-END +4930123 timeout"])

    def test_withheld_number_clip_and_hang_up(self):
        self.station_init()
        self.at("AT+CLIP=1\r")
        self.tx.clear()
        self.modem.command("ring - 30")
        self.assertEqual(bytes(self.tx), b'\r\nRING\r\n\r\n+CLIP: "",128,,,,1\r\n')
        self.assertEqual(self.at("AT+CLCC\r"), b"\r\n+CLCC: 1,1,4,0,0\r\n\r\nOK\r\n")
        self.assertEqual(self.at("ATH\r"), b"\r\nOK\r\n")
        self.assertEqual(self.lines()[-1], "CALL-END - ath")
        self.assertEqual(self.advance(10.0), b"")

    def test_silent_modem_answers_nothing(self):
        self.station_init()
        self.modem.command("silent on")
        self.modem.command("ring +49 5")
        self.assertEqual(self.at("AT\r\n"), b"")
        self.modem.command("silent off")
        self.assertEqual(self.at("AT\r\n"), b"\r\nOK\r\n")
        self.modem.command("silent 2")
        self.assertEqual(self.at("AT\r\n"), b"")
        self.advance(2.5)
        self.assertIn("SILENT-END", self.lines())
        self.assertNotIn("RING +49", self.lines())
        self.assertEqual(self.at("AT\r\n"), b"\r\nOK\r\n")

    def test_garbled_answers(self):
        self.station_init()
        self.modem.command("garble 2")
        first = self.at("AT+CSQ\r\n")
        self.assertEqual(len(first), len(b"\r\n+CSQ: 20,99\r\n\r\nOK\r\n"))
        self.assertTrue(all(b >= 0x80 or b in (13, 10) for b in first), first)
        self.assertEqual(self.at("AT\r\n")[:2], b"\r\n")
        self.assertEqual(self.at("AT\r\n"), b"\r\nOK\r\n")
        self.modem.command("garble 1 cut")
        self.assertEqual(self.at("AT+CSQ\r\n"), b"\r\n+CSQ: 20")

    def test_model_and_raw_bytes_from_control(self):
        self.station_init()
        self.modem.command("model TC65 R3")
        self.assertEqual(self.at("AT+CGMM\r"), b"\r\nTC65 R3\r\n\r\nOK\r\n")
        self.tx.clear()
        self.modem.command('raw "\\r\\n+CMTI: \\"MT\\",1\\r\\n"')
        self.assertEqual(bytes(self.tx), b'\r\n+CMTI: "MT",1\r\n')

    def test_control_mistakes_are_refused(self):
        bad = ["nonsense", "pin maybe", "reg 6", "rssi 32", "ring", "fail x", "fail 1 loud",
               "garble -1", "silent", "echo maybe", "model", "sms", 'sms +49 "unterminated',
               'sms {"number": "1"}', 'sms {"number": "1", "text": "a", "status": "NEW"}',
               "delete 5", "hangup", 'raw 5']
        for line in bad:
            with self.subTest(line=line):
                with self.assertRaises((gsmsim.ConfigError, ValueError)):
                    self.modem.command(line)
        self.modem.command("ring +49 5")
        with self.assertRaises(gsmsim.ConfigError):
            self.modem.command("ring +48 5")

    def test_full_store(self):
        self.make(capacity=2)
        self.modem.command("sms 1 a")
        self.modem.command("sms 2 b")
        with self.assertRaises(gsmsim.ConfigError):
            self.modem.command("sms 3 c")


class RecoveryFaultsTest(unittest.TestCase):
    """Refused deletions and lost prompts: the faults a station must recover
    from without losing an alarm."""

    make = ModemTest.make
    setUp = ModemTest.setUp
    at = ModemTest.at
    advance = ModemTest.advance
    lines = ModemTest.lines
    station_init = ModemTest.station_init

    def test_refused_deletions_keep_the_sms(self):
        # (control, deletions tried in order, answers expected)
        cases = [
            ("refuse-delete 2", [1, 1, 1], [b"\r\nERROR\r\n"] * 2 + [b"\r\nOK\r\n"]),
            ("refuse-delete 1 cms", [1, 1], [b"\r\n+CMS ERROR: 500\r\n", b"\r\nOK\r\n"]),
            ("refuse-delete at 1", [1, 2, 1], [b"\r\nERROR\r\n", b"\r\nOK\r\n", b"\r\nERROR\r\n"]),
        ]
        for control, indexes, answers in cases:
            with self.subTest(control=control):
                self.make()
                self.station_init()
                self.modem.command("sms +491 one")
                self.modem.command("sms +492 two")
                self.modem.command(control)
                self.assertEqual([self.at("AT+CMGD=%d\r\n" % i) for i in indexes], answers)
                refused = [line for line in self.lines() if line.startswith("SMS-DELETE-REFUSED")]
                self.assertEqual(len(refused), answers.count(b"\r\nERROR\r\n") +
                                 answers.count(b"\r\n+CMS ERROR: 500\r\n"))
                self.assertEqual(self.modem.store.get(1) is not None, control == "refuse-delete at 1")
        self.modem.command("refuse-delete off")
        self.assertEqual(self.at("AT+CMGD=1\r\n"), b"\r\nOK\r\n")

    def test_lost_or_garbled_prompt_leaves_the_text_input_open_until_esc(self):
        for fault, event in (("lost", "PROMPT-LOST +49"), ("garbled", "PROMPT-GARBLED +49")):
            with self.subTest(fault=fault):
                self.make()
                self.station_init()
                self.modem.command("prompt " + fault)
                answer = self.at('AT+CMGS="+49"\r\n')
                self.assertNotIn(b">", answer)
                self.assertIn(event, self.lines())
                # Every command is text now, answered with a new prompt per line.
                self.assertEqual(self.at("AT\r\n"), b"\r\n> ")
                self.assertIn("mode=text", self.modem.state_line())
                # ESC ends the text input without sending; commands work again.
                self.at(b"\x1b")
                self.assertEqual(self.advance(0.5), b"\r\nOK\r\n")
                self.assertEqual(self.at("AT\r\n"), b"\r\nOK\r\n")
                self.assertIn("SMS-CANCELLED +49", self.lines())
                self.assertEqual(self.modem.sent, [])
                # The fault was for one prompt only.
                self.assertEqual(self.at('AT+CMGS="+49"\r\n'), b"\r\n> ")

    def test_late_prompt_comes_only_while_its_text_input_is_open(self):
        self.station_init()
        self.modem.command("prompt late 6 2")
        self.assertEqual(self.at('AT+CMGS="+49"\r\n'), b"")
        self.assertEqual(self.advance(6.0), b"\r\n> ")
        self.assertEqual(self.lines()[-2:], ["PROMPT-LATE +49 6", "PROMPT-SENT +49"])
        self.at(b"\x1b")
        self.advance(0.5)
        # Cancelled before its prompt: the prompt never comes.
        self.at('AT+CMGS="+49"\r\n')
        self.at(b"\x1b")
        self.assertEqual(self.advance(0.5), b"\r\nOK\r\n")
        self.assertEqual(self.advance(6.0), b"")
        self.assertEqual(self.at('AT+CMGS="+49"\r\n'), b"\r\n> ")

    def test_kill_after_cmgs_follows_the_answer_of_the_next_sms_sent(self):
        # (controls, reply delay in seconds, texts sent, the text whose answer
        #  brings the kill or None)
        cases = [
            # Armed: the first SMS that goes out brings the kill; once only.
            (["kill-after-cmgs 4242"], 0.0, ["one", "two"], "one"),
            # An SMS the modem refuses is no SMS sent: the next one brings it.
            (["fail 1", "kill-after-cmgs 4242"], 0.0, ["one", "two"], "two"),
            # Disarmed: nobody is killed.
            (["kill-after-cmgs 4242", "kill-after-cmgs off"], 0.0, ["one"], None),
            # With a reply delay the kill waits for the answer to leave.
            (["kill-after-cmgs 4242"], 0.3, ["one"], "one"),
        ]
        for controls, delay, texts, killer in cases:
            with self.subTest(controls=controls, delay=delay):
                self.make(reply_delay_ms=delay * 1000.0)
                # Everything that leaves the modem, and the kill, in order.
                record = []
                self.modem._write = lambda data: record.append(bytes(data))
                self.modem.kill = lambda pid, sig: record.append(("kill", pid, sig))
                for cmd in ("ATE0", "AT+CMGF=1"):
                    self.at(cmd + "\r\n")
                    self.advance(delay)
                for control in controls:
                    self.modem.command(control)
                answers = {}
                for text in texts:
                    self.at('AT+CMGS="+49"\r\n')
                    self.advance(delay)
                    self.at(text.encode() + b"\x1a")
                    before = len(record)
                    self.advance(0.2)
                    self.advance(delay)
                    answers[text] = record[before:]
                kill = ("kill", 4242, signal.SIGKILL)
                self.assertEqual(record.count(kill), 1 if killer else 0, record)
                if killer:
                    # The answer is out before the kill.
                    self.assertEqual(answers[killer][-1], kill)
                    self.assertIn(b"+CMGS: ", b"".join(answers[killer][:-1]))
                    self.assertIn("KILLED-AFTER-CMGS 4242", self.lines())
                    self.assertIsNone(self.modem.kill_pid)

    def test_kill_after_cmgs_that_cannot_kill_says_so(self):
        self.station_init()

        def refuse(pid, sig):
            raise ProcessLookupError(3, "No such process")

        self.modem.kill = refuse
        self.modem.command("kill-after-cmgs 4242")
        self.at('AT+CMGS="+49"\r\n')
        self.at(b"x\x1a")
        self.assertEqual(self.advance(0.2), b"\r\n+CMGS: 1\r\n\r\nOK\r\n")
        self.assertIn("KILL-FAILED 4242 No such process", self.lines())

    def test_fault_control_mistakes_are_refused(self):
        for line in ("refuse-delete", "refuse-delete x", "refuse-delete -1", "refuse-delete 1 loud",
                     "refuse-delete at", "refuse-delete off 2", "prompt", "prompt slow", "prompt late",
                     "prompt late 0", "prompt lost 0", "prompt lost 1 2", "kill-after-cmgs",
                     "kill-after-cmgs x", "kill-after-cmgs -5", "kill-after-cmgs 1", "kill-after-cmgs 42 43"):
            with self.subTest(line=line):
                with self.assertRaises((gsmsim.ConfigError, ValueError)):
                    self.modem.command(line)


class ScenarioFilesTest(unittest.TestCase):
    def test_every_example_scenario_loads(self):
        files = sorted(glob.glob(os.path.join(HERE, "scenarios", "*.json")))
        self.assertTrue(files)
        for path in files:
            with self.subTest(path=os.path.basename(path)):
                scen = gsmsim.load_scenario(path)
                cfg = gsmsim.ModemConfig(scen.modem)
                modem = gsmsim.Modem(cfg, gsmsim.Output(io.StringIO()), gsmsim.Scheduler(), lambda d: None)
                for _, cmd in scen.steps:
                    if cmd.strip().lower() not in ("quit", "exit"):
                        modem.command(cmd)

    def test_mistyped_keys_are_refused(self):
        for text in ('{"modme": {}}', '{"modem": {"pinstate": "ready"}}',
                     '{"sms": [{"number": "1", "txt": "a"}]}', '{"steps": [{"at": 1, "do": "x"}]}',
                     '{"modem": {"pin_state": "locked"}}'):
            with self.subTest(text=text):
                with self.assertRaises(gsmsim.ConfigError):
                    scen = gsmsim.load_scenario(text)
                    gsmsim.ModemConfig(scen.modem)


def Sim(*args):
    """The simulator as a process, with its event lines read on a thread."""
    return simtest.SimProcess(SIM, "COM2", args, prefix="gsmsim-")


class Station(simtest.LineEnd):
    """The station's end of the line: writes commands, collects answers."""

    def ask(self, data, until, timeout=20.0):
        os.write(self.fd, data)
        got = b""
        deadline = time.monotonic() + timeout
        while until not in got and time.monotonic() < deadline:
            r, _, _ = select.select([self.fd], [], [], 0.05)
            if r:
                got += os.read(self.fd, 4096)
        return got


class ProcessTest(unittest.TestCase):
    def test_session_over_the_pty(self):
        sim = Sim("--stdin", "--model", "LE910-EU1", "--scenario",
                  '{"modem": {"send_delay_ms": 10}, "sms": [{"number": "+4917012345", "text": "#TEST ok"}]}')
        try:
            self.assertTrue(os.path.islink(sim.link))
            sim.wait_for('SMS-STORED 1 +4917012345 "#TEST ok"')
            st = Station(sim.link)
            try:
                self.assertEqual(st.ask(b"ATE0\r\n", b"OK\r\n"), b"ATE0\r\r\nOK\r\n")
                self.assertEqual(st.ask(b"AT+CGMM\r\n", b"OK\r\n"), b"\r\nLE910-EU1\r\n\r\nOK\r\n")
                st.ask(b"AT+CMGF=1\r\n", b"OK\r\n")
                sim.command('sms +4930 "#P100:2B12345678101"')
                listing = st.ask(b'AT+CMGL="ALL"\r\n', b"\r\nOK\r\n")
                self.assertIn(b'+CMGL: 2,"REC UNREAD","+4930",,"', listing)
                self.assertIn(b"\r\n#P100:2B12345678101\r\n", listing)
                st.ask(b"AT+CMGD=1\r\n", b"OK\r\n")
                sim.wait_for("SMS-DELETED 1")
                self.assertEqual(st.ask(b'AT+CMGS="+4917099"\r\n', b"> "), b"\r\n> ")
                self.assertEqual(st.ask(b"Alarm \x1b\x65\x1a", b"OK\r\n"), b"\r\n+CMGS: 1\r\n\r\nOK\r\n")
                sim.wait_for('SMS-SENT +4917099 "Alarm €"')
                sim.command("ring +4930999 5")
                self.assertIn(b"RING", st.ask(b"", b"RING"))
                self.assertEqual(st.ask(b"AT+CLCC\r\n", b"OK\r\n"),
                                 b'\r\n+CLCC: 1,1,4,0,0,"+4930999",145\r\n\r\nOK\r\n')
            finally:
                st.close()
            sim.proc.stdin.close()
            sim.wait_for("BYE")
            self.assertEqual(sim.proc.wait(timeout=20), 0)
            self.assertFalse(os.path.lexists(sim.link))
        finally:
            sim.close()

    def test_ends_on_sigterm_and_removes_link(self):
        sim = Sim()
        try:
            sim.proc.send_signal(signal.SIGTERM)
            sim.wait_for("BYE")
            self.assertEqual(sim.proc.wait(timeout=20), 0)
            self.assertFalse(os.path.lexists(sim.link))
        finally:
            sim.close()

    def test_kill_after_cmgs_kills_the_process_once_the_answer_is_written(self):
        victim = subprocess.Popen(["sleep", "60"])
        sim = Sim("--stdin", "--scenario", '{"modem": {"send_delay_ms": 10}}')
        try:
            st = Station(sim.link)
            try:
                for cmd in (b"ATE0\r\n", b"AT+CMGF=1\r\n"):
                    st.ask(cmd, b"OK\r\n")
                sim.command("kill-after-cmgs %d" % victim.pid)
                self.assertEqual(st.ask(b'AT+CMGS="+4917099"\r\n', b"> "), b"\r\n> ")
                self.assertEqual(st.ask(b"Alarm\x1a", b"OK\r\n"), b"\r\n+CMGS: 1\r\n\r\nOK\r\n")
                sim.wait_for("SMS-SENT +4917099")
                sim.wait_for("KILLED-AFTER-CMGS %d" % victim.pid)
                self.assertEqual(victim.wait(timeout=20), -signal.SIGKILL)
            finally:
                st.close()
        finally:
            if victim.poll() is None:
                victim.kill()
                victim.wait()
            sim.close()

    def test_bad_scenario_is_refused_at_start(self):
        proc = subprocess.run([sys.executable, SIM, "--scenario", '{"modem": {"rssi": 40}}'],
                              capture_output=True, text=True, timeout=10)
        self.assertEqual(proc.returncode, 2)
        self.assertIn("rssi", proc.stderr)


if __name__ == "__main__":
    unittest.main()
