#pragma once  // MapLib.h: the facade through which the top level reaches the HD map

// MapLib forwards each HD query to the process-wide HdLib under the same name and arguments
// and returns its result unchanged (see HdLib.h for what each one answers and leaves alone).
// Its one operation of its own is BFSLinks, a breadth-first search over the link graph.
//
// Init must run before any query: the queries read the HD tile store that Init creates.
// The facade does not check this; the Python module guarantees the order.

#include <memory>
#include <string>
#include <vector>

#include "BindRoad.h"
#include "CoordSys.h"
#include "HdLib.h"
#include "HdTypes.h"

namespace ql {

class MapLib {
 public:
  using GeoLink = HdLib::GeoLink;

  // Obtains the HdLib instance, creating it on the first construction.
  MapLib();

  // Reads the configuration and loads every HD tile of the configured directory.
  void Init(const std::string& projectPath, const std::string& configPath);

  // Breadth-first search from `start`, level by level over successors (forward) or
  // predecessors, for a link of type 3 (a channel). `distance` is read and increased by the
  // length of every link visited apart from the start, over all branches together (not one
  // path's length); once it reaches `maxDistance` no further link is expanded. `found` and
  // `foundId` are written only when a channel is found (the start itself included), so the
  // caller sets `found` to false first. Always returns true.
  bool BFSLinks(const HdLinkId& start, double& distance, bool forward, bool& found, double maxDistance,
                HdLinkId& foundId) const;

  // ---- records in place ---------------------------------------------------------------------
  // The loaded link, its first lane with that id and its first edge with that lId, where the
  // tile cache keeps them: a request reads their lists and lane line without copying them. Null
  // when missing (see HdLib::GetLinkData, GetLaneById, GetEdgeById); valid for the process's life.
  const HdLink* GetLinkData(const HdLinkId& id) const;
  const HdLink* GetLinkData(const HdLinkId& id, const LocatedLane& where) const;  // HdLib's, with the hint
  const HdLane* GetLaneById(const HdLink* link, const HdLaneId& laneId) const;
  const HdEdge* GetEdgeById(const HdLink* link, long edgeId) const;

  // ---- location ---------------------------------------------------------------------------
  bool GetLocateLanes(const Point& p, std::vector<HdLinkId>& links, std::vector<HdLaneId>& lanes) const;
  bool GetLocateLanes(const Point& p, std::vector<LocatedLane>& located) const;
  bool GetIsInCross(const Point& p) const;

  // ---- link attributes ----------------------------------------------------------------------
  bool GetLinkLength(const HdLinkId& id, double& length) const;
  bool GetLinkType(const HdLinkId& id, int& type) const;
  bool GetLinkStartAngle(const HdLinkId& id, double& angle) const;
  bool GetLinkSpeedLimit(const HdLinkId& id, int& speedLimit) const;
  bool GetLinkRank(const HdLinkId& id, int& rank) const;
  bool GetLinkPre(const HdLinkId& id, std::vector<HdLinkId>& pre) const;
  bool GetLinkNext(const HdLinkId& id, std::vector<HdLinkId>& nxt) const;
  bool GetLinkNext(const HdLinkId& id, int laneNum, std::vector<HdLinkId>& nxt) const;
  bool GetLinkPreNxt(const HdLinkId& id, std::vector<HdLinkId>& pre, std::vector<HdLinkId>& nxt) const;
  bool GetLaneCnt(const HdLinkId& id, int& count) const;
  bool GetEdgeCnt(const HdLinkId& id, int& count) const;
  bool GetEdgeId(const HdLinkId& id, int index, long& edgeId) const;
  bool GetEdgeCross(const HdLinkId& id, long edgeId, int& cross) const;
  bool GetEdgeColor(const HdLinkId& id, long edgeId, int& color) const;
  bool GetEdgeGeoLink(const HdLinkId& id, long edgeId, GeoLink& geo) const;

