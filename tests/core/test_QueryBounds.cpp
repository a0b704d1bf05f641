// One query over a tile shaped to make it costly: a quadtree bucket that enters every leaf, with
// many pairs. Every operator new of this program is counted, and what one query holds at its
// peak must grow with the distinct pairs of its box, not with leaves x pairs; the answers are
// checked against the plain definition (every pair of the box, read once).

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
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

// A tile of two records whose one bucket enters all 4^depth leaves.
ql::HdSerializeData HdContent(int depth, std::size_t pairs) {
  return qlw::hostile::HdEveryLeafTile(kTile, depth, pairs, kSpot);
}
ql::SdSerializeData SdContent(int depth, std::size_t pairs) {
  return qlw::hostile::SdEveryLeafTile(depth, pairs, kSpot);
}

// A tile of two links (ids 1 and 2) whose one bucket enters all 4^depth leaves.
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

// Several pairs of the shared bucket lie at one point, nearer to the position than any other
// pair: the first of them in walk order (the bucket's own order) wins, whichever node the later
// ones name.
TEST_P(QueryBounds, NearestNodeHoldsLittleAndKeepsTheFirstOfEqualDistances) {
  const Shape& s = GetParam();
  ql::SdSerializeData content = SdContent(s.depth, s.pairs);
  const Point p(116.39003, 39.91002, 0);
  const Point tie(p.dLon + 1e-9, p.dLat, 0);  // nearer than the grid of pairs comes (its step is 7e-7 or more)
  const std::size_t first = 7;                // names the second node; every later tied pair the first
  const std::size_t later[] = {8, 10, s.pairs / 4 * 2, s.pairs - 2};
  ASSERT_NE(content.nodes[0][first].p.dLon, content.nodes[0][later[0]].p.dLon);
  for (const std::size_t k : later) ASSERT_EQ(content.nodes[0][k].p.dLon, content.nodes[0][later[0]].p.dLon);
  content.ps[0][first] = tie;
  for (const std::size_t k : later) content.ps[0][k] = tie;
  ql::SdTile tile(kTile);
  tile.Deserialize(qlw::EncodeBinary(content));

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
  ASSERT_EQ(winner, first);  // the tie is the nearest point
  EXPECT_EQ(id.p.dLon, content.nodes[0][first].p.dLon);
  EXPECT_EQ(id.p.dLat, content.nodes[0][first].p.dLat);
  EXPECT_EQ(dist, std::sqrt(best));
}

INSTANTIATE_TEST_SUITE_P(EveryLeafBucket, QueryBounds, ::testing::ValuesIn(kShapes),
                         [](const auto& info) { return std::string(info.param.name); });

