// Points, rectangles and tile ids: construction from stored tuples and maps, the
// orderings containers rely on, the half-open / closed rectangle tests, the quadrant
// cells of the quadtree and the field lists both tile readers follow.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "CoordSys.h"

namespace {

using ql::Point;
using ql::Rect2D;
using ql::TileId;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

void ExpectPoint(const Point& p, double lon, double lat, double alt) {
  EXPECT_EQ(p.dLon, lon);
  EXPECT_EQ(p.dLat, lat);
  EXPECT_EQ(p.dAlt, alt);
}

std::string ThrownMessage(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
  return "<nothing thrown>";
}

// ---- Point -------------------------------------------------------------------

TEST(Point, DefaultsToOrigin) { ExpectPoint(Point(), 0.0, 0.0, 0.0); }

struct TupleCase {
  const char* name;
  std::vector<double> tuple;
  double lon, lat, alt;
};

TEST(Point, FromTuple) {
  const TupleCase cases[] = {
      {"TwoValuesAltitudeZero", {1.5, 2.5}, 1.5, 2.5, 0.0},
      {"ThreeValues", {1.5, 2.5, 3.5}, 1.5, 2.5, 3.5},
      {"ValuesAfterThirdIgnored", {1.5, 2.5, 3.5, 4.5}, 1.5, 2.5, 3.5},
      {"NegativeKeptAsIs", {-116.38, -39.9, -12.0}, -116.38, -39.9, -12.0},
  };
  for (const TupleCase& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectPoint(Point(c.tuple), c.lon, c.lat, c.alt);
  }
}

TEST(Point, TupleOfFewerThanTwoValuesThrowsNamingTheCheck) {
  for (const std::vector<double>& tuple : {std::vector<double>{}, std::vector<double>{116.38}}) {
    SCOPED_TRACE(tuple.size());
    EXPECT_EQ(ThrownMessage([&] { Point p(tuple); }), "Point: check failed: d.size() >= 2");
  }
}

struct MapCase {
  const char* name;
  std::map<std::string, double> m;
  double lon, lat, alt;
};

TEST(Point, FromMap) {
  const MapCase cases[] = {
      {"LonLat", {{"lon", 116.38}, {"lat", 39.9}}, 116.38, 39.9, 0.0},
      {"HeightIsAltitude", {{"lon", 116.38}, {"lat", 39.9}, {"height", 12.5}}, 116.38, 39.9, 12.5},
      {"OtherKeysIgnored", {{"lon", 1.0}, {"lat", 2.0}, {"alt", 7.0}, {"x", 9.0}}, 1.0, 2.0, 0.0},
  };
  for (const MapCase& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectPoint(Point(c.m), c.lon, c.lat, c.alt);
  }
}

TEST(Point, MapWithoutLonOrLatThrowsNamingTheCheck) {
  const std::map<std::string, double> noLon{{"lat", 39.9}, {"height", 1.0}};
  const std::map<std::string, double> noLat{{"lon", 116.38}};
  EXPECT_EQ(ThrownMessage([&] { Point p(noLon); }),
            "Point: check failed: Utils::MapValue(m, std::string(\"lon\"), dLon)");
  EXPECT_EQ(ThrownMessage([&] { Point p(noLat); }),
            "Point: check failed: Utils::MapValue(m, std::string(\"lat\"), dLat)");
}

TEST(Point, LessIsLexicographicOnLonLatAlt) {
  struct Case {
    const char* name;
    Point l, r;
    bool less;
  };
  const Case cases[] = {
      {"LonDecides", {1, 9, 9}, {2, 0, 0}, true},      {"LonDecidesAgainst", {2, 0, 0}, {1, 9, 9}, false},
      {"LatDecides", {1, 1, 9}, {1, 2, 0}, true},      {"AltDecides", {1, 1, 1}, {1, 1, 2}, true},
      {"EqualIsNotLess", {1, 1, 1}, {1, 1, 1}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.l < c.r, c.less);
  }
}

TEST(Point, EqualityIsExactOnAllFields) {
  EXPECT_TRUE(Point(1, 2, 3) == Point(1, 2, 3));
  EXPECT_FALSE(Point(1, 2, 3) != Point(1, 2, 3));
  EXPECT_FALSE(Point(1, 2, 3) == Point(1, 2, 3.0000000001));  // altitude counts
  EXPECT_TRUE(Point(1, 2, 3) != Point(1, 2.0000000001, 3));
  EXPECT_FALSE(Point(kNaN, 2, 3) == Point(kNaN, 2, 3));
  EXPECT_TRUE(Point(1, kNaN, 3) != Point(1, kNaN, 3));
}

// ---- Rect2D ------------------------------------------------------------------

TEST(Rect2D, ContainsIsHalfOpen) {
  const Rect2D r(Point(10, 20, 5), Point(11, 21, 5));
  struct Case {
    const char* name;
    Point p;
    bool in;
  };
  const Case cases[] = {
      {"LowerLeftCornerIn", {10, 20, 0}, true},
      {"UpperRightCornerOut", {11, 21, 0}, false},
      {"LeftEdgeIn", {10, 20.5, 0}, true},
      {"RightEdgeOut", {11, 20.5, 0}, false},
      {"BottomEdgeIn", {10.5, 20, 0}, true},
      {"TopEdgeOut", {10.5, 21, 0}, false},
      {"InsideAnyAltitude", {10.5, 20.5, -1000}, true},
      {"WestOutside", {9.999, 20.5, 0}, false},
      {"NaNOutside", {kNaN, 20.5, 0}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(r.Contains(c.p), c.in);
  }
}

TEST(Rect2D, IntersectCountsTouchingEdgesAndCorners) {
  Rect2D r(Point(0, 0, 0), Point(2, 2, 0));
  struct Case {
    const char* name;
    Rect2D o;
    bool hit;
  };
  const Case cases[] = {
      {"Overlap", {{1, 1, 0}, {3, 3, 0}}, true},
      {"Inside", {{0.5, 0.5, 0}, {1, 1, 0}}, true},
      {"Encloses", {{-1, -1, 0}, {3, 3, 0}}, true},
      {"TouchesRightEdge", {{2, 0.5, 0}, {3, 1, 0}}, true},
      {"TouchesTopEdge", {{0.5, 2, 0}, {1, 3, 0}}, true},
      {"TouchesCorner", {{2, 2, 0}, {3, 3, 0}}, true},
      {"GapInLon", {{2.001, 0, 0}, {3, 2, 0}}, false},
      {"GapInLat", {{0, -3, 0}, {2, -0.001, 0}}, false},
      {"LonOverlapOnlyIsNotEnough", {{1, 5, 0}, {3, 6, 0}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(r.intersect(c.o), c.hit);
    Rect2D o = c.o;
    EXPECT_EQ(o.intersect(r), c.hit);  // symmetric
  }
}

TEST(Rect2D, QuadrantsSplitAtTheCentre) {
  const Rect2D r(Point(10, 20, 7), Point(12, 24, 9));
  struct Case {
    const char* name;
    Rect2D q;
    Point lb, rt;
  };
  const Case cases[] = {
      // The outer corners keep their altitude; every corner made at the centre has 0.
      {"Lb", r.getLb(), {10, 20, 7}, {11, 22, 0}},
      {"Rt", r.getRt(), {11, 22, 0}, {12, 24, 9}},
      {"Lt", r.getLt(), {10, 22, 0}, {11, 24, 0}},
      {"Rb", r.getRb(), {11, 20, 0}, {12, 22, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectPoint(c.q.lb, c.lb.dLon, c.lb.dLat, c.lb.dAlt);
    ExpectPoint(c.q.rt, c.rt.dLon, c.rt.dLat, c.rt.dAlt);
  }
}

TEST(Rect2D, QuadrantsTileTheParentWithoutGaps) {
  // Every point of the parent lies in exactly one quadrant (half-open cells).
  const Rect2D r(Point(116.36, 39.88, 0), Point(116.38, 39.9, 0));
  const Rect2D quads[] = {r.getLb(), r.getRt(), r.getLt(), r.getRb()};
  for (int i = 0; i <= 20; ++i) {
    for (int j = 0; j <= 20; ++j) {
      const Point p(116.36 + 0.02 * i / 21, 39.88 + 0.02 * j / 21, 0);
      int holders = 0;
      for (const Rect2D& q : quads) holders += q.Contains(p) ? 1 : 0;
      EXPECT_EQ(holders, 1) << p.dLon << ", " << p.dLat;
    }
  }
}

// ---- TileId ------------------------------------------------------------------

TEST(TileId, SetsIterateColumnByColumnRowsAscending) {
  const std::set<TileId> ids{{5820, 1995}, {5819, 1996}, {-1, 7}, {5819, -3}, {5820, 1994}};
  std::vector<std::pair<int, int>> order;
  for (const TileId& t : ids) order.emplace_back(t.nLonId, t.nLatId);
  const std::vector<std::pair<int, int>> expected{{-1, 7}, {5819, -3}, {5819, 1996}, {5820, 1994}, {5820, 1995}};
  EXPECT_EQ(order, expected);
}

TEST(TileId, EqualIdsAreOneSetElement) {
  const std::set<TileId> ids{{3, 4}, {3, 4}, TileId(3, 4)};
  EXPECT_EQ(ids.size(), 1u);
  EXPECT_EQ(TileId().nLonId, 0);
  EXPECT_EQ(TileId().nLatId, 0);
}

// ---- field lists -------------------------------------------------------------

TEST(FieldLists, NameTheMembersInStoredOrder) {
  EXPECT_STREQ(ql::Fields<Point>::kList, "dLon, dLat, dAlt");
  EXPECT_STREQ(ql::Fields<Rect2D>::kList, "lb, rt");
  EXPECT_STREQ(ql::Fields<TileId>::kList, "nLonId, nLatId");
  EXPECT_EQ(ql::Fields<Point>::kCount, 3);
  EXPECT_EQ(ql::Fields<Rect2D>::kCount, 2);
  EXPECT_EQ(ql::Fields<TileId>::kCount, 2);
}

TEST(FieldLists, VisitHandsOutTheMembersInListOrder) {
  Point p(1.5, 2.5, 3.5);
  std::vector<double> seen;
  ql::Fields<Point>::Visit(p, [&](double& lon, double& lat, double& alt) { seen = {lon, lat, alt}; });
  EXPECT_EQ(seen, (std::vector<double>{1.5, 2.5, 3.5}));

  TileId t(5819, 1995);
  ql::Fields<TileId>::Visit(t, [](int& col, int& row) {
    col += 1;  // references to the members, not copies
    row -= 1;
  });
  EXPECT_EQ(t.nLonId, 5820);
  EXPECT_EQ(t.nLatId, 1994);

  Rect2D r(Point(1, 2, 0), Point(3, 4, 0));
  ql::Fields<Rect2D>::Visit(r, [](Point& lb, Point& rt) {
    EXPECT_EQ(lb.dLon, 1.0);
    EXPECT_EQ(rt.dLon, 3.0);
  });
}

}  // namespace
