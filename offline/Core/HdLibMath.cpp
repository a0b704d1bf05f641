#include "HdLibMath.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstddef>

#include "MapTypes.h"
#include "Numeric.h"

namespace ql {

double Cross(const XYZ& u, const XYZ& v) { return u.dX * v.dY - u.dY * v.dX; }

namespace {

using Line = std::vector<std::vector<double>>;

// Every vertex of one test is projected in the zone of the query position, so that a line
// crossing a zone border keeps its shape; within the query's zone this is P2XYZ to the bit.
XYZ Project(const std::vector<double>& tuple, int zone) { return P2XYZInZone(Point(tuple), zone); }

// Positive when o, u, v turn counter-clockwise.
double Orientation(const XYZ& o, const XYZ& u, const XYZ& v) {
  return (v.dY - o.dY) * (u.dX - o.dX) - (v.dX - o.dX) * (u.dY - o.dY);
}

// The plane coordinates of the line's vertices where they were worked out in this zone, or null.
const double* PlaneIn(const PlaneLine& plane, int zone) { return plane.zone == zone ? plane.xy : nullptr; }

// Vertex k of the line in the zone: the worked-out coordinates where there are some, the
// projection otherwise. Worked-out vertices come without their height (the tuple is not read:
// the plane tests need none); Height gives the one the projection carries.
XYZ VertexAt(const Line& line, const double* xy, std::size_t k, int zone) {
  if (xy == nullptr) return Project(line[k], zone);
  return XYZ(xy[2 * k], xy[2 * k + 1], 0.0);
}

double Height(const std::vector<double>& tuple) { return tuple.size() > 2 ? tuple[2] : 0.0; }

// Where a strip walk stands on one polyline: vertex k of the walk is line[k], or
// line[size - 1 - k] when the line is walked backwards.
struct Walk {
  const Line& line;
  bool backwards;
  int zone;
  const double* xy;  // PlaneIn(zone), or null
  std::size_t At(std::size_t k) const { return backwards ? line.size() - 1 - k : k; }
  XYZ Vertex(std::size_t k) const { return VertexAt(line, xy, At(k), zone); }
};

}  // namespace

bool HdLibMath::IsInTriangle(const XYZ& a, const XYZ& b, const XYZ& c, const XYZ& p) {
  // Swapping b and c negates the orientation exactly, so one swap makes any
  // clockwise triangle counter-clockwise.
  const bool clockwise = 0 > Orientation(a, b, c);
  const XYZ& u = clockwise ? c : b;
  const XYZ& v = clockwise ? b : c;
  return Orientation(a, u, p) > 0 && Orientation(u, v, p) > 0 && Orientation(v, a, p) > 0;
}

bool HdLibMath::IsInTriangle(const Point& a, const Point& b, const Point& c, const Point& p) {
  struct Vector2d {
    double x;
    double y;
    Vector2d(double xIn, double yIn) : x(xIn), y(yIn) {}
    Vector2d Minus(Vector2d o) const { return Vector2d(x - o.x, y - o.y); }
    double CrossProduct(Vector2d o) const { return x * o.y - o.x * y; }
  };
  const int zone = P2Zone(p);
  const XYZ qa = P2XYZInZone(a, zone);
  const XYZ qb = P2XYZInZone(b, zone);
  const XYZ qc = P2XYZInZone(c, zone);
  const XYZ qp = P2XYZ(p);
  const Vector2d va(qa.dX, qa.dY);
  const Vector2d u = Vector2d(qb.dX, qb.dY).Minus(va);
  const Vector2d v = Vector2d(qc.dX, qc.dY).Minus(va);
  const Vector2d w = Vector2d(qp.dX, qp.dY).Minus(va);
  const double uv = u.CrossProduct(v);
  return uv * v.CrossProduct(w) >= 0 && uv * w.CrossProduct(u) >= 0;
}

bool HdLibMath::IsInRecArea(const Point& p, const Line& first, const Line& second, bool reversed) {
  if (first.empty() || second.empty()) return false;
  return IsInRecArea(p, P2XYZ(p), P2Zone(p), first, PlaneLine(), second, PlaneLine(), reversed);
}

bool HdLibMath::IsInRecArea(const Point& /*p*/, const XYZ& P, int zone, const Line& first,
                            const PlaneLine& firstPlane, const Line& second, const PlaneLine& secondPlane,
                            bool reversed) {
  const std::size_t sA = first.size();
  const std::size_t sB = second.size();
  if (sA == 0 || sB == 0) return false;
  const std::size_t n = std::min(sA, sB) - 1;
  const Walk A{first, reversed, zone, PlaneIn(firstPlane, zone)};
  const Walk B{second, false, zone, PlaneIn(secondPlane, zone)};

  // Paired walk: triangles (a0, a1, b0) and (a1, b1, b0). Each vertex is projected
  // once and carried to the next step; the lane test is the hot path of a request.
  XYZ a0 = A.Vertex(0);
  XYZ b0 = B.Vertex(0);
  for (std::size_t i = 0; i < n; ++i) {
    const XYZ a1 = A.Vertex(i + 1);
    const XYZ b1 = B.Vertex(i + 1);
    if (IsInTriangle(a0, a1, b0, P) || IsInTriangle(a1, b1, b0, P)) return true;
    a0 = a1;
    b0 = b1;
  }
  if (sA == sB) return false;

  // Fan from the last vertex the walk reached on the shorter line over the rest of
  // the longer one, continuing that line's walk direction.
  const bool firstIsLonger = sA > sB;
  const Walk& longer = firstIsLonger ? A : B;
  const XYZ pivot = firstIsLonger ? b0 : a0;
  XYZ l0 = firstIsLonger ? a0 : b0;
  const std::size_t end = std::max(sA, sB) - 1;
  for (std::size_t j = n; j < end; ++j) {
    const XYZ l1 = longer.Vertex(j + 1);
    if (IsInTriangle(pivot, l0, l1, P)) return true;
    l0 = l1;
  }
  return false;
}

bool HdLibMath::GetPerpendicularFoot(const Point& p, const Line& line, Point& foot, double& dist, int& index) {
  return GetPerpendicularFoot(p, line, PlaneLine(), foot, dist, index);
}

bool HdLibMath::GetPerpendicularFoot(const Point& p, const Line& line, const PlaneLine& plane, Point& foot,
                                     double& dist, int& index) {
  const XYZ P = P2XYZ(p);
  const int zone = P2Zone(p);
  const double* xy = PlaneIn(plane, zone);
  double best = DBL_MAX;
  int bestIndex = 0;
  XYZ segmentFoot;  // in the plane: only the foot that is returned is turned back into degrees
  bool found = false;
  XYZ nearestVertex;
  std::size_t nearestIndex = 0;
  double nearestDist = DBL_MAX;
  bool anyVertex = false;

  // One pass projects each vertex once: it serves both the segment ending at it and
  // the nearest-vertex search.
  XYZ A;
  for (std::size_t j = 0; j < line.size(); ++j) {
    const XYZ B = VertexAt(line, xy, j, zone);
    const double d = DXYZ(B, P, false);
    if (d <= nearestDist) {  // the last of equal minima wins
      nearestDist = d;
      nearestVertex = B;
      nearestIndex = j;
      anyVertex = true;
    }
    if (j > 0) {
      const XYZ normal(A.dY - B.dY, B.dX - A.dX, 0);
      // The foot lies strictly inside the segment; a zero-length segment never does.
      if (Cross(B - P, normal) * Cross(normal, A - P) > 0) {
        const double t = Cross(B - P, A - P) / (A - B).length_xy();
        const double D = std::fabs(static_cast<double>(TruncToInt(t)));  // whole metres
        if (best > D) {  // the first segment wins among equal whole-metre distances
          const double la = B.dY - A.dY;
          const double lb = A.dX - B.dX;
          const double lc = A.dY * B.dX - A.dX * B.dY;
          const double fx = (lb * lb * P.dX - la * lb * P.dY - la * lc) / (lb * lb + la * la);
          const double fy = (la * la * P.dY - la * lb * P.dX - lb * lc) / (lb * lb + la * la);
          best = D;
          bestIndex = static_cast<int>(j);
          segmentFoot = XYZ(fx, fy, 0.0);  // height below
          found = true;
        }
      }
    }
    A = B;
  }

  if (!found || best > 5.0 * nearestDist) {
    nearestVertex.dZ = anyVertex ? Height(line[nearestIndex]) : 0.0;
    foot = anyVertex ? XYZ2P(nearestVertex) : Point();
    dist = nearestDist;
  } else {
    // The mean of the segment's two altitudes, not an interpolation.
    const std::size_t end = static_cast<std::size_t>(bestIndex);
    segmentFoot.dZ = (Height(line[end - 1]) + Height(line[end])) / 2.0;
    foot = XYZ2P(segmentFoot);
    dist = best;
  }

  if (bestIndex != 0) {
    index = bestIndex;
    return true;
  }
  // No segment qualified: snap to the stored vertex nearest to the chosen foot.
  const Point reference = foot;
  double bestSphere = DBL_MAX;
  std::size_t k = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const Point vertex(line[i]);
    const double d = PointsDis(vertex, reference);
    if (d < bestSphere) {  // the first of equal minima wins
      bestSphere = d;
      k = i;
      foot = vertex;
    }
  }
  index = k == 0 ? 1 : static_cast<int>(k);
  return true;
}

