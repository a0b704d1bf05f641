#pragma once  // HdLib.h: the HD map queries over the process-wide HD tile store

// One instance per process (GetInstance). HdLib keeps no map data of its own: every query
// asks the HD World, and the links and lanes it hands out are const pointers into cached
// tiles, valid for the life of the process (tiles are never unloaded).
//
// Conventions of every query:
// - The result is true when the answer was found; on false every output is left as it was.
// - Point searches (GetLocateLanes) and the collecting operations (GetLinkNext by lane
//   number, GetLanesInTypes, GetLanesOutTypes, both ConvertGeoLink) append to the caller's
//   vectors; GetDataNearby and the getters of one stored list, geometry or text replace them.
// - Before Init there is no HD store: a query that needs one returns false, null or empty.
// - A link lookup loads the tiles the id lists; a box search loads the tiles of the box. A
//   malformed JSON tile met on the way raises ajson::exception through the query.
// - Lane number n names the lane at position n - 1 of the link's vcthlLane (1 <= n <= lane
//   count), except GetLaneId, GetLaneGeoLink (by number), GetLaneData and GetLaneBySeqNum,
//   which take the first lane whose nSeqNum equals n.
// - Boxes are half-sizes in metres, east-west (w) and north-south (h), in the 3-degree
//   Gauss-Krueger plane around the point (P2R); distances are haversine metres.
// - A coordinate tuple with fewer than two values raises std::invalid_argument where a query
//   reads it as a position (a caller's geometry: a loaded tile holds none, see CheckPositions).

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "CoordSys.h"
#include "HdTypes.h"

namespace ql {

// Passed through GetDataNearby unread; every caller passes 0.
enum GetDataNearby_param : int {};

class HdLib {
 public:
  using GeoLink = std::vector<std::vector<double>>;  // polyline or polygon of coordinate tuples

  // The one instance, created on the first call (no lock: callers are serialised).
  static std::shared_ptr<HdLib> GetInstance();

  // ---- setup ------------------------------------------------------------------------------

  // Reads the configuration (MapConfig::Init) and then every tile of the configured HD
  // directory into the store, which is created on the first call. When it raises, the
  // settings, the store's tiles and failed tiles (and whether there is a store) are as they
  // were before the call.
  void Init(const std::string& projectPath, const std::string& configPath);

  // The loaded link with that lValue, from the last tile the id lists; null when a listed
  // tile cannot be loaded, the last one lacks the link, or the id lists no tile.
  const HdLink* GetLinkData(const HdLinkId& id) const;
  // Loads every tile touched by the 1000 m box around p when load is true. True once the
  // store exists, whatever it found.
  bool LoadTile(const Point& p, bool load) const;
  // The positions of the configured GPS list file (altitude -1234.0 marks them).
  std::vector<Point> LoadGpses() const;
  // The ids of the links with a quadtree entry inside the rectangle, once each.
  std::set<HdLinkId> GetNodeIdsInRect(const Rect2D& rect) const;
  // Position of the link's first edge with that lId, or -1 (also for a null link).
  static int GetEdgeIndexById(const HdLink* link, long edgeId);
  // The link's first lane whose nSeqNum is laneNum, in place; null when no lane carries that
  // number, and for a null link.
  static const HdLane* GetLaneBySeqNum(const HdLink* link, int laneNum);
  // The ids of the links with a quadtree entry inside the box around p, ascending by lValue
  // and once each; ids is replaced (emptied when none). With load true the box's tiles are
  // loaded first (a box search loads them anyway). True once the store exists.
  bool GetLinkIdsInRect(const Point& p, float w, float h, std::vector<HdLinkId>& ids, bool load) const;

  // ---- location -----------------------------------------------------------------------------

