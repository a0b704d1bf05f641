#include "HdLib.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <functional>
#include <iostream>
#include <map>
#include <string>

#include "Console.h"
#include "HdLibMath.h"
#include "LinkSummary.h"
#include "MapConfig.h"
#include "MapTypes.h"
#include "Numeric.h"
#include "Singleton.h"
#include "World.h"

namespace ql {

std::shared_ptr<HdLib> HdLib::m_spInstance;

namespace {

using HdStore = Singleton<HdWorld, NewHdWorld>;
using GeoLink = HdLib::GeoLink;

// The store as it is: null before Init, never created here.
HdWorld* Store() { return HdStore().operator->(); }

// ---- lookups: the part of a link a query reads; null when it is missing, or the link is ------------

// Lane n of the link by position (n - 1); null for n outside 1 to the lane count.
const HdLane* LaneAt(const HdLink* link, int laneNum) {
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
const HdLane* LaneById(const HdLink* link, const HdLaneId& laneId) {
  const long wanted = laneId;
  return FirstLane(link, [wanted](const HdLane& lane) { return static_cast<long>(lane.liId) == wanted; });
}

// The edge at that position of vctheEdge.
const HdEdge* EdgeAt(const HdLink* link, int index) {
  if (link == nullptr || index < 0 || static_cast<std::size_t>(index) >= link->vctheEdge.size()) return nullptr;
  return &link->vctheEdge[static_cast<std::size_t>(index)];
}

// The first edge with that lId.
const HdEdge* EdgeById(const HdLink* link, long edgeId) {
  const int index = HdLib::GetEdgeIndexById(link, edgeId);
  return index < 0 ? nullptr : &link->vctheEdge[static_cast<std::size_t>(index)];
}

// The left or right edge of lane n (by position).
const HdEdge* LaneEdge(const HdLink* link, int laneNum, bool left) {
  const HdLane* lane = LaneAt(link, laneNum);
  return lane == nullptr ? nullptr : EdgeById(link, left ? lane->lLeftEdgeId : lane->lRightEdgeId);
}

// The nearest ADAS sample of the first lane with that id that has samples. Where that lane is
// the located one, the positions are read from its tile's flat copy.
const HdLaneAdas* NearestAdas(const HdLink* link, const HdLaneId& laneId, const Point& p,
                              const LocatedLane* where = nullptr) {
  const long wanted = laneId;
  const HdLane* lane = FirstLane(link, [wanted](const HdLane& candidate) {
    return static_cast<long>(candidate.liId) == wanted && !candidate.vctlaLaneAdas.empty();
  });
  if (lane == nullptr) return nullptr;
  const std::vector<HdLaneAdas>& samples = lane->vctlaLaneAdas;
  const double* flat = nullptr;  // lon, lat of sample i at 2i, 2i + 1
  if (where != nullptr && where->pLane == lane && where->pSamples != nullptr &&
      where->pSamples->n == samples.size()) {
    flat = where->pSamples->lonLat;
  }
  const auto lonOf = [&](std::size_t i) { return flat != nullptr ? flat[2 * i] : samples[i].dLon; };
  const auto latOf = [&](std::size_t i) { return flat != nullptr ? flat[2 * i + 1] : samples[i].dLat; };
  const SphereDistanceFrom from(p);
  // The sample of the smallest lower bound is measured first: its term is one no sample
  // farther than it can undercut, so any sample whose bound lies above it is not the nearest
  // and is skipped unmeasured. The terms of nearer samples found on the way lower it further.
  thread_local std::vector<double> bounds;  // kept from call to call
  bounds.resize(samples.size());
  std::size_t probe = 0;
  double probeBound = DBL_MAX;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    bounds[i] = from.HLowerBound(lonOf(i), latOf(i));
    if (bounds[i] < probeBound) {
      probeBound = bounds[i];
      probe = i;
    }
  }
  double threshold = DBL_MAX;
  const double probeH = from.H(lonOf(probe), latOf(probe));
  if (probeH < threshold) threshold = probeH;

  const HdLaneAdas* best = nullptr;  // stays null when every sample lies at NaN distance
  double bestDis = DBL_MAX;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (bounds[i] > threshold) continue;
    const double h = from.H(lonOf(i), latOf(i));
    const double dis = SphereDistanceFrom::FromH(h);  // PointsDis(sample, p)
    if (bestDis > dis) {                              // the first of equal distances wins
      bestDis = dis;
      best = &samples[i];
      if (h < threshold) threshold = h;
    }
  }
  return best;
}

// The first stop line of that nType.
const ObjStopLine* StopLineOfType(const HdLink* link, int type) {
  if (link == nullptr) return nullptr;
  for (const ObjStopLine& stopLine : link->vctslStopLine) {
    if (stopLine.nType == type) return &stopLine;
  }
  return nullptr;
}

// The first overhead object that lists lane n (by position).
const ObjOverHead* OverHeadOfLane(const HdLink* link, int laneNum) {
  const HdLane* lane = LaneAt(link, laneNum);
  if (lane == nullptr) return nullptr;
  const long laneId = lane->liId;
  for (const ObjOverHead& overhead : link->vctOverHead) {
    for (const HdLaneId& listed : overhead.vctlLaneId) {
      if (static_cast<long>(listed) == laneId) return &overhead;
    }
  }
  return nullptr;
}

// ---- what the attribute queries read ------------------------------------------------------------

// The shape of most attribute queries: given the part a lookup found (null: none), copy its
// field (a member pointer or a function of the part) into out and answer true; with no part,
// leave out as it was and answer false. A list or string output is thereby replaced as a whole.
template <class Part, class Field, class Out>
bool CopyOut(const Part* part, const Field& field, Out& out) {
  if (part == nullptr) return false;
  out = std::invoke(field, *part);
  return true;
}

// The part itself, for a query that hands out a copy of the whole record.
constexpr auto kWhole = [](const auto& part) -> const auto& { return part; };

int LaneCount(const HdLink& link) { return static_cast<int>(link.vcthlLane.size()); }
int EdgeCount(const HdLink& link) { return static_cast<int>(link.vctheEdge.size()); }

// nColor of the edge's first marking; 1 for an edge without markings.
int FirstMarkColor(const HdEdge& edge) { return edge.vcthmMark.empty() ? 1 : edge.vcthmMark.front().nColor; }

// strArrows followed by the strType of each arrow object, in order.
std::string ArrowLetters(const HdLane& lane) {
  std::string letters = lane.strArrows;
  for (const ObjArrow& arrow : lane.vctarArrow) letters += arrow.strType;
  return letters;
}

// ---- small helpers of the location queries --------------------------------------------------------

double TupleDis(const std::vector<double>& a, const std::vector<double>& b) {
  return PointsDis(Point(a), Point(b));
}

// Adds the haversine lengths of segments (geo[i], geo[i + 1]) for first <= i < last to sum,
// one after the other.
double AddPathLength(double sum, const GeoLink& geo, std::size_t first, std::size_t last) {
  for (std::size_t i = first; i < last; ++i) sum += TupleDis(geo.at(i), geo.at(i + 1));
  return sum;
}

// A position a box can be drawn around: finite and short of the poles (at a pole every
// longitude is the same place). Any other names no tile and holds no lane, whatever the
// projection would make of it.
bool IsOnEarth(const Point& p) {
  return std::isfinite(p.dLon) && std::isfinite(p.dLat) && std::fabs(p.dLat) < 90.0;
}

// Ascending by link id; of links listed more than once, the first after sorting is kept. The
// same for the links' summaries: sorted from the same order, the same copy of a link stays.
void SortOncePerId(std::vector<const HdLink*>& links) {
  std::sort(links.begin(), links.end(), [](const HdLink* a, const HdLink* b) { return a->liId < b->liId; });
  links.erase(
      std::unique(links.begin(), links.end(), [](const HdLink* a, const HdLink* b) { return a->liId == b->liId; }),
      links.end());
}
void SortOncePerId(std::vector<const LinkSummary*>& links) {
  std::sort(links.begin(), links.end(),
            [](const LinkSummary* a, const LinkSummary* b) { return a->pRecord->liId < b->pRecord->liId; });
  links.erase(
      std::unique(links.begin(), links.end(),
                  [](const LinkSummary* a, const LinkSummary* b) { return a->pRecord->liId == b->pRecord->liId; }),
      links.end());
}

// GetDataNearby on the links' summaries: the same links, in the same order, the same copy of each.
bool SummariesNearby(const Point& p, float w, float h, std::vector<const LinkSummary*>& links) {
  HdWorld* store = Store();
  if (store == nullptr || !IsOnEarth(p)) return false;
  store->CollectEntriesInRect(P2R(p, w, h), links);
  if (links.empty()) return false;
  SortOncePerId(links);
  return true;
}

bool TypeListed(const std::vector<int>& types, int type) {
  return std::find(types.begin(), types.end(), type) != types.end();
}

}  // namespace

