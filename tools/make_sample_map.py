#!/usr/bin/env python3
"""Generates a small grid city as HD map tiles, for the demo, the Python tests and the benchmarks.

    python3 tools/make_sample_map.py [--tilewriter PATH] [--out examples/sample_map]
    python3 tools/make_sample_map.py --dense 23 --out /tmp/city [--positions 100000]

The city is a grid of straight streets. Every street segment between two junctions is a pair of
links, one per direction of travel (right-hand traffic), each with 1 to 4 lanes numbered 1 (next to
the centre line) to N (at the kerb). A link runs from the centre of one junction to the centre of
the next, so the lanes of crossing streets overlap inside the junction box and the heading decides
between them there. Every link carries a pedestrian crossing (an ObjCrossing area) across its own
lanes shortly before the junction it runs into, and one ADAS sample per lane vertex whose azimuth
is the compass bearing of the link (degrees, 0 north, 90 east).

The script writes LINKS.json (the links as JSON records) into a scratch directory and runs the
tile writer (`ql_tilewriter LINKS.json OUTDIR --depth N`), which writes OUTDIR/hd/{json,binary,
encrypted}/ and the three configuration files. The sample map also gets trace.csv, a short drive
(lat, lon, heading) with positions on lanes, inside a pedestrian crossing, in a junction box where
two lanes overlap, and one position off the map.

Only the standard library is used, so tests and benchmarks import this file for the geometry
(expected link ids, lane numbers and lane centre points) of the map it wrote.
"""

import argparse
import json
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile

# The radius of the library's haversine distances; the local metric frame below uses it too.
EARTH_RADIUS_M = 6378137.0

# Direction of travel -> (unit vector east, north; compass bearing in degrees).
_DIRECTIONS = {
    "E": ((1.0, 0.0), 90.0),
    "N": ((0.0, 1.0), 0.0),
    "W": ((-1.0, 0.0), 270.0),
    "S": ((0.0, -1.0), 180.0),
}

# Crossing types of the lane edge lines (see HdEdge::nCross): the centre line and the kerb may not
# be crossed; the lines between lanes vary so that left and right crossing types differ.
CROSS_UNABLE = 1
_INNER_EDGE_CROSS = [2, 4, 3]  # the line right of lane 1, of lane 2, of lane 3

LANE_TYPE_REGULAR = 1
LANE_TYPE_KERB_OF_FOUR = 7  # the kerb lane of a four-lane link (a bus lane, say)

SPEED_BY_LANES = {1: 30, 2: 40, 3: 50, 4: 60}


class Frame:
    """A local east/north frame in metres around (lon0, lat0): equirectangular on the library's
    sphere, exact enough for a city of a few kilometres (the library itself measures in the
    Gauss-Krueger plane; over a 25 m segment the two differ by far less than a millimetre)."""

    def __init__(self, lon0, lat0):
        self.lon0 = lon0
        self.lat0 = lat0
        self.m_per_deg_lat = EARTH_RADIUS_M * math.pi / 180.0
        self.m_per_deg_lon = self.m_per_deg_lat * math.cos(math.radians(lat0))

    def to_lonlat(self, x, y):
        return (self.lon0 + x / self.m_per_deg_lon, self.lat0 + y / self.m_per_deg_lat)

    def to_xy(self, lon, lat):
        return ((lon - self.lon0) * self.m_per_deg_lon, (lat - self.lat0) * self.m_per_deg_lat)


def _coord(v):
    # About 0.1 mm; keeps the files small and the text exact to read back.
    return round(v, 9)


