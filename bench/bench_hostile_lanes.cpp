// Requests and lane searches at a spot that every lane of a link holds (tools/HostileTiles.h,
// LanesHoldingSpot), each call's time and the most heap it held (qlbench::TimeAndHeapPerCall). The
// link has `lanes` lanes (the benchmark's argument); the shapes:
//
//   OwnEdgesLongTileList   lanes of their own ids and edges; the link id lists its tile 256 times
//   SharedLaneIdSamples    every lane with one id, the first with 10,000 ADAS samples
//   SharedLongEdges        every lane between the same two edges of 10,000 vertices
//
// for GetMapData (BM_HostileLanes_GetMapData), the lane form of GetLocateEndpoints and of
// GetNearEndpoints (20 m boxes).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "HdLib.h"
#include "HeapPerCall.h"
#include "HostileTiles.h"
#include "MapInterface.h"
#include "Quietly.h"
#include "TileWriter.h"

namespace {

using qlw::hostile::LaneShape;

ql::MapInterface& Map() {
  static ql::MapInterface* map = new ql::MapInterface;  // the one HD store's facade, never freed
  return *map;
}

constexpr std::size_t kTiles = 256;
constexpr std::size_t kSamples = 10000;
constexpr std::size_t kVertices = 10000;

struct Shape {
  long link;
  LaneShape shape;
  std::size_t size;
};
const Shape kShapes[] = {{81, LaneShape::kOwnEdges, 2},
                         {82, LaneShape::kSharedLaneId, kSamples},
                         {83, LaneShape::kSharedEdges, kVertices}};

// The spot of shape s with `lanes` lanes: each shape and size in a tile of its own.
ql::Point Spot(int s, int lanes) { return ql::Point(117.51 + 0.04 * s, lanes == 256 ? 38.51 : 38.55, 0); }

// Writes the shapes of one size as a project of binary tiles and loads it into the one HD store,
// once per process and size; the console goes to /dev/null while InitMap lists the directory.
// Empty, or the error of a tile the limits refuse (the store then keeps what it held).
std::string Load(int lanes) {
  std::vector<ql::HdLink> links;
  for (int s = 0; s < 3; ++s) {
    links.push_back(qlw::hostile::LanesHoldingSpot(Spot(s, lanes), kShapes[s].link * 10000 + lanes, lanes,
                                                   kShapes[s].shape, kShapes[s].size));
  }
  qlw::TileMap tiles = qlw::BuildTiles(links, 5);
  const ql::TileId own = ql::P2TId(Spot(0, lanes));
  qlw::hostile::LongTileList(tiles.at(own), own, kShapes[0].link * 10000 + lanes, kTiles);
  std::string dir = (std::filesystem::temp_directory_path() / "ql_bench_hostile_lanes_XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) std::abort();
  qlw::WriteTiles(dir, tiles, 5);
  std::string error;
  qlbench::Quietly([&] {
    try {
      Map().Init(dir + "/", "config_binary.json");
    } catch (const std::exception& e) {
      error = e.what();
    }
  });
  std::filesystem::remove_all(dir);  // InitMap read every tile; the calls read no file
  return error;
}

// Whether the shapes of that size are loaded; a benchmark of a refused size reports the refusal.
bool Loaded(benchmark::State& state) {
  static std::map<int, std::string> errors;
  const int lanes = static_cast<int>(state.range(0));
  auto at = errors.find(lanes);
  if (at == errors.end()) at = errors.emplace(lanes, Load(lanes)).first;
  if (at->second.empty()) return true;
  state.SkipWithError(("refused at load: " + at->second).c_str());
  return false;
}

void BM_HostileLanes_GetMapData(benchmark::State& state, int s) {
  if (!Loaded(state)) return;
  ql::MapInterface& map = Map();
  const ql::Point spot = Spot(s, static_cast<int>(state.range(0)));
  long link = 0;
  std::vector<long> pre, nxt;
  int laneCnt = 0, laneNum = 0, speed = 0, inCross = 0;
  ql::LaneType type{};
  ql::EdgeCrossType left{}, right{};
  double angle = 0;
  ql::Point foot;
  const auto ask = [&] {
    pre.clear();
    nxt.clear();
    map.GetMapData(spot, 0.0, link, pre, nxt, laneCnt, laneNum, type, left, right, speed, angle, foot, inCross);
  };
  ask();  // the tile's plane coordinates are worked out by the first request into it
  qlbench::TimeAndHeapPerCall(state, ask);
  state.counters["lanes"] = laneCnt;
}

void BM_HostileLanes_GetLocateEndpoints(benchmark::State& state, int s) {
  if (!Loaded(state)) return;
  const ql::Point spot = Spot(s, static_cast<int>(state.range(0)));
  std::vector<ql::LaneEndpoint> out;
  qlbench::TimeAndHeapPerCall(state, [&] {
    out.clear();
    out.shrink_to_fit();
    ql::HdLib::GetInstance()->GetLocateEndpoints(spot, 20.0f, 20.0f, out);
  });
  state.counters["endpoints"] = static_cast<double>(out.size());
}

void BM_HostileLanes_GetNearEndpoints(benchmark::State& state, int s) {
  if (!Loaded(state)) return;
  const ql::Point spot = Spot(s, static_cast<int>(state.range(0)));
  std::vector<ql::LaneEndpoint> out;
  std::vector<ql::Point> feet;
  std::vector<double> distances;
  qlbench::TimeAndHeapPerCall(state, [&] {
    out = {};
    feet = {};
    distances = {};
    ql::HdLib::GetInstance()->GetNearEndpoints(spot, 20.0f, 20.0f, feet, out, distances);
  });
  state.counters["endpoints"] = static_cast<double>(out.size());
}

const char* const kNames[] = {"OwnEdgesLongTileList", "SharedLaneIdSamples", "SharedLongEdges"};

int Register() {
  for (int s = 0; s < 3; ++s) {
    const std::string name = kNames[s];
    benchmark::RegisterBenchmark(("BM_HostileLanes_GetMapData/" + name).c_str(), BM_HostileLanes_GetMapData, s)
        ->Arg(256)
        ->Arg(1024)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_HostileLanes_GetLocateEndpoints/" + name).c_str(),
                                 BM_HostileLanes_GetLocateEndpoints, s)
        ->Arg(256)
        ->Arg(1024)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_HostileLanes_GetNearEndpoints/" + name).c_str(),
                                 BM_HostileLanes_GetNearEndpoints, s)
        ->Arg(256)
        ->Arg(1024)
        ->Unit(benchmark::kMillisecond);
  }
  return 0;
}
const int kRegistered = Register();

}  // namespace
