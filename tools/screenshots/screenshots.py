#!/usr/bin/python3
"""Runs the demo with windows on the current display, takes pictures and checks them.

For each language the demo station starts with simulated modems that bring a
P100 alarm, an SMS alarm and a ringing voice call at once. When all three
dialogs are open (the station's event lines tell), the script

  * reads the station's own description of its windows (the station writes it
    when ORVA_WINDOW_PROBE names a file) and the window manager's stacking
    order (_NET_CLIENT_LIST_STACKING and the windows' geometry on the display),
  * writes pictures of the whole screen, the main window and each alarm dialog,
  * opens the system information panel through the main window's menu with the
    keyboard, as an operator would, and takes its picture too,

and checks that no window shows the missing-text marker "*NA*", that every
alarm dialog can be seen (not wholly covered by other windows) and that no
list column cuts a title or a text short.

Every failed check is one line naming the language, the window and the text.
Exit status 0 when every check passed (or --no-check), 1 when one failed or
the alarms did not come, 2 for a wrong set-up (no display, programs missing).

Needs a window manager on the display; --start-wm starts openbox.
take-screenshots.sh runs the whole thing on a virtual display.
"""

import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import xml.etree.ElementTree as ElementTree

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
PYTHON = "/usr/bin/python3"
LANGUAGES = ("en", "de", "fr", "se")
MISSING = "*NA*"
# A dialog counts as seen when at least this share of its inside (without the
# window manager's frame) is on top: a cascade step of 20 pixels leaves about
# 6 % of a 640 x 560 dialog; a dialog that shows only its frame's edge, 0 %.
MIN_VISIBLE = 0.02


def say(text):
    print("[screenshots] " + text, flush=True)


# ---------------------------------------------------------------------------
# The display: window manager, stacking order and geometry


def run(command, timeout=10):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                          timeout=timeout).stdout


def window_manager_running():
    try:
        return "window id #" in run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"])
    except subprocess.TimeoutExpired:
        return False


def start_window_manager():
    """Starts openbox and waits until it manages the display. On a loaded
    machine it may take a while or die on its first start: it is started
    again, and what it said is shown when it never comes up."""
    if window_manager_running():
        return None
    log = tempfile.TemporaryFile(mode="w+")
    for attempt in range(3):
        process = subprocess.Popen(["openbox", "--sm-disable"], stdin=subprocess.DEVNULL,
                                   stdout=log, stderr=log)
        deadline = time.monotonic() + 40
        while time.monotonic() < deadline and process.poll() is None:
            if window_manager_running():
                return process
            time.sleep(0.1)
        if process.poll() is None:
            process.kill()
            process.wait()
        say("openbox did not come up (attempt %d, exit %s)" % (attempt + 1, process.returncode))
    log.seek(0)
    print(log.read(), flush=True)
    raise SystemExit("screenshots: openbox did not start")


