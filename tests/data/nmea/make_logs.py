#!/usr/bin/env python3
"""Writes the NMEA logs the gpsd tests feed through gpsfake.

fix-3d.nmea     a steady 3D fix (GGA, GSA, RMC each second)
no-fix.nmea     a receiver that never gets a fix
fix-lost.nmea   40 s of 3D fix, then 40 s without one
walk.nmea       a 90 s walk at 1.2 m/s, bearing 30 degrees, from the fix above

Run it again only to change the logs; the tests read the files as committed.
"""
import functools
import math
import os

LAT = (52, 12.3180, "N")  # 52.2053 degrees
LON = (1, 30.6000, "W")   # -1.51 degrees
ALT_MSL = 61.7
GEOID = 47.2
DATE = "060424"           # 6 April 2024


def sentence(body):
    checksum = functools.reduce(lambda a, c: a ^ ord(c), body, 0)
    return "$%s*%02X\r\n" % (body, checksum)


def clock(second):
    return "12%02d%02d.00" % (second // 60, second % 60)


def with_fix(second):
    t = clock(second)
    lat = "%02d%07.4f,%s" % LAT
    lon = "%03d%07.4f,%s" % LON
    return [
        sentence("GPGGA,%s,%s,%s,1,08,0.9,%.1f,M,%.1f,M,," % (t, lat, lon, ALT_MSL, GEOID)),
        sentence("GPGSA,A,3,04,05,09,12,17,24,25,29,,,,,1.6,0.9,1.3"),
        sentence("GPRMC,%s,A,%s,%s,0.0,0.0,%s,,,A" % (t, lat, lon, DATE)),
    ]


def degrees_minutes(value, width):
    """(degrees, minutes) of an absolute value, for "%0*d%07.4f"."""
    value = abs(value)
    d = int(value)
    return width, d, (value - d) * 60


def walking(second):
    start_lat = LAT[0] + LAT[1] / 60
    start_lon = -(LON[0] + LON[1] / 60)
    metres = 1.2 * second
    bearing = math.radians(30)
    lat = start_lat + metres * math.cos(bearing) / 111320.0
    lon = start_lon + metres * math.sin(bearing) / (111320.0 * math.cos(math.radians(lat)))
    t = clock(second)
    lat_text = "%0*d%07.4f,N" % degrees_minutes(lat, 2)
    lon_text = "%0*d%07.4f,%s" % (degrees_minutes(lon, 3) + ("W" if lon < 0 else "E",))
    return [
        sentence("GPGGA,%s,%s,%s,1,08,0.9,%.1f,M,%.1f,M,," % (t, lat_text, lon_text, ALT_MSL, GEOID)),
        sentence("GPGSA,A,3,04,05,09,12,17,24,25,29,,,,,1.6,0.9,1.3"),
        sentence("GPRMC,%s,A,%s,%s,2.3,30.0,%s,,,A" % (t, lat_text, lon_text, DATE)),
    ]


def without_fix(second):
    t = clock(second)
    return [
        sentence("GPGGA,%s,,,,,0,00,99.99,,,,,," % t),
        sentence("GPGSA,A,1,,,,,,,,,,,,,99.99,99.99,99.99"),
        sentence("GPRMC,%s,V,,,,,,,%s,,,N" % (t, DATE)),
    ]


def write(name, epochs):
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, name), "w", newline="") as f:
        f.write("# Name: %s, written by make_logs.py\r\n" % name)
        for lines in epochs:
            f.writelines(lines)


write("fix-3d.nmea", [with_fix(s) for s in range(20)])
write("no-fix.nmea", [without_fix(s) for s in range(20)])
write("walk.nmea", [walking(s) for s in range(90)])
write("fix-lost.nmea", [with_fix(s) for s in range(40)] + [without_fix(s) for s in range(40, 80)])
