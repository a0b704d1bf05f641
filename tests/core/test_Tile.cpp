// Tiles and their quadtree: where path codes put buckets, which leaves a rectangle query
// visits, how records are keyed, and how damaged or oversized content is refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "Archive.h"
#include "MapBuilder.h"
#include "MapConfig.h"
#include "Tile.h"
#include "TileWriter.h"
#include "ajson.hpp"

namespace {

using ql::HdLinkId;
using ql::Point;
using ql::Rect2D;
using qltest::Values;
using Tree = ql::NodeQt<HdLinkId>;

HdLinkId Id(long v) { return qltest::LinkId(v); }

// The tree tests use a 4 x 4 degree root: quadrant edges fall on exact binary values.
const Rect2D kRoot(Point(0, 0, 0), Point(4, 4, 0));

struct Bucket {
  unsigned long code;
  std::vector<long> ids;
  std::vector<Point> points;
};

std::unique_ptr<Tree> Build(int depth, const std::vector<Bucket>& buckets) {
  auto tree = std::make_unique<Tree>(depth, kRoot);
  std::vector<unsigned long> states;
  std::vector<std::vector<HdLinkId>> nodes;
  std::vector<std::vector<Point>> ps;
  for (const Bucket& b : buckets) {
    states.push_back(b.code);
    std::vector<HdLinkId> ids;
    for (long v : b.ids) ids.push_back(Id(v));
    nodes.push_back(ids);
    ps.push_back(b.points);
  }
  tree->Deserialize(kRoot, states, nodes, ps, "test");
  return tree;
}

std::set<long> Query(const Tree& tree, const Rect2D& q) {
  std::set<HdLinkId> out;
  tree.GetNodeIdsInRect(q, out);
  return Values(out);
}

Rect2D Box(double x0, double y0, double x1, double y1) { return Rect2D(Point(x0, y0, 0), Point(x1, y1, 0)); }

// ---- where buckets go and which leaves a query reaches ----------------------------------

struct TreeCase {
  const char* name;
  int depth;
  std::vector<Bucket> buckets;
  Rect2D query;
  std::set<long> expected;
};

class QuadtreeQuery : public ::testing::TestWithParam<TreeCase> {};

TEST_P(QuadtreeQuery, FindsIdsIndexedInsideTheBox) {
  const TreeCase& c = GetParam();
  EXPECT_EQ(Query(*Build(c.depth, c.buckets), c.query), c.expected);
}

// Each bit names one quadrant; a point of each quadrant is stored under each bit in turn,
// so a bucket filed under the wrong slot is visited for the wrong quadrant and missed.
const std::vector<Bucket> kOnePerQuadrant = {
    {0x1, {1}, {Point(0.5, 0.5, 0)}},  // left-bottom
    {0x2, {2}, {Point(3.5, 3.5, 0)}},  // right-top
    {0x4, {4}, {Point(0.5, 3.5, 0)}},  // left-top
    {0x8, {8}, {Point(3.5, 0.5, 0)}},  // right-bottom
};

INSTANTIATE_TEST_SUITE_P(
    Tile, QuadtreeQuery,
    ::testing::Values(
        TreeCase{"BitOneIsLeftBottom", 1, kOnePerQuadrant, Box(0.1, 0.1, 1.9, 1.9), {1}},
        TreeCase{"BitTwoIsRightTop", 1, kOnePerQuadrant, Box(2.1, 2.1, 3.9, 3.9), {2}},
        TreeCase{"BitFourIsLeftTop", 1, kOnePerQuadrant, Box(0.1, 2.1, 1.9, 3.9), {4}},
        TreeCase{"BitEightIsRightBottom", 1, kOnePerQuadrant, Box(2.1, 0.1, 3.9, 1.9), {8}},
        TreeCase{"WholeRootFindsAll", 1, kOnePerQuadrant, kRoot, {1, 2, 4, 8}},
        // 0x12 at depth 2: left-bottom of the root, then its right-top: cell (1,1)-(2,2).
        TreeCase{"LevelZeroIsTheHighGroup", 2, {{0x12, {5}, {Point(1.5, 1.5, 0)}}}, Box(1.2, 1.2, 1.8, 1.8), {5}},
        // The same point under the swapped code 0x21 lies in a cell the box does not reach.
        TreeCase{"SwappedGroupsMissTheBox", 2, {{0x21, {5}, {Point(1.5, 1.5, 0)}}}, Box(1.2, 1.2, 1.8, 1.8), {}},
        // A box inside the root's right-top quadrant, off the centre lines, skips (1,1)-(2,2).
        TreeCase{"BoxElsewhereSkipsTheLeaf", 2, {{0x12, {5}, {Point(2.5, 2.5, 0)}}}, Box(2.2, 2.2, 3.8, 3.8), {}},
        // Code 3 at depth 1 copies the bucket into two leaves; the id comes back once.
        TreeCase{"SeveralBitsCopyTheBucket",
                 1,
                 {{0x3, {6, 7}, {Point(0.5, 0.5, 0), Point(3.5, 3.5, 0)}}},
                 kRoot,
                 {6, 7}},
        TreeCase{"ZeroGroupStoresNothing", 2, {{0x10, {9}, {Point(0.5, 0.5, 0)}}}, kRoot, {}},
        TreeCase{"ZeroTopGroupStoresNothing", 2, {{0x01, {9}, {Point(0.5, 0.5, 0)}}}, kRoot, {}},
        TreeCase{"BitsAboveTheDepthAreIgnored", 1, {{0xF1, {9}, {Point(0.5, 0.5, 0)}}}, kRoot, {9}},
        TreeCase{"LaterBucketReplacesTheLeaf",
                 1,
                 {{0x1, {1}, {Point(0.5, 0.5, 0)}}, {0x1, {2}, {Point(0.6, 0.6, 0)}}},
                 kRoot,
                 {2}},
        TreeCase{"DepthZeroKeepsTheLastBucket",
                 0,
                 {{0x1, {1}, {Point(0.5, 0.5, 0)}}, {0x0, {2}, {Point(0.6, 0.6, 0)}}},
                 kRoot,
                 {2}},
        TreeCase{"DepthZeroTestsPointsDirectly",
                 0,
                 {{0x0, {1, 2}, {Point(0.5, 0.5, 0), Point(3, 3, 0)}}},
                 Box(2, 2, 4, 4),
                 {2}},
        // Half-open points: lb is inside, the top and right edges are not.
        TreeCase{"PointOnLowerLeftCornerFound", 1, {{0x1, {1}, {Point(1, 1, 0)}}}, Box(1, 1, 1.5, 1.5), {1}},
        TreeCase{"PointOnRightEdgeMissed", 1, {{0x1, {1}, {Point(1.5, 1.2, 0)}}}, Box(1, 1, 1.5, 1.5), {}},
        TreeCase{"PointOnTopEdgeMissed", 1, {{0x1, {1}, {Point(1.2, 1.5, 0)}}}, Box(1, 1, 1.5, 1.5), {}},
        // Closed quadrants: a box that only touches the left-bottom cell (x = 2) still visits
        // it and finds a point that lies on that shared edge.
        TreeCase{"TouchingQuadrantIsVisited", 1, {{0x1, {1}, {Point(2, 0.5, 0)}}}, Box(2, 0, 3, 1), {1}},
        TreeCase{
            "DuplicateIdInALeafOnce", 1, {{0x1, {3, 3}, {Point(0.5, 0.5, 0), Point(1.5, 1.5, 0)}}}, kRoot, {3}},
        // Parallel arrays of unequal length: only ids with a point are stored.
        TreeCase{"IdsWithoutPointsAreDropped", 1, {{0x1, {1, 2, 3}, {Point(0.5, 0.5, 0)}}}, kRoot, {1}},
        TreeCase{"PointsWithoutIdsAreDropped", 1, {{0x1, {1}, {Point(0.5, 0.5, 0), Point(1, 1, 0)}}}, kRoot, {1}},
        TreeCase{"DeepSingleLeaf",
                 16,
                 {{0x1111111111111111ul, {4}, {Point(1e-5, 1e-5, 0)}}},
                 Box(0, 0, 1e-4, 1e-4),
                 {4}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Quadtree, SeveralBitsFillEachNamedLeafAndNoOther) {
  const auto tree = Build(1, {{0x3, {6}, {Point(0.5, 0.5, 0)}}});
  ASSERT_EQ(tree->GetInnerCells().size(), 1u);  // the root
  const Tree::inner& root = tree->GetInnerCells()[0];
  ASSERT_NE(root.pLb, 0u);
  ASSERT_NE(root.pRt, 0u);
  EXPECT_EQ(root.pLt, 0u);
  EXPECT_EQ(root.pRb, 0u);
  for (const std::uint32_t index : {root.pLb, root.pRt}) {
    const Tree::outer& leaf = tree->GetLeaves().at(index);
    ASSERT_EQ(leaf.size(), 1u);
    EXPECT_EQ(leaf.id(0).lValue, 6);
    EXPECT_EQ(leaf.point(0), Point(0.5, 0.5, 0));
    EXPECT_EQ(leaf.nBucket, 0u);
  }
  // Both leaves read the one copy the tree keeps.
  EXPECT_EQ(tree->GetLeaves().at(root.pLb).pIds, tree->GetLeaves().at(root.pRt).pIds);
}

TEST(Quadtree, ZeroGroupBelowTheTopBuildsNoLeaf) {
  const auto tree = Build(3, {{0x120, {6}, {Point(0.5, 0.5, 0)}}});
  EXPECT_EQ(tree->GetLeaves().size(), 1u);  // only the placeholder
  EXPECT_EQ(tree->GetLeaves()[0].size(), 0u);
}

TEST(Quadtree, ArraysShorterThanStatesEndTheBuckets) {
  Tree tree(1, kRoot);
  // Three codes, two id lists, one point list: only bucket 0 has every part.
  tree.Deserialize(kRoot, {0x1, 0x2, 0x4}, {{Id(1)}, {Id(2)}}, {{Point(0.5, 0.5, 0)}}, "test");
  EXPECT_EQ(Query(tree, kRoot), std::set<long>({1}));
}

TEST(Quadtree, EqualIdsKeepTheLargerSetsElement) {
  // Two leaves hold link 7 with different tile lists. The right-top leaf is merged second;
  // being larger than the result so far (two ids against one), its copy of 7 stays.
  HdLinkId a = Id(7);
  a.vcttiTileIds = {ql::TileId(1, 1)};
  HdLinkId b = Id(7);
  b.vcttiTileIds = {ql::TileId(2, 2)};
  Tree tree(1, kRoot);
  tree.Deserialize(kRoot, {0x1, 0x2}, {{a}, {b, Id(8)}},
                   {{Point(0.5, 0.5, 0)}, {Point(3.5, 3.5, 0), Point(3.6, 3.6, 0)}}, "test");
  std::set<HdLinkId> out;
  tree.GetNodeIdsInRect(kRoot, out);
  ASSERT_EQ(out.size(), 2u);
  ASSERT_EQ(out.begin()->vcttiTileIds.size(), 1u);
  EXPECT_EQ(out.begin()->vcttiTileIds[0].nLonId, 2);
}

TEST(Quadtree, CallerResultIsMergedNotReplaced) {
  const auto tree = Build(1, kOnePerQuadrant);
  std::set<HdLinkId> out = {Id(100)};
  tree->GetNodeIdsInRect(Box(0.1, 0.1, 1.9, 1.9), out);
  EXPECT_EQ(Values(out), std::set<long>({1, 100}));
}

struct BadDepthCase {
  const char* name;
  int depth;
};
class QuadtreeDepth : public ::testing::TestWithParam<BadDepthCase> {};

TEST_P(QuadtreeDepth, OutsideZeroToSixteenIsRefused) {
  EXPECT_THROW(Tree(GetParam().depth, kRoot), std::invalid_argument);
}

INSTANTIATE_TEST_SUITE_P(Tile, QuadtreeDepth,
                         ::testing::Values(BadDepthCase{"MinusOne", -1}, BadDepthCase{"Seventeen", 17},
                                           BadDepthCase{"Huge", 1 << 30}),
                         [](const auto& info) { return std::string(info.param.name); });

// A query reads each bucket once, however many of its leaves it reaches. The marks are query
// numbers, so when the number wraps round every old mark must go: a bucket marked by query 1 of
// the last round would otherwise be skipped by query 1 of the next.
TEST(QuadtreeBucketMarks, WrapAroundClearsTheMarksOfTheLastRound) {
  ql::tile_detail::BucketMarks marks;
  marks.Begin(8);  // query 1
  EXPECT_TRUE(marks.First(3));
  EXPECT_FALSE(marks.First(3));
  marks.SkipTo(std::numeric_limits<std::uint32_t>::max() - 1);
  marks.Begin(8);  // the last number before the wrap
  EXPECT_TRUE(marks.First(3));
  EXPECT_TRUE(marks.First(5));
  marks.Begin(8);               // wraps round to query 1 again
  EXPECT_TRUE(marks.First(3));  // marked by query 1 of the last round
  EXPECT_TRUE(marks.First(5));  // marked just before the wrap
  EXPECT_TRUE(marks.First(6));  // never marked
  EXPECT_FALSE(marks.First(3));
  marks.Begin(8);
  EXPECT_TRUE(marks.First(3));
}

// ---- bounds on fan-out -------------------------------------------------------------------
// Without a limit of its own the tree may take the constant slack of a tile's memory limit
// (16 MiB): every tree of depth 9 or less fits whatever its buckets, a whole depth-10 tree does not.

TEST(QuadtreeBound, AllOnesAtDepthSixteenIsRefusedNamingTileAndBucket) {
  Tree tree(16, kRoot);
  try {
    tree.Deserialize(kRoot, {0x1, ~0ul}, {{Id(1)}, {Id(2)}}, {{Point(0.1, 0.1, 0)}, {Point(0.2, 0.2, 0)}},
                     "tile 116,40");
    FAIL() << "no exception";
  } catch (const ql::TileTreeError& e) {
    const std::string what = e.what();
    EXPECT_EQ(what.rfind("tile 116,40: bucket 1: path code 18446744073709551615 at depth 16 enters ", 0), 0u)
        << what;
    EXPECT_NE(what.find("bytes of memory"), std::string::npos) << what;
    EXPECT_EQ(e.File(), "tile 116,40");
  }
}

TEST(QuadtreeBound, AWholeNineLevelTreeFitsTheSlackATenLevelOneDoesNot) {
  // 0x1FFFFFFFF: left-bottom, then every quadrant for eight levels: all 65536 leaves of the
  // left-bottom quarter of a depth-9 tree.
  const auto tree = Build(9, {{0x1FFFFFFFFul, {1}, {Point(1.99, 0.01, 0)}}});
  EXPECT_EQ(tree->GetLeaves().size(), 65536u + 1);
  EXPECT_EQ(Query(*tree, Box(1.9, 0, 2, 0.1)), std::set<long>({1}));
  EXPECT_NO_THROW(Build(9, {{0xFFFFFFFFFul, {1}, {Point(3.99, 0.01, 0)}}}));
  EXPECT_THROW(Build(10, {{0xFFFFFFFFFFul, {1}, {Point(0.1, 0.1, 0)}}}), ql::TileTreeError);
}

TEST(QuadtreeBound, EveryCellABucketEntersIsChargedNewOrNot) {
  // Each bucket re-enters the same whole depth-6 tree: the tree stays at 5460 cells, but the
  // time to build it grows with every bucket, and a limit that allows a hundred such entries
  // refuses the hundred-and-first.
  const std::size_t perBucket = 1364 * Tree::kInnerCost + 4096 * Tree::kLeafCost;
  ql::MemoryLimit limit(100 * perBucket);
  Tree tree(6, kRoot);
  const std::vector<unsigned long> states(101, 0xFFFFFFul);
  const std::vector<std::vector<HdLinkId>> nodes(101, {Id(1)});
  const std::vector<std::vector<Point>> ps(101, {Point(0.1, 0.1, 0)});
  try {
    tree.Deserialize(kRoot, states, nodes, ps, "tile 1,2", &limit);
    FAIL() << "no exception";
  } catch (const ql::TileTreeError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("tile 1,2: bucket 100: ", 0), 0u) << e.what();
  }
  EXPECT_EQ(limit.Used(), 100 * perBucket);
}

TEST(QuadtreeBound, ABucketEnteringEveryLeafIsStoredOnce) {
  // 63 pairs over all 1,024 leaves of a depth-5 tree, the case a pair-counting bound refused:
  // each leaf refers to the same pairs.
  std::vector<long> ids;
  std::vector<Point> points;
  for (int k = 0; k < 63; ++k) {
    ids.push_back(k);
    points.emplace_back(0.01 + 0.06 * k, 0.01 + 0.06 * k, 0);
  }
  const auto tree = Build(5, {{0xFFFFFul, ids, points}});
  ASSERT_EQ(tree->GetLeaves().size(), 1024u + 1);
  for (std::size_t i = 1; i < tree->GetLeaves().size(); ++i) {
    ASSERT_EQ(tree->GetLeaves()[i].pIds, tree->GetLeaves()[1].pIds);
    ASSERT_EQ(tree->GetLeaves()[i].size(), 63u);
  }
  EXPECT_EQ(Query(*tree, kRoot).size(), 63u);
}

TEST(QuadtreeBound, ManyPlainBucketsAreFine) {
  // One leaf per bucket costs what the file describes, however many there are.
  std::vector<Bucket> buckets;
  for (int i = 0; i < 20000; ++i) buckets.push_back({0x1111111111111111ul, {i}, {Point(1e-6, 1e-6, 0)}});
  const auto tree = Build(16, buckets);
  EXPECT_EQ(Query(*tree, Box(0, 0, 1e-5, 1e-5)), std::set<long>({19999}));
}

// ---- tiles: records, serialize types, failures ---------------------------------------------

class TileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedType_ = ql::MapConfig::serialize_type_json1_binary2;
    savedDepth_ = ql::MapConfig::qt_max_level;
    ql::MapConfig::serialize_type_json1_binary2 = 2;
    ql::MapConfig::qt_max_level = 1;
  }
  void TearDown() override {
    ql::MapConfig::serialize_type_json1_binary2 = savedType_;
    ql::MapConfig::qt_max_level = savedDepth_;
  }

