"""Loading that leaves nothing behind when it fails, reads only regular files, and refuses bad
paths, depths and tiles with errors that name them."""

import json
import os
import shutil
import subprocess

import make_sample_map
from conftest import RESET, SAMPLE_MAP, project_path, run_child

# A position on lane 2 of link 1005 of the sample map, heading east; it lies in tile 5819,1995,
# the first tile of the map in tile order.
ON_LANE = (39.9067495, 116.3988513, 90.0)
SECOND_TILE = "5820,1995"


def write_city(tilewriter, out, links, depth, id_offset=0):
    """The sample city written by the tile writer, its link ids moved by id_offset."""
    by_id = {link.id: link for link in links}
    records = [make_sample_map.link_record(link, by_id) for link in links]
    for rec in records:
        for link_id in [rec["liId"]] + rec["vctliPreLinkId"] + rec["vctliNxtLinkId"]:
            link_id["lValue"] += id_offset
    links_json = os.path.join(str(out) + ".links.json")
    with open(links_json, "w") as f:
        json.dump({"links": records}, f)
    subprocess.run([tilewriter, links_json, str(out), "--depth", str(depth)], check=True,
                   stdout=subprocess.DEVNULL)
    return out


def test_failed_init_of_one_map_leaves_no_tile_for_the_next(tmp_path, tilewriter, sample_links, sample_copy):
    # Map X is the sample city under other link ids; its second tile is damaged, so InitMap on X
    # raises after its first tile (which holds ON_LANE) was read.
    x = write_city(tilewriter, tmp_path / "x", sample_links, 5, id_offset=50000)
    (x / "hd" / "json" / SECOND_TILE).write_text('{"m_keys": [')
    child = run_child("""
        out = {}
        try:
            ql.InitMap(sys.argv[1], "config_json.json")
        except RuntimeError as e:
            out["error"] = str(e)
        out["y"] = ql.InitMap(sys.argv[2], "config_json.json")
        out["answer"] = ql.GetMapData(%r, %r, %r).lOutRaodId
        print()
        emit(out)
    """ % ON_LANE, project_path(x), project_path(sample_copy))
    [out] = child.results
    assert out["error"].endswith(" in tile file %shd/json/%s" % (project_path(x), SECOND_TILE))
    # Only Y's tiles answer: link 1005, not X's 51005.
    assert (out["y"], out["answer"]) == (True, 1005)


def test_retry_with_another_depth_reads_every_tile_at_that_depth(tmp_path, tilewriter, sample_links):
    # Tiles written for depth 6. The first InitMap uses a configuration of depth 5 and fails at the
    # second tile; the retry, with the right depth and the tile repaired, must not keep the first
    # tile as it was built at depth 5.
    city = write_city(tilewriter, tmp_path / "city", sample_links, 6)
    config = json.loads((city / "config_json.json").read_text())
    config["qt_max_level"] = 5
    (city / "depth5.json").write_text(json.dumps(config))
    tile = city / "hd" / "json" / SECOND_TILE
    (tmp_path / "good").write_bytes(tile.read_bytes())
    tile.write_text("not json")
    child = run_child("""
        out = {}
        try:
            ql.InitMap(sys.argv[1], "depth5.json")
        except RuntimeError as e:
            out["error"] = True
        open(sys.argv[2], "wb").write(open(sys.argv[3], "rb").read())
        out["retry"] = ql.InitMap(sys.argv[1], "config_json.json")
        out["answer"] = record(ql.GetMapData(%r, %r, %r))
        print()
        emit(out)
    """ % ON_LANE, project_path(city), str(tile), str(tmp_path / "good"))
    [out] = child.results
    assert out["error"] and out["retry"]
    fresh = run_child("""
        ql.InitMap(sys.argv[1], "config_json.json")
        print()
        emit(record(ql.GetMapData(%r, %r, %r)))
    """ % ON_LANE, project_path(city))
    assert out["answer"] == fresh.results[0]
    assert out["answer"]["lOutRaodId"] == 1005


def _init_result(project, config, timeout=60):
    """InitMap in a fresh interpreter: ["ok", result] or [exception type, text], and its stderr."""
    child = run_child("""
        try:
            out = ["ok", ql.InitMap(sys.argv[1], sys.argv[2])]
        except Exception as e:
            out = [type(e).__name__, str(e)]
        print()  # the console line of InitMap ends without a line feed
        emit(out)
    """, project, config, timeout=timeout)
    return child.results[0], child.proc.stderr


