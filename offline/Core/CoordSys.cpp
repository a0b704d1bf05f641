#include "CoordSys.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "Gaussian.h"
#include "MapConfig.h"
#include "MapTypes.h"
#include "Utils.h"

namespace ql {

namespace {

[[noreturn]] void FailCheck(const char* what) {
  throw std::invalid_argument(std::string("Point: check failed: ") + what);
}

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

// ---- Point -----------------------------------------------------------------

Point::Point(const std::vector<double>& d) {
  if (!(d.size() >= 2)) FailCheck("d.size() >= 2");
  dLon = d[0];
  dLat = d[1];
  dAlt = d.size() > 2 ? d[2] : 0.0;
}

Point::Point(const std::map<std::string, double>& m) {
  if (!Utils::MapValue(m, std::string("lon"), dLon)) FailCheck("Utils::MapValue(m, std::string(\"lon\"), dLon)");
  if (!Utils::MapValue(m, std::string("lat"), dLat)) FailCheck("Utils::MapValue(m, std::string(\"lat\"), dLat)");
  Utils::MapValue(m, std::string("height"), dAlt);
}

bool operator<(const Point& l, const Point& r) {
  if (l.dLon < r.dLon) return true;
  if (r.dLon < l.dLon) return false;
  if (l.dLat < r.dLat) return true;
  if (r.dLat < l.dLat) return false;
  return l.dAlt < r.dAlt;
}

bool operator==(const Point& l, const Point& r) {
  return l.dLon == r.dLon && l.dLat == r.dLat && l.dAlt == r.dAlt;
}

bool operator!=(const Point& l, const Point& r) { return !(l == r); }

// ---- Rect2D ----------------------------------------------------------------

Rect2D::Rect2D(const Point& p, float halfWidth, float halfHeight) : Rect2D(P2R(p, halfWidth, halfHeight)) {}

bool Rect2D::intersect(const Rect2D& o) const {
  const bool lonOverlap =
      std::max(rt.dLon, o.rt.dLon) - std::min(lb.dLon, o.lb.dLon) <= (rt.dLon - lb.dLon) + (o.rt.dLon - o.lb.dLon);
  const bool latOverlap =
      std::max(rt.dLat, o.rt.dLat) - std::min(lb.dLat, o.lb.dLat) <= (rt.dLat - lb.dLat) + (o.rt.dLat - o.lb.dLat);
  return lonOverlap && latOverlap;
}

bool Rect2D::Contains(const Point& p) const {
  return lb.dLon <= p.dLon && p.dLon < rt.dLon && lb.dLat <= p.dLat && p.dLat < rt.dLat;
}

Rect2D Rect2D::getLb() const {
  const double cx = (rt.dLon + lb.dLon) / 2;
  const double cy = (rt.dLat + lb.dLat) / 2;
  return Rect2D(lb, Point(cx, cy, 0));
}

Rect2D Rect2D::getRt() const {
  const double cx = (rt.dLon + lb.dLon) / 2;
  const double cy = (rt.dLat + lb.dLat) / 2;
  return Rect2D(Point(cx, cy, 0), rt);
}

Rect2D Rect2D::getLt() const {
  const double cx = (rt.dLon + lb.dLon) / 2;
  const double cy = (rt.dLat + lb.dLat) / 2;
  return Rect2D(Point(lb.dLon, cy, 0), Point(cx, rt.dLat, 0));
}

Rect2D Rect2D::getRb() const {
  const double cx = (rt.dLon + lb.dLon) / 2;
  const double cy = (rt.dLat + lb.dLat) / 2;
  return Rect2D(Point(cx, lb.dLat, 0), Point(rt.dLon, cy, 0));
}

// ---- TileId ----------------------------------------------------------------

bool operator<(const TileId& l, const TileId& r) {
  if (l.nLonId != r.nLonId) return l.nLonId < r.nLonId;
  return l.nLatId < r.nLatId;
}

// ---- projection ------------------------------------------------------------

XYZ Convert(const Point& p, double w) { return gaussian_convert_deprecated(p, w); }
Point Inverse(const XYZ& q, double w) { return gaussian_inverse_deprecated(q, w); }
XYZ P2XYZ(const Point& p) { return Convert(p, 3.0); }
XYZ P2XYZ(const Point& p, double w) { return Convert(p, w); }
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

// ---- tile grid -------------------------------------------------------------

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

TileId String2TId(const std::string& name) {
  std::vector<int> pieces;
  Utils::SplitToArray<int>(name, ',', pieces);
  if (pieces.size() < 2) return TileId(0, 0);
  return TileId(pieces[0], pieces[1]);
}

}  // namespace ql
