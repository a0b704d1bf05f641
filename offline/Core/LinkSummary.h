#pragma once  // LinkSummary.h: what the location queries read of each HD link, computed once per tile

// The lane search of a request looks at every link of a 40 m box and every lane of those
// links: which edges bound each lane, which way its left edge runs, and the longitude/latitude
// boxes that reject most lanes without a plane test. Those depend on the link alone, so a tile
// works them out once, when it is built, instead of once per request; the tile keeps them
// beside its records, in record-map order, in flat arrays. So are, once a request first reaches
// the tile, the plane coordinates of every edge line and lane line (in the zone of the line's
// first vertex), which the strip test and the foot point read instead of projecting each vertex
// again.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "HdLibMath.h"
#include "HdTypes.h"
#include "MemoryLimit.h"

namespace ql {

// IsPointInLane's choice for a lane between the two lines: whether the left line runs against
// the right one (their first vertices lie farther apart than the lane width plus 2 m, 5 m for a
// lane without width). Both lines must have a vertex.
bool LaneEdgesReversed(const HdLane& lane, const std::vector<std::vector<double>>& left,
                       const std::vector<std::vector<double>>& right);

struct LaneSummary {
  LaneBounds bounds;         // of both edge lines; rejects nothing when an edge is missing
  std::int32_t nLeft = -1;   // position of the left edge in vctheEdge (GetEdgeIndexById), -1: none
  std::int32_t nRight = -1;  // the same for the right edge
  bool bReversed = false;    // LaneEdgesReversed, where both edges have geometry
  bool bHasStrip = false;    // both edges found and neither empty: the strip test can hold p
};

// The box of a crossing area's vertices, for an exact rejection before the crossing test
// (IsPointInPolygon): an edge of the area counts for p only when p's latitude lies in [dLat0,
// dLat1) and p lies west of the edge, so no more than rounding east of dLon1. bValid is false
// where a vertex cannot be read, is NaN or lies beyond a million degrees; such an area is always
// tested.
struct CrossingBox {
  double dLon1 = 0.0;
  double dLat0 = 0.0;
  double dLat1 = 0.0;
  bool bValid = false;

  // Whether the area cannot hold p.
  bool Excludes(const Point& p) const;
};
CrossingBox CrossingBoxOf(const std::vector<std::vector<double>>& area);

// The longitudes and latitudes of a lane's ADAS samples in one flat array (lonLat[2i] and
// lonLat[2i + 1] of sample i), worked out with the plane coordinates: the nearest-sample search
// reads them instead of the samples, which are larger. lonLat is null until then.
struct LaneSamples {
  const double* lonLat = nullptr;
  std::size_t n = 0;
};

struct LinkSummary {
  const HdLink* pRecord = nullptr;
  bool bKeyIsId = false;                      // the record's map key is its own liId: looking that id up finds it
  LaneBounds bounds;                          // of every edge line of the link; every lane strip lies inside
  const LaneSummary* pLanes = nullptr;        // one per lane of vcthlLane, in its order
  const PlaneLine* pEdgeLines = nullptr;      // one per edge of vctheEdge, in its order
  const PlaneLine* pLaneLines = nullptr;      // one per lane of vcthlLane: its own line
  const LaneSamples* pLaneSamples = nullptr;  // one per lane of vcthlLane
  const CrossingBox* pCrossings = nullptr;    // one per area of vctcrCrossing
};

// The plane coordinates a tile works out for one line: the zone of its first vertex, or none
// (xy null) for an empty line, a tuple too short to read or a first vertex without a zone.
// xy must have room for 2 * line.size() values.
PlaneLine WorkOutPlaneLine(const std::vector<std::vector<double>>& line, double* xy);

// The summaries of one tile's records, in the order of the record map.
class LinkSummaryTable {
 public:
  using Entry = LinkSummary;

  // The bytes Build allocates for these records, as the tile's memory limit counts them.
  static std::size_t Cost(const std::map<HdLinkId, HdLink>& records);
  // Fills the table from the tile's records (which must stay where they are).
  void Build(const std::map<HdLinkId, HdLink>& records);

  std::size_t size() const { return m_links.size(); }
  const Entry& operator[](std::size_t i) const { return m_links[i]; }
  // Whether e is an entry of this table whose record is keyed by its own id, so that the record
  // map's lookup of that id gives e's record.
  bool IsOwnRecord(const Entry& e) const {
    const std::less<const Entry*> before;
    return !m_links.empty() && !before(&e, m_links.data()) && before(&e, m_links.data() + m_links.size()) &&
           e.bKeyIsId;
  }

  // Works out the plane coordinates of every line on the first call (the lane search of a
  // request makes it, so a tile that no request reaches never pays for them); until then, and
  // where memory for them cannot be had, the lines carry none and the tests project their
  // vertices, to the same answers. Not for concurrent callers, like the queries.
  void WorkOutPlaneLines() const;

 private:
  std::vector<Entry> m_links;
  std::vector<LaneSummary> m_lanes;
  std::vector<CrossingBox> m_crossings;
  mutable std::vector<PlaneLine> m_lines;  // the edge lines of each link, then its lane lines
  mutable std::vector<double> m_xy;        // their plane coordinates, line after line
  mutable std::vector<const std::vector<std::vector<double>>*> m_sources;  // the lines, until worked out
  mutable std::size_t m_nVertices = 0;
  mutable std::vector<LaneSamples> m_samples;                           // one per lane, in m_lanes order
  mutable std::vector<double> m_lonLat;                                 // their positions, lane after lane
  mutable std::vector<const std::vector<HdLaneAdas>*> m_sampleSources;  // the lanes' samples, until worked out
  mutable std::size_t m_nSamples = 0;
  mutable bool m_bWorkedOut = false;
};

}  // namespace ql