  // The links with a quadtree entry inside the box around p, ascending by lValue, a link held
  // by several tiles once; links is replaced. False (links untouched) when there is none.
  // param and flag are not read.
  bool GetDataNearby(const Point& p, float w, float h, std::vector<const HdLink*>& links,
                     GetDataNearby_param param, bool flag) const;
  // For every link of the 20 m box (ascending) and every lane of it holding p (stored order),
  // appends the lane's id to lanes and the link's id to links, in step. True when lanes is
  // non-empty afterwards (so also for a non-empty list passed in, once some link is near);
  // false without touching either list when no link is near.
  bool GetLocateLanes(const Point& p, std::vector<HdLinkId>& links, std::vector<HdLaneId>& lanes) const;
  // Whether p lies in the strip between the lane's left and right edge lines. The left line
  // is walked backwards when the first vertices of the two lines lie farther apart than the
  // lane width plus 2 m (5 m for a lane without width). A lane whose edge ids name no edge of
  // the link, or whose edge has no geometry, holds nothing; so does a null link.
  static bool IsPointInLane(const Point& p, const HdLink* link, const HdLane& lane);
  // Whether a crossing area (ObjCrossing) of a link of the 10 m box around p holds p.
  bool GetIsInCross(const Point& p) const;
  // Path lengths (metres) along the polyline from its start to the perpendicular foot of p,
  // and from the foot to its end. Throws std::out_of_range for fewer than two vertices.
  static void GetPosInGeoLink(const Point& p, const GeoLink& geo, double& fromStart, double& toEnd);
  // Path lengths along the link's own geometry to and from its vertex nearest to p. False for
  // a link that is not loaded or has no geometry.
  bool GetPosInHdLink(const Point& p, const HdLinkId& id, double& fromStart, double& toEnd) const;
  // The perpendicular foot of p on the lane of the 20 m box whose nearest vertex is closest to
  // p (the first lane on a tie), and its distance. False when no such lane has geometry.
  bool GetNearestPointfromLaneGeo(const Point& p, Point& foot, double& distance) const;

  // ---- link attributes, by link id ---------------------------------------------------------

  bool GetLinkLength(const HdLinkId& id, double& length) const;  // metres
  bool GetLinkType(const HdLinkId& id, int& type) const;
  bool GetLinkStartAngle(const HdLinkId& id, double& angle) const;  // degrees
  bool GetLinkSpeedLimit(const HdLinkId& id, int& speedLimit) const;
  bool GetLinkRank(const HdLinkId& id, int& rank) const;
  bool GetLaneCnt(const HdLinkId& id, int& count) const;  // vcthlLane.size()
  bool GetEdgeCnt(const HdLinkId& id, int& count) const;  // vctheEdge.size()
  // Replaced; false also (list untouched) when the link has none.
  bool GetLinkPre(const HdLinkId& id, std::vector<HdLinkId>& pre) const;
  bool GetLinkNext(const HdLinkId& id, std::vector<HdLinkId>& nxt) const;
  // Both replaced, empty ones included; false only when the link is not loaded.
  bool GetLinkPreNxt(const HdLinkId& id, std::vector<HdLinkId>& pre, std::vector<HdLinkId>& nxt) const;
  // Appends, ascending and once each, the successor links one of whose lanes lists lane n as a
  // predecessor. False when the link is not loaded, n is invalid or the link has no
  // successors; true otherwise, also when none continues the lane.
  bool GetLinkNext(const HdLinkId& id, int laneNum, std::vector<HdLinkId>& nxt) const;
  // Not provided by the map data: always false, nothing written.
  bool GetLinkLimitValue(const HdLinkId& id, int kind, int& value) const;

  // ---- lane attributes, by lane number -------------------------------------------------------

  bool GetLaneType(const HdLinkId& id, int laneNum, int& type) const;
  bool GetLaneWidth(const HdLinkId& id, int laneNum, int& width) const;  // millimetres
  // lLeftEdgeId when left is true, else lRightEdgeId.
  bool GetLaneEdgeId(const HdLinkId& id, int laneNum, bool left, long& edgeId) const;
  bool GetLaneNext(const HdLinkId& id, int laneNum, std::vector<HdLaneId>& nxt) const;  // replaced
  // nCross of the lane's left or right edge; false also when that edge id names no edge.
  bool GetLaneEdgeCrossType(const HdLinkId& id, int laneNum, bool left, int& crossType) const;
  // Geometry of the lane's left or right edge, replaced; false also when the edge is missing.
  bool GetLaneEdgeGeoLink(const HdLinkId& id, int laneNum, bool left, GeoLink& geo) const;
  // Whether the letter occurs in the lane's strArrows; false also when the lane is missing.
  bool IsLaneContainArrow(const HdLinkId& id, int laneNum, char letter) const;
  // These three match laneNum against nSeqNum and take the first lane that carries it.
  bool GetLaneId(const HdLinkId& id, int laneNum, HdLaneId& laneId) const;
  bool GetLaneGeoLink(const HdLinkId& id, int laneNum, GeoLink& geo) const;  // replaced
  bool GetLaneData(const HdLinkId& id, int laneNum, HdLane& lane) const;     // a copy

