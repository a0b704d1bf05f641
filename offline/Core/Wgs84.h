#pragma once  // Wgs84.h: the earth model of the projection (ellipsoid constants) and the meridian arc

namespace ql {

// Ellipsoid constants of the projection series. The flattening is used as written
// (12 significant digits); the derived values are those it yields, kept literally
// so every build evaluates the series from the same bits.
constexpr double PI = 3.141592653589793;
constexpr double a = 6378137.0;               // semi-major axis, metres
constexpr double f = 0.003352810664;          // flattening
constexpr double b = 6356752.314249948;       // a(1 - f)
constexpr double c = 6399593.625753692;       // a^2 / b, polar radius of curvature
constexpr double e2 = 0.006694379988651241;   // (a^2 - b^2) / a^2
constexpr double ep2 = 0.006739496740766206;  // (a^2 - b^2) / b^2
constexpr double m0 = 6335439.327302325;      // a(1 - e2)
constexpr double m2 = 63617.75737801014;      // 3/2 m0 e2
constexpr double m4 = 532.3518023927762;      // 5/4 e2 m2
constexpr double m6 = 4.157726128337392;      // 7/6 e2 m4
constexpr double m8 = 0.03131257341581352;    // 9/8 e2 m6
constexpr double a0 = 6367449.145768674;      // m0 + m2/2 + 3m4/8 + 5m6/16 + 35m8/128
constexpr double a2 = 32077.017223574985;     // m2/2 + m4/2 + 15m6/32 + 7m8/16
constexpr double a4 = 67.330398573595;        // m4/8 + 3m6/16 + 7m8/32
constexpr double a6 = 0.13188597734903185;    // m6/32 + m8/16
constexpr double a8 = 0.0002446294798110431;  // m8/128; the series stops before it
constexpr double ZoneOffset = 1000000.0;      // easting added per zone number
constexpr double EastOffset = 500000.0;       // false easting

// Combined coefficients of the meridian arc.
constexpr double kArcC1 = 32009.81871097874;   // a2 - a4 + a6
constexpr double kArcC2 = 133.95740526799517;  // 2a4 - 16a6/3
constexpr double kArcC3 = 2.1101756375845095;  // 16a6

// Meridian arc length from the equator to latitude B (radians), metres.
double GetX(const double& B);
// The footpoint latitude (radians) whose meridian arc is X metres. Fixed-point
// iteration to pi * 1e-9 rad, at most 100 passes (real inputs need 3 or 4).
double GetLatByX(const double& X);
// Radius of curvature in the prime vertical, c / V, metres.
double GetN(const double& B);
// V = sqrt(1 + ep2 cos^2 B).
double GetV(const double& B);

}  // namespace ql

// Sphere of the great-circle distances.
constexpr double EARTH_RADIUS = 6378137.0;  // metres
constexpr double PI = 3.141592653589793;
