// The nearest SD node, SdLib::GetNearestNode, on a generated SD map: a street grid of 7.3 km x
// 7.3 km around 113.30 E, 23.10 N (tiles no other benchmark uses), streets every 100 m both ways
// with a node every 10 m along them (101,251 nodes, each linked to its street neighbours), written
// as binary tiles at quadtree depth 6 by the tile writer: 20 tiles. 100,000 random positions over
// the grid, each searched in a box reaching 45 m or 500 m to each side (P2R, built beforehand).
// Every tile is cached by a first pass, so the figures are those of the search, not of loading.
//
//   BM_SdGetNearestNodeLatency/<half-size>  every call timed on its own: median and p99 in the
//   counters, and the share of calls that found a node

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "CoordSys.h"
#include "MapConfig.h"
#include "SdLib.h"
#include "TileWriter.h"

namespace {

const ql::Point kOrigin(113.30, 23.10, 0.0);
constexpr int kUnits = 730;       // grid points per side, 10 m apart
constexpr int kStreetEvery = 10;  // a street every 10 grid points, 100 m
constexpr double kUnit = 10.0;    // metres
constexpr int kDepth = 6;
constexpr std::size_t kPositions = 100000;

ql::Point At(double x, double y) {
  const ql::XYZ o = ql::P2XYZ(kOrigin);
  const ql::Point p = ql::XYZ2P(ql::XYZ(o.dX + x, o.dY + y, 0.0));
  return ql::Point(p.dLon, p.dLat, 0.0);
}

bool OnStreet(int i, int j) {
  return i >= 0 && j >= 0 && i < kUnits && j < kUnits && (i % kStreetEvery == 0 || j % kStreetEvery == 0);
}

std::vector<ql::SdNode> GridNodes() {
  std::vector<ql::SdNode> nodes;
  auto id = [](int i, int j) { return ql::SdNodeId(At(i * kUnit, j * kUnit)); };
  for (int i = 0; i < kUnits; ++i) {
    for (int j = 0; j < kUnits; ++j) {
      if (!OnStreet(i, j)) continue;
      ql::SdNode n;
      n.id_p = id(i, j);
      n.speed_limit_big = 60;
      n.speed_limit_small = 30;
      const int di[] = {1, -1, 0, 0}, dj[] = {0, 0, 1, -1};
      for (int k = 0; k < 4; ++k) {
        if (!OnStreet(i + di[k], j + dj[k])) continue;
        const unsigned long rid = static_cast<unsigned long>(di[k] != 0 ? j : kUnits + i);  // the street's id
        n.outDegree.push_back(id(i + di[k], j + dj[k]));
        n.outLengths.push_back(kUnit);
        n.outRids.push_back(rid);
        n.inDegree.push_back(id(i + di[k], j + dj[k]));
        n.inLengths.push_back(kUnit);
        n.inRids.push_back(rid);
      }
      nodes.push_back(n);
    }
  }
  return nodes;
}

struct SdBench {
  ql::SdLib lib;
  std::vector<ql::Point> positions;
  std::size_t nodes = 0;
  std::size_t tiles = 0;
};

// Writes the map, points the SD store at it and caches every tile; the directory goes once loaded.
SdBench& Setup() {
  static SdBench* bench = [] {
    auto* b = new SdBench;  // lives until the process ends, like the SD store
    std::string tmpl = (std::filesystem::temp_directory_path() / "ql_bench_sd_XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    const std::vector<ql::SdNode> nodes = GridNodes();
    b->nodes = nodes.size();
    b->tiles = qlw::WriteSdProject(tmpl, nodes, kDepth).size();
    ql::MapConfig::tile_lon_interval = 0.02;
    ql::MapConfig::tile_lat_interval = 0.02;
    ql::MapConfig::qt_max_level = kDepth;
    ql::MapConfig::serialize_type_json1_binary2 = 2;
    ql::MapConfig::tile_encrypt = false;
    ql::MapConfig::sdConfig::save_dir_binary = tmpl + "/sd/binary/";

    std::mt19937_64 rng(20261210);
    const double side = (kUnits - 1) * kUnit;
    for (std::size_t i = 0; i < kPositions; ++i) {
      const double x = std::uniform_real_distribution<double>(0.0, side)(rng);
      const double y = std::uniform_real_distribution<double>(0.0, side)(rng);
      b->positions.push_back(At(x, y));
    }
    double dist = 0.0;
    for (int i = 0; i <= kUnits; i += 50) {
      for (int j = 0; j <= kUnits; j += 50)
        b->lib.GetNearestNode(At(i * kUnit, j * kUnit), ql::P2R(At(i * kUnit, j * kUnit), 600.0f, 600.0f), dist);
    }
    std::error_code ec;
    std::filesystem::remove_all(tmpl, ec);
    return b;
  }();
  return *bench;
}

void BM_SdGetNearestNodeLatency(benchmark::State& state) {
  SdBench& b = Setup();
  const float half = static_cast<float>(state.range(0));
  std::vector<ql::Rect2D> boxes;
  boxes.reserve(b.positions.size());
  for (const ql::Point& p : b.positions) boxes.push_back(ql::P2R(p, half, half));
  std::vector<double> us(b.positions.size());
  std::size_t found = 0;
  for (auto _ : state) {
    for (std::size_t i = 0; i < b.positions.size(); ++i) {
      double dist = 0.0;
      const auto t0 = std::chrono::steady_clock::now();
      const ql::SdNode* node = b.lib.GetNearestNode(b.positions[i], boxes[i], dist);
      const auto t1 = std::chrono::steady_clock::now();
      benchmark::DoNotOptimize(node);
      found += node != nullptr ? 1 : 0;
      us[i] = std::chrono::duration<double, std::micro>(t1 - t0).count();
    }
  }
  std::sort(us.begin(), us.end());
  state.counters["median_us"] = us[us.size() / 2];
  state.counters["p99_us"] = us[us.size() * 99 / 100];
  state.counters["found"] = static_cast<double>(found) / static_cast<double>(us.size() * state.iterations());
  state.counters["nodes"] = static_cast<double>(b.nodes);
  state.counters["tiles"] = static_cast<double>(b.tiles);
}
BENCHMARK(BM_SdGetNearestNodeLatency)->Arg(45)->Arg(500)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
