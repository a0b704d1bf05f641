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

// ---- TileId ----------------------------------------------------------------

bool operator<(const TileId& l, const TileId& r) {
  if (l.nLonId != r.nLonId) return l.nLonId < r.nLonId;
  return l.nLatId < r.nLatId;
}

}  // namespace ql