std::shared_ptr<HdLib> HdLib::GetInstance() {
  if (!m_spInstance) m_spInstance = std::make_shared<HdLib>();
  return m_spInstance;
}

// ---- setup ------------------------------------------------------------------------------------

void HdLib::Init(const std::string& projectPath, const std::string& configPath) {
  // An initialisation that raises leaves nothing behind: the settings as they were, and the
  // store as it was (the World puts its cache back itself; one this call made goes again), so
  // that a retry with another map or depth starts clean.
  const MapConfig::Snapshot settings;
  const bool hadStore = Store() != nullptr;
  try {
    MapConfig::Init(projectPath, configPath);
    HdStore::GetSingleton()->LoadAllTilesOnce();
  } catch (...) {
    settings.Restore();
    if (!hadStore) {
      NewHdWorld::Destroy(HdStore::m_pInstance);
      HdStore::m_pInstance = nullptr;
    }
    throw;
  }
}

const HdLink* HdLib::GetLinkData(const HdLinkId& id) const {
  HdWorld* store = Store();
  return store == nullptr ? nullptr : store->GetNodeData(id);
}

const HdLink* HdLib::GetLinkData(const HdLinkId& id, const LocatedLane& where) const {
  HdWorld* store = Store();
  if (store == nullptr) return nullptr;
  // The located record vouches only for its own id (HdLinkId compares lValue alone).
  if (where.pSummary == nullptr || where.pLink == nullptr || !(where.pLink->liId == id))
    return store->GetNodeData(id);
  return store->GetNodeData(id, *where.pSummary);
}

