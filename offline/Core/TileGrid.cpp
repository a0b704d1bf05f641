#include "TileGrid.h"

#include <algorithm>
#include <cmath>
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
// A quotient this close below the next whole number is a grid corner that lost its
// last bit in floating point (116.37999999999998 / 0.02), and names the tile it starts.
constexpr double kNearInteger = 0.999999;

int GridIndex(double x) {
  const int i = TruncToInt(x);
  if (x - i > kNearInteger) return TruncToInt(x + 1.0);
  return i;
}

bool IsStep(double interval) { return std::isfinite(interval) && interval > 0; }

bool FitsGrid(double quotient) { return quotient > -2147483648.0 && quotient < 2147483647.0; }

// Corners visited along one axis from start while below end, accumulated by repeated
// addition (as the stored tile corners were); a step that no longer moves the corner
// ends the walk. Consecutive corners naming the same tile are recorded once: the
// result is a set, so only the distinct tiles matter.
std::vector<int> StepIndices(double start, double end, double interval) {
  std::vector<int> ids;
  for (double x = start; end > x;) {
    const int id = GridIndex(x / kTileSize);
    if (ids.empty() || ids.back() != id) ids.push_back(id);
    const double next = interval + x;
    if (!(next > x)) break;
    x = next;
  }
  return ids;
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
  std::set<TileId> ids;
  const double I = MapConfig::tile_lon_interval;
  const double J = MapConfig::tile_lat_interval;
  // A zero, negative, infinite or NaN interval would step nowhere or forever: no tiles.
  if (!IsStep(I) || !IsStep(J)) return ids;
  if (std::isnan(r.lb.dLon) || std::isnan(r.lb.dLat) || std::isnan(r.rt.dLon) || std::isnan(r.rt.dLat)) {
    return ids;
  }
  const Point lb = ClampToWorld(r.lb);
  const Point rt = ClampToWorld(r.rt);
  // An interval so fine that a corner's cell number overflows an int has no grid to
  // step on; naming tiles from the overflowed corner would pick unrelated tiles.
  if (!FitsGrid(lb.dLon / I) || !FitsGrid(lb.dLat / J) || !FitsGrid(rt.dLon / I) || !FitsGrid(rt.dLat / J)) {
    return ids;
  }
  const Point s = P2TLBP(lb);
  const Point e = P2TRTP(rt);
  const std::vector<int> cols = StepIndices(s.dLon, e.dLon, I);
  const std::vector<int> rows = StepIndices(s.dLat, e.dLat, J);
  for (const int col : cols) {
    for (const int row : rows) ids.insert(TileId(col, row));
  }
  return ids;
}

std::string TId2String(const TileId& id) { return std::to_string(id.nLonId) + "," + std::to_string(id.nLatId); }

TileId String2TId(const std::string& name) {
  std::vector<int> pieces;
  Utils::SplitToArray<int>(name, ',', pieces);
  if (pieces.size() < 2) return TileId(0, 0);
  return TileId(pieces[0], pieces[1]);
}

}  // namespace ql