bool HdLibMath::GetPerpendicularFoot(const Point& p, const Line& line, Point& foot, double& dist) {
  int index = 0;
  return GetPerpendicularFoot(p, line, foot, dist, index);
}

bool HdLibMath::GetNearestPointFromArray(const Point& p, const Line& line, Point& nearest, double& dist,
                                         int& index) {
  double best = DBL_MAX;
  index = 0;
  nearest = Point();
  for (std::size_t i = 0; i < line.size(); ++i) {
    const Point vertex(line[i]);
    const double d = PointsDis(vertex, p);
    if (best > d) {  // the first of equal minima wins
      best = d;
      index = static_cast<int>(i);
      nearest = vertex;
    }
  }
  dist = best;
  return true;
}

// ---- lane bounds --------------------------------------------------------------------------------
//
// A lane can only hold the point when the point's projection q lies strictly inside the plane
// bounding box of its vertices' projections, and one side of that box can be bounded by
// projecting a point or two instead of every vertex. Every projection here is in the zone of the
// point, as the strip test makes them. Near that zone's meridian (within kMaxBoundedOffset, which
// covers every longitude of the zone and lanes reaching out of it) and away from the poles the
// easting grows with longitude and the northing with latitude, so over the vertices'
// longitude/latitude box [lon0, lon1] x [lat0, lat1] the largest easting lies on the edge lon1,
// the smallest on lon0, the largest northing on lat1 and the smallest on lat0. Along such an
// edge the easting changes monotonically with latitude on either side of the equator, and the
// northing with longitude on either side of the central meridian, so each extreme lies at an
// end of its edge or where the edge crosses the equator or the central meridian. The side of
// the box the point lies on (in degrees) picks the one or two sides worth bounding; the test
// itself compares plane values, as the strip test does. The margin dwarfs the rounding of the
// series and of the triangle tests.