def stacking():
    """The managed windows' ids, bottom first."""
    text = run(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"])
    return [int(x, 16) for x in re.findall(r"0x[0-9a-fA-F]+", text)]


def screen_size():
    text = run(["xwininfo", "-root"])
    width = re.search(r"Width: (\d+)", text)
    height = re.search(r"Height: (\d+)", text)
    return int(width.group(1)), int(height.group(1))


def outer_rect(window_id):
    """(x, y, width, height) of the window with its frame, None when not viewable."""
    info = run(["xwininfo", "-id", hex(window_id)])
    if "IsViewable" not in info:
        return None
    values = {}
    for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
        m = re.search(re.escape(key) + r":\s+(-?\d+)", info)
        if not m:
            return None
        values[key] = int(m.group(1))
    left = right = top = bottom = 0
    extents = run(["xprop", "-id", hex(window_id), "_NET_FRAME_EXTENTS"])
    m = re.search(r"=\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+)", extents)
    if m:
        left, right, top, bottom = (int(g) for g in m.groups())
    return (values["Absolute upper-left X"] - left, values["Absolute upper-left Y"] - top,
            values["Width"] + left + right, values["Height"] + top + bottom)


def client_rect(window_id):
    info = run(["xwininfo", "-id", hex(window_id)])
    values = []
    for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
        m = re.search(re.escape(key) + r":\s+(-?\d+)", info)
        if not m:
            return None
        values.append(int(m.group(1)))
    return tuple(values)


def visible_share(window_id, order, screen):
    """The share of the window's inside that no window above it covers, sampled on a grid."""
    rect = client_rect(window_id)
    if rect is None or window_id not in order:
        return 0.0, []
    above = order[order.index(window_id) + 1:]
    covers = []
    for other in above:
        r = outer_rect(other)
        if r is not None:
            covers.append((other, r))
    x0, y0, w, h = rect
    step = 4
    total = seen = 0
    covered_by = set(other for other, (cx, cy, cw, ch) in covers
                     if cx < x0 + w and x0 < cx + cw and cy < y0 + h and y0 < cy + ch)
    for y in range(y0, y0 + h, step):
        for x in range(x0, x0 + w, step):
            total += 1
            if not (0 <= x < screen[0] and 0 <= y < screen[1]):
                continue
            hidden = False
            for other, (cx, cy, cw, ch) in covers:
                if cx <= x < cx + cw and cy <= y < cy + ch:
                    hidden = True
                    break
            if not hidden:
                seen += 1
    return (seen / total if total else 0.0), sorted(covered_by)


# ---------------------------------------------------------------------------
# The dictionary: the menu item that opens the system information panel


def dictionary_text(key, language):
    tree = ElementTree.parse(os.path.join(SOURCE, "resources", "dictionary.xml"))
    for tag in tree.getroot().iter("tag"):
        if tag.get("name") == key:
            for entry in tag.iter("entry"):
                if entry.get("lang") == language:
                    return entry.text or ""
    return ""


def mnemonic(text):
    m = re.search(r"&([^&])", text.replace("&&", ""))
    return m.group(1).lower() if m else None


# ---------------------------------------------------------------------------
# The station's description of its windows


class Probe:
    def __init__(self, path):
        self.path = path

    def read(self, newer_than=0.0, timeout=10):
        """The description written after newer_than (a time.time())."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                if os.path.getmtime(self.path) > newer_than:
                    with open(self.path, encoding="utf-8") as f:
                        return json.load(f)
            except (OSError, ValueError):
                pass
            time.sleep(0.1)
        raise RuntimeError("the station wrote no description of its windows to %s" % self.path)

    def pictures(self, folder, timeout=20):
        """Has the station draw each visible window into folder as <hex id>.png."""
        request = self.path + ".grab"
        with open(request + ".part", "w", encoding="utf-8") as f:
            f.write(folder)
        os.replace(request + ".part", request)
        deadline = time.monotonic() + timeout
        while os.path.exists(request):
            if time.monotonic() > deadline:
                raise RuntimeError("the station drew no pictures of its windows")
            time.sleep(0.1)

    @staticmethod
    def take(folder, window, path):
        """Moves the picture of the window drawn by pictures() to path."""
        source = os.path.join(folder, "%x.png" % window["winId"])
        if not os.path.exists(source):
            say("no picture of %s" % window_name(window))
            return False
        os.replace(source, path)
        return True


def window_name(window):
    """The title and the first texts of its fields, which tell the alarm of a dialog:
    "Alarm" [SMS | +46705550101 | Harbour office, goods lift]."""
    fields = [t["text"] for t in window["texts"] if t["kind"] == "field"][:3]
    name = '"%s"' % window["title"]
    if fields:
        name += " [%s]" % " | ".join(fields)
    return name


def is_alarm_dialog(window, alarm_title):
    return window["visible"] and window["title"] == alarm_title and window["class"] != "QMainWindow"


def check_texts(language, window, failures):
    for t in window["texts"]:
        if MISSING in t["text"]:
            failures.append("[%s] %s shows %s in %s %s: %r" % (
                language, window_name(window), MISSING, t["kind"], t["widget"], t["text"]))


def check_columns(language, window, failures):
    for lst in window["lists"]:
        for column in lst["columns"]:
            if column["titleCut"]:
                failures.append("[%s] %s: the title of column %d %r is cut: %d px wide, needs %d (%s)" % (
                    language, window_name(window), column["column"], column["title"], column["width"],
                    column["titleNeeds"], lst["widget"]))
            for cell in column["cut"]:
                failures.append("[%s] %s: column %d %r cuts row %d %r: %d px of room, needs %d (%s)" % (
                    language, window_name(window), column["column"], column["title"], cell["row"],
                    cell["text"], column["room"], cell["needs"], lst["widget"]))


# ---------------------------------------------------------------------------


class Station:
    """The demo with this script's scenarios, in one language."""

    def __init__(self, build, language, data, probe_path, timeout):
        self.timeout = timeout
        self.lines = []
        self.seen = threading.Condition()
        env = dict(os.environ)
        env["ORVA_WINDOW_PROBE"] = probe_path
        # No sound server: the station must say that the alert cannot be heard.
        env["PULSE_SERVER"] = "unix:/nonexistent-orva-sound-server"
        env.pop("WAYLAND_DISPLAY", None)
        self.process = subprocess.Popen(
            [PYTHON, os.path.join(SOURCE, "tools", "demo", "demo.py"), "--build", build, "--data", data,
             "--language", language,
             "--modem-scenario", os.path.join(HERE, "modem-scenario.json"),
             "--gsm-scenario", os.path.join(HERE, "gsm-scenario.json")],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=env)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            with self.seen:
                self.lines.append(line)
                self.seen.notify_all()

    def wait_for(self, predicate, what):
        deadline = time.monotonic() + self.timeout
        with self.seen:
            while not predicate(self.lines):
                left = deadline - time.monotonic()
                if left <= 0 or self.process.poll() is not None:
                    raise RuntimeError("no %s within %d s" % (what, self.timeout))
                self.seen.wait(min(left, 1))

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=60)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.reader.join(timeout=5)

    def log(self):
        with self.seen:
            return "".join(self.lines)