class LinkGeom:
    """One link: a straight run from junction `start` to junction `end` on the right-hand side of
    the street's centre line. Offsets are metres to the right of the centre line; `along` is metres
    from the start junction's centre."""

    def __init__(self, frame, link_id, start, end, direction, lanes, lane_width, spacing, rank, adas_every=1):
        self.frame = frame
        self.id = link_id
        self.start_node, self.start_xy = start
        self.end_node, self.end_xy = end
        self.direction = direction
        (ux, uy), self.bearing = _DIRECTIONS[direction]
        self.u = (ux, uy)
        self.right = (uy, -ux)
        self.length = math.hypot(self.end_xy[0] - self.start_xy[0], self.end_xy[1] - self.start_xy[1])
        self.lanes = lanes
        self.lane_width = lane_width
        self.spacing = spacing
        self.rank = rank
        self.adas_every = adas_every
        self.speed_limit = SPEED_BY_LANES[lanes]
        self.pre = []  # link ids, ascending
        self.nxt = []

    # ---- geometry -----------------------------------------------------------------------------
    def xy(self, along, offset):
        return (self.start_xy[0] + self.u[0] * along + self.right[0] * offset,
                self.start_xy[1] + self.u[1] * along + self.right[1] * offset)

    def lonlat(self, along, offset):
        return self.frame.to_lonlat(*self.xy(along, offset))

    def locate(self, x, y):
        """(along, offset) of a point of the local frame."""
        dx, dy = x - self.start_xy[0], y - self.start_xy[1]
        return (dx * self.u[0] + dy * self.u[1], dx * self.right[0] + dy * self.right[1])

    def stations(self):
        n = max(1, int(round(self.length / self.spacing)))
        return [self.length * i / n for i in range(n + 1)]

    def polyline(self, offset):
        return [[_coord(c) for c in self.lonlat(a, offset)] for a in self.stations()]

    def lane_centre_offset(self, lane):
        return (lane - 0.5) * self.lane_width

    def half_width(self):
        return self.lanes * self.lane_width

    # ---- attributes -----------------------------------------------------------------------------
    def lane_id(self, lane):
        return self.id * 100 + lane

    def edge_id(self, index):  # index 0 is the centre line, `lanes` the kerb
        return self.id * 100 + 50 + index

    def edge_cross(self, index):
        if index == 0 or index == self.lanes:
            return CROSS_UNABLE
        return _INNER_EDGE_CROSS[index - 1]

    def lane_type(self, lane):
        return LANE_TYPE_KERB_OF_FOUR if self.lanes == 4 and lane == 4 else LANE_TYPE_REGULAR

    def crossing_span(self):
        """The pedestrian crossing before the end junction: `along` from, to (4 m wide), clear of
        the junction box of the widest street (4 lanes of 3.5 m)."""
        return (self.length - 22.0, self.length - 18.0)

    def crossing_polygon(self):
        a0, a1 = self.crossing_span()
        w = self.half_width()
        corners = [(a0, 0.0), (a1, 0.0), (a1, w), (a0, w)]
        return [[_coord(c) for c in self.lonlat(a, o)] for a, o in corners]


def build_grid(frame, nx, ny, block_m, spacing, ew_lanes, ns_lanes, lane_width=3.5, adas_every=1):
    """Links of an nx * ny grid of junctions `block_m` apart. Street j running east-west has
    ew_lanes(j) lanes per direction, street i running north-south ns_lanes(i). Link ids count from
    1001 in a fixed order: east-west segments row by row (eastbound, then westbound), then
    north-south segments column by column (northbound, then southbound). Lanes get an ADAS
    sample at every `adas_every`-th vertex, the last vertex always included."""
    def node(i, j):
        return (j * nx + i + 1, (i * block_m, j * block_m))

    links = []
    next_id = [1001]

    def add(start, end, direction, lanes, rank):
        links.append(LinkGeom(frame, next_id[0], start, end, direction, lanes, lane_width, spacing, rank,
                              adas_every))
        next_id[0] += 1

    for j in range(ny):
        for i in range(nx - 1):
            a, b = node(i, j), node(i + 1, j)
            add(a, b, "E", ew_lanes(j), 2)
            add(b, a, "W", ew_lanes(j), 2)
    for i in range(nx):
        for j in range(ny - 1):
            a, b = node(i, j), node(i, j + 1)
            add(a, b, "N", ns_lanes(i), 3)
            add(b, a, "S", ns_lanes(i), 3)

    by_start, by_end = {}, {}
    for link in links:
        by_start.setdefault(link.start_node, []).append(link)
        by_end.setdefault(link.end_node, []).append(link)
    for link in links:
        # No U-turns: the reverse link of the same segment is neither predecessor nor successor.
        link.nxt = sorted(l.id for l in by_start.get(link.end_node, []) if l.end_node != link.start_node)
        link.pre = sorted(l.id for l in by_end.get(link.start_node, []) if l.start_node != link.end_node)
    return links


