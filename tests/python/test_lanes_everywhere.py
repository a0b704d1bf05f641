"""Requests through the module on maps far from the sample city: a two-way link whose lanes are
stored +2, +1, -1, -2, west and south of Greenwich and across a 3-degree zone border, and
positions off the earth or at the poles."""

import json
import math
import subprocess

import pytest

import make_sample_map
from conftest import RESET, project_path, run_child

LANE_WIDTH = 3.5
LENGTH = 80.0

# The zone border at 58.5 W, in the south: the western half of the link lies in zone -19, the
# eastern half in zone -18, 4.5 degrees west of that zone's meridian.
LON0, LAT0 = -58.5, -34.6

# Stored order, lane number, type, the edge indices on its left and right (edge 0 is the
# northern kerb, edge 4 the southern), and its direction. Eastbound lanes +1, +2 lie south of
# the centre line, westbound -1, -2 north of it.
LANES = [
    (2, 11, 3, 4, 90.0),
    (1, 12, 2, 3, 90.0),
    (-1, 13, 2, 1, 270.0),
    (-2, 14, 1, 0, 270.0),
]


def edge_cross(index):
    return [1, 3, 4, 2, 1][index]


def two_way_link(frame):
    def line(offset_south, westwards=False):
        xs = [-LENGTH / 2 + 10.0 * k for k in range(int(LENGTH / 10) + 1)]
        if westwards:
            xs.reverse()
        return [list(frame.to_lonlat(x, -offset_south)) for x in xs]

    lanes = []
    for seq, lane_type, left, right, bearing in LANES:
        strip = min(left, right)
        centre = line((strip + 0.5) * LANE_WIDTH, westwards=bearing == 270.0)
        lanes.append({
            "liId": {"lValue": 5000 + strip},
            "lLeftEdgeId": 500 + left,
            "lRightEdgeId": 500 + right,
            "nSeqNum": seq,
            "nType": lane_type,
            "nWidth": 3500,
            "vctvdGeoLink": centre,
            "vctlaLaneAdas": [{"nSeqNum": k, "dLon": p[0], "dLat": p[1], "dOutAzimuth": bearing}
                              for k, p in enumerate(centre)],
        })
    return {
        "liId": {"lValue": 50, "vcttiTileIds": []},
        "nLaneNum": 4,
        "nSpeedLimit": 70,
        "dStartAngle": 90.0,
        "vctvdGeoLink": line(2 * LANE_WIDTH),
        "vctheEdge": [{"lId": 500 + e, "nCross": edge_cross(e), "vctvdGeoLink": line(e * LANE_WIDTH)}
                      for e in range(5)],
        "vcthlLane": lanes,
    }


@pytest.fixture(scope="module")
def two_way_map(tmp_path_factory, tilewriter):
    root = tmp_path_factory.mktemp("two_way")
    links_json = root / "LINKS.json"
    links_json.write_text(json.dumps({"links": [two_way_link(make_sample_map.Frame(LON0, LAT0))]}))
    subprocess.run([tilewriter, str(links_json), str(root / "map"), "--depth", "5"], check=True,
                   stdout=subprocess.DEVNULL)
    return root / "map"


_REQUESTS = """
    ql.InitMap(sys.argv[1], sys.argv[2])
    emit([record(ql.GetMapData(lat, lon, heading)) for lat, lon, heading in json.loads(sys.argv[3])])
"""


def requests(project, positions, config="config_binary.json"):
    child = run_child(_REQUESTS, project_path(project), config, json.dumps(positions))
    return child.results[0], child.console


def metres_apart(lat1, lon1, lat2, lon2):
    k = make_sample_map.EARTH_RADIUS_M * math.pi / 180.0
    return math.hypot((lat1 - lat2) * k, (lon1 - lon2) * k * math.cos(math.radians(lat1)))


@pytest.mark.parametrize("config", ["config_json.json", "config_binary.json"])
def test_every_lane_of_a_two_way_link_answers_with_its_own_attributes(two_way_map, config):
    frame = make_sample_map.Frame(LON0, LAT0)
    cases, positions = [], []
    for seq, lane_type, left, right, bearing in LANES:
        strip = min(left, right)
        for x in (-30.3, -2.7, 3.1, 27.9):  # both sides of the zone border at x = 0
            lon, lat = frame.to_lonlat(x, -((strip + 0.5) * LANE_WIDTH + 0.6))
            cases.append((seq, lane_type, left, right, bearing, frame.to_lonlat(x, -(strip + 0.5) * LANE_WIDTH)))
            positions.append((lat, lon, bearing))
    got, console = requests(two_way_map, positions, config)
    assert "MapInterface::GetMapData()" not in console
    for (seq, lane_type, left, right, bearing, (foot_lon, foot_lat)), answer in zip(cases, got):
        expected = {
            "isInMap": 1, "lOutRaodId": 50, "nLaneCnt": 4, "nOutLaneNum": seq, "nOutLaneType": lane_type,
            "nOutLeftEdgeCrossType": edge_cross(left), "nOutRightEdgeCrossType": edge_cross(right),
            "nOutSpeedLimit": 70, "dOutLaneAngle": bearing,
        }
        assert {k: answer[k] for k in expected} == expected
        assert metres_apart(answer["ptOutFoot_lat"], answer["ptOutFoot_lon"], foot_lat, foot_lon) < 0.05


def test_positions_off_the_earth_or_at_a_pole_answer_not_on_the_map(two_way_map):
    nan, inf = float("nan"), float("inf")
    positions = [(nan, LON0, 0.0), (LAT0, nan, 0.0), (inf, LON0, 0.0), (LAT0, -inf, 0.0), (95.0, LON0, 0.0),
                 (-90.0, LON0, 0.0), (90.0, 0.0, 0.0), (89.9999, LON0, 0.0), (-89.99999, 116.4, 0.0)]
    got, console = requests(two_way_map, positions)
    assert got == [RESET] * len(positions)
    assert "MapInterface::GetMapData()" not in console
