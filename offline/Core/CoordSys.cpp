#include "CoordSys.h"

#include <algorithm>
#include <stdexcept>

#include "Utils.h"

namespace ql {

namespace {

[[noreturn]] void FailCheck(const char* what) {
  throw std::invalid_argument(std::string("Point: check failed: ") + what);
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

}  // namespace ql
