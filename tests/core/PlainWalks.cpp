#include "PlainWalks.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>

#include "CoordSys.h"

namespace qlplain {

namespace {

using Ext = ql::HdLib::LaneEndpointExt;

bool PassesLeftTest(int cross) { return cross == 2 || cross == 3; }
bool PassesRightTest(int cross) { return cross == 2 || cross == 4; }

const std::vector<double>* FirstTuple(const std::vector<std::vector<double>>& geo) {
  return geo.empty() ? nullptr : &geo.front();
}
const std::vector<double>* LastTuple(const std::vector<std::vector<double>>& geo) {
  return geo.empty() ? nullptr : &geo.back();
}

// All three values of a vertex; (0, 0, 0) without one.
ql::Point PointOf(const std::vector<double>* tuple) {
  if (tuple == nullptr) return ql::Point();
  return ql::Point((*tuple)[0], (*tuple)[1], tuple->size() > 2 ? (*tuple)[2] : 0.0);
}

}  // namespace

int GetEdgeCross(const ql::HdLink& link, long edgeId) {
  for (const ql::HdEdge& edge : link.vctheEdge) {
    if (edge.lId == edgeId) return edge.nCross;
  }
  return -1;
}

bool PassesLaneChangeRule(const ql::LaneEndpoint& e) {
  const long long c = std::llabs(static_cast<long long>(e.nFromSeqNum) - e.nToSeqNum) * 10;
  return e.dLinkLength >= static_cast<double>(c);
}

bool IsReachable(const ql::HdLink& link, long from, long to) {
  const std::vector<ql::HdLane>& lanes = link.vcthlLane;
  long a = -1;
  long b = -1;
  for (std::size_t i = 0; i < lanes.size(); ++i) {
    if (static_cast<long>(lanes[i].liId) == from) a = static_cast<long>(i);
    if (static_cast<long>(lanes[i].liId) == to) b = static_cast<long>(i);
  }
  if (a == -1 || b == -1) return false;
  if (a == b) return true;
  const long long s = lanes[static_cast<std::size_t>(a)].nSeqNum;
  const long long t = lanes[static_cast<std::size_t>(b)].nSeqNum;
  if (t == 0) return false;
  if (s / t < 0) return false;
  const auto left = [&](long k) {
    return PassesLeftTest(GetEdgeCross(link, lanes[static_cast<std::size_t>(k)].lLeftEdgeId));
  };
  const auto right = [&](long k) {
    return PassesRightTest(GetEdgeCross(link, lanes[static_cast<std::size_t>(k)].lRightEdgeId));
  };
  if (s > 0) {
    if (a > b) {
      for (long k = a; k >= b + 1; --k) {
        if (!left(k)) return false;
      }
    } else {
      for (long k = a; k <= b - 1; ++k) {
        if (!right(k)) return false;
      }
    }
    return true;
  }
  if (s < 0) {
    if (a > b) {
      for (long k = a; k >= b + 1; --k) {
        if (!right(k)) return false;
      }
    } else {
      for (long k = a; k <= b - 1; ++k) {
        if (!left(k)) return false;
      }
    }
    return true;
  }
  return false;
}

void GenCrossable(const ql::HdLink& link, std::map<int, const ql::HdLane*>& lanesByNumber,
                  std::vector<std::vector<int>>& rightGroups, std::vector<std::vector<int>>& leftGroups) {
  for (const ql::HdLane& lane : link.vcthlLane) lanesByNumber[lane.nSeqNum] = &lane;
  std::vector<int> negative;
  std::vector<int> nonNegative;
  for (auto it = lanesByNumber.begin(); it != lanesByNumber.end(); ++it) {
    if (PassesRightTest(GetEdgeCross(link, it->second->lRightEdgeId))) {
      (it->first < 0 ? negative : nonNegative).push_back(it->first);
    }
  }
  if (!negative.empty()) rightGroups.push_back(negative);
  if (!nonNegative.empty()) rightGroups.push_back(nonNegative);
  negative.clear();
  nonNegative.clear();
  for (auto it = lanesByNumber.rbegin(); it != lanesByNumber.rend(); ++it) {
    if (PassesLeftTest(GetEdgeCross(link, it->second->lLeftEdgeId))) {
      (it->first < 0 ? negative : nonNegative).push_back(it->first);
    }
  }
  if (!negative.empty()) leftGroups.push_back(negative);
  if (!nonNegative.empty()) leftGroups.push_back(nonNegative);
}

void GenPreRLanes(long laneId, const ql::HdLink& link, const std::map<int, Ext>& m,
                  std::vector<ql::LaneEndpoint>& out) {
  // Direct moves.
  std::map<long, std::vector<ql::LaneEndpoint>> candidates;
  for (const auto& [k, record] : m) {
    for (const ql::HdLaneId& id : record.vctliNxtLanes) {
      candidates[static_cast<long>(id)].push_back(static_cast<const ql::LaneEndpoint&>(record));
    }
  }
  std::map<int, const ql::HdLane*> fresh;
  std::vector<std::vector<int>> rightGroups;
  std::vector<std::vector<int>> leftGroups;
  GenCrossable(link, fresh, rightGroups, leftGroups);
  const auto has = [&m](long long number) { return m.count(static_cast<int>(number)) != 0; };
  const auto move = [&](long long i, long long j) {
    const Ext& from = m.at(static_cast<int>(i));
    const Ext& to = m.at(static_cast<int>(j));
    ql::LaneEndpoint e;
    e.ptEnd = to.ptEnd;
    e.liLinkId = to.liLinkId;
    e.liLaneId = to.liLaneId;
    e.nFromSeqNum = from.nFromSeqNum;
    e.nToSeqNum = to.nToSeqNum;
    e.dLinkLength = from.dLinkLength;
    for (const ql::HdLaneId& id : to.vctliNxtLanes) candidates[static_cast<long>(id)].push_back(e);
  };
  // Rightward moves.
  for (const std::vector<int>& group : rightGroups) {
    std::vector<int> sorted = group;
    std::sort(sorted.begin(), sorted.end());
    const long long lo = sorted.front();
    const long long hi = sorted.back();
    for (long long i = lo; i <= hi && has(i); ++i) {
      for (long long j = i + 1; j <= hi && has(j); ++j) move(i, j);
    }
  }
  // Leftward moves.
  for (const std::vector<int>& group : leftGroups) {
    std::vector<int> sorted = group;
    std::sort(sorted.begin(), sorted.end());
    const long long lo = sorted.front();
    const long long hi = sorted.back();
    for (long long i = hi; i >= lo && has(i); --i) {
      for (long long j = i - 1; j >= lo && has(j); --j) move(i, j);
    }
  }
  for (const ql::LaneEndpoint& e : candidates[laneId]) {
    if (PassesLaneChangeRule(e)) out.push_back(e);
  }
}

std::map<int, Ext> LanesByNumber(const ql::HdLink& link) {
  std::map<int, Ext> m;
  for (const ql::HdLane& lane : link.vcthlLane) {
    if (lane.vctvdGeoLink.empty()) continue;
    Ext e;
    e.ptEnd = PointOf(LastTuple(lane.vctvdGeoLink));
    e.liLinkId = link.liId;
    e.liLaneId = lane.liId;
    e.nFromSeqNum = lane.nSeqNum;
    e.nToSeqNum = lane.nSeqNum;
    e.dLinkLength = link.dLength;
    e.ptStart = PointOf(FirstTuple(lane.vctvdGeoLink));
    e.nLaneSeqNum = lane.nSeqNum;
    e.bCanLeft = PassesLeftTest(GetEdgeCross(link, lane.lLeftEdgeId));
    e.bCanRight = PassesRightTest(GetEdgeCross(link, lane.lRightEdgeId));
    e.vctliNxtLanes = lane.vctliNxtLaneId;
    m[e.nLaneSeqNum] = e;
  }
  return m;
}

void GenPreEndpoints(long laneId, const std::vector<const ql::HdLink*>& links,
                     std::vector<ql::LaneEndpoint>& out) {
  for (const ql::HdLink* p : links) {
    if (p != nullptr) GenPreRLanes(laneId, *p, LanesByNumber(*p), out);
  }
}

bool GetNextLaneEndpoints(const Lookup& lookup, const ql::LaneEndpoint& endpoint,
                          std::vector<ql::LaneEndpoint>& out, std::vector<long>* reported) {
  const ql::HdLink* link = lookup(endpoint.liLinkId);
  if (link == nullptr) return false;
  const long laneId = endpoint.liLaneId;
  // Keyed by the id as first listed: its tile list is the one the endpoints carry.
  std::map<ql::HdLinkId, std::vector<ql::HdLane>> continuing;
  for (const ql::HdLinkId& nextId : link->vctliNxtLinkId) {
    const ql::HdLink* next = lookup(nextId);
    if (next == nullptr) continue;
    for (const ql::HdLane& lane : next->vcthlLane) {
      for (const ql::HdLaneId& pre : lane.vctliPreLaneId) {
        if (static_cast<long>(pre) == laneId) continuing[nextId].push_back(lane);
      }
    }
  }
  if (continuing.empty()) return false;
  for (auto& [nextId, lanes] : continuing) {
    std::stable_sort(lanes.begin(), lanes.end(), [](const ql::HdLane& x, const ql::HdLane& y) {
      return static_cast<long>(x.liId) > static_cast<long>(y.liId);
    });
    lanes.erase(std::unique(lanes.begin(), lanes.end(),
                            [](const ql::HdLane& x, const ql::HdLane& y) {
                              return static_cast<long>(x.liId) == static_cast<long>(y.liId);
                            }),
                lanes.end());
    const ql::HdLink* next = lookup(nextId);
    if (next == nullptr) continue;
    for (const ql::HdLane& a : lanes) {
      for (const ql::HdLane& b : next->vcthlLane) {
        if (!IsReachable(*next, a.liId, b.liId)) continue;
        ql::LaneEndpoint e;
        bool hasEnd = true;
        if (b.nDirection == 2) {
          e.ptEnd = PointOf(LastTuple(b.vctvdGeoLink));
        } else if (b.nDirection == 3) {
          e.ptEnd = PointOf(FirstTuple(b.vctvdGeoLink));
        } else {
          hasEnd = false;
        }
        e.liLinkId = nextId;
        e.liLaneId = b.liId;
        e.nFromSeqNum = a.nSeqNum;
        e.nToSeqNum = b.nSeqNum;
        e.dLinkLength = next->dLength;
        if (!PassesLaneChangeRule(e)) continue;
        out.push_back(e);
        if (!hasEnd && reported != nullptr) reported->push_back(b.liId);
      }
    }
  }
  return true;
}

bool GetPreEndpoints(const Lookup& lookup, const ql::LaneEndpoint& endpoint, std::vector<ql::LaneEndpoint>& out) {
  const ql::HdLink* l0 = lookup(endpoint.liLinkId);
  if (l0 == nullptr) return false;
  const long laneId = endpoint.liLaneId;
  std::vector<const ql::HdLink*> qualifying;
  for (const ql::HdLinkId& preId : l0->vctliPreLinkId) {
    const ql::HdLink* p = lookup(preId);
    if (p == nullptr) continue;
    for (const ql::HdLane& lane : p->vcthlLane) {
      for (const ql::HdLaneId& s : lane.vctliNxtLaneId) {
        if (static_cast<long>(s) == laneId || IsReachable(*l0, s, laneId)) qualifying.push_back(p);
      }
    }
  }
  std::stable_sort(qualifying.begin(), qualifying.end(),
                   [](const ql::HdLink* x, const ql::HdLink* y) { return x->liId.lValue < y->liId.lValue; });
  qualifying.erase(
      std::unique(qualifying.begin(), qualifying.end(),
                  [](const ql::HdLink* x, const ql::HdLink* y) { return x->liId.lValue == y->liId.lValue; }),
      qualifying.end());
  if (qualifying.empty()) return false;
  GenPreEndpoints(laneId, qualifying, out);
  return true;
}

// ---- comparison -------------------------------------------------------------------------------

namespace {

std::string Text(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", v);
  return buffer;
}

// Equal values of the same sign, or both NaN.
bool Same(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

// Field names are built only for a difference: answers of a million endpoints are compared.
void Compare(std::string& diff, const char* field, double got, double want) {
  if (!Same(got, want)) diff += std::string(field) + " " + Text(got) + " != " + Text(want) + "; ";
}
void Compare(std::string& diff, const char* field, long got, long want) {
  if (got != want) diff += std::string(field) + " " + std::to_string(got) + " != " + std::to_string(want) + "; ";
}
void Compare(std::string& diff, const char* field, int got, int want) {
  Compare(diff, field, static_cast<long>(got), static_cast<long>(want));
}
void Compare(std::string& diff, const char* field, const ql::Point& got, const ql::Point& want) {
  if (Same(got.dLon, want.dLon) && Same(got.dLat, want.dLat) && Same(got.dAlt, want.dAlt)) return;
  const std::string name(field);
  Compare(diff, (name + ".dLon").c_str(), got.dLon, want.dLon);
  Compare(diff, (name + ".dLat").c_str(), got.dLat, want.dLat);
  Compare(diff, (name + ".dAlt").c_str(), got.dAlt, want.dAlt);
}

}  // namespace

std::string Difference(const ql::LaneEndpoint& got, const ql::LaneEndpoint& want) {
  std::string diff;
  Compare(diff, "ptEnd", got.ptEnd, want.ptEnd);
  Compare(diff, "liLinkId", got.liLinkId.lValue, want.liLinkId.lValue);
  const std::vector<ql::TileId>& gotTiles = got.liLinkId.vcttiTileIds;
  const std::vector<ql::TileId>& wantTiles = want.liLinkId.vcttiTileIds;
  Compare(diff, "liLinkId tiles", static_cast<long>(gotTiles.size()), static_cast<long>(wantTiles.size()));
  for (std::size_t i = 0; i < std::min(gotTiles.size(), wantTiles.size()); ++i) {
    if (gotTiles[i].nLonId == wantTiles[i].nLonId && gotTiles[i].nLatId == wantTiles[i].nLatId) continue;
    const std::string at = "liLinkId tiles[" + std::to_string(i) + "]";
    Compare(diff, (at + ".nLonId").c_str(), gotTiles[i].nLonId, wantTiles[i].nLonId);
    Compare(diff, (at + ".nLatId").c_str(), gotTiles[i].nLatId, wantTiles[i].nLatId);
  }
  Compare(diff, "liLaneId", static_cast<long>(got.liLaneId), static_cast<long>(want.liLaneId));
  Compare(diff, "dLinkLength", got.dLinkLength, want.dLinkLength);
  Compare(diff, "vctptReserved", static_cast<long>(got.vctptReserved.size()),
          static_cast<long>(want.vctptReserved.size()));
  for (std::size_t i = 0; i < std::min(got.vctptReserved.size(), want.vctptReserved.size()); ++i) {
    Compare(diff, ("vctptReserved[" + std::to_string(i) + "]").c_str(), got.vctptReserved[i],
            want.vctptReserved[i]);
  }
  Compare(diff, "nFromSeqNum", got.nFromSeqNum, want.nFromSeqNum);
  Compare(diff, "nReserved", got.nReserved, want.nReserved);
  Compare(diff, "nToSeqNum", got.nToSeqNum, want.nToSeqNum);
  return diff;
}

std::string Difference(const std::vector<ql::LaneEndpoint>& got, const std::vector<ql::LaneEndpoint>& want) {
  for (std::size_t i = 0; i < std::min(got.size(), want.size()); ++i) {
    const std::string diff = Difference(got[i], want[i]);
    if (!diff.empty()) return "endpoint " + std::to_string(i) + ": " + diff;
  }
  if (got.size() != want.size()) {
    return std::to_string(got.size()) + " endpoints, " + std::to_string(want.size()) + " wanted";
  }
  return std::string();
}

}  // namespace qlplain
