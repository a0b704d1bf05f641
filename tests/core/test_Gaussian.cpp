// The 3-degree Gauss-Krueger projection, the meridian arc, the metric box and the
// sphere distances and angles. Anchors are known positions to the digits given;
// the cross-checks compare with formulas that share no code with the library
// (Krueger's n-series for the projection, a numerical integral for the arc).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>

#include "CoordSys.h"
#include "MapTypes.h"
#include "Numeric.h"
#include "Wgs84.h"

namespace {

using ql::Point;
using ql::XYZ;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// ---- independent references ----------------------------------------------------

// Transverse Mercator by Krueger's series in the third flattening (6th order),
// on the same semi-major axis and flattening. Exact to well below a millimetre.
XYZ KruegerForward(double lonDeg, double latDeg, double centralDeg) {
  const double a = 6378137.0;
  const double f = 0.003352810664;
  const double n = f / (2 - f);
  const double n2 = n * n, n3 = n2 * n, n4 = n3 * n, n5 = n4 * n, n6 = n5 * n;
  const double A = a / (1 + n) * (1 + n2 / 4 + n4 / 64 + n6 / 256);
  const double alpha[7] = {
      0,
      n / 2 - 2 * n2 / 3 + 5 * n3 / 16 + 41 * n4 / 180 - 127 * n5 / 288 + 7891 * n6 / 37800,
      13 * n2 / 48 - 3 * n3 / 5 + 557 * n4 / 1440 + 281 * n5 / 630 - 1983433 * n6 / 1935360,
      61 * n3 / 240 - 103 * n4 / 140 + 15061 * n5 / 26880 + 167603 * n6 / 181440,
      49561 * n4 / 161280 - 179 * n5 / 168 + 6601661 * n6 / 7257600,
      34729 * n5 / 80640 - 3418889 * n6 / 1995840,
      212378941 * n6 / 319334400,
  };
  const double e = std::sqrt(f * (2 - f));
  const double deg = std::acos(-1.0) / 180;
  const double phi = latDeg * deg;
  const double lam = (lonDeg - centralDeg) * deg;
  const double t = std::sinh(std::atanh(std::sin(phi)) - e * std::atanh(e * std::sin(phi)));
  const double xi = std::atan2(t, std::cos(lam));
  const double eta = std::atanh(std::sin(lam) / std::sqrt(1 + t * t));
  double x = xi, y = eta;
  for (int j = 1; j <= 6; ++j) {
    x += alpha[j] * std::sin(2 * j * xi) * std::cosh(2 * j * eta);
    y += alpha[j] * std::cos(2 * j * xi) * std::sinh(2 * j * eta);
  }
  return XYZ(A * y, A * x, 0);
}

// Meridian arc by Simpson's rule over the meridian radius of curvature.
double MeridianArcIntegral(double latRad) {
  const double a = 6378137.0;
  const double f = 0.003352810664;
  const double e2 = f * (2 - f);
  const int steps = 20000;
  const double h = latRad / steps;
  auto M = [&](double phi) {
    const double s = std::sin(phi);
    return a * (1 - e2) / std::pow(1 - e2 * s * s, 1.5);
  };
  double sum = M(0) + M(latRad);
  for (int i = 1; i < steps; ++i) sum += (i % 2 ? 4 : 2) * M(i * h);
  return sum * h / 3;
}

// ---- projection anchors ------------------------------------------------------

struct ForwardCase {
  const char* name;
  Point p;
  double x, y, z;
  double tolX, tolY;
};

TEST(Projection, KnownPositions) {
  const ForwardCase cases[] = {
      // A central meridian has the zone's false easting exactly.
      {"CentralMeridian117", {117.0, 40.0, 0}, 39500000.0, 4429529.030, 0, 0.0, 5e-4},
      {"Zone39", {116.38, 39.9, 12.5}, 39446978.472, 4418609.682, 12.5, 5e-4, 5e-4},
      // 118.5 starts zone 40 (central meridian 120); just west of it is zone 39.
      {"Zone40StartsAt118.5", {118.5, 39.9, 0}, 40371719.93, 4419502.909, 0, 5e-3, 5e-3},
      {"Zone39EndsBefore118.5", {118.4999999, 39.9, 0}, 39628280.06, 4419502.909, 0, 5e-3, 5e-3},
      {"Origin", {0, 0, 0}, 500000.0, 0.0, 0, 0.0, 0.0},
  };
  for (const ForwardCase& c : cases) {
    SCOPED_TRACE(c.name);
    const XYZ q = ql::P2XYZ(c.p);
    EXPECT_NEAR(q.dX, c.x, c.tolX);
    EXPECT_NEAR(q.dY, c.y, c.tolY);
    EXPECT_EQ(q.dZ, c.z);
  }
}

TEST(Projection, InverseOfCentralMeridianPoint) {
  const Point p = ql::XYZ2P(ql::P2XYZ(Point(117.0, 40.0, 3.0)));
  EXPECT_NEAR(p.dLon, 117.0, 1e-12);
  EXPECT_NEAR(p.dLat, 39.9999999999, 5e-11);
  EXPECT_EQ(p.dAlt, 3.0);
}

TEST(Projection, ExplicitThreeDegreeWidthIsTheDefault) {
  const Point p(116.38, 39.9, 1.0);
  const XYZ q = ql::P2XYZ(p);
  const XYZ r = ql::P2XYZ(p, 3.0);
  EXPECT_EQ(q.dX, r.dX);
  EXPECT_EQ(q.dY, r.dY);
  const Point back = ql::XYZ2P(q, 3.0);
  EXPECT_EQ(back.dLon, ql::XYZ2P(q).dLon);
  EXPECT_EQ(back.dLat, ql::XYZ2P(q).dLat);
}

TEST(Projection, OtherZoneWidthsKeepTheFixedOffset) {
  // Zone number trunc((1.5 + lon) / w): with w = 6, 116.38 is zone 19, meridian 114.
  const XYZ q = ql::P2XYZ(Point(116.38, 39.9, 0), 6.0);
  EXPECT_EQ(ql::TruncToInt(q.dX / 1e6), 19);
  const XYZ ref = KruegerForward(116.38, 39.9, 114.0);
  EXPECT_NEAR(q.dX - 19.5e6, ref.dX, 0.5);  // the series is less exact 2.4 degrees out
  EXPECT_NEAR(q.dY, ref.dY, 0.5);
  const Point back = ql::XYZ2P(q, 6.0);
  EXPECT_NEAR(back.dLon, 116.38, 1e-7);
  EXPECT_NEAR(back.dLat, 39.9, 1e-7);
}

std::string Sci(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", v);
  return text;
}

// Within 1.5 degrees of a central meridian (every longitude of a zone east of 1.5 E) the
// series agrees with the reference to a tenth of a millimetre; zone 0 and the negative zones
// reach 4.5 degrees west of their meridians, where it is good to 2 mm.
double ForwardTolerance(double offsetDeg) { return std::fabs(offsetDeg) <= 1.5 ? 1e-4 : 2e-3; }
// The round trip: 1e-9 degree within 1.5 degrees of the meridian, 2e-7 at 4.5 degrees.
double RoundTripTolerance(double offsetDeg) { return std::fabs(offsetDeg) <= 1.5 ? 1e-9 : 2e-7; }

TEST(Projection, MatchesKruegerSeriesAcrossZones) {
  // Every 3-degree zone, its edges included, from 80 S to 84 N.
  double worstNear = 0, worstFar = 0;
  for (double lon = -180; lon < 180; lon += 0.37) {
    for (double lat = -80; lat <= 84; lat += 4) {
      const XYZ q = ql::P2XYZ(Point(lon, lat, 0));
      const int zone = ql::P2Zone(Point(lon, lat, 0));
      ASSERT_EQ(zone, ql::TruncToInt((1.5 + lon) / 3)) << lon;
      const XYZ ref = KruegerForward(lon, lat, zone * 3.0);
      const double dx = q.dX - (zone * 1e6 + 5e5) - ref.dX;
      const double dy = q.dY - ref.dY;
      const double offset = lon - zone * 3.0;
      double& worst = std::fabs(offset) <= 1.5 ? worstNear : worstFar;
      worst = std::fmax(worst, std::fmax(std::fabs(dx), std::fabs(dy)));
      ASSERT_LT(std::fabs(dx), ForwardTolerance(offset)) << lon << ", " << lat;
      ASSERT_LT(std::fabs(dy), ForwardTolerance(offset)) << lon << ", " << lat;
    }
  }
  RecordProperty("worst_metres_within_1.5_degrees", Sci(worstNear));
  RecordProperty("worst_metres_beyond", Sci(worstFar));
}

TEST(Projection, RoundTripEastOfOnePointFiveEast) {
  for (double lon = 1.5; lon < 180; lon += 0.29) {
    for (double lat = -84; lat <= 84; lat += 3.5) {
      const Point p(lon, lat, 7.25);
      const Point back = ql::XYZ2P(ql::P2XYZ(p));
      ASSERT_NEAR(back.dLon, lon, 1e-9) << lon << ", " << lat;
      ASSERT_NEAR(back.dLat, lat, 1e-9) << lon << ", " << lat;
      ASSERT_EQ(back.dAlt, 7.25);
    }
  }
}

TEST(Projection, RoundTripInEveryZone) {
  // West of 1.5 E zone numbers are truncated toward zero: zone 0 spans 4.5 W to 1.5 E and a
  // negative zone n spans 3n - 4.5 to 3n - 1.5, west of its meridian 3n. The inverse must read
  // each of them back from the easting.
  double worstNear = 0, worstFar = 0;
  for (double lon = -180; lon < 180; lon += 0.0731) {
    for (double lat = -80; lat <= 84; lat += 2.9) {
      const Point p(lon, lat, -3.5);
      const Point back = ql::XYZ2P(ql::P2XYZ(p));
      const double offset = lon - ql::P2Zone(p) * 3.0;
      const double tol = RoundTripTolerance(offset);
      double& worst = std::fabs(offset) <= 1.5 ? worstNear : worstFar;
      worst = std::fmax(worst, std::fmax(std::fabs(back.dLon - lon), std::fabs(back.dLat - lat)));
      ASSERT_NEAR(back.dLon, lon, tol) << lon << ", " << lat;
      ASSERT_NEAR(back.dLat, lat, tol) << lon << ", " << lat;
      ASSERT_EQ(back.dAlt, -3.5);
    }
  }
  RecordProperty("worst_degrees_within_1.5_degrees", Sci(worstNear));
  RecordProperty("worst_degrees_beyond", Sci(worstFar));
}

TEST(Projection, RoundTripAtEveryZonesWesternEdge) {
  // The easting farthest from a zone's false easting belongs to the point just inside the
  // zone's western edge on the equator: 4.5 degrees west of the meridian for zone 0 and the
  // negative zones (their eastings there lie 1.3 km below zone * 1e6), 1.5 degrees for the
  // others. The edge itself belongs to the zone for zones 1 and up, to the zone west of it
  // for the others. Zone -59 starts at 180 W.
  for (int zone = -59; zone <= 60; ++zone) {
    const bool world = zone == -59;
    const double edge = world ? -180.0 : zone > 0 ? zone * 3.0 - 1.5 : zone * 3.0 - 4.5;
    for (const double inside : {zone > 0 || world ? 0.0 : 1e-9, 1e-6, 0.005, 0.0199}) {
      for (const double lat : {-0.01, 0.0, 0.01}) {
        const Point p(edge + inside, lat, 0);
        SCOPED_TRACE(std::to_string(zone) + " at " + std::to_string(p.dLon) + ", " + std::to_string(lat));
        ASSERT_EQ(ql::P2Zone(p), zone);
        const Point back = ql::XYZ2P(ql::P2XYZ(p));
        EXPECT_NEAR(back.dLon, p.dLon, RoundTripTolerance(p.dLon - zone * 3.0));
        EXPECT_NEAR(back.dLat, lat, RoundTripTolerance(p.dLon - zone * 3.0));
      }
    }
    if (zone <= 0 && !world) {  // the edge longitude itself is the western zone's eastern end
      const Point onEdge(edge, 0.0, 0);
      ASSERT_EQ(ql::P2Zone(onEdge), zone - 1);
      EXPECT_NEAR(ql::XYZ2P(ql::P2XYZ(onEdge)).dLon, edge, 1e-9);
    }
  }
}

// Places on every continent: the zone the forward rule gives, the series against the reference
// in that zone, and the round trip.
struct Place {
  const char* name;
  double lon, lat;
  int zone;
};

const Place kPlaces[] = {
    {"Beijing", 116.39, 39.91, 39},
    {"Tokyo", 139.69, 35.69, 47},
    {"Singapore", 103.82, 1.35, 35},
    {"Sydney", 151.21, -33.87, 50},
    {"Auckland", 174.76, -36.85, 58},
    {"McMurdo", 166.67, -77.85, 56},
    {"Nairobi", 36.82, -1.29, 12},
    {"CapeTown", 18.42, -33.92, 6},
    {"Accra", -0.19, 5.60, 0},
    {"Dakar", -17.45, 14.69, -5},
    {"Madrid", -3.70, 40.42, 0},
    {"Lisbon", -9.14, 38.72, -2},
    {"London", -0.13, 51.51, 0},
    {"Reykjavik", -21.94, 64.15, -6},
    {"Longyearbyen", 15.63, 78.22, 5},
    {"NewYork", -74.01, 40.71, -24},
    {"Anchorage", -149.90, 61.22, -49},
    {"Honolulu", -157.86, 21.31, -52},
    {"Alert", -62.35, 82.50, -20},
    {"Quito", -78.47, -0.18, -25},
    {"Lima", -77.04, -12.05, -25},
    {"BuenosAires", -58.38, -34.60, -18},
    {"Ushuaia", -68.30, -54.80, -22},
    {"Valparaiso", -71.62, -33.09, -23},
    {"NearAntimeridianEast", 179.9, -16.5, 60},
    {"NearAntimeridianWest", -179.9, 65.0, -59},
};

TEST(Projection, PlacesOnEveryContinent) {
  for (const Place& c : kPlaces) {
    SCOPED_TRACE(c.name);
    const Point p(c.lon, c.lat, 12.0);
    ASSERT_EQ(ql::P2Zone(p), c.zone);
    const XYZ q = ql::P2XYZ(p);
    const double offset = c.lon - c.zone * 3.0;
    const XYZ ref = KruegerForward(c.lon, c.lat, c.zone * 3.0);
    EXPECT_NEAR(q.dX - (c.zone * 1e6 + 5e5), ref.dX, ForwardTolerance(offset));
    EXPECT_NEAR(q.dY, ref.dY, ForwardTolerance(offset));
    const Point back = ql::XYZ2P(q);
    EXPECT_NEAR(back.dLon, c.lon, RoundTripTolerance(offset));
    EXPECT_NEAR(back.dLat, c.lat, RoundTripTolerance(offset));
    EXPECT_EQ(back.dAlt, 12.0);
  }
}

TEST(Projection, InAGivenZone) {
  // In a point's own zone the zone form is the plain projection to the bit.
  for (double lon = -180; lon < 180; lon += 1.37) {
    for (double lat = -80; lat <= 84; lat += 7.1) {
      const Point p(lon, lat, 2.0);
      const XYZ own = ql::P2XYZ(p);
      const XYZ inZone = ql::P2XYZInZone(p, ql::P2Zone(p));
      ASSERT_EQ(own.dX, inZone.dX) << lon << ", " << lat;
      ASSERT_EQ(own.dY, inZone.dY) << lon << ", " << lat;
      ASSERT_EQ(own.dZ, inZone.dZ) << lon << ", " << lat;
    }
  }
  // In a neighbouring zone: that zone's meridian, prefix and reference values, and the inverse
  // reads that zone back from the easting. Across 121.5 E (zones 40 and 41), 1.5 E (0 and 1),
  // 4.5 W (-1 and 0) and 73.5 W (-24 and -23), both ways, north and south.
  const struct {
    double lon, lat;
    int zone;
  } cases[] = {
      {121.51, 31.2, 40}, {121.49, 31.2, 41},   {1.52, 43.6, 0},      {1.48, 43.6, 1},     {-4.48, 40.4, -1},
      {-4.52, 40.4, 0},   {-73.48, -41.0, -24}, {-73.52, -41.0, -23}, {148.51, -33.9, 49}, {-58.52, -34.6, -18},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.lon) + " in zone " + std::to_string(c.zone));
    const Point p(c.lon, c.lat, 0);
    ASSERT_NE(ql::P2Zone(p), c.zone);
    const XYZ q = ql::P2XYZInZone(p, c.zone);
    const XYZ ref = KruegerForward(c.lon, c.lat, c.zone * 3.0);
    EXPECT_NEAR(q.dX - (c.zone * 1e6 + 5e5), ref.dX, 2e-3);
    EXPECT_NEAR(q.dY, ref.dY, 2e-3);
    const Point back = ql::XYZ2P(q);
    EXPECT_NEAR(back.dLon, c.lon, 2e-7);
    EXPECT_NEAR(back.dLat, c.lat, 2e-7);
  }
}