  // ---- lane attributes ----------------------------------------------------------------------
  bool GetLaneId(const HdLinkId& id, int laneNum, HdLaneId& laneId) const;
  bool GetLaneNum(const HdLinkId& id, const HdLaneId& laneId, int& laneNum) const;
  bool GetLaneType(const HdLinkId& id, int laneNum, int& type) const;
  bool GetLaneNext(const HdLinkId& id, int laneNum, std::vector<HdLaneId>& nxt) const;
  bool GetLaneWidth(const HdLinkId& id, int laneNum, int& width) const;
  bool GetLaneGeoLink(const HdLinkId& id, int laneNum, GeoLink& geo) const;
  bool GetLaneAzimuth(const HdLinkId& id, const HdLaneId& laneId, const Point& p, double& azimuth) const;
  // On a record held in place (GetLinkData), as HdLib reads it.
  bool GetLinkSpeedLimit(const HdLink* link, int& speedLimit) const;
  bool GetLaneCnt(const HdLink* link, int& count) const;
  bool GetLaneNum(const HdLink* link, const HdLaneId& laneId, int& laneNum) const;
  bool GetLaneAzimuth(const HdLink* link, const HdLaneId& laneId, const Point& p, double& azimuth,
                      const LocatedLane* where = nullptr) const;
  bool GetLaneAzimuth(const HdLinkId& id, const HdLaneId& laneId, const Point& p, double& azimuth,
                      const LocatedLane& where) const;
  bool GetLaneEdgeId(const HdLinkId& id, int laneNum, bool left, long& edgeId) const;
  bool GetLaneEdgeCrossType(const HdLinkId& id, int laneNum, bool left, int& crossType) const;
  bool GetLaneEdgeGeoLink(const HdLinkId& id, int laneNum, bool left, GeoLink& geo) const;
  bool IsLaneContainArrow(const HdLinkId& id, int laneNum, char letter) const;

  // ---- road objects -------------------------------------------------------------------------
  bool GetStopLineGeoLink(const HdLinkId& id, int type, GeoLink& geo) const;
  bool GetOverHeadGeoLink(const HdLinkId& id, int laneNum, int unused, GeoLink& geo) const;
  bool GetTrafficSign(const HdLinkId& id, std::vector<int>& types, std::vector<int>& shapes,
                      std::vector<int>& values, std::vector<std::string>& texts,
                      std::vector<GeoLink>& areas) const;
  bool GetTrafficSign(const Point& p, std::vector<int>& types, std::vector<int>& shapes, std::vector<int>& values,
                      std::vector<std::string>& texts, std::vector<GeoLink>& areas) const;
  bool GetTrafficSignGeoArea(const HdLinkId& id, int kind, GeoLink& geo) const;

  // ---- geometry -----------------------------------------------------------------------------
  bool ConvertGeoLink(const GeoLink& geo, std::vector<Point>& points) const;
  bool ConvertGeoLink(const std::vector<Point>& points, GeoLink& geo) const;
  // The foot of the perpendicular from p on the line and its distance (HdLibMath).
  bool GetPerpendicularFoot(const Point& p, const GeoLink& line, Point& foot, double& distance) const;
  // The same with the line's plane coordinates where its tile worked them out.
  bool GetPerpendicularFoot(const Point& p, const GeoLink& line, const PlaneLine& plane, Point& foot,
                            double& distance) const;

  // ---- endpoint graph -----------------------------------------------------------------------
  // The searches near p take their box from the configuration, read at every call: half-sizes
  // MapConfig::route_rect_lon (east-west) and route_rect_lat (north-south), in metres, as float.
  // Both are 0 until a configuration gives them, and a box of size 0 finds nothing.
  bool GetNearEndpoints(const Point& p, std::vector<Point>& feet, std::vector<LinkEndpoint>& endpoints,
                        std::vector<double>& distances) const;
  bool GetNearEndpoints(const Point& p, std::vector<Point>& feet, std::vector<LaneEndpoint>& endpoints,
                        std::vector<double>& distances) const;
  bool GetNearestEndpoint(const Point& p, Point& foot, LinkEndpoint& endpoint, double& distance) const;
  bool GetNearestEndpoint(const Point& p, Point& foot, LaneEndpoint& endpoint, double& distance) const;
  bool GetLocateEndpoints(const Point& p, std::vector<LinkEndpoint>& endpoints) const;
  bool GetLocateEndpoints(const Point& p, std::vector<LaneEndpoint>& endpoints) const;
  bool GetPreEndpoints(const LaneEndpoint& endpoint, std::vector<LaneEndpoint>& out) const;
  bool GetGeoLink(const LaneEndpoint& endpoint, GeoLink& geometry, bool load) const;
  bool GetGeoLink(const HdLinkId& id, GeoLink& geometry) const;

  // ---- road binding -------------------------------------------------------------------------
  // Runs the facade's own engine (BindRoad::BindRoadHmm), which matches nothing: out is unchanged.
  void HmmBindRoad(const BindRoadInput& in, BindRoadOutput& out);

 private:
  std::shared_ptr<HdLib> m_spHdLib;  // the process-wide instance (HdLib::m_spInstance shares it)
  // Built after m_spHdLib and before the constructor's body obtains the HdLib instance, so it
  // copies the candidate limit configured at that moment (0 for the module's facade, built as the
  // module loads, before any configuration is read).
  BindRoad m_bindRoad;
};

}  // namespace ql
