#!/usr/bin/env python3
"""End-to-end benchmark through the Python module on a dense generated city.

    python3 bench/bench_e2e.py [--build build-release] [--nodes 23] [--positions 100000]

Generates `tools/make_sample_map.py --dense N` (23 x 23 junctions 150 m apart: 2024 links of 2 to
4 lanes, a vertex every 10 m, junctions with pedestrian crossings; JSON, binary and encrypted
tiles) and N random on-lane positions with headings, then, each in a fresh interpreter:

  - InitMap load throughput: MB of tile bytes per second, binary and JSON (wall time of InitMap,
    which also reads and echoes the configuration and lists the directory);
  - peak RSS (VmHWM) of the process after InitMap, against the binary tile bytes, and its
    growth over the RSS just before InitMap; and the peak after the requests, when every tile has
    been reached;
  - the time of every single GetMapData call from Python (perf_counter_ns around the call):
    median, p99 and mean, and the share of positions found on the map.

The library's console output (configuration echo, directory listing) goes to /dev/null.
"""

import argparse
import json
import os
import platform
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tools"))
import make_sample_map  # noqa: E402

# Runs in a fresh interpreter: argv = project, config, positions file or "", result file.
_CHILD = r"""
import json, os, sys, time
project, config, positions_csv, result_file = sys.argv[1:5]

def status_kib(key):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(key):
                return int(line.split()[1])
    return 0

def rss_now_kib():
    return status_kib("VmRSS:")

# VmHWM, not ru_maxrss: Linux carries ru_maxrss over execve, so it would show the parent's peak.
def peak_rss_kib():
    return status_kib("VmHWM:")

import libquilmar_python as ql
out = {"rss_before_kib": rss_now_kib()}
positions = []
if positions_csv:
    with open(positions_csv) as f:
        next(f)
        positions = [tuple(float(v) for v in line.split(",")) for line in f]
out["rss_with_positions_kib"] = rss_now_kib()
t0 = time.perf_counter()
ok = ql.InitMap(project, config)
out["init_s"] = time.perf_counter() - t0
out["init_ok"] = ok
out["peak_rss_after_init_kib"] = peak_rss_kib()
out["rss_after_init_kib"] = rss_now_kib()
if positions:
    clock = time.perf_counter_ns
    get = ql.GetMapData
    for lat, lon, heading in positions[:2000]:  # warm caches and branch predictors
        get(lat, lon, heading)
    times = []
    hits = 0
    t_all = clock()
    for lat, lon, heading in positions:
        t = clock()
        info = get(lat, lon, heading)
        times.append(clock() - t)
        hits += info.isInMap
    out["total_ns"] = clock() - t_all
    # The timer's own cost, to read the figures against.
    empty = []
    for _ in range(10000):
        t = clock()
        empty.append(clock() - t)
    empty.sort()
    times.sort()
    out["median_us"] = times[len(times) // 2] / 1000.0
    out["p99_us"] = times[len(times) * 99 // 100] / 1000.0
    out["mean_us"] = sum(times) / len(times) / 1000.0
    out["timer_us"] = empty[len(empty) // 2] / 1000.0
    out["on_map"] = hits / len(positions)
    out["calls"] = len(positions)
out["peak_rss_kib"] = peak_rss_kib()
with open(result_file, "w") as f:
    json.dump(out, f)
"""


def tile_bytes(directory):
    return sum(os.path.getsize(os.path.join(directory, n)) for n in os.listdir(directory))


def run_child(build, project, config, positions, scratch):
    result = os.path.join(scratch, "result.json")
    env = dict(os.environ, PYTHONPATH=build)
    subprocess.run([sys.executable, "-c", _CHILD, project, config, positions, result], env=env, check=True,
                   stdout=subprocess.DEVNULL)
    with open(result) as f:
        return json.load(f)


