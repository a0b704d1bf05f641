#include "MapTypes.h"

#include <cmath>

#include "CoordSys.h"
#include "Wgs84.h"

namespace ql {

namespace {
constexpr double kHalfEquatorMetres = 20037508.342789244;  // PI * 6378137
constexpr double kDegreesPerRadian = 57.29577951308232;
}  // namespace

double Degree2Rad(double x) { return PI * x / 180; }

double Rad2Degree(double x) { return 180 * x / PI; }

double PointsDis(double lon1, double lat1, double lon2, double lat2) {
  const double phi1 = Degree2Rad(lat1);
  const double lambda1 = Degree2Rad(lon1);
  const double phi2 = Degree2Rad(lat2);
  const double lambda2 = Degree2Rad(lon2);
  const double h = std::pow(std::sin((phi2 - phi1) / 2), 2) +
                   std::pow(std::sin((lambda2 - lambda1) / 2), 2) * (std::cos(phi2) * std::cos(phi1));
  return 2 * std::asin(std::sqrt(h)) * ::EARTH_RADIUS;
}

SphereDistanceFrom::SphereDistanceFrom(const Point& p)
    : m_dPhi(Degree2Rad(p.dLat)), m_dLambda(Degree2Rad(p.dLon)), m_dCosPhi(std::cos(m_dPhi)) {}

// The expression of PointsDis with p second, in the same order.
double SphereDistanceFrom::To(double lon, double lat) const {
  const double phi1 = Degree2Rad(lat);
  const double lambda1 = Degree2Rad(lon);
  const double h = std::pow(std::sin((m_dPhi - phi1) / 2), 2) +
                   std::pow(std::sin((m_dLambda - lambda1) / 2), 2) * (m_dCosPhi * std::cos(phi1));
  return 2 * std::asin(std::sqrt(h)) * ::EARTH_RADIUS;
}

double PointsDis(const Point& a, const Point& b, bool /*unused*/) {
  return PointsDis(a.dLon, a.dLat, b.dLon, b.dLat);
}

double D2_84(const Point& a, const Point& b) {
  const double dLon = a.dLon - b.dLon;
  const double dLat = a.dLat - b.dLat;
  return dLon * dLon + dLat * dLat;
}

double D_84(const Point& a, const Point& b) { return std::sqrt(D2_84(a, b)); }

void PointDis2NewPoint(const Point& p, double dx, double dy, Point& out) {
  out = Point(p.dLon + 180 * dx / kHalfEquatorMetres, p.dLat + 180 * dy / kHalfEquatorMetres, p.dAlt);
}

double PointsAngle(const Point& from, const Point& to) {
  const XYZ A = P2XYZ(from);
  const XYZ B = P2XYZ(to);
  double angle = std::atan2(B.dX - A.dX, B.dY - A.dY) * kDegreesPerRadian;
  if (0 > angle) angle += 360;
  return angle;
}

double AngleSub(double x, double y) {
  const double d = std::fabs(x - y);
  return d > 360 - d ? 360 - d : d;
}

}  // namespace ql
