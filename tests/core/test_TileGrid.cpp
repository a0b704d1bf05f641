// The tile grid: naming a position's tile on the fixed 0.02-degree grid, the cell
// corners of the configured grid, the tiles a rectangle touches and tile file names.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstddef>
#include <limits>
#include <random>
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
      // Negative quotients truncate toward zero: column 0 holds every longitude strictly
      // between -0.02 and 0.02, and negative tiles reach downwards from their corner.
      {"NegativeTowardZero", {-0.01, -0.03, 0}, 0, -1},
      {"NegativeCorner", {-0.04, -0.02, 0}, -2, -1},
      {"NegativeInsideTile", {-0.0399, -116.3799, 0}, -1, -5818},
      // A quotient within 1e-6 above a negative whole number counts as that number, as one
      // within 1e-6 below a positive one does: -33.08 / 0.02 is -1653.9999999999998.
      {"NegativeAccumulatedCorner", {-116.37999999999998, -33.08, 0}, -5819, -1654},
      {"NegativeJustInsideCorrected", {-0.0399999999, -116.37999999, 0}, -2, -5819},  // -5818.9999995
      {"NegativeBelowTheCorrection", {-116.37999997, -0.0399999, 0}, -5818, -1},      // -5818.9999985
      {"JustBelowMinusOneCell", {-0.019999999999, -0.0199999, 0}, -1, 0},
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

