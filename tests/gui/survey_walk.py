#!/usr/bin/env python3
"""A short survey walk, driven through the accessibility tree (AT-SPI).

The real fenwyd8200 reads a probe simulator and takes positions from a real
gpsd that gpsfake feeds with tests/data/nmea/walk.nmea (a 90 s walk at
1.2 m/s, one fix a second). Logging runs while five points are marked with
Mark Point (a 3 s dwell each); they are named, one gets a note and one a
place typed by hand. The survey is exported from the points window as
GeoJSON, KML and CSV through the real save dialog, and each file is read
back: coordinates longitude first, every point placed, the track walked.

Run by scripts/make-points-example.sh, through tests/gui/run-gui-test.sh
(FENWYD_GUI_SCRIPT), which provides the X server, the window manager and the
session bus. FENWYD_GUI_SHOTS=folder saves docs/points-window.png there.
"""

import csv
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import xml.etree.ElementTree as ET

import pyatspi

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import test_options_gui as gui  # noqa: E402  the helpers of the GUI test

WALK = os.path.join(HERE, "..", "data", "nmea", "walk.nmea")
NAMES = ["Gate", "Fence post 4", "Transformer", "Cable trench", "Far corner"]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def accepts(port):
    with socket.socket() as s:
        return s.connect_ex(("127.0.0.1", port)) == 0


def export(app, points, button, title, name, folder):
    gui.click(gui.find(points, pyatspi.ROLE_PUSH_BUTTON, name=button))
    save = gui.wait_for("the save dialog", lambda: gui.window(app, title))
    field = gui.wait_for("the file name field",
                         lambda: gui.find(save, pyatspi.ROLE_TEXT, name_re=r"^File name"))
    path = os.path.join(folder, name)
    gui.type_into(field, path)
    gui.press_key("Return")
    gui.wait_for(name, lambda: os.path.exists(path))
    gui.wait_for("the save dialog to close", lambda: gui.window(app, title) is None)
    return path


def check_geojson(path):
    with open(path, encoding="utf-8") as f:
        doc = json.load(f)
    features = doc["features"]
    points = [f for f in features if f["properties"]["kind"] == "point"]
    if [p["properties"]["name"] for p in points] != NAMES:
        raise gui.GuiTestError("GeoJSON points: %r" % [p["properties"] for p in points])
    for p in points:
        lon, lat = p["geometry"]["coordinates"][:2]
        if not (-1.52 < lon < -1.50 and 52.20 < lat < 52.21):
            raise gui.GuiTestError("not longitude, latitude: %r" % p["geometry"])
    lines = [f for f in features if f["geometry"] and f["geometry"]["type"].endswith("LineString")]
    if len(lines) != 1:
        raise gui.GuiTestError("no track in the GeoJSON")
    track = lines[0]["geometry"]["coordinates"]
    if lines[0]["geometry"]["type"] == "MultiLineString":
        track = [c for part in track for c in part]
    # Walking north-east: later positions lie north and east of earlier ones.
    if not (track[-1][1] > track[0][1] and track[-1][0] > track[0][0]):
        raise gui.GuiTestError("the track does not walk north-east: %r ... %r" %
                               (track[0], track[-1]))
    return len(points), len(track)


def check_kml(path):
    k = "{http://www.opengis.net/kml/2.2}"
    marks = list(ET.parse(path).getroot().iter(k + "Placemark"))
    named = [p.findtext(k + "name") for p in marks]
    if named[:5] != NAMES:
        raise gui.GuiTestError("KML placemarks: %r" % named)
    for p in marks[:5]:
        lon, lat = [float(v) for v in p.findtext(k + "Point/" + k + "coordinates").split(",")[:2]]
        if not (-1.52 < lon < -1.50 and 52.20 < lat < 52.21):
            raise gui.GuiTestError("KML coordinates %r" % p.findtext(k + "Point/" + k + "coordinates"))
    return len(marks)


