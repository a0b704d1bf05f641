// The endpoint graph of HdLib: the lane-change rule, the next and previous walks with the
// lane-level reasoning under them, the endpoint searches near a position and what they read of
// an endpoint's link.

#include <algorithm>
#include <cfloat>
#include <cstddef>
#include <functional>
#include <iomanip>
#include <iostream>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "Console.h"
#include "Errors.h"
#include "HdLib.h"
#include "HdLibMath.h"
#include "LinkLimits.h"
#include "MapConfig.h"
#include "MapTypes.h"
#include "MemoryLimit.h"
#include "World.h"
#include "internal/HdLinkParts.h"

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

  // Whether a vehicle in lane `from` can reach lane `to` inside the link by crossing lane edges.
  bool Reachable(long from, long to) const {
    if (m_pLink == nullptr) return false;
    const long a = PositionOf(from);
    const long b = PositionOf(to);
    return a >= 0 && b >= 0 && ReachableAt(a, b);
  }

  // Reachable between the last lanes of two ids, at positions a and b: the lanes of opposite sign
  // refused as the 32-bit quotient of their numbers says; then every lane from a towards b (b
  // excluded) crossable on the side the move goes. Positive lanes: towards the back of vcthlLane
  // is rightwards; negative lanes mirror it.
  bool ReachableAt(long a, long b) const {
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

  // The position of the last lane with that id; -1 when the link has none.
  long PositionOf(long laneId) const {
    if (m_pLink == nullptr) return -1;
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

  // The positions whose lanes a lane at position a (the last of its id) may reach: b outside
  // [first, second] lies beyond an edge that cannot be crossed, so ReachableAt(a, b) is false.
  // Where lane ids repeat, a position's lane is reached through the last lane of its id, which may
  // lie elsewhere: then every position is named.
  std::pair<std::size_t, std::size_t> Span(long a) const {
    const std::size_t n = m_pLink->vcthlLane.size();
    if (!m_bTables || m_positions.size() != n) return {0, n - 1};
    const std::size_t at = static_cast<std::size_t>(a);
    const int s = m_pLink->vcthlLane[at].nSeqNum;
    if (s == 0) return {at, at};
    // Towards the back of vcthlLane a positive lane crosses right edges, a negative one left edges.
    const auto passes = [this](std::size_t k, bool right) {
      return right ? m_crossable[k + 1].right != m_crossable[k].right
                   : m_crossable[k + 1].left != m_crossable[k].left;
    };
    std::size_t hi = at;
    while (hi + 1 < n && passes(hi, s > 0)) ++hi;
    std::size_t lo = at;
    while (lo > 0 && passes(lo, s < 0)) --lo;
    return {lo, hi};
  }

  // The position of the last lane sharing the id of the lane at position k.
  long LastOf(std::size_t k) const {
    if (m_bTables && m_positions.size() == m_pLink->vcthlLane.size()) return static_cast<long>(k);  // ids unique
    return PositionOf(m_pLink->vcthlLane[k].liId);
  }

  // Links of at most this many lanes are scanned rather than tabled.
  static constexpr std::size_t kScanned = 8;

 private:
  const HdLink* m_pLink;
  bool m_bTables = false;  // false: the link is scanned at each question
  struct Crossable {
    std::size_t left = 0, right = 0;
  };
  std::vector<std::pair<long, long>> m_positions;  // (lane id, its last position), by id
  std::vector<Crossable> m_crossable;              // lanes among positions 0 to k - 1 crossable
};

// The lane-change rule on the two lane numbers of a move through a link of that length.
bool PassesLaneChangeRule(int from, int to, double length) {
  LaneEndpoint e;
  e.nFromSeqNum = from;
  e.nToSeqNum = to;
  e.dLinkLength = length;
  return PassesLaneChangeRule(e);
}

// The most lane changes a move through a link of that length may make under the lane-change rule:
// -1 where none may be made at all (a NaN or negative length), kAnyChanges where no two lane
// numbers are too far apart (they differ by less than 2^32).
constexpr long long kAnyChanges = std::numeric_limits<long long>::max();
long long MaxLaneChanges(double length) {
  if (!(length >= 0.0)) return -1;
  if (length >= 1e12) return kAnyChanges;
  long long c = static_cast<long long>(length / 10.0);
  while (c > 0 && !(length >= static_cast<double>(c * 10))) --c;  // as the rule compares
  while (length >= static_cast<double>((c + 1) * 10)) ++c;
  return c;
}

// What an endpoint holds on the heap besides its record: its link id's tile list.
std::size_t TileListBytes(const HdLinkId& id) {
  const std::size_t tiles = id.vcttiTileIds.size();
  return tiles == 0 ? 0 : MemoryLimit::Block(tiles * sizeof(TileId));
}

// Counts an answer before any of it is built, and refuses one larger than a call may hand out.
class AnswerSize {
 public:
  void Add(std::size_t count, std::size_t bytesEach) {
    m_count += count;
    m_bytes += count * bytesEach;
  }
  std::size_t Count() const { return m_count; }
  bool Within() const { return m_bytes <= sc_nMaxEndpointAnswerBytes; }
  // Raises EndpointAnswerError, naming the call as call() says, for an answer over the limit.
  template <class Call>
  void Check(const Call& call) const {
    if (m_bytes > sc_nMaxEndpointAnswerBytes)
      throw EndpointAnswerError(call(), m_count, m_bytes, sc_nMaxEndpointAnswerBytes);
  }

 private:
  std::size_t m_count = 0;
  std::size_t m_bytes = 0;
};

std::string SearchName(const char* search, const Point& p) {
  std::ostringstream name;
  name << std::setprecision(12) << search << " at longitude " << p.dLon << ", latitude " << p.dLat;
  return name.str();
}

std::string WalkName(const char* walk, const LaneEndpoint& endpoint) {
  return std::string(walk) + " from link " + std::to_string(endpoint.liLinkId.lValue) + ", lane " +
         std::to_string(static_cast<long>(endpoint.liLaneId));
}

// Calls visit(a, b) for every move through the link `next` from a continuing lane a, in the order
// given, to a lane b in stored order that a can reach, where the link is long enough for it. Of the
// lanes between the edges a cannot cross and the lanes whose numbers the link's length admits, the
// fewer are tried; a length that admits no move (NaN or negative) tries none.
template <class Visit>
void ForEachNextMove(const HdLink& next, const std::vector<const HdLane*>& from, Visit&& visit) {
  const long long changes = MaxLaneChanges(next.dLength);
  if (changes < 0) return;
  const LaneReach reach(&next);
  const std::vector<HdLane>& lanes = next.vcthlLane;
  // The lanes by number (then position), where the length limits the numbers a move may reach.
  // (Only links of many lanes allocate them, and nothing is kept from call to call.)
  std::vector<std::pair<long long, std::size_t>> byNumber;
  std::vector<std::size_t> picked;
  if (changes != kAnyChanges && lanes.size() > LaneReach::kScanned) {
    for (std::size_t k = 0; k < lanes.size(); ++k) byNumber.emplace_back(lanes[k].nSeqNum, k);
    std::sort(byNumber.begin(), byNumber.end());
  }
  std::size_t tried = 0;
  for (const HdLane* a : from) {
    const long at = reach.PositionOf(a->liId);
    if (at < 0) continue;
    const auto [lo, hi] = reach.Span(at);
    const auto test = [&](std::size_t k) {
      const HdLane& b = lanes[k];
      if (reach.ReachableAt(at, reach.LastOf(k)) && PassesLaneChangeRule(a->nSeqNum, b.nSeqNum, next.dLength)) {
        visit(*a, b);
      }
    };
    if (!byNumber.empty()) {
      const long long s = a->nSeqNum;
      const auto first =
          std::lower_bound(byNumber.begin(), byNumber.end(), std::make_pair(s - changes, std::size_t{0}));
      const auto last = std::upper_bound(byNumber.begin(), byNumber.end(),
                                         std::make_pair(s + changes, std::numeric_limits<std::size_t>::max()));
      if (static_cast<std::size_t>(last - first) < hi - lo + 1) {
        tried += static_cast<std::size_t>(last - first);
        picked.clear();
        for (auto it = first; it != last; ++it) {
          if (it->second >= lo && it->second <= hi) picked.push_back(it->second);
        }
        std::sort(picked.begin(), picked.end());  // stored order
        for (const std::size_t k : picked) test(k);
        continue;
      }
    }
    tried += hi - lo + 1;
    for (std::size_t k = lo; k <= hi; ++k) test(k);
  }
  WalkSteps() += tried;
}

// Hashes what a forward walk has handled: a listed id's value with the record it found.
struct ListingHash {
  std::size_t operator()(const std::pair<long, const HdLink*>& x) const {
    return std::hash<long>()(x.first) * 31u ^ std::hash<const HdLink*>()(x.second);
  }
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
  std::unordered_set<std::pair<long, const HdLink*>, ListingHash> handled;
  std::size_t read = link->vctliNxtLinkId.size();
  for (const HdLinkId& nextId : link->vctliNxtLinkId) {
    const HdLink* next = GetLinkData(nextId);
    if (next == nullptr || !handled.emplace(nextId.lValue, next).second) continue;
    for (const HdLane& lane : next->vcthlLane) {
      read += 1 + lane.vctliPreLaneId.size();
      if (Lists(lane.vctliPreLaneId, laneId)) continuing[nextId].push_back(&lane);
    }
  }
  WalkSteps() += read;
  if (continuing.empty()) return false;
  // Each successor as the walk reads it: looked up again by the id under which its lanes were
  // collected (null: not loaded), with those lanes by descending id, once each (of lanes sharing
  // an id, the first collected).
  std::vector<const HdLink*> nexts;
  nexts.reserve(continuing.size());
  for (auto& [nextId, lanes] : continuing) {
    std::stable_sort(lanes.begin(), lanes.end(), [](const HdLane* x, const HdLane* y) {
      return static_cast<long>(x->liId) > static_cast<long>(y->liId);
    });
    lanes.erase(std::unique(lanes.begin(), lanes.end(),
                            [](const HdLane* x, const HdLane* y) {
                              return static_cast<long>(x->liId) == static_cast<long>(y->liId);
                            }),
                lanes.end());
    nexts.push_back(GetLinkData(nextId));
  }

  // An answer too large to hand out is refused before any of it is built: counted first, unless
  // every continuing lane reaching every lane of its link would still be within the budget.
  AnswerSize bound;
  std::size_t i = 0;
  for (const auto& [nextId, lanes] : continuing) {
    if (const HdLink* next = nexts[i++]) {
      bound.Add(lanes.size() * next->vcthlLane.size(), sizeof(LaneEndpoint) + TileListBytes(nextId));
    }
  }
  if (!bound.Within()) {
    AnswerSize size;
    i = 0;
    for (const auto& [nextId, lanes] : continuing) {
      if (const HdLink* next = nexts[i++]) {
        std::size_t moves = 0;
        ForEachNextMove(*next, lanes, [&moves](const HdLane&, const HdLane&) { ++moves; });
        size.Add(moves, sizeof(LaneEndpoint) + TileListBytes(nextId));
      }
    }
    size.Check([&] { return WalkName("GetNextLaneEndpoints", endpoint); });
    out.reserve(out.size() + size.Count());
  }

  bool printed = false;
  i = 0;
  for (const auto& entry : continuing) {
    const HdLinkId& nextId = entry.first;  // named, not bound: a lambda below reads it
    const HdLink* next = nexts[i++];
    if (next == nullptr) continue;
    ForEachNextMove(*next, entry.second, [&](const HdLane& from, const HdLane& to) {
      LaneEndpoint e;
      if (to.nDirection == 2) {
        e.ptEnd = LastVertex(to.vctvdGeoLink);
      } else if (to.nDirection == 3) {
        e.ptEnd = FirstVertex(to.vctvdGeoLink);
      } else {
        // Reported for the moves handed out: a move the lane-change rule drops reads no end.
        if (!printed) BeforeConsoleOutput();
        printed = true;
        std::cout << "=====ERROR=====lane" << static_cast<long>(to.liId) << "方向需要特殊处理" << '\n';
      }
      e.liLinkId = nextId;
      e.liLaneId = to.liId;
      e.nFromSeqNum = from.nSeqNum;
      e.nToSeqNum = to.nSeqNum;
      e.dLinkLength = next->dLength;
      out.push_back(e);
    });
  }
  if (printed) std::cout.flush();
  return true;
}

bool HdLib::GetPreEndpoints(const LaneEndpoint& endpoint, std::vector<LaneEndpoint>& out) const {
  const HdLink* link = GetLinkData(endpoint.liLinkId);
  if (link == nullptr) return false;
  const long laneId = endpoint.liLaneId;
  // A predecessor qualifies once: listed again, or through more of its lanes' entries, it would
  // only be listed again, and the sort below keeps one of each id.
  std::optional<LaneReach> reach;  // worked out when first asked
  long target = -1;                // the endpoint's lane's position in its link
  std::vector<const HdLink*> qualifying;
  std::unordered_set<const HdLink*> handled;
  std::size_t read = link->vctliPreLinkId.size();
  for (const HdLinkId& preId : link->vctliPreLinkId) {
    const HdLink* pre = GetLinkData(preId);
    if (pre == nullptr || !handled.insert(pre).second) continue;
    const bool leadsIn = std::any_of(pre->vcthlLane.begin(), pre->vcthlLane.end(), [&](const HdLane& lane) {
      ++read;
      return std::any_of(lane.vctliNxtLaneId.begin(), lane.vctliNxtLaneId.end(), [&](const HdLaneId& nxt) {
        ++read;
        if (static_cast<long>(nxt) == laneId) return true;
        if (!reach) {
          reach.emplace(link);
          target = reach->PositionOf(laneId);
        }
        if (target < 0) return false;
        const long from = reach->PositionOf(nxt);
        return from >= 0 && reach->ReachableAt(from, target);
      });
    });
    if (leadsIn) qualifying.push_back(pre);
  }
  WalkSteps() += read;
  SortOncePerId(qualifying);
  if (qualifying.empty()) return false;
  GenPreEndpoints(endpoint.liLaneId, qualifying, out);
  return true;
}

namespace {

// GenPreEndpoints' records of one predecessor link: its lanes with geometry by lane number.
std::map<int, HdLib::LaneEndpointExt> LanesByNumber(const HdLink& link) {
  std::map<int, HdLib::LaneEndpointExt> lanesByNumber;
  for (const HdLane& lane : link.vcthlLane) {
    if (lane.vctvdGeoLink.empty()) continue;
    HdLib::LaneEndpointExt e;
    static_cast<LaneEndpoint&>(e) = LaneEndpointOf(link, lane);
    e.ptEnd = LastVertex(lane.vctvdGeoLink);
    e.dLinkLength = link.dLength;
    e.ptStart = FirstVertex(lane.vctvdGeoLink);
    e.nLaneSeqNum = lane.nSeqNum;
    e.bCanLeft = CanCrossLeft(&link, lane);
    e.bCanRight = CanCrossRight(&link, lane);
    e.vctliNxtLanes = lane.vctliNxtLaneId;
    lanesByNumber[e.nLaneSeqNum] = e;
  }
  return lanesByNumber;
}

// Calls visit(from, to, n) for every move of GenPreRLanes in its order that passes the lane-change
// rule: from the record `from` (null for a direct move, which is `to`'s own endpoint) to the record
// `to`, n the copies of it handed out (once per listing of laneId in to's successors). A group's
// pairs are tried only where they end in a lane leading into laneId and the length admits them,
// and none start in a lane whose length admits no move.
template <class Visit>
void ForEachPreMove(long laneId, const HdLink* link, const std::map<int, HdLib::LaneEndpointExt>& lanesByNumber,
                    Visit&& visit) {
  // The records in number order, with how often each lists laneId; and those that list it.
  struct Record {
    long long number;
    const HdLib::LaneEndpointExt* ext;
    std::size_t leads;
  };
  std::vector<Record> records;
  std::vector<std::size_t> leading;  // positions in records, ascending
  records.reserve(lanesByNumber.size());
  std::size_t tried = 0;
  for (const auto& [number, ext] : lanesByNumber) {
    tried += 1 + ext.vctliNxtLanes.size();
    const auto n = static_cast<std::size_t>(
        std::count_if(ext.vctliNxtLanes.begin(), ext.vctliNxtLanes.end(),
                      [laneId](const HdLaneId& id) { return static_cast<long>(id) == laneId; }));
    if (n > 0) leading.push_back(records.size());
    records.push_back(Record{number, &ext, n});
  }
  for (const std::size_t j : leading) {
    const HdLib::LaneEndpointExt& direct = *records[j].ext;
    if (PassesLaneChangeRule(direct)) visit(nullptr, direct, records[j].leads);
  }
  if (leading.empty()) {
    WalkSteps() += tried;
    return;
  }

  const auto move = [&](std::size_t i, std::size_t j) {
    ++tried;
    const HdLib::LaneEndpointExt& from = *records[i].ext;
    const HdLib::LaneEndpointExt& to = *records[j].ext;
    if (PassesLaneChangeRule(from.nFromSeqNum, to.nToSeqNum, from.dLinkLength)) visit(&from, to, records[j].leads);
  };
  // Where every record's numbers are its key (as GenPreEndpoints makes them), a move from i to j
  // changes lanes as often as their positions in a run differ, and the length of i's link bounds
  // that: the pairs beyond are not tried.
  const bool numbered = std::all_of(records.begin(), records.end(), [](const Record& r) {
    return r.ext->nFromSeqNum == r.number && r.ext->nToSeqNum == r.number;
  });
  const auto reach = [&](std::size_t i) {
    const long long changes = numbered ? MaxLaneChanges(records[i].ext->dLinkLength) : kAnyChanges;
    if (changes < 0) return std::size_t{0};
    return changes >= static_cast<long long>(records.size()) ? records.size() : static_cast<std::size_t>(changes);
  };
  // The position in records of that number; records.size() when no record has it.
  const auto find = [&records](long long number) {
    const auto at = std::lower_bound(records.begin(), records.end(), number,
                                     [](const Record& r, long long x) { return r.number < x; });
    return at != records.end() && at->number == number ? static_cast<std::size_t>(at - records.begin())
                                                       : records.size();
  };
  // A record whose length is NaN or negative starts no move at all.
  const auto starts = [&records](std::size_t i) { return records[i].ext->dLinkLength >= 0.0; };

  std::map<int, const HdLane*> lanes;
  std::vector<std::vector<int>> rightGroups, leftGroups;
  HdLib::GenCrossable(link, lanes, rightGroups, leftGroups);
  // A group's moves run over the numbers from its smallest upwards (rightwards) or its largest
  // downwards (leftwards) while each is a record's: records [first, last] in number order. 64-bit
  // numbers: a group ending at INT_MAX (or starting at INT_MIN) must not wrap.
  for (std::vector<int> group : rightGroups) {
    std::sort(group.begin(), group.end());
    const std::size_t first = find(group.front());
    if (first == records.size()) continue;
    std::size_t last = first;
    while (last + 1 < records.size() && records[last + 1].number == records[last].number + 1 &&
           records[last + 1].number <= group.back()) {
      ++last;
    }
    for (std::size_t i = first; i <= last; ++i) {
      ++tried;
      if (!starts(i)) continue;
      const std::size_t end = std::min(last, i + reach(i));
      for (auto j = std::upper_bound(leading.begin(), leading.end(), i); j != leading.end() && *j <= end; ++j) {
        move(i, *j);
      }
    }
  }
  for (std::vector<int> group : leftGroups) {
    std::sort(group.begin(), group.end());
    const std::size_t last = find(group.back());
    if (last == records.size()) continue;
    std::size_t first = last;
    while (first > 0 && records[first - 1].number == records[first].number - 1 &&
           records[first - 1].number >= group.front()) {
      --first;
    }
    for (std::size_t i = last + 1; i-- > first;) {
      ++tried;
      if (!starts(i)) continue;
      // The leading records below i and not below first, descending.
      const std::size_t stop = i - std::min(i - first, reach(i));
      auto j = std::lower_bound(leading.begin(), leading.end(), i);
      while (j != leading.begin() && *(j - 1) >= stop) {
        --j;
        move(i, *j);
      }
    }
  }
  WalkSteps() += tried;
}

// The size of the moves GenPreRLanes hands out for that link.
void CountPreMoves(long laneId, const HdLink* link, const std::map<int, HdLib::LaneEndpointExt>& lanesByNumber,
                   AnswerSize& size) {
  ForEachPreMove(laneId, link, lanesByNumber,
                 [&size](const HdLib::LaneEndpointExt*, const HdLib::LaneEndpointExt& to, std::size_t copies) {
                   size.Add(copies, sizeof(LaneEndpoint) + TileListBytes(to.liLinkId));
                 });
}

void AppendPreMoves(long laneId, const HdLink* link, const std::map<int, HdLib::LaneEndpointExt>& lanesByNumber,
                    std::vector<LaneEndpoint>& out) {
  ForEachPreMove(laneId, link, lanesByNumber,
                 [&out](const HdLib::LaneEndpointExt* from, const HdLib::LaneEndpointExt& to, std::size_t copies) {
                   // A direct move is the record's own endpoint; a lane change takes the end from
                   // the record it ends in and the start and length from the one it starts in.
                   if (from == nullptr) {
                     for (std::size_t k = 0; k < copies; ++k) out.push_back(to);
                   } else {
                     LaneEndpoint e;
                     e.ptEnd = to.ptEnd;
                     e.liLinkId = to.liLinkId;
                     e.liLaneId = to.liLaneId;
                     e.nFromSeqNum = from->nFromSeqNum;
                     e.nToSeqNum = to.nToSeqNum;
                     e.dLinkLength = from->dLinkLength;
                     for (std::size_t k = 0; k < copies; ++k) out.push_back(e);
                   }
                 });
}

// How often the list names that lane.
std::size_t Listings(const std::vector<HdLaneId>& ids, long laneId) {
  return static_cast<std::size_t>(std::count_if(
      ids.begin(), ids.end(), [laneId](const HdLaneId& id) { return static_cast<long>(id) == laneId; }));
}

// The most moves into a link's lanes the predecessor walk can hand out, given how often its lanes
// list laneId (leads) and how many lanes it has: into a lane, its direct move and at most one move
// from every other lane of a rightward and of a leftward run, each once per listing; each move
// holding tileBytes of tile list at most.
void AddPreMovesBound(std::size_t leads, std::size_t lanes, std::size_t tileBytes, AnswerSize& bound) {
  if (lanes == 0) return;
  bound.Add(leads * (2 * lanes - 1), sizeof(LaneEndpoint) + tileBytes);
}

std::string PreWalkName(long laneId) { return "GetPreEndpoints into lane " + std::to_string(laneId); }

}  // namespace

void HdLib::GenPreEndpoints(HdLaneId laneId, const std::vector<const HdLink*>& links,
                            std::vector<LaneEndpoint>& out) {
  // Counted first, link by link, and refused before anything is built when too large; unless even
  // the most moves the lanes' listings allow would be within the budget.
  AnswerSize bound;
  for (const HdLink* link : links) {
    if (link == nullptr) continue;
    std::size_t leads = 0;
    for (const HdLane& lane : link->vcthlLane) leads += Listings(lane.vctliNxtLaneId, laneId);
    AddPreMovesBound(leads, link->vcthlLane.size(), TileListBytes(link->liId), bound);  // the records' id
  }
  if (!bound.Within()) {
    AnswerSize size;
    for (const HdLink* link : links) {
      if (link != nullptr) CountPreMoves(laneId, link, LanesByNumber(*link), size);
    }
    size.Check([&] { return PreWalkName(laneId); });
    out.reserve(out.size() + size.Count());
  }
  for (const HdLink* link : links) {
    if (link != nullptr) AppendPreMoves(laneId, link, LanesByNumber(*link), out);
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
  AnswerSize bound;
  std::size_t leads = 0;
  std::size_t tileBytes = 0;
  for (const auto& entry : lanesByNumber) {
    leads += Listings(entry.second.vctliNxtLanes, laneId);
    tileBytes = std::max(tileBytes, TileListBytes(entry.second.liLinkId));
  }
  AddPreMovesBound(leads, lanesByNumber.size(), tileBytes, bound);
  if (!bound.Within()) {
    AnswerSize size;
    CountPreMoves(laneId, link, lanesByNumber, size);
    size.Check([&] { return PreWalkName(laneId); });
    out.reserve(out.size() + size.Count());
  }
  AppendPreMoves(laneId, link, lanesByNumber, out);
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
  // The lanes of the request's lane search, over this box: each strip tested once per link.
  std::vector<std::pair<const HdLink*, std::size_t>> holding;
  if (!CollectLanesHolding(p, w, h, holding)) return false;
  AnswerSize size;
  for (const auto& [link, k] : holding) size.Add(1, sizeof(LaneEndpoint) + TileListBytes(link->liId));
  size.Check([&] { return SearchName("GetLocateEndpoints", p); });
  out.reserve(out.size() + size.Count());
  for (const auto& [link, k] : holding) out.push_back(LaneEndpointOf(*link, link->vcthlLane[k]));
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
  AnswerSize size;
  for (const MidResult& c : candidates) {
    const HdLink& link = *nearby[static_cast<std::size_t>(c.nLinkIndex)];
    size.Add(1, sizeof(Point) + sizeof(typename Parts::Endpoint) + sizeof(double) + TileListBytes(link.liId));
  }
  size.Check([&] { return SearchName("GetNearEndpoints", p); });
  feet.reserve(feet.size() + size.Count());
  endpoints.reserve(endpoints.size() + size.Count());
  distances.reserve(distances.size() + size.Count());
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
