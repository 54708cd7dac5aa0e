"""Self-tests of the telephone-modem simulator.

Run from anywhere with:  python3 -m unittest discover -s tools/modemsim -v
The framing tests check the byte examples of the modem link; the session tests
start the simulator on a pseudo-terminal and play the station's side.
"""

import io
import json
import os
import select
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.dirname(HERE))
sys.dont_write_bytecode = True  # keep the source folder clean

import modemsim  # noqa: E402
import simtest  # noqa: E402

SIM = os.path.join(HERE, "modemsim.py")


class FramingTest(unittest.TestCase):
    # (command, body = status + payload, bytes on the wire)
    EXAMPLES = [
        ("poll", 0x81, [0x00], "81 01 00 7F"),
        ("acked poll", 0x81, [0x80], "81 01 80 FF"),
        ("seize", 0x82, [0x00, 0x01], "82 02 00 01 7E"),
        ("identify", 0x8A, [0x00], "8A 01 00 74"),
        ("relay 1 on", 0x90, [0x00, 0x01, 0x01], "90 03 00 01 01 6C"),
        ("answer, line only", 0x81, [0x10], "81 01 10 6F"),
        ("empty body", 0x81, [], "81 00 7E"),
    ]

    def test_examples_encode_and_decode(self):
        for name, cmd, body, wire in self.EXAMPLES:
            with self.subTest(name):
                raw = bytes.fromhex(wire)
                self.assertEqual(modemsim.encode_frame(cmd, body), raw)
                self.assertEqual(modemsim.decode_frame(raw), (cmd, bytes(body)))

    def test_command_without_bit7_has_two_body_bytes_and_no_length(self):
        raw = modemsim.encode_frame(0x05, [0x10, 0x22])
        self.assertEqual(raw, bytes([0x05, 0x10, 0x22, 0xFF ^ 0x05 ^ 0x10 ^ 0x22]))
        self.assertEqual(modemsim.decode_frame(raw), (0x05, bytes([0x10, 0x22])))

    def test_receiver_reports_bad_checksum_and_recovers(self):
        rx = modemsim.FrameReceiver()
        got = rx.feed(bytes.fromhex("81 01 00 7E 81 01 00 7F"), 0.0)
        self.assertEqual([r[0] for r in got], ["bad", "frame"])

    def test_receiver_drops_partial_frame_after_a_pause(self):
        rx = modemsim.FrameReceiver()
        self.assertEqual(rx.feed(bytes.fromhex("82 02 00"), 0.0), [])
        got = rx.feed(bytes.fromhex("81 01 00 7F"), 0.060)
        self.assertEqual([r[0] for r in got], ["discard", "frame"])
        self.assertEqual(got[1][1], 0x81)

    def test_receiver_keeps_a_frame_split_by_a_short_pause(self):
        rx = modemsim.FrameReceiver()
        self.assertEqual(rx.feed(bytes.fromhex("82 02"), 0.0), [])
        got = rx.feed(bytes.fromhex("00 01 7E"), 0.020)
        self.assertEqual(got, [("frame", 0x82, bytes([0, 1]), bytes.fromhex("82 02 00 01 7E"))])


class ScenarioFilesTest(unittest.TestCase):
    def test_every_example_scenario_loads(self):
        folder = os.path.join(HERE, "scenarios")
        names = sorted(n for n in os.listdir(folder) if n.endswith(".json"))
        self.assertTrue(names)
        for name in names:
            with self.subTest(name):
                scen = modemsim.load_scenario(os.path.join(folder, name))
                cfg = modemsim.ModemConfig(scen.modem)
                # Every step must be a command the modem accepts.
                modem = modemsim.Modem(cfg, modemsim.Output(io.StringIO()),
                                       modemsim.Scheduler(), lambda data: None)
                for _, step in scen.steps:
                    modem.command(step)

    def test_mistyped_keys_are_refused(self):
        for text in ['{"calls": [{"telephone": {"type": "cpc", "alarmcode": 10}}]}',
                     '{"modem": {"modelid": 12}}',
                     '{"calls": [{"ring": {"on": 100}}]}',
                     '{"calls": [{"telephone": {"type": "p100", "messages": [{"errors": ["late"]}]}}]}']:
            with self.subTest(text):
                with self.assertRaises(modemsim.ConfigError):
                    modemsim.load_scenario(text)


