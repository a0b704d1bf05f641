#include "HdLib.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <unordered_set>
#include <utility>

#include "Console.h"
#include "HdLibMath.h"
#include "LinkSummary.h"
#include "MapConfig.h"
#include "MapTypes.h"
#include "Numeric.h"
#include "Singleton.h"
#include "World.h"
#include "internal/HdLinkParts.h"

namespace ql {

std::shared_ptr<HdLib> HdLib::m_spInstance;

namespace {

using namespace linkparts;
using GeoLink = HdLib::GeoLink;

// ---- lookups of these queries alone (the shared ones: HdLinkParts.h) -----------------------------

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

// SortOncePerId (HdLinkParts.h) on the links' summaries: sorted from the same order, the same
// copy of a link stays.
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

int HdLib::GetEdgeIndexById(const HdLink* link, long edgeId) { return linkparts::EdgeIndexById(link, edgeId); }

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

// A strip test's answer for one link: lanes between the same two edges, the same way round, hold
// p alike, so a link whose lanes share their edges costs one walk along them, not one per lane.
struct TestedStrip {
  std::int32_t nLeft;
  std::int32_t nRight;
  bool bReversed;
  bool bHolds;
};

// For every link of the box of half-sizes w, h (ascending) and every lane of it holding p (stored
// order), calls found(summary, k) for lane k. False when no link is near.
template <class Found>
bool ForEachLaneHolding(const Point& p, float w, float h, Found&& found) {
  thread_local std::vector<const LinkSummary*> nearby;  // kept from call to call
  thread_local std::vector<TestedStrip> testedStore;    // of one link
  std::vector<TestedStrip>& tested = testedStore;
  if (!SummariesNearby(p, w, h, nearby)) return false;
  const XYZ q = P2XYZ(p);
  const int zone = P2Zone(p);
  for (const LinkSummary* summary : nearby) {
    // Every lane's strip lies between edges of its own link.
    if (summary->bounds.Excludes(p, q)) continue;
    const HdLink& link = *summary->pRecord;
    tested.clear();
    for (std::size_t k = 0; k < link.vcthlLane.size(); ++k) {
      const LaneSummary& lane = summary->pLanes[k];
      // A quick, exact rejection first: most nearby lanes lie metres away.
      if (!lane.bHasStrip || lane.bounds.Excludes(p, q)) continue;
      const auto same = std::find_if(tested.begin(), tested.end(), [&lane](const TestedStrip& t) {
        return t.nLeft == lane.nLeft && t.nRight == lane.nRight && t.bReversed == lane.bReversed;
      });
      bool holds = false;
      if (same != tested.end()) {
        holds = same->bHolds;
      } else {
        const HdLib::GeoLink& left = link.vctheEdge[static_cast<std::size_t>(lane.nLeft)].vctvdGeoLink;
        const HdLib::GeoLink& right = link.vctheEdge[static_cast<std::size_t>(lane.nRight)].vctvdGeoLink;
        holds = HdLibMath::IsInRecArea(p, q, zone, left, summary->pEdgeLines[lane.nLeft], right,
                                       summary->pEdgeLines[lane.nRight], lane.bReversed);
        tested.push_back(TestedStrip{lane.nLeft, lane.nRight, lane.bReversed, holds});
      }
      if (holds) found(*summary, k);
    }
  }
  return true;
}

}  // namespace

namespace linkparts {

bool CollectLanesHolding(const Point& p, float w, float h,
                         std::vector<std::pair<const HdLink*, std::size_t>>& out) {
  return ForEachLaneHolding(
      p, w, h, [&out](const LinkSummary& summary, std::size_t k) { out.emplace_back(summary.pRecord, k); });
}

}  // namespace linkparts

bool HdLib::GetLocateLanes(const Point& p, std::vector<HdLinkId>& links, std::vector<HdLaneId>& lanes) const {
  if (!ForEachLaneHolding(p, 20.0f, 20.0f, [&](const LinkSummary& summary, std::size_t k) {
        lanes.push_back(summary.pRecord->vcthlLane[k].liId);
        links.push_back(summary.pRecord->liId);
      })) {
    return false;
  }
  return !lanes.empty();
}

bool HdLib::GetLocateLanes(const Point& p, std::vector<LocatedLane>& located) const {
  if (!ForEachLaneHolding(p, 20.0f, 20.0f, [&](const LinkSummary& summary, std::size_t k) {
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
  // A successor goes in once: listed again, or continuing the lane in more lanes or entries, it
  // would only be listed again, and the sort below keeps one of each id.
  std::vector<const HdLink*> continuing;
  std::unordered_set<const HdLink*> handled;
  for (const HdLinkId& nextId : link->vctliNxtLinkId) {
    const HdLink* next = GetLinkData(nextId);
    if (next == nullptr || !handled.insert(next).second) continue;
    const bool continues =
        std::any_of(next->vcthlLane.begin(), next->vcthlLane.end(), [laneId](const HdLane& lane) {
          return std::any_of(lane.vctliPreLaneId.begin(), lane.vctliPreLaneId.end(),
                             [laneId](const HdLaneId& pre) { return static_cast<long>(pre) == laneId; });
        });
    if (continues) continuing.push_back(next);
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

}  // namespace ql