  // ---- lane attributes, by lane id (the first lane of the link with that id) -------------------

  bool GetLaneNum(const HdLinkId& id, const HdLaneId& laneId, int& laneNum) const;                 // nSeqNum
  bool GetLaneNext(const HdLinkId& id, const HdLaneId& laneId, std::vector<HdLaneId>& nxt) const;  // replaced
  bool GetLaneGeoLink(const HdLinkId& id, const HdLaneId& laneId, GeoLink& geo) const;             // replaced
  // Replaced by strArrows followed by the strType of each arrow object, in order.
  bool GetLaneArrow(const HdLinkId& id, const HdLaneId& laneId, std::string& arrows) const;
  // The value of the lane's ADAS sample nearest to p (haversine; the first of equal minima),
  // from the first lane with that id that has samples. Azimuth in degrees.
  bool GetLaneCurvature(const HdLinkId& id, const HdLaneId& laneId, const Point& p, double& curvature) const;
  bool GetLaneRoll(const HdLinkId& id, const HdLaneId& laneId, const Point& p, double& roll) const;
  bool GetLanePitch(const HdLinkId& id, const HdLaneId& laneId, const Point& p, double& pitch) const;
  bool GetLaneAzimuth(const HdLinkId& id, const HdLaneId& laneId, const Point& p, double& azimuth) const;

  // ---- edge attributes (an edge is the link's first edge with that lId) --------------------------

  // lId of the edge at position index of vctheEdge (0-based); false for an invalid index.
  bool GetEdgeId(const HdLinkId& id, int index, long& edgeId) const;
  bool GetEdgeCross(const HdLinkId& id, long edgeId, int& cross) const;
  // nColor of the edge's first marking; 1 when it has none.
  bool GetEdgeColor(const HdLinkId& id, long edgeId, int& color) const;
  bool GetEdgeGeoLink(const HdLinkId& id, long edgeId, GeoLink& geo) const;  // replaced

  // ---- road objects ---------------------------------------------------------------------------

  // Geometry of the link's first stop line of that nType, replaced.
  bool GetStopLineGeoLink(const HdLinkId& id, int type, GeoLink& geo) const;
  // Geometry of the link's first overhead object listing lane n, replaced. unused is not read.
  bool GetOverHeadGeoLink(const HdLinkId& id, int laneNum, int unused, GeoLink& geo) const;
  // Not provided by the map data: these deliver nothing, always false, nothing written.
  bool GetTrafficLightGeoLink(const HdLinkId& id, int kind, int index, GeoLink& geo) const;
  bool GetTrafficSign(const HdLinkId& id, std::vector<int>& types, std::vector<int>& shapes,
                      std::vector<int>& values, std::vector<std::string>& texts,
                      std::vector<GeoLink>& areas) const;
  bool GetTrafficSign(const Point& p, std::vector<int>& types, std::vector<int>& shapes, std::vector<int>& values,
                      std::vector<std::string>& texts, std::vector<GeoLink>& areas) const;
  bool GetTrafficSignGeoArea(const HdLinkId& id, int kind, GeoLink& geo) const;

  // ---- conversions and lane filters (no lookup) ---------------------------------------------------

  // Appends Point(lon, lat, alt) per tuple, altitude 0 for a tuple of two values. Always true.
  static bool ConvertGeoLink(const GeoLink& geo, std::vector<Point>& points);
  // Appends {dLon, dLat, dAlt} per point. Always true.
  static bool ConvertGeoLink(const std::vector<Point>& points, GeoLink& geo);
  // Append the link's lanes whose nType occurs (In) or does not occur (Out) in types, in
  // stored order. False, nothing appended, for a null link.
  static bool GetLanesInTypes(const std::vector<int>& types, const HdLink* link,
                              std::vector<const HdLane*>& lanes);
  static bool GetLanesOutTypes(const std::vector<int>& types, const HdLink* link,
                               std::vector<const HdLane*>& lanes);

  static std::shared_ptr<HdLib> m_spInstance;  // empty until the first GetInstance
};

}  // namespace ql

// Crossing-number test on longitude (x) and latitude (y) in degrees, without projection: an
// edge counts when yi <= py < yj or yj <= py < yi, and toggles when px is strictly left of it
// at py; so horizontal edges never toggle. An empty polygon holds nothing.
bool IsPointInPolygon(const std::vector<std::vector<double>>& polygon, const ql::Point& p);
