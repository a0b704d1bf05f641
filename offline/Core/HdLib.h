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

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "CoordSys.h"
#include "HdLibMath.h"
#include "HdTypes.h"

namespace ql {

// Passed through GetDataNearby unread; every caller passes 0.
enum GetDataNearby_param : int {};

struct LaneSamples;
struct LinkSummary;

// A lane that holds a position, as GetLocateLanes found it: the link and lane records in their
// tile, and what the tile worked out for the lane: the plane coordinates of its line and the
// positions of its ADAS samples.
struct LocatedLane {
  const LinkSummary* pSummary = nullptr;  // the link's entry in its tile
  const HdLink* pLink = nullptr;
  const HdLane* pLane = nullptr;
  const PlaneLine* pLine = nullptr;
  const LaneSamples* pSamples = nullptr;
};

// ---- endpoint records ----------------------------------------------------------------------------
//
// Places in the road network as the endpoint graph hands them out: plain values, copied out of
// the tile data. Lane numbers are HdLane::nSeqNum; a move through a link that starts in lane
// nFromSeqNum and ends in lane nToSeqNum makes abs(nFromSeqNum - nToSeqNum) lane changes, and the
// graph walks hand one out only when its link has 10 metres of dLinkLength per change.

// A link and the point where it (or one of its lanes) ends.
struct LinkEndpoint {
  Point ptEnd;                       // a vertex of the link's or lane's geometry; (0, 0, 0) when there was none
  HdLinkId liLinkId;                 // tile list included: lookups of this endpoint go through it
  HdLaneId liLaneId;                 // the lane the move ends in; 0 in link endpoints
  double dLinkLength = 0.0;          // the link's dLength
  std::vector<Point> vctptReserved;  // carried along, never filled or read
};

// A move through a link from one lane into another (or along one lane).
struct LaneEndpoint : LinkEndpoint {
  int nFromSeqNum = 0;  // lane number the move starts in
  int nReserved = 0;    // carried along, never written or read
  int nToSeqNum = 0;    // lane number of liLaneId
};

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
  // The same for the id of a located lane's link: the tile's record map is not searched when the
  // located record is the one it would find (World::GetNodeData with the entry).
  const HdLink* GetLinkData(const HdLinkId& id, const LocatedLane& where) const;
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
  // The link's first lane with that id, and its first edge with that lId, in place; null when
  // there is none, and for a null link.
  static const HdLane* GetLaneById(const HdLink* link, const HdLaneId& laneId);
  static const HdEdge* GetEdgeById(const HdLink* link, long edgeId);
  // The ids of the links with a quadtree entry inside the box around p, ascending by lValue
  // and once each; ids is replaced (emptied when none). With load true the box's tiles are
  // loaded first (a box search loads them anyway). True once the store exists.
  bool GetLinkIdsInRect(const Point& p, float w, float h, std::vector<HdLinkId>& ids, bool load) const;

  // ---- location -----------------------------------------------------------------------------

  // The links with a quadtree entry inside the box around p, ascending by lValue, a link held
  // by several tiles once; links is replaced. False (links untouched) when there is none, and
  // without a tile read when p is not finite, lies at or beyond a pole (|latitude| >= 90) or
  // the box would name too many tiles (R2TIds). param and flag are not read.
  bool GetDataNearby(const Point& p, float w, float h, std::vector<const HdLink*>& links,
                     GetDataNearby_param param, bool flag) const;
  // For every link of the 20 m box (ascending) and every lane of it holding p (stored order),
  // appends the lane's id to lanes and the link's id to links, in step. True when lanes is
  // non-empty afterwards (so also for a non-empty list passed in, once some link is near);
  // false without touching either list when no link is near.
  bool GetLocateLanes(const Point& p, std::vector<HdLinkId>& links, std::vector<HdLaneId>& lanes) const;
  // The same lanes in the same order, appended to located as the records found (no id is
  // copied). True when located is non-empty afterwards; false, located untouched, when no link is
  // near.
  bool GetLocateLanes(const Point& p, std::vector<LocatedLane>& located) const;
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
  // The same, the samples' positions read where `where` (a located lane) is the lane searched.
  bool GetLaneAzimuth(const HdLinkId& id, const HdLaneId& laneId, const Point& p, double& azimuth,
                      const LocatedLane& where) const;
  // The request's readers of a record it holds in place (GetLinkData): the same answers as the
  // queries by id above for the record those would look up; false for null.
  static bool GetLinkSpeedLimit(const HdLink* link, int& speedLimit);
  static bool GetLaneCnt(const HdLink* link, int& count);
  static bool GetLaneNum(const HdLink* link, const HdLaneId& laneId, int& laneNum);
  static bool GetLaneAzimuth(const HdLink* link, const HdLaneId& laneId, const Point& p, double& azimuth,
                             const LocatedLane* where = nullptr);

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