namespace {

constexpr double kZoneWidth = 3.0;         // the strip test's zones
constexpr double kMaxBoundedLat = 80.0;    // degrees; beyond, nothing is rejected
constexpr double kMaxBoundedOffset = 6.0;  // degrees from the point's meridian; beyond, the same
constexpr double kPlaneMargin = 0.01;      // metres
// BeyondDegreeBox: the fixed part of the margin (about 1 cm), the factor of the part that grows
// with the square of the box's extent, and the largest extent it decides on (degrees).
constexpr double kDegreeMargin = 1e-7;
constexpr double kDegreeCurvature = 0.25;
constexpr double kMaxDegreeExtent = 0.5;

// Easting (x) or northing of the projections (in the zone) of the edge's ends and of its crossing
// with the equator (easting) or the central meridian (northing), the largest or the smallest.
double EdgeExtreme(int zone, bool easting, double fixed, double from, double to, double crossing, bool largest) {
  double best = largest ? -DBL_MAX : DBL_MAX;
  const double along[3] = {from, to, crossing};
  const int count = from < crossing && crossing < to ? 3 : 2;
  for (int i = 0; i < count; ++i) {
    const Point v = easting ? Point(fixed, along[i], 0.0) : Point(along[i], fixed, 0.0);
    const XYZ projected = P2XYZInZone(v, zone);
    const double value = easting ? projected.dX : projected.dY;
    best = largest ? std::max(best, value) : std::min(best, value);
  }
  return best;
}

}  // namespace

