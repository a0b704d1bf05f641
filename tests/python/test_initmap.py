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


@pytest.mark.parametrize("settings, named", [
    ({"hd_config": {"save_dir_binary": "no_such_dir/"}, "serialize_type_json1_binary2": 2},
     "tile directory not found or not readable: {project}no_such_dir/"),
    ({"hd_config": {"save_dir_json": "config_json.json/"}, "serialize_type_json1_binary2": 1},  # a file
     "tile directory not found or not readable: {project}config_json.json/"),
    ({"serialize_type_json1_binary2": 3}, "serialize_type_json1_binary2 is 3"),
])
def test_tile_directory_that_cannot_be_listed_raises_and_a_corrected_call_loads(sample_copy, settings, named):
    config = json.loads((sample_copy / "config_binary.json").read_text())
    config.update(settings)
    (sample_copy / "wrong.json").write_text(json.dumps(config))
    child = run_child(_init_then_request(), project_path(sample_copy), "wrong.json", "config_binary.json")
    [out] = child.results
    assert out["error"][0] == "RuntimeError"
    assert out["error"][1].startswith("tile directory not found or not readable: ")
    assert named.format(project=project_path(sample_copy)) in out["error"][1]
    assert out["request"] == RESET
    assert (out["retry"], out["again"]) == (True, 1005)  # nothing was left behind
