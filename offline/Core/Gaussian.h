#pragma once  // Gaussian.h: the Gauss-Krueger forward and inverse series

namespace ql {
struct Point;
struct XYZ;
}  // namespace ql

// Default zone width of the projection, degrees.
constexpr double ZoneWidth = 3.0;

namespace ql {

// Forward series: degrees to plane metres in zones w degrees wide. Zone number
// trunc((1.5 + lon) / w), central meridian zone * w.
XYZ gaussian_convert_deprecated(const Point& p, double w);
// The forward series in zone n (central meridian n * w) whatever zone p lies in. In p's own
// zone it is gaussian_convert_deprecated to the bit.
XYZ gaussian_convert_in_zone(const Point& p, double w, int n);
// The zone an easting of the forward series belongs to, zones w degrees wide: trunc(dX / 1e6)
// from zero up, and below zero the negative zones, which lie wholly west of their meridians.
int gaussian_easting_zone(double dX, double w);
// Inverse series: plane metres (zone in the easting, see gaussian_easting_zone) back to degrees.
Point gaussian_inverse_deprecated(const XYZ& q, double w);
// See GetValidZoneWidth (CoordSys.h); throws std::invalid_argument when no width fits.
double GetValidZoneWidth_impl(const Point& p1, const Point& p2);

}  // namespace ql