bool BeyondDegreeBox(const Point& p, int zone, double lon0, double lon1, double lat0, double lat1) {
  const double extent = std::max(lon1 - lon0, lat1 - lat0);
  const double meridian = zone * kZoneWidth;
  // Written so that NaN anywhere decides nothing.
  if (!(extent <= kMaxDegreeExtent && std::fabs(p.dLat) <= kMaxBoundedLat && lat0 >= -kMaxBoundedLat &&
        lat1 <= kMaxBoundedLat && lon0 >= meridian - kMaxBoundedOffset && lon1 <= meridian + kMaxBoundedOffset)) {
    return false;
  }
  const double margin = kDegreeMargin + kDegreeCurvature * extent * extent;
  return p.dLon > lon1 + margin || p.dLon < lon0 - margin || p.dLat > lat1 + margin || p.dLat < lat0 - margin;
}

bool LaneBounds::Add(const Line& line) {
  if (!m_bBounded) return false;
  // Kept in locals: the compiler cannot rule out that the vertices alias the members.
  double lon0 = m_dLon0, lon1 = m_dLon1, lat0 = m_dLat0, lat1 = m_dLat1;
  for (const std::vector<double>& v : line) {
    if (v.size() < 2 || !std::isfinite(v[0]) || !(std::fabs(v[1]) <= kMaxBoundedLat)) {
      m_bBounded = false;
      return false;
    }
    lon0 = std::min(lon0, v[0]);
    lon1 = std::max(lon1, v[0]);
    lat0 = std::min(lat0, v[1]);
    lat1 = std::max(lat1, v[1]);
  }
  m_dLon0 = lon0, m_dLon1 = lon1, m_dLat0 = lat0, m_dLat1 = lat1;
  return true;
}

bool LaneBounds::Excludes(const Point& p, const XYZ& q) const {
  if (!m_bBounded || m_dLon0 > m_dLon1) return false;  // no bound, or no vertex
  const int zone = P2Zone(p);                          // where the strip test projects
  if (zone == INT_MIN) return false;
  const double meridian = zone * kZoneWidth;
  if (!(m_dLon0 >= meridian - kMaxBoundedOffset && m_dLon1 <= meridian + kMaxBoundedOffset)) return false;
  if (BeyondDegreeBox(p, zone, m_dLon0, m_dLon1, m_dLat0, m_dLat1)) return true;
  if (p.dLon > m_dLon1 && q.dX >= EdgeExtreme(zone, true, m_dLon1, m_dLat0, m_dLat1, 0.0, true) + kPlaneMargin) {
    return true;
  }
  if (p.dLon < m_dLon0 && q.dX <= EdgeExtreme(zone, true, m_dLon0, m_dLat0, m_dLat1, 0.0, false) - kPlaneMargin) {
    return true;
  }
  if (p.dLat > m_dLat1 &&
      q.dY >= EdgeExtreme(zone, false, m_dLat1, m_dLon0, m_dLon1, meridian, true) + kPlaneMargin) {
    return true;
  }
  return p.dLat < m_dLat0 &&
         q.dY <= EdgeExtreme(zone, false, m_dLat0, m_dLon0, m_dLon1, meridian, false) - kPlaneMargin;
}

bool HdLibMath::IsClearOfRecArea(const Point& p, const XYZ& q, const Line& first, const Line& second) {
  LaneBounds bounds;
  return bounds.Add(first) && bounds.Add(second) && bounds.Excludes(p, q);
}

}  // namespace ql

bool IsPointInPolygon(const std::vector<std::vector<double>>& polygon, const ql::Point& p) {
  bool inside = false;
  const std::size_t n = polygon.size();
  if (n == 0) return false;
  const double px = p.dLon;
  const double py = p.dLat;
  ql::Point prev(polygon[n - 1]);  // throws std::invalid_argument for a tuple of fewer than two values
  for (std::size_t i = 0; i < n; ++i) {
    const ql::Point cur(polygon[i]);
    const double xi = cur.dLon, yi = cur.dLat, xj = prev.dLon, yj = prev.dLat;
    if (((yi <= py && yj > py) || (yj <= py && yi > py)) && px < xi + (py - yi) * (xj - xi) / (yj - yi)) {
      inside = !inside;
    }
    prev = cur;
  }
  return inside;
}