  static ql::HdLink Link(long v, const std::string& name) {
    ql::HdLink link;
    link.liId = Id(v);
    link.strName = name;
    link.nSpeedLimit = static_cast<int>(v) * 10;
    return link;
  }

  // Links 1 and 2, both indexed in the left-bottom leaf of a 4 x 4 root.
  static ql::HdSerializeData Content() {
    ql::HdSerializeData d;
    d.r = kRoot;
    d.m_keys = {Id(1), Id(2)};
    d.m_values = {Link(1, "one"), Link(2, "two")};
    d.states = {0x1};
    d.nodes = {{Id(1), Id(2)}};
    d.ps = {{Point(0.5, 0.5, 0), Point(1.5, 1.5, 0)}};
    return d;
  }

  static std::set<long> LinksIn(const ql::HdTile& tile, const Rect2D& q) {
    std::set<const ql::HdLink*> out;
    tile.GetNodesInRect(q, out);
    std::set<long> ids;
    for (const ql::HdLink* l : out) ids.insert(l->liId.lValue);
    return ids;
  }

  int savedType_ = 1;
  int savedDepth_ = 0;
};

TEST_F(TileTest, BinaryAndJsonFillTheSameTile) {
  struct Case {
    const char* name;
    int type;
    std::string bytes;
  };
  const Case cases[] = {
      {"binary", 2, qlw::EncodeBinary(Content())},
      {"binaryType3", 3, qlw::EncodeBinary(Content())},
      {"json", 1, qlw::EncodeJson(Content())},
      {"jsonEndsAtNul", 1, qlw::EncodeJson(Content()) + std::string(1, '\0') + "garbage"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ql::MapConfig::serialize_type_json1_binary2 = c.type;
    ql::HdTile tile(ql::TileId(5, 6));
    tile.Deserialize(c.bytes);
    ASSERT_NE(tile.GetNodeData(Id(2)), nullptr);
    EXPECT_EQ(tile.GetNodeData(Id(2))->strName, "two");
    EXPECT_EQ(tile.GetNodeData(Id(3)), nullptr);
    EXPECT_EQ(LinksIn(tile, Box(1, 1, 2, 2)), std::set<long>({2}));
    EXPECT_EQ(LinksIn(tile, kRoot), std::set<long>({1, 2}));
  }
}

TEST_F(TileTest, UnknownSerializeTypeGivesAnEmptyTile) {
  ql::MapConfig::serialize_type_json1_binary2 = 7;
  ql::HdTile tile(ql::TileId(0, 0));
  tile.Deserialize(qlw::EncodeBinary(Content()));
  EXPECT_TRUE(tile.GetNodes().empty());
  ASSERT_NE(tile.GetQuadtree(), nullptr);
  EXPECT_TRUE(LinksIn(tile, kRoot).empty());
}

TEST_F(TileTest, RecordKeysPairWithValues) {
  ql::HdSerializeData d = Content();
  d.m_keys = {Id(1), Id(1), Id(2), Id(3)};  // a repeated key, and one without a value
  d.m_values = {Link(1, "first"), Link(1, "second"), Link(2, "two")};
  ql::HdTile tile(ql::TileId(0, 0));
  tile.Deserialize(qlw::EncodeBinary(d));
  ASSERT_NE(tile.GetNodeData(Id(1)), nullptr);
  EXPECT_EQ(tile.GetNodeData(Id(1))->strName, "first");
  EXPECT_EQ(tile.GetNodeData(Id(3)), nullptr);
  EXPECT_EQ(tile.GetNodes().size(), 2u);
}

TEST_F(TileTest, KeyNotTheLinksOwnIdStillFilesTheLink) {
  ql::HdSerializeData d = Content();
  d.m_keys = {Id(10), Id(2)};
  ql::HdTile tile(ql::TileId(0, 0));
  tile.Deserialize(qlw::EncodeBinary(d));
  ASSERT_NE(tile.GetNodeData(Id(10)), nullptr);
  EXPECT_EQ(tile.GetNodeData(Id(10))->liId.lValue, 1);
}

TEST_F(TileTest, IndexedIdWithoutRecordIsSkippedAndNotAdded) {
  ql::HdSerializeData d = Content();
  d.nodes = {{Id(1), Id(99)}};
  ql::HdTile tile(ql::TileId(0, 0));
  tile.Deserialize(qlw::EncodeBinary(d));
  std::set<HdLinkId> ids;
  tile.GetNodeIdsInRect(kRoot, ids);
  EXPECT_EQ(Values(ids), std::set<long>({1, 99}));
  EXPECT_EQ(LinksIn(tile, kRoot), std::set<long>({1}));
  EXPECT_EQ(tile.GetNodeData(Id(99)), nullptr);
  EXPECT_EQ(tile.GetNodes().size(), 2u);
}

TEST_F(TileTest, LinkIndexedAtSeveralPointsComesBackOnce) {
  ql::HdSerializeData d = Content();
  d.states = {0x1, 0x2};
  d.nodes = {{Id(1)}, {Id(1)}};
  d.ps = {{Point(0.5, 0.5, 0)}, {Point(3.5, 3.5, 0)}};
  ql::HdTile tile(ql::TileId(0, 0));
  tile.Deserialize(qlw::EncodeBinary(d));
  std::set<const ql::HdLink*> out;
  tile.GetNodesInRect(kRoot, out);
  EXPECT_EQ(out.size(), 1u);
}

// The vector gathering of the box searches must name exactly the records of the set query:
// ids repeated within and across buckets, a bucket copied into several leaves, a leaf
// overwritten by a later bucket, an id without a record, points on cell borders, runs of one id
// whose points spread over many boxes' edges, one with a NaN point.
TEST_F(TileTest, CollectedRecordsMatchTheRecordSet) {
  ql::HdSerializeData d = Content();
  d.m_keys = {Id(1), Id(2), Id(3)};
  d.m_values = {Link(1, "one"), Link(2, "two"), Link(3, "three")};
  d.states = {0x1, 0x3, 0xC, 0x8, 0x2, 0x4};
  d.nodes = {{Id(1), Id(1), Id(2)},
             {Id(2), Id(99), Id(2)},
             {Id(3), Id(1)},
             {Id(99), Id(3), Id(3)},
             {Id(1)},
             {Id(3), Id(3), Id(3), Id(2), Id(2), Id(99), Id(2), Id(3)}};
  d.ps = {{Point(0.5, 0.5, 0), Point(1.0, 1.0, 0), Point(1.5, 1.5, 0)},
          {Point(2.0, 2.0, 0), Point(0.2, 3.0, 0), Point(3.5, 3.5, 0)},
          {Point(0.5, 2.5, 0), Point(2.5, 0.5, 0)},
          {Point(3.0, 1.0, 0), Point(2.0, 0.0, 0), Point(3.9, 0.1, 0)},
          {Point(3.0, 3.0, 0)},
          {Point(0.1, 2.1, 0), Point(1.9, 3.9, 0), Point(0.6, 3.1, 0), Point(0.7, 2.7, 0),
           Point(std::numeric_limits<double>::quiet_NaN(), 3.3, 0), Point(1.1, 2.2, 0), Point(1.6, 3.4, 0),
           Point(1.0, 2.0, 0)}};
  ql::MapConfig::qt_max_level = 1;
  ql::HdTile tile(ql::TileId(0, 0));
  tile.Deserialize(qlw::EncodeBinary(d));
  std::size_t nonEmpty = 0;
  for (double x0 = -0.5; x0 <= 4.0; x0 += 0.25) {
    for (double y0 = -0.5; y0 <= 4.0; y0 += 0.25) {
      for (double size : {0.25, 0.5, 1.0, 2.5, 5.0}) {
        const Rect2D q = Box(x0, y0, x0 + size, y0 + size);
        SCOPED_TRACE(testing::Message() << "box at " << x0 << "," << y0 << " size " << size);
        std::set<const ql::HdLink*> expected;
        tile.GetNodesInRect(q, expected);
        std::vector<const ql::HdLink*> got;
        tile.CollectNodesInRect(q, got);
        std::sort(got.begin(), got.end());
        got.erase(std::unique(got.begin(), got.end()), got.end());
        EXPECT_EQ(got, std::vector<const ql::HdLink*>(expected.begin(), expected.end()));
        if (!expected.empty()) ++nonEmpty;
      }
    }
  }
  EXPECT_GT(nonEmpty, 100u);
}

// A box search's entry stands for the record a lookup by id would find only when it belongs to
// the tile and its record is keyed by its own id (a file may key a record under another id).
TEST_F(TileTest, OwnRecordsAreThoseKeyedByTheirOwnId) {
  ql::HdSerializeData d = Content();
  d.m_values = {Link(1, "one"), Link(5, "keyed as two")};
  ql::HdTile tile(ql::TileId(0, 0));
  tile.Deserialize(qlw::EncodeBinary(d));
  ql::HdTile other(ql::TileId(1, 0));
  other.Deserialize(qlw::EncodeBinary(Content()));
  const auto& table = tile.GetRecordTable();
  ASSERT_EQ(table.size(), 2u);
  EXPECT_TRUE(tile.IsOwnRecord(table[0]));
  EXPECT_EQ(tile.GetNodeData(table[0].pRecord->liId), table[0].pRecord);
  EXPECT_FALSE(tile.IsOwnRecord(table[1]));  // key 2, liId 5: a lookup of 5 finds nothing here
  EXPECT_EQ(tile.GetNodeData(table[1].pRecord->liId), nullptr);
  EXPECT_FALSE(tile.IsOwnRecord(other.GetRecordTable()[0]));
  EXPECT_TRUE(other.IsOwnRecord(other.GetRecordTable()[0]));
}

TEST_F(TileTest, FailedFillLeavesNoRecordsAndNoTree) {
  struct Case {
    const char* name;
    int type;
    int depth;
    std::string bytes;
  };
  const std::string binary = qlw::EncodeBinary(Content());
  const Case cases[] = {
      {"malformedJson", 1, 1, "{\"m_keys\": [ {\"lValue\": 1} "},
      {"emptyJson", 1, 1, ""},
      {"truncatedBinary", 2, 1, binary.substr(0, binary.size() - 5)},
      {"negativeCount", 2, 1, std::string("\xff\xff\xff\xff", 4)},
      {"depthTooLarge", 2, 17, binary},
      {"depthNegative", 2, -1, binary},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ql::MapConfig::serialize_type_json1_binary2 = c.type;
    ql::MapConfig::qt_max_level = c.depth;
    ql::HdTile tile(ql::TileId(0, 0));
    EXPECT_ANY_THROW(tile.Deserialize(c.bytes));
    EXPECT_TRUE(tile.GetNodes().empty());
    EXPECT_EQ(tile.GetQuadtree(), nullptr);
  }
}

TEST_F(TileTest, ErrorsKeepTheirReadersTypes) {
  ql::MapConfig::serialize_type_json1_binary2 = 1;
  ql::HdTile json(ql::TileId(0, 0));
  EXPECT_THROW(json.Deserialize("[]"), ajson::exception);

  ql::MapConfig::serialize_type_json1_binary2 = 2;
  const std::string binary = qlw::EncodeBinary(Content());
  ql::HdTile truncated(ql::TileId(0, 0));
  EXPECT_THROW(truncated.Deserialize(binary.substr(0, 30)), ql::ArchiveError);

  ql::MapConfig::qt_max_level = 16;
  ql::HdSerializeData d = Content();
  d.states = {~0ul};
  ql::HdTile fanning(ql::TileId(3, -4));
  try {
    fanning.Deserialize(qlw::EncodeBinary(d));
    FAIL() << "no exception";
  } catch (const ql::TileTreeError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("tile 3,-4: bucket 0: ", 0), 0u) << e.what();
  }
}

TEST_F(TileTest, EmptyBinaryTileOfSixtyEightBytes) {
  std::string bytes(68, '\0');
  ql::HdTile tile(ql::TileId(0, 0));
  tile.Deserialize(bytes);
  EXPECT_TRUE(tile.GetNodes().empty());
  ASSERT_NE(tile.GetQuadtree(), nullptr);
  EXPECT_TRUE(LinksIn(tile, kRoot).empty());
}

}  // namespace
