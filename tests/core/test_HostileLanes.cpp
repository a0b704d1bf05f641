// Requests and lane searches at a spot that every lane of a link holds, at the most lanes a tile may
// give a link (tools/HostileTiles.h, LanesHoldingSpot): the request reads what its candidates share
// once, and the searches' answers and heap are those of their lanes. Every operator new of this
// program is counted (HeapCount.cpp); times are the benchmark's (bench/bench_hostile_lanes.cpp).

#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "HdLib.h"
#include "HeapCount.h"
#include "HostileTiles.h"
#include "LinkLimits.h"
#include "MapInterface.h"
#include "MapRequest.h"
#include "TestFiles.h"
#include "TileWriter.h"

namespace {

using qlw::hostile::LaneShape;

constexpr int kLanes = static_cast<int>(ql::sc_nMaxLinkLanes);
constexpr std::size_t kTiles = ql::sc_nMaxLinkIdTiles;
constexpr std::size_t kSamples = 10000;   // ADAS samples of the first lane of the shared lane id
constexpr std::size_t kVertices = 10000;  // vertices of each of the two shared edges

// One spot per shape, each in a tile of its own.
struct Shape {
  const char* name;
  long link;
  ql::Point spot;
  LaneShape shape;
  std::size_t size;
  int laneNum;  // the request's answer: heading 0 ties every candidate, so the last one is taken
};
const Shape kShapes[] = {
    // Lanes of their own ids: the last candidate is lane 256.
    {"OwnEdgesLongTileList", 71, ql::Point(116.31, 39.91, 0), LaneShape::kOwnEdges, 2, kLanes},
    // One lane id: the lane of that id a lookup finds is the first, numbered 1.
    {"SharedLaneIdWithSamples", 72, ql::Point(116.35, 39.91, 0), LaneShape::kSharedLaneId, kSamples, 1},
    {"SharedLongEdges", 73, ql::Point(116.39, 39.91, 0), LaneShape::kSharedEdges, kVertices, kLanes},
};

void PrintTo(const Shape& s, std::ostream* os) { *os << s.name; }

struct Map {
  qltest::TempDir dir{"test_HostileLanes"};
  ql::MapInterface request;
  Map() {
    std::vector<ql::HdLink> links;
    for (const Shape& s : kShapes)
      links.push_back(qlw::hostile::LanesHoldingSpot(s.spot, s.link, kLanes, s.shape, s.size));
    qlw::TileMap tiles = qlw::BuildTiles(links, 5);
    const ql::TileId own = ql::P2TId(kShapes[0].spot);
    qlw::hostile::LongTileList(tiles.at(own), own, kShapes[0].link, kTiles);
    qlw::WriteTiles(dir.str(), tiles, 5);
    request.Init(dir.str() + "/", "config_binary.json");
  }
};

Map& TheMap() {
  static Map map;
  return map;
}

// The most heap call() held above what was live before it, and what it still holds after.
struct Heap {
  std::size_t peak = 0;
  std::size_t kept = 0;
};
template <class Call>
Heap Measure(Call&& call) {
  const std::size_t before = qltest::g_heap.live;
  qltest::g_heap.ResetPeak();
  call();
  return Heap{qltest::g_heap.peak - before, qltest::g_heap.live - before};
}

constexpr std::size_t kSlack = 1 << 20;  // bytes a call may hold beyond twice its answer

class HostileLanes : public ::testing::TestWithParam<Shape> {};

TEST_P(HostileLanes, RequestTakesTheLastOfEqualCandidatesAndHoldsLittle) {
  const Shape& s = GetParam();
  Map& map = TheMap();
  qltest::Request(map.request, s.spot, 0.0);  // once, so that the tile's plane coordinates are worked out
  qltest::RequestOutputs r;
  const Heap heap = Measure([&] { r = qltest::Request(map.request, s.spot, 0.0); });
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.linkId, s.link);
  EXPECT_EQ(r.laneCnt, kLanes);
  EXPECT_EQ(r.laneNum, s.laneNum);
  EXPECT_LE(heap.peak, kSlack);
}

TEST_P(HostileLanes, LaneSearchesListEveryLaneHoldingLittleMoreThanTheirAnswer) {
  const Shape& s = GetParam();
  TheMap();
  const ql::HdLib& lib = *ql::HdLib::GetInstance();
  std::vector<ql::LaneEndpoint> located, near;
  std::vector<ql::Point> feet;
  std::vector<double> distances;
  const Heap locatedHeap = Measure([&] { EXPECT_TRUE(lib.GetLocateEndpoints(s.spot, 20.0f, 20.0f, located)); });
  const Heap nearHeap =
      Measure([&] { EXPECT_TRUE(lib.GetNearEndpoints(s.spot, 20.0f, 20.0f, feet, near, distances)); });

  ASSERT_EQ(located.size(), static_cast<std::size_t>(kLanes));
  ASSERT_EQ(near.size(), static_cast<std::size_t>(kLanes));
  for (std::size_t k = 0; k < located.size(); ++k) {
    ASSERT_EQ(located[k].liLinkId.lValue, s.link);
    ASSERT_EQ(located[k].nFromSeqNum, static_cast<int>(k) + 1);  // stored order
    ASSERT_EQ(near[k].liLinkId.lValue, s.link);
  }
  const std::size_t tiles = s.shape == LaneShape::kOwnEdges ? kTiles : 1;
  EXPECT_EQ(located.front().liLinkId.vcttiTileIds.size(), tiles);
  EXPECT_EQ(near.front().liLinkId.vcttiTileIds.size(), tiles);
  EXPECT_LE(locatedHeap.peak, 2 * locatedHeap.kept + kSlack);
  EXPECT_LE(nearHeap.peak, 2 * nearHeap.kept + kSlack);
}

INSTANTIATE_TEST_SUITE_P(Spot, HostileLanes, ::testing::ValuesIn(kShapes),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
