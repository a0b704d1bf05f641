#include "Wgs84.h"

#include <cmath>

namespace ql {

namespace {
constexpr double kLatEpsilon = 3.141592653589793e-9;  // pi * 1e-9 rad, about 6 mm on the meridian
constexpr int kMaxLatPasses = 100;                    // garbage input must not hang the inverse
}  // namespace

double GetX(const double& B) {
  const double s = std::sin(B);
  const double k = std::cos(B);
  const double s2 = s * s;
  return a0 * B - (kArcC3 * s2 * s2 / 3 + (kArcC1 + kArcC2 * s2)) * (s * k);
}

double GetLatByX(const double& X) {
  double B0 = X / a0;
  double B1 = B0;
  for (int pass = 0; pass < kMaxLatPasses; ++pass) {
    const double s = std::sin(B0);
    const double k = std::cos(B0);
    const double s2 = s * s;
    const double F = -(s2 * s2 * a6 * 16 / 3 + (kArcC1 + kArcC2 * s2)) * (s * k);
    B1 = (X - F) / a0;
    const double d = B1 - B0;
    if (!(d < -kLatEpsilon || d > kLatEpsilon)) break;  // converged, or NaN
    B0 = B1;
  }
  return B1;
}

double GetN(const double& B) {
  const double k = std::cos(B);
  return c / std::sqrt(ep2 * k * k + 1);
}

double GetV(const double& B) {
  const double k = std::cos(B);
  return std::sqrt(ep2 * k * k + 1);
}

}  // namespace ql
