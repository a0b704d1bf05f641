"""Requests on the sample city, checked against the geometry its generator laid out."""

import filecmp
import json
import math
import os
import subprocess

import pytest

import make_sample_map
from conftest import FIELDS, RESET, SAMPLE_MAP, project_path, run_child

CONFIGS = ["config_json.json", "config_binary.json", "config_encrypted.json"]

# Runs every (lat, lon, heading) of argv[3] (JSON) after InitMap(argv[1], argv[2]).
_REQUESTS = """
    ql.InitMap(sys.argv[1], sys.argv[2])
    emit([record(ql.GetMapData(lat, lon, heading)) for lat, lon, heading in json.loads(sys.argv[3])])
"""


def metres_apart(lat1, lon1, lat2, lon2):
    k = make_sample_map.EARTH_RADIUS_M * math.pi / 180.0
    return math.hypot((lat1 - lat2) * k, (lon1 - lon2) * k * math.cos(math.radians(lat1)))


def requests(config, positions, project=SAMPLE_MAP):
    child = run_child(_REQUESTS, project_path(project), config, json.dumps(positions))
    return child.results[0], child.console


@pytest.fixture(scope="module")
def trace_answers(sample_trace):
    positions = [(p.lat, p.lon, p.heading) for p in sample_trace]
    return {config: requests(config, positions)[0] for config in CONFIGS}


def test_the_three_encodings_give_identical_answers(trace_answers):
    assert trace_answers["config_binary.json"] == trace_answers["config_json.json"]
    assert trace_answers["config_encrypted.json"] == trace_answers["config_json.json"]


def test_trace_answers_match_the_generated_geometry(trace_answers, sample_trace, sample_links):
    by_id = {link.id: link for link in sample_links}
    for point, got in zip(sample_trace, trace_answers["config_binary.json"]):
        if point.link is None:
            assert got == RESET, point.note
            continue
        link, lane = point.link, point.lane
        expected = {
            "isInMap": 1, "lOutRaodId": link.id,
            "vctlOutPreRoadId": link.pre, "vctlOutNxtRoadId": link.nxt,
            "nLaneCnt": link.lanes, "nOutLaneNum": lane, "nOutLaneType": link.lane_type(lane),
            "nOutLeftEdgeCrossType": link.edge_cross(lane - 1), "nOutRightEdgeCrossType": link.edge_cross(lane),
            "nOutSpeedLimit": link.speed_limit, "dOutLaneAngle": link.bearing,
            "isInCross": int(point.in_cross),
        }
        assert {k: got[k] for k in expected} == expected, point.note
        assert by_id[got["lOutRaodId"]] is link
        foot_lat, foot_lon = point.expected_foot()
        assert metres_apart(got["ptOutFoot_lat"], got["ptOutFoot_lon"], foot_lat, foot_lon) < 0.02, point.note


def test_heading_picks_between_overlapping_lanes(sample_trace):
    # In the centre junction box an eastbound and a northbound lane overlap.
    [east, north] = [p for p in sample_trace if p.note.startswith(("junction box", "same position"))]
    assert (east.lat, east.lon) == (north.lat, north.lon)
    headings = [80.0, 10.0, 45.1, 44.9, 45.0, 355.0, 134.0, -30.0, 440.0, -350.0, 715.0, -390.0]
    got, _ = requests("config_binary.json", [(east.lat, east.lon, h) for h in headings])
    # 45.1 is nearer 90 (44.9 off) than 0 (45.1 off); at 45.0 the later candidate (the
    # northbound link, listed after the eastbound one by id) wins the tie; -30 is 30 from 0.
    # Headings beyond a turn answer as their value modulo 360: 80, 10, 355 and 330.
    assert east.link.id < north.link.id
    e, n = east.link.id, north.link.id
    assert [r["lOutRaodId"] for r in got] == [e, n, e, n, n, n, e, n, e, n, n, n]


def test_an_interval_far_finer_than_a_tile_names_no_tile(sample_copy, sample_trace):
    # 1e-13 degrees is finite and positive, but a box's walk would take billions of steps.
    config = json.loads(open(os.path.join(SAMPLE_MAP, "config_binary.json")).read())
    config.update({"tile_lon_interval": 1e-13, "tile_lat_interval": 1e-13})
    (sample_copy / "fine.json").write_text(json.dumps(config))
    p = sample_trace[0]
    got, console = requests("fine.json", [(0.0, 0.0, 0.0), (1e-9, -1e-9, 90.0), (p.lat, p.lon, p.heading)],
                            project=sample_copy)
    assert got == [RESET, RESET, RESET]
    assert "MapInterface::GetMapData()" not in console


