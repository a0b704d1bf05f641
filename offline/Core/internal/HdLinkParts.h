#pragma once  // HdLinkParts.h: the parts of a link that HdLib's queries read (internal to HdLib's sources)

#include <algorithm>
#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

#include "HdTypes.h"
#include "MapTypes.h"
#include "Singleton.h"
#include "World.h"

namespace ql {
namespace linkparts {

using HdStore = Singleton<HdWorld, NewHdWorld>;

// The store as it is: null before Init, never created here.
inline HdWorld* Store() { return HdStore().operator->(); }

// ---- lookups: the part of a link a query reads; null when it is missing, or the link is ------------

// Lane n of the link by position (n - 1); null for n outside 1 to the lane count.
inline const HdLane* LaneAt(const HdLink* link, int laneNum) {
  if (link == nullptr || laneNum < 1 || static_cast<std::size_t>(laneNum) > link->vcthlLane.size()) return nullptr;
  return &link->vcthlLane[static_cast<std::size_t>(laneNum) - 1];
}

// The link's first lane, in stored order, that `match` accepts.
template <class Match>
const HdLane* FirstLane(const HdLink* link, const Match& match) {
  if (link == nullptr) return nullptr;
  const auto found = std::find_if(link->vcthlLane.begin(), link->vcthlLane.end(), match);
  return found == link->vcthlLane.end() ? nullptr : &*found;
}

// The first lane with that id (compared as long).
inline const HdLane* LaneById(const HdLink* link, const HdLaneId& laneId) {
  const long wanted = laneId;
  return FirstLane(link, [wanted](const HdLane& lane) { return static_cast<long>(lane.liId) == wanted; });
}

// The edge at that position of vctheEdge.
inline const HdEdge* EdgeAt(const HdLink* link, int index) {
  if (link == nullptr || index < 0 || static_cast<std::size_t>(index) >= link->vctheEdge.size()) return nullptr;
  return &link->vctheEdge[static_cast<std::size_t>(index)];
}

// The position in vctheEdge of the first edge with that lId; -1 when none has it or there is no
// link (HdLib::GetEdgeIndexById).
inline int EdgeIndexById(const HdLink* link, long edgeId) {
  if (link == nullptr) return -1;
  const std::vector<HdEdge>& edges = link->vctheEdge;
  for (std::size_t i = 0; i < edges.size(); ++i) {
    if (edges[i].lId == edgeId) return static_cast<int>(i);
  }
  return -1;
}

// The first edge with that lId.
inline const HdEdge* EdgeById(const HdLink* link, long edgeId) {
  const int index = EdgeIndexById(link, edgeId);
  return index < 0 ? nullptr : &link->vctheEdge[static_cast<std::size_t>(index)];
}

// The shape of most attribute queries: given the part a lookup found (null: none), copy its
// field (a member pointer or a function of the part) into out and answer true; with no part,
// leave out as it was and answer false. A list or string output is thereby replaced as a whole.
template <class Part, class Field, class Out>
bool CopyOut(const Part* part, const Field& field, Out& out) {
  if (part == nullptr) return false;
  out = std::invoke(field, *part);
  return true;
}

// Ascending by link id; of links listed more than once, the first after sorting is kept.
inline void SortOncePerId(std::vector<const HdLink*>& links) {
  std::sort(links.begin(), links.end(), [](const HdLink* a, const HdLink* b) { return a->liId < b->liId; });
  links.erase(
      std::unique(links.begin(), links.end(), [](const HdLink* a, const HdLink* b) { return a->liId == b->liId; }),
      links.end());
}

// The lanes holding p of the links in the box of half-sizes w, h around p, as (link, position in
// vcthlLane) appended to out: links by ascending id, lanes in stored order (the strip test of
// IsPointInLane, on the tiles' plane coordinates). False when no link is in the box.
bool CollectLanesHolding(const Point& p, float w, float h,
                         std::vector<std::pair<const HdLink*, std::size_t>>& out);

// The steps the endpoint walks of this thread have taken: listing entries and lanes read, pairs
// of lanes tried. Tests bound a walk's work by it instead of timing it; a walk adds its own steps
// once, when it ends.
inline std::size_t& WalkSteps() {
  thread_local std::size_t steps = 0;
  return steps;
}

// The haversine distance between two geometry tuples.
inline double TupleDis(const std::vector<double>& a, const std::vector<double>& b) {
  return PointsDis(Point(a), Point(b));
}

}  // namespace linkparts
}  // namespace ql