bool HdLib::LoadTile(const Point& p, bool load) const {
  HdWorld* store = Store();
  if (store == nullptr) return false;
  if (load) store->LoadTileInRect(P2R(p, 1000, 1000));
  return true;
}

std::vector<Point> HdLib::LoadGpses() const {
  HdWorld* store = Store();
  return store == nullptr ? std::vector<Point>() : store->GetSave()->LoadGpses();
}

std::set<HdLinkId> HdLib::GetNodeIdsInRect(const Rect2D& rect) const {
  HdWorld* store = Store();
  return store == nullptr ? std::set<HdLinkId>() : store->GetNodeIdsInRect(rect);
}

int HdLib::GetEdgeIndexById(const HdLink* link, long edgeId) {
  if (link == nullptr) return -1;
  const std::vector<HdEdge>& edges = link->vctheEdge;
  for (std::size_t i = 0; i < edges.size(); ++i) {
    if (edges[i].lId == edgeId) return static_cast<int>(i);
  }
  return -1;
}

const HdLane* HdLib::GetLaneBySeqNum(const HdLink* link, int laneNum) {
  return FirstLane(link, [laneNum](const HdLane& lane) { return lane.nSeqNum == laneNum; });
}

const HdLane* HdLib::GetLaneById(const HdLink* link, const HdLaneId& laneId) { return LaneById(link, laneId); }

const HdEdge* HdLib::GetEdgeById(const HdLink* link, long edgeId) { return EdgeById(link, edgeId); }

bool HdLib::GetLinkIdsInRect(const Point& p, float w, float h, std::vector<HdLinkId>& ids, bool load) const {
  HdWorld* store = Store();
  if (store == nullptr) return false;
  const Rect2D box = P2R(p, w, h);
  if (load) store->LoadTileInRect(box);
  // The id set already holds each lValue once, in ascending order.
  const std::set<HdLinkId> found = store->GetNodeIdsInRect(box);
  ids.assign(found.begin(), found.end());
  return true;
}

// ---- location -----------------------------------------------------------------------------------

bool HdLib::GetDataNearby(const Point& p, float w, float h, std::vector<const HdLink*>& links,
                          GetDataNearby_param /*param*/, bool /*flag*/) const {
  HdWorld* store = Store();
  if (store == nullptr || !IsOnEarth(p)) return false;
  // Ascending by address and once each, as the record set of the box would hold them. The list
  // is kept from call to call (swapped with the caller's), so a request allocates nothing here.
  thread_local std::vector<const HdLink*> found;
  store->CollectNodesInRect(P2R(p, w, h), found);
  if (found.empty()) return false;
  links.swap(found);
  SortOncePerId(links);  // a link held by several tiles comes back once per tile
  return true;
}

namespace {

// For every link of the 20 m box (ascending) and every lane of it holding p (stored order), calls
// found(summary, k) for lane k. False when no link is near.
template <class Found>
bool ForEachLaneHolding(const Point& p, Found&& found) {
  thread_local std::vector<const LinkSummary*> nearby;  // kept from call to call
  if (!SummariesNearby(p, 20.0f, 20.0f, nearby)) return false;
  const XYZ q = P2XYZ(p);
  const int zone = P2Zone(p);
  for (const LinkSummary* summary : nearby) {
    // Every lane's strip lies between edges of its own link.
    if (summary->bounds.Excludes(p, q)) continue;
    const HdLink& link = *summary->pRecord;
    for (std::size_t k = 0; k < link.vcthlLane.size(); ++k) {
      const LaneSummary& lane = summary->pLanes[k];
      // A quick, exact rejection first: most nearby lanes lie metres away.
      if (!lane.bHasStrip || lane.bounds.Excludes(p, q)) continue;
      const HdLib::GeoLink& left = link.vctheEdge[static_cast<std::size_t>(lane.nLeft)].vctvdGeoLink;
      const HdLib::GeoLink& right = link.vctheEdge[static_cast<std::size_t>(lane.nRight)].vctvdGeoLink;
      if (HdLibMath::IsInRecArea(p, q, zone, left, summary->pEdgeLines[lane.nLeft], right,
                                 summary->pEdgeLines[lane.nRight], lane.bReversed)) {
        found(*summary, k);
      }
    }
  }
  return true;
}

}  // namespace

bool HdLib::GetLocateLanes(const Point& p, std::vector<HdLinkId>& links, std::vector<HdLaneId>& lanes) const {
  if (!ForEachLaneHolding(p, [&](const LinkSummary& summary, std::size_t k) {
        lanes.push_back(summary.pRecord->vcthlLane[k].liId);
        links.push_back(summary.pRecord->liId);
      })) {
    return false;
  }
  return !lanes.empty();
}