def test_swapped_or_distant_coordinates_find_nothing(sample_trace):
    p = sample_trace[0]
    got, console = requests("config_binary.json", [(p.lon, p.lat, p.heading), (p.lat + 0.5, p.lon, p.heading)])
    assert got == [RESET, RESET]
    assert "MapInterface::GetMapData()" not in console  # not on a lane: no message


def test_the_result_is_the_module_record_and_lists_are_copies(sample_trace):
    on = sample_trace[0]
    off = next(p for p in sample_trace if p.link is None)
    child = run_child("""
        ql.InitMap(sys.argv[1], "config_binary.json")
        on, off = json.loads(sys.argv[2]), json.loads(sys.argv[3])
        first = ql.GetMapData(*on)
        out = {"first": record(first)}
        second = ql.GetMapData(*off)
        out["first_after_second"] = record(first)          # the same record, now reset
        third = ql.GetMapData(*on)
        pre = first.vctlOutPreRoadId
        pre.append(99)                                     # a copy: the record keeps its list
        out["pre_after_append"] = third.vctlOutPreRoadId
        first.vctlOutNxtRoadId = [7, 8]                    # assignment writes the record
        first.nLaneCnt = 9
        out["third_after_assign"] = record(third)
        out["reset_by_next"] = record(ql.GetMapData(*off))
        emit(out)
    """, project_path(SAMPLE_MAP), json.dumps([on.lat, on.lon, on.heading]),
        json.dumps([off.lat, off.lon, off.heading]))
    [out] = child.results
    assert out["first"]["lOutRaodId"] == on.link.id
    assert out["first_after_second"] == RESET
    assert out["pre_after_append"] == on.link.pre
    assert out["third_after_assign"] == dict(out["first"], vctlOutNxtRoadId=[7, 8], nLaneCnt=9)
    assert out["reset_by_next"] == RESET


def test_failed_request_prints_its_step_and_resets_even_the_crossing_flag(tmp_path, tilewriter, sample_links,
                                                                          sample_trace):
    # The same city with the ADAS samples of one lane removed: inside its pedestrian crossing the
    # lane is still found (and the crossing too), but its angle cannot be read.
    point = next(p for p in sample_trace if p.in_cross)
    lane_id = point.link.lane_id(point.lane)
    by_id = {link.id: link for link in sample_links}
    records = [make_sample_map.link_record(link, by_id) for link in sample_links]
    for rec in records:
        for lane in rec["vcthlLane"]:
            if lane["liId"]["lValue"] == lane_id:
                lane["vctlaLaneAdas"] = []
    links_json = tmp_path / "LINKS.json"
    links_json.write_text(json.dumps({"links": records}))
    subprocess.run([tilewriter, str(links_json), str(tmp_path / "map"), "--depth", "5"], check=True,
                   stdout=subprocess.DEVNULL)
    # Python's own lines around the requests keep their place (stdout is a pipe: both buffered).
    child = run_child("""
        ql.InitMap(sys.argv[1], "config_binary.json")
        position = json.loads(sys.argv[2])
        print("<first>")
        first = record(ql.GetMapData(*position))
        print("<second>")
        second = record(ql.GetMapData(*position))
        print("<end>")
        emit([first, second])
    """, project_path(tmp_path / "map"), json.dumps([point.lat, point.lon, point.heading]))
    assert child.results == [[RESET, RESET]]
    line = "MapInterface::GetMapData(), get lane angle failed.\n"
    assert child.console.endswith("<first>\n" + line + "<second>\n" + line + "<end>\n")


def test_committed_sample_map_matches_its_generator(tmp_path, tilewriter):
    out = tmp_path / "regenerated"
    make_sample_map.main(["--tilewriter", tilewriter, "--out", str(out)])
    compared = 0
    for root, _, files in os.walk(SAMPLE_MAP):
        for name in files:
            committed = os.path.join(root, name)
            rel = os.path.relpath(committed, SAMPLE_MAP)
            assert filecmp.cmp(committed, os.path.join(out, rel), shallow=False), \
                "%s is stale: rerun tools/make_sample_map.py" % rel
            compared += 1
    assert compared == sum(len(f) for _, _, f in os.walk(out))