class Sim(simtest.SimProcess):
    """The simulator as a child process, with its event lines in a queue."""

    def __init__(self, scenario=None, extra=()):
        args = ["--stdin"] + list(extra)
        if scenario is not None:
            args += ["--scenario", json.dumps(scenario)]
        super().__init__(SIM, "COM1", args, prefix="modemsim-")


class Station(simtest.LineEnd):
    """The station's end of the serial line, reduced to what the tests need."""

    def __init__(self, path):
        super().__init__(path)
        self.rx = modemsim.FrameReceiver()
        self.ack_next = False

    def exchange(self, cmd, payload=b"", timeout=5.0):
        """Sends one frame; returns the answer (kind, command, body) or None."""
        status = 0x80 if self.ack_next else 0x00
        os.write(self.fd, modemsim.encode_frame(cmd, bytes([status]) + bytes(payload)))
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            r, _, _ = select.select([self.fd], [], [], 0.02)
            if r:
                for res in self.rx.feed(os.read(self.fd, 256)):
                    if res[0] in ("frame", "bad"):
                        kind, command, body = res[0], res[1], res[2]
                        if kind == "frame":
                            # Acknowledge every message frame on the next frame.
                            self.ack_next = command != 0x81
                        return kind, command, body
        return None

    def poll_until(self, pred, timeout=20.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            ans = self.exchange(0x81)
            if ans and ans[0] == "frame" and pred(ans[1], ans[2]):
                return ans
            time.sleep(0.02)
        raise AssertionError("condition not reached by polling")


class SessionTest(unittest.TestCase):
    def start(self, scenario=None, extra=()):
        sim = Sim(scenario, extra)
        self.addCleanup(sim.close)
        station = Station(sim.link)
        self.addCleanup(station.close)
        return sim, station

    def test_poll_identify_acknowledge_and_faults(self):
        sim, st = self.start()
        self.assertEqual(os.path.realpath(sim.link), sim.ready.split()[1])
        self.assertEqual(st.exchange(0x81), ("frame", 0x81, bytes([0x10])))

        # Identification: taken with TXACK and BUSY, delivered on a later poll,
        # repeated until the station acknowledges it.
        kind, cmd, body = st.exchange(0x8A)
        self.assertEqual(cmd, 0x81)
        self.assertEqual(body[0] & 0xC0, 0xC0)
        ans = st.poll_until(lambda c, b: c == 0x8D)
        self.assertEqual(ans[2][1:], bytes([0x01, 0x50, 0x00, 12, 1, 1]))
        st.ack_next = False  # pretend the answer was lost
        self.assertEqual(st.exchange(0x81)[1], 0x8D)
        sim.wait_for("RESEND 8D")
        self.assertEqual(st.exchange(0x81)[1], 0x81)  # carries the acknowledge
        sim.wait_for("ACK 8D")

        # A spoiled answer to a command: the station repeats it, the modem
        # answers again but does not run it twice.
        sim.command("fault checksum 1")
        self.assertEqual(st.exchange(0x90, b"\x01\x01")[0], "bad")
        self.assertEqual(st.exchange(0x90, b"\x01\x01")[2][0] & 0x80, 0x80)
        sim.wait_for("RELAY 1 1")
        sim.wait_for("RETRY 90")

        sim.command("fault silent 1")
        self.assertIsNone(st.exchange(0x81, timeout=0.3))
        sim.command("fault invalid 1")
        self.assertEqual(st.exchange(0x81)[1], 0x98)
        sim.command("signal 14")
        self.assertEqual(st.exchange(0x81)[2], bytes([0x10, 14]))

    def test_p100_call_with_caller_id(self):
        scenario = {"start": "immediately", "calls": [{
            "delay_ms": 0, "caller_id": "+46701234567",
            "ring": {"on_ms": 150, "off_ms": 150, "count": 5},
            "telephone": {"type": "p100", "message_delay_ms": 50, "report_gap_ms": 50,
                          "messages": [{"code": 1, "identity": "87654321", "errors": ["checksum"]}]}}]}
        sim, st = self.start(scenario)
        ans = st.poll_until(lambda c, b: len(b) > 2 and b[1] == 0)
        self.assertEqual(ans[2][2:], b'"+46701234567"')
        self.assertTrue(ans[2][0] & 0x20)  # ringing
        st.poll_until(lambda c, b: not b[0] & 0x20)
        self.assertEqual(st.exchange(0x82, b"\x01")[2][0] & 0x84, 0x84)
        sim.wait_for("CALL answered")
        st.poll_until(lambda c, b: b[0] & 0x04 and not b[0] & 0x40)

        self.assertTrue(st.exchange(0x87, b"\x01")[2][0] & 0x40)  # busy
        report = st.poll_until(lambda c, b: c != 0x81)
        self.assertEqual(report[1], 0x8A)  # checksum error, modem retries
        msg = st.poll_until(lambda c, b: c != 0x81)
        self.assertEqual(msg[1], 0x86)
        self.assertEqual(list(msg[2][1:]), [1, 8, 8, 7, 6, 5, 4, 3, 2, 1])

        st.exchange(0x84, b"\x0f")
        sim.wait_for("HANGUP P100")
        st.poll_until(lambda c, b: not b[0] & 0x40)
        st.exchange(0x82, b"\x00")
        sim.wait_for("CALL end 1")

    def test_cpc_call(self):
        scenario = {"start": "immediately", "modem": {"cpc_timeout_ms": 100}, "calls": [{
            "delay_ms": 0, "ring": {"on_ms": 100, "off_ms": 100},
            "telephone": {"type": "cpc", "model_code": 3, "alarm_code": 17,
                          "identity": "123456", "answer_delay_ms": 30}}]}
        sim, st = self.start(scenario)
        st.poll_until(lambda c, b: b[0] & 0x20)
        st.exchange(0x82, b"\x01")
        sim.wait_for("CALL answered")
        for request, answer in [([0, 2, 1], [0, 2, 3]),
                                ([0, 3], [0, 4, 1, 7, 1, 2, 3, 4, 5, 6]),
                                ([0, 5, 2], [0, 1, 1]),
                                ([0, 6, 0, 1], [0, 1, 1])]:
            with self.subTest(request=request):
                st.poll_until(lambda c, b: not b[0] & 0x40)
                st.exchange(0x8F, bytes(request))
                got = st.poll_until(lambda c, b: c != 0x81)
                self.assertEqual((got[1], list(got[2][1:])), (0x8E, answer))
        sim.wait_for("ALARM-ACKED OTHER")
        sim.wait_for("HANGUP CPC")
        # The telephone has hung up: a further request times out in the modem.
        st.poll_until(lambda c, b: not b[0] & 0x40)
        st.exchange(0x8F, bytes([0, 2, 1]))
        self.assertEqual(st.poll_until(lambda c, b: c != 0x81)[1], 0x90)

    def test_ends_on_sigterm_and_removes_link(self):
        sim = Sim()
        self.addCleanup(sim.close)
        self.assertTrue(os.path.islink(sim.link))
        sim.proc.terminate()
        self.assertEqual(sim.proc.wait(timeout=20), 0)
        self.assertFalse(os.path.lexists(sim.link))


if __name__ == "__main__":
    unittest.main()