// Trees of buckets that enter random sets of quadrants at every level, so that leaves share
// buckets in every way, some pairs lying outside the leaves that refer to them and some points
// repeated across buckets (equal distances). Each box search and the nearest-node search must
// answer as the plain walk does: every pair of every leaf reached, leaf after leaf, as the pairs
// form of the search still lists them.
TEST(QueryBounds, SharedBucketsAnswerAsTheLeafByLeafWalk) {
  qltest::ConfigGuard guard;
  ql::MapConfig::serialize_type_json1_binary2 = 2;
  const int depth = 3;
  ql::MapConfig::qt_max_level = depth;
  std::mt19937 rng(20);
  const Rect2D r = qlw::TileRect(kTile);
  auto at = [&](double u, double v) {
    return Point(r.lb.dLon + u * (r.rt.dLon - r.lb.dLon), r.lb.dLat + v * (r.rt.dLat - r.lb.dLat), 0);
  };
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<Point> spots;  // few enough that buckets repeat them
  for (int i = 0; i < 12; ++i) spots.push_back(at(unit(rng), unit(rng)));

  for (int round = 0; round < 40; ++round) {
    ql::SdSerializeData sd;
    ql::HdSerializeData hd = HdContent(depth, 1);
    sd.r = hd.r = r;
    sd.states.clear();
    hd.states.clear();
    hd.nodes.clear();
    hd.ps.clear();
    const int buckets = 1 + static_cast<int>(rng() % 6);
    double serial = 0;
    for (int b = 0; b < buckets; ++b) {
      unsigned long code = 0;
      for (int level = 0; level < depth; ++level) code = code << 4 | (1 + rng() % 15);
      sd.states.push_back(code);
      hd.states.push_back(code);
      sd.nodes.emplace_back();
      sd.ps.emplace_back();
      hd.nodes.emplace_back();
      hd.ps.emplace_back();
      for (std::size_t k = 1 + rng() % 5; k > 0; --k) {
        const Point& spot = spots[rng() % spots.size()];
        sd.nodes.back().push_back(ql::SdNodeId(Point(++serial, 0, 0)));  // its own id, wherever it lies
        sd.ps.back().push_back(spot);
        hd.nodes.back().push_back(hd.m_keys[rng() % 2]);
        hd.ps.back().push_back(spot);
      }
    }
    ql::SdTile sdTile(kTile);
    sdTile.Deserialize(qlw::EncodeBinary(sd));
    ql::HdTile hdTile(kTile);
    hdTile.Deserialize(qlw::EncodeBinary(hd));

    for (int query = 0; query < 8; ++query) {
      const double u = unit(rng), v = unit(rng);
      const Rect2D q(at(u * 0.8, v * 0.8), at(u * 0.8 + 0.05 + unit(rng) * 0.5, v * 0.8 + 0.05 + unit(rng) * 0.5));
      SCOPED_TRACE("round " + std::to_string(round) + ", query " + std::to_string(query));

      std::vector<std::tuple<ql::SdNodeId, Point>> sdPairs;
      sdTile.GetQuadtree()->GetNodeIdsInRect(q, sdPairs);
      std::set<ql::SdNodeId> sdIds;
      sdTile.GetNodeIdsInRect(q, sdIds);
      std::set<ql::SdNodeId> sdExpected;
      for (const auto& pair : sdPairs) sdExpected.insert(std::get<0>(pair));
      auto places = [](const std::set<ql::SdNodeId>& ids) {
        std::vector<std::pair<double, double>> out;
        for (const ql::SdNodeId& i : ids) out.emplace_back(i.p.dLon, i.p.dLat);
        return out;
      };
      EXPECT_EQ(places(sdIds), places(sdExpected));

      const Point p = at(unit(rng), unit(rng));
      const ql::XYZ target = ql::P2XYZ(p);
      double best = std::numeric_limits<double>::max();
      const ql::SdNodeId* winner = nullptr;
      for (const auto& pair : sdPairs) {  // strict: the first of equal distances stays
        const double d = ql::D2XYZ(ql::P2XYZ(std::get<1>(pair)), target, false);
        if (d < best) {
          best = d;
          winner = &std::get<0>(pair);
        }
      }
      ql::SdNodeId id;
      double dist = -1;
      ASSERT_EQ(sdTile.GetNearestNodeId(p, q, id, dist, false), winner != nullptr);
      if (winner != nullptr) {
        EXPECT_EQ(id.p.dLon, winner->p.dLon);
        EXPECT_EQ(id.p.dLat, winner->p.dLat);
        EXPECT_EQ(dist, std::sqrt(best));
      }

      std::vector<std::tuple<ql::HdLinkId, Point>> hdPairs;
      hdTile.GetQuadtree()->GetNodeIdsInRect(q, hdPairs);
      std::set<long> hdExpected;
      for (const auto& pair : hdPairs) hdExpected.insert(std::get<0>(pair).lValue);
      std::set<ql::HdLinkId> hdIds;
      hdTile.GetNodeIdsInRect(q, hdIds);
      std::vector<const ql::HdTile::Entry*> entries;
      hdTile.CollectEntriesInRect(q, entries);
      std::vector<const ql::HdLink*> records;
      hdTile.CollectNodesInRect(q, records);
      std::set<long> fromIds, fromEntries, fromRecords;
      for (const auto& i : hdIds) fromIds.insert(i.lValue);
      for (const auto* e : entries) fromEntries.insert(e->pRecord->liId.lValue);
      for (const auto* record : records) fromRecords.insert(record->liId.lValue);
      EXPECT_EQ(fromIds, hdExpected);
      EXPECT_EQ(fromEntries, hdExpected);
      EXPECT_EQ(fromRecords, hdExpected);
    }
  }
}

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

// The list of leaves a box reached, kept per thread, does not keep what a box over 262,144 leaves
// made it take.
TEST(QueryBuffers, LeafListShrinksAfterADeepBox) {
  qltest::ConfigGuard guard;
  ql::MapConfig::serialize_type_json1_binary2 = 2;
  ql::MapConfig::qt_max_level = 9;
  ql::HdTile tile(kTile);
  tile.Deserialize(qlw::EncodeBinary(HdContent(9, 4)));
  const std::size_t before = g_heap.live;
  {
    std::vector<const ql::HdTile::Entry*> entries;
    tile.CollectEntriesInRect(kAround, entries);
    EXPECT_FALSE(entries.empty());
  }
  EXPECT_LE(g_heap.live, before + (std::size_t{64} << 10));  // a list of every leaf: 1 MB
}

}  // namespace
