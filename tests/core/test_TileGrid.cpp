// The tile grid: naming a position's tile on the fixed 0.02-degree grid, the cell
// corners of the configured grid, the tiles a rectangle touches and tile file names.
#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "CoordSys.h"
#include "MapConfig.h"

namespace {

using ql::Point;
using ql::Rect2D;
using ql::TileId;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

using Ids = std::vector<std::pair<int, int>>;

Ids Sorted(const std::set<TileId>& ids) {
  Ids out;
  for (const TileId& t : ids) out.emplace_back(t.nLonId, t.nLatId);
  return out;
}

// The intervals are process-wide settings: every test sets its own and restores them.
class TileGrid : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLon_ = ql::MapConfig::tile_lon_interval;
    savedLat_ = ql::MapConfig::tile_lat_interval;
  }
  void TearDown() override {
    ql::MapConfig::tile_lon_interval = savedLon_;
    ql::MapConfig::tile_lat_interval = savedLat_;
  }
  static void Intervals(double lon, double lat) {
    ql::MapConfig::tile_lon_interval = lon;
    ql::MapConfig::tile_lat_interval = lat;
  }

 private:
  double savedLon_ = 0;
  double savedLat_ = 0;
};

// ---- naming ------------------------------------------------------------------

TEST(TileName, PositionsOnTheFixedGrid) {
  struct Case {
    const char* name;
    Point p;
    int col, row;
  };
  const Case cases[] = {
      {"Typical", {116.38, 39.9, 0}, 5819, 1995},
      {"JustBelowCornerCorrected", {116.37999999, 39.9, 0}, 5819, 1995},  // quotient 5818.9999995
      {"AccumulatedCorner", {116.37999999999998, 39.9, 0}, 5819, 1995},
      {"BelowTheCorrection", {116.37999997, 39.9, 0}, 5818, 1995},  // quotient 5818.9999985
      {"InsideTile", {116.39, 39.9, 0}, 5819, 1995},
      {"Corners", {0.02, 0.04, 0}, 1, 2},
      {"Origin", {0, 0, 0}, 0, 0},
      // Negative quotients truncate toward zero without correction: column 0 holds
      // every longitude strictly between -0.02 and 0.02.
      {"NegativeTowardZero", {-0.01, -0.03, 0}, 0, -1},
      {"NegativeCorner", {-0.04, -0.02, 0}, -2, -1},
      {"NegativeJustInside", {-0.0399999999, -116.37999999, 0}, -1, -5818},
      {"AltitudeIgnored", {116.38, 39.9, -500}, 5819, 1995},
      {"WorldEdges", {180, 90, 0}, 9000, 4500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TileId t = ql::P2TId(c.p);
    EXPECT_EQ(t.nLonId, c.col);
    EXPECT_EQ(t.nLatId, c.row);
  }
}

TEST(TileName, NonNumbersGiveTheIntMinSentinelWithoutUndefinedBehaviour) {
  const TileId t = ql::P2TId(Point(kNaN, 1e300, 0));
  EXPECT_EQ(t.nLonId, INT_MIN);
  EXPECT_EQ(t.nLatId, INT_MIN);
}

// ---- configured-grid corners -----------------------------------------------------

TEST_F(TileGrid, CellCornersUseEachAxisInterval) {
  Intervals(0.04, 0.02);  // different, so a swapped axis shows
  const Point lb = ql::P2TLBP(Point(116.385, 39.905, 7.5));
  const Point rt = ql::P2TRTP(Point(116.385, 39.905, 7.5));
  EXPECT_NEAR(lb.dLon, 116.36, 1e-12);  // 2909 * 0.04
  EXPECT_NEAR(lb.dLat, 39.90, 1e-12);   // 1995 * 0.02
  EXPECT_NEAR(rt.dLon, 116.40, 1e-12);
  EXPECT_NEAR(rt.dLat, 39.92, 1e-12);
  EXPECT_EQ(lb.dAlt, 7.5);
  EXPECT_EQ(rt.dAlt, 7.5);
}

TEST_F(TileGrid, CellCornersTruncateNegativesTowardZero) {
  Intervals(0.02, 0.02);
  const Point lb = ql::P2TLBP(Point(-0.03, -0.01, 0));
  const Point rt = ql::P2TRTP(Point(-0.03, -0.01, 0));
  EXPECT_NEAR(lb.dLon, -0.02, 1e-15);
  EXPECT_NEAR(lb.dLat, 0.0, 1e-15);
  EXPECT_NEAR(rt.dLon, 0.0, 1e-15);
  EXPECT_NEAR(rt.dLat, 0.02, 1e-15);
}

// ---- tiles of a rectangle ------------------------------------------------------

struct RectCase {
  const char* name;
  double lonInterval, latInterval;
  Rect2D r;
  Ids tiles;
};

TEST_F(TileGrid, TilesOfARectangle) {
  const RectCase cases[] = {
      {"TwoColumns", 0.02, 0.02, {{10.001, 20.001, 0}, {10.039, 20.019, 0}}, {{500, 1000}, {501, 1000}}},
      // The end corner is 10.06; the fourth accumulated corner, 10.059999999999999,
      // lies below it and names column 503.
      {"AccumulatedCornerAddsAColumn",
       0.02,
       0.02,
       {{10.001, 20.001, 0}, {10.041, 20.019, 0}},
       {{500, 1000}, {501, 1000}, {502, 1000}, {503, 1000}}},
      // Steps of 0.04 skip the 0.02 columns 501 and 503; the third corner accumulates
      // to 10.079999999999998, below the end corner 10.08.
      {"WiderIntervalSkipsColumns",
       0.04,
       0.04,
       {{10.001, 20.001, 0}, {10.059, 20.019, 0}},
       {{500, 1000}, {502, 1000}, {504, 1000}}},
      // Columns: corners 116.38, 116.39999999999999 and 116.41999999999999 (below the
      // end 116.42, named 5821); rows: 39.9 and 39.92, the next sum equals the end
      // 39.940000000000005 and is not below it.
      {"ColumnsThenRows",
       0.02,
       0.02,
       {{116.381, 39.901, 0}, {116.401, 39.921, 0}},
       {{5819, 1995}, {5819, 1996}, {5820, 1995}, {5820, 1996}, {5821, 1995}, {5821, 1996}}},
      {"PointRectangle", 0.02, 0.02, {{116.39, 39.91, 0}, {116.39, 39.91, 0}}, {{5819, 1995}}},
      {"RectangleOnACorner", 0.02, 0.02, {{116.38, 39.9, 0}, {116.38, 39.9, 0}}, {{5819, 1995}}},
      {"AcrossZero", 0.02, 0.02, {{-0.03, -0.01, 0}, {0.01, 0.01, 0}}, {{-1, 0}, {0, 0}}},
      {"LonAndLatIntervalsNotSwapped",
       0.02,
       0.04,
       {{10.001, 20.001, 0}, {10.021, 20.001, 0}},
       {{500, 1000}, {501, 1000}}},
  };
  for (const RectCase& c : cases) {
    SCOPED_TRACE(c.name);
    Intervals(c.lonInterval, c.latInterval);
    EXPECT_EQ(Sorted(ql::R2TIds(c.r)), c.tiles);
  }
}

TEST_F(TileGrid, UnusableIntervalsGiveNoTiles) {
  const Rect2D r(Point(10.001, 20.001, 0), Point(10.039, 20.019, 0));
  const std::pair<double, double> intervals[] = {
      {0.0, 0.0},     // before the configuration is read
      {0.02, 0.0},    // one axis is enough
      {-0.02, 0.02},  // would step backwards forever
      {0.02, -0.02},  //
      {kNaN, 0.02},   //
      {0.02, kInf},   //
      {1e-12, 0.02},  // cell numbers would overflow an int
  };
  for (const auto& [lon, lat] : intervals) {
    SCOPED_TRACE(std::to_string(lon) + " x " + std::to_string(lat));
    Intervals(lon, lat);
    EXPECT_TRUE(ql::R2TIds(r).empty());
  }
}

TEST_F(TileGrid, NaNRectangleGivesNoTiles) {
  Intervals(0.02, 0.02);
  EXPECT_TRUE(ql::R2TIds(Rect2D(Point(kNaN, 20, 0), Point(10, 20.01, 0))).empty());
  EXPECT_TRUE(ql::R2TIds(Rect2D(Point(10, 20, 0), Point(10.01, kNaN, 0))).empty());
}

TEST_F(TileGrid, RectangleIsClampedToTheWorld) {
  // Unbounded corners are clamped to [-180, 180] x [-90, 90] before stepping.
  Intervals(1.0, 1.0);
  const std::set<TileId> world = ql::R2TIds(Rect2D(Point(-kInf, -kInf, 0), Point(kInf, kInf, 0)));
  EXPECT_EQ(world.size(), 361u * 181u);
  EXPECT_EQ(world.begin()->nLonId, -9000);
  EXPECT_EQ(world.begin()->nLatId, -4500);
  EXPECT_EQ(world.rbegin()->nLonId, 9000);
  EXPECT_EQ(world.rbegin()->nLatId, 4500);

  Intervals(0.02, 0.02);
  const std::set<TileId> corner = ql::R2TIds(Rect2D(Point(179.99, 89.99, 0), Point(1e300, 1e300, 0)));
  ASSERT_FALSE(corner.empty());
  for (const TileId& t : corner) {
    EXPECT_GE(t.nLonId, 8999);
    EXPECT_LE(t.nLonId, 9001);
    EXPECT_GE(t.nLatId, 4499);
    EXPECT_LE(t.nLatId, 4501);
  }
}

TEST_F(TileGrid, FineIntervalsNameEachTileTheyPass) {
  // Steps finer than a tile name every 0.02 tile they pass. The last latitude corner
  // accumulates to 20.019999999999996, below the end 20.02, and the near-integer
  // correction names it row 1001.
  Intervals(0.005, 0.005);
  const Ids tiles = Sorted(ql::R2TIds(Rect2D(Point(10.001, 20.001, 0), Point(10.049, 20.019, 0))));
  EXPECT_EQ(tiles, (Ids{{500, 1000}, {500, 1001}, {501, 1000}, {501, 1001}, {502, 1000}, {502, 1001}}));
}

// ---- tile file names -------------------------------------------------------------

TEST(TileFileName, ColumnCommaRow) {
  struct Case {
    const char* name;
    std::string text;
    int col, row;
  };
  const Case cases[] = {
      {"Typical", "5819,1995", 5819, 1995},
      {"Negative", "-3,-4", -3, -4},
      {"ExtraPiecesIgnored", "12,34,56", 12, 34},
      {"SuffixAfterTheRow", "12,34.json", 12, 34},
      {"NotANumberIsZero", "abc,7", 0, 7},
      {"EmptyFirstPiece", ",7", 0, 7},
      {"TrailingCommaAddsNoPiece", "5,", 0, 0},
      {"OnePiece", "5819", 0, 0},
      {"Dot", ".", 0, 0},
      {"DotDot", "..", 0, 0},
      {"Empty", "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TileId t = ql::String2TId(c.text);
    EXPECT_EQ(t.nLonId, c.col);
    EXPECT_EQ(t.nLatId, c.row);
  }
}

TEST_F(TileGrid, NamesOfCoveredTilesReadBack) {
  // A tile named from a position and written as "col,row" reads back as the same id.
  Intervals(0.02, 0.02);
  for (const TileId& t : ql::R2TIds(Rect2D(Point(-0.05, -0.05, 0), Point(0.05, 0.05, 0)))) {
    const TileId back = ql::String2TId(std::to_string(t.nLonId) + "," + std::to_string(t.nLatId));
    EXPECT_EQ(back.nLonId, t.nLonId);
    EXPECT_EQ(back.nLatId, t.nLatId);
  }
}

}  // namespace