bool HdLib::GetLocateLanes(const Point& p, std::vector<LocatedLane>& located) const {
  if (!ForEachLaneHolding(p, [&](const LinkSummary& summary, std::size_t k) {
        located.push_back(LocatedLane{&summary, summary.pRecord, &summary.pRecord->vcthlLane[k],
                                      &summary.pLaneLines[k], &summary.pLaneSamples[k]});
      })) {
    return false;
  }
  return !located.empty();
}

bool HdLib::IsPointInLane(const Point& p, const HdLink* link, const HdLane& lane) {
  const HdEdge* left = EdgeById(link, lane.lLeftEdgeId);
  const HdEdge* right = EdgeById(link, lane.lRightEdgeId);
  if (left == nullptr || right == nullptr) return false;
  const GeoLink& leftGeo = left->vctvdGeoLink;
  const GeoLink& rightGeo = right->vctvdGeoLink;
  if (leftGeo.empty() || rightGeo.empty()) return false;
  return HdLibMath::IsInRecArea(p, leftGeo, rightGeo, LaneEdgesReversed(lane, leftGeo, rightGeo));
}

bool HdLib::GetIsInCross(const Point& p) const {
  // The links of GetDataNearby's 10 m box, in its order, through their summaries: an area whose
  // box cannot hold p is passed over without reading its vertices.
  thread_local std::vector<const LinkSummary*> nearby;  // kept from call to call
  if (!SummariesNearby(p, 10.0f, 10.0f, nearby)) return false;
  for (const LinkSummary* summary : nearby) {
    const std::vector<ObjCrossing>& crossings = summary->pRecord->vctcrCrossing;
    for (std::size_t k = 0; k < crossings.size(); ++k) {
      if (summary->pCrossings[k].Excludes(p)) continue;
      if (IsPointInPolygon(crossings[k].vctvdGeoArea, p)) return true;
    }
  }
  return false;
}

void HdLib::GetPosInGeoLink(const Point& p, const GeoLink& geo, double& fromStart, double& toEnd) {
  Point foot;
  double distance = 0.0;
  int index = 0;
  HdLibMath::GetPerpendicularFoot(p, geo, foot, distance, index);
  const std::size_t k = static_cast<std::size_t>(index);  // never below 1
  // geo.at: a line of fewer than two vertices has no vertex k and throws std::out_of_range.
  const double before = AddPathLength(0.0, geo, 0, k - 1) + PointsDis(Point(geo.at(k - 1)), foot);
  const double after = AddPathLength(PointsDis(foot, Point(geo.at(k))), geo, k, geo.size() - 1);
  fromStart = before;
  toEnd = after;
}

bool HdLib::GetPosInHdLink(const Point& p, const HdLinkId& id, double& fromStart, double& toEnd) const {
  const HdLink* link = GetLinkData(id);
  if (link == nullptr) return false;
  const GeoLink& geo = link->vctvdGeoLink;
  if (geo.empty()) return false;  // no nearest vertex, no lengths
  Point nearest;
  double distance = 0.0;
  int index = 0;
  if (!HdLibMath::GetNearestPointFromArray(p, geo, nearest, distance, index)) return false;
  const std::size_t k = static_cast<std::size_t>(index);
  const double before = AddPathLength(0.0, geo, 0, k);
  const double after = AddPathLength(0.0, geo, k, geo.size() - 1);
  fromStart = before;
  toEnd = after;
  return true;
}

bool HdLib::GetNearestPointfromLaneGeo(const Point& p, Point& foot, double& distance) const {
  std::vector<const HdLink*> nearby;
  if (!GetDataNearby(p, 20.0f, 20.0f, nearby, GetDataNearby_param{}, true)) return false;
  const GeoLink* best = nullptr;
  double bestDis = DBL_MAX;
  for (const HdLink* link : nearby) {
    for (const HdLane& lane : link->vcthlLane) {
      Point nearest;
      double dis = 0.0;
      int index = 0;
      HdLibMath::GetNearestPointFromArray(p, lane.vctvdGeoLink, nearest, dis, index);
      if (bestDis > dis) {
        bestDis = dis;
        best = &lane.vctvdGeoLink;
      }
    }
  }
  if (best == nullptr || best->empty()) return false;
  return HdLibMath::GetPerpendicularFoot(p, *best, foot, distance);
}

// ---- link attributes ------------------------------------------------------------------------------

bool HdLib::GetLinkLength(const HdLinkId& id, double& length) const {
  return CopyOut(GetLinkData(id), &HdLink::dLength, length);
}
bool HdLib::GetLinkType(const HdLinkId& id, int& type) const {
  return CopyOut(GetLinkData(id), &HdLink::nType, type);
}
bool HdLib::GetLinkStartAngle(const HdLinkId& id, double& angle) const {
  return CopyOut(GetLinkData(id), &HdLink::dStartAngle, angle);
}
bool HdLib::GetLinkSpeedLimit(const HdLinkId& id, int& speedLimit) const {
  return GetLinkSpeedLimit(GetLinkData(id), speedLimit);
}
bool HdLib::GetLinkSpeedLimit(const HdLink* link, int& speedLimit) {
  return CopyOut(link, &HdLink::nSpeedLimit, speedLimit);
}
bool HdLib::GetLinkRank(const HdLinkId& id, int& rank) const {
  return CopyOut(GetLinkData(id), &HdLink::nRank, rank);
}
bool HdLib::GetLaneCnt(const HdLinkId& id, int& count) const { return GetLaneCnt(GetLinkData(id), count); }
bool HdLib::GetLaneCnt(const HdLink* link, int& count) { return CopyOut(link, LaneCount, count); }
bool HdLib::GetEdgeCnt(const HdLinkId& id, int& count) const { return CopyOut(GetLinkData(id), EdgeCount, count); }

