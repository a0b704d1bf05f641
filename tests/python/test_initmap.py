"""InitMap: the one initialisation per process, its console line and its failures."""

import json
import os

import pytest

from conftest import RESET, SAMPLE_MAP, project_path, run_child

# A position on lane 2 of link 1005 of the sample map, heading east.
ON_LANE = (39.9067495, 116.3988513, 90.0)


def test_init_runs_once_and_prints_its_line_in_order():
    child = run_child("""
        print("before")
        first = ql.InitMap(sys.argv[1], "config_binary.json")
        print("between")
        second = ql.InitMap(sys.argv[1], "config_json.json")
        print("after")
        emit([first, second, ql.GetMapData(*[float(v) for v in sys.argv[2:5]]).lOutRaodId])
    """, project_path(SAMPLE_MAP), *ON_LANE)
    assert child.results == [[True, False, 1005]]
    console = child.console
    first_line = "strPrjPath = %s, strCfgPath = config_binary.json g_isInit = 0" % project_path(SAMPLE_MAP)
    with open(os.path.join(SAMPLE_MAP, "config_binary.json")) as f:
        config_text = f.read()
    # No newline after the paths: the configuration echo follows on the same line.
    assert console.startswith("before\n" + first_line + config_text)
    assert "d_name : 5819,1995\n" in console and "d_name : 5820,1995\n" in console
    # The second call reads neither configuration nor tiles: only its line, then Python's.
    second_line = "strPrjPath = %s, strCfgPath = config_json.json g_isInit = 1" % project_path(SAMPLE_MAP)
    assert console.endswith("between\n" + second_line + "after\n")


def _init_then_request(code_before_retry=""):
    """Child script: a failing InitMap (argv 1, 2), then optionally a fix, then a retry (argv 1, 3)."""
    return """
        out = {}
        try:
            ql.InitMap(sys.argv[1], sys.argv[2])
            out["error"] = None
        except Exception as e:
            out["error"] = [type(e).__name__, str(e)]
        out["request"] = record(ql.GetMapData(%r, %r, %r))
        %s
        out["retry"] = ql.InitMap(sys.argv[1], sys.argv[3])
        out["again"] = record(ql.GetMapData(%r, %r, %r))["lOutRaodId"]
        emit(out)
    """ % (ON_LANE + (code_before_retry,) + ON_LANE)


def test_missing_configuration_raises_runtime_error_and_leaves_the_module_uninitialised(sample_copy):
    child = run_child(_init_then_request(), project_path(sample_copy), "no_such.json", "config_binary.json")
    [out] = child.results
    kind, text = out["error"]
    assert kind == "RuntimeError"
    assert project_path(sample_copy) + "no_such.json" in text
    assert out["request"] == RESET
    assert (out["retry"], out["again"]) == (True, 1005)  # a later call initialises afresh


def test_malformed_configuration_raises_the_reader_error(sample_copy):
    (sample_copy / "bad.json").write_text('{"qt_max_level": [1]}')
    child = run_child(_init_then_request(), project_path(sample_copy), "bad.json", "config_binary.json")
    [out] = child.results
    assert out["error"][0] == "RuntimeError"
    assert out["error"][1].startswith("error at line :")
    assert "not a valid signed integral like number." in out["error"][1]
    assert out["request"] == RESET
    assert out["retry"] is True


