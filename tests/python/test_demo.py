"""examples/demo.py, run as a new user runs it, prints the drive through the sample city: one
table row per trace position, on the lane the generator laid the position on."""

import os
import subprocess
import sys

import pytest

from conftest import SAMPLE_MAP, SOURCE_DIR

DEMO = os.path.join(SOURCE_DIR, "examples", "demo.py")
COLUMNS = ["#", "lat", "lon", "head", "link", "lane", "of", "type", "L/R", "km/h", "angle", "foot lat",
           "foot lon", "cross"]


def run_demo(*args):
    """The demo in a fresh interpreter; it finds the module on PYTHONPATH as the tests do."""
    proc = subprocess.run([sys.executable, DEMO] + list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True, timeout=300)
    assert proc.returncode == 0, proc.stdout[-3000:] + proc.stderr[-3000:]
    return proc.stdout


def table(stdout):
    """The title line, the rows between the two rules, and the lines after the second rule."""
    lines = stdout.splitlines()
    rules = [i for i, line in enumerate(lines) if line and set(line) == {"-"}]
    assert len(rules) == 2, stdout
    first, second = rules
    assert first > 0 and len(lines[first]) == len(lines[first - 1]), "a rule as wide as the title"
    return lines[first - 1], lines[first + 1:second], lines[second + 1:]


@pytest.mark.parametrize("args", [
    (),  # as the README runs it: the sample map, binary tiles, its own trace
    (SAMPLE_MAP, "config_json.json"),
    (SAMPLE_MAP, "config_encrypted.json", os.path.join(SAMPLE_MAP, "trace.csv")),
], ids=["defaults", "json", "encrypted-with-trace"])
def test_demo_prints_the_trace_on_its_lanes(args, sample_trace):
    title, rows, after = table(run_demo(*args))
    for name in COLUMNS:
        assert name in title
    assert len(rows) == len(sample_trace)
    on_map = 0
    for n, (row, point) in enumerate(zip(rows, sample_trace), 1):
        cells = row.split()
        assert cells[:4] == ["%d" % n, "%.7f" % point.lat, "%.7f" % point.lon, "%.0f" % point.heading], row
        if point.link is None:
            assert cells[4:] == ["-"] * 9 + ["off", "map"], row
            continue
        on_map += 1
        link, lane = point.link, point.lane
        assert len(cells) == len(COLUMNS), row
        assert cells[4:10] == ["%d" % link.id, "%d" % lane, "%d" % link.lanes, "%d" % link.lane_type(lane),
                               "%d/%d" % (link.edge_cross(lane - 1), link.edge_cross(lane)),
                               "%d" % link.speed_limit], (point.note, row)
        assert float(cells[10]) == pytest.approx(link.bearing), (point.note, row)
        # The foot lies on the lane's centre line: a few metres at most from a position on the lane.
        foot_lat, foot_lon = float(cells[11]), float(cells[12])
        assert abs(foot_lat - point.lat) + abs(foot_lon - point.lon) < 5e-5, (point.note, row)
        assert cells[13] == ("yes" if point.in_cross else "no"), (point.note, row)
    assert 0 < on_map < len(sample_trace), "the trace holds positions on and off the map"
    assert after[0].startswith("%d of %d positions on the map." % (on_map, len(sample_trace))), after
    # The legend names every column, and every lane type and crossing code the table shows.
    legend = "\n".join(after[1:])
    for name in COLUMNS:
        assert name in legend, name
    shown_types = {int(r.split()[7]) for r in rows if "off" not in r}
    for code in shown_types:
        assert "%d is a" % code in legend or "%d the" % code in legend, code
    for code, meaning in [(0, "unknown"), (1, "not crossable"), (2, "both ways"), (3, "only leftwards"),
                          (4, "only rightwards")]:
        assert "%d %s" % (code, meaning) in legend