bool HdLib::GetLinkPre(const HdLinkId& id, std::vector<HdLinkId>& pre) const {
  const HdLink* link = GetLinkData(id);
  return link != nullptr && !link->vctliPreLinkId.empty() && CopyOut(link, &HdLink::vctliPreLinkId, pre);
}

bool HdLib::GetLinkNext(const HdLinkId& id, std::vector<HdLinkId>& nxt) const {
  const HdLink* link = GetLinkData(id);
  return link != nullptr && !link->vctliNxtLinkId.empty() && CopyOut(link, &HdLink::vctliNxtLinkId, nxt);
}

bool HdLib::GetLinkPreNxt(const HdLinkId& id, std::vector<HdLinkId>& pre, std::vector<HdLinkId>& nxt) const {
  const HdLink* link = GetLinkData(id);
  return CopyOut(link, &HdLink::vctliPreLinkId, pre) && CopyOut(link, &HdLink::vctliNxtLinkId, nxt);
}

bool HdLib::GetLinkNext(const HdLinkId& id, int laneNum, std::vector<HdLinkId>& nxt) const {
  const HdLink* link = GetLinkData(id);
  const HdLane* lane = LaneAt(link, laneNum);
  if (lane == nullptr || link->vctliNxtLinkId.empty()) return false;
  const long laneId = lane->liId;
  std::vector<const HdLink*> continuing;
  for (const HdLinkId& nextId : link->vctliNxtLinkId) {
    const HdLink* next = GetLinkData(nextId);
    if (next == nullptr) continue;
    for (const HdLane& nextLane : next->vcthlLane) {
      for (const HdLaneId& preLane : nextLane.vctliPreLaneId) {
        if (static_cast<long>(preLane) == laneId) continuing.push_back(next);
      }
    }
  }
  SortOncePerId(continuing);
  for (const HdLink* next : continuing) nxt.push_back(next->liId);
  return true;
}

bool HdLib::GetLinkLimitValue(const HdLinkId& /*id*/, int /*kind*/, int& /*value*/) const { return false; }

// ---- lane attributes, by lane number ---------------------------------------------------------------

bool HdLib::GetLaneType(const HdLinkId& id, int laneNum, int& type) const {
  return CopyOut(LaneAt(GetLinkData(id), laneNum), &HdLane::nType, type);
}
bool HdLib::GetLaneWidth(const HdLinkId& id, int laneNum, int& width) const {
  return CopyOut(LaneAt(GetLinkData(id), laneNum), &HdLane::nWidth, width);
}
bool HdLib::GetLaneEdgeId(const HdLinkId& id, int laneNum, bool left, long& edgeId) const {
  return CopyOut(LaneAt(GetLinkData(id), laneNum), left ? &HdLane::lLeftEdgeId : &HdLane::lRightEdgeId, edgeId);
}
bool HdLib::GetLaneNext(const HdLinkId& id, int laneNum, std::vector<HdLaneId>& nxt) const {
  return CopyOut(LaneAt(GetLinkData(id), laneNum), &HdLane::vctliNxtLaneId, nxt);
}
bool HdLib::GetLaneEdgeCrossType(const HdLinkId& id, int laneNum, bool left, int& crossType) const {
  return CopyOut(LaneEdge(GetLinkData(id), laneNum, left), &HdEdge::nCross, crossType);
}
bool HdLib::GetLaneEdgeGeoLink(const HdLinkId& id, int laneNum, bool left, GeoLink& geo) const {
  return CopyOut(LaneEdge(GetLinkData(id), laneNum, left), &HdEdge::vctvdGeoLink, geo);
}

bool HdLib::IsLaneContainArrow(const HdLinkId& id, int laneNum, char letter) const {
  const HdLane* lane = LaneAt(GetLinkData(id), laneNum);
  return lane != nullptr && lane->strArrows.find(letter) != std::string::npos;
}

bool HdLib::GetLaneId(const HdLinkId& id, int laneNum, HdLaneId& laneId) const {
  return CopyOut(GetLaneBySeqNum(GetLinkData(id), laneNum), &HdLane::liId, laneId);
}
bool HdLib::GetLaneGeoLink(const HdLinkId& id, int laneNum, GeoLink& geo) const {
  return CopyOut(GetLaneBySeqNum(GetLinkData(id), laneNum), &HdLane::vctvdGeoLink, geo);
}
bool HdLib::GetLaneData(const HdLinkId& id, int laneNum, HdLane& lane) const {
  return CopyOut(GetLaneBySeqNum(GetLinkData(id), laneNum), kWhole, lane);
}

// ---- lane attributes, by lane id ------------------------------------------------------------------

