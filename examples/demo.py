#!/usr/bin/env python3
"""Drives through the sample city: initialises the map once, then asks GetMapData for every
position of a drive trace and prints what the map says there.

    PYTHONPATH=build python3 examples/demo.py [MAP_DIR [CONFIG [TRACE]]]

MAP_DIR defaults to examples/sample_map/, CONFIG to config_binary.json (config_json.json and
config_encrypted.json hold the same map), TRACE to MAP_DIR/trace.csv (columns lat, lon, heading).
"""

import csv
import os
import sys

import libquilmar_python as ql

HERE = os.path.dirname(os.path.abspath(__file__))

# What each column of the table holds.
LEGEND = [
    "  #          the position's number in the trace",
    "  lat, lon   the position asked about (degrees); head: the heading given with it (degrees,",
    "             clockwise from north, as the lane azimuths)",
    "  link       id of the link holding the position; lane: the lane's number; of: lanes of the link",
    "  type       the lane's type code as the map stores it, passed through uninterpreted",
    "             (in the sample map 1 is a regular lane, 7 the kerb lane of a four-lane link)",
    "  L/R        crossing types of the lane's left and right edge lines: 0 unknown, 1 not crossable,",
    "             2 both ways, 3 only leftwards, 4 only rightwards",
    "  km/h       the lane's speed limit",
    "  angle      azimuth of the lane where the position lies (degrees, clockwise from north)",
    "  foot       foot lat, foot lon: the nearest point on the lane's centre line",
    "  cross      whether the position lies inside a pedestrian crossing; off map: no lane holds it",
]


def main(argv):
    map_dir = argv[1] if len(argv) > 1 else os.path.join(HERE, "sample_map")
    config = argv[2] if len(argv) > 2 else "config_binary.json"
    trace = argv[3] if len(argv) > 3 else os.path.join(map_dir, "trace.csv")
    project = os.path.join(map_dir, "")  # the library joins project and config paths as they are

    # The library echoes the two paths, the configuration and the tile directory listing.
    if not ql.InitMap(project, config):
        print("map already initialised")
    print()

    with open(trace, newline="") as f:
        rows = [(float(r["lat"]), float(r["lon"]), float(r["heading"])) for r in csv.DictReader(f)]

    header = ("  #", "lat", "lon", "head", "link", "lane", "of", "type", "L/R", "km/h", "angle",
              "foot lat", "foot lon", "cross")
    fmt = "%3s  %-12s %-13s %5s  %5s %4s %3s %4s %4s %5s %6s  %-12s %-13s %5s"
    title = fmt % header
    print(title)
    print("-" * len(title))
    on_map = 0
    for n, (lat, lon, heading) in enumerate(rows, 1):
        info = ql.GetMapData(lat, lon, heading)
        where = ("%3d" % n, "%.7f" % lat, "%.7f" % lon, "%.0f" % heading)
        if not info.isInMap:
            print(fmt % (where + ("-",) * 9 + ("off map",)))
            continue
        on_map += 1
        print(fmt % (where + (
            info.lOutRaodId, info.nOutLaneNum, info.nLaneCnt, info.nOutLaneType,
            "%d/%d" % (info.nOutLeftEdgeCrossType, info.nOutRightEdgeCrossType),
            info.nOutSpeedLimit, "%.1f" % info.dOutLaneAngle,
            "%.7f" % info.ptOutFoot_lat, "%.7f" % info.ptOutFoot_lon,
            "yes" if info.isInCross else "no")))
    print("-" * len(title))
    print("%d of %d positions on the map." % (on_map, len(rows)))
    for line in LEGEND:
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
