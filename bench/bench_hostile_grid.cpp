// The tiles of a request's 20 m box when the configured interval is far finer than a tile:
// 1e-13 degrees is finite and positive, and the walk over the box's corners is what is measured.

#include <benchmark/benchmark.h>

#include <set>

#include "CoordSys.h"
#include "HeapPerCall.h"
#include "MapConfig.h"

namespace {

void BM_HostileGridTilesOfABox(benchmark::State& state) {
  const double before[2] = {ql::MapConfig::tile_lon_interval, ql::MapConfig::tile_lat_interval};
  ql::MapConfig::tile_lon_interval = 1e-13;
  ql::MapConfig::tile_lat_interval = 1e-13;
  const ql::Rect2D box = ql::P2R(ql::Point(0, 0, 0), 20, 20);
  std::size_t tiles = 0;
  qlbench::TimeAndHeapPerCall(state, [&] { tiles = ql::R2TIds(box).size(); });
  state.counters["tiles"] = static_cast<double>(tiles);
  ql::MapConfig::tile_lon_interval = before[0];
  ql::MapConfig::tile_lat_interval = before[1];
}
BENCHMARK(BM_HostileGridTilesOfABox)->Unit(benchmark::kMillisecond);

}  // namespace
