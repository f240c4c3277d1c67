#!/usr/bin/env python3
"""A new user's first session, driven through the accessibility tree (AT-SPI).

The real fenwyd8200 starts for the first time: no configuration file, so the
port picker comes first. From it the test opens Options and types the
pseudo-terminal of a probe simulator as the device of Comm2; the picker shows
it, and Continue starts reading from it. The test then opens Options again,
types the pseudo-terminal of a second simulator (a QM-8203) as the device of
Comm3 and tests it, maps Comm4 to a device that is not there, and saves. Comm4 from the Communications menu shows the open failure with the
device and the system's reason; Comm3 then reads the second probe. A few
readings are logged and saved through the real save dialog, by typing the
file name into it, and the written file is checked. Run by run-gui-test.sh,
which provides the X server, the window manager and the session bus.

FENWYD_GUI_SHOTS=folder also saves screenshots of the first-start picker, the
Options dialog and the open failure there (ImageMagick's import), and of the
screen when the test fails. The program and everything else run in the home
run-gui-test.sh made for the session.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import time

import pyatspi

STARTUP_S = 30  # the splash alone takes five seconds
STEP_S = 15
POLL_S = 0.05


class GuiTestError(AssertionError):
    pass


START = time.monotonic()


def step(text):
    print("%6.1f s  %s" % (time.monotonic() - START, text), flush=True)


def wait_for(what, probe, timeout=STEP_S):
    """Polls probe() until it returns something true; that value is returned."""
    step("waiting for " + what)
    end = time.monotonic() + timeout
    last_error = None
    while time.monotonic() < end:
        try:
            value = probe()
            if value:
                return value
        except Exception as e:  # objects come and go while windows change
            last_error = e
        time.sleep(POLL_S)
    raise GuiTestError("timed out waiting for %s%s" %
                       (what, " (last error: %s)" % last_error if last_error else ""))


def role_is(acc, role):
    return acc.getRole() == role


def find(root, role, name=None, description=None, name_re=None):
    """The first showing element below root with this role and name."""

    def match(acc):
        try:
            if acc is None or acc.getRole() != role:
                return False
            if name is not None and acc.name != name:
                return False
            if name_re is not None and not re.search(name_re, acc.name or ""):
                return False
            if description is not None and acc.description != description:
                return False
            return acc.getState().contains(pyatspi.STATE_SHOWING)
        except Exception:
            return False

    return pyatspi.findDescendant(root, match, breadth_first=True)


DIALOG_ROLES = (pyatspi.ROLE_DIALOG, pyatspi.ROLE_ALERT, pyatspi.ROLE_FILE_CHOOSER)


def window(app, name=None, roles=DIALOG_ROLES):
    """A showing top-level window of the application (its dialogs are top-level
    windows). Only the application's own children are looked at, not the
    main window's tree: its reply list grows with every reading, and walking
    it takes seconds on a busy machine."""
    for i in range(app.childCount):
        try:
            w = app.getChildAtIndex(i)
            if w is not None and w.getRole() in roles and \
                    (name is None or w.name == name) and showing(w):
                return w
        except Exception:  # windows come and go
            pass
    return None


def find_in_dialogs(app, role, **match):
    """The first element with this role and name in any dialog showing."""
    for i in range(app.childCount):
        try:
            w = app.getChildAtIndex(i)
            if w is not None and w.getRole() in DIALOG_ROLES:
                found = find(w, role, **match)
                if found:
                    return found
        except Exception:
            pass
    return None


def find_menu_item(root, name):
    """A menu item, shown or not (menus are closed until opened)."""

    def match(acc):
        try:
            return acc is not None and acc.getRole() == pyatspi.ROLE_MENU_ITEM and \
                acc.name == name
        except Exception:
            return False

    return pyatspi.findDescendant(root, match, breadth_first=True)


def press(acc):
    """The element's own press action, for actions that return at once: Qt
    answers an action only when it has run, so whatever opens a modal window
    is clicked instead."""
    action = acc.queryAction()
    for i in range(action.nActions):
        if action.getName(i).lower() in ("press", "click", "toggle"):
            action.doAction(i)
            return
    raise GuiTestError("%r has no press action" % acc.name)


def showing(acc):
    return acc.getState().contains(pyatspi.STATE_SHOWING)


def click(acc):
    """A mouse click in the middle of the element, as a user makes it."""
    wait_for("%r on screen" % acc.name, lambda: showing(acc))
    box = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(box.x + box.width // 2, box.y + box.height // 2,
                                        pyatspi.MOUSE_B1C)


def settled(window):
    """Waits until a newly shown window is active and the window manager has
    stopped moving it: a click aimed before that misses."""
    wait_for("%r to be active" % window.name,
             lambda: window.getState().contains(pyatspi.STATE_ACTIVE))

    def still():
        first = window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        time.sleep(0.2)
        second = window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return (first.x, first.y, first.width, first.height) == \
            (second.x, second.y, second.width, second.height)

    wait_for("%r to stay where it is" % window.name, still)


def choose(window, menu, item):
    """Opens a menu of the menu bar with the mouse and clicks an item."""
    click(find(window, pyatspi.ROLE_MENU_ITEM, name=menu))
    entry = wait_for("%s > %s" % (menu, item),
                     lambda: find(window, pyatspi.ROLE_MENU_ITEM, name=item))
    time.sleep(0.1)  # the popup settles where it is drawn
    click(entry)


def type_text(text):
    pyatspi.Registry.generateKeyboardEvent(0, text, pyatspi.KEY_STRING)


def press_key(keysym_name):
    keysyms = {"Return": 0xFF0D}
    pyatspi.Registry.generateKeyboardEvent(keysyms[keysym_name], None, pyatspi.KEY_SYM)


def type_into(entry, text):
    """Empties an edit field, then types into it as a user would."""
    entry.queryComponent().grabFocus()
    wait_for("the focus in %r" % entry.name,
             lambda: entry.getState().contains(pyatspi.STATE_FOCUSED))
    editable = entry.queryEditableText()
    editable.deleteText(0, entry.queryText().characterCount)
    type_text(text)
    wait_for("%r to read %r" % (entry.name, text),
             lambda: entry.queryText().getText(0, -1) == text)


def screenshot(folder, name, *windows):
    """The screen around the given windows (title bars included)."""
    if not folder or not shutil.which("import"):
        return
    boxes = [w.queryComponent().getExtents(pyatspi.DESKTOP_COORDS) for w in windows]
    left = max(0, min(b.x for b in boxes) - 4)
    top = max(0, min(b.y for b in boxes) - 26)
    right = max(b.x + b.width for b in boxes) + 4
    bottom = max(b.y + b.height for b in boxes) + 4
    time.sleep(0.3)  # the last repaint
    subprocess.run(["import", "-window", "root", "-crop",
                    "%dx%d+%d+%d" % (right - left, bottom - top, left, top), "+repage",
                    os.path.join(folder, name)], check=True)


def application(pid):
    def probe():
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == pid:
                return app
        return None

    return wait_for("fenwyd8200 on the accessibility bus", probe, STARTUP_S)


def start_sim(sim, model, link, log):
    proc = subprocess.Popen([sim, "--model", model, "--fixed", "--link", link],
                            stdout=log, stderr=subprocess.STDOUT)
    wait_for("the simulator's pseudo-terminal %s" % link, lambda: os.path.exists(link))
    return proc


def main():
    program, sim = sys.argv[1], sys.argv[2]
    work = os.environ["FENWYD_GUI_WORK"]
    shots = os.environ.get("FENWYD_GUI_SHOTS", "")
    prog_dir = os.path.join(work, "program")
    config = os.environ["XDG_CONFIG_HOME"]  # the session's own (run-gui-test.sh)
    os.makedirs(prog_dir)

    procs = []
    log = open(os.path.join(work, "probe-sim.log"), "w")
    try:
        probe_a = os.path.join(work, "probe-a")
        probe_b = os.path.join(work, "probe-b")
        procs.append(start_sim(sim, "E", probe_a, log))
        procs.append(start_sim(sim, "V", probe_b, log))

        # The program in a folder of its own, where it keeps its files and
        # saves data; no configuration file yet: a first start.
        shutil.copy2(program, prog_dir)
        with open(os.path.join(config, "Fenwyd 8200.conf"), "w") as f:
            f.write("[Ports]\nBaudRate=9600\n")
        app_proc = subprocess.Popen([os.path.join(prog_dir, "fenwyd8200")])
        procs.append(app_proc)

        app = application(app_proc.pid)

        # The port picker: Options from it maps Comm2 to the simulator, and
        # the picker then shows that device beside Comm2.
        picker = wait_for("the port picker",
                          lambda: window(app, "Select a Comm Port"),
                          STARTUP_S)
        comm2 = wait_for("Comm2 in the picker",
                         lambda: find(picker, pyatspi.ROLE_RADIO_BUTTON, name="Comm2"))
        if not comm2.getState().contains(pyatspi.STATE_CHECKED):
            raise GuiTestError("the picker does not open with Comm2 selected")
        wait_for("the system's ports in the picker",
                 lambda: find(picker, pyatspi.ROLE_PANEL, name="Serial ports on this system") or
                 find(picker, pyatspi.ROLE_GROUPING, name="Serial ports on this system"))
        settled(picker)
        click(find(picker, pyatspi.ROLE_PUSH_BUTTON, name="Options..."))
        options = wait_for("the Options dialog over the picker",
                           lambda: window(app, "Options"))
        type_into(wait_for("the Comm 2 device field",
                           lambda: find(options, pyatspi.ROLE_TEXT, name="Comm 2 device")),
                  probe_a)
        press(find(options, pyatspi.ROLE_PUSH_BUTTON, name="OK"))
        wait_for("the picker to show Comm2's new device",
                 lambda: find(picker, pyatspi.ROLE_LABEL, name=probe_a))
        screenshot(shots, "first-start-picker.png", picker)
        click(find(picker, pyatspi.ROLE_PUSH_BUTTON, name="Continue"))
        main_window = wait_for("the main window",
                               lambda: window(app, "Fenwyd 8200", (pyatspi.ROLE_FRAME,)), STARTUP_S)
        field = wait_for("the field value label",
                         lambda: find(main_window, pyatspi.ROLE_LABEL, description="Field value"),
                         STARTUP_S)
        wait_for("a reading from the QM-8204",
                 lambda: re.match(r"^[0-9.]+$", field.name) and
                 find(main_window, pyatspi.ROLE_LABEL, name="QM-8204", description="Message"))

        # Options: Comm3 is the second simulator, typed; Comm4 a missing device.
        click(find(main_window, pyatspi.ROLE_PUSH_BUTTON, name="Options"))
        options = wait_for("the Options dialog",
                           lambda: window(app, "Options"))
        comm3 = wait_for("the Comm 3 device field",
                         lambda: find(options, pyatspi.ROLE_TEXT, name="Comm 3 device"))
        type_into(comm3, probe_b)
        press(find(options, pyatspi.ROLE_PUSH_BUTTON, name="Test Comm 3"))
        result = wait_for("the Comm 3 test result",
                          lambda: find(options, pyatspi.ROLE_LABEL,
                                       description="Comm 3 test result", name_re=r"answered"))
        if not result.name.startswith("QM-8203 answered: "):
            raise GuiTestError("Comm 3 test: %r" % result.name)
        missing = "/dev/fenwyd-no-such-tty"
        type_into(find(options, pyatspi.ROLE_TEXT, name="Comm 4 device"), missing)
        press(find(options, pyatspi.ROLE_PUSH_BUTTON, name="Test Comm 4"))
        wait_for("the Comm 4 test result",
                 lambda: find(options, pyatspi.ROLE_LABEL, description="Comm 4 test result",
                              name_re=r"^Cannot open /dev/fenwyd-no-such-tty: "))
        screenshot(shots, "options-dialog.png", options)
        press(find(options, pyatspi.ROLE_PUSH_BUTTON, name="OK"))
        wait_for("the Options dialog to close",
                 lambda: window(app, "Options") is None)

        # Comm4: the failure names the device and the system's reason.
        choose(main_window, "Communications", "Comm 4")
        failure = wait_for("the open-failure message",
                           lambda: find_in_dialogs(
                               app, pyatspi.ROLE_LABEL,
                               name_re=r"^Unable to open the selected comm port\."))
        expected = ("Unable to open the selected comm port.  Reselect comm port or check "
                    "system configuration.\n\nComm 4 (%s): No such file or directory." % missing)
        if not failure.name.startswith(expected):
            raise GuiTestError("open failure: %r" % failure.name)
        box = failure.parent
        while box.getRole() not in (pyatspi.ROLE_DIALOG, pyatspi.ROLE_ALERT):
            box = box.parent
        screenshot(shots, "open-failure.png", main_window, box)
        press(find(box, pyatspi.ROLE_PUSH_BUTTON, name="OK"))
        wait_for("the message to close",
                 lambda: find_in_dialogs(
                     app, pyatspi.ROLE_LABEL,
                     name_re=r"^Unable to open the selected comm port\.") is None)
        wait_for("the speed panel to say no port is open",
                 lambda: find(main_window, pyatspi.ROLE_LABEL, description="Line speed",
                              name="No port"))

        # Comm3 reads the QM-8203.
        comm3_item = find_menu_item(main_window, "Comm 3")
        press(comm3_item)
        wait_for("a reading from the QM-8203",
                 lambda: find(main_window, pyatspi.ROLE_LABEL, name="QM-8203",
                              description="Message"))
        wait_for("Comm 3 checked", lambda: comm3_item.getState().contains(pyatspi.STATE_CHECKED))
        wait_for("the line speed", lambda: find(main_window, pyatspi.ROLE_LABEL,
                                                description="Line speed", name="9600 Baud"))

        # Log a few readings, stop, save through the save dialog.
        log_data = find_menu_item(main_window, "Log Data")
        press(log_data)
        count = wait_for("the record count label",
                         lambda: find(main_window, pyatspi.ROLE_LABEL, description="Record count"))
        wait_for("three logged readings", lambda: int(count.name or "0") >= 3)
        press(log_data)
        wait_for("logging to stop", lambda: not log_data.getState().contains(pyatspi.STATE_CHECKED))
        # The count panel follows twice a second.
        samples = wait_for("the final record count", lambda: stable_count(count))
        if samples < 3:
            raise GuiTestError("only %d readings logged" % samples)

        choose(main_window, "File", "Save as...")
        save = wait_for("the save dialog",
                        lambda: window(app, "File Save as"))
        name_field = wait_for("the file name field",
                              lambda: find(save, pyatspi.ROLE_TEXT, name_re=r"^File name"))
        type_into(name_field, "first-run")
        press_key("Return")
        # "Saved N data points." shows until the next reading names the model.
        saved_file = os.path.join(prog_dir, "first-run.csv")  # beside the program
        wait_for("the data file", lambda: os.path.exists(saved_file))
        wait_for("the save dialog to close",
                 lambda: window(app, "File Save as") is None)
        check_data_file(saved_file, samples)

        # Exit through the menu: the port choice and the mapping are kept.
        choose(main_window, "File", "Exit")
        if app_proc.wait(timeout=STEP_S) != 0:
            raise GuiTestError("fenwyd8200 exited with status %d" % app_proc.returncode)
        with open(os.path.join(prog_dir, "Fenwyd8200.cfg"), "rb") as f:
            first = f.read().split(b"\r\n")[0]
        if first.strip() != b"3":
            raise GuiTestError("stored port number %r, not 3" % first)
        with open(os.path.join(config, "Fenwyd 8200.conf")) as f:
            settings = f.read()
        for line in ("Comm3=%s" % probe_b, "Comm4=%s" % missing, "BaudRate=9600"):
            if line not in settings.splitlines():
                raise GuiTestError("settings lack %r:\n%s" % (line, settings))
        print("GUI test passed: Options mapped Comm3, the failure of Comm4 was explained, "
              "%d readings saved through the save dialog" % samples)
    except GuiTestError:
        if shots and shutil.which("import"):
            subprocess.run(["import", "-window", "root", os.path.join(shots, "gui-failure.png")])
        raise
    finally:
        for p in procs:
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    p.kill()
        log.close()


def stable_count(label):
    first = int(label.name or "0")
    time.sleep(0.6)
    return first if int(label.name or "0") == first else None


def check_data_file(path, samples):
    with open(path, "rb") as f:
        raw = f.read()
    lines = raw.split(b"\r\n")
    if lines[-1] != b"":
        raise GuiTestError("the data file does not end with CR LF")
    text = [l.decode("latin-1") for l in lines[:-1]]
    header = text[:text.index("EndHeader") + 1]
    rows = text[len(header) + 1:]
    expect = ["Header", "File,first-run.csv", "Samples,%d" % samples, "Page,1 of 1",
              "EndHeader"]
    for line in expect:
        if line not in header:
            raise GuiTestError("header lacks %r: %r" % (line, header))
    units = [l for l in header if l.startswith("Units,")]
    if len(units) != 1 or text[len(header)] != "Time ,Field " + units[0][len("Units,"):]:
        raise GuiTestError("units and column titles: %r" % text[:len(header) + 1])
    if len(rows) != samples:
        raise GuiTestError("%d rows for %d samples" % (len(rows), samples))
    for row in rows:
        if not re.match(r"^\d\d:\d\d:\d\d,-?[0-9.]+(E[-+]?\d+)?$", row):
            raise GuiTestError("a data row %r" % row)


if __name__ == "__main__":
    # Stopped from outside (a test time-out): the simulators and the program
    # are stopped too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        main()
    except GuiTestError as e:
        print("GUI test FAILED: %s" % e, file=sys.stderr)
        sys.exit(1)