TEST(Projection, NonFiniteInputFlowsThrough) {
  const XYZ q = ql::P2XYZ(Point(kNaN, 40.0, 0));
  EXPECT_TRUE(std::isnan(q.dX));
  const Point p = ql::XYZ2P(XYZ(39500000.0, kNaN, 0));
  EXPECT_TRUE(std::isnan(p.dLat));
}

// ---- meridian arc ------------------------------------------------------------

TEST(MeridianArc, MatchesNumericalIntegral) {
  for (double latDeg = -89; latDeg <= 89; latDeg += 7.3) {
    SCOPED_TRACE(latDeg);
    const double B = ql::Degree2Rad(latDeg);
    EXPECT_NEAR(ql::GetX(B), MeridianArcIntegral(B), 1e-3);
  }
  EXPECT_EQ(ql::GetX(0.0), 0.0);
}

TEST(MeridianArc, FootpointLatitudeInvertsTheArc) {
  for (double latDeg = -88; latDeg <= 88; latDeg += 4.1) {
    SCOPED_TRACE(latDeg);
    const double B = ql::Degree2Rad(latDeg);
    EXPECT_NEAR(ql::GetLatByX(ql::GetX(B)), B, 1e-9);
  }
}

TEST(MeridianArc, GarbageNorthingsEndTheIteration) {
  // Far beyond the earth the iteration can cycle between two doubles more than the
  // tolerance apart (1.088038235933842e16 does); it must still return.
  const double inputs[] = {1.088038235933842e16, -8.216751925833446e17, 1e300, kInf, -kInf, kNaN};
  for (const double x : inputs) {
    SCOPED_TRACE(x);
    const double b = ql::GetLatByX(x);
    (void)b;
  }
  EXPECT_TRUE(std::isnan(ql::GetLatByX(kNaN)));
}

