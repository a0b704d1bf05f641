#include "Gaussian.h"

#include <climits>
#include <cmath>
#include <stdexcept>

#include "CoordSys.h"
#include "MapTypes.h"
#include "Numeric.h"
#include "Wgs84.h"

// The series are evaluated term by term in a fixed order and grouping: eastings of
// stored maps were computed this way, and lane tests compare against them to the bit.

namespace ql {

XYZ gaussian_convert_deprecated(const Point& p, double w) {
  return gaussian_convert_in_zone(p, w, TruncToInt((1.5 + p.dLon) / w));
}

XYZ gaussian_convert_in_zone(const Point& p, double w, int n) {
  const double L0 = n * w;
  const double l = Degree2Rad(p.dLon - L0);
  const double B = Degree2Rad(p.dLat);

  const double X = GetX(B);
  const double N = GetN(B);
  const double t = std::tan(B);
  const double t2 = t * t;
  const double cB = std::cos(B);
  const double eta2 = ep2 * cB * cB;
  const double m = l * cB;
  const double m2 = m * m;

  const double dY = X + 0.5 * N * m * m * t + ((5 - t2 + 9 * eta2) + 4 * eta2 * eta2) * (N * t) * m2 * m2 / 24 +
                    ((61 - 58 * t2) + t2 * t2) * (m2 * m2 * m2 * N * t) / 720;
  const double dX = n * ZoneOffset + EastOffset + N * m + (1 - t2 + eta2) * N * m * m2 / 6 +
                    ((5 - 18 * t2 + t2 * t2) + 14 * eta2 - 58 * eta2 * t2) * N * m * m2 * m2 / 120;
  return XYZ(dX, dY, p.dAlt);
}

int gaussian_easting_zone(double dX, double w) {
  // Non-negative eastings keep the plain truncation: zone 0 east of its western reaches and
  // every positive zone, whose eastings lie within 167 km of the false easting (w = 3).
  if (!(dX < 0)) return TruncToInt(dX / ZoneOffset);
  // The forward rule truncates toward zero, so zone 0 reaches w + 1.5 degrees west of its
  // meridian and a negative zone n lies wholly west of its meridian n * w, from w + 1.5 to 1.5
  // degrees off it: its eastings run from about the arc of w + 1.5 degrees on the equator below
  // the false easting (n * 1e6 - 1.3 km for w = 3) up to the false easting (near the poles).
  // Below zero, zone n begins halfway across the gap above zone n - 1's highest eastings.
  const double halfReach = a * Degree2Rad(w + 1.5) / 2;
  return TruncToInt(std::floor((dX + halfReach) / ZoneOffset));
}

Point gaussian_inverse_deprecated(const XYZ& q, double w) {
  const int n = gaussian_easting_zone(q.dX, w);
  const double L0 = Degree2Rad(n * w);
  const double y = q.dX - (n * ZoneOffset + EastOffset);
  const double x = q.dY;

  const double Bf = GetLatByX(x);
  const double cf = std::cos(Bf);
  const double eta2 = ep2 * cf * cf;
  const double tf = std::tan(Bf);
  const double t2 = tf * tf;
  const double V = GetV(Bf);
  const double N = c / V;
  const double u = y / N;
  const double u2 = u * u;
  const double u3 = u * u * u;
  const double u4 = u * u * u * u;
  const double u5 = u * u * u * u * u;
  const double u6 = u * u * u * u * u * u;

  const double l =
      (u - (t2 + t2 + 1 + eta2) * u3 / 6 + ((5 + 28 * t2) + 24 * t2 * t2 + 6 * eta2 + 8 * eta2 * t2) * u5 / 120) *
      (1 / cf);
  const double B =
      Bf - (u2 / 2 - (3 * t2 + 5 + eta2 - 9 * eta2 * t2) * u4 / 24 + ((61 + 90 * t2) + 45 * t2 * t2) * u6 / 720) *
               (tf * (V * V));
  return Point(Rad2Degree(L0 + l), Rad2Degree(B), q.dZ);
}

double GetValidZoneWidth_impl(const Point& p1, const Point& p2) {
  for (double w = 2.0; 4.0 > w; w += 0.1) {
    const int z1 = TruncToInt((1.5 + p1.dLon) / w);
    // INT_MIN is TruncToInt's answer for NaN and out-of-range longitudes: two of
    // them are not one zone.
    if (z1 != INT_MIN && z1 == TruncToInt((1.5 + p2.dLon) / w)) return w;
  }
  throw std::invalid_argument("GetValidZoneWidth: no zone width below 4 degrees holds both longitudes");
}

// ---- plane points --------------------------------------------------------------

XYZ XYZ::operator-(const XYZ& o) const { return XYZ(dX - o.dX, dY - o.dY, dZ - o.dZ); }

double XYZ::length_xy() const { return std::sqrt(dY * dY + dX * dX); }

// ---- projection entry points -------------------------------------------------

XYZ Convert(const Point& p, double w) { return gaussian_convert_deprecated(p, w); }
Point Inverse(const XYZ& q, double w) { return gaussian_inverse_deprecated(q, w); }
XYZ P2XYZ(const Point& p) { return Convert(p, 3.0); }
XYZ P2XYZ(const Point& p, double w) { return Convert(p, w); }
int P2Zone(const Point& p) { return TruncToInt((1.5 + p.dLon) / 3.0); }
XYZ P2XYZInZone(const Point& p, int zone) { return gaussian_convert_in_zone(p, 3.0, zone); }
Point XYZ2P(const XYZ& q) { return Inverse(q, 3.0); }
Point XYZ2P(const XYZ& q, double w) { return Inverse(q, w); }

double GetValidZoneWidth(const Point& p1, const Point& p2) { return GetValidZoneWidth_impl(p1, p2); }

Rect2D P2R(const Point& p, float halfWidth, float halfHeight) {
  const double hw = halfWidth;
  const double hh = halfHeight;
  const XYZ Q = P2XYZ(p);
  // Both corners keep the centre's zone prefix, so the box never straddles zones.
  const Point lb = XYZ2P(XYZ(Q.dX - hw, Q.dY - hh, 0));
  const Point rt = XYZ2P(XYZ(hw + Q.dX, Q.dY + hh, 0));
  return Rect2D(lb, rt);
}

Rect2D::Rect2D(const Point& p, float halfWidth, float halfHeight) : Rect2D(P2R(p, halfWidth, halfHeight)) {}

double D2XYZ(const XYZ& a, const XYZ& b, bool with3d) {
  const double dx = a.dX - b.dX;
  const double dy = a.dY - b.dY;
  double d2 = dx * dx + dy * dy;
  if (with3d) {
    const double dz = a.dZ - b.dZ;
    d2 += dz * dz;
  }
  return d2;
}

double D2XYZ(const Point& a, const Point& b, bool with3d) { return D2XYZ(P2XYZ(a), P2XYZ(b), with3d); }
double DXYZ(const XYZ& a, const XYZ& b, bool with3d) { return std::sqrt(D2XYZ(a, b, with3d)); }
double DXYZ(const Point& a, const Point& b, bool with3d) { return std::sqrt(D2XYZ(a, b, with3d)); }

}  // namespace ql
