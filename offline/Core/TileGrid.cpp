#include <algorithm>
#include <cmath>
#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "CoordSys.h"
#include "MapConfig.h"
#include "Numeric.h"
#include "Utils.h"

namespace ql {

namespace {

// The fixed naming grid. A double on purpose (the tool's float grid differs).
constexpr double kTileSize = 0.02;
// A quotient within 1e-6 short of a whole number, below it when positive (116.37999999999998
// / 0.02) or above it when negative (-33.08 / 0.02 is -1653.9999999999998), is a grid corner
// that lost its last bit in floating point, and names the tile on the far side of that corner:
// the tile it starts, counted away from zero.
constexpr double kNearInteger = 0.999999;

int GridIndex(double x) {
  const int i = TruncToInt(x);
  if (x - i > kNearInteger) return TruncToInt(x + 1.0);
  if (i - x > kNearInteger) return TruncToInt(x - 1.0);
  return i;
}

// The configured-grid corners a rectangle's walk starts and ends at: those of P2TLBP and P2TRTP,
// widened by one cell where the corner's quotient lies within the correction of a whole number
// beyond it (below the start, above the end). P2TId names such a coordinate after the farther
// tile, and the walk has to reach that tile.
double StartCorner(double v, double interval) {
  const double x = v / interval;
  return std::min(TruncToInt(x), GridIndex(x)) * interval;
}
double EndCorner(double v, double interval) {
  const double x = v / interval;
  return std::max(TruncToInt(x), GridIndex(x)) * interval + interval;
}

bool IsStep(double interval) { return std::isfinite(interval) && interval > 0; }

bool FitsGrid(double quotient) { return quotient > -2147483648.0 && quotient < 2147483647.0; }

// Corners visited along one axis from start while below end, accumulated by repeated
// addition (as the stored tile corners were); a step that no longer moves the corner
// ends the walk. Consecutive corners naming the same tile are recorded once (naming never
// decreases along the walk, so each tile is recorded once). False, as soon as it is clear,
// when the walk names more than `limit` tiles or takes more than `limit` steps: an interval far
// finer than the tiles (1e-13 degrees is finite and positive) would otherwise step billions of
// times to name a handful of tiles.
bool StepIndices(double start, double end, double interval, std::size_t limit, std::vector<int>& ids) {
  std::size_t steps = 0;
  for (double x = start; end > x;) {
    if (steps++ == limit) return false;
    const int id = GridIndex(x / kTileSize);
    if (ids.empty() || ids.back() != id) {
      if (ids.size() == limit) return false;
      ids.push_back(id);
    }
    const double next = interval + x;
    if (!(next > x)) break;
    x = next;
  }
  return true;
}

Point ClampToWorld(const Point& p) {
  return Point(std::clamp(p.dLon, -180.0, 180.0), std::clamp(p.dLat, -90.0, 90.0), p.dAlt);
}

}  // namespace

TileId P2TId(const Point& p) { return TileId(GridIndex(p.dLon / kTileSize), GridIndex(p.dLat / kTileSize)); }

Point P2TLBP(const Point& p) {
  const double I = MapConfig::tile_lon_interval;
  const double J = MapConfig::tile_lat_interval;
  return Point(TruncToInt(p.dLon / I) * I, TruncToInt(p.dLat / J) * J, p.dAlt);
}

Point P2TRTP(const Point& p) {
  const double I = MapConfig::tile_lon_interval;
  const double J = MapConfig::tile_lat_interval;
  return Point(TruncToInt(p.dLon / I) * I + I, TruncToInt(p.dLat / J) * J + J, p.dAlt);
}

std::set<TileId> R2TIds(const Rect2D& r) {
  std::vector<TileId> list;
  R2TIdsInto(r, list);
  return std::set<TileId>(list.begin(), list.end());
}

void R2TIdsInto(const Rect2D& r, std::vector<TileId>& ids) {
  ids.clear();
  const double I = MapConfig::tile_lon_interval;
  const double J = MapConfig::tile_lat_interval;
  // A zero, negative, infinite or NaN interval would step nowhere or forever: no tiles.
  if (!IsStep(I) || !IsStep(J)) return;
  if (std::isnan(r.lb.dLon) || std::isnan(r.lb.dLat) || std::isnan(r.rt.dLon) || std::isnan(r.rt.dLat)) {
    return;
  }
  // Corners the wrong way round step nowhere; the clamp below must not fold them together.
  if (r.lb.dLon > r.rt.dLon || r.lb.dLat > r.rt.dLat) return;
  const Point lb = ClampToWorld(r.lb);
  const Point rt = ClampToWorld(r.rt);
  // An interval so fine that a corner's cell number overflows an int has no grid to
  // step on; naming tiles from the overflowed corner would pick unrelated tiles.
  if (!FitsGrid(lb.dLon / I) || !FitsGrid(lb.dLat / J) || !FitsGrid(rt.dLon / I) || !FitsGrid(rt.dLat / J)) {
    return;
  }
  // A rectangle of more tiles than the cap (a metric box at a pole spans every longitude), or
  // whose walk along an axis takes more steps than that, names none: probing and remembering each
  // of them would take minutes and gigabytes, and stepping a fine interval seconds.
  const std::size_t cap = static_cast<std::size_t>(sc_nMaxTilesInRect);
  thread_local std::vector<int> cols;
  thread_local std::vector<int> rows;
  cols.clear();
  rows.clear();
  if (!StepIndices(StartCorner(lb.dLon, I), EndCorner(rt.dLon, I), I, cap, cols) ||
      !StepIndices(StartCorner(lb.dLat, J), EndCorner(rt.dLat, J), J, cap, rows) ||
      cols.size() * rows.size() > cap) {
    return;
  }
  for (const int col : cols) {
    for (const int row : rows) ids.push_back(TileId(col, row));
  }
  // The steps ascend, so this is mostly a check; it keeps the set's order and uniqueness whatever
  // the grid's rounding does.
  if (!std::is_sorted(ids.begin(), ids.end())) std::sort(ids.begin(), ids.end());
  // Equal under the set's order (TileId has no ==).
  ids.erase(
      std::unique(ids.begin(), ids.end(), [](const TileId& a, const TileId& b) { return !(a < b) && !(b < a); }),
      ids.end());
}

std::string TId2String(const TileId& id) { return std::to_string(id.nLonId) + "," + std::to_string(id.nLatId); }

TileId String2TId(const std::string& name) {
  std::vector<int> pieces;
  Utils::SplitToArray<int>(name, ',', pieces);
  if (pieces.size() < 2) return TileId(0, 0);
  return TileId(pieces[0], pieces[1]);
}

}  // namespace ql