bool HdLib::GetLaneNum(const HdLinkId& id, const HdLaneId& laneId, int& laneNum) const {
  return GetLaneNum(GetLinkData(id), laneId, laneNum);
}
bool HdLib::GetLaneNum(const HdLink* link, const HdLaneId& laneId, int& laneNum) {
  return CopyOut(LaneById(link, laneId), &HdLane::nSeqNum, laneNum);
}
bool HdLib::GetLaneNext(const HdLinkId& id, const HdLaneId& laneId, std::vector<HdLaneId>& nxt) const {
  return CopyOut(LaneById(GetLinkData(id), laneId), &HdLane::vctliNxtLaneId, nxt);
}
bool HdLib::GetLaneGeoLink(const HdLinkId& id, const HdLaneId& laneId, GeoLink& geo) const {
  return CopyOut(LaneById(GetLinkData(id), laneId), &HdLane::vctvdGeoLink, geo);
}
bool HdLib::GetLaneArrow(const HdLinkId& id, const HdLaneId& laneId, std::string& arrows) const {
  return CopyOut(LaneById(GetLinkData(id), laneId), ArrowLetters, arrows);
}

bool HdLib::GetLaneCurvature(const HdLinkId& id, const HdLaneId& laneId, const Point& p, double& curvature) const {
  return CopyOut(NearestAdas(GetLinkData(id), laneId, p), &HdLaneAdas::dOutCurvature, curvature);
}
bool HdLib::GetLaneRoll(const HdLinkId& id, const HdLaneId& laneId, const Point& p, double& roll) const {
  return CopyOut(NearestAdas(GetLinkData(id), laneId, p), &HdLaneAdas::dOutRoll, roll);
}
bool HdLib::GetLanePitch(const HdLinkId& id, const HdLaneId& laneId, const Point& p, double& pitch) const {
  return CopyOut(NearestAdas(GetLinkData(id), laneId, p), &HdLaneAdas::dOutPitch, pitch);
}
bool HdLib::GetLaneAzimuth(const HdLinkId& id, const HdLaneId& laneId, const Point& p, double& azimuth) const {
  return GetLaneAzimuth(GetLinkData(id), laneId, p, azimuth);
}
bool HdLib::GetLaneAzimuth(const HdLinkId& id, const HdLaneId& laneId, const Point& p, double& azimuth,
                           const LocatedLane& where) const {
  return GetLaneAzimuth(GetLinkData(id, where), laneId, p, azimuth, &where);
}
bool HdLib::GetLaneAzimuth(const HdLink* link, const HdLaneId& laneId, const Point& p, double& azimuth,
                           const LocatedLane* where) {
  return CopyOut(NearestAdas(link, laneId, p, where), &HdLaneAdas::dOutAzimuth, azimuth);
}

// ---- edge attributes -------------------------------------------------------------------------------

bool HdLib::GetEdgeId(const HdLinkId& id, int index, long& edgeId) const {
  return CopyOut(EdgeAt(GetLinkData(id), index), &HdEdge::lId, edgeId);
}
bool HdLib::GetEdgeCross(const HdLinkId& id, long edgeId, int& cross) const {
  return CopyOut(EdgeById(GetLinkData(id), edgeId), &HdEdge::nCross, cross);
}
bool HdLib::GetEdgeColor(const HdLinkId& id, long edgeId, int& color) const {
  return CopyOut(EdgeById(GetLinkData(id), edgeId), FirstMarkColor, color);
}
bool HdLib::GetEdgeGeoLink(const HdLinkId& id, long edgeId, GeoLink& geo) const {
  return CopyOut(EdgeById(GetLinkData(id), edgeId), &HdEdge::vctvdGeoLink, geo);
}

// ---- road objects ------------------------------------------------------------------------------------

bool HdLib::GetStopLineGeoLink(const HdLinkId& id, int type, GeoLink& geo) const {
  return CopyOut(StopLineOfType(GetLinkData(id), type), &ObjStopLine::vctvdGeoLink, geo);
}
bool HdLib::GetOverHeadGeoLink(const HdLinkId& id, int laneNum, int /*unused*/, GeoLink& geo) const {
  return CopyOut(OverHeadOfLane(GetLinkData(id), laneNum), &ObjOverHead::vctvdGeoLink, geo);
}

// The map data carry no traffic-light geometry and no sign attributes for these to read:
// they report that nothing was found rather than an empty success.
bool HdLib::GetTrafficLightGeoLink(const HdLinkId& /*id*/, int /*kind*/, int /*index*/, GeoLink& /*geo*/) const {
  return false;
}

bool HdLib::GetTrafficSign(const HdLinkId& /*id*/, std::vector<int>& /*types*/, std::vector<int>& /*shapes*/,
                           std::vector<int>& /*values*/, std::vector<std::string>& /*texts*/,
                           std::vector<GeoLink>& /*areas*/) const {
  return false;
}

bool HdLib::GetTrafficSign(const Point& /*p*/, std::vector<int>& /*types*/, std::vector<int>& /*shapes*/,
                           std::vector<int>& /*values*/, std::vector<std::string>& /*texts*/,
                           std::vector<GeoLink>& /*areas*/) const {
  return false;
}

bool HdLib::GetTrafficSignGeoArea(const HdLinkId& /*id*/, int /*kind*/, GeoLink& /*geo*/) const { return false; }

