#pragma once  // CoordSys.h: positions, plane points, rectangles, tile ids, the projection entry points and the
              // tile grid

// Declared together, defined by layer: CoordSys.cpp defines the value types and needs nothing
// above them; the projection, the plane point's members and the metric box are defined in
// Gaussian.cpp beside the series, the grid (which reads the configured intervals) in TileGrid.cpp.

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "FieldList.h"

namespace ql {

// A geographic position: degrees east and north, altitude in metres.
struct Point {
  double dLon = 0.0;
  double dLat = 0.0;
  double dAlt = 0.0;

  Point() = default;
  Point(double lon, double lat, double alt) : dLon(lon), dLat(lat), dAlt(alt) {}
  Point(const Point&) = default;
  Point& operator=(const Point&) = default;
  // A stored coordinate tuple: longitude, latitude and optionally altitude (0 when
  // absent); values after the third are ignored. Throws std::invalid_argument for
  // fewer than two values, before reading any.
  Point(const std::vector<double>& d);  // NOLINT: tuples convert implicitly, as they are stored
  // Keys "lon" and "lat" are required (std::invalid_argument otherwise), "height"
  // is optional (altitude 0 when absent); other keys are ignored.
  Point(const std::map<std::string, double>& m);  // NOLINT
};

// Lexicographic on longitude, latitude, altitude (strict less-than on each).
bool operator<(const Point& l, const Point& r);
// Exact on all three fields; a NaN field makes points unequal.
bool operator==(const Point& l, const Point& r);
bool operator!=(const Point& l, const Point& r);

// An axis-aligned rectangle in degrees. Nothing enforces lb <= rt; every producer builds it so.
struct Rect2D {
  Point lb;  // smallest longitude and latitude
  Point rt;  // largest longitude and latitude

  Rect2D() = default;
  Rect2D(const Point& lbIn, const Point& rtIn) : lb(lbIn), rt(rtIn) {}
  Rect2D(const Rect2D&) = default;
  Rect2D& operator=(const Rect2D&) = default;
  // The box reaching halfWidth metres west and east and halfHeight metres south and
  // north of p in p's 3-degree projection zone; corners at altitude 0. Same as P2R.
  Rect2D(const Point& p, float halfWidth, float halfHeight);

  // Closed overlap: rectangles touching along an edge or at a corner intersect.
  bool intersect(const Rect2D& other) const;
  // Half-open: lb is inside, rt is not; altitude ignored.
  bool Contains(const Point& p) const;

  // The four quadrants around the centre (the quadtree's cells).
  Rect2D getLt() const;
  Rect2D getLb() const;
  Rect2D getRt() const;
  Rect2D getRb() const;
};

// Inline: the quadtree walks call these for every cell they pass.
inline bool Rect2D::intersect(const Rect2D& o) const {
  const bool lonOverlap =
      std::max(rt.dLon, o.rt.dLon) - std::min(lb.dLon, o.lb.dLon) <= (rt.dLon - lb.dLon) + (o.rt.dLon - o.lb.dLon);
  const bool latOverlap =
      std::max(rt.dLat, o.rt.dLat) - std::min(lb.dLat, o.lb.dLat) <= (rt.dLat - lb.dLat) + (o.rt.dLat - o.lb.dLat);
  return lonOverlap && latOverlap;
}

inline bool Rect2D::Contains(const Point& p) const {
  return lb.dLon <= p.dLon && p.dLon < rt.dLon && lb.dLat <= p.dLat && p.dLat < rt.dLat;
}

inline Rect2D Rect2D::getLb() const {
  const double cx = (rt.dLon + lb.dLon) / 2;
  const double cy = (rt.dLat + lb.dLat) / 2;
  return Rect2D(lb, Point(cx, cy, 0));
}

inline Rect2D Rect2D::getRt() const {
  const double cx = (rt.dLon + lb.dLon) / 2;
  const double cy = (rt.dLat + lb.dLat) / 2;
  return Rect2D(Point(cx, cy, 0), rt);
}

inline Rect2D Rect2D::getLt() const {
  const double cx = (rt.dLon + lb.dLon) / 2;
  const double cy = (rt.dLat + lb.dLat) / 2;
  return Rect2D(Point(lb.dLon, cy, 0), Point(cx, rt.dLat, 0));
}

inline Rect2D Rect2D::getRb() const {
  const double cx = (rt.dLon + lb.dLon) / 2;
  const double cy = (rt.dLat + lb.dLat) / 2;
  return Rect2D(Point(cx, lb.dLat, 0), Point(rt.dLon, cy, 0));
}

// One tile of the longitude/latitude grid: column then row.
struct TileId {
  int nLonId = 0;
  int nLatId = 0;