TEST(MeridianArc, RadiiOfCurvature) {
  // At the equator V^2 = 1 + ep2, N = a; at the pole V = 1, N = c = a^2 / b.
  EXPECT_NEAR(ql::GetN(0.0), 6378137.0, 1e-6);
  EXPECT_NEAR(ql::GetV(0.0), std::sqrt(1.006739496740766206), 1e-15);
  EXPECT_NEAR(ql::GetN(ql::Degree2Rad(90.0)), 6378137.0 * 6378137.0 / 6356752.314249948, 1e-6);
  EXPECT_NEAR(ql::GetV(ql::Degree2Rad(90.0)), 1.0, 1e-15);
}

// ---- zone width --------------------------------------------------------------

TEST(ZoneWidth, SmallestWidthHoldingBoth) {
  struct Case {
    const char* name;
    double lon1, lon2, width;
  };
  const Case cases[] = {
      {"TwoSplitsThemTwoPointOneDoesNot", 116.38, 117.0, 2.1},
      {"SameZoneAtTwo", 117.4, 117.6, 2.0},
      {"SamePoint", 50.0, 50.0, 2.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Widths are accumulated by adding 0.1, so compare with a tolerance.
    EXPECT_NEAR(ql::GetValidZoneWidth(Point(c.lon1, 10, 0), Point(c.lon2, -50, 0)), c.width, 1e-9);
  }
}

TEST(ZoneWidth, NoFittingWidthThrows) {
  EXPECT_THROW(ql::GetValidZoneWidth(Point(100, 0, 0), Point(110, 0, 0)), std::invalid_argument);
  // Longitudes without a zone number share no zone.
  EXPECT_THROW(ql::GetValidZoneWidth(Point(kNaN, 0, 0), Point(kNaN, 0, 0)), std::invalid_argument);
  EXPECT_THROW(ql::GetValidZoneWidth(Point(kInf, 0, 0), Point(1e300, 0, 0)), std::invalid_argument);
}

// ---- metric box --------------------------------------------------------------

TEST(MetricBox, SpansTheHalfSizesInThePlane) {
  const Point centre(117.3, 40.0, 55.0);
  const ql::Rect2D r = ql::P2R(centre, 20, 20);
  EXPECT_NEAR(r.rt.dLon - r.lb.dLon, 0.00047, 0.000005);
  EXPECT_NEAR(r.rt.dLat - r.lb.dLat, 0.00036, 0.000005);
  EXPECT_EQ(r.lb.dAlt, 0.0);
  EXPECT_EQ(r.rt.dAlt, 0.0);
  const XYZ q = ql::P2XYZ(centre);
  const XYZ lb = ql::P2XYZ(r.lb);
  const XYZ rt = ql::P2XYZ(r.rt);
  // Good to the round trip of the projection (about 1e-10 degree, 1e-5 m).
  EXPECT_NEAR(q.dX - lb.dX, 20.0, 5e-5);
  EXPECT_NEAR(q.dY - lb.dY, 20.0, 5e-5);
  EXPECT_NEAR(rt.dX - q.dX, 20.0, 5e-5);
  EXPECT_NEAR(rt.dY - q.dY, 20.0, 5e-5);
}

TEST(MetricBox, UnequalHalfSizesAndTheConstructorAgree) {
  const Point centre(116.38, 39.9, 0);
  const ql::Rect2D r = ql::P2R(centre, 45.0f, 10.0f);
  const ql::Rect2D s(centre, 45.0f, 10.0f);
  EXPECT_EQ(r.lb, s.lb);
  EXPECT_EQ(r.rt, s.rt);
  const XYZ lb = ql::P2XYZ(r.lb);
  const XYZ rt = ql::P2XYZ(r.rt);
  EXPECT_NEAR(rt.dX - lb.dX, 90.0, 1e-4);
  EXPECT_NEAR(rt.dY - lb.dY, 20.0, 1e-4);
}

TEST(MetricBox, StaysInTheCentresZone) {
  // A box around a point at the east edge of zone 39 reaches into zone 40 by
  // longitude, but both corners are computed on zone 39's meridian: one box, one zone.
  const Point centre(118.4999999, 39.9, 0);
  const ql::Rect2D r = ql::P2R(centre, 100, 100);
  EXPECT_LT(r.lb.dLon, 118.5);
  EXPECT_GT(r.rt.dLon, 118.5);
  // Projected on zone 39's meridian (117) by the reference series, the corners lie
  // 100 m east and north / west and south of the centre.
  const XYZ q = ql::P2XYZ(centre);
  const XYZ rt = KruegerForward(r.rt.dLon, r.rt.dLat, 117.0);
  const XYZ lb = KruegerForward(r.lb.dLon, r.lb.dLat, 117.0);
  EXPECT_NEAR(rt.dX - (q.dX - 39500000.0), 100.0, 2e-3);
  EXPECT_NEAR(rt.dY - q.dY, 100.0, 2e-3);
  EXPECT_NEAR((q.dX - 39500000.0) - lb.dX, 100.0, 2e-3);
  EXPECT_NEAR(q.dY - lb.dY, 100.0, 2e-3);
}

// ---- sphere distances --------------------------------------------------------

TEST(Haversine, KnownDistances) {
  struct Case {
    const char* name;
    double lon1, lat1, lon2, lat2, metres, tol;
  };
  const Case cases[] = {
      {"OneDegreeOfLongitudeAtEquator", 0, 0, 1, 0, 111319.49079327357, 1e-8},
      {"OneDegreeOfLatitude", 0, 0, 0, 1, 111319.49079327357, 1e-8},
      {"HundredthOfLongitudeAt39.9", 116.38, 39.9, 116.39, 39.9, 854.004, 5e-4},
      {"SamePoint", 116.38, 39.9, 116.38, 39.9, 0.0, 0.0},
      {"HalfMeridian", 0, -90, 0, 90, 6378137.0 * 3.141592653589793, 1e-6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(ql::PointsDis(c.lon1, c.lat1, c.lon2, c.lat2), c.metres, c.tol);
    EXPECT_NEAR(ql::PointsDis(Point(c.lon1, c.lat1, 100), Point(c.lon2, c.lat2, -3), true), c.metres, c.tol);
  }
}

TEST(Haversine, IsSymmetricToTheBit) {
  for (double lon = -170; lon < 180; lon += 23.7) {
    for (double lat = -80; lat < 85; lat += 17.3) {
      const double there = ql::PointsDis(116.38, 39.9, lon, lat);
      const double back = ql::PointsDis(lon, lat, 116.38, 39.9);
      ASSERT_EQ(there, back) << lon << ", " << lat;
    }
  }
}

// The distance from one point worked out once is PointsDis to the bit, NaN included.
TEST(Haversine, FromOnePointToTheBit) {
  const Point froms[] = {{116.38, 39.9, 0}, {-73.9, -41.2, 5}, {179.99, 0.0, 0}, {0.0, 89.9, 0}};
  for (const Point& from : froms) {
    const ql::SphereDistanceFrom d(from);
    for (double lon = -179.5; lon < 180; lon += 13.37) {
      for (double lat = -89.5; lat < 90; lat += 11.3) {
        const double lons[] = {lon, from.dLon + lon * 1e-5};
        const double lats[] = {lat, from.dLat + lat * 1e-6};
        for (int k = 0; k < 2; ++k) {
          const double expected = ql::PointsDis(lons[k], lats[k], from.dLon, from.dLat);
          ASSERT_EQ(d.To(lons[k], lats[k]), expected) << lons[k] << ", " << lats[k];
        }
      }
    }
    EXPECT_TRUE(std::isnan(d.To(kNaN, 10.0)));
  }
}

// The bound that lets the nearest-sample search skip a sample unmeasured stays below the term it
// bounds by a millionth, from centimetres to half the globe, at every latitude, across the
// antimeridian and at the poles; and it bounds tightly enough to skip samples metres away.
TEST(Haversine, LowerBoundStaysBelowTheTerm) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::size_t tight = 0;
  for (int i = 0; i < 200000; ++i) {
    const double lat = -90.0 + 180.0 * unit(rng);
    const Point from(-180.0 + 360.0 * unit(rng), i % 1000 == 0 ? (i % 2000 == 0 ? 90.0 : -90.0) : lat, 0);
    const double scale = std::pow(10.0, -9.0 + 11.0 * unit(rng));  // degrees, 1e-9 to 100
    const double lon2 = from.dLon + scale * (2 * unit(rng) - 1);
    const double lat2 = std::clamp(from.dLat + scale * (2 * unit(rng) - 1), -90.0, 90.0);
    const ql::SphereDistanceFrom d(from);
    const double h = d.H(lon2, lat2);
    const double bound = d.HLowerBound(lon2, lat2);
    ASSERT_LE(bound, h * (1 - 0.5e-6)) << std::setprecision(17) << from.dLon << ", " << from.dLat << " to " << lon2
                                       << ", " << lat2;
    if (h > 0 && bound > 0.99 * h) ++tight;
  }
  EXPECT_GT(tight, 150000u);
  const ql::SphereDistanceFrom d(Point(116.38, 39.9, 0));
  EXPECT_EQ(d.HLowerBound(kNaN, 39.9), 0.0);
  EXPECT_EQ(d.HLowerBound(116.38, 91.0), 0.0);
}

TEST(PlaneDistance, SquaredWithAndWithoutHeight) {
  const XYZ a(39500003.0, 4429529.0, 10.0);
  const XYZ b(39500000.0, 4429525.0, 22.0);
  EXPECT_EQ(ql::D2XYZ(a, b, false), 25.0);
  EXPECT_EQ(ql::D2XYZ(a, b, true), 169.0);
  EXPECT_EQ(ql::DXYZ(a, b, false), 5.0);
  EXPECT_EQ(ql::DXYZ(a, b, true), 13.0);
  // The Point forms project first.
  const Point p(116.38, 39.9, 0), q(116.39, 39.9, 4);
  EXPECT_EQ(ql::D2XYZ(p, q, true), ql::D2XYZ(ql::P2XYZ(p), ql::P2XYZ(q), true));
  EXPECT_NEAR(ql::DXYZ(p, q, false), 854.0, 2.0);  // grid vs sphere, a few parts in 1e3
}

TEST(DegreeDistance, RawDegrees) {
  EXPECT_EQ(ql::D2_84(Point(1, 2, 9), Point(4, 6, 0)), 25.0);
  EXPECT_EQ(ql::D_84(Point(1, 2, 9), Point(4, 6, 0)), 5.0);
}

TEST(Shift, FixedMetresPerDegree) {
  Point out;
  ql::PointDis2NewPoint(Point(116.38, 39.9, 8.0), 111319.49079327358, -111319.49079327358 / 2, out);
  EXPECT_NEAR(out.dLon, 117.38, 1e-12);
  EXPECT_NEAR(out.dLat, 39.4, 1e-12);  // no latitude factor
  EXPECT_EQ(out.dAlt, 8.0);
}

// ---- angles ------------------------------------------------------------------

TEST(Angles, GridBearing) {
  struct Case {
    const char* name;
    Point to;
    double degrees, tol;
  };
  const Point from(117.0, 40.0, 0);
  const Case cases[] = {
      {"North", {117.0, 40.1, 0}, 0.0, 1e-12},
      {"South", {117.0, 39.9, 0}, 180.0, 1e-12},
      {"EastIsGridNotTrue", {117.1, 40.0, 0}, 89.968, 5e-4},
      {"WestWrapsInto0To360", {116.9, 40.0, 0}, 360 - 89.968, 5e-4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(ql::PointsAngle(from, c.to), c.degrees, c.tol);
  }
}

TEST(Angles, Difference) {
  struct Case {
    double x, y, d;
  };
  const Case cases[] = {{350, 10, 20}, {10, 350, 20}, {0, 180, 180}, {90, 45, 45}, {0, 540, -180}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + " - " + std::to_string(c.y));
    EXPECT_EQ(ql::AngleSub(c.x, c.y), c.d);
  }
}

TEST(Angles, DegreesAndRadians) {
  EXPECT_EQ(ql::Degree2Rad(180.0), 3.141592653589793);
  EXPECT_EQ(ql::Rad2Degree(3.141592653589793), 180.0);
  EXPECT_NEAR(ql::Degree2Rad(39.9), 0.6963863715457375, 1e-15);
  EXPECT_NEAR(ql::Rad2Degree(1.0), 57.29577951308232, 1e-13);
}

}  // namespace
