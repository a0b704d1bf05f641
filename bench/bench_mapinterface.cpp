// The position request end to end in C++: MapInterface::GetMapData over the dense generated city
// of tools/DenseCity.h (the same layout as `tools/make_sample_map.py --dense 23`), which the
// answer digest test reads too: 23 x 23 junctions 150 m apart,
// one link per direction of every street segment (2024 links), 2 to 4 lanes of 3.5 m, a vertex
// every 10 m, an ADAS sample per lane vertex, a pedestrian crossing before every junction,
// binary tiles at quadtree depth 6. 100,000 positions on lane centres (+-1 m) with headings
// within 20 degrees of the lane's bearing.
//
//   BM_GetMapData         mean time per request, cycling through the positions
//   BM_GetMapDataLatency  every request timed on its own: median and p99 in the counters

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "DenseCity.h"
#include "MapInterface.h"
#include "TileWriter.h"

namespace {

using qlw::city::Position;

constexpr std::size_t kPositions = 100000;

struct Bench {
  ql::MapInterface map;
  std::vector<Position> positions;
  std::string dir;
};

// Writes and loads the city once per process; the library's console output goes to /dev/null.
Bench& Setup() {
  static Bench* bench = [] {
    auto* b = new Bench;  // lives until the process ends, like the map it holds
    std::string tmpl = (std::filesystem::temp_directory_path() / "ql_bench_city_XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    b->dir = tmpl;
    const std::vector<qlw::city::Segment> segs = qlw::city::Segments();
    qlw::WriteProject(b->dir, qlw::city::Links(segs), qlw::city::kDepth);
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    b->map.Init(b->dir + "/", "config_binary.json");
    std::fflush(stdout);
    dup2(saved, 1);
    close(null);
    close(saved);
    b->positions = qlw::city::LanePositions(segs, kPositions);
    std::error_code ec;
    std::filesystem::remove_all(b->dir, ec);  // every tile is cached by now
    return b;
  }();
  return *bench;
}

struct Outputs {
  long linkId = 0;
  std::vector<long> pre, nxt;
  int laneCnt = 0, laneNum = 0, speed = 0, inCross = 0;
  ql::LaneType type{};
  ql::EdgeCrossType left{}, right{};
  double angle = 0.0;
  ql::Point foot;
};

bool Request(Bench& b, const Position& q, Outputs& o) {
  o.pre.clear();
  o.nxt.clear();
  return b.map.GetMapData(q.p, q.heading, o.linkId, o.pre, o.nxt, o.laneCnt, o.laneNum, o.type, o.left, o.right,
                          o.speed, o.angle, o.foot, o.inCross);
}

void BM_GetMapData(benchmark::State& state) {
  Bench& b = Setup();
  Outputs o;
  std::size_t i = 0, hits = 0, calls = 0;
  for (auto _ : state) {
    hits += Request(b, b.positions[i], o) ? 1 : 0;
    benchmark::DoNotOptimize(o.foot);
    ++calls;
    if (++i == b.positions.size()) i = 0;
  }
  state.counters["on_map"] = static_cast<double>(hits) / static_cast<double>(calls);
}
BENCHMARK(BM_GetMapData)->Unit(benchmark::kMicrosecond);

void BM_GetMapDataLatency(benchmark::State& state) {
  Bench& b = Setup();
  Outputs o;
  std::vector<double> us(b.positions.size());
  std::size_t hits = 0;
  for (auto _ : state) {
    for (std::size_t i = 0; i < b.positions.size(); ++i) {
      const auto t0 = std::chrono::steady_clock::now();
      hits += Request(b, b.positions[i], o) ? 1 : 0;
      const auto t1 = std::chrono::steady_clock::now();
      us[i] = std::chrono::duration<double, std::micro>(t1 - t0).count();
    }
  }
  std::sort(us.begin(), us.end());
  state.counters["median_us"] = us[us.size() / 2];
  state.counters["p99_us"] = us[us.size() * 99 / 100];
  state.counters["on_map"] = static_cast<double>(hits) / static_cast<double>(us.size() * state.iterations());
}
BENCHMARK(BM_GetMapDataLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
