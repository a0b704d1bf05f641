// The nearest-node search of the SD map: inside one tile (which candidate wins, in which visiting
// order, with which distance, and which points are candidates at all) and over the SD store
// (which tile wins a tie, what is written when nothing is found, and what a failing tile leaves).
//
// Ties are made exact by indexing several ids at one point: the buckets of a tile may list any id
// at any point, so equal distances do not depend on the projection's rounding.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "CoordSys.h"
#include "MapConfig.h"
#include "Save.h"
#include "SdLib.h"
#include "SdStore.h"
#include "TestConfig.h"
#include "TestFiles.h"
#include "TileWriter.h"
#include "ajson.hpp"

namespace {

using ql::Point;
using ql::Rect2D;
using ql::SdNodeId;
using ql::SdSerializeData;
using ql::TileId;

constexpr double kMax = std::numeric_limits<double>::max();  // 1.7976931348623157e308
constexpr double kInf = std::numeric_limits<double>::infinity();

const TileId kA(5819, 1995);  // lon 116.38 .. 116.40, lat 39.90 .. 39.92, centre (116.39, 39.91)

// Quadrant bits of a depth-1 path code.
constexpr unsigned long kLb = 1, kRt = 2, kLt = 4, kRb = 8;

// Distinct node keys; what they are indexed at is given per bucket.
const Point kI1(116.381, 39.901, 0), kI2(116.382, 39.902, 0), kI3(116.383, 39.903, 0), kI4(116.384, 39.904, 0);
const Point kX(116.385, 39.905, 0);  // a point of the left-bottom quadrant

Rect2D Box(double x0, double y0, double x1, double y1) { return Rect2D(Point(x0, y0, 0), Point(x1, y1, 0)); }
const Rect2D kWholeA = Box(116.38, 39.90, 116.40, 39.92);

Point Alt(const Point& p, double alt) { return Point(p.dLon, p.dLat, alt); }

struct Pair {
  Point id;
  Point at;
};
struct Bucket {
  unsigned long code;
  std::vector<Pair> pairs;
};

SdSerializeData Content(const Rect2D& r, const std::vector<Bucket>& buckets) {
  SdSerializeData d;
  d.r = r;
  for (const Bucket& b : buckets) {
    d.states.push_back(b.code);
    d.nodes.emplace_back();
    d.ps.emplace_back();
    for (const Pair& pair : b.pairs) {
      d.nodes.back().push_back(SdNodeId(pair.id));
      d.ps.back().push_back(pair.at);
    }
  }
  return d;
}

void ExpectPoint(const Point& got, const Point& want) {
  EXPECT_EQ(got.dLon, want.dLon);
  EXPECT_EQ(got.dLat, want.dLat);
  EXPECT_EQ(got.dAlt, want.dAlt);
}

// Runs one search (a tile's or the store's, through `search`) for the case and checks its answer:
// the winner's id and the square root of its squared plane distance (with the height when asked);
// when nothing is found, the outputs the search must leave.
template <class Case, class Search>
void ExpectNearest(const Case& c, Search search, const Point& idIfNone, double distIfNone) {
  SdNodeId id(Point(-1, -2, -3));
  double dist = -7.0;
  ASSERT_EQ(search(c.p, c.q, id, dist, c.with3d), c.found);
  if (c.found) {
    ExpectPoint(id.p, c.winner);
    EXPECT_EQ(dist, std::sqrt(ql::D2XYZ(c.winnerAt, c.p, c.with3d)));
  } else {
    ExpectPoint(id.p, idIfNone);
    EXPECT_EQ(dist, distIfNone);
  }
}

// ---- inside one tile ------------------------------------------------------------------------

struct TileCase {
  const char* name;
  std::vector<Bucket> buckets;  // depth 1 over tile A
  Point p;
  Rect2D q;
  bool with3d;
  bool found;
  Point winner;    // its id
  Point winnerAt;  // where it is indexed: the distance is measured from there
};

std::vector<TileCase> TileCases() {
  const Point nearRt(116.3951, 39.9151, 0);
  const Point xEast(kX.dLon + 0.001, kX.dLat, 0);
  const Point centre(116.39, 39.91, 0);
  return {
      {"NearestWinsWhereverItIsVisited",
       {{kLb, {{kI1, kI1}}}, {kRt, {{kI2, nearRt}}}},
       Point(116.395, 39.915, 0),
       kWholeA,
       false,
       true,
       kI2,
       nearRt},
      // File order right-bottom, left-top, right-top, left-bottom; visiting order is the reverse.
      {"TieGoesToTheLeftBottomQuadrant",
       {{kRb, {{kI4, kX}}}, {kLt, {{kI3, kX}}}, {kRt, {{kI2, kX}}}, {kLb, {{kI1, kX}}}},
       Point(116.3851, 39.9051, 0),
       kWholeA,
       false,
       true,
       kI1,
       kX},
      {"TieWithoutLeftBottomGoesToRightTop",
       {{kRb, {{kI4, kX}}}, {kLt, {{kI3, kX}}}, {kRt, {{kI2, kX}}}},
       Point(116.3851, 39.9051, 0),
       kWholeA,
       false,
       true,
       kI2,
       kX},
      {"TieBetweenLeftTopAndRightBottomGoesToLeftTop",
       {{kRb, {{kI4, kX}}}, {kLt, {{kI3, kX}}}},
       Point(116.3851, 39.9051, 0),
       kWholeA,
       false,
       true,
       kI3,
       kX},
      {"TieInOneLeafGoesToTheFirstListed",
       {{kLb, {{kI3, kX}, {kI1, kX}, {kI2, kX}}}},
       Point(116.3851, 39.9051, 0),
       kWholeA,
       false,
       true,
       kI3,
       kX},
      {"AltitudeIgnoredWithoutTheFlag",
       {{kLb, {{kI1, Alt(kX, 9)}, {kI2, kX}}}},
       kX,
       kWholeA,
       false,
       true,
       kI1,
       Alt(kX, 9)},
      {"AltitudeDecidesWithTheFlag",
       {{kLb, {{kI1, Alt(kX, 9)}, {kI2, Alt(kX, -3)}}}},
       kX,
       kWholeA,
       true,
       true,
       kI2,
       Alt(kX, -3)},
      // The right-hand pair would be nearer, but a point on the right edge is outside.
      {"LowerLeftCornerIsInsideTheRightEdgeIsNot",
       {{kLb, {{kI1, kX}, {kI2, xEast}}}},
       Point(kX.dLon + 0.0009, kX.dLat, 0),
       Rect2D(kX, Point(xEast.dLon, kX.dLat + 0.001, 0)),
       false,
       true,
       kI1,
       kX},
      {"UpperEdgeIsOutside",
       {{kLb, {{kI1, kX}}}},
       kX,
       Box(kX.dLon - 0.001, kX.dLat - 0.001, kX.dLon + 0.001, kX.dLat),
       false,
       false,
       {},
       {}},
      {"RightEdgeIsOutside",
       {{kLb, {{kI1, kX}}}},
       kX,
       Box(kX.dLon - 0.001, kX.dLat - 0.001, kX.dLon, kX.dLat + 0.001),
       false,
       false,
       {},
       {}},
      // The left-bottom quadrant only touches the box at the tile centre, and is still searched.
      {"QuadrantTouchingTheBoxAtACornerIsSearched",
       {{kLb, {{kI1, centre}}}},
       centre,
       Box(centre.dLon, centre.dLat, centre.dLon + 0.001, centre.dLat + 0.001),
       false,
       true,
       kI1,
       centre},
      {"NothingInTheBox",
       {{kLb, {{kI1, kX}}}, {kRt, {{kI2, nearRt}}}},
       kX,
       Box(116.381, 39.915, 116.385, 39.919),
       false,
       false,
       {},
       {}},
      {"NoBuckets", {}, kX, kWholeA, false, false, {}, {}},
      // A height that is not a number, or infinite, leaves no distance to compare with the flag
      // set: such a pair is no answer, and alone it is not reported as found.
      {"UnmeasurablePairLosesToAMeasurableOne",
       {{kLb, {{kI1, Alt(kX, std::nan(""))}, {kI2, Alt(kX, kInf)}, {kI3, Alt(kX, 2)}}}},
       kX,
       kWholeA,
       true,
       true,
       kI3,
       Alt(kX, 2)},
      {"OnlyUnmeasurablePairsAreNoAnswer",
       {{kLb, {{kI1, Alt(kX, std::nan(""))}, {kI2, Alt(kX, -kInf)}}}},
       kX,
       kWholeA,
       true,
       false,
       {},
       {}},
  };
}

TEST(SdNearestInTile, CandidatesOrderTiesAndDistance) {
  qltest::ConfigGuard guard;
  ql::MapConfig::qt_max_level = 1;
  ql::MapConfig::serialize_type_json1_binary2 = 2;
  for (const TileCase& c : TileCases()) {
    SCOPED_TRACE(c.name);
    ql::SdTile tile(kA);
    tile.Deserialize(qlw::EncodeBinary(Content(kWholeA, c.buckets)));
    // Nothing found: the outputs are untouched.
    ExpectNearest(
        c, [&](auto&&... a) { return tile.GetNearestNodeId(a...); }, Point(-1, -2, -3), -7.0);
  }
}

TEST(SdNearestInTile, DistanceIsInMetresAndUsesTheHeightOnlyWhenAsked) {
  qltest::ConfigGuard guard;
  ql::MapConfig::qt_max_level = 1;
  ql::MapConfig::serialize_type_json1_binary2 = 2;
  ql::SdTile tile(kA);
  tile.Deserialize(qlw::EncodeBinary(Content(kWholeA, {{kLb, {{kI1, Alt(kX, 4)}}}})));
  // 0.001 degrees of latitude are about 111 m; the height adds 4 m in quadrature when asked.
  const Point p(kX.dLon, kX.dLat + 0.001, 0);
  SdNodeId id;
  double flat = 0.0, high = 0.0;
  ASSERT_TRUE(tile.GetNearestNodeId(p, kWholeA, id, flat, false));
  ASSERT_TRUE(tile.GetNearestNodeId(p, kWholeA, id, high, true));
  EXPECT_NEAR(flat, 111.0, 1.0);
  EXPECT_NEAR(high * high - flat * flat, 16.0, 1e-6);
}

TEST(SdNearestInTile, TileWithoutTreeFindsNothing) {
  const ql::SdTile tile(kA);
  SdNodeId id(kX);
  double dist = 5.0;
  EXPECT_FALSE(tile.GetNearestNodeId(kX, kWholeA, id, dist, false));
  ExpectPoint(id.p, kX);
  EXPECT_EQ(dist, 5.0);
}

// ---- over the store --------------------------------------------------------------------------

struct StoreTile {
  TileId id;
  std::vector<Bucket> buckets;  // depth 1 over the tile's rectangle
};

struct StoreCase {
  const char* name;
  std::vector<StoreTile> tiles;  // written as files; other tiles of the box have none
  Point p;
  Rect2D q;
  bool with3d;
  bool found;
  Point winner;
  Point winnerAt;
};

std::vector<StoreCase> StoreCases() {
  const TileId b(5820, 1995), up(5819, 1996), diag(5820, 1996);
  const Point border(116.3995, 39.905, 0);   // in A, near the column border
  const Point top(116.39, 39.9195, 0);       // in A, near the row border
  const Point corner(116.3995, 39.9195, 0);  // in A, near its upper right corner
  const Rect2D acrossColumns = Box(116.395, 39.90, 116.405, 39.91);
  const Rect2D acrossRows = Box(116.385, 39.915, 116.395, 39.925);
  const Rect2D acrossCorner = Box(116.395, 39.915, 116.405, 39.925);
  return {
      {"TieAcrossColumnsGoesToTheSmallerColumn",
       {{b, {{kLb, {{kI2, border}}}}}, {kA, {{kRb, {{kI1, border}}}}}},
       Point(116.3996, 39.9051, 0),
       acrossColumns,
       false,
       true,
       kI1,
       border},
      {"TieAcrossRowsGoesToTheSmallerRow",
       {{up, {{kLb, {{kI2, top}}}}}, {kA, {{kLt, {{kI1, top}}}}}},
       Point(116.3901, 39.9196, 0),
       acrossRows,
       false,
       true,
       kI1,
       top},
      {"TieGoesToTheSmallerColumnBeforeTheSmallerRow",
       {{b, {{kLt, {{kI3, corner}}}}}, {up, {{kRb, {{kI2, corner}}}}}, {diag, {{kLb, {{kI4, corner}}}}}},
       Point(116.3996, 39.9196, 0),
       acrossCorner,
       false,
       true,
       kI2,
       corner},
      {"NearerNodeInTheLaterTileWins",
       {{kA, {{kRb, {{kI1, Point(116.396, 39.901, 0)}}}}}, {b, {{kLb, {{kI2, Point(116.401, 39.905, 0)}}}}}},
       Point(116.4009, 39.905, 0),
       acrossColumns,
       false,
       true,
       kI2,
       Point(116.401, 39.905, 0)},
      {"HeightIgnoredAcrossTilesWithoutTheFlag",
       {{kA, {{kRb, {{kI1, Alt(border, 9)}}}}}, {b, {{kLb, {{kI2, Alt(border, 1)}}}}}},
       border,
       acrossColumns,
       false,
       true,
       kI1,
       Alt(border, 9)},
      {"HeightDecidesAcrossTilesWithTheFlag",
       {{kA, {{kRb, {{kI1, Alt(border, 9)}}}}}, {b, {{kLb, {{kI2, Alt(border, 1)}}}}}},
       border,
       acrossColumns,
       true,
       true,
       kI2,
       Alt(border, 1)},
      {"NoTileOfTheBoxHasAFile", {}, border, acrossColumns, false, false, {}, {}},
      {"TilesWithoutCandidatesInTheBox",
       {{kA, {{kLb, {{kI1, kX}}}}}, {b, {{kRt, {{kI2, Point(116.415, 39.915, 0)}}}}}},
       border,
       acrossColumns,
       false,
       false,
       {},
       {}},
      {"EmptyBox", {{kA, {{kLb, {{kI1, kX}}}}}}, kX, Rect2D(kX, kX), false, false, {}, {}},
  };
}

class SdNearestInStore : public ::testing::Test {
 protected:
  void SetUp() override {
    ql::MapConfig::tile_lon_interval = 0.02;
    ql::MapConfig::tile_lat_interval = 0.02;
    ql::MapConfig::qt_max_level = 1;
    ql::MapConfig::serialize_type_json1_binary2 = 2;
    ql::MapConfig::tile_encrypt = false;
    ql::MapConfig::sdConfig::save_dir_json = (tmp_.path() / "sd" / "json").string() + "/";
    ql::MapConfig::sdConfig::save_dir_binary = (tmp_.path() / "sd" / "binary").string() + "/";
  }
  void Write(const std::vector<StoreTile>& tiles) {
    qlw::SdTileMap map;
    for (const StoreTile& t : tiles) map[t.id] = Content(qlw::TileRect(t.id), t.buckets);
    qlw::WriteSdTiles(tmp_.str(), map, 1);
  }

