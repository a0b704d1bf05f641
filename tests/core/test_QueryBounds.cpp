// One query over a tile shaped to make it costly: a quadtree bucket that enters every leaf, with
// many pairs. Every operator new of this program is counted, and what one query holds at its
// peak must grow with the distinct pairs of its box, not with leaves x pairs; the answers are
// checked against the plain definition (every pair of the box, read once).

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "CoordSys.h"
#include "HeapCount.h"
#include "HostileTiles.h"
#include "MapConfig.h"
#include "Save.h"
#include "SdLib.h"
#include "SdStore.h"
#include "TestConfig.h"
#include "TestFiles.h"
#include "Tile.h"
#include "TileWriter.h"
#include "World.h"

using qltest::g_heap;

namespace {

using ql::Point;
using ql::Rect2D;

constexpr std::size_t kMB = 1000 * 1000;
const ql::TileId kTile(5819, 1995);
const Point kSpot(116.39, 39.91, 0);

// A tile of two links (ids 1 and 2) whose one bucket enters all 4^depth leaves.
ql::HdSerializeData HdContent(int depth, std::size_t pairs) {
  ql::HdSerializeData d;
  d.r = qlw::TileRect(kTile);
  for (long v : {1L, 2L}) {
    ql::HdLink link;
    link.liId.lValue = v;
    link.liId.vcttiTileIds = {kTile};
    d.m_keys.push_back(link.liId);
    d.m_values.push_back(link);
  }
  qlw::hostile::EveryLeafBucket(d, depth, pairs, kSpot);
  return d;
}

ql::SdSerializeData SdContent(int depth, std::size_t pairs) {
  ql::SdSerializeData d;
  d.r = qlw::TileRect(kTile);
  for (const double east : {0.0, 1e-5}) {
    ql::SdNode node;
    node.id_p = ql::SdNodeId(Point(kSpot.dLon + east, kSpot.dLat, 0));
    d.m_keys.push_back(node.id_p);
    d.m_values.push_back(node);
  }
  qlw::hostile::EveryLeafBucket(d, depth, pairs, kSpot);
  return d;
}

struct Shape {
  const char* name;
  int depth;
  std::size_t pairs;
  std::size_t peakBytes;  // the most one query may hold; leaves x pairs would be hundreds of MB
};

// Depth 5 is the sample configuration's; depth 8 has 65,536 leaves.
const Shape kShapes[] = {
    {"DepthFive", 5, 20000, 1 * kMB},
    {"DepthEight", 8, 100, 1 * kMB},
};

class QueryBounds : public ::testing::TestWithParam<Shape> {
 protected:
  void SetUp() override {
    ql::MapConfig::serialize_type_json1_binary2 = 2;
    ql::MapConfig::qt_max_level = GetParam().depth;
  }
  qltest::ConfigGuard guard_;
};

const Rect2D kAround(Point(116.3899, 39.9099, 0), Point(116.3901, 39.9101, 0));

TEST_P(QueryBounds, HdBoxSearchesReadTheSharedBucketOnce) {
  const Shape& s = GetParam();
  ql::HdTile tile(kTile);
  tile.Deserialize(qlw::EncodeBinary(HdContent(s.depth, s.pairs)));
  std::vector<const ql::HdTile::Entry*> entries;
  std::vector<const ql::HdLink*> records;
  std::set<ql::HdLinkId> ids;
  entries.reserve(s.pairs);  // an answer may hold an entry per pair: the caller's own list
  records.reserve(s.pairs);

  const std::size_t before = g_heap.live;
  g_heap.ResetPeak();
  tile.CollectEntriesInRect(kAround, entries);
  tile.CollectNodesInRect(kAround, records);
  tile.GetNodeIdsInRect(kAround, ids);
  EXPECT_LE(g_heap.peak - before, s.peakBytes);

  // Every pair lies in the box, alternating between the two links: one entry per pair at most.
  EXPECT_LE(entries.size(), s.pairs);
  EXPECT_LE(records.size(), s.pairs);
  std::set<long> fromEntries, fromRecords, fromIds;
  for (const auto* e : entries) fromEntries.insert(e->pRecord->liId.lValue);
  for (const auto* r : records) fromRecords.insert(r->liId.lValue);
  for (const auto& id : ids) fromIds.insert(id.lValue);
  const std::set<long> both = {1, 2};
  EXPECT_EQ(fromEntries, both);
  EXPECT_EQ(fromRecords, both);
  EXPECT_EQ(fromIds, both);
}

TEST_P(QueryBounds, NearestNodeMeasuresEachPairOnceAndKeepsTheFirstOfEqualDistances) {
  const Shape& s = GetParam();
  const ql::SdSerializeData content = SdContent(s.depth, s.pairs);
  ql::SdTile tile(kTile);
  tile.Deserialize(qlw::EncodeBinary(content));

  const Point p(116.39003, 39.91002, 0);
  ql::SdNodeId id;
  double dist = -1;
  const std::size_t before = g_heap.live;
  g_heap.ResetPeak();
  ASSERT_TRUE(tile.GetNearestNodeId(p, kAround, id, dist, false));
  EXPECT_LE(g_heap.peak - before, s.peakBytes);

  // The plain definition: the first pair of the bucket at the smallest distance.
  const ql::XYZ target = ql::P2XYZ(p);
  double best = std::numeric_limits<double>::max();
  std::size_t winner = 0;
  for (std::size_t k = 0; k < content.ps[0].size(); ++k) {
    if (!kAround.Contains(content.ps[0][k])) continue;
    const double d = ql::D2XYZ(ql::P2XYZ(content.ps[0][k]), target, false);
    if (d < best) {
      best = d;
      winner = k;
    }
  }
  EXPECT_EQ(id.p.dLon, content.nodes[0][winner].p.dLon);
  EXPECT_EQ(id.p.dLat, content.nodes[0][winner].p.dLat);
  EXPECT_EQ(dist, std::sqrt(best));
}

INSTANTIATE_TEST_SUITE_P(EveryLeafBucket, QueryBounds, ::testing::ValuesIn(kShapes),
                         [](const auto& info) { return std::string(info.param.name); });

// A list the store fills for its caller, kept from call to call, gives back what a hostile call
// made it take once the answer is small again.
TEST(QueryBuffers, StoreListShrinksAfterAHostileCall) {
  qltest::ConfigGuard guard;
  qltest::TempDir dir("query_buffers");
  qlw::TileMap tiles = {{kTile, HdContent(5, 40000)}};
  qlw::WriteTiles(dir.str(), tiles, 5);
  ql::MapConfig::tile_lon_interval = ql::MapConfig::tile_lat_interval = 0.02;
  ql::MapConfig::qt_max_level = 5;
  ql::MapConfig::serialize_type_json1_binary2 = 2;
  ql::MapConfig::tile_encrypt = false;
  ql::MapConfig::hdConfig::save_dir_binary = dir.str() + "/hd/binary/";
  ql::Save save;
  ql::HdWorld world(&save);
  std::vector<const ql::HdTile::Entry*> entries;
  world.CollectEntriesInRect(kAround, entries);
  EXPECT_EQ(entries.size(), 2u);
  EXPECT_LE(entries.capacity(), std::size_t{1} << 14);
  std::vector<const ql::HdLink*> records;
  world.CollectNodesInRect(kAround, records);
  EXPECT_EQ(records.size(), 2u);
  EXPECT_LE(records.capacity(), std::size_t{1} << 14);
}

}  // namespace
