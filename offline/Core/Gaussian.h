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
// Inverse series: plane metres (zone in the easting's millions) back to degrees.
Point gaussian_inverse_deprecated(const XYZ& q, double w);
// See GetValidZoneWidth (CoordSys.h); throws std::invalid_argument when no width fits.
double GetValidZoneWidth_impl(const Point& p1, const Point& p2);

}  // namespace ql