def link_record(link, by_id):
    """The HdLink JSON record (keys as the field lists name them; absent keys keep defaults)."""
    def link_id(v):
        return {"lValue": v, "vcttiTileIds": []}  # the tile writer fills in the tiles

    def lane_record(lane):
        offset = link.lane_centre_offset(lane)
        line = link.polyline(offset)
        nxt = [by_id[n].lane_id(min(lane, by_id[n].lanes)) for n in link.nxt]
        pre = [by_id[p].lane_id(min(lane, by_id[p].lanes)) for p in link.pre]
        return {
            "liId": {"lValue": link.lane_id(lane)},
            "lLeftEdgeId": link.edge_id(lane - 1),
            "lRightEdgeId": link.edge_id(lane),
            "nSeqNum": lane,
            "nDirection": 2,
            "nType": link.lane_type(lane),
            "strArrows": "C",
            "nWidth": int(round(link.lane_width * 1000)),
            "nMaxSpeed": link.speed_limit,
            "vctvdGeoLink": line,
            "vctlaLaneAdas": [
                {"nSeqNum": k, "dLon": p[0], "dLat": p[1], "dOutAzimuth": link.bearing}
                for k, p in enumerate(line) if k % link.adas_every == 0 or k == len(line) - 1],
            "vctliPreLaneId": [{"lValue": v} for v in pre],
            "vctliNxtLaneId": [{"lValue": v} for v in nxt],
        }

    def edge_record(index):
        return {
            "lId": link.edge_id(index),
            "nNum": index,
            "nCross": link.edge_cross(index),
            "vctvdGeoLink": link.polyline(index * link.lane_width),
        }

    start = link.lonlat(0.0, 0.0)
    end = link.lonlat(link.length, 0.0)
    return {
        "liId": link_id(link.id),
        "jcStartJunc": {"lId": link.start_node, "vctdGeoNode": [_coord(start[0]), _coord(start[1])]},
        "jcEndJunc": {"lId": link.end_node, "vctdGeoNode": [_coord(end[0]), _coord(end[1])]},
        "dLength": link.length,
        "nLaneNum": link.lanes,
        "nDirection": 2,
        "nRank": link.rank,
        "nType": 1,
        "dStartAngle": link.bearing,
        "strName": "%s %d" % (link.direction, link.id),
        "nSpeedLimit": link.speed_limit,
        "vctvdGeoLink": link.polyline(link.half_width() / 2.0),
        "vctheEdge": [edge_record(e) for e in range(link.lanes + 1)],
        "vcthlLane": [lane_record(k) for k in range(1, link.lanes + 1)],
        "vctcrCrossing": [{"lId": link.id * 100 + 90, "vctvdGeoArea": link.crossing_polygon()}],
        "vctliPreLinkId": [link_id(v) for v in link.pre],
        "vctliNxtLinkId": [link_id(v) for v in link.nxt],
    }


def write_links_json(path, links):
    by_id = {l.id: l for l in links}
    with open(path, "w") as f:
        json.dump({"links": [link_record(l, by_id) for l in links]}, f, separators=(",", ":"))


def find_tilewriter(explicit=None):
    candidates = [explicit, os.environ.get("QL_TILEWRITER")]
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    candidates += [os.path.join(root, d, "ql_tilewriter") for d in ("build", "build-release")]
    for c in candidates:
        if c and os.path.isfile(c) and os.access(c, os.X_OK):
            return c
    raise SystemExit("make_sample_map: ql_tilewriter not found (build it, or pass --tilewriter / set QL_TILEWRITER)")


def write_map(links, out_dir, tilewriter, depth):
    """LINKS.json into a scratch directory, then the tile writer into out_dir."""
    os.makedirs(out_dir, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="ql_city_")
    try:
        links_json = os.path.join(scratch, "LINKS.json")
        write_links_json(links_json, links)
        subprocess.run([tilewriter, links_json, out_dir, "--depth", str(depth)], check=True,
                       stdout=subprocess.DEVNULL)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


# ---- the sample city ----------------------------------------------------------------------------

# 3 x 3 junctions 200 m apart. Longitude 116.40 (the border between tile columns 5819 and 5820)
# cuts the first block of every east-west street, so those links lie in two tiles.
SAMPLE_LON0 = 116.3985
SAMPLE_LAT0 = 39.905
SAMPLE_DEPTH = 5


def sample_city():
    frame = Frame(SAMPLE_LON0, SAMPLE_LAT0)
    return build_grid(frame, 3, 3, 200.0, 25.0, adas_every=2,
                      ew_lanes=lambda j: (2, 3, 1)[j],
                      ns_lanes=lambda i: (1, 4, 2)[i])


class TracePoint:
    """One row of the drive trace with what the map says there (None: off the map)."""

    def __init__(self, note, lat, lon, heading, link=None, lane=None, along=None, in_cross=False):
        self.note = note
        self.lat, self.lon, self.heading = lat, lon, heading
        self.link, self.lane, self.along, self.in_cross = link, lane, along, in_cross

    def expected_foot(self):
        """(lat, lon) of the lane centre abreast of the position: the foot on the lane line."""
        lon, lat = self.link.lonlat(self.along, self.link.lane_centre_offset(self.lane))
        return lat, lon


