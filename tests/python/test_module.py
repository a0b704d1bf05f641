"""What the module registers, and how values cross into it, before any map is loaded."""

import pytest

import libquilmar_python as ql
from conftest import FIELDS, RESET, run_child


@pytest.mark.parametrize("args, kwargs, total", [
    ((), {}, 3),
    ((5,), {}, 7),
    ((), {"j": 10}, 11),
    ((2, 3), {}, 5),
    ((), {"j": 1, "i": -4}, -3),
    ((2147483647, -2147483648), {}, -1),
])
def test_add_defaults_and_names(args, kwargs, total):
    assert ql.add(*args, **kwargs) == total


@pytest.mark.parametrize("call", [
    lambda: ql.add(2147483648),  # the arguments are 32-bit ints
    lambda: ql.add("1"),
    lambda: ql.add(1.5),
    lambda: ql.add(k=1),
    lambda: ql.InitMap(1, 2),
    lambda: ql.InitMap("a/", "b.json", "c"),
    lambda: ql.InitMap(projectPath="a/", configPath="b.json"),  # positional only
    lambda: ql.GetMapData("39.9", 116.4, 0.0),
    lambda: ql.GetMapData(39.9, 116.4),
    lambda: ql.GetMapData(lat=39.9, lon=116.4, heading=0.0),
    lambda: ql.MapInfo(),  # no constructor: Python only receives the module's record
])
def test_wrong_calls_raise_type_error(call):
    with pytest.raises(TypeError):
        call()


def test_module_attributes_and_doc_strings():
    assert (ql.the_answer, ql.what, ql.__doc__) == (42, "World", "pybind11 example plugin")
    for fn, doc in [(ql.add, "A function which adds two numbers"), (ql.InitMap, "A function which init map"),
                    (ql.GetMapData, "A function which GetInfo")]:
        assert fn.__doc__.rstrip().endswith(doc)
    assert "i: int = 1, j: int = 2" in ql.add.__doc__


def test_map_info_registers_fourteen_fields_in_order():
    registered = [name for name in vars(ql.MapInfo) if not name.startswith("_")]
    assert registered == FIELDS


def test_get_map_data_before_init_map_returns_the_reset_record():
    child = run_child("""
        info = ql.GetMapData(39.9067495, 116.3988513, 90.0)   # on a lane of the sample map
        emit(record(info))
    """)
    assert child.results == [RESET]
    assert child.console == ""  # no library call, no message


def test_record_attributes_are_read_write_with_their_widths():
    child = run_child("""
        info = ql.GetMapData(0.0, 0.0, 0.0)
        out = {}
        info.lOutRaodId = 2**40 + 5            # 64-bit
        info.nLaneCnt = -7
        info.dOutLaneAngle = 3                 # an int is accepted for a float
        info.ptOutFoot_lat, info.ptOutFoot_lon = 39.5, 116.25
        info.vctlOutNxtRoadId = [1, -2, 2**62]
        out["set"] = record(info)
        errors = []
        for name, value in [("nLaneCnt", 2**31), ("isInMap", 1.5), ("lOutRaodId", 2**63),
                            ("dOutLaneAngle", "x"), ("vctlOutPreRoadId", [1.5]), ("vctlOutPreRoadId", 5)]:
            try:
                setattr(info, name, value)
                errors.append(None)
            except TypeError:
                errors.append("TypeError")
        out["errors"] = errors
        out["after_next_call"] = record(ql.GetMapData(0.0, 0.0, 0.0))
        emit(out)
    """)
    [out] = child.results
    expected = dict(RESET, lOutRaodId=2**40 + 5, nLaneCnt=-7, dOutLaneAngle=3.0, ptOutFoot_lat=39.5,
                    ptOutFoot_lon=116.25, vctlOutNxtRoadId=[1, -2, 2**62])
    assert out["set"] == expected
    assert out["errors"] == ["TypeError"] * 6
    assert out["after_next_call"] == RESET  # every request resets the record first