  TileId() = default;
  TileId(int lonId, int latId) : nLonId(lonId), nLatId(latId) {}
};

// By column, then row: sets of tile ids iterate column by column, rows ascending.
bool operator<(const TileId& l, const TileId& r);

// A position in the 3-degree Gauss-Krueger plane, metres. The easting carries the
// zone number in its millions: zone * 1,000,000 + 500,000 + series easting.
struct XYZ {
  double dX = 0.0;  // easting with zone prefix
  double dY = 0.0;  // northing from the equator
  double dZ = 0.0;  // height, carried from and to Point::dAlt

  XYZ() = default;
  XYZ(double x, double y, double z) : dX(x), dY(y), dZ(z) {}

  XYZ operator-(const XYZ& o) const;  // component-wise, all three coordinates
  double length_xy() const;           // sqrt(dY^2 + dX^2)
};

QL_FIELDS(Point, dLon, dLat, dAlt);
QL_FIELDS(Rect2D, lb, rt);
QL_FIELDS(TileId, nLonId, nLatId);

// ---- projection (defined in Gaussian.cpp, beside the series) -----------------
// Forward and inverse series with zone width w (degrees). The zone number is
// trunc((1.5 + lon) / w), toward zero: zone 0 spans 4.5 W to 1.5 E and a negative zone n
// (west of 4.5 W) spans 3n - 4.5 to 3n - 1.5, west of its meridian 3n. The inverse reads the
// zone back from the easting in every zone.
XYZ Convert(const Point& p, double w);
Point Inverse(const XYZ& q, double w);
XYZ P2XYZ(const Point& p);  // 3-degree zones
XYZ P2XYZ(const Point& p, double w);
Point XYZ2P(const XYZ& q);  // 3-degree zones
Point XYZ2P(const XYZ& q, double w);
// The 3-degree zone P2XYZ projects p in, trunc((1.5 + lon) / 3); INT_MIN for NaN.
int P2Zone(const Point& p);
// p projected in the given 3-degree zone (central meridian 3 * zone), wherever p lies: the
// lane tests project every vertex in the zone of the query position, so that a line crossing
// a zone border stays one line. P2XYZInZone(p, P2Zone(p)) is P2XYZ(p) to the bit.
XYZ P2XYZInZone(const Point& p, int zone);

// The smallest width of 2.0, 2.1, ... 3.9 that puts both longitudes in one zone.
// Throws std::invalid_argument when none does.
double GetValidZoneWidth(const Point& p1, const Point& p2);

// The box of P2R's half-sizes in metres around p, in degrees (see Rect2D's constructor).
Rect2D P2R(const Point& p, float halfWidth, float halfHeight);

// Squared plane distance (height difference added when with3d); the Point forms
// project both points into their 3-degree zones first. DXYZ is the square root.
double D2XYZ(const XYZ& a, const XYZ& b, bool with3d = false);
double D2XYZ(const Point& a, const Point& b, bool with3d = false);
double DXYZ(const XYZ& a, const XYZ& b, bool with3d = false);
double DXYZ(const Point& a, const Point& b, bool with3d = false);

// ---- tile grid and tile names (defined in TileGrid.cpp) -----------------------
// Tiles are named on a fixed 0.02-degree grid; rectangles are stepped over with the
// configured MapConfig::tile_lon_interval / tile_lat_interval.

// The tile holding p on the 0.02-degree grid: each quotient truncated toward zero, and a
// quotient within 1e-6 short of a whole number farther from zero (below a positive, above a
// negative one) counts as that number.
TileId P2TId(const Point& p);
// Lower-left / upper-right corner of p's cell on the configured grid (truncated toward zero),
// altitude kept.
Point P2TLBP(const Point& p);
Point P2TRTP(const Point& p);
// The most tiles a rectangle names, and the most steps of the configured interval its walk takes
// along either axis; a rectangle that would name or take more names none.
constexpr int sc_nMaxTilesInRect = 4096;
// The tiles the rectangle touches: every tile P2TId names for a point of it, with intervals of
// 0.02. Empty when an interval is not a positive finite number, a corner is NaN, lb lies above
// or right of rt, or the rectangle (clamped to the world) would name more than
// sc_nMaxTilesInRect tiles or take more than sc_nMaxTilesInRect steps along an axis.
std::set<TileId> R2TIds(const Rect2D& r);
// The same tiles in the same (ascending) order, into a list the caller keeps from call to call:
// the box searches of a request need no allocation once it has grown. out is replaced.
void R2TIdsInto(const Rect2D& r, std::vector<TileId>& out);
// "col,row" in decimal, a negative number with its sign, no extension: the name of a
// tile's file in every tile directory, and how errors label a tile.
std::string TId2String(const TileId& id);
// "col,row" -> TileId; fewer than two comma-separated pieces give (0, 0), a piece
// that is not a number gives 0, pieces after the second are ignored.
TileId String2TId(const std::string& name);

}  // namespace ql
