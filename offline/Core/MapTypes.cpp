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
    : m_dPhi(Degree2Rad(p.dLat)),
      m_dLambda(Degree2Rad(p.dLon)),
      m_dCosPhi(std::cos(m_dPhi)),
      m_dSinPhi(std::sin(m_dPhi)) {}

// The expression of PointsDis with p second, in the same order.
double SphereDistanceFrom::H(double lon, double lat) const {
  const double phi1 = Degree2Rad(lat);
  const double lambda1 = Degree2Rad(lon);
  return std::pow(std::sin((m_dPhi - phi1) / 2), 2) +
         std::pow(std::sin((m_dLambda - lambda1) / 2), 2) * (m_dCosPhi * std::cos(phi1));
}

double SphereDistanceFrom::FromH(double h) { return 2 * std::asin(std::sqrt(h)) * ::EARTH_RADIUS; }

namespace {

// sin(x)^2 from below for 0 <= x <= 2.4 (sin x >= x - x^3 / 6 >= 0 there); 0 beyond or for NaN.
double SinSquaredBelow(double x) {
  if (!(x <= 2.4)) return 0.0;
  const double s = x - x * x * x / 6;
  return s * s;
}

}  // namespace

double SphereDistanceFrom::HLowerBound(double lon, double lat) const {
  // The same differences as H, so that the bound is one on H's own inputs.
  const double dPhi = m_dPhi - Degree2Rad(lat);
  const double dLambda = m_dLambda - Degree2Rad(lon);
  if (!(std::fabs(lat) <= 90.0) || !(m_dCosPhi >= 0.0)) return 0.0;
  const double latTerm = SinSquaredBelow(std::fabs(dPhi) / 2);
  // cos(phi1) = cos(phi + d) >= cos(phi) (1 - d^2 / 2) - |sin(phi)| |d|; used only where it keeps
  // well above 0, so that rounding stays far below the millionth.
  const double ad = std::fabs(dPhi);
  const double cosBelow = m_dCosPhi * (1 - ad * ad / 2) - std::fabs(m_dSinPhi) * ad;
  const double lonTerm = cosBelow > 1e-3 ? SinSquaredBelow(std::fabs(dLambda) / 2) * (m_dCosPhi * cosBelow) : 0.0;
  return (latTerm + lonTerm) * (1 - 1e-6);
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
