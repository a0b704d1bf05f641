// Geometry hot path of a map request: projecting positions and testing them against
// lane lines of typical size (20 vertices, 2 m apart).
#include <benchmark/benchmark.h>

#include <vector>

#include "CoordSys.h"
#include "HdLibMath.h"

namespace {

const ql::Point kCentre(116.38, 39.9, 12.5);

// A straight line of n vertices 2 m apart running north, `east` metres east of the centre.
std::vector<std::vector<double>> LaneLine(int n, double east) {
  const ql::XYZ c = ql::P2XYZ(kCentre);
  std::vector<std::vector<double>> line;
  for (int i = 0; i < n; ++i) {
    const ql::Point p = ql::XYZ2P(ql::XYZ(c.dX + east, c.dY + 2.0 * i, 0));
    line.push_back({p.dLon, p.dLat, 0.0});
  }
  return line;
}

// 1.2 m east of the centre line, 37 m along it: near the end of a 20-vertex strip,
// so the strip test walks most of its triangles before it finds the point.
ql::Point NearLine() {
  const ql::XYZ c = ql::P2XYZ(kCentre);
  return ql::XYZ2P(ql::XYZ(c.dX + 1.2, c.dY + 37.0, 0));
}

void BM_P2XYZ(benchmark::State& state) {
  ql::Point p = kCentre;
  for (auto _ : state) {
    benchmark::DoNotOptimize(p);
    benchmark::DoNotOptimize(ql::P2XYZ(p));
  }
}
BENCHMARK(BM_P2XYZ);

void BM_XYZ2P(benchmark::State& state) {
  ql::XYZ q = ql::P2XYZ(kCentre);
  for (auto _ : state) {
    benchmark::DoNotOptimize(q);
    benchmark::DoNotOptimize(ql::XYZ2P(q));
  }
}
BENCHMARK(BM_XYZ2P);

void BM_IsInRecArea(benchmark::State& state) {
  const auto left = LaneLine(20, 0.0);
  const auto right = LaneLine(20, 3.5);
  const ql::Point p = NearLine();
  for (auto _ : state) {
    benchmark::DoNotOptimize(ql::HdLibMath::IsInRecArea(p, left, right, false));
  }
}
BENCHMARK(BM_IsInRecArea);

void BM_GetPerpendicularFoot(benchmark::State& state) {
  const auto line = LaneLine(20, 0.0);
  const ql::Point p = NearLine();
  ql::Point foot;
  double dist = 0;
  int index = 0;
  for (auto _ : state) {
    ql::HdLibMath::GetPerpendicularFoot(p, line, foot, dist, index);
    benchmark::DoNotOptimize(foot);
    benchmark::DoNotOptimize(dist);
  }
}
BENCHMARK(BM_GetPerpendicularFoot);

}  // namespace
