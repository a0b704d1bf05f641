// Lane geometry in the plane: the triangle test, the strip between two edge lines
// (paired walk plus fan, forward and reversed), the bounds that reject a point before the
// strip test, the perpendicular foot with its whole-metre distance and vertex fallback,
// and the nearest vertex by sphere distance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "HdLibMath.h"
#include "LinkSummary.h"
#include "MapTypes.h"

namespace {

using ql::HdLibMath;
using ql::Point;
using ql::XYZ;
using Line = std::vector<std::vector<double>>;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Geometry is written in metres east and north of a base position and stored as the
// map stores it (longitude, latitude, altitude); the library projects it back.
const Point kBase(116.38, 39.9, 0);

struct Local {
  double e, n, alt = 0;
};

Point At(const Local& l) {
  const XYZ q = ql::P2XYZ(kBase);
  return ql::XYZ2P(XYZ(q.dX + l.e, q.dY + l.n, l.alt));
}

std::vector<double> Tuple(const Local& l) {
  const Point p = At(l);
  return {p.dLon, p.dLat, p.dAlt};
}

Line MakeLine(const std::vector<Local>& vertices) {
  Line line;
  for (const Local& v : vertices) line.push_back(Tuple(v));
  return line;
}

// Metres east and north of the base, for checking a returned point.
Local Offset(const Point& p) {
  const XYZ q = ql::P2XYZ(p);
  const XYZ b = ql::P2XYZ(kBase);
  return {q.dX - b.dX, q.dY - b.dY, q.dZ};
}

// ---- plane helpers -----------------------------------------------------------

TEST(PlaneVectors, DifferenceLengthAndCross) {
  const XYZ d = XYZ(5, 7, 9) - XYZ(2, 3, 4);
  EXPECT_EQ(d.dX, 3);
  EXPECT_EQ(d.dY, 4);
  EXPECT_EQ(d.dZ, 5);
  EXPECT_EQ(d.length_xy(), 5);  // height takes no part
  EXPECT_EQ(ql::Cross(XYZ(1, 0, 0), XYZ(0, 1, 0)), 1);
  EXPECT_EQ(ql::Cross(XYZ(0, 1, 0), XYZ(1, 0, 0)), -1);
  EXPECT_EQ(ql::Cross(XYZ(2, 3, 100), XYZ(4, 5, -100)), 2 * 5 - 3 * 4);
}

// ---- triangle ----------------------------------------------------------------

struct TriangleCase {
  const char* name;
  XYZ p;
  bool in;
};

TEST(Triangle, StrictlyInsideWhateverTheWinding) {
  const XYZ a(0, 0, 0), b(4, 0, 0), c(0, 4, 0);
  const TriangleCase cases[] = {
      {"Inside", {1, 1, 0}, true},        {"InsideNearHypotenuse", {1.9, 2.0, 0}, true},
      {"OnBottomEdge", {2, 0, 0}, false}, {"OnLeftEdge", {0, 1, 0}, false},
      {"OnHypotenuse", {2, 2, 0}, false}, {"OnCorner", {4, 0, 0}, false},
      {"Outside", {3, 3, 0}, false},      {"Below", {1, -0.001, 0}, false},
      {"NaN", {kNaN, 1, 0}, false},
  };
  for (const TriangleCase& c0 : cases) {
    SCOPED_TRACE(c0.name);
    EXPECT_EQ(HdLibMath::IsInTriangle(a, b, c, c0.p), c0.in);
    EXPECT_EQ(HdLibMath::IsInTriangle(a, c, b, c0.p), c0.in);  // clockwise
    EXPECT_EQ(HdLibMath::IsInTriangle(b, c, a, c0.p), c0.in);  // rotated
  }
}

TEST(Triangle, CollinearContainsNothing) {
  const XYZ a(0, 0, 0), b(1, 1, 0), c(2, 2, 0);
  for (const XYZ& p : {XYZ(1, 1, 0), XYZ(0.5, 0.6, 0), XYZ(1.5, 1.5, 0)}) {
    EXPECT_FALSE(HdLibMath::IsInTriangle(a, b, c, p));
    EXPECT_FALSE(HdLibMath::IsInTriangle(a, a, a, p));
  }
}

TEST(Triangle, GeographicOverloadAcceptsTheWedgeBeyondCornerA) {
  // The geographic overload is kept for compatibility only; it tests the region
  // between the extensions of the two sides through a, not the triangle.
  const Point a = At({0, 0}), b = At({10, 0}), c = At({0, 10});
  const struct {
    const char* name;
    Local p;
    bool result;
  } cases[] = {
      {"InsideTheTriangle", {2, 2}, false},
      {"BeyondCornerA", {-2, -2}, true},
      {"BesideTheTriangle", {5, -3}, false},
  };
  for (const auto& c0 : cases) {
    SCOPED_TRACE(c0.name);
    EXPECT_EQ(HdLibMath::IsInTriangle(a, b, c, At(c0.p)), c0.result);
  }
  EXPECT_FALSE(HdLibMath::IsInTriangle(a, b, c, Point(kNaN, 39.9, 0)));
}

// ---- strip between two lines ---------------------------------------------------

struct StripCase {
  const char* name;
  std::vector<Local> first, second;
  bool reversed;
  Local p;
  bool in;
};

const std::vector<Local> kLeft3{{0, 0}, {0, 10}, {0, 20}};
const std::vector<Local> kLeft3Backwards{{0, 20}, {0, 10}, {0, 0}};
const std::vector<Local> kLeft5{{0, 0}, {0, 10}, {0, 20}, {0, 30}, {0, 40}};
const std::vector<Local> kLeft5Backwards{{0, 40}, {0, 30}, {0, 20}, {0, 10}, {0, 0}};
const std::vector<Local> kRight3{{3.5, 0}, {3.5, 10}, {3.5, 20}};
const std::vector<Local> kRight5{{3.5, 0}, {3.5, 10}, {3.5, 20}, {3.5, 30}, {3.5, 40}};

class Strip : public ::testing::TestWithParam<StripCase> {};

TEST_P(Strip, HoldsThePoint) {
  const StripCase& c = GetParam();
  EXPECT_EQ(HdLibMath::IsInRecArea(At(c.p), MakeLine(c.first), MakeLine(c.second), c.reversed), c.in);
}

INSTANTIATE_TEST_SUITE_P(HdLibMath, Strip,
                         ::testing::Values(
                             // Equal sizes: the strip is the two lines' quadrilaterals.
                             StripCase{"EqualInFirstQuad", kLeft3, kRight3, false, {1.75, 5}, true},
                             StripCase{"EqualInSecondQuad", kLeft3, kRight3, false, {1.75, 15}, true},
                             StripCase{"EqualLeftOfLane", kLeft3, kRight3, false, {-0.5, 5}, false},
                             StripCase{"EqualRightOfLane", kLeft3, kRight3, false, {4.0, 5}, false},
                             StripCase{"EqualPastTheEnd", kLeft3, kRight3, false, {1.75, 20.5}, false},
                             StripCase{"EqualBeforeTheStart", kLeft3, kRight3, false, {1.75, -0.5}, false},
                             StripCase{"EqualReversedFirst", kLeft3Backwards, kRight3, true, {1.75, 15}, true},
                             // 3 against 5 vertices: the fan runs from the shorter line's last paired
                             // vertex (0, 20) over the longer line's rest, triangles (0,20)-(3.5,20)-(3.5,30)
                             // and (0,20)-(3.5,30)-(3.5,40).
                             StripCase{"FanFirstTriangle", kLeft3, kRight5, false, {3.0, 28}, true},
                             StripCase{"FanSecondTriangle", kLeft3, kRight5, false, {3.2, 38}, true},
                             StripCase{"FanLeavesAGapOnTheShortSide", kLeft3, kRight5, false, {0.5, 28}, false},
                             StripCase{"FanPastTheLongerLine", kLeft3, kRight5, false, {3.2, 41}, false},
                             // Reversed and the first line the shorter: the fan pivots on its stored first vertex.
                             StripCase{"ReversedShortFirstFan", kLeft3Backwards, kRight5, true, {3.0, 28}, true},
                             StripCase{"ReversedShortFirstGap", kLeft3Backwards, kRight5, true, {0.5, 28}, false},
                             StripCase{"ReversedShortFirstPaired", kLeft3Backwards, kRight5, true, {1.0, 3}, true},
                             // Reversed and the first line the longer: the fan walks it down to index 0.
                             StripCase{"ReversedLongFirstFan", kLeft5Backwards, kRight3, true, {0.3, 28}, true},
                             StripCase{"ReversedLongFirstFanEnd", kLeft5Backwards, kRight3, true, {0.1, 39}, true},
                             StripCase{"ReversedLongFirstGap", kLeft5Backwards, kRight3, true, {3.0, 28}, false},
                             StripCase{"ForwardLongFirstFan", kLeft5, kRight3, false, {0.3, 28}, true},
                             StripCase{"ForwardLongFirstGap", kLeft5, kRight3, false, {3.0, 28}, false},
                             // A one-vertex line is a fan from that vertex over the other line.
                             StripCase{"OneVertexFan", {{1.75, -5}}, kRight3, false, {3.0, 5}, true},
                             StripCase{"OneVertexOutsideFan", {{1.75, -5}}, kRight3, false, {2.0, 5}, false},
                             // Empty lines hold nothing.
                             StripCase{"EmptyFirst", {}, kRight3, false, {1.75, 5}, false},
                             StripCase{"EmptySecond", kLeft3, {}, false, {1.75, 5}, false},
                             StripCase{"BothEmpty", {}, {}, true, {1.75, 5}, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StripEdges, VerticesAndEdgeLinesAreOutside) {
  const Line left = MakeLine(kLeft3);
  const Line right = MakeLine(kRight3);
  for (const std::vector<double>& v : left) EXPECT_FALSE(HdLibMath::IsInRecArea(Point(v), left, right, false));
  for (const std::vector<double>& v : right) EXPECT_FALSE(HdLibMath::IsInRecArea(Point(v), left, right, false));

  // On a central meridian every easting is exactly the false easting, so a point on
  // an edge line along it is exactly on the triangles' edges.
  const Line meridian{{117.0, 40.0}, {117.0, 40.001}};
  const Line east{{117.0001, 40.0}, {117.0001, 40.001}};
  EXPECT_FALSE(HdLibMath::IsInRecArea(Point(117.0, 40.0005, 0), meridian, east, false));
  EXPECT_TRUE(HdLibMath::IsInRecArea(Point(117.00005, 40.0005, 0), meridian, east, false));
}

TEST(StripEdges, AgreesWithTheRectangleItCovers) {
  // A straight 3.5 m lane of 6 vertices 8 m apart: inside the rectangle and off the
  // inner diagonals (where the triangles meet) means in the strip, else out.
  std::vector<Local> l, r;
  for (int i = 0; i < 6; ++i) {
    l.push_back({0, 8.0 * i});
    r.push_back({3.5, 8.0 * i});
  }
  const Line left = MakeLine(l), right = MakeLine(r);
  for (double e = -1.01; e < 4.6; e += 0.173) {
    for (double n = -1.03; n < 42; n += 0.71) {
      const bool inRect = e > 1e-3 && e < 3.5 - 1e-3 && n > 1e-3 && n < 40 - 1e-3;
      // Diagonal of quad k runs from (0, 8k + 8) to (3.5, 8k).
      const double k = std::floor(n / 8);
      const double onDiag = std::fabs((n - 8 * k) - 8 * (1 - e / 3.5));
      if (inRect && onDiag < 1e-3) continue;
      ASSERT_EQ(HdLibMath::IsInRecArea(At({e, n}), left, right, false), inRect) << e << ", " << n;
    }
  }
}

// ---- lane bounds -------------------------------------------------------------

// Two north-running edge lines in degrees, `width` degrees apart, `vertices` vertices each.
struct DegreeLane {
  Line left, right;
};

DegreeLane MakeDegreeLane(double lon, double lat0, double lat1, double width, int vertices) {
  DegreeLane lane;
  for (int i = 0; i < vertices; ++i) {
    const double lat = lat0 + (lat1 - lat0) * i / (vertices - 1);
    lane.left.push_back({lon, lat});
    lane.right.push_back({lon + width, lat});
  }
  return lane;
}

// The bounds only pay if they reject; they are only sound if they never reject a point the
// strip holds, whichever way the first line is walked. Probed over a grid around lanes where
// the projection bends differently: the central meridian, the equator, the south, the last
// bounded latitude, and a bent lane laid out in the plane.
TEST(LaneBounds, NeverRejectAPointTheStripHolds) {
  struct Case {
    const char* name;
    DegreeLane lane;
  };
  std::vector<Local> bentLeft, bentRight;
  for (int a = 0; a <= 90; a += 10) {
    const double t = a * 3.14159265358979 / 180.0;
    bentLeft.push_back({20 * std::cos(t), 20 * std::sin(t)});
    bentRight.push_back({23.5 * std::cos(t), 23.5 * std::sin(t)});
  }
  const Case cases[] = {
      {"AcrossTheCentralMeridian", MakeDegreeLane(116.99998, 39.95, 39.9503, 0.00004, 7)},
      {"AcrossTheEquator", MakeDegreeLane(10.0, -0.00015, 0.00015, 0.00003, 5)},
      {"South", MakeDegreeLane(7.6, -33.9003, -33.9, 0.00004, 5)},
      {"LastBoundedLatitude", MakeDegreeLane(20.0, 79.9995, 79.9998, 0.0002, 5)},
      {"BentInThePlane", {MakeLine(bentLeft), MakeLine(bentRight)}},
      // Lanes across zone borders, where the point's zone changes within the grid, and far
      // from a zone's meridian in the west.
      {"AcrossTheBorderAt121.5E", MakeDegreeLane(121.49998, 31.2, 31.2003, 0.00004, 7)},
      {"AcrossTheBorderAt4.5W", MakeDegreeLane(-4.50002, 40.4, 40.4003, 0.00004, 7)},
      {"AcrossTheBorderAt58.5WSouth", MakeDegreeLane(-58.50002, -34.6003, -34.6, 0.00004, 7)},
      {"ZoneZeroFourPointFiveWestOfItsMeridian", MakeDegreeLane(-4.49996, 40.4, 40.4003, 0.00004, 5)},
      {"NegativeZoneSouthWest", MakeDegreeLane(-58.38, -34.6003, -34.6, 0.00004, 5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    double lon0 = 1e9, lon1 = -1e9, lat0 = 1e9, lat1 = -1e9;
    for (const Line* line : {&c.lane.left, &c.lane.right}) {
      for (const std::vector<double>& v : *line) {
        lon0 = std::min(lon0, v[0]), lon1 = std::max(lon1, v[0]);
        lat0 = std::min(lat0, v[1]), lat1 = std::max(lat1, v[1]);
      }
    }
    int held = 0, rejected = 0;
    for (int i = -10; i <= 50; ++i) {
      for (int j = -10; j <= 50; ++j) {
        const Point p(lon0 + (lon1 - lon0) * i / 40, lat0 + (lat1 - lat0) * j / 40, 0);
        const bool clear = HdLibMath::IsClearOfRecArea(p, ql::P2XYZ(p), c.lane.left, c.lane.right);
        const bool in = HdLibMath::IsInRecArea(p, c.lane.left, c.lane.right, false) ||
                        HdLibMath::IsInRecArea(p, c.lane.left, c.lane.right, true);
        ASSERT_FALSE(clear && in) << i << ", " << j;
        held += in;
        rejected += clear;
      }
    }
    EXPECT_GT(held, 100) << "the grid must reach into the strip";
    EXPECT_GT(rejected, 61 * 61 / 3) << "the bounds must reject most of what lies beyond the box";
  }
}

TEST(LaneBounds, RejectBeyondEverySideOfTheBoxAndNotWithinTheMargin) {
  // Just east of a central meridian lines of longitude and of latitude run straight along
  // the plane axes (to well under a millimetre here), so the bounds sit on the vertices' own
  // plane box and the 1 cm margin shows.
  const DegreeLane lane = MakeDegreeLane(117.00001, 39.9, 39.9003, 0.00004, 4);
  double x0 = DBL_MAX, x1 = -DBL_MAX, y0 = DBL_MAX, y1 = -DBL_MAX;
  for (const Line* line : {&lane.left, &lane.right}) {
    for (const std::vector<double>& v : *line) {
      const XYZ q = ql::P2XYZ(Point(v));
      x0 = std::min(x0, q.dX), x1 = std::max(x1, q.dX), y0 = std::min(y0, q.dY), y1 = std::max(y1, q.dY);
    }
  }
  const double xm = (x0 + x1) / 2, ym = (y0 + y1) / 2;
  struct Case {
    const char* name;
    double x, y;  // plane position of the probe
    bool clear;
  };
  const Case cases[] = {
      {"TwoCentimetresWest", x0 - 0.02, ym, true},     {"TwoCentimetresEast", x1 + 0.02, ym, true},
      {"TwoCentimetresSouth", xm, y0 - 0.02, true},    {"TwoCentimetresNorth", xm, y1 + 0.02, true},
      {"BeyondACorner", x1 + 0.5, y1 + 0.5, true},     {"InTheStrip", xm, ym, false},
      {"FiveMillimetresWest", x0 - 0.005, ym, false},  {"FiveMillimetresEast", x1 + 0.005, ym, false},
      {"FiveMillimetresSouth", xm, y0 - 0.005, false}, {"FiveMillimetresNorth", xm, y1 + 0.005, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Point p = ql::XYZ2P(XYZ(c.x, c.y, 0));
    EXPECT_EQ(HdLibMath::IsClearOfRecArea(p, ql::P2XYZ(p), lane.left, lane.right), c.clear);
  }
}

TEST(LaneBounds, RejectNothingWhereTheyCannotBound) {
  struct Case {
    const char* name;
    Line line;
    bool readable;  // whether Add reads every vertex
    Point p;        // far from the line, so any bound would reject it
  };
  const Case cases[] = {
      {"FarFromThePointsMeridian", {{126.5, 39.95}, {126.5001, 39.9501}}, true, Point(118.51, 39.95, 0)},
      {"BeyondEightyDegrees", {{20.0, 80.0001}, {20.0001, 80.0002}}, false, Point(20.01, 80.0001, 0)},
      {"NaNLongitude", {{kNaN, 39.9}, {116.38, 39.9}}, false, Point(116.39, 39.9, 0)},
      {"InfiniteLongitude", {{HUGE_VAL, 39.9}, {116.38, 39.9}}, false, Point(116.39, 39.9, 0)},
      {"NaNLatitude", {{116.38, kNaN}, {116.38, 39.9}}, false, Point(116.39, 39.9, 0)},
      {"ShortTuple", {{116.38}, {116.38, 39.9}}, false, Point(116.39, 39.9, 0)},
      {"NoVertex", {}, true, Point(116.39, 39.9, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const XYZ q = ql::P2XYZ(c.p);
    ql::LaneBounds bounds;
    EXPECT_EQ(bounds.Add(c.line), c.readable);
    EXPECT_FALSE(bounds.Excludes(c.p, q));
    EXPECT_FALSE(HdLibMath::IsClearOfRecArea(c.p, q, c.line, c.line));
  }

  // A line that gives no bound spoils the box for good: a good line added later does not
  // restore it, though alone it rejects the same point.
  const Line good = MakeLine(kLeft3);
  const Point far(116.39, 39.9, 0);  // some 850 m east of it
  ql::LaneBounds spoiled;
  EXPECT_FALSE(spoiled.Add({{116.38}}));
  EXPECT_FALSE(spoiled.Add(good));
  EXPECT_FALSE(spoiled.Excludes(far, ql::P2XYZ(far)));
  ql::LaneBounds fresh;
  EXPECT_TRUE(fresh.Add(good));
  EXPECT_TRUE(fresh.Excludes(far, ql::P2XYZ(far)));
}

TEST(LaneBounds, BoundALineAcrossAZoneBorder) {
  // Projected in the point's zone, as the strip test projects it, a line across 118.5 E bounds
  // points on either side of the border.
  const Line line{{118.4999, 39.95}, {118.5001, 39.9501}};
  for (const Point& far : {Point(118.51, 39.95, 0), Point(118.49, 39.95, 0), Point(118.5, 39.96, 0)}) {
    SCOPED_TRACE(far.dLon);
    ql::LaneBounds bounds;
    ASSERT_TRUE(bounds.Add(line));
    EXPECT_TRUE(bounds.Excludes(far, ql::P2XYZ(far)));
  }
}

// ---- perpendicular foot ------------------------------------------------------

struct FootCase {
  const char* name;
  std::vector<Local> line;
  Local p;
  Local foot;  // expected, metres from the base
  double dist, distTol;
  int index;
};

class Foot : public ::testing::TestWithParam<FootCase> {};

TEST_P(Foot, FootDistanceAndIndex) {
  const FootCase& c = GetParam();
  Point foot(9, 9, 9);
  double dist = -1;
  int index = -1;
  EXPECT_TRUE(HdLibMath::GetPerpendicularFoot(At(c.p), MakeLine(c.line), foot, dist, index));
  const Local at = Offset(foot);
  // The plane foot is computed from products of full eastings and northings (about
  // 1e16 for 10 m segments), so it is good to about a millimetre, not to the bit of
  // the projection.
  EXPECT_NEAR(at.e, c.foot.e, 5e-3);
  EXPECT_NEAR(at.n, c.foot.n, 5e-3);
  EXPECT_NEAR(at.alt, c.foot.alt, 1e-9);
  EXPECT_NEAR(dist, c.dist, c.distTol);
  EXPECT_EQ(index, c.index);

  Point foot4;
  double dist4 = -1;
  EXPECT_TRUE(HdLibMath::GetPerpendicularFoot(At(c.p), MakeLine(c.line), foot4, dist4));
  EXPECT_EQ(foot4, foot);
  EXPECT_EQ(dist4, dist);
}

const std::vector<Local> kSpike{{0, 0}, {0, 20}, {-20, 40}, {30, 40}, {14, 10}, {30, -20}};
const std::vector<Local> kWideSpike{{0, 0}, {0, 20}, {-20, 40}, {30, 40}, {15, 10}, {30, -20}};

INSTANTIATE_TEST_SUITE_P(
    HdLibMath, Foot,
    ::testing::Values(
        // Whole metres: 0.9 m and 0.2 m both count 0, and the first segment wins.
        FootCase{"FirstOfEqualWholeMetres", {{0, 0}, {10, 0}, {10, 1.1}, {0, 1.1}}, {5, 0.9}, {5, 0}, 0, 0, 1},
        FootCase{"TruncatesBelowOne", {{0, 0}, {10, 0}}, {5, -0.9}, {5, 0}, 0, 0, 1},
        FootCase{"TruncatesOnePointNineNine", {{0, 0}, {10, 0}}, {5, 1.99}, {5, 0}, 1, 0, 1},
        FootCase{"TruncatesThreePointSeven", {{0, 0}, {10, 0}}, {5, 3.7}, {5, 0}, 3, 0, 1},
        FootCase{"LaterSegmentCloser", {{0, 0}, {10, 0}, {10, 10}}, {8.5, 5}, {10, 5}, 1, 0, 2},
        FootCase{"ZeroLengthSegmentSkipped", {{0, 0}, {0, 0}, {10, 0}}, {5, 1.5}, {5, 0}, 1, 0, 2},
        // No foot strictly inside a segment: the nearest stored vertex, its exact
        // plane distance, its position as index (1 for the first).
        FootCase{
            "BeyondTheEnd", {{0, 0, 1}, {10, 0, 2}, {20, 0, 3}}, {25, 1}, {20, 0, 3}, std::sqrt(26.0), 1e-4, 2},
        FootCase{
            "BeforeTheStart", {{0, 0, 1}, {10, 0, 2}, {20, 0, 3}}, {-5, 1}, {0, 0, 1}, std::sqrt(26.0), 1e-4, 1},
        // A foot 12 m away against a vertex 1.6 m away: 12 > 5 x 1.6, the vertex wins
        // with its exact distance, the index stays the segment's.
        FootCase{"FarFootLosesToNearVertex", kSpike, {12.4, 10}, {14, 10}, 1.6, 1e-4, 1},
        // Against a vertex 2.6 m away the 12 m foot stands (12 <= 13), in whole metres.
        FootCase{"NearEnoughFootStands", kWideSpike, {12.4, 10}, {0, 10}, 12, 0, 1},
        // The foot's altitude is the mean of the segment's two ends, not interpolated.
        FootCase{"AltitudeIsTheMean", {{0, 0, 10}, {10, 0, 30}, {20, 0, 0}}, {9, 1.5}, {9, 0, 20}, 1, 0, 1},
        FootCase{"OneVertex", {{3, 4, 5}}, {0, 0}, {3, 4, 5}, 5, 1e-4, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FootFallback, SnapsToTheStoredVertex) {
  // The fallback foot is the vertex exactly as stored, altitude included.
  const Line line = MakeLine({{0, 0, 1}, {10, 0, 2}, {20, 0, 3.25}});
  Point foot;
  double dist = 0;
  int index = 0;
  HdLibMath::GetPerpendicularFoot(At({25, 1}), line, foot, dist, index);
  EXPECT_EQ(foot, Point(line[2]));
}

TEST(FootFallback, EmptyLine) {
  Point foot(1, 2, 3);
  double dist = 0;
  int index = 0;
  EXPECT_TRUE(HdLibMath::GetPerpendicularFoot(kBase, {}, foot, dist, index));
  EXPECT_EQ(foot, Point());
  EXPECT_EQ(dist, DBL_MAX);
  EXPECT_EQ(index, 1);
}

// ---- lines across a zone border ------------------------------------------------

// A place on a zone border, and the zone west of it, in whose plane the lanes of these tests
// are drawn straight: east-west through the border, 143 m long and centred on it. Projected
// each in its own zone, a vertex west of the border and one east of it would lie some 714 km
// apart in the plane (their eastings carry different zones); the tests project every vertex in
// the query's zone, on either side.
struct Border {
  const char* name;
  Point at;
  int westZone;
};

void PrintTo(const Border& b, std::ostream* os) { *os << b.name; }

const Border kBorders[] = {
    {"At121_5E", {121.5, 31.2, 0}, 40},
    {"At1_5E", {1.5, 43.6, 0}, 0},
    {"At4_5W", {-4.5, 40.4, 0}, -1},
    {"At73_5WSouth", {-73.5, -41.0, 0}, -24},
    {"At148_5ESouth", {148.5, -33.9, 0}, 49},
    {"At58_5WSouth", {-58.5, -34.6, 0}, -19},
    {"At10_5EOnTheEquator", {10.5, 0.0, 0}, 3},
    {"At160_5EFarNorth", {160.5, 79.5, 0}, 53},
};

constexpr double kHalfLength = 71.5;  // metres either side of the border
constexpr double kHalfWidth = 1.75;

class AcrossABorder : public ::testing::TestWithParam<std::tuple<Border, int>> {
 protected:
  const Border& B() const { return std::get<0>(GetParam()); }
  int Vertices() const { return std::get<1>(GetParam()); }
  // Metres east and north of the border point in the west zone's plane, as a position.
  Point At(double e, double n) const {
    const XYZ b = ql::P2XYZInZone(B().at, B().westZone);
    return ql::XYZ2P(XYZ(b.dX + e, b.dY + n, 0));
  }
  Local Offset(const Point& p) const {
    const XYZ b = ql::P2XYZInZone(B().at, B().westZone);
    const XYZ q = ql::P2XYZInZone(p, B().westZone);
    return {q.dX - b.dX, q.dY - b.dY, q.dZ};
  }
  double E(int i) const { return -kHalfLength + 2 * kHalfLength * i / (Vertices() - 1); }
  Line Along(double n) const {
    Line line;
    for (int i = 0; i < Vertices(); ++i) {
      const Point p = At(E(i), n);
      line.push_back({p.dLon, p.dLat, 0.0});
    }
    return line;
  }
  // Whether (e, n) lies within 2 cm of an inner diagonal of the strip, from the left line's
  // vertex i + 1 to the right line's vertex i, where the triangles meet.
  bool NearADiagonal(double e, double n) const {
    for (int i = 0; i + 1 < Vertices(); ++i) {
      const double ax = E(i + 1), ay = kHalfWidth, bx = E(i), by = -kHalfWidth;
      const double t = std::clamp(
          ((e - ax) * (bx - ax) + (n - ay) * (by - ay)) / ((bx - ax) * (bx - ax) + (by - ay) * (by - ay)), 0.0,
          1.0);
      if (std::hypot(e - (ax + t * (bx - ax)), n - (ay + t * (by - ay))) < 0.02) return true;
    }
    return false;
  }
};

TEST_P(AcrossABorder, TheLaneHoldsItsOwnPointsOnBothSides) {
  ASSERT_EQ(ql::P2Zone(At(-1, 0)), B().westZone);
  ASSERT_EQ(ql::P2Zone(At(1, 0)), B().westZone + 1);
  const Line left = Along(kHalfWidth), right = Along(-kHalfWidth);
  int held = 0;
  for (double e = -75.0; e <= 75.0; e += 0.77) {
    for (double n = -2.5; n <= 2.5; n += 0.29) {
      const bool inside = std::fabs(e) < kHalfLength - 0.02 && std::fabs(n) < kHalfWidth - 0.02;
      const bool outside = std::fabs(e) > kHalfLength + 0.02 || std::fabs(n) > kHalfWidth + 0.02;
      if ((!inside && !outside) || (inside && NearADiagonal(e, n))) continue;
      ASSERT_EQ(HdLibMath::IsInRecArea(At(e, n), left, right, false), inside) << e << ", " << n;
      held += inside;
    }
  }
  EXPECT_GT(held, 2000);
}

TEST_P(AcrossABorder, TheFootLiesOnTheLine) {
  const Line centre = Along(0.0);
  // Between vertices, so that each foot lies strictly inside a segment; the border is at 0.
  for (const double e : {-60.3, -33.1, -8.2, -0.4, 0.3, 2.9, 21.7, 44.4, 59.9}) {
    for (const double n : {1.2, -0.7, 2.4}) {
      SCOPED_TRACE(std::to_string(e) + ", " + std::to_string(n));
      const Point p = At(e, n);
      Point foot;
      double dist = -1;
      int index = -1;
      HdLibMath::GetPerpendicularFoot(p, centre, foot, dist, index);
      const Local at = Offset(foot);
      // The foot is found in p's zone and turned back into degrees there. The plane foot is
      // good to millimetres (products of full eastings and northings, up to 5e15 far north in
      // zone 53), the way back to the series' 2e-7 degrees (2 cm) east of a western border,
      // 4.5 degrees off the meridian of zone 0 or a negative zone.
      const double tol = std::fabs(p.dLon - ql::P2Zone(p) * 3.0) <= 1.5 ? 1e-2 : 2.5e-2;
      EXPECT_NEAR(at.e, e, tol);
      EXPECT_NEAR(at.n, 0.0, tol);
      EXPECT_EQ(dist, std::trunc(std::fabs(n)));
      const int segment = static_cast<int>(std::floor((e + kHalfLength) / (2 * kHalfLength) * (Vertices() - 1)));
      EXPECT_EQ(index, segment + 1);
    }
  }
}

// The plane coordinates a tile works out (in the zone of each line's first vertex, here the west
// zone) give the answers of projecting every vertex, to the bit: read where the query lies in that
// zone, ignored east of the border, where every vertex is projected again.
TEST_P(AcrossABorder, WorkedOutPlaneCoordinatesGiveTheSameAnswers) {
  const Line left = Along(kHalfWidth), right = Along(-kHalfWidth), centre = Along(0.0);
  std::vector<double> leftXY(2 * left.size()), rightXY(2 * right.size()), centreXY(2 * centre.size());
  const ql::PlaneLine leftPlane = ql::WorkOutPlaneLine(left, leftXY.data());
  const ql::PlaneLine rightPlane = ql::WorkOutPlaneLine(right, rightXY.data());
  const ql::PlaneLine centrePlane = ql::WorkOutPlaneLine(centre, centreXY.data());
  ASSERT_EQ(leftPlane.zone, B().westZone);
  ASSERT_NE(centrePlane.xy, nullptr);
  int held = 0;
  for (double e = -75.0; e <= 75.0; e += 1.3) {
    for (double n = -2.5; n <= 2.5; n += 0.37) {
      const Point p = At(e, n);
      for (const bool reversed : {false, true}) {
        const bool plain = HdLibMath::IsInRecArea(p, left, right, reversed);
        EXPECT_EQ(
            HdLibMath::IsInRecArea(p, ql::P2XYZ(p), ql::P2Zone(p), left, leftPlane, right, rightPlane, reversed),
            plain)
            << e << ", " << n;
        held += plain;
      }
      Point foot, cachedFoot;
      double dist = 0, cachedDist = 0;
      int index = 0, cachedIndex = 0;
      HdLibMath::GetPerpendicularFoot(p, centre, foot, dist, index);
      HdLibMath::GetPerpendicularFoot(p, centre, centrePlane, cachedFoot, cachedDist, cachedIndex);
      EXPECT_EQ(std::memcmp(&foot, &cachedFoot, sizeof foot), 0) << e << ", " << n;
      EXPECT_EQ(dist, cachedDist);
      EXPECT_EQ(index, cachedIndex);
    }
  }
  EXPECT_GT(held, 100);
}

TEST(PlaneLines, NotWorkedOutForLinesTheProjectionCannotRead) {
  double xy[8];
  const Line cases[] = {{}, {{116.4, 39.9}, {116.4}}, {{kNaN, 39.9}, {116.4, 39.9}}};
  for (const Line& line : cases) EXPECT_EQ(ql::WorkOutPlaneLine(line, xy).xy, nullptr) << line.size();
  const Line ok = {{116.4, 39.9, 12.0}, {116.5, 39.9}};
  const ql::PlaneLine plane = ql::WorkOutPlaneLine(ok, xy);
  ASSERT_EQ(plane.xy, xy);
  EXPECT_EQ(plane.zone, 39);
  EXPECT_EQ(xy[2], ql::P2XYZInZone(Point(ok[1]), 39).dX);
  EXPECT_EQ(xy[3], ql::P2XYZInZone(Point(ok[1]), 39).dY);
}

INSTANTIATE_TEST_SUITE_P(HdLibMath, AcrossABorder,
                         ::testing::Combine(::testing::ValuesIn(kBorders), ::testing::Values(2, 14)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == 2 ? "OneSegment" : "Vertices11mApart");
                         });

// ---- nearest vertex ----------------------------------------------------------

TEST(NearestVertex, BySphereDistanceFirstOfEqual) {
  struct Case {
    const char* name;
    Line line;
    int index;
  };
  const Point p(10.0, 20.0, 0);
  const Case cases[] = {
      {"Middle", {{10.01, 20.0}, {10.002, 20.001, 7}, {9.99, 20.0}}, 1},
      // Equal longitude offsets either side are exactly equal distances.
      {"FirstOfEqual", {{10.001, 20.0}, {9.999, 20.0}}, 0},
      {"LastIfStrictlyNearer", {{10.001, 20.0}, {10.0009, 20.0}}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Point nearest;
    double dist = -1;
    int index = -1;
    EXPECT_TRUE(HdLibMath::GetNearestPointFromArray(p, c.line, nearest, dist, index));
    EXPECT_EQ(index, c.index);
    EXPECT_EQ(nearest, Point(c.line[c.index]));  // as stored, altitude included
    EXPECT_EQ(dist, ql::PointsDis(Point(c.line[c.index]), p));
  }
}

TEST(NearestVertex, EmptyLine) {
  Point nearest(1, 2, 3);
  double dist = 0;
  int index = 5;
  EXPECT_TRUE(HdLibMath::GetNearestPointFromArray(kBase, {}, nearest, dist, index));
  EXPECT_EQ(nearest, Point());
  EXPECT_EQ(dist, DBL_MAX);
  EXPECT_EQ(index, 0);
}

}  // namespace