def machine():
    model = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            model = next(line.split(":", 1)[1].strip() for line in f if line.startswith("model name"))
    except (OSError, StopIteration):
        pass
    return "%s, %d CPUs, %s, Python %s" % (model, os.cpu_count() or 0, platform.platform(),
                                           platform.python_version())


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--build", default=None, help="build directory with the module and ql_tilewriter")
    ap.add_argument("--nodes", type=int, default=23)
    ap.add_argument("--positions", type=int, default=100000)
    ap.add_argument("--keep", help="write the city here and keep it")
    args = ap.parse_args()
    build = args.build
    if build is None:
        build = next((os.path.join(ROOT, d) for d in ("build-release", "build")
                      if os.path.isfile(os.path.join(ROOT, d, "ql_tilewriter"))), None)
        if build is None:
            sys.exit("bench_e2e: no build directory with ql_tilewriter; pass --build")
    build = os.path.abspath(build)

    scratch = tempfile.mkdtemp(prefix="ql_e2e_")
    city = args.keep or os.path.join(scratch, "city")
    try:
        make_sample_map.main(["--tilewriter", os.path.join(build, "ql_tilewriter"), "--out", city,
                              "--dense", str(args.nodes), "--positions", str(args.positions)])
        project = os.path.join(city, "")
        binary_bytes = tile_bytes(os.path.join(city, "hd", "binary"))
        json_bytes = tile_bytes(os.path.join(city, "hd", "json"))
        links = 4 * args.nodes * (args.nodes - 1)

        print("machine: %s" % machine())
        print("map: %d links, binary tiles %.1f MB, JSON tiles %.1f MB" % (links, binary_bytes / 1e6,
                                                                          json_bytes / 1e6))
        rows = []
        # Loading is measured in interpreters that hold nothing else (no position list).
        load = {name: run_child(build, project, config, "", scratch)
                for name, config in (("binary", "config_binary.json"), ("JSON", "config_json.json"))}
        binary = run_child(build, project, "config_binary.json", os.path.join(city, "positions.csv"), scratch)
        for name, size in (("binary", binary_bytes), ("JSON", json_bytes)):
            r = load[name]
            rows.append(("InitMap %s load" % name, "%.1f MB/s" % (size / 1e6 / r["init_s"]),
                         "%.3f s for %.1f MB" % (r["init_s"], size / 1e6)))
        peak = load["binary"]["peak_rss_after_init_kib"] * 1024
        grown = peak - load["binary"]["rss_before_kib"] * 1024
        rows.append(("peak RSS after binary InitMap", "%.1f MB" % (peak / 1e6),
                     "%.2f x binary tile bytes; the interpreter with the module held %.1f MB before, so"
                     " InitMap added %.1f MB = %.2f x"
                     % (peak / binary_bytes, load["binary"]["rss_before_kib"] * 1024 / 1e6, grown / 1e6,
                        grown / binary_bytes)))
        # The requests' child also holds the position list: its growth before InitMap is taken off.
        after = (binary["peak_rss_kib"] - (binary["rss_with_positions_kib"] - binary["rss_before_kib"])) * 1024
        rows.append(("peak RSS after the requests", "%.1f MB" % (after / 1e6),
                     "%.2f x binary tile bytes (every tile reached, its lines' plane coordinates worked out;"
                     " the position list's own memory taken off)" % (after / binary_bytes)))
        rows.append(("GetMapData from Python, median", "%.2f us" % binary["median_us"],
                     "p99 %.2f us, mean %.2f us, timer %.2f us, %d calls, %.1f %% on the map"
                     % (binary["p99_us"], binary["mean_us"], binary["timer_us"], binary["calls"],
                        100.0 * binary["on_map"])))
        width = max(len(r[0]) for r in rows)
        for label, figure, note in rows:
            print("%-*s  %12s   %s" % (width, label, figure, note))
        print("targets: median GetMapData <= 3.5 us, binary load >= 400 MB/s, peak RSS <= 3.5 x binary tile bytes")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