  // ---- endpoint graph: next and previous endpoints ------------------------------------------------
  //
  // The walks read only liLinkId (through its tile list) and liLaneId of the endpoint given, and
  // append to out without clearing it. A link that is not loaded is skipped where it is a
  // successor or predecessor, and makes the walk false where it is the endpoint's own. The lane
  // walks (and GenPreEndpoints, GenPreRLanes) raise EndpointAnswerError (Errors.h), appending
  // nothing, where their answer would hold more than sc_nMaxEndpointAnswerBytes (LinkLimits.h).

  // A lane's record while the predecessor walk works on its link (keyed by nLaneSeqNum). Stored
  // into a list of LaneEndpoint it keeps only its LaneEndpoint part.
  struct LaneEndpointExt : LaneEndpoint {
    Point ptStart;           // first vertex of the lane's geometry
    bool bCanLeft = false;   // the lane's left edge may be crossed
    bool bCanRight = false;  // the lane's right edge may be crossed
    int nLaneSeqNum = 0;
    std::vector<HdLaneId> vctliReserved;  // never filled or read
    std::vector<HdLaneId> vctliNxtLanes;  // the lane's vctliNxtLaneId
  };

  // One endpoint per loaded successor of the endpoint's link, in vctliNxtLinkId order: the
  // successor's id and dLength, and the last vertex of its geometry (or, without geometry, of its
  // first lane's) at altitude 0; (0, 0, 0) when neither has a vertex. False when the link or every
  // successor is not loaded.
  bool GetNextLinkEndpoints(const LinkEndpoint& endpoint, std::vector<LinkEndpoint>& out) const;
  // The moves through the successor links that start in a lane listing the endpoint's lane among
  // its vctliPreLaneId (a continuing lane A) and end in a lane B of the same link that A can
  // reach (IsReachable), if the link is long enough for the lane changes. Successors by ascending
  // id; per successor the continuing lanes by descending lane id, once each; per continuing lane
  // the lanes B in stored order. liLinkId is the successor's id as the endpoint's link lists it.
  // ptEnd is B's last vertex for nDirection 2, its first for 3 (altitude kept, 0 for a tuple of
  // two values, (0, 0, 0) for an empty geometry); any other direction prints
  // "=====ERROR=====lane<id>方向需要特殊处理" for each such move handed out and leaves (0, 0, 0).
  // True when some continuing lane was found, even if every move was dropped.
  bool GetNextLaneEndpoints(const LaneEndpoint& endpoint, std::vector<LaneEndpoint>& out) const;
  // The moves through the predecessor links that end in a lane listing the endpoint's lane among
  // its vctliNxtLaneId, if the link is long enough for the lane changes. A predecessor qualifies
  // when one of its lanes leads into the endpoint's lane, or into a lane of the endpoint's link
  // that can reach it. Per qualifying link (ascending id, once each): the direct moves (ascending
  // lane number), then the rightward and then the leftward moves of GenPreRLanes. Lanes without
  // geometry start and end no move. True when some predecessor qualifies, even if it added nothing.
  bool GetPreEndpoints(const LaneEndpoint& endpoint, std::vector<LaneEndpoint>& out) const;

  // Whether a vehicle in lane `from` can reach lane `to` inside the link by crossing lane edges:
  // every edge on the way, between the last lanes of the link with those ids, must allow it (left
  // edges moving towards the front of vcthlLane, right edges towards its back; mirrored for
  // negative lane numbers). True for from == to; false when either is missing, when the from
  // number is 0, or when the quotient of the lane numbers (truncated, 64-bit) is negative: lanes
  // of opposite sign only when the to-number is the larger in magnitude. A to-lane numbered 0 is
  // never reachable from another lane.
  static bool IsReachable(const HdLink* link, HdLaneId from, HdLaneId to);
  // nCross of the link's first edge with that lId; -1 (never crossable) when there is none or
  // the link is null.
  static int GetEdgeCross(const HdLink* link, const long& edgeId);
  // lanesByNumber[nSeqNum] for every lane (a later lane of one number replaces an earlier one),
  // and appends the crossing groups: the numbers whose right edge may be crossed, ascending, the
  // negative group before the non-negative one (0 belongs to the latter); the same for left edges
  // in descending order. Empty groups are not appended.
  static void GenCrossable(const HdLink* link, std::map<int, const HdLane*>& lanesByNumber,
                           std::vector<std::vector<int>>& rightGroups, std::vector<std::vector<int>>& leftGroups);
  // For each predecessor link in order: its lanes with geometry as LaneEndpointExt records by
  // lane number (a later lane of one number replaces an earlier one), then GenPreRLanes.
  static void GenPreEndpoints(HdLaneId laneId, const std::vector<const HdLink*>& links,
                              std::vector<LaneEndpoint>& out);
  // Appends the moves through the predecessor link that end in a lane listing laneId among its
  // successors and pass the lane-change rule: direct moves (lane k to k, ascending k, once per
  // listing), then for each right group (of GenCrossable) the moves i -> j for i ascending and
  // j ascending above i, then for each left group i -> j for i descending and j descending below
  // i. A group's moves stay within its smallest and largest number, and stop at the first number
  // that is not a key of lanesByNumber.
  static void GenPreRLanes(HdLaneId laneId, const HdLink* link,
                           const std::map<int, LaneEndpointExt>& lanesByNumber, std::vector<LaneEndpoint>& out);