def test_configuration_that_is_not_a_regular_file_raises_as_a_missing_one_does(tmp_path):
    os.mkfifo(str(tmp_path / "fifo.json"))  # no writer: an ordinary read would wait forever
    os.symlink("/dev/zero", str(tmp_path / "zero.json"))
    os.symlink("/dev/urandom", str(tmp_path / "random.json"))
    (tmp_path / "dir.json").mkdir()
    missing, _ = _init_result(project_path(tmp_path), "missing.json")
    assert missing == ["RuntimeError", "cannot open configuration file %smissing.json" % project_path(tmp_path)]
    for name in ("fifo.json", "zero.json", "random.json", "dir.json"):
        got, _ = _init_result(project_path(tmp_path), name)
        assert got == ["RuntimeError", "cannot open configuration file %s%s (not a regular file)"
                       % (project_path(tmp_path), name)]


def test_files_over_one_gib_are_refused_before_they_are_read(sample_copy):
    with open(str(sample_copy / "huge.json"), "wb") as f:
        f.truncate((1 << 30) + 1)  # sparse: no disk is used
    got, _ = _init_result(project_path(sample_copy), "huge.json")
    assert got == ["ValueError", "%shuge.json: 1073741825 bytes, more than the 1073741824 (1 GiB) a tile or "
                   "configuration file may have" % project_path(sample_copy)]
    with open(str(sample_copy / "hd" / "binary" / "5821,1995"), "wb") as f:
        f.truncate((1 << 30) + 1)
    got, _ = _init_result(project_path(sample_copy), "config_binary.json")
    assert got[0] == "ValueError" and got[1].startswith("%shd/binary/5821,1995: 1073741825 bytes"
                                                       % project_path(sample_copy))


def test_tile_entries_that_are_not_regular_files_are_named_and_the_map_loads(sample_copy):
    tiles = sample_copy / "hd" / "binary"
    os.mkfifo(str(tiles / "5821,1995"))
    os.symlink("/dev/zero", str(tiles / "5822,1995"))
    (tiles / "5823,1995").mkdir()
    child = run_child("""
        ok = ql.InitMap(sys.argv[1], "config_binary.json")
        print()
        emit([ok, ql.GetMapData(%r, %r, %r).lOutRaodId])
    """ % ON_LANE, project_path(sample_copy), timeout=60)
    assert child.results == [[True, 1005]]
    assert child.proc.stderr.splitlines() == [
        "tile file not readable: %s%s (not a regular file)" % (project_path(tiles), name)
        for name in ("5821,1995", "5822,1995", "5823,1995")]


def test_nul_byte_in_a_path_raises_value_error_naming_the_argument():
    child = run_child("""
        out = []
        for project, config in ((sys.argv[1] + "\\0/tmp/", "config_binary.json"), (sys.argv[1], "config\\0.json")):
            try:
                ql.InitMap(project, config)
                out.append(None)
            except ValueError as e:
                out.append(str(e).split(" holds")[0])
        out.append(ql.InitMap(sys.argv[1], "config_binary.json"))  # nothing was initialised before
        print()
        emit(out)
    """, project_path(SAMPLE_MAP))
    assert child.results == [["projectPath", "configPath", True]]


def test_depth_outside_zero_to_sixteen_is_reported_as_written(sample_copy):
    for written in ("1e10", "4294967301", "-1", "17"):
        config = json.loads((sample_copy / "config_binary.json").read_text())
        (sample_copy / "depth.json").write_text(
            json.dumps(config).replace('"qt_max_level": 5', '"qt_max_level": ' + written))
        got, _ = _init_result(project_path(sample_copy), "depth.json")
        assert got == ["ValueError", "configuration file %sdepth.json: qt_max_level %s is outside 0..16"
                       % (project_path(sample_copy), written)]


def test_tile_with_a_one_value_position_tuple_is_refused_naming_file_and_link(sample_copy):
    path = sample_copy / "hd" / "json" / "5819,1995"
    content = json.loads(path.read_text())
    link = next(l for l in content["m_values"] if l["liId"]["lValue"] == 1005)
    link["vcthlLane"][1]["vctvdGeoLink"][3] = link["vcthlLane"][1]["vctvdGeoLink"][3][:1]
    path.write_text(json.dumps(content))
    got, _ = _init_result(project_path(sample_copy), "config_json.json")
    assert got == ["ValueError", "%s: link 1005: vcthlLane[1].vctvdGeoLink[3]: a coordinate tuple of 1 value, "
                   "where a position needs a longitude and a latitude" % path]