// ---- conversions and lane filters ----------------------------------------------------------------------

bool HdLib::ConvertGeoLink(const GeoLink& geo, std::vector<Point>& points) {
  for (const std::vector<double>& tuple : geo) points.emplace_back(tuple);
  return true;
}

bool HdLib::ConvertGeoLink(const std::vector<Point>& points, GeoLink& geo) {
  for (const Point& point : points) geo.push_back({point.dLon, point.dLat, point.dAlt});
  return true;
}

bool HdLib::GetLanesInTypes(const std::vector<int>& types, const HdLink* link, std::vector<const HdLane*>& lanes) {
  if (link == nullptr) return false;
  for (const HdLane& lane : link->vcthlLane) {
    if (TypeListed(types, lane.nType)) lanes.push_back(&lane);
  }
  return true;
}

bool HdLib::GetLanesOutTypes(const std::vector<int>& types, const HdLink* link,
                             std::vector<const HdLane*>& lanes) {
  if (link == nullptr) return false;
  for (const HdLane& lane : link->vcthlLane) {
    if (!TypeListed(types, lane.nType)) lanes.push_back(&lane);
  }
  return true;
}

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

bool HdLib::IsReachable(const HdLink* link, HdLaneId from, HdLaneId to) {
  if (link == nullptr) return false;
  const std::vector<HdLane>& lanes = link->vcthlLane;
  long a = -1;
  long b = -1;
  for (std::size_t i = 0; i < lanes.size(); ++i) {
    if (static_cast<long>(lanes[i].liId) == static_cast<long>(from)) a = static_cast<long>(i);
    if (static_cast<long>(lanes[i].liId) == static_cast<long>(to)) b = static_cast<long>(i);
  }
  if (a < 0 || b < 0) return false;
  if (a == b) return true;
  const long long s = lanes[static_cast<std::size_t>(a)].nSeqNum;
  const long long t = lanes[static_cast<std::size_t>(b)].nSeqNum;
  // No lane is numbered 0 in sound data; such a to-lane is never reached (rather than divided
  // by). 64 bits: INT_MIN / -1 does not fit an int.
  if (t == 0 || s / t < 0 || s == 0) return false;
  // Positive lanes: towards the back of vcthlLane is rightwards; negative lanes mirror it.
  const bool rightwards = (a < b) == (s > 0);
  const long step = a < b ? 1 : -1;
  for (long k = a; k != b; k += step) {
    const HdLane& lane = lanes[static_cast<std::size_t>(k)];
    if (!(rightwards ? CanCrossRight(link, lane) : CanCrossLeft(link, lane))) return false;
  }
  return true;
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
  // stay in their tiles, which are never unloaded.
  std::map<HdLinkId, std::vector<const HdLane*>> continuing;
  for (const HdLinkId& nextId : link->vctliNxtLinkId) {
    const HdLink* next = GetLinkData(nextId);
    if (next == nullptr) continue;
    for (const HdLane& lane : next->vcthlLane) {
      for (const HdLaneId& pre : lane.vctliPreLaneId) {
        if (static_cast<long>(pre) == laneId) continuing[nextId].push_back(&lane);
      }
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
    for (const HdLane* from : lanes) {
      for (const HdLane& to : next->vcthlLane) {
        if (!IsReachable(next, from->liId, to.liId)) continue;
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
  std::vector<const HdLink*> qualifying;
  for (const HdLinkId& preId : link->vctliPreLinkId) {
    const HdLink* pre = GetLinkData(preId);
    if (pre == nullptr) continue;
    for (const HdLane& lane : pre->vcthlLane) {
      for (const HdLaneId& nxt : lane.vctliNxtLaneId) {
        if (static_cast<long>(nxt) == laneId || IsReachable(link, nxt, endpoint.liLaneId))
          qualifying.push_back(pre);
      }
    }
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
  for (const auto& entry : lanesByNumber) {
    for (long n = leadsIn(entry.second); n > 0; --n) candidates.push_back(entry.second);
  }

  std::map<int, const HdLane*> lanes;
  std::vector<std::vector<int>> rightGroups, leftGroups;
  GenCrossable(link, lanes, rightGroups, leftGroups);
  // 64-bit counters: a group ending at INT_MAX (or starting at INT_MIN) must not wrap.
  const auto has = [&lanesByNumber](long long number) {
    return lanesByNumber.count(static_cast<int>(number)) != 0;
  };
  const auto move = [&](long long i, long long j) {
    const LaneEndpointExt& from = lanesByNumber.at(static_cast<int>(i));
    const LaneEndpointExt& to = lanesByNumber.at(static_cast<int>(j));
    LaneEndpoint e;
    e.ptEnd = to.ptEnd;
    e.liLinkId = to.liLinkId;
    e.liLaneId = to.liLaneId;
    e.nFromSeqNum = from.nFromSeqNum;
    e.nToSeqNum = to.nToSeqNum;
    e.dLinkLength = from.dLinkLength;
    for (long n = leadsIn(to); n > 0; --n) candidates.push_back(e);
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

bool HdLib::GetNearEndpoints(const Point& p, float w, float h, std::vector<Point>& feet,
                             std::vector<LinkEndpoint>& endpoints, std::vector<double>& distances) const {
  std::vector<const HdLink*> nearby;
  if (!GetDataNearby(p, w, h, nearby, GetDataNearby_param{}, true)) return false;
  struct MidResult {
    int nLinkIndex = -1;
    double dDis = -1.0;
    Point ptFoot;
  };
  std::vector<MidResult> candidates;
  for (std::size_t i = 0; i < nearby.size(); ++i) {
    MidResult c;
    c.nLinkIndex = static_cast<int>(i);
    NearestVertex(p, nearby[i]->vctvdGeoLink, c.ptFoot, c.dDis);
    candidates.push_back(c);
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const MidResult& a, const MidResult& b) { return a.dDis < b.dDis; });
  for (const MidResult& c : candidates) {
    const HdLink& link = *nearby[static_cast<std::size_t>(c.nLinkIndex)];
    feet.push_back(c.ptFoot);
    endpoints.push_back(LinkEndpointOf(link, LastVertex(link.vctvdGeoLink)));
    distances.push_back(c.dDis);
  }
  return true;
}

bool HdLib::GetNearEndpoints(const Point& p, float w, float h, std::vector<Point>& feet,
                             std::vector<LaneEndpoint>& endpoints, std::vector<double>& distances) const {
  std::vector<const HdLink*> nearby;
  if (!GetDataNearby(p, w, h, nearby, GetDataNearby_param{}, true)) return false;
  struct MidResult {
    int nLinkIndex = -1;
    int nLaneIndex = -1;
    double dDis = -1.0;
    Point ptFoot;
  };
  std::vector<MidResult> candidates;
  for (std::size_t i = 0; i < nearby.size(); ++i) {
    const std::vector<HdLane>& lanes = nearby[i]->vcthlLane;
    for (std::size_t k = 0; k < lanes.size(); ++k) {
      MidResult c;
      c.nLinkIndex = static_cast<int>(i);
      c.nLaneIndex = static_cast<int>(k);
      NearestVertex(p, lanes[k].vctvdGeoLink, c.ptFoot, c.dDis);
      candidates.push_back(c);
    }
  }
  if (candidates.empty()) return false;
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const MidResult& a, const MidResult& b) { return a.dDis < b.dDis; });
  for (const MidResult& c : candidates) {
    const HdLink& link = *nearby[static_cast<std::size_t>(c.nLinkIndex)];
    const HdLane& lane = link.vcthlLane[static_cast<std::size_t>(c.nLaneIndex)];
    LaneEndpoint e = LaneEndpointOf(link, lane);
    e.ptEnd = LastVertex(lane.vctvdGeoLink);
    e.dLinkLength = link.dLength;
    feet.push_back(c.ptFoot);
    endpoints.push_back(e);
    distances.push_back(c.dDis);
  }
  return true;
}

bool HdLib::GetNearestEndpoint(const Point& p, float w, float h, Point& foot, LinkEndpoint& endpoint,
                               double& distance) const {
  std::vector<const HdLink*> nearby;
  if (!GetDataNearby(p, w, h, nearby, GetDataNearby_param{}, true)) return false;
  const HdLink* best = nullptr;
  double bestDis = DBL_MAX;
  Point bestVertex;
  for (const HdLink* link : nearby) {
    Point vertex;
    double dis = DBL_MAX;
    NearestVertex(p, link->vctvdGeoLink, vertex, dis);
    if (bestDis > dis) {
      best = link;
      bestDis = dis;
      bestVertex = vertex;
    }
  }
  if (best == nullptr) return false;
  foot = bestVertex;
  endpoint.ptEnd = LastVertex(best->vctvdGeoLink);
  endpoint.liLinkId = best->liId;
  endpoint.dLinkLength = best->dLength;
  distance = bestDis;
  return true;
}

bool HdLib::GetNearestEndpoint(const Point& p, float w, float h, Point& foot, LaneEndpoint& endpoint,
                               double& distance) const {
  std::vector<const HdLink*> nearby;
  if (!GetDataNearby(p, w, h, nearby, GetDataNearby_param{}, true)) return false;
  const HdLink* bestLink = nullptr;
  const HdLane* best = nullptr;
  double bestDis = DBL_MAX;
  Point bestVertex;
  for (const HdLink* link : nearby) {
    for (const HdLane& lane : link->vcthlLane) {
      Point vertex;
      double dis = DBL_MAX;
      NearestVertex(p, lane.vctvdGeoLink, vertex, dis);
      if (bestDis > dis) {
        bestLink = link;
        best = &lane;
        bestDis = dis;
        bestVertex = vertex;
      }
    }
  }
  if (best == nullptr) return false;
  foot = bestVertex;
  endpoint.ptEnd = LastVertex(best->vctvdGeoLink);
  endpoint.liLinkId = bestLink->liId;
  endpoint.liLaneId = best->liId;
  endpoint.nFromSeqNum = best->nSeqNum;
  endpoint.nToSeqNum = best->nSeqNum;
  endpoint.dLinkLength = bestLink->dLength;
  distance = bestDis;
  return true;
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