  // ---- endpoint graph: searches near a position --------------------------------------------------
  //
  // Over the links of the box of half-sizes w, h around p (GetDataNearby: ascending id). They
  // append to their outputs and never clear them; no link in the box: false, outputs unchanged.
  // End points are the last vertex of the link's or lane's geometry (altitude kept, 0 for a tuple
  // of two values), (0, 0, 0) for an empty geometry. Distances are haversine metres to the
  // nearest vertex of the geometry; an empty geometry is at DBL_MAX with the vertex (0, 0, 0).
  // GetLocateEndpoints and GetNearEndpoints raise EndpointAnswerError, appending nothing, where
  // their answer would hold more than sc_nMaxEndpointAnswerBytes (LinkLimits.h).

  // The links whose road area, the strip between the first lane's left edge and the last lane's
  // right edge, holds p. A link without lanes, without either edge or with an empty edge line
  // holds nothing. True when out is non-empty afterwards.
  bool GetLocateEndpoints(const Point& p, float w, float h, std::vector<LinkEndpoint>& out) const;
  // The lanes holding p (IsPointInLane), with both lane numbers set; ptEnd (0, 0, 0) and
  // dLinkLength 0. True when out is non-empty afterwards.
  bool GetLocateEndpoints(const Point& p, float w, float h, std::vector<LaneEndpoint>& out) const;
  // Every link (or every lane) of the box, by distance of its nearest vertex, ascending; on equal
  // distances in link (and stored lane) order. One entry per candidate in each of the three
  // lists. The lane variant is false, the lists unchanged, when the links have no lane.
  bool GetNearEndpoints(const Point& p, float w, float h, std::vector<Point>& feet,
                        std::vector<LinkEndpoint>& endpoints, std::vector<double>& distances) const;
  bool GetNearEndpoints(const Point& p, float w, float h, std::vector<Point>& feet,
                        std::vector<LaneEndpoint>& endpoints, std::vector<double>& distances) const;
  // The link (or lane) whose nearest vertex is closest to p, the first in order on a tie; a
  // geometry without vertices is never chosen (false, outputs unchanged, when nothing else is
  // there). Sets foot, distance and the endpoint's ptEnd, liLinkId, dLinkLength (and liLaneId and
  // both lane numbers); the endpoint's other fields keep the caller's values.
  bool GetNearestEndpoint(const Point& p, float w, float h, Point& foot, LinkEndpoint& endpoint,
                          double& distance) const;
  bool GetNearestEndpoint(const Point& p, float w, float h, Point& foot, LaneEndpoint& endpoint,
                          double& distance) const;

  // ---- endpoint graph: the endpoint's link ----------------------------------------------------------
  //
  // These read the endpoint's liLinkId only (GetGeoLink also ptEnd and both lane numbers).

  // The link's nSpeedLimit; -1 when it is not loaded.
  int GetLinkSpeedLimit(const LaneEndpoint& endpoint) const;
  // Whether an edge of the link has nType 7 (a stop line); false when the link is not loaded.
  bool HasStopLine(const LaneEndpoint& endpoint) const;
  // Lane numbers taken as positions (lane n at vcthlLane[n - 1]). Equal numbers: geometry is
  // replaced by that lane's geometry; else the first vertex of lane nFromSeqNum and the last of
  // lane nToSeqNum are appended. False, geometry unchanged, when the link is not loaded, a number
  // lies outside 1 to the lane count, or a lane lacks the vertex it gives. With load true the
  // tiles of a box around ptEnd are loaded first; its half-sizes are both tile_lon_interval taken
  // as metres.
  bool GetGeoLink(const LaneEndpoint& endpoint, GeoLink& geometry, bool load) const;
  // The link's geometry, replaced; false, unchanged, when it is not loaded.
  bool GetGeoLink(const HdLinkId& id, GeoLink& geometry) const;
  // The perpendicular distance (whole metres, HdLibMath::GetPerpendicularFoot) from p to the left
  // edge of the link's first lane, or to the right edge of its last lane. -1.0 when the link is
  // not loaded; DBL_MAX when it has no lane or that edge is missing or has no vertex.
  double GetDistanceToLeftEdge(const LaneEndpoint& endpoint, const Point& p) const;
  double GetDistanceToRightEdge(const LaneEndpoint& endpoint, const Point& p) const;

  static std::shared_ptr<HdLib> m_spInstance;  // empty until the first GetInstance
};

}  // namespace ql

// Crossing-number test on longitude (x) and latitude (y) in degrees, without projection: an
// edge counts when yi <= py < yj or yj <= py < yi, and toggles when px is strictly left of it
// at py; so horizontal edges never toggle. An empty polygon holds nothing.
bool IsPointInPolygon(const std::vector<std::vector<double>>& polygon, const ql::Point& p);
