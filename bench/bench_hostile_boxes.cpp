// Box searches over a tile whose one quadtree bucket enters every leaf (tools/HostileTiles.h),
// each call's time and the most heap it held (qlbench::TimeAndHeapPerCall):
//
//   BM_EveryLeaf_GetMapData_JsonDepth5     GetMapData on a 4.2 MB JSON tile of 100,000 pairs of
//                                          two alternating links, depth 5 (1,024 leaves)
//   BM_EveryLeaf_BoxSearch_BinaryDepth8    the HD box searches of a request on a 0.36 MB binary
//                                          tile of 7,500 pairs at depth 8 (65,536 leaves)
//   BM_EveryLeaf_SdNearest_Depth8          the nearest SD node in a 48 KB tile of 1,000 pairs at
//                                          depth 8

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "HeapPerCall.h"
#include "HostileTiles.h"
#include "MapConfig.h"
#include "MapInterface.h"
#include "Quietly.h"
#include "SdLib.h"
#include "SdStore.h"
#include "TestConfig.h"
#include "Tile.h"
#include "TileWriter.h"

namespace {

const ql::TileId kTile(5819, 1995);
const ql::Point kSpot(116.39, 39.91, 0);

void BM_EveryLeaf_GetMapData_JsonDepth5(benchmark::State& state) {
  static ql::MapInterface* map = [] {
    std::string dir = (std::filesystem::temp_directory_path() / "ql_bench_hostile_boxes_XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) std::abort();
    qlw::WriteTiles(dir, {{kTile, qlw::hostile::HdEveryLeafTile(kTile, 5, 100000, kSpot)}}, 5);
    auto* m = new ql::MapInterface;
    qlbench::Quietly([&] { m->Init(dir + "/", "config_json.json"); });
    std::filesystem::remove_all(dir);  // InitMap read every tile; the requests read no file
    return m;
  }();
  long link = 0;
  std::vector<long> pre, nxt;
  int laneCnt = 0, laneNum = 0, speed = 0, inCross = 0;
  ql::LaneType type{};
  ql::EdgeCrossType left{}, right{};
  double angle = 0;
  ql::Point foot;
  qlbench::TimeAndHeapPerCall(state, [&] {
    map->GetMapData(kSpot, 90.0, link, pre, nxt, laneCnt, laneNum, type, left, right, speed, angle, foot, inCross);
  });
}
BENCHMARK(BM_EveryLeaf_GetMapData_JsonDepth5)->Unit(benchmark::kMillisecond);

void BM_EveryLeaf_BoxSearch_BinaryDepth8(benchmark::State& state) {
  const qltest::ConfigGuard guard;  // the settings as they were, after the benchmark
  ql::MapConfig::qt_max_level = 8;
  ql::MapConfig::serialize_type_json1_binary2 = 2;
  ql::HdTile tile(kTile);
  const std::string bytes = qlw::EncodeBinary(qlw::hostile::HdEveryLeafTile(kTile, 8, 7500, kSpot));
  tile.Deserialize(bytes);
  state.counters["file_MB"] = static_cast<double>(bytes.size()) / 1e6;
  const ql::Rect2D box = ql::P2R(kSpot, 20, 20);
  std::vector<const ql::HdTile::Entry*> entries;
  qlbench::TimeAndHeapPerCall(state, [&] {
    entries.clear();
    tile.CollectEntriesInRect(box, entries);
    std::set<ql::HdLinkId> ids;
    tile.GetNodeIdsInRect(box, ids);
  });
}
BENCHMARK(BM_EveryLeaf_BoxSearch_BinaryDepth8)->Unit(benchmark::kMillisecond);

void BM_EveryLeaf_SdNearest_Depth8(benchmark::State& state) {
  const qltest::ConfigGuard guard;  // the settings as they were, after the benchmark
  ql::MapConfig::qt_max_level = 8;
  ql::MapConfig::serialize_type_json1_binary2 = 2;
  const ql::SdSerializeData d = qlw::hostile::SdEveryLeafTile(8, 1000, kSpot);
  const std::string bytes = qlw::EncodeBinary(d);
  ql::SdTile tile(kTile);
  tile.Deserialize(bytes);
  state.counters["file_MB"] = static_cast<double>(bytes.size()) / 1e6;
  const ql::Rect2D box = ql::P2R(kSpot, 45, 45);
  ql::SdNodeId id;
  double dist = 0;
  qlbench::TimeAndHeapPerCall(state, [&] { tile.GetNearestNodeId(kSpot, box, id, dist, false); });
}
BENCHMARK(BM_EveryLeaf_SdNearest_Depth8)->Unit(benchmark::kMillisecond);

}  // namespace
