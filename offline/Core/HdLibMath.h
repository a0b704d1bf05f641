#pragma once  // HdLibMath.h: point-in-lane, lane-bounds, triangle and foot tests on stored lane lines

#include <cfloat>
#include <vector>

#include "CoordSys.h"

namespace ql {

// u.dX * v.dY - u.dY * v.dX: the z component of the plane cross product.
double Cross(const XYZ& u, const XYZ& v);

// The plane coordinates of a line's vertices, worked out once for its tile (LinkSummary.h):
// xy[2k] and xy[2k + 1] are dX and dY of P2XYZInZone(line[k], zone). A test reads them only when
// zone is its query point's zone, and projects the line itself otherwise, so the answers are
// those of the projection to the bit.
struct PlaneLine {
  const double* xy = nullptr;  // null: not worked out
  int zone = 0;
};

// Plane tests on lines as the HD records store them (tuples of longitude, latitude
// and optional altitude). Every vertex of one test is projected in the 3-degree zone of
// the query point p (P2XYZInZone), so a line crossing a zone border keeps its shape;
// altitudes take no part in the tests.
class HdLibMath {
 public:
  // Whether p lies in the strip between two polylines (a lane between its edge
  // lines), covered by triangles between same-index vertices plus a fan over the
  // rest of the longer line. reversed walks `first` from its last vertex. A point
  // exactly on any triangle edge, the inner diagonals included, is outside.
  static bool IsInRecArea(const Point& p, const std::vector<std::vector<double>>& first,
                          const std::vector<std::vector<double>>& second, bool reversed);
  // The same test with the query point already projected (q is P2XYZ(p), zone P2Zone(p)) and
  // the lines' plane coordinates where they were worked out.
  static bool IsInRecArea(const Point& p, const XYZ& q, int zone, const std::vector<std::vector<double>>& first,
                          const PlaneLine& firstPlane, const std::vector<std::vector<double>>& second,
                          const PlaneLine& secondPlane, bool reversed);

  // Whether p lies strictly inside the triangle, whatever its winding. Edges and
  // corners are outside, a collinear triangle holds nothing, NaN gives false.
  static bool IsInTriangle(const XYZ& a, const XYZ& b, const XYZ& c, const XYZ& p);
  // On geographic points, projected first (in p's zone). Accepts the wedge beyond corner a
  // between the extensions of the two sides through a (not the triangle's inside),
  // non-strict; NaN gives false. Kept for compatibility; nothing here calls it.
  static bool IsInTriangle(const Point& a, const Point& b, const Point& c, const Point& p);

  // The foot of the perpendicular from p on the line, its distance in whole metres
  // (truncated) and the index of the segment's end vertex. Falls back to the nearest
  // vertex (exact plane distance) when no foot lies strictly inside a segment or the
  // best foot is more than 5 times farther than that vertex. index is never below 1;
  // an empty line gives (0, 0, 0), DBL_MAX and 1. Always returns true.
  static bool GetPerpendicularFoot(const Point& p, const std::vector<std::vector<double>>& line, Point& foot,
                                   double& dist, int& index);
  static bool GetPerpendicularFoot(const Point& p, const std::vector<std::vector<double>>& line, Point& foot,
                                   double& dist);
  // The same with the line's plane coordinates where they were worked out.
  static bool GetPerpendicularFoot(const Point& p, const std::vector<std::vector<double>>& line,
                                   const PlaneLine& plane, Point& foot, double& dist, int& index);

  // The vertex nearest to p by great-circle distance (metres), the first of equal
  // minima; an empty line gives (0, 0, 0), DBL_MAX and 0. Always returns true.
  static bool GetNearestPointFromArray(const Point& p, const std::vector<std::vector<double>>& line,
                                       Point& nearest, double& dist, int& index);

  // A cheap, exact rejection for IsInRecArea: true only when IsInRecArea(p, first, second, r)
  // is false for either r, false whenever it might hold p (see LaneBounds). q is P2XYZ(p),
  // computed once by a caller that asks for many lanes. Tuples the bounds cannot read are left
  // to IsInRecArea, exceptions included.
  static bool IsClearOfRecArea(const Point& p, const XYZ& q, const std::vector<std::vector<double>>& first,
                               const std::vector<std::vector<double>>& second);
};

// Whether p lies so far outside the longitude/latitude box [lon0, lon1] x [lat0, lat1] that no
// triangle with corners in the box holds P2XYZ(p) once the corners are projected in p's zone
// (zone, P2Zone(p)): the projection is smooth, so the plane triangle's preimage lies within
// c * d * d degrees of the triangle in degrees (d the box's larger extent, c far above what the
// series' curvature needs up to 80 degrees of latitude) and p is tested against the box widened
// by that and by 1 cm. No projection is needed. It decides only for boxes of at most half a
// degree within 6 degrees of the zone's central meridian, p and the box within 80 degrees of
// the equator; false otherwise, and for NaN.
bool BeyondDegreeBox(const Point& p, int zone, double lon0, double lon1, double lat0, double lat1);

// The longitude/latitude box of the vertices of some lines, and bounds from it on their
// projections in the query point's zone: a point beyond the bounds lies in no triangle with
// corners among those vertices, so no strip test on lines of them can hold it. It saves
// projecting every vertex of a lane that lies metres away. Where the bounds could be wrong
// (vertices more than 6 degrees of longitude from the point's central meridian, beyond 80
// degrees of latitude, a coordinate that is not finite, a tuple too short to read) the box
// rejects nothing.
class LaneBounds {
 public:
  // Widens the box by the line's vertices. False, and the box rejects nothing from then on,
  // when one of them gives no bound.
  bool Add(const std::vector<std::vector<double>>& line);
  // Whether p, projected q = P2XYZ(p), lies beyond the bounds by more than a safety margin
  // of 1 cm. False for a box without vertices.
  bool Excludes(const Point& p, const XYZ& q) const;

 private:
  bool m_bBounded = true;  // false once a vertex gave no bound
  double m_dLon0 = DBL_MAX, m_dLon1 = -DBL_MAX, m_dLat0 = DBL_MAX, m_dLat1 = -DBL_MAX;  // degrees
};

}  // namespace ql

// Crossing-number test on longitude (x) and latitude (y) in degrees, without projection: an
// edge counts when yi <= py < yj or yj <= py < yi, and toggles when px is strictly left of it
// at py; so horizontal edges never toggle. An empty polygon holds nothing. Throws
// std::invalid_argument for a vertex of fewer than two values. (Declared in HdLib.h as well.)
bool IsPointInPolygon(const std::vector<std::vector<double>>& polygon, const ql::Point& p);
