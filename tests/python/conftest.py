"""Shared helpers: the module's state lives for the whole interpreter (InitMap runs once per
process), so every test that initialises the map runs its scenario in a fresh interpreter."""

import json
import os
import shutil
import subprocess
import sys
import textwrap

import pytest

SOURCE_DIR = os.environ.get("QL_SOURCE_DIR") or os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__))))
SAMPLE_MAP = os.path.join(SOURCE_DIR, "examples", "sample_map")

sys.path.insert(0, os.path.join(SOURCE_DIR, "tools"))
import make_sample_map  # noqa: E402  (the generator of the sample map: its geometry is the truth)

# The fourteen fields of MapInfo, in the order the module registers them.
FIELDS = ["isInMap", "lOutRaodId", "vctlOutPreRoadId", "vctlOutNxtRoadId", "nLaneCnt", "nOutLaneNum",
          "nOutLaneType", "nOutLeftEdgeCrossType", "nOutRightEdgeCrossType", "nOutSpeedLimit",
          "dOutLaneAngle", "ptOutFoot_lat", "ptOutFoot_lon", "isInCross"]

RESET = {name: ([] if name.startswith("vct") else 0) for name in FIELDS}

# Run at the start of every child interpreter. emit() writes one marked JSON line, after
# flushing whatever the library printed before it.
_PRELUDE = """
import json, sys
import libquilmar_python as ql
FIELDS = %r
def record(info):
    return {name: getattr(info, name) for name in FIELDS}
def emit(obj):
    print("@@" + json.dumps(obj), flush=True)
""" % (FIELDS,)


class Child:
    def __init__(self, proc):
        self.proc = proc
        self.stdout = proc.stdout
        self.results = [json.loads(line[2:]) for line in proc.stdout.splitlines() if line.startswith("@@")]

    @property
    def console(self):
        """What the child printed apart from the emitted results."""
        return "".join(line for line in self.proc.stdout.splitlines(keepends=True) if not line.startswith("@@"))


def run_child(code, *args, expect_ok=True, timeout=300):
    """Runs the prelude and `code` in a fresh interpreter (argv[1:] = args), stdout a pipe; a child
    still running after `timeout` seconds is killed and fails the test."""
    proc = subprocess.run([sys.executable, "-c", _PRELUDE + textwrap.dedent(code)] + [str(a) for a in args],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=timeout)
    if expect_ok and proc.returncode != 0:
        raise AssertionError("child failed (%d):\n%s\n%s" % (proc.returncode, proc.stdout[-3000:],
                                                             proc.stderr[-3000:]))
    return Child(proc)


def project_path(directory):
    """The library joins project and configuration paths as they are: the project ends in '/'."""
    return os.path.join(str(directory), "")


@pytest.fixture
def sample_copy(tmp_path):
    """A private copy of the sample map, to damage or edit."""
    dst = tmp_path / "map"
    shutil.copytree(SAMPLE_MAP, dst)
    return dst


@pytest.fixture(scope="session")
def tilewriter():
    path = os.environ.get("QL_TILEWRITER")
    if not path or not os.path.isfile(path):
        for build in ("build", "build-release"):
            candidate = os.path.join(SOURCE_DIR, build, "ql_tilewriter")
            if os.path.isfile(candidate):
                path = candidate
                break
        else:
            pytest.skip("ql_tilewriter not built (set QL_TILEWRITER)")
    return path


@pytest.fixture(scope="session")
def sample_links():
    return make_sample_map.sample_city()


@pytest.fixture(scope="session")
def sample_trace(sample_links):
    return make_sample_map.sample_trace(sample_links)
