// The position request end to end in C++: MapInterface::GetMapData over the dense generated city
// of tools/DenseCity.h (the same layout as `tools/make_sample_map.py --dense 23`), which the
// answer digest test reads too: 23 x 23 junctions 150 m apart,
// one link per direction of every street segment (2024 links), 2 to 4 lanes of 3.5 m, a vertex
// every 10 m, an ADAS sample per lane vertex, a pedestrian crossing before every junction,
// binary tiles at quadtree depth 6. 100,000 positions on lane centres (+-1 m) with headings
// within 20 degrees of the lane's bearing.
//
//   BM_GetMapData          mean time per request, cycling through the positions
//   BM_GetMapDataLatency   every request timed on its own: median and p99 in the counters
//   BM_GetMapDataScaling/N the same on a city of the same street density over N times the area
//                          (71 x 71 junctions for 10, 157 x 157 for 50; 50 only with
//                          QL_BENCH_50X=1 in the environment: its tiles take some 1.2 GB
//                          on disk and 4 GB in memory while written); positions over all of it
//
// The larger cities lie east of the first, in tiles of their own, and share the process's map.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "DenseCity.h"
#include "MapInterface.h"
#include "Quietly.h"
#include "TileWriter.h"

namespace {

using qlw::city::Position;

constexpr std::size_t kPositions = 100000;

struct Bench {
  ql::MapInterface map;
  std::vector<Position> positions;
  std::size_t links = 0;
};

struct Scale {
  int area;     // times the first city's
  int nodes;    // junctions per row and column
  double east;  // degrees east of the first city: each in tiles of its own, all in one zone
};
constexpr Scale kScales[] = {{1, qlw::city::kNodes, 0.0}, {10, 71, 1.5}, {50, 157, 0.5}};

// Writes and loads the city of that area once per process; the library's console output goes to
// /dev/null.
Bench& Setup(int area = 1) {
  static std::map<int, Bench*> benches;
  Bench*& bench = benches[area];
  if (bench != nullptr) return *bench;
  const Scale* scale = nullptr;
  for (const Scale& s : kScales) {
    if (s.area == area) scale = &s;
  }
  if (scale == nullptr) std::abort();
  bench = new Bench;  // lives until the process ends, like the map it holds
  std::string dir = (std::filesystem::temp_directory_path() / "ql_bench_city_XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) std::abort();
  const std::vector<qlw::city::Segment> segs = qlw::city::Segments(scale->nodes);
  {
    std::vector<ql::HdLink> links = qlw::city::Links(segs);
    qlw::city::ShiftEast(links, scale->east);
    bench->links = links.size();
    qlw::WriteProject(dir, links, qlw::city::kDepth);
  }
  qlbench::Quietly([&] { bench->map.Init(dir + "/", "config_binary.json"); });
  bench->positions = qlw::city::LanePositions(segs, kPositions);
  for (Position& q : bench->positions) q.p.dLon += scale->east;
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);  // every tile is cached by now
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

// Every request timed on its own, the positions in order.
void TimeEach(benchmark::State& state, Bench& b) {
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
  state.counters["links"] = static_cast<double>(b.links);
}

void BM_GetMapDataLatency(benchmark::State& state) { TimeEach(state, Setup()); }
BENCHMARK(BM_GetMapDataLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_GetMapDataScaling(benchmark::State& state) { TimeEach(state, Setup(static_cast<int>(state.range(0)))); }
BENCHMARK(BM_GetMapDataScaling)
    ->Apply([](benchmark::internal::Benchmark* b) {
      b->Arg(1)->Arg(10);
      const char* fifty = std::getenv("QL_BENCH_50X");
      if (fifty != nullptr && std::string(fifty) == "1") b->Arg(50);
    })
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