  qltest::ConfigGuard guard_;
  qltest::TempDir tmp_{"sd_nearest"};
  ql::Save save_;
};

TEST_F(SdNearestInStore, BestOverTheTilesOfTheBox) {
  for (const StoreCase& c : StoreCases()) {
    SCOPED_TRACE(c.name);
    Write(c.tiles);
    ql::SdWorld world(&save_);
    // Always written: nothing found gives the default id and the largest finite double.
    static_assert(kMax == 1.7976931348623157e308, "the largest finite double");
    ExpectNearest(
        c, [&](auto&&... a) { return world.GetNearestNodeId(a...); }, Point(0, 0, 0), kMax);
    // Every tile of the box was asked for: cached when it has a file, failed otherwise.
    EXPECT_EQ(world.GetTiles().size(), c.tiles.size());
    EXPECT_EQ(world.GetTiles().size() + world.GetFailedTiles().size(), ql::R2TIds(c.q).size());
  }
}

TEST_F(SdNearestInStore, ZeroIntervalsSeeNoTile) {
  Write({{kA, {{kLb, {{kI1, kX}}}}}});
  ql::MapConfig::tile_lon_interval = 0.0;
  ql::MapConfig::tile_lat_interval = 0.0;
  ql::SdWorld world(&save_);
  SdNodeId id(kI2);
  double dist = 3.0;
  EXPECT_FALSE(world.GetNearestNodeId(kX, kWholeA, id, dist, false));
  ExpectPoint(id.p, Point(0, 0, 0));
  EXPECT_EQ(dist, kMax);
  EXPECT_TRUE(world.GetTiles().empty());
  EXPECT_TRUE(world.GetFailedTiles().empty());
}

// Tiles are searched in TileId order with the caller's outputs: a tile that raises while it loads
// leaves what the tiles before it wrote, and stays unknown.
TEST_F(SdNearestInStore, TileThatRaisesLeavesWhatTheEarlierTilesWrote) {
  ql::MapConfig::serialize_type_json1_binary2 = 1;
  Write({{kA, {{kRb, {{kI1, Point(116.3995, 39.905, 0)}}}}}, {TileId(5820, 1995), {}}});
  qltest::WriteFile(tmp_.path() / "sd" / "json" / "5820,1995", "{\"m_keys\": [");
  ql::SdWorld world(&save_);
  SdNodeId id;
  double dist = -1.0;
  const Point p(116.3996, 39.905, 0);
  EXPECT_THROW(world.GetNearestNodeId(p, Box(116.395, 39.90, 116.405, 39.91), id, dist, false), ajson::exception);
  ExpectPoint(id.p, kI1);
  EXPECT_EQ(dist, std::sqrt(ql::D2XYZ(Point(116.3995, 39.905, 0), p, false)));
  EXPECT_EQ(world.GetTiles().size(), 1u);
  EXPECT_TRUE(world.GetFailedTiles().empty());
}

}  // namespace