def sample_trace(links):
    """A drive east on the middle street (3 lanes), across the tile border, through the centre
    junction, then north on the four-lane street, with a GPS glitch off the map on the way."""
    def find(direction, start_node):
        return next(l for l in links if l.direction == direction and l.start_node == start_node)

    east1 = find("E", 4)    # middle street, junction 4 -> 5 (crosses lon 116.40)
    east2 = find("E", 5)    # junction 5 -> 6
    north = find("N", 5)    # four-lane street, junction 5 -> 8
    north_in = find("N", 2)  # four-lane street, junction 2 -> 5 (ends in the centre junction)

    rows = []

    def on_lane(note, link, lane, along, lateral=0.0, heading=None, in_cross=False):
        lon, lat = link.lonlat(along, link.lane_centre_offset(lane) + lateral)
        rows.append(TracePoint(note, _coord(lat), _coord(lon), link.bearing if heading is None else heading,
                               link, lane, along, in_cross))

    on_lane("middle street, lane 2", east1, 2, 30.0, heading=91.5)
    on_lane("lane 2, 0.6 m right of the lane centre", east1, 2, 70.0, lateral=0.6, heading=89.0)
    on_lane("changing to lane 3", east1, 3, 110.0, lateral=-1.2, heading=95.0)
    on_lane("east of the tile border", east1, 3, 140.0, heading=90.0)
    on_lane("lane 3", east1, 3, 165.0, heading=90.0)
    a0, a1 = east1.crossing_span()
    on_lane("in the pedestrian crossing", east1, 3, (a0 + a1) / 2.0, heading=90.0, in_cross=True)
    # In the centre junction box the eastbound lanes of the next link overlap the northbound lanes
    # of the link that ends there: the heading picks one.
    on_lane("junction box, heading east", east2, 2, 5.0, heading=80.0)
    lon, lat = east2.lonlat(5.0, east2.lane_centre_offset(2))
    along_n, offset_n = north_in.locate(*east2.frame.to_xy(lon, lat))
    rows.append(TracePoint("same position, heading north (turning left)", _coord(lat), _coord(lon), 10.0,
                           north_in, int(offset_n // north_in.lane_width) + 1, along_n))
    on_lane("northbound, lane 2", north, 2, 30.0, heading=2.0)
    on_lane("lane 3", north, 3, 70.0, heading=359.0)
    # A GPS glitch in the middle of a block, more than 80 m from every lane.
    lon, lat = east1.frame.to_lonlat(300.0, 300.0)
    rows.append(TracePoint("off the map (block interior)", _coord(lat), _coord(lon), 0.0))
    on_lane("kerb lane 4", north, 4, 110.0, heading=1.0)
    return rows


def write_trace(path, rows):
    with open(path, "w") as f:
        f.write("lat,lon,heading\n")
        for r in rows:
            f.write("%.9f,%.9f,%.1f\n" % (r.lat, r.lon, r.heading))


# ---- the dense city for benchmarks -------------------------------------------------------------

DENSE_LON0 = 116.30
DENSE_LAT0 = 39.85
DENSE_DEPTH = 6


def dense_city(n):
    """n x n junctions 150 m apart, streets of 2 to 4 lanes, a vertex every 10 m: 4 n (n - 1)
    links (n = 23 gives 2024)."""
    frame = Frame(DENSE_LON0, DENSE_LAT0)
    return build_grid(frame, n, n, 150.0, 10.0,
                      ew_lanes=lambda j: 2 + j % 3,
                      ns_lanes=lambda i: 2 + (i + 1) % 3)


def random_positions(links, count, seed=1):
    """`count` positions on lane centres +-1 m, with the lane's bearing +-20 degrees as heading,
    away from the link ends; rows of (lat, lon, heading)."""
    rng = random.Random(seed)
    rows = []
    for _ in range(count):
        link = links[rng.randrange(len(links))]
        lane = rng.randint(1, link.lanes)
        along = rng.uniform(20.0, link.length - 20.0)
        lon, lat = link.lonlat(along, link.lane_centre_offset(lane) + rng.uniform(-1.0, 1.0))
        rows.append((lat, lon, (link.bearing + rng.uniform(-20.0, 20.0)) % 360.0))
    return rows


def main(argv=None):
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--tilewriter", help="path of ql_tilewriter (default: $QL_TILEWRITER or build/)")
    ap.add_argument("--out", default=os.path.join(here, "examples", "sample_map"))
    ap.add_argument("--dense", type=int, metavar="N", help="write the dense N x N benchmark city instead")
    ap.add_argument("--positions", type=int, default=0, help="with --dense: also write positions.csv")
    args = ap.parse_args(argv)
    tilewriter = find_tilewriter(args.tilewriter)
    if args.dense:
        links = dense_city(args.dense)
        write_map(links, args.out, tilewriter, DENSE_DEPTH)
        if args.positions:
            with open(os.path.join(args.out, "positions.csv"), "w") as f:
                f.write("lat,lon,heading\n")
                for lat, lon, h in random_positions(links, args.positions):
                    f.write("%.9f,%.9f,%.3f\n" % (lat, lon, h))
        print("make_sample_map: %d links in %s" % (len(links), args.out))
        return 0
    links = sample_city()
    write_map(links, args.out, tilewriter, SAMPLE_DEPTH)
    write_trace(os.path.join(args.out, "trace.csv"), sample_trace(links))
    print("make_sample_map: %d links in %s" % (len(links), args.out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
