#!/usr/bin/env python3
"""How long a screen reader waits for the real fenwyd8200 to answer.

Run by tests/gui/run-gui-test.sh (FENWYD_GUI_SCRIPT=this file), which gives
it an X server, a window manager, a session bus and a home of its own. The
program reads a probe simulator that holds stored readings; every 20 ms the
script asks the program where the field value is on the screen over AT-SPI
(a component's extents are never answered from the client's cache: the
program's event loop answers each request) and times the round trip: while reading, while the range is
stepped (a click on the range label, as a user makes it), and while the
stored readings are uploaded (Probe > Upload Data).

Prints one line: "ATSPI" and, per phase, the median, the maximum and the
number of requests in ms.
"""

import os
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "gui"))

import pyatspi  # noqa: E402
from test_options_gui import (STARTUP_S, application, click, find, find_menu_item,  # noqa: E402
                              settled, wait_for, window)

READING_S = 20
RANGE_STEPS = 5
STORED = 12
PERIOD_S = 0.02


def ask(field):
    t0 = time.monotonic()
    field.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (time.monotonic() - t0) * 1000.0


def measure(field, done, limit_s):
    times = []
    end = time.monotonic() + limit_s
    while time.monotonic() < end:
        ms = ask(field)
        times.append(ms)
        if done():
            break
        time.sleep(PERIOD_S)
    return times


def summary(times):
    return "%.2f %.2f %d" % (statistics.median(times), max(times), len(times))


def main():
    program, sim = sys.argv[1], sys.argv[2]
    work = os.environ["FENWYD_GUI_WORK"]
    config = os.environ["XDG_CONFIG_HOME"]
    prog_dir = os.path.join(work, "program")
    os.makedirs(prog_dir)
    probe = os.path.join(work, "probe")
    log = open(os.path.join(work, "probe-sim.log"), "w")
    procs = [subprocess.Popen([sim, "--model", "E", "--fixed", "--stored", str(STORED),
                               "--link", probe], stdout=log, stderr=subprocess.STDOUT)]
    try:
        wait_for("the simulator", lambda: os.path.exists(probe))
        shutil.copy2(program, prog_dir)
        with open(os.path.join(config, "Fenwyd 8200.conf"), "w") as f:
            f.write("[Ports]\nBaudRate=9600\nComm2=%s\n" % probe)
        app_proc = subprocess.Popen([os.path.join(prog_dir, "fenwyd8200")])
        procs.append(app_proc)
        app = application(app_proc.pid)
        picker = wait_for("the port picker", lambda: window(app, "Select a Comm Port"), STARTUP_S)
        settled(picker)
        click(find(picker, pyatspi.ROLE_PUSH_BUTTON, name="Continue"))
        main_window = wait_for("the main window",
                               lambda: window(app, "Fenwyd 8200", (pyatspi.ROLE_FRAME,)), STARTUP_S)
        field = wait_for("the field value label",
                         lambda: find(main_window, pyatspi.ROLE_LABEL, description="Field value"),
                         STARTUP_S)
        wait_for("readings", lambda: any(c.isdigit() for c in field.name or ""), STARTUP_S)
        settled(main_window)
        time.sleep(3)  # past the battery reading the first readings queue

        reading = measure(field, lambda: False, READING_S)

        range_label = pyatspi.findDescendant(
            main_window, lambda a: a is not None and a.getRole() == pyatspi.ROLE_LABEL and
            (a.description or "").startswith("Range;"), breadth_first=True)
        if range_label is None:
            raise AssertionError("no range label")
        steps = 0
        range_times = []
        for _ in range(RANGE_STEPS):
            before = range_label.name
            click(range_label)
            steps += 1
            range_times += measure(field, lambda: range_label.name != before, 10)

        upload_item = find_menu_item(main_window, "Upload Data")
        if upload_item is None:
            raise AssertionError("no Upload Data menu item")
        upload_item.queryAction().doAction(0)
        message = find(main_window, pyatspi.ROLE_LABEL, description="Message")
        begun = [False]

        def uploaded():
            text = message.name or ""
            begun[0] = begun[0] or text.startswith("Uploading")
            return begun[0] and text.startswith("Uploaded")

        upload = measure(field, uploaded, 120)
        print("ATSPI %s %s %d %s" % (summary(reading), summary(range_times), steps, summary(upload)),
              flush=True)
    finally:
        for p in reversed(procs):
            p.terminate()
        for p in procs:
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()


if __name__ == "__main__":
    main()