def check_csv(path):
    with open(path, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    if [r["name"] for r in rows] != NAMES:
        raise gui.GuiTestError("CSV rows: %r" % rows)
    return len(rows)


def main():
    program, sim = sys.argv[1], sys.argv[2]
    work = os.environ["FENWYD_GUI_WORK"]
    shots = os.environ.get("FENWYD_GUI_SHOTS", "")
    prog_dir = os.path.join(work, "program")
    out = os.path.join(work, "exports")
    config = os.environ["XDG_CONFIG_HOME"]
    os.makedirs(prog_dir)
    os.makedirs(out)
    procs = []
    log = open(os.path.join(work, "helpers.log"), "w")
    try:
        probe = os.path.join(work, "probe")
        procs.append(subprocess.Popen([sim, "--model", "E", "--link", probe],
                                      stdout=log, stderr=subprocess.STDOUT))
        gui.wait_for("the simulator's pseudo-terminal", lambda: os.path.exists(probe))
        port = free_port()
        # One fix a second (three sentences each), in a process group of its own.
        gpsfake = subprocess.Popen(["gpsfake", "-q", "-c", "0.33", "-P", str(port), WALK],
                                   stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
        procs.append(gpsfake)
        gui.wait_for("gpsd on port %d" % port, lambda: accepts(port), 30)

        shutil.copy2(program, prog_dir)
        with open(os.path.join(prog_dir, "Fenwyd8200.cfg"), "wb") as f:
            f.write((" 2 \r\nV/m\r\n%s\r\n15\r\n 30 \r\n" % out).encode())
        with open(os.path.join(config, "Fenwyd 8200.conf"), "w") as f:
            f.write("[Ports]\nComm2=%s\nBaudRate=9600\n\n[GPS]\nUseGpsd=1\nHost=127.0.0.1\n"
                    "Port=%d\n\n[Points]\nDwellSeconds=3\n" % (probe, port))
        app_proc = subprocess.Popen([os.path.join(prog_dir, "fenwyd8200")])
        procs.append(app_proc)
        app = gui.application(app_proc.pid)
        main_window = gui.wait_for("the main window",
                                   lambda: gui.window(app, "Fenwyd 8200", (pyatspi.ROLE_FRAME,)),
                                   gui.STARTUP_S)
        gui.wait_for("a reading", lambda: gui.find(main_window, pyatspi.ROLE_LABEL,
                                                   name="QM-8204", description="Message"),
                     gui.STARTUP_S)
        gui.wait_for("a 3D fix in the status bar",
                     lambda: gui.find(main_window, pyatspi.ROLE_LABEL, name="GPS 3D fix",
                                      description="GPS state"), 30)

        log_data = gui.find_menu_item(main_window, "Log Data")
        gui.press(log_data)
        count = gui.wait_for("the record count", lambda: gui.find(
            main_window, pyatspi.ROLE_LABEL, description="Record count"))
        mark = gui.find_menu_item(main_window, "Mark Point")
        points = None
        for i, name in enumerate(NAMES):
            # A few metres on between points: some readings later.
            start = int(count.name or "0")
            gui.wait_for("walking on", lambda: int(count.name or "0") >= start + 25, 60)
            gui.wait_for("Mark Point available",
                         lambda: mark.getState().contains(pyatspi.STATE_ENABLED))
            gui.press(mark)
            label = "P%d marked" % (i + 1)
            gui.wait_for(label, lambda: gui.find(main_window, pyatspi.ROLE_LABEL, name=label,
                                                 description="Survey points"), 20)
            if points is None:
                points = gui.wait_for("the points window", lambda: gui.window(
                    app, "Survey Points", (pyatspi.ROLE_WINDOW, pyatspi.ROLE_FRAME)))
            # The list opened beside the main window, which kept the keyboard:
            # a click in the field, as a user would.
            field = gui.find(points, pyatspi.ROLE_TEXT, name="Point name")
            gui.click(field)
            gui.type_into(field, name)
            gui.press_key("Return")
            if i == 1:
                gui.type_into(gui.find(points, pyatspi.ROLE_TEXT, name="Point note"),
                              "Under the line, 2 m from the fence")
                gui.press_key("Return")
            if i == 2:
                gui.type_into(gui.find(points, pyatspi.ROLE_TEXT,
                                       name="Position typed by hand"), "Bay 3 (12.5, -4)")
                gui.press_key("Return")
        gui.press(log_data)
        gui.wait_for("logging to stop",
                     lambda: not log_data.getState().contains(pyatspi.STATE_CHECKED))
        table = gui.find(points, pyatspi.ROLE_TABLE, name="Survey points")
        gui.wait_for("the last name in the list",
                     lambda: gui.find(table, pyatspi.ROLE_TABLE_CELL, name=NAMES[-1]))

        geojson = export(app, points, "GeoJSON...",
                         "Export Survey as GeoJSON", "walk.geojson", out)
        kml = export(app, points, "KML...", "Export Survey as KML",
                     "walk.kml", out)
        table_csv = export(app, points, "Points as CSV...", "Export Points as CSV",
                           "walk-points.csv", out)
        n, vertices = check_geojson(geojson)
        placemarks = check_kml(kml)
        rows = check_csv(table_csv)
        gui.wait_for("the export said", lambda: gui.find(points, pyatspi.ROLE_LABEL,
                                                          description="Survey status",
                                                          name_re=r"exported to"))
        settled_points = points
        gui.click(gui.find(points, pyatspi.ROLE_TABLE_CELL, name="P2"))
        gui.screenshot(shots, "points-window.png", settled_points)
        gui.choose(main_window, "File", "Exit")
        if app_proc.wait(timeout=gui.STEP_S) != 0:
            raise gui.GuiTestError("fenwyd8200 exited with status %d" % app_proc.returncode)
        print("Survey walk passed: %d points, a track of %d positions in the GeoJSON, "
              "%d placemarks in the KML, %d CSV rows" % (n, vertices, placemarks, rows))
    except gui.GuiTestError:
        if shots and shutil.which("import"):
            subprocess.run(["import", "-window", "root", os.path.join(shots, "walk-failure.png")])
        raise
    finally:
        for p in procs:
            if p.poll() is None:
                if p.args[0] == "gpsfake":
                    os.killpg(p.pid, signal.SIGTERM)
                else:
                    p.terminate()
                try:
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    p.kill()
        log.close()


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        main()
    except gui.GuiTestError as e:
        print("Survey walk FAILED: %s" % e, file=sys.stderr)
        sys.exit(1)
