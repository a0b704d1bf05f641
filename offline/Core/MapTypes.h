#pragma once  // MapTypes.h: sphere distances and angles

namespace ql {

struct Point;

// PI * x / 180 and 180 * x / PI, in that order.
double Degree2Rad(double x);
double Rad2Degree(double x);

// Great-circle (haversine) distance in metres on a sphere of radius 6378137 m;
// arguments in degrees. Symmetric in its two points.
double PointsDis(double lon1, double lat1, double lon2, double lat2);
double PointsDis(const Point& a, const Point& b, bool unused = false);
// PointsDis(lon, lat, p.dLon, p.dLat) to the bit, for many points from one p: what depends on p
// alone is worked out once.
class SphereDistanceFrom {
 public:
  explicit SphereDistanceFrom(const Point& p);
  double To(double lon, double lat) const { return FromH(H(lon, lat)); }
  // The haversine term of To (sin^2 of half the central angle) and the distance it gives, in
  // the operations of PointsDis.
  double H(double lon, double lat) const;
  static double FromH(double h);
  // A value below H(lon, lat) by at least a millionth of it, without trigonometry (polynomial
  // bounds on sine and cosine): a point whose bound exceeds the h of a nearer one is farther.
  // 0 where it cannot bound (NaN, a latitude beyond a pole, half-angles beyond 2.4 radians).
  double HLowerBound(double lon, double lat) const;

 private:
  double m_dPhi, m_dLambda, m_dCosPhi, m_dSinPhi;
};

// Squared / plain distance in raw degrees, (dlon)^2 + (dlat)^2.
double D2_84(const Point& a, const Point& b);
double D_84(const Point& a, const Point& b);

// Shifts p by dx metres east and dy metres north on a fixed scale of
// 111319.49 m per degree in both directions (no latitude factor).
void PointDis2NewPoint(const Point& p, double dx, double dy, Point& out);

// Grid bearing from -> to in the 3-degree plane, degrees in [0, 360), clockwise from grid north.
double PointsAngle(const Point& from, const Point& to);

// |x - y| folded to at most 180 degrees; for inputs more than 360 apart the result
// goes negative (AngleSub(0, 540) is -180).
double AngleSub(double x, double y);

}  // namespace ql
