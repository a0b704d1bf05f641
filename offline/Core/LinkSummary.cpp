#include "LinkSummary.h"

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

}  // namespace

bool LaneEdgesReversed(const HdLane& lane, const std::vector<std::vector<double>>& left,
                       const std::vector<std::vector<double>>& right) {
  const double startGapMm = PointsDis(Point(left.front()), Point(right.front())) * 100.0 * 10.0;
  // The width plus slack in 64 bits: a corrupt width near INT_MAX must not overflow.
  const double threshold =
      lane.nWidth != 0 ? static_cast<double>(static_cast<long long>(lane.nWidth) + 2000) : 5000.0;
  return startGapMm > threshold;
}

std::size_t LinkSummaryTable::Cost(const std::map<HdLinkId, HdLink>& records) {
  std::size_t lanes = 0;
  for (const auto& record : records) lanes += record.second.vcthlLane.size();
  return MemoryLimit::Block(records.size() * sizeof(Entry)) + MemoryLimit::Block(lanes * sizeof(LaneSummary));
}

void LinkSummaryTable::Build(const std::map<HdLinkId, HdLink>& records) {
  std::size_t laneCount = 0;
  for (const auto& record : records) laneCount += record.second.vcthlLane.size();
  std::vector<Entry> links;
  std::vector<LaneSummary> lanes;
  links.reserve(records.size());
  lanes.reserve(laneCount);
  for (const auto& record : records) {
    const HdLink& link = record.second;
    Entry entry;
    entry.pRecord = &link;
    for (const HdEdge& edge : link.vctheEdge) {
      if (!entry.bounds.Add(edge.vctvdGeoLink)) break;
    }
    entry.pLanes = lanes.data() + lanes.size();  // reserved above: the lanes stay where they are
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
}

}  // namespace ql
