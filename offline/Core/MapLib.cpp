#include "MapLib.h"

#include <set>

#include "HdLibMath.h"
#include "MapConfig.h"

namespace ql {

MapLib::MapLib() { m_spHdLib = HdLib::GetInstance(); }

void MapLib::Init(const std::string& projectPath, const std::string& configPath) {
  m_spHdLib->Init(projectPath, configPath);
}

bool MapLib::BFSLinks(const HdLinkId& start, double& distance, bool forward, bool& found, double maxDistance,
                      HdLinkId& foundId) const {
  constexpr int sc_nRoadType_Channel = 3;
  std::set<HdLinkId> next;  // the coming level, ordered and deduplicated by lValue

  // One visit: false when it ends without a channel (after queueing what the link leads to).
  const auto visit = [&](const HdLinkId& link, bool visited, bool isStart) {
    if (visited || distance >= maxDistance) return false;
    if (!isStart) {
      double length = 0.0;  // stays 0 for a link that is not loaded
      m_spHdLib->GetLinkLength(link, length);
      distance += length;
    }
    int type = 0;
    m_spHdLib->GetLinkType(link, type);
    if (type == sc_nRoadType_Channel) {
      found = true;
      foundId = link;
      return true;
    }
    std::vector<HdLinkId> around;
    if (forward) {
      m_spHdLib->GetLinkNext(link, around);
    } else {
      m_spHdLib->GetLinkPre(link, around);
    }
    next.insert(around.begin(), around.end());
    return false;
  };

  if (visit(start, false, true)) return true;
  std::set<HdLinkId> visited{start};
  while (!next.empty()) {
    std::set<HdLinkId> level;
    level.swap(next);
    for (const HdLinkId& link : level) {
      const bool done = visit(link, visited.count(link) != 0, link == start);
      visited.insert(link);
      if (done) return true;
    }
  }
  return true;
}

// ---- forwarders -------------------------------------------------------------------------------

const HdLink* MapLib::GetLinkData(const HdLinkId& id) const { return m_spHdLib->GetLinkData(id); }
const HdLink* MapLib::GetLinkData(const HdLinkId& id, const LocatedLane& where) const {
  return m_spHdLib->GetLinkData(id, where);
}
const HdLane* MapLib::GetLaneById(const HdLink* link, const HdLaneId& laneId) const {
  return HdLib::GetLaneById(link, laneId);
}
const HdEdge* MapLib::GetEdgeById(const HdLink* link, long edgeId) const {
  return HdLib::GetEdgeById(link, edgeId);
}

bool MapLib::GetLocateLanes(const Point& p, std::vector<HdLinkId>& links, std::vector<HdLaneId>& lanes) const {
  return m_spHdLib->GetLocateLanes(p, links, lanes);
}

bool MapLib::GetLocateLanes(const Point& p, std::vector<LocatedLane>& located) const {
  return m_spHdLib->GetLocateLanes(p, located);
}
bool MapLib::GetIsInCross(const Point& p) const { return m_spHdLib->GetIsInCross(p); }

bool MapLib::GetLinkLength(const HdLinkId& id, double& length) const {
  return m_spHdLib->GetLinkLength(id, length);
}
bool MapLib::GetLinkType(const HdLinkId& id, int& type) const { return m_spHdLib->GetLinkType(id, type); }
bool MapLib::GetLinkStartAngle(const HdLinkId& id, double& angle) const {
  return m_spHdLib->GetLinkStartAngle(id, angle);
}
bool MapLib::GetLinkSpeedLimit(const HdLinkId& id, int& speedLimit) const {
  return m_spHdLib->GetLinkSpeedLimit(id, speedLimit);
}
bool MapLib::GetLinkRank(const HdLinkId& id, int& rank) const { return m_spHdLib->GetLinkRank(id, rank); }
bool MapLib::GetLinkPre(const HdLinkId& id, std::vector<HdLinkId>& pre) const {
  return m_spHdLib->GetLinkPre(id, pre);
}
bool MapLib::GetLinkNext(const HdLinkId& id, std::vector<HdLinkId>& nxt) const {
  return m_spHdLib->GetLinkNext(id, nxt);
}
bool MapLib::GetLinkNext(const HdLinkId& id, int laneNum, std::vector<HdLinkId>& nxt) const {
  return m_spHdLib->GetLinkNext(id, laneNum, nxt);
}
bool MapLib::GetLinkPreNxt(const HdLinkId& id, std::vector<HdLinkId>& pre, std::vector<HdLinkId>& nxt) const {
  return m_spHdLib->GetLinkPreNxt(id, pre, nxt);
}
bool MapLib::GetLaneCnt(const HdLinkId& id, int& count) const { return m_spHdLib->GetLaneCnt(id, count); }
bool MapLib::GetEdgeCnt(const HdLinkId& id, int& count) const { return m_spHdLib->GetEdgeCnt(id, count); }
bool MapLib::GetEdgeId(const HdLinkId& id, int index, long& edgeId) const {
  return m_spHdLib->GetEdgeId(id, index, edgeId);
}
bool MapLib::GetEdgeCross(const HdLinkId& id, long edgeId, int& cross) const {
  return m_spHdLib->GetEdgeCross(id, edgeId, cross);
}
bool MapLib::GetEdgeColor(const HdLinkId& id, long edgeId, int& color) const {
  return m_spHdLib->GetEdgeColor(id, edgeId, color);
}
bool MapLib::GetEdgeGeoLink(const HdLinkId& id, long edgeId, GeoLink& geo) const {
  return m_spHdLib->GetEdgeGeoLink(id, edgeId, geo);
}

bool MapLib::GetLaneId(const HdLinkId& id, int laneNum, HdLaneId& laneId) const {
  return m_spHdLib->GetLaneId(id, laneNum, laneId);
}
bool MapLib::GetLaneNum(const HdLinkId& id, const HdLaneId& laneId, int& laneNum) const {
  return m_spHdLib->GetLaneNum(id, laneId, laneNum);
}
bool MapLib::GetLaneType(const HdLinkId& id, int laneNum, int& type) const {
  return m_spHdLib->GetLaneType(id, laneNum, type);
}
bool MapLib::GetLaneNext(const HdLinkId& id, int laneNum, std::vector<HdLaneId>& nxt) const {
  return m_spHdLib->GetLaneNext(id, laneNum, nxt);
}
bool MapLib::GetLaneWidth(const HdLinkId& id, int laneNum, int& width) const {
  return m_spHdLib->GetLaneWidth(id, laneNum, width);
}
bool MapLib::GetLaneGeoLink(const HdLinkId& id, int laneNum, GeoLink& geo) const {
  return m_spHdLib->GetLaneGeoLink(id, laneNum, geo);
}
bool MapLib::GetLaneAzimuth(const HdLinkId& id, const HdLaneId& laneId, const Point& p, double& azimuth) const {
  return m_spHdLib->GetLaneAzimuth(id, laneId, p, azimuth);
}
bool MapLib::GetLinkSpeedLimit(const HdLink* link, int& speedLimit) const {
  return HdLib::GetLinkSpeedLimit(link, speedLimit);
}
bool MapLib::GetLaneCnt(const HdLink* link, int& count) const { return HdLib::GetLaneCnt(link, count); }
bool MapLib::GetLaneNum(const HdLink* link, const HdLaneId& laneId, int& laneNum) const {
  return HdLib::GetLaneNum(link, laneId, laneNum);
}
bool MapLib::GetLaneAzimuth(const HdLink* link, const HdLaneId& laneId, const Point& p, double& azimuth,
                            const LocatedLane* where) const {
  return HdLib::GetLaneAzimuth(link, laneId, p, azimuth, where);
}
bool MapLib::GetLaneAzimuth(const HdLinkId& id, const HdLaneId& laneId, const Point& p, double& azimuth,
                            const LocatedLane& where) const {
  return m_spHdLib->GetLaneAzimuth(id, laneId, p, azimuth, where);
}
bool MapLib::GetLaneEdgeId(const HdLinkId& id, int laneNum, bool left, long& edgeId) const {
  return m_spHdLib->GetLaneEdgeId(id, laneNum, left, edgeId);
}
bool MapLib::GetLaneEdgeCrossType(const HdLinkId& id, int laneNum, bool left, int& crossType) const {
  return m_spHdLib->GetLaneEdgeCrossType(id, laneNum, left, crossType);
}
bool MapLib::GetLaneEdgeGeoLink(const HdLinkId& id, int laneNum, bool left, GeoLink& geo) const {
  return m_spHdLib->GetLaneEdgeGeoLink(id, laneNum, left, geo);
}
bool MapLib::IsLaneContainArrow(const HdLinkId& id, int laneNum, char letter) const {
  return m_spHdLib->IsLaneContainArrow(id, laneNum, letter);
}

bool MapLib::GetStopLineGeoLink(const HdLinkId& id, int type, GeoLink& geo) const {
  return m_spHdLib->GetStopLineGeoLink(id, type, geo);
}
bool MapLib::GetOverHeadGeoLink(const HdLinkId& id, int laneNum, int unused, GeoLink& geo) const {
  return m_spHdLib->GetOverHeadGeoLink(id, laneNum, unused, geo);
}
bool MapLib::GetTrafficSign(const HdLinkId& id, std::vector<int>& types, std::vector<int>& shapes,
                            std::vector<int>& values, std::vector<std::string>& texts,
                            std::vector<GeoLink>& areas) const {
  return m_spHdLib->GetTrafficSign(id, types, shapes, values, texts, areas);
}
bool MapLib::GetTrafficSign(const Point& p, std::vector<int>& types, std::vector<int>& shapes,
                            std::vector<int>& values, std::vector<std::string>& texts,
                            std::vector<GeoLink>& areas) const {
  return m_spHdLib->GetTrafficSign(p, types, shapes, values, texts, areas);
}
bool MapLib::GetTrafficSignGeoArea(const HdLinkId& id, int kind, GeoLink& geo) const {
  return m_spHdLib->GetTrafficSignGeoArea(id, kind, geo);
}

bool MapLib::ConvertGeoLink(const GeoLink& geo, std::vector<Point>& points) const {
  return m_spHdLib->ConvertGeoLink(geo, points);
}
bool MapLib::ConvertGeoLink(const std::vector<Point>& points, GeoLink& geo) const {
  return m_spHdLib->ConvertGeoLink(points, geo);
}
bool MapLib::GetPerpendicularFoot(const Point& p, const GeoLink& line, Point& foot, double& distance) const {
  return HdLibMath::GetPerpendicularFoot(p, line, foot, distance);
}

bool MapLib::GetPerpendicularFoot(const Point& p, const GeoLink& line, const PlaneLine& plane, Point& foot,
                                  double& distance) const {
  int index = 0;
  return HdLibMath::GetPerpendicularFoot(p, line, plane, foot, distance, index);
}

// ---- endpoint graph ------------------------------------------------------------------------------

namespace {

// The configured box of the endpoint searches, as it stands at the call.
float RouteRectLon() { return static_cast<float>(MapConfig::route_rect_lon); }
float RouteRectLat() { return static_cast<float>(MapConfig::route_rect_lat); }

}  // namespace

bool MapLib::GetNearEndpoints(const Point& p, std::vector<Point>& feet, std::vector<LinkEndpoint>& endpoints,
                              std::vector<double>& distances) const {
  return m_spHdLib->GetNearEndpoints(p, RouteRectLon(), RouteRectLat(), feet, endpoints, distances);
}
bool MapLib::GetNearEndpoints(const Point& p, std::vector<Point>& feet, std::vector<LaneEndpoint>& endpoints,
                              std::vector<double>& distances) const {
  return m_spHdLib->GetNearEndpoints(p, RouteRectLon(), RouteRectLat(), feet, endpoints, distances);
}
bool MapLib::GetNearestEndpoint(const Point& p, Point& foot, LinkEndpoint& endpoint, double& distance) const {
  return m_spHdLib->GetNearestEndpoint(p, RouteRectLon(), RouteRectLat(), foot, endpoint, distance);
}
bool MapLib::GetNearestEndpoint(const Point& p, Point& foot, LaneEndpoint& endpoint, double& distance) const {
  return m_spHdLib->GetNearestEndpoint(p, RouteRectLon(), RouteRectLat(), foot, endpoint, distance);
}
bool MapLib::GetLocateEndpoints(const Point& p, std::vector<LinkEndpoint>& endpoints) const {
  return m_spHdLib->GetLocateEndpoints(p, RouteRectLon(), RouteRectLat(), endpoints);
}
bool MapLib::GetLocateEndpoints(const Point& p, std::vector<LaneEndpoint>& endpoints) const {
  return m_spHdLib->GetLocateEndpoints(p, RouteRectLon(), RouteRectLat(), endpoints);
}
bool MapLib::GetPreEndpoints(const LaneEndpoint& endpoint, std::vector<LaneEndpoint>& out) const {
  return m_spHdLib->GetPreEndpoints(endpoint, out);
}
bool MapLib::GetGeoLink(const LaneEndpoint& endpoint, GeoLink& geometry, bool load) const {
  return m_spHdLib->GetGeoLink(endpoint, geometry, load);
}
bool MapLib::GetGeoLink(const HdLinkId& id, GeoLink& geometry) const {
  return m_spHdLib->GetGeoLink(id, geometry);
}

void MapLib::HmmBindRoad(const BindRoadInput& in, BindRoadOutput& out) { m_bindRoad.BindRoadHmm(in, out); }

}  // namespace ql