def count(lines, text):
    return sum(1 for l in lines if text in l)


def shoot(grab, target, path):
    result = subprocess.run([grab] + target + ["--out", path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, timeout=30)
    if result.returncode != 0:
        say("no picture %s: %s" % (os.path.basename(path), result.stdout.strip()))
        return False
    return True


def run_language(args, language, grab, out, failures):
    data = tempfile.mkdtemp(prefix="orva-screenshots-")
    probe = Probe(os.path.join(data, "windows.json"))
    station = Station(args.build, language, data, probe.path, args.timeout)
    alarm_title = dictionary_text("IDC_EVENTMSG_CAPTION", language) or "Alarm"
    try:
        station.wait_for(lambda ls: count(ls, " READY") >= 1, "start-up")
        station.wait_for(lambda ls: count(ls, " ALARM normal ") >= 2, "P100 and SMS alarms")
        station.wait_for(lambda ls: count(ls, " ALARM voice ") >= 1 and count(ls, " CALL 2 ") >= 1,
                         "voice call ringing the operator")
        # A few call-state messages pass (once a second) while the handset rings.
        time.sleep(args.settle)
        now = time.time()
        description = probe.read(newer_than=now)
        order = stacking()
        screen = screen_size()
        with open(os.path.join(out, "%s-windows.json" % language), "w", encoding="utf-8") as f:
            json.dump(description, f, indent=1, ensure_ascii=False)

        windows = [w for w in description["windows"] if w["visible"]]
        for window in windows:
            check_texts(language, window, failures)
            check_columns(language, window, failures)

        dialogs = [w for w in windows if is_alarm_dialog(w, alarm_title)]
        if len(dialogs) < 3:
            failures.append("[%s] %d alarm dialogs are open, expected 3 (P100, SMS, voice call): %s" % (
                language, len(dialogs), ", ".join(window_name(w) for w in dialogs)))
        names = {w["winId"]: window_name(w) for w in description["windows"]}
        for dialog in dialogs:
            share, covered_by = visible_share(dialog["winId"], order, screen)
            if share < MIN_VISIBLE:
                failures.append("[%s] alarm dialog %s cannot be seen: %.0f%% of it is on top, covered by %s" % (
                    language, window_name(dialog), 100 * share,
                    ", ".join(names.get(w, hex(w)) for w in covered_by) or "nothing"))

        # The screen as the operator sees it, and each window whole, drawn by
        # the station itself (a covered window is still pictured entire).
        shoot(grab, ["--screen"], os.path.join(out, "%s-screen.png" % language))
        drawn = os.path.join(data, "pictures")
        probe.pictures(drawn)
        main = [w for w in windows if w["class"] == "QMainWindow"]
        for window in main[:1]:
            probe.take(drawn, window, os.path.join(out, "%s-main-window.png" % language))
        for n, dialog in enumerate(dialogs, 1):
            probe.take(drawn, dialog, os.path.join(out, "%s-alarm-dialog-%d.png" % (language, n)))

        for window in main[:1]:
            check_main_list_shown_whole(language, window, screen, failures)
        check_keyboard_stays(language, main, probe, failures)
        open_system_information(language, main, probe, drawn, out, failures)
        open_register_windows(language, main, probe, drawn, out, failures)
        open_other_windows(language, main, probe, drawn, out, failures)
    except RuntimeError as e:
        failures.append("[%s] %s" % (language, e))
        with open(os.path.join(out, "%s-station.log" % language), "w", encoding="utf-8") as f:
            f.write(station.log())
    finally:
        station.stop()
        with open(os.path.join(out, "%s-station.log" % language), "w", encoding="utf-8") as f:
            f.write(station.log())
        shutil.rmtree(data, ignore_errors=True)


def check_main_list_shown_whole(language, window, screen, failures):
    """The alarm list's columns, the time at the right end included, are
    seen without scrolling when the screen is wide enough for them."""
    width = window["geometry"][2]
    for listed in window.get("lists", []):
        needed = sum(c["width"] for c in listed["columns"])
        if needed > width - 20 and needed < screen[0] - 80:
            failures.append("[%s] %s shows only %d of its columns' %d pixels; the last ones need scrolling" % (
                language, window_name(window), width, needed))


def check_keyboard_stays(language, main, probe, failures):
    """The ringing call comes to the top once a second, but the keyboard
    stays with the window the operator works in."""
    if not main:
        return
    main_id = main[0]["winId"]
    subprocess.run(["xdotool", "windowactivate", "--sync", str(main_id)], timeout=10)
    # At least two call-state messages.
    time.sleep(2.5)
    description = probe.read(newer_than=time.time())
    if description.get("activeWindow") != main_id:
        active = [w for w in description["windows"] if w["winId"] == description.get("activeWindow")]
        failures.append("[%s] the keyboard left the main window while the call rang; active now: %s" % (
            language, window_name(active[0]) if active else "none"))


def open_system_information(language, main, probe, drawn, out, failures):
    """Options menu, System information: with the keyboard, as an operator."""
    panel_title = dictionary_text("IDC_SYSTEM_INFO_CAPTION", language)
    item = dictionary_text("IDC_MENU_ID_OPTIONS_SYSTEMINFORMATION", language)
    menu = dictionary_text("IDC_MENU_POPUP_OPTIONS", language)
    if not main:
        failures.append("[%s] the main window is not shown" % language)
        return
    keys = [mnemonic(menu), mnemonic(item)]
    if None in keys:
        failures.append("[%s] no keyboard way to the system information panel (menu %r, item %r)" % (
            language, menu, item))
        return
    main_id = str(main[0]["winId"])
    panel = None
    focus = []
    # An operator tries again when a window took the keyboard in between.
    for attempt in range(5):
        subprocess.run(["xdotool", "windowactivate", "--sync", main_id], timeout=10)
        subprocess.run(["xdotool", "key", "--delay", "150", "alt+" + keys[0], keys[1]], timeout=10)
        deadline = time.monotonic() + 3
        while time.monotonic() < deadline and panel is None:
            description = probe.read(newer_than=time.time())
            for w in description["windows"]:
                if w["visible"] and w["title"] == panel_title:
                    panel = w
        if panel is not None:
            break
        active = [w for w in description["windows"] if w["winId"] == description["activeWindow"]]
        focus.append(window_name(active[0]) if active else "none")
        subprocess.run(["xdotool", "key", "Escape"], timeout=10)
    if panel is None:
        failures.append("[%s] the system information panel %r did not open with Alt+%s, %s in 5 tries; "
                        "the active window afterwards: %s" % (
                            language, panel_title, keys[0].upper(), keys[1].upper(), "; ".join(focus)))
        return
    if focus:
        say("[%s] the system information panel opened at try %d; before, the active window was: %s" % (
            language, len(focus) + 1, "; ".join(focus)))
    time.sleep(0.5)
    check_texts(language, panel, failures)
    check_columns(language, panel, failures)
    missing_sound = dictionary_text("IDS_ALERTSOUND_MSG_NO_OUTPUT", language)
    if missing_sound and not any(t["text"] == missing_sound for t in panel["texts"]):
        failures.append("[%s] the system information panel does not say that no audio output is there (%r)" % (
            language, missing_sound))
    probe.pictures(drawn)
    probe.take(drawn, panel, os.path.join(out, "%s-system-information.png" % language))


def wait_window(probe, title, timeout=5):
    """The visible window with the title, once the station shows it."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        description = probe.read(newer_than=time.time())
        for w in description["windows"]:
            if w["visible"] and w["title"] == title:
                return w
    return None


def press(window_id, *keys):
    subprocess.run(["xdotool", "windowactivate", "--sync", str(window_id)], timeout=10)
    subprocess.run(["xdotool", "key", "--delay", "150"] + list(keys), timeout=10)


def look_at(language, window, probe, drawn, path, failures):
    time.sleep(0.5)
    check_texts(language, window, failures)
    check_columns(language, window, failures)
    probe.pictures(drawn)
    probe.take(drawn, window, path)


def open_register_windows(language, main, probe, drawn, out, failures):
    """The register's windows with the keyboard: File, New; File, Open with a
    search and Return twice (the lift opens in the object window, and closing
    it brings the list back); Options, Send SMS."""
    if not main:
        return
    main_id = main[0]["winId"]
    new_title = dictionary_text("IDS_OBJECTINFODLG_MSG_2", language)
    edit_title = dictionary_text("IDS_OBJECTINFODLG_MSG_1", language)
    list_title = dictionary_text("IDC_OPEN_OBJECT_INFO_CAPTION", language)

    press(main_id, "ctrl+n")
    window = wait_window(probe, new_title)
    if window is None:
        failures.append("[%s] Ctrl+N did not open the object window %r" % (language, new_title))
    else:
        look_at(language, window, probe, drawn, os.path.join(out, "%s-object-new.png" % language), failures)
        press(window["winId"], "Escape")

    press(main_id, "ctrl+o")
    listed = wait_window(probe, list_title)
    if listed is None:
        failures.append("[%s] Ctrl+O did not open the open list %r" % (language, list_title))
        return
    look_at(language, listed, probe, drawn, os.path.join(out, "%s-open-list.png" % language), failures)
    # The search text has the keyboard: the first Return finds, the second opens.
    press(listed["winId"], "3", "0", "0", "2", "Return", "Return")
    window = wait_window(probe, edit_title)
    if window is None:
        failures.append("[%s] searching 3002 and Return twice in the open list did not open %r" % (
            language, edit_title))
    else:
        if not any(t["text"] == "30020002" for t in window["texts"]):
            failures.append("[%s] the object window does not show the lift 30020002 it opened" % language)
        look_at(language, window, probe, drawn, os.path.join(out, "%s-object-edit.png" % language), failures)
        press(window["winId"], "Escape")
        listed = wait_window(probe, list_title)
        if listed is None:
            failures.append("[%s] closing the object window did not bring the open list back" % language)
        else:
            press(listed["winId"], "Escape")

    menu = dictionary_text("IDC_MENU_POPUP_OPTIONS", language)
    item = dictionary_text("IDC_MENU_ID_OPTIONS_SEND_SMS", language)
    keys = [mnemonic(menu), mnemonic(item)]
    if None in keys:
        failures.append("[%s] no keyboard way to the send-SMS window (menu %r, item %r)" % (language, menu, item))
        return
    press(main_id, "alt+" + keys[0], keys[1])
    window = wait_window(probe, "Send SMS Message")
    if window is None:
        failures.append("[%s] Alt+%s, %s did not open the send-SMS window" % (
            language, keys[0].upper(), keys[1].upper()))
        return
    look_at(language, window, probe, drawn, os.path.join(out, "%s-send-sms.png" % language), failures)
    press(window["winId"], "Escape")


def menu_keys(language, menu_key, item_key, failures, what):
    """Alt+<menu letter>, <item letter> from the dictionary, or None (a failure)."""
    menu = dictionary_text(menu_key, language)
    item = dictionary_text(item_key, language)
    keys = [mnemonic(menu), mnemonic(item)]
    if None in keys:
        failures.append("[%s] no keyboard way to %s (menu %r, item %r)" % (language, what, menu, item))
        return None
    return ["alt+" + keys[0], keys[1]]


def open_other_windows(language, main, probe, drawn, out, failures):
    """The settings sheet page by page (Ctrl+Tab), the object export, the
    print window with its preview, the about box and the P100 test message
    generator, each with the keyboard; each is pictured, checked and closed
    with Escape (the settings sheet with Cancel: nothing changes)."""
    if not main:
        return
    main_id = main[0]["winId"]

    def show(keys, title, name, what):
        if keys is None:
            return None
        press(main_id, *keys)
        window = wait_window(probe, title)
        if window is None:
            failures.append("[%s] %s did not open %s %r" % (language, "+".join(keys), what, title))
            return None
        look_at(language, window, probe, drawn, os.path.join(out, "%s-%s.png" % (language, name)), failures)
        return window

    sheet_title = dictionary_text("IDC_PP_SETTINGS_CAPTION", language)
    sheet = show(menu_keys(language, "IDC_MENU_POPUP_OPTIONS", "IDC_MENU_ID_OPTIONS_SETTINGS", failures,
                           "the settings sheet"), sheet_title, "settings-1", "the settings sheet")
    if sheet is not None:
        for page in range(2, 6):
            press(sheet["winId"], "ctrl+Tab")
            window = wait_window(probe, sheet_title)
            if window is not None:
                look_at(language, window, probe, drawn, os.path.join(out, "%s-settings-%d.png" % (language, page)),
                        failures)
        press(sheet["winId"], "Escape")

    # Options, Export, ObjectInfo.
    keys = menu_keys(language, "IDC_MENU_POPUP_OPTIONS", "IDC_MENU_POPUP_EXPORT", failures, "the export menu")
    item = mnemonic(dictionary_text("IDC_MENU_ID_OPTIONS_EXPORT_OBJECTINFO", language))
    if keys is not None and item is None:
        failures.append("[%s] the export menu's item has no letter" % language)
    export = show(keys + [item] if keys is not None and item is not None else None,
                  dictionary_text("IDC_EXPORT_OBJECTINFO_CAPTION", language), "export", "the object export")
    if export is not None:
        press(export["winId"], "Escape")

    printing = show(["ctrl+p"], dictionary_text("IDC_PRINT_CAPTION", language), "print", "the print window")
    if printing is not None:
        preview_key = mnemonic(dictionary_text("IDC_PRINT_PREVIEW", language))
        press(printing["winId"], "alt+" + (preview_key or "v"))
        preview = None
        deadline = time.monotonic() + 10
        while preview is None and time.monotonic() < deadline:
            description = probe.read(newer_than=time.time())
            preview = next((w for w in description["windows"]
                            if w["visible"] and w["class"] == "QPrintPreviewDialog"), None)
        if preview is None:
            failures.append("[%s] Alt+%s in the print window did not open the print preview" % (
                language, (preview_key or "?").upper()))
        else:
            look_at(language, preview, probe, drawn, os.path.join(out, "%s-print-preview.png" % language), failures)
            press(preview["winId"], "Escape")
        printing = wait_window(probe, dictionary_text("IDC_PRINT_CAPTION", language))
        if printing is not None:
            press(printing["winId"], "Escape")

    about = show(menu_keys(language, "IDC_MENU_POPUP_HELP", "IDC_MENU_ID_APP_ABOUT", failures, "the about box"),
                 dictionary_text("IDC_ABOUTBOX_CAPTION", language), "about", "the about box")
    if about is not None:
        press(about["winId"], "Escape")

    generator = show(["ctrl+alt+shift+F1"], "Generate P100 Message", "p100-generator", "the P100 generator")
    if generator is not None:
        press(generator["winId"], "Escape")


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build", default=os.path.join(SOURCE, "build"))
    p.add_argument("--out", default="screenshots")
    p.add_argument("--languages", default=",".join(LANGUAGES), help="comma-separated (default: all four)")
    p.add_argument("--timeout", type=float, default=90, help="seconds to wait for each step")
    p.add_argument("--settle", type=float, default=3, help="seconds the call rings before the pictures")
    p.add_argument("--start-wm", action="store_true", help="start openbox when no window manager runs")
    p.add_argument("--no-check", action="store_true", help="only take the pictures")
    args = p.parse_args()
    if not os.environ.get("DISPLAY"):
        say("no DISPLAY (take-screenshots.sh starts a virtual one)")
        return 2
    args.build = os.path.abspath(args.build)
    grab = os.path.join(args.build, "tools", "screenshots", "orva_grab_window")
    for program in (os.path.join(args.build, "orva"), grab,
                    os.path.join(args.build, "tools", "demo", "orva_demo_setup")):
        if not os.access(program, os.X_OK):
            say("%s is missing: build it first" % program)
            return 2
    for tool in ("xprop", "xwininfo", "xdotool") + (("openbox",) if args.start_wm else ()):
        if shutil.which(tool) is None:
            say("%s is missing: bash scripts/install-deps.sh installs it" % tool)
            return 2
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    # The station and the picture taker run on this display: ctest runs the
    # tests with the offscreen platform. In a sanitized build the X keyboard
    # library reads a string that is not terminated (harmless, but the strict
    # check stops the program at once), and leaks are the other tests' business.
    os.environ["QT_QPA_PLATFORM"] = "xcb"
    if "ASAN_OPTIONS" in os.environ:
        os.environ["ASAN_OPTIONS"] += ":strict_string_checks=0:detect_leaks=0"

    wm = start_window_manager() if args.start_wm else None
    if wm is None and not window_manager_running():
        say("no window manager runs on the display (--start-wm starts openbox)")
        return 2
    failures = []
    try:
        for language in args.languages.split(","):
            started = time.monotonic()
            before = len(failures)
            run_language(args, language, grab, out, failures)
            say("%s: %d problems, %.0f s" % (language, len(failures) - before, time.monotonic() - started))
    finally:
        if wm is not None:
            wm.terminate()
            wm.wait(timeout=10)
    say("pictures and window descriptions in %s" % out)
    for failure in failures:
        print("FAIL " + failure, flush=True)
    if args.no_check:
        return 0
    say("%d problems found" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