def test_malformed_json_tile_raises_runtime_error_and_is_read_again_after_repair(sample_copy):
    tile = sample_copy / "hd" / "json" / "5820,1995"
    good = tile.read_bytes()
    tile.write_bytes(good[: len(good) // 2])
    fix = "open(%r, 'wb').write(open(%r, 'rb').read())" % (str(tile), os.path.join(SAMPLE_MAP, "hd", "json",
                                                                                   "5820,1995"))
    child = run_child(_init_then_request(fix), project_path(sample_copy), "config_json.json", "config_json.json")
    [out] = child.results
    assert out["error"][0] == "RuntimeError"
    assert out["error"][1].startswith("error at line :")
    assert out["request"] == RESET
    # The broken tile was neither cached nor marked failed, so the retry reads the repaired file.
    assert (out["retry"], out["again"]) == (True, 1005)


def test_rejected_binary_tile_raises_value_error_naming_the_file(sample_copy):
    tile = sample_copy / "hd" / "binary" / "5819,1995"
    data = bytearray(tile.read_bytes())
    data[0:4] = (0x7FFFFFF0).to_bytes(4, "little")  # a link count far beyond the file's size
    tile.write_bytes(bytes(data))
    child = run_child(_init_then_request(), project_path(sample_copy), "config_binary.json", "config_json.json")
    [out] = child.results
    assert out["error"][0] == "ValueError"
    assert "5819,1995" in out["error"][1]
    assert out["request"] == RESET
    assert (out["retry"], out["again"]) == (True, 1005)  # the JSON copy of the same map loads


def test_empty_tile_directory_initialises_and_finds_nothing(tmp_path):
    (tmp_path / "empty").mkdir()
    (tmp_path / "config.json").write_text(json.dumps({
        "tile_lon_interval": 0.02, "tile_lat_interval": 0.02, "qt_max_level": 5,
        "hd_config": {"save_dir_binary": "empty/"}, "serialize_type_json1_binary2": 2}))
    child = run_child("""
        ok = ql.InitMap(sys.argv[1], "config.json")
        emit([ok, record(ql.GetMapData(39.9067495, 116.3988513, 90.0))])
    """, project_path(tmp_path))
    assert child.results == [[True, RESET]]


def _unreadable_tiles(project):
    """A folder of entries named like tiles that the reader refuses: a folder and a FIFO."""
    (project / "unreadable" / "5830,1995").mkdir(parents=True)
    os.mkfifo(str(project / "unreadable" / "5831,1995"))  # no writer: refused, never waited on


_NO_GRID = " is not a grid interval (a finite number of degrees, 0 or more)"


@pytest.mark.parametrize("edits, prepare, kind, message", [
    pytest.param([('"hd/binary/"', '"no_such_dir/"')], None, "RuntimeError",
                 "tile directory not found or not readable: {project}no_such_dir/ (No such file or directory), "
                 "set by hd_config.save_dir_binary", id="MissingDirectory"),
    pytest.param([('"hd/json/"', '"config_json.json/"'),
                  ('"serialize_type_json1_binary2": 2', '"serialize_type_json1_binary2": 1')], None, "RuntimeError",
                 "tile directory not found or not readable: {project}config_json.json/ (Not a directory), "
                 "set by hd_config.save_dir_json", id="DirectoryIsAFile"),
    pytest.param([('"serialize_type_json1_binary2": 2', '"serialize_type_json1_binary2": 3')], None,
                 "RuntimeError", "tile directory not found or not readable: serialize_type_json1_binary2 is 3, "
                 "which names none (1: JSON tiles, 2: binary tiles)", id="TypeNamesNoDirectory"),
    # The directory setting is then the project path itself, which holds configuration files.
    pytest.param([('"hd_config"', '"hd_confg"')], None, "RuntimeError",
                 "tile directory holds no readable tile: {project}, set by hd_config.save_dir_binary",
                 id="MisspeltGroup"),
    pytest.param([('"save_dir_binary"', '"save_dir_binay"')], None, "RuntimeError",
                 "tile directory holds no readable tile: {project}, set by hd_config.save_dir_binary",
                 id="MisspeltDirectoryKey"),
    pytest.param([('"hd/binary/"', '"hd/"')], None, "RuntimeError",
                 "tile directory holds no readable tile: {project}hd/, set by hd_config.save_dir_binary",
                 id="FoldersOnly"),
    pytest.param([('"hd/binary/"', '"unreadable/"')], _unreadable_tiles, "RuntimeError",
                 "tile directory holds no readable tile: {project}unreadable/, set by hd_config.save_dir_binary",
                 id="EveryTileUnreadable"),
    pytest.param([('"tile_lon_interval": 0.02', '"tile_lon_interval": NaN')], None, "ValueError",
                 "configuration file {project}wrong.json: tile_lon_interval NaN" + _NO_GRID, id="LonIntervalNaN"),
    pytest.param([('"tile_lat_interval": 0.02', '"tile_lat_interval": "nan"')], None, "ValueError",
                 "configuration file {project}wrong.json: tile_lat_interval nan" + _NO_GRID,
                 id="LatIntervalQuotedNaN"),
    pytest.param([('"tile_lat_interval": 0.02', '"tile_lat_interval": 1e999')], None, "ValueError",
                 "configuration file {project}wrong.json: tile_lat_interval 1e999" + _NO_GRID,
                 id="LatIntervalHugeExponent"),
    pytest.param([('"tile_lon_interval": 0.02', '"tile_lon_interval": "-inf"')], None, "ValueError",
                 "configuration file {project}wrong.json: tile_lon_interval -inf" + _NO_GRID,
                 id="LonIntervalMinusInfinity"),
    pytest.param([('"tile_lon_interval": 0.02', '"tile_lon_interval": -0.02')], None, "ValueError",
                 "configuration file {project}wrong.json: tile_lon_interval -0.02" + _NO_GRID,
                 id="LonIntervalNegative"),
])
def test_initmap_without_a_map_raises_and_a_corrected_call_loads(sample_copy, edits, prepare, kind, message):
    config = (sample_copy / "config_binary.json").read_text()
    for old, new in edits:
        assert old in config
        config = config.replace(old, new)
    (sample_copy / "wrong.json").write_text(config)
    if prepare:
        prepare(sample_copy)
    child = run_child(_init_then_request(), project_path(sample_copy), "wrong.json", "config_binary.json")
    [out] = child.results
    assert out["error"] == [kind, message.format(project=project_path(sample_copy))]
    # Each entry refused by the reader is named once; the "." entries name no tile.
    named = [line for line in child.proc.stderr.splitlines() if line.startswith("tile file not readable: ")]
    assert len(named) == (2 if prepare else 0), named
    assert out["request"] == RESET
    assert (out["retry"], out["again"]) == (True, 1005)  # nothing was left behind

