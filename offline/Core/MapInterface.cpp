#include "MapInterface.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iostream>
#include <limits>

#include "Console.h"
#include "HdLib.h"

namespace ql {

namespace {

// The attribute outputs of a request, in the order the request fills them: a step that fails
// clears its own output and every later one.
struct Outputs {
  int& laneCnt;
  int& laneNum;
  LaneType& laneType;
  EdgeCrossType& leftCross;
  EdgeCrossType& rightCross;
  int& speedLimit;
  double& laneAngle;
  Point& foot;

  enum Step { kLaneCnt, kLaneNum, kLaneType, kLeftCross, kRightCross, kSpeedLimit, kLaneAngle, kFoot };

  void ClearFrom(Step first) {
    if (first <= kLaneCnt) laneCnt = 0;
    if (first <= kLaneNum) laneNum = 0;
    if (first <= kLaneType) laneType = LaneType{};
    if (first <= kLeftCross) leftCross = EdgeCrossType{};
    if (first <= kRightCross) rightCross = EdgeCrossType{};
    if (first <= kSpeedLimit) speedLimit = 0;
    if (first <= kLaneAngle) laneAngle = 0.0;
    foot = Point();
  }

  // Clears from `first` on and reports the step on the console; false for the caller to return.
  bool Fail(Step first, const char* what) {
    ClearFrom(first);
    BeforeConsoleOutput();
    std::cout << "MapInterface::GetMapData(), " << what << std::endl;
    return false;
  }
};

// The candidate whose angle is closest to the heading, the two compared on the circle: their
// difference is reduced modulo a turn first (for values within 360 degrees of each other that is
// the difference itself), so a heading of -10 or 710 is the heading 350. Equal differences go to
// the later candidate; a NaN difference (a heading or angle that is not finite) never wins;
// a candidate without lane azimuth and link start angle is skipped; with none left, the first.
// When the chosen candidate's angle was its lane azimuth, that azimuth is left in laneAzimuth
// and hasAzimuth is set: the request reads the same azimuth again and need not search the
// samples twice.
std::size_t ChooseCandidate(const MapLib& map, const Point& p, double heading,
                            const std::vector<LocatedLane>& found, bool& hasAzimuth, double& laneAzimuth) {
  hasAzimuth = false;
  if (found.size() == 1) return 0;  // taken without reading its angle
  // A candidate's angle depends on its link and lane id alone (both lookups take the link's first
  // lane of that id), so the link's record is looked up once per link and each lane id's angle
  // read once: a link of many lanes costs one lookup through its tile list, and lanes sharing an
  // id one search of the samples. The candidates of a link come together.
  struct Angle {
    long nLane;
    bool bFound;
    bool bAzimuth;
    double dAngle;
  };
  thread_local std::vector<Angle> readStore;  // of the current link
  std::vector<Angle>& read = readStore;
  read.clear();
  const HdLink* readLink = nullptr;
  const HdLink* record = nullptr;  // readLink's record as a lookup by its id finds it
  std::size_t chosen = 0;
  double best = std::numeric_limits<double>::max();
  for (std::size_t i = 0; i < found.size(); ++i) {
    const long laneId = found[i].pLane->liId;
    if (found[i].pLink != readLink) {
      read.clear();
      readLink = found[i].pLink;
      record = map.GetLinkData(readLink->liId, found[i]);
    }
    auto known = std::find_if(read.begin(), read.end(), [laneId](const Angle& a) { return a.nLane == laneId; });
    if (known == read.end()) {
      Angle a{laneId, false, false, 0.0};
      a.bAzimuth = map.GetLaneAzimuth(record, found[i].pLane->liId, p, a.dAngle, &found[i]);
      if (a.bAzimuth) {
        a.bFound = true;
      } else if (record != nullptr) {
        a.bFound = true;
        a.dAngle = record->dStartAngle;
      }
      read.push_back(a);
      known = read.end() - 1;
    }
    if (!known->bFound) continue;
    const bool isAzimuth = known->bAzimuth;
    const double angle = known->dAngle;
    const double r = std::fmod(std::fabs(heading - angle), 360.0);
    const double d = std::min(r, 360.0 - r);
    if (best >= d) {
      best = d;
      chosen = i;
      hasAzimuth = isAzimuth;
      laneAzimuth = angle;
    }
  }
  return chosen;
}

}  // namespace

void MapInterface::Init(const std::string& projectPath, std::string configPath) {
  m_mapLib.Init(projectPath, configPath);
}

bool MapInterface::GetMapData(const Point& p, double heading, long& linkId, std::vector<long>& preIds,
                              std::vector<long>& nxtIds, int& laneCnt, int& laneNum, LaneType& laneType,
                              EdgeCrossType& leftCross, EdgeCrossType& rightCross, int& speedLimit,
                              double& laneAngle, Point& foot, int& isInCross) {
  Outputs out{laneCnt, laneNum, laneType, leftCross, rightCross, speedLimit, laneAngle, foot};
  isInCross = 0;

  // The candidates (the lanes holding p, with their links), in a list kept from request to request.
  thread_local std::vector<LocatedLane> located;
  located.clear();
  if (!m_mapLib.GetLocateLanes(p, located)) {
    out.ClearFrom(Outputs::kLaneCnt);
    foot = p;  // off every lane: the position is its own foot
    return false;
  }
  if (m_mapLib.GetIsInCross(p)) isInCross = 1;

  bool hasAzimuth = false;
  double chosenAzimuth = 0.0;
  const std::size_t chosen = ChooseCandidate(m_mapLib, p, heading, located, hasAzimuth, chosenAzimuth);
  const HdLinkId& link = located[chosen].pLink->liId;
  const HdLaneId& lane = located[chosen].pLane->liId;

  linkId = link.lValue;
  // The record itself, read in place: the lists and the lane line are not copied. Once a
  // link was found its tiles are cached for good, so every later lookup of it would find the
  // same record: the steps below read this one.
  const HdLink* record = m_mapLib.GetLinkData(link, located[chosen]);
  if (record != nullptr) {  // a missing link gives empty lists; the next step fails for it
    for (const HdLinkId& id : record->vctliPreLinkId) preIds.push_back(id.lValue);
    for (const HdLinkId& id : record->vctliNxtLinkId) nxtIds.push_back(id.lValue);
  }

  if (!m_mapLib.GetLaneCnt(record, laneCnt)) return out.Fail(Outputs::kLaneCnt, "get lane count failed.");
  if (!m_mapLib.GetLaneNum(record, lane, laneNum)) return out.Fail(Outputs::kLaneNum, "get lane num failed.");

  // Type, edge crossings and line are those of the lane that holds the position, the one whose
  // number was just read: a lane number names no lane where the lanes are not stored as 1..n
  // (the reverse direction of a two-way link is numbered below zero).
  const HdLane* held = m_mapLib.GetLaneById(record, lane);
  if (held == nullptr) return out.Fail(Outputs::kLaneType, "get lane type failed.");
  laneType = static_cast<LaneType>(held->nType);

  const HdEdge* left = m_mapLib.GetEdgeById(record, held->lLeftEdgeId);
  if (left == nullptr) return out.Fail(Outputs::kLeftCross, "get left lane edge cross failed.");
  leftCross = static_cast<EdgeCrossType>(left->nCross);
  const HdEdge* right = m_mapLib.GetEdgeById(record, held->lRightEdgeId);
  if (right == nullptr) return out.Fail(Outputs::kRightCross, "get right lane cross failed.");
  rightCross = static_cast<EdgeCrossType>(right->nCross);

  if (!m_mapLib.GetLinkSpeedLimit(record, speedLimit))
    return out.Fail(Outputs::kSpeedLimit, "get link speed failed.");
  // Needs the lane's ADAS samples even when the choice above fell back on the link's start angle.
  if (hasAzimuth) {
    laneAngle = chosenAzimuth;
  } else if (!m_mapLib.GetLaneAzimuth(record, lane, p, laneAngle, &located[chosen])) {
    return out.Fail(Outputs::kLaneAngle, "get lane angle failed.");
  }

  // A lane stored without a line has no foot point: the foot of an empty line would be (0, 0),
  // reported as found, so the request fails here as for a line that cannot be read.
  if (held->vctvdGeoLink.empty()) {
    foot = Point();
    return false;
  }
  // The held lane is the located one where the link lookup found the same record: its tile has
  // the line's plane coordinates.
  const PlaneLine plane = located[chosen].pLane == held ? *located[chosen].pLine : PlaneLine();
  double distance = 0.0;
  if (!m_mapLib.GetPerpendicularFoot(p, held->vctvdGeoLink, plane, foot, distance)) {
    return out.Fail(Outputs::kFoot, "get lane foot point failed.");
  }
  return true;
}

bool MapInterface::GetMapData(const Point& p, double heading, int& laneCnt, int& laneNum, LaneType& laneType,
                              EdgeCrossType& leftCross, EdgeCrossType& rightCross, int& speedLimit,
                              double& laneAngle, Point& foot) {
  long linkId = 0;
  std::vector<long> preIds;
  std::vector<long> nxtIds;
  int isInCross = 0;
  return GetMapData(p, heading, linkId, preIds, nxtIds, laneCnt, laneNum, laneType, leftCross, rightCross,
                    speedLimit, laneAngle, foot, isInCross);
}

}  // namespace ql
