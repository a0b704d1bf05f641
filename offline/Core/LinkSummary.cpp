#include "LinkSummary.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <new>

#include "MapTypes.h"

namespace ql {

namespace {

// The position of the link's first edge with that lId, or -1 (the lookup of the queries).
std::int32_t EdgeIndex(const HdLink& link, long edgeId) {
  for (std::size_t i = 0; i < link.vctheEdge.size(); ++i) {
    if (link.vctheEdge[i].lId == edgeId) return static_cast<std::int32_t>(i);
  }
  return -1;
}

// What the summaries of some records hold: lanes, crossing areas, the lines whose plane
// coordinates they work out (edge lines, then lane lines) with their vertices, and ADAS samples.
struct Counts {
  std::size_t lanes = 0, crossings = 0, lines = 0, vertices = 0, samples = 0;
};

Counts CountOf(const std::map<HdLinkId, HdLink>& records) {
  Counts c;
  for (const auto& record : records) {
    const HdLink& link = record.second;
    c.lanes += link.vcthlLane.size();
    c.crossings += link.vctcrCrossing.size();
    c.lines += link.vctheEdge.size() + link.vcthlLane.size();
    for (const HdEdge& edge : link.vctheEdge) c.vertices += edge.vctvdGeoLink.size();
    for (const HdLane& lane : link.vcthlLane) {
      c.vertices += lane.vctvdGeoLink.size();
      c.samples += lane.vctlaLaneAdas.size();
    }
  }
  return c;
}

}  // namespace

PlaneLine WorkOutPlaneLine(const std::vector<std::vector<double>>& line, double* xy) {
  PlaneLine plane;
  if (line.empty()) return plane;
  for (const std::vector<double>& v : line) {
    if (v.size() < 2) return plane;
  }
  const int zone = P2Zone(Point(line.front()));
  if (zone == INT_MIN) return plane;
  for (std::size_t k = 0; k < line.size(); ++k) {
    const XYZ q = P2XYZInZone(Point(line[k]), zone);
    xy[2 * k] = q.dX;
    xy[2 * k + 1] = q.dY;
  }
  plane.xy = xy;
  plane.zone = zone;
  return plane;
}

bool CrossingBox::Excludes(const Point& p) const {
  // The crossing of an edge with p's parallel is computed to within a few units in the last
  // place of the edge's longitudes: far below the margin.
  const double margin = 1e-9 * (1.0 + std::fabs(dLon1));
  return bValid && (p.dLat < dLat0 || p.dLat >= dLat1 || p.dLon > dLon1 + margin);
}

CrossingBox CrossingBoxOf(const std::vector<std::vector<double>>& area) {
  CrossingBox box;
  if (area.empty()) return box;
  box.dLon1 = -DBL_MAX;
  box.dLat0 = DBL_MAX;
  box.dLat1 = -DBL_MAX;
  for (const std::vector<double>& v : area) {
    // Beyond a million degrees (or NaN) the rounding of an edge's crossing is not bounded by the
    // margin: such an area is always tested.
    if (v.size() < 2 || !(std::fabs(v[0]) <= 1e6) || !(std::fabs(v[1]) <= 1e6)) return CrossingBox();
    box.dLon1 = std::max(box.dLon1, v[0]);
    box.dLat0 = std::min(box.dLat0, v[1]);
    box.dLat1 = std::max(box.dLat1, v[1]);
  }
  box.bValid = true;
  return box;
}

bool LaneEdgesReversed(const HdLane& lane, const std::vector<std::vector<double>>& left,
                       const std::vector<std::vector<double>>& right) {
  const double startGapMm = PointsDis(Point(left.front()), Point(right.front())) * 100.0 * 10.0;
  // The width plus slack in 64 bits: a corrupt width near INT_MAX must not overflow.
  const double threshold =
      lane.nWidth != 0 ? static_cast<double>(static_cast<long long>(lane.nWidth) + 2000) : 5000.0;
  return startGapMm > threshold;
}

std::size_t LinkSummaryTable::Cost(const std::map<HdLinkId, HdLink>& records) {
  const Counts c = CountOf(records);
  // The pointer lists: the lines and the lanes' samples, until they are worked out.
  return MemoryLimit::Block(records.size() * sizeof(Entry)) + MemoryLimit::Block(c.lanes * sizeof(LaneSummary)) +
         MemoryLimit::Block(c.lines * sizeof(PlaneLine)) + MemoryLimit::Block(c.lines * sizeof(void*)) +
         MemoryLimit::Block(2 * c.vertices * sizeof(double)) + MemoryLimit::Block(c.lanes * sizeof(LaneSamples)) +
         MemoryLimit::Block(c.lanes * sizeof(void*)) + MemoryLimit::Block(2 * c.samples * sizeof(double)) +
         MemoryLimit::Block(c.crossings * sizeof(CrossingBox));
}

void LinkSummaryTable::Build(const std::map<HdLinkId, HdLink>& records) {
  const Counts c = CountOf(records);
  std::vector<Entry> links;
  std::vector<LaneSummary> lanes;
  std::vector<PlaneLine> lines;
  std::vector<const std::vector<std::vector<double>>*> sources;
  std::vector<LaneSamples> samples(c.lanes);
  std::vector<CrossingBox> crossings;
  std::vector<const std::vector<HdLaneAdas>*> sampleSources;
  // Reserved in full: the summaries point into these lists as they grow.
  links.reserve(records.size());
  lanes.reserve(c.lanes);
  lines.reserve(c.lines);
  sources.reserve(c.lines);
  crossings.reserve(c.crossings);
  sampleSources.reserve(c.lanes);
  const auto addLine = [&](const std::vector<std::vector<double>>& line) {
    lines.push_back(PlaneLine());  // worked out by WorkOutPlaneLines
    sources.push_back(&line);
  };
  for (const auto& record : records) {
    const HdLink& link = record.second;
    Entry entry;
    entry.pRecord = &link;
    entry.bKeyIsId = record.first.lValue == link.liId.lValue;  // HdLinkId compares lValue alone
    for (const HdEdge& edge : link.vctheEdge) {
      if (!entry.bounds.Add(edge.vctvdGeoLink)) break;
    }
    entry.pLanes = lanes.data() + lanes.size();
    entry.pEdgeLines = lines.data() + lines.size();
    for (const HdEdge& edge : link.vctheEdge) addLine(edge.vctvdGeoLink);
    entry.pLaneLines = lines.data() + lines.size();
    for (const HdLane& lane : link.vcthlLane) addLine(lane.vctvdGeoLink);
    entry.pCrossings = crossings.data() + crossings.size();
    for (const ObjCrossing& crossing : link.vctcrCrossing)
      crossings.push_back(CrossingBoxOf(crossing.vctvdGeoArea));
    entry.pLaneSamples = samples.data() + sampleSources.size();
    for (const HdLane& lane : link.vcthlLane) sampleSources.push_back(&lane.vctlaLaneAdas);
    for (const HdLane& lane : link.vcthlLane) {
      LaneSummary summary;
      summary.nLeft = EdgeIndex(link, lane.lLeftEdgeId);
      summary.nRight = EdgeIndex(link, lane.lRightEdgeId);
      if (summary.nLeft >= 0 && summary.nRight >= 0) {
        const auto& left = link.vctheEdge[static_cast<std::size_t>(summary.nLeft)].vctvdGeoLink;
        const auto& right = link.vctheEdge[static_cast<std::size_t>(summary.nRight)].vctvdGeoLink;
        if (summary.bounds.Add(left)) summary.bounds.Add(right);
        summary.bHasStrip = !left.empty() && !right.empty();
        if (summary.bHasStrip) summary.bReversed = LaneEdgesReversed(lane, left, right);
      }
      lanes.push_back(summary);
    }
    links.push_back(entry);
  }
  m_links.swap(links);
  m_lanes.swap(lanes);
  m_lines.swap(lines);
  m_sources.swap(sources);
  m_nVertices = c.vertices;
  m_xy.clear();
  m_crossings.swap(crossings);
  m_samples.swap(samples);
  m_sampleSources.swap(sampleSources);
  m_nSamples = c.samples;
  m_lonLat.clear();
  m_bWorkedOut = false;
}

void LinkSummaryTable::WorkOutPlaneLines() const {
  if (m_bWorkedOut) return;
  m_bWorkedOut = true;  // tried once: without memory the lines stay without coordinates
  try {
    m_xy.resize(2 * m_nVertices);
    m_lonLat.resize(2 * m_nSamples);
  } catch (const std::bad_alloc&) {
    std::vector<double>().swap(m_xy);
    return;
  }
  std::size_t used = 0;  // values of m_xy handed out
  for (std::size_t i = 0; i < m_sources.size(); ++i) {
    m_lines[i] = WorkOutPlaneLine(*m_sources[i], m_xy.data() + used);
    used += 2 * m_sources[i]->size();
  }
  std::vector<const std::vector<std::vector<double>>*>().swap(m_sources);
  used = 0;
  for (std::size_t i = 0; i < m_sampleSources.size(); ++i) {
    const std::vector<HdLaneAdas>& lane = *m_sampleSources[i];
    double* lonLat = m_lonLat.data() + used;
    for (std::size_t k = 0; k < lane.size(); ++k) {
      lonLat[2 * k] = lane[k].dLon;
      lonLat[2 * k + 1] = lane[k].dLat;
    }
    m_samples[i] = LaneSamples{lonLat, lane.size()};
    used += 2 * lane.size();
  }
  std::vector<const std::vector<HdLaneAdas>*>().swap(m_sampleSources);
}

}  // namespace ql