TEST(TileName, OffTheGridLinesNamesAreTruncations) {
  // Away from the grid lines (more than 1e-6 of a tile) a name is the quotient truncated
  // toward zero, in all four hemispheres.
  std::mt19937_64 rng(13);
  std::uniform_real_distribution<double> lon(-180.0, 180.0), lat(-90.0, 90.0);
  int checked = 0;
  for (int k = 0; k < 200000; ++k) {
    const Point p(lon(rng), lat(rng), 0);
    const double x = p.dLon / 0.02, y = p.dLat / 0.02;
    if (std::fabs(x - std::round(x)) < 2e-6 || std::fabs(y - std::round(y)) < 2e-6) continue;
    const TileId t = ql::P2TId(p);
    ASSERT_EQ(t.nLonId, static_cast<int>(x)) << p.dLon;
    ASSERT_EQ(t.nLatId, static_cast<int>(y)) << p.dLat;
    ++checked;
  }
  EXPECT_GT(checked, 199000);
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
    // The list form names the same tiles in the same order and replaces what the list held.
    std::vector<TileId> list(3, TileId(7, 7));
    ql::R2TIdsInto(c.r, list);
    Ids listed;
    for (const TileId& t : list) listed.emplace_back(t.nLonId, t.nLatId);
    EXPECT_EQ(listed, c.tiles);
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
  Intervals(10.0, 10.0);
  const std::set<TileId> world = ql::R2TIds(Rect2D(Point(-kInf, -kInf, 0), Point(kInf, kInf, 0)));
  EXPECT_EQ(world.size(), 37u * 19u);
  ASSERT_FALSE(world.empty());
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

TEST_F(TileGrid, RectangleOfMoreTilesOrStepsThanTheCapNamesNone) {
  ASSERT_EQ(ql::sc_nMaxTilesInRect, 4096);
  struct Case {
    const char* name;
    double interval;
    Rect2D r;
    std::size_t tiles;
  };
  // Steps of 0.25 and 0.0625 add up without rounding and name a tile each, so the counts are
  // exact; the corners lie inside cells.
  const Case cases[] = {
      {"SixtyFourBySixtyFour", 0.25, {{10.1, 20.1, 0}, {25.9, 35.9, 0}}, 4096},
      {"SixtyFiveBySixtyFour", 0.25, {{10.1, 20.1, 0}, {26.1, 35.9, 0}}, 0},
      {"TwoRowsAtTheCap", 0.0625, {{0.01, 0.01, 0}, {127.99, 0.1, 0}}, 4096},
      {"TwoRowsBeyond", 0.0625, {{0.01, 0.01, 0}, {128.01, 0.1, 0}}, 0},
      {"SouthWestAtTheCap", 0.25, {{-25.9, -35.9, 0}, {-10.1, -20.1, 0}}, 4096},
      {"SouthWestBeyond", 0.25, {{-26.1, -35.9, 0}, {-10.1, -20.1, 0}}, 0},
      {"EveryLongitude", 0.02, {{-180, 89.9, 0}, {180, 89.91, 0}}, 0},
      {"TheWholeWorld", 0.02, {{-kInf, -kInf, 0}, {kInf, kInf, 0}}, 0},
      // Steps of 1/1024 degree: 4,096 of them along the longitudes name 200 tiles, one more
      // step names none; so does an interval of 1e-13, whose walk would take billions.
      {"FineStepsAtTheCap", 0.0009765625, {{0.0001, 0.0001, 0}, {3.9999, 0.0002, 0}}, 200},
      {"FineStepsBeyond", 0.0009765625, {{0.0001, 0.0001, 0}, {4.0001, 0.0002, 0}}, 0},
      {"IntervalFarBelowATile", 1e-13, {{-0.0001, -0.0001, 0}, {0.0001, 0.0001, 0}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Intervals(c.interval, c.interval);
    EXPECT_EQ(ql::R2TIds(c.r).size(), c.tiles);
  }
}

TEST_F(TileGrid, InvertedRectangleNamesNoTile) {
  // Corners the wrong way round step nowhere, also where the world's edge would clamp them
  // onto one another (as the projection's box can come out near a pole).
  Intervals(0.02, 0.02);
  EXPECT_TRUE(ql::R2TIds(Rect2D(Point(10.01, 20.01, 0), Point(10.0, 20.03, 0))).empty());
  EXPECT_TRUE(ql::R2TIds(Rect2D(Point(10.01, 20.03, 0), Point(10.03, 20.01, 0))).empty());
  EXPECT_TRUE(ql::R2TIds(Rect2D(Point(-210.5, 89.9996, 0), Point(-711.9, 89.9997, 0))).empty());
}

TEST_F(TileGrid, MetricBoxNearAPoleNamesNoTile) {
  // Within some 35 m of a pole a 20 m box spans more longitudes than the cap has tiles.
  Intervals(0.02, 0.02);
  for (const double lat : {89.99975, 89.9999, -89.99975, -89.99999}) {
    for (const double lon : {-179.0, 0.0, 116.38}) {
      SCOPED_TRACE(std::to_string(lon) + ", " + std::to_string(lat));
      EXPECT_TRUE(ql::R2TIds(ql::P2R(Point(lon, lat, 0), 20, 20)).empty());
    }
  }
  // Short of the cap the box names its tiles.
  const std::set<TileId> near = ql::R2TIds(ql::P2R(Point(0.01, 89.99, 0), 20, 20));
  EXPECT_FALSE(near.empty());
  EXPECT_LE(near.size(), static_cast<std::size_t>(ql::sc_nMaxTilesInRect));
  EXPECT_EQ(near.count(ql::P2TId(Point(0.01, 89.99, 0))), 1u);
}

// ---- every point of a box in the box's tiles ---------------------------------------

// An interval of exactly 0.02, as a C++ caller sets it (or the configuration as the quoted
// "0.02"), and the value the configuration reader makes of the number 0.02, one ulp above.
const double kExactInterval = 0.02;
const double kReadInterval = 0x1.47ae147ae147cp-6;  // 0.020000000000000004

class BoxTiles : public TileGrid, public ::testing::WithParamInterface<double> {};

// Coordinates on, just off and well off the grid lines k * 0.02 (computed three ways, as a
// producer of corners might), in all four hemispheres.
double NearGridLine(std::mt19937_64& rng, int maxIndex) {
  std::uniform_int_distribution<int> index(-maxIndex, maxIndex);
  const int k = index(rng);
  const double lines[] = {k * 0.02, k / 50.0, std::round(k * 2.0) / 100.0};
  const double offsets[] = {0.0, 1e-15, -1e-15, 1e-12, -1e-12, 1e-8, -1e-8, 3e-8, -3e-8, 0.004, -0.004, 0.0131};
  std::uniform_int_distribution<int> line(0, 2), offset(0, 11);
  return lines[line(rng)] + offsets[offset(rng)];
}

TEST_P(BoxTiles, EveryPointOfABoxIsInTheBoxsTiles) {
  // A box lists the tile P2TId names for each of its points: its corners, the grid lines
  // through it and the doubles next to them, and points inside.
  Intervals(GetParam(), GetParam());
  std::mt19937_64 rng(29);
  const double sizes[] = {0.0, 1e-9, 3e-8, 0.0004, 0.0131, 0.02, 0.047};
  std::uniform_int_distribution<int> size(0, 6);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int k = 0; k < 20000; ++k) {
    const double x0 = NearGridLine(rng, 8997), y0 = NearGridLine(rng, 4497);  // inside the world
    const double x1 = x0 + sizes[size(rng)], y1 = y0 + sizes[size(rng)];
    const std::set<TileId> tiles = ql::R2TIds(Rect2D(Point(x0, y0, 0), Point(x1, y1, 0)));
    std::vector<double> xs = {x0, x1}, ys = {y0, y1};
    for (int i = 0; i < 3; ++i) xs.push_back(x0 + (x1 - x0) * unit(rng)), ys.push_back(y0 + (y1 - y0) * unit(rng));
    for (int g = static_cast<int>(std::floor(x0 / 0.02)); g <= static_cast<int>(std::ceil(x1 / 0.02)); ++g) {
      for (const double v : {g * 0.02, std::nextafter(g * 0.02, -1e9), std::nextafter(g * 0.02, 1e9)}) {
        if (v >= x0 && v <= x1) xs.push_back(v);
      }
    }
    for (int g = static_cast<int>(std::floor(y0 / 0.02)); g <= static_cast<int>(std::ceil(y1 / 0.02)); ++g) {
      for (const double v : {g * 0.02, std::nextafter(g * 0.02, -1e9), std::nextafter(g * 0.02, 1e9)}) {
        if (v >= y0 && v <= y1) ys.push_back(v);
      }
    }
    for (const double x : xs) {
      for (const double y : ys) {
        const TileId t = ql::P2TId(Point(x, y, 0));
        ASSERT_EQ(tiles.count(t), 1u) << std::hexfloat << "box " << x0 << ", " << y0 << " .. " << x1 << ", " << y1
                                      << ": point " << x << ", " << y << " in " << t.nLonId << "," << t.nLatId;
      }
    }
  }
}

TEST_P(BoxTiles, BoxInsideATileNamesThatTileInEveryRowAndColumn) {
  // The fault this pins: with an interval of exactly 0.02, -33.08 / 0.02 is
  // -1653.9999999999998, so a box inside row -1654 named the row above and nothing else.
  Intervals(GetParam(), GetParam());
  for (int row = -4499; row <= 4499; ++row) {
    const double y = row > 0 ? (row + 0.5) * 0.02 : row < 0 ? (row - 0.5) * 0.02 : 0.0;
    const Rect2D r(Point(10.005, y - 0.004, 0), Point(10.012, y + 0.004, 0));
    ASSERT_EQ(Sorted(ql::R2TIds(r)), (Ids{{500, row}})) << row;
  }
  for (int col = -8999; col <= 8999; ++col) {
    const double x = col > 0 ? (col + 0.5) * 0.02 : col < 0 ? (col - 0.5) * 0.02 : 0.0;
    const Rect2D r(Point(x - 0.004, -20.012, 0), Point(x + 0.004, -20.005, 0));
    ASSERT_EQ(Sorted(ql::R2TIds(r)), (Ids{{col, -1000}})) << col;
  }
}

INSTANTIATE_TEST_SUITE_P(TileGrid, BoxTiles, ::testing::Values(kExactInterval, kReadInterval),
                         [](const auto& info) {
                           return info.index == 0 ? "Exact" : "AsReadFromTheConfiguration";
                         });

// A 20 m box around places on every continent holds the place's tile and its corners' tiles.
TEST_F(TileGrid, MetricBoxesAroundPlacesOnEveryContinent) {
  const struct {
    const char* name;
    double lon, lat;
  } places[] = {
      {"Beijing", 116.39, 39.91},       {"Sydney", 151.21, -33.87},  {"Valparaiso", -71.62, -33.09},
      {"BuenosAires", -58.38, -34.6},   {"NewYork", -74.01, 40.71},  {"London", -0.13, 51.51},
      {"Greenwich", 0.0, 51.4779},      {"Accra", -0.19, 5.6},       {"Equator", 32.58, 0.0},
      {"Nairobi", 36.82, -1.29},        {"CapeTown", 18.42, -33.92}, {"Reykjavik", -21.94, 64.15},
      {"Anchorage", -149.9, 61.22},     {"McMurdo", 166.67, -77.85}, {"Alert", -62.35, 82.5},
      {"Antimeridian", -179.99, -16.5},
  };
  for (const double interval : {kExactInterval, kReadInterval}) {
    Intervals(interval, interval);
    for (const auto& c : places) {
      SCOPED_TRACE(std::string(c.name) + (interval == kExactInterval ? " exact" : " as read"));
      const Point p(c.lon, c.lat, 0);
      const Rect2D box = ql::P2R(p, 20, 20);
      const std::set<TileId> tiles = ql::R2TIds(box);
      EXPECT_LE(tiles.size(), 9u);  // an accumulated corner can add a column or a row
      for (const Point& q :
           {p, box.lb, box.rt, Point(box.lb.dLon, box.rt.dLat, 0), Point(box.rt.dLon, box.lb.dLat, 0)}) {
        EXPECT_EQ(tiles.count(ql::P2TId(q)), 1u) << q.dLon << ", " << q.dLat;
      }
    }
  }
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
