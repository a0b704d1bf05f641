// The endpoint graph of HdLib: the lane-change rule, the next and previous walks with the
// lane-level reasoning under them, the endpoint searches near a position and what they read of
// an endpoint's link.

#include <algorithm>
#include <cfloat>
#include <cstddef>
#include <iostream>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "Console.h"
#include "HdLib.h"
#include "HdLibMath.h"
#include "HdLinkParts.h"
#include "MapConfig.h"
#include "MapTypes.h"
#include "World.h"

namespace ql {

namespace {
using namespace linkparts;
using GeoLink = HdLib::GeoLink;
}  // namespace

// ---- endpoint graph: shared rules ----------------------------------------------------------------

namespace {

// Every lane change of a move needs 10 units of link length; a NaN length admits nothing. In 64
// bits: lane numbers near INT_MIN and INT_MAX must neither overflow nor wrap.
bool PassesLaneChangeRule(const LaneEndpoint& e) {
  const long long from = e.nFromSeqNum;
  const long long to = e.nToSeqNum;
  const long long needed = (from > to ? from - to : to - from) * 10;
  return e.dLinkLength >= static_cast<double>(needed);
}

// The edge-crossing test on an nCross value (-1 for a missing edge).
bool LeftCrossable(int cross) { return cross == sc_nCrossDirec_BidirecAble || cross == sc_nCrossDirec_LeftAble; }
bool RightCrossable(int cross) { return cross == sc_nCrossDirec_BidirecAble || cross == sc_nCrossDirec_RightAble; }

bool CanCrossLeft(const HdLink* link, const HdLane& lane) {
  return LeftCrossable(HdLib::GetEdgeCross(link, lane.lLeftEdgeId));
}
bool CanCrossRight(const HdLink* link, const HdLane& lane) {
  return RightCrossable(HdLib::GetEdgeCross(link, lane.lRightEdgeId));
}

// Whether the lane list holds that id.
bool Lists(const std::vector<HdLaneId>& ids, long id) {
  return std::any_of(ids.begin(), ids.end(),
                     [id](const HdLaneId& listed) { return static_cast<long>(listed) == id; });
}

// A vertex as an end point: all three values, altitude 0 for a tuple of two.
Point Vertex(const std::vector<double>& tuple) { return Point(tuple); }

// The first or last vertex of a geometry, or (0, 0, 0) when it has none.
Point FirstVertex(const GeoLink& geo) { return geo.empty() ? Point() : Vertex(geo.front()); }
Point LastVertex(const GeoLink& geo) { return geo.empty() ? Point() : Vertex(geo.back()); }

// The successor's end as the link walk gives it: its own last vertex, else its first lane's,
// always at altitude 0.
Point LinkEnd(const HdLink& link) {
  const GeoLink* geo = &link.vctvdGeoLink;
  if (geo->empty() && !link.vcthlLane.empty()) geo = &link.vcthlLane.front().vctvdGeoLink;
  const Point end = LastVertex(*geo);
  return Point(end.dLon, end.dLat, 0.0);
}

LinkEndpoint LinkEndpointOf(const HdLink& link, const Point& end) {
  LinkEndpoint e;
  e.ptEnd = end;
  e.liLinkId = link.liId;
  e.dLinkLength = link.dLength;
  return e;
}

// A move along one lane of the link, without end point or length unless given.
LaneEndpoint LaneEndpointOf(const HdLink& link, const HdLane& lane) {
  LaneEndpoint e;
  e.liLinkId = link.liId;
  e.liLaneId = lane.liId;
  e.nFromSeqNum = lane.nSeqNum;
  e.nToSeqNum = lane.nSeqNum;
  return e;
}

}  // namespace

// ---- endpoint graph: next and previous endpoints ---------------------------------------------------

int HdLib::GetEdgeCross(const HdLink* link, const long& edgeId) {
  const HdEdge* edge = EdgeById(link, edgeId);
  return edge == nullptr ? -1 : edge->nCross;
}

namespace {

// IsReachable worked out once for a link, so that each question costs a lookup: the last position
// of every lane id, and running counts of the lanes whose left and right edges may be crossed
// (crossableX[k] lanes among positions 0 to k - 1).
class LaneReach {
 public:
  explicit LaneReach(const HdLink* link) : m_pLink(link) {
    if (link == nullptr) return;
    const std::vector<HdLane>& lanes = link->vcthlLane;
    // A link of few lanes is scanned at each question: as quick, and nothing to allocate.
    if (lanes.size() <= kScanned) return;
    m_bTables = true;
    // Each edge id's first position, for the crossing test's lookup (GetEdgeCross); kept from
    // call to call, as only a constructor uses it.
    thread_local std::vector<std::pair<long, std::size_t>> edges;
    edges.clear();
    for (std::size_t e = 0; e < link->vctheEdge.size(); ++e) edges.emplace_back(link->vctheEdge[e].lId, e);
    std::stable_sort(edges.begin(), edges.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    const auto cross = [&](long edgeId) {
      const auto found = std::lower_bound(edges.begin(), edges.end(), edgeId,
                                          [](const auto& x, long id) { return x.first < id; });
      return found == edges.end() || found->first != edgeId ? -1 : link->vctheEdge[found->second].nCross;
    };
    m_positions.reserve(lanes.size());
    m_crossable.resize(lanes.size() + 1);
    for (std::size_t k = 0; k < lanes.size(); ++k) {
      m_positions.emplace_back(static_cast<long>(lanes[k].liId), static_cast<long>(k));
      m_crossable[k + 1].left = m_crossable[k].left + (LeftCrossable(cross(lanes[k].lLeftEdgeId)) ? 1 : 0);
      m_crossable[k + 1].right = m_crossable[k].right + (RightCrossable(cross(lanes[k].lRightEdgeId)) ? 1 : 0);
    }
    // By id, positions ascending within one id (stable); then one entry per id, its last position.
    std::stable_sort(m_positions.begin(), m_positions.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    std::size_t kept = 0;
    for (std::size_t k = 0; k < m_positions.size(); ++k) {
      if (kept > 0 && m_positions[kept - 1].first == m_positions[k].first) {
        m_positions[kept - 1] = m_positions[k];
      } else {
        m_positions[kept++] = m_positions[k];
      }
    }
    m_positions.resize(kept);
  }

  // Whether a vehicle in lane `from` can reach lane `to` inside the link by crossing lane edges:
  // the positions of the last lanes of those ids, a and b; the lanes of opposite sign refused as
  // the 32-bit quotient of their numbers says; then every lane from a towards b (b excluded)
  // crossable on the side the move goes. Positive lanes: towards the back of vcthlLane is
  // rightwards; negative lanes mirror it.
  bool Reachable(long from, long to) const {
    if (m_pLink == nullptr) return false;
    const long a = PositionOf(from);
    const long b = PositionOf(to);
    if (a < 0 || b < 0) return false;
    if (a == b) return true;
    const std::vector<HdLane>& lanes = m_pLink->vcthlLane;
    const long long s = lanes[static_cast<std::size_t>(a)].nSeqNum;
    const long long t = lanes[static_cast<std::size_t>(b)].nSeqNum;
    // No lane is numbered 0 in sound data; such a to-lane is never reached (rather than divided
    // by). 64 bits: INT_MIN / -1 does not fit an int.
    if (t == 0 || s / t < 0 || s == 0) return false;
    const bool rightwards = (a < b) == (s > 0);
    const std::size_t lo = static_cast<std::size_t>(a < b ? a : b + 1);
    const std::size_t hi = static_cast<std::size_t>(a < b ? b : a + 1);  // positions lo to hi - 1
    if (!m_bTables) {
      for (std::size_t k = lo; k < hi; ++k) {
        if (!(rightwards ? CanCrossRight(m_pLink, lanes[k]) : CanCrossLeft(m_pLink, lanes[k]))) return false;
      }
      return true;
    }
    const std::size_t passing =
        rightwards ? m_crossable[hi].right - m_crossable[lo].right : m_crossable[hi].left - m_crossable[lo].left;
    return passing == hi - lo;
  }

  // Links of at most this many lanes are scanned rather than tabled.
  static constexpr std::size_t kScanned = 8;

 private:
  long PositionOf(long laneId) const {
    if (!m_bTables) {
      const std::vector<HdLane>& lanes = m_pLink->vcthlLane;
      long last = -1;
      for (std::size_t i = 0; i < lanes.size(); ++i) {
        if (static_cast<long>(lanes[i].liId) == laneId) last = static_cast<long>(i);
      }
      return last;
    }
    const auto found = std::lower_bound(m_positions.begin(), m_positions.end(), laneId,
                                        [](const auto& x, long id) { return x.first < id; });
    return found == m_positions.end() || found->first != laneId ? -1 : found->second;
  }

  const HdLink* m_pLink;
  bool m_bTables = false;  // false: the link is scanned at each question
  struct Crossable {
    std::size_t left = 0, right = 0;
  };
  std::vector<std::pair<long, long>> m_positions;  // (lane id, its last position), by id
  std::vector<Crossable> m_crossable;              // lanes among positions 0 to k - 1 crossable
};

}  // namespace

bool HdLib::IsReachable(const HdLink* link, HdLaneId from, HdLaneId to) {
  if (link == nullptr) return false;
  return LaneReach(link).Reachable(from, to);
}

bool HdLib::GetNextLinkEndpoints(const LinkEndpoint& endpoint, std::vector<LinkEndpoint>& out) const {
  const HdLink* link = GetLinkData(endpoint.liLinkId);
  if (link == nullptr) return false;
  std::vector<const HdLink*> nexts;
  for (const HdLinkId& nextId : link->vctliNxtLinkId) {
    if (const HdLink* next = GetLinkData(nextId)) nexts.push_back(next);
  }
  if (nexts.empty()) return false;
  for (const HdLink* next : nexts) out.push_back(LinkEndpointOf(*next, LinkEnd(*next)));
  return true;
}

bool HdLib::GetNextLaneEndpoints(const LaneEndpoint& endpoint, std::vector<LaneEndpoint>& out) const {
  const HdLink* link = GetLinkData(endpoint.liLinkId);
  if (link == nullptr) return false;
  const long laneId = endpoint.liLaneId;
  // The lanes continuing the endpoint's lane, per successor id as the link lists it; the lanes
  // stay in their tiles, which are never unloaded. A lane goes in once however often it lists the
  // endpoint's lane, and a listing of a link already handled under that id adds nothing: the
  // lanes it would add again go as duplicates below (the first collected of each id stays).
  std::map<HdLinkId, std::vector<const HdLane*>> continuing;
  std::vector<std::pair<long, const HdLink*>> handled;
  for (const HdLinkId& nextId : link->vctliNxtLinkId) {
    const HdLink* next = GetLinkData(nextId);
    if (next == nullptr || !AddOnce(handled, std::make_pair(static_cast<long>(nextId.lValue), next))) continue;
    for (const HdLane& lane : next->vcthlLane) {
      if (Lists(lane.vctliPreLaneId, laneId)) continuing[nextId].push_back(&lane);
    }
  }
  if (continuing.empty()) return false;
  for (auto& [nextId, lanes] : continuing) {
    // Descending lane id, once each (of lanes sharing an id, the first collected).
    std::stable_sort(lanes.begin(), lanes.end(), [](const HdLane* x, const HdLane* y) {
      return static_cast<long>(x->liId) > static_cast<long>(y->liId);
    });
    lanes.erase(std::unique(lanes.begin(), lanes.end(),
                            [](const HdLane* x, const HdLane* y) {
                              return static_cast<long>(x->liId) == static_cast<long>(y->liId);
                            }),
                lanes.end());
    const HdLink* next = GetLinkData(nextId);
    if (next == nullptr) continue;
    const LaneReach reach(next);
    for (const HdLane* from : lanes) {
      for (const HdLane& to : next->vcthlLane) {
        if (!reach.Reachable(from->liId, to.liId)) continue;
        LaneEndpoint e;
        if (to.nDirection == 2) {
          e.ptEnd = LastVertex(to.vctvdGeoLink);
        } else if (to.nDirection == 3) {
          e.ptEnd = FirstVertex(to.vctvdGeoLink);
        } else {
          BeforeConsoleOutput();
          std::cout << "=====ERROR=====lane" << static_cast<long>(to.liId) << "方向需要特殊处理" << std::endl;
        }
        e.liLinkId = nextId;
        e.liLaneId = to.liId;
        e.nFromSeqNum = from->nSeqNum;
        e.nToSeqNum = to.nSeqNum;
        e.dLinkLength = next->dLength;
        if (PassesLaneChangeRule(e)) out.push_back(e);
      }
    }
  }
  return true;
}

bool HdLib::GetPreEndpoints(const LaneEndpoint& endpoint, std::vector<LaneEndpoint>& out) const {
  const HdLink* link = GetLinkData(endpoint.liLinkId);
  if (link == nullptr) return false;
  const long laneId = endpoint.liLaneId;
  // A predecessor qualifies once: listed again, or through more of its lanes' entries, it would
  // only be listed again, and the sort below keeps one of each id.
  std::optional<LaneReach> reach;  // worked out when first asked
  std::vector<const HdLink*> qualifying;
  std::vector<const HdLink*> handled;
  for (const HdLinkId& preId : link->vctliPreLinkId) {
    const HdLink* pre = GetLinkData(preId);
    if (pre == nullptr || !AddOnce(handled, pre)) continue;
    const bool leadsIn = std::any_of(pre->vcthlLane.begin(), pre->vcthlLane.end(), [&](const HdLane& lane) {
      return std::any_of(lane.vctliNxtLaneId.begin(), lane.vctliNxtLaneId.end(), [&](const HdLaneId& nxt) {
        if (static_cast<long>(nxt) == laneId) return true;
        if (!reach) reach.emplace(link);
        return reach->Reachable(nxt, laneId);
      });
    });
    if (leadsIn) qualifying.push_back(pre);
  }
  SortOncePerId(qualifying);
  if (qualifying.empty()) return false;
  GenPreEndpoints(endpoint.liLaneId, qualifying, out);
  return true;
}

void HdLib::GenPreEndpoints(HdLaneId laneId, const std::vector<const HdLink*>& links,
                            std::vector<LaneEndpoint>& out) {
  for (const HdLink* link : links) {
    if (link == nullptr) continue;
    std::map<int, LaneEndpointExt> lanesByNumber;
    for (const HdLane& lane : link->vcthlLane) {
      if (lane.vctvdGeoLink.empty()) continue;
      LaneEndpointExt e;
      static_cast<LaneEndpoint&>(e) = LaneEndpointOf(*link, lane);
      e.ptEnd = LastVertex(lane.vctvdGeoLink);
      e.dLinkLength = link->dLength;
      e.ptStart = FirstVertex(lane.vctvdGeoLink);
      e.nLaneSeqNum = lane.nSeqNum;
      e.bCanLeft = CanCrossLeft(link, lane);
      e.bCanRight = CanCrossRight(link, lane);
      e.vctliNxtLanes = lane.vctliNxtLaneId;
      lanesByNumber[e.nLaneSeqNum] = e;
    }
    GenPreRLanes(laneId, link, lanesByNumber, out);
  }
}

void HdLib::GenCrossable(const HdLink* link, std::map<int, const HdLane*>& lanesByNumber,
                         std::vector<std::vector<int>>& rightGroups, std::vector<std::vector<int>>& leftGroups) {
  if (link == nullptr) return;
  for (const HdLane& lane : link->vcthlLane) lanesByNumber[lane.nSeqNum] = &lane;
  // The two signs are the two directions of the link: a group never mixes them.
  const auto appendGroups = [](const std::vector<int>& negative, const std::vector<int>& nonNegative,
                               std::vector<std::vector<int>>& groups) {
    if (!negative.empty()) groups.push_back(negative);
    if (!nonNegative.empty()) groups.push_back(nonNegative);
  };
  std::vector<int> negative, nonNegative;
  for (const auto& [number, lane] : lanesByNumber) {
    if (CanCrossRight(link, *lane)) (number < 0 ? negative : nonNegative).push_back(number);
  }
  appendGroups(negative, nonNegative, rightGroups);
  negative.clear();
  nonNegative.clear();
  for (auto it = lanesByNumber.rbegin(); it != lanesByNumber.rend(); ++it) {
    if (CanCrossLeft(link, *it->second)) (it->first < 0 ? negative : nonNegative).push_back(it->first);
  }
  appendGroups(negative, nonNegative, leftGroups);
}

void HdLib::GenPreRLanes(HdLaneId laneId, const HdLink* link, const std::map<int, LaneEndpointExt>& lanesByNumber,
                         std::vector<LaneEndpoint>& out) {
  // Only the moves into a lane that leads into laneId are handed out, so only those are kept,
  // in the order they are found.
  const long wanted = laneId;
  std::vector<LaneEndpoint> candidates;
  const auto leadsIn = [wanted](const LaneEndpointExt& lane) {
    return static_cast<long>(
        std::count_if(lane.vctliNxtLanes.begin(), lane.vctliNxtLanes.end(),
                      [wanted](const HdLaneId& id) { return static_cast<long>(id) == wanted; }));
  };
  std::map<int, long> leads;  // per lane number, how often its lane lists laneId
  for (const auto& entry : lanesByNumber) {
    const long n = leadsIn(entry.second);
    leads[entry.first] = n;
    for (long k = n; k > 0; --k) candidates.push_back(entry.second);
  }

  std::map<int, const HdLane*> lanes;
  std::vector<std::vector<int>> rightGroups, leftGroups;
  GenCrossable(link, lanes, rightGroups, leftGroups);
  // 64-bit counters: a group ending at INT_MAX (or starting at INT_MIN) must not wrap.
  const auto has = [&lanesByNumber](long long number) {
    return lanesByNumber.count(static_cast<int>(number)) != 0;
  };
  const auto move = [&](long long i, long long j) {
    const long n = leads.at(static_cast<int>(j));
    if (n == 0) return;
    const LaneEndpointExt& from = lanesByNumber.at(static_cast<int>(i));
    const LaneEndpointExt& to = lanesByNumber.at(static_cast<int>(j));
    LaneEndpoint e;
    e.ptEnd = to.ptEnd;
    e.liLinkId = to.liLinkId;
    e.liLaneId = to.liLaneId;
    e.nFromSeqNum = from.nFromSeqNum;
    e.nToSeqNum = to.nToSeqNum;
    e.dLinkLength = from.dLinkLength;
    for (long k = n; k > 0; --k) candidates.push_back(e);
  };
  for (std::vector<int> group : rightGroups) {
    std::sort(group.begin(), group.end());
    const long long lo = group.front(), hi = group.back();
    for (long long i = lo; i <= hi && has(i); ++i) {
      for (long long j = i + 1; j <= hi && has(j); ++j) move(i, j);
    }
  }
  for (std::vector<int> group : leftGroups) {
    std::sort(group.begin(), group.end());
    const long long lo = group.front(), hi = group.back();
    for (long long i = hi; i >= lo && has(i); --i) {
      for (long long j = i - 1; j >= lo && has(j); --j) move(i, j);
    }
  }
  for (const LaneEndpoint& e : candidates) {
    if (PassesLaneChangeRule(e)) out.push_back(e);
  }
}

// ---- endpoint graph: searches near a position -------------------------------------------------------

namespace {

// Whether the strip between the first lane's left edge and the last lane's right edge holds p.
// The left line is walked backwards when the two lines start farther apart than the road is wide
// plus 2 m (4 m per lane when the first lane has no width).
bool RoadAreaHolds(const Point& p, const HdLink& link) {
  if (link.vcthlLane.empty()) return false;
  const HdEdge* left = EdgeById(&link, link.vcthlLane.front().lLeftEdgeId);
  const HdEdge* right = EdgeById(&link, link.vcthlLane.back().lRightEdgeId);
  if (left == nullptr || right == nullptr || left->vctvdGeoLink.empty() || right->vctvdGeoLink.empty())
    return false;
  const double d = TupleDis(left->vctvdGeoLink.front(), right->vctvdGeoLink.front());
  const long long lanes = static_cast<long long>(link.vcthlLane.size());
  const long long width = link.vcthlLane.front().nWidth;
  const long long limit = width != 0 ? width * lanes + 2000 : lanes * 4000;
  const bool reversed = (100.0 * d) * 10.0 > static_cast<double>(limit);
  return HdLibMath::IsInRecArea(p, left->vctvdGeoLink, right->vctvdGeoLink, reversed);
}

// The vertex of the geometry nearest to p and its distance ((0, 0, 0) and DBL_MAX without one).
void NearestVertex(const Point& p, const GeoLink& geo, Point& vertex, double& dis) {
  int index = 0;
  HdLibMath::GetNearestPointFromArray(p, geo, vertex, dis, index);
}

// The perpendicular distance from p to the link's edge of that id; DBL_MAX without it.
double EdgeDistance(const Point& p, const HdLink& link, long edgeId) {
  const HdEdge* edge = EdgeById(&link, edgeId);
  if (edge == nullptr) return DBL_MAX;
  Point foot;
  double distance = DBL_MAX;
  HdLibMath::GetPerpendicularFoot(p, edge->vctvdGeoLink, foot, distance);
  return distance;
}

}  // namespace

bool HdLib::GetLocateEndpoints(const Point& p, float w, float h, std::vector<LinkEndpoint>& out) const {
  std::vector<const HdLink*> nearby;
  if (!GetDataNearby(p, w, h, nearby, GetDataNearby_param{}, true)) return false;
  for (const HdLink* link : nearby) {
    if (RoadAreaHolds(p, *link)) out.push_back(LinkEndpointOf(*link, LastVertex(link->vctvdGeoLink)));
  }
  return !out.empty();
}

bool HdLib::GetLocateEndpoints(const Point& p, float w, float h, std::vector<LaneEndpoint>& out) const {
  std::vector<const HdLink*> nearby;
  if (!GetDataNearby(p, w, h, nearby, GetDataNearby_param{}, true)) return false;
  for (const HdLink* link : nearby) {
    for (const HdLane& lane : link->vcthlLane) {
      if (IsPointInLane(p, link, lane)) out.push_back(LaneEndpointOf(*link, lane));
    }
  }
  return !out.empty();
}

namespace {

// What the two kinds of search measure and hand out: a link by its own line, or each lane of it by
// the lane's line. ForEachPart calls f(k, line) for every part k of the link; Fill writes the fields
// a search sets in the endpoint of part k, and no other.
struct WholeLinks {
  using Endpoint = LinkEndpoint;
  template <class F>
  static void ForEachPart(const HdLink& link, F&& f) {
    f(std::size_t{0}, link.vctvdGeoLink);
  }
  static void Fill(const HdLink& link, std::size_t /*k*/, LinkEndpoint& e) {
    e.ptEnd = LastVertex(link.vctvdGeoLink);
    e.liLinkId = link.liId;
    e.dLinkLength = link.dLength;
  }
};

struct EachLane {
  using Endpoint = LaneEndpoint;
  template <class F>
  static void ForEachPart(const HdLink& link, F&& f) {
    for (std::size_t k = 0; k < link.vcthlLane.size(); ++k) f(k, link.vcthlLane[k].vctvdGeoLink);
  }
  static void Fill(const HdLink& link, std::size_t k, LaneEndpoint& e) {
    const HdLane& lane = link.vcthlLane[k];
    e.ptEnd = LastVertex(lane.vctvdGeoLink);  // whatever the lane's direction
    e.liLinkId = link.liId;
    e.liLaneId = lane.liId;
    e.nFromSeqNum = lane.nSeqNum;
    e.nToSeqNum = lane.nSeqNum;
    e.dLinkLength = link.dLength;
  }
};

// One candidate of GetNearEndpoints: the part's link and its position in it (0 for a whole link),
// its vertex nearest to p and that distance.
struct MidResult {
  int nLinkIndex = -1;
  int nLaneIndex = -1;
  double dDis = -1.0;
  Point ptFoot;
};

// Every part of the nearby links, nearest first (equal distances in no defined order); false,
// the lists unchanged, when the links have no part.
template <class Parts>
bool NearEndpoints(const Point& p, const std::vector<const HdLink*>& nearby, std::vector<Point>& feet,
                   std::vector<typename Parts::Endpoint>& endpoints, std::vector<double>& distances) {
  std::vector<MidResult> candidates;
  for (std::size_t i = 0; i < nearby.size(); ++i) {
    Parts::ForEachPart(*nearby[i], [&](std::size_t k, const GeoLink& line) {
      MidResult c;
      c.nLinkIndex = static_cast<int>(i);
      c.nLaneIndex = static_cast<int>(k);
      NearestVertex(p, line, c.ptFoot, c.dDis);
      candidates.push_back(c);
    });
  }
  if (candidates.empty()) return false;
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const MidResult& a, const MidResult& b) { return a.dDis < b.dDis; });
  for (const MidResult& c : candidates) {
    typename Parts::Endpoint e;
    Parts::Fill(*nearby[static_cast<std::size_t>(c.nLinkIndex)], static_cast<std::size_t>(c.nLaneIndex), e);
    feet.push_back(c.ptFoot);
    endpoints.push_back(e);
    distances.push_back(c.dDis);
  }
  return true;
}

// The part of the nearby links whose vertex lies nearest to p, the first in link and part order
// of equal distances; a part without vertices is never chosen. False, the outputs unchanged,
// when there is none; otherwise only the fields Fill sets change in endpoint.
template <class Parts>
bool NearestEndpoint(const Point& p, const std::vector<const HdLink*>& nearby, Point& foot,
                     typename Parts::Endpoint& endpoint, double& distance) {
  const HdLink* bestLink = nullptr;
  std::size_t bestPart = 0;
  double bestDis = DBL_MAX;
  Point bestVertex;
  for (const HdLink* link : nearby) {
    Parts::ForEachPart(*link, [&](std::size_t k, const GeoLink& line) {
      Point vertex;
      double dis = DBL_MAX;
      NearestVertex(p, line, vertex, dis);
      if (bestDis > dis) {
        bestLink = link;
        bestPart = k;
        bestDis = dis;
        bestVertex = vertex;
      }
    });
  }
  if (bestLink == nullptr) return false;
  foot = bestVertex;
  Parts::Fill(*bestLink, bestPart, endpoint);
  distance = bestDis;
  return true;
}

}  // namespace

bool HdLib::GetNearEndpoints(const Point& p, float w, float h, std::vector<Point>& feet,
                             std::vector<LinkEndpoint>& endpoints, std::vector<double>& distances) const {
  std::vector<const HdLink*> nearby;
  if (!GetDataNearby(p, w, h, nearby, GetDataNearby_param{}, true)) return false;
  return NearEndpoints<WholeLinks>(p, nearby, feet, endpoints, distances);
}

bool HdLib::GetNearEndpoints(const Point& p, float w, float h, std::vector<Point>& feet,
                             std::vector<LaneEndpoint>& endpoints, std::vector<double>& distances) const {
  std::vector<const HdLink*> nearby;
  if (!GetDataNearby(p, w, h, nearby, GetDataNearby_param{}, true)) return false;
  return NearEndpoints<EachLane>(p, nearby, feet, endpoints, distances);
}

bool HdLib::GetNearestEndpoint(const Point& p, float w, float h, Point& foot, LinkEndpoint& endpoint,
                               double& distance) const {
  std::vector<const HdLink*> nearby;
  if (!GetDataNearby(p, w, h, nearby, GetDataNearby_param{}, true)) return false;
  return NearestEndpoint<WholeLinks>(p, nearby, foot, endpoint, distance);
}

bool HdLib::GetNearestEndpoint(const Point& p, float w, float h, Point& foot, LaneEndpoint& endpoint,
                               double& distance) const {
  std::vector<const HdLink*> nearby;
  if (!GetDataNearby(p, w, h, nearby, GetDataNearby_param{}, true)) return false;
  return NearestEndpoint<EachLane>(p, nearby, foot, endpoint, distance);
}

// ---- endpoint graph: the endpoint's link ---------------------------------------------------------------

int HdLib::GetLinkSpeedLimit(const LaneEndpoint& endpoint) const {
  const HdLink* link = GetLinkData(endpoint.liLinkId);
  return link == nullptr ? -1 : link->nSpeedLimit;
}

bool HdLib::HasStopLine(const LaneEndpoint& endpoint) const {
  constexpr int sc_nEdgeType_StopLine = 7;
  const HdLink* link = GetLinkData(endpoint.liLinkId);
  if (link == nullptr) return false;
  return std::any_of(link->vctheEdge.begin(), link->vctheEdge.end(),
                     [](const HdEdge& edge) { return edge.nType == sc_nEdgeType_StopLine; });
}

bool HdLib::GetGeoLink(const LaneEndpoint& endpoint, GeoLink& geometry, bool load) const {
  if (load) {
    if (HdWorld* store = Store()) {
      // Both half-sizes are the longitude interval, in degrees, taken as metres.
      const float half = static_cast<float>(MapConfig::tile_lon_interval);
      store->LoadTileInRect(P2R(endpoint.ptEnd, half, half));
    }
  }
  const HdLink* link = GetLinkData(endpoint.liLinkId);
  const HdLane* from = LaneAt(link, endpoint.nFromSeqNum);
  const HdLane* to = LaneAt(link, endpoint.nToSeqNum);
  if (from == nullptr || to == nullptr) return false;
  if (endpoint.nFromSeqNum == endpoint.nToSeqNum) {
    geometry = to->vctvdGeoLink;
    return true;
  }
  if (from->vctvdGeoLink.empty() || to->vctvdGeoLink.empty()) return false;
  geometry.push_back(from->vctvdGeoLink.front());
  geometry.push_back(to->vctvdGeoLink.back());
  return true;
}

bool HdLib::GetGeoLink(const HdLinkId& id, GeoLink& geometry) const {
  return CopyOut(GetLinkData(id), &HdLink::vctvdGeoLink, geometry);
}

double HdLib::GetDistanceToLeftEdge(const LaneEndpoint& endpoint, const Point& p) const {
  const HdLink* link = GetLinkData(endpoint.liLinkId);
  if (link == nullptr) return -1.0;
  if (link->vcthlLane.empty()) return DBL_MAX;
  return EdgeDistance(p, *link, link->vcthlLane.front().lLeftEdgeId);
}

double HdLib::GetDistanceToRightEdge(const LaneEndpoint& endpoint, const Point& p) const {
  const HdLink* link = GetLinkData(endpoint.liLinkId);
  if (link == nullptr) return -1.0;
  if (link->vcthlLane.empty()) return DBL_MAX;
  return EdgeDistance(p, *link, link->vcthlLane.back().lRightEdgeId);
}

}  // namespace ql
