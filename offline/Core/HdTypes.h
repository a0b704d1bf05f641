#pragma once  // HdTypes.h: the records of the HD map, as the tile files store them

// Every record is a plain value with public fields and one field list (QL_FIELDS). The
// list names the JSON keys and fixes the binary order; where it differs from the
// declaration order (ObjTrafficSign, HdSerializeData) the files follow the list.
// Geometry: a coordinate tuple is {lon, lat[, alt]} in degrees (altitude in metres), a
// polyline (vctvdGeoLink) or polygon (vctvdGeoArea) is a vector of such tuples.

#include <string>
#include <vector>

#include "CoordSys.h"
#include "FieldList.h"
#include "TileContent.h"

namespace ql {

// ---- identifiers and nodes ------------------------------------------------

// A link is identified by lValue alone; the tile list only tells a lookup which tiles to
// load (the record is taken from the last of them), so copies carry it along.
struct HdLinkId {
  long lValue = 0;
  std::vector<TileId> vcttiTileIds;

  std::vector<TileId> GetTileIds() const;  // a copy, in stored order
};
bool operator<(const HdLinkId& a, const HdLinkId& b);   // by lValue only, signed
bool operator==(const HdLinkId& a, const HdLinkId& b);  // by lValue only

// Lane ids are compared and ordered through the conversion to long.
struct HdLaneId {
  long lValue = 0;

  operator long() const { return lValue; }
};

// Base of the four node kinds; each kind is a distinct type with its own field list.
struct HdNode {
  long lId = 0;
  std::vector<double> vctdGeoNode;  // one coordinate tuple
};
struct HdLaneNode : HdNode {};
struct HdEdgeNode : HdNode {};
struct RoadEdgeNode : HdNode {};
struct RoadJunction : HdNode {};

// ---- named values ----------------------------------------------------------

// Crossing types of an edge line (HdEdge::nCross). Other values are kept as read and
// are crossable in neither direction.
constexpr int sc_nCrossDirec_Unknown = 0;  // treated as not crossable
constexpr int sc_nCrossDirec_Unable = 1;
constexpr int sc_nCrossDirec_BidirecAble = 2;  // from either side
constexpr int sc_nCrossDirec_LeftAble = 3;     // only as the left edge of the lane left
constexpr int sc_nCrossDirec_RightAble = 4;    // only as the right edge of the lane left

// Letters of HdLane::strArrows. No letter between 'E' and 'G' is used.
constexpr char sc_cArrow_LeftUTurn = 'A';
constexpr char sc_cArrow_LeftTurn = 'B';
constexpr char sc_cArrow_Straight = 'C';
constexpr char sc_cArrow_RightTurn = 'D';
constexpr char sc_cArrow_RightUTurn = 'E';
constexpr char sc_cArrow_LeftConf = 'G';
constexpr char sc_cArrow_RightConf = 'H';

// Output types of the position request: every stored code passes through unchanged,
// so there are no enumerators.
enum LaneType : int {};
enum EdgeCrossType : int {};

// ---- road objects ----------------------------------------------------------

struct ObjArrow {
  long lId = 0;
  int nColor = 0;
  std::string strType;  // arrow letters, like HdLane::strArrows
  std::vector<std::vector<double>> vctvdGeoArea;
};

struct ObjTrafficLight {
  long lId = 0;
  double dHeading = 0.0;
  int nType = 0;
  std::string strDir;
  int nArray = 0;
  int nCount = 0;
  std::vector<std::vector<double>> vctvdGeoArea;
};

struct ObjText {
  long lId = 0;
  int nColor = 0;
  std::string strText;
  std::vector<std::vector<double>> vctvdGeoArea;
};

struct ObjSymbol {
  long lId = 0;
  std::vector<HdLaneId> vctlLaneId;
  int color = 0;  // named so in the files, unlike the nColor of its siblings
  std::vector<std::vector<double>> vctvdGeoArea;
};

// Declared with nShape before nType; the files store nType first (see the field list).
struct ObjTrafficSign {
  long lId = 0;
  int nShape = 0;
  int nType = 0;
  int nType1 = 0;
  int nType2 = 0;
  std::string strText;
  std::vector<std::vector<double>> vctvdGeoArea;
};

struct ObjPole {
  long lId = 0;
  int height = 0;  // an int here, a double in ObjOverHead
  int poleType = 0;
  std::vector<std::vector<double>> vctvdGeoArea;
};

struct ObjStopLine {
  long lId = 0;
  int nType = 0;
  int nColor = 0;
  std::vector<std::vector<double>> vctvdGeoLink;
};

// The in-crossing test reads its polygon (lon as x, lat as y, closed implicitly).
struct ObjCrossing {
  long lId = 0;
  std::vector<std::vector<double>> vctvdGeoArea;
};

struct ObjOverHead {
  long lId = 0;
  int OH_type = 0;
  double height = 0.0;
  std::vector<HdLaneId> vctlLaneId;
  std::vector<std::vector<double>> vctvdGeoLink;
};

// The layout of six area records, kept as distinct types in distinct lists, each with its
// own field list.
struct ObjLaneArea {
  long lId = 0;
  std::vector<HdLaneId> vctlLaneId;
  std::vector<std::vector<double>> vctvdGeoArea;
};
struct ObjNoParking : ObjLaneArea {};
struct ObjSpeedBump : ObjLaneArea {};
struct ObjParking : ObjLaneArea {};
struct ObjFillArea : ObjLaneArea {};
struct ObjHydrant : ObjLaneArea {};
struct ObjBusStop : ObjLaneArea {};

struct ObjPoint {
  long lId = 0;
  std::vector<HdLaneId> vctlLaneId;
  int nType = 0;
  std::string strMemo1;
  std::string strMemo2;
  std::string strMemo3;
  std::string strMemo4;
  std::vector<double> vctdGeoNode;  // one coordinate tuple
};

// ---- lanes and edges ---------------------------------------------------------

// One ADAS sample; the sample nearest a position gives the lane's values there.
struct HdLaneAdas {
  int nSeqNum = 0;
  double dLon = 0.0;  // degrees
  double dLat = 0.0;  // degrees
  double dOutCurvature = 0.0;
  double dOutRoll = 0.0;
  double dOutPitch = 0.0;
  double dOutAzimuth = 0.0;  // degrees, on the scale of the caller's heading
};

struct HdLaneMark {
  long lId = 0;
  int nNum = 0;
  int nType = 0;
  int nColor = 0;  // the first marking's colour is the edge line's colour
  int nWidth = 0;
  std::vector<std::vector<double>> vctvdGeoArea;
};

struct HdEdge {
  long lId = 0;  // lanes name their edges by it, within their own link
  HdEdgeNode enStartNode;
  HdEdgeNode enEndNode;
  int nNum = 0;
  int nType = 0;       // 7 marks a stop line
  int nCross = 0;      // sc_nCrossDirec_*
  int nMarkCount = 0;  // as the map data states it; vcthmMark holds the markings
  std::vector<std::vector<double>> vctvdGeoLink;
  std::vector<HdLaneMark> vcthmMark;
};

struct HdLane {
  HdLaneId liId;
  HdLaneNode lnStartNode;
  HdLaneNode lnEndNode;
  long lLeftEdgeId = 0;   // HdEdge::lId in the same link
  long lRightEdgeId = 0;  // HdEdge::lId in the same link
  int nSeqNum = 0;        // lane number; a negative one mirrors left and right
  int nDirection = 0;     // 2: driven first to last vertex, 3: last to first
  int nType = 0;
  std::string strArrows;  // sc_cArrow_* letters
  int nWidth = 0;         // millimetres; 0 when unknown
  int nMaxSpeed = 0;
  int nMinSpeed = 0;
  std::vector<std::vector<double>> vctvdGeoLink;
  std::vector<ObjArrow> vctarArrow;
  std::vector<ObjTrafficLight> vcttlTrafficLight;
  std::vector<ObjText> vcttxText;
  std::vector<ObjSymbol> vctsbSymbol;
  std::vector<HdLaneAdas> vctlaLaneAdas;
  std::vector<HdLaneId> vctliPreLaneId;  // lanes of preceding links that lead here
  std::vector<HdLaneId> vctliNxtLaneId;  // lanes of following links this one leads to
};

// ---- links -------------------------------------------------------------------

struct RoadEdge {
  long lId = 0;
  RoadEdgeNode enStartNode;
  RoadEdgeNode enEndNode;
  int nType = 0;
  int nColor = 0;
  std::vector<std::vector<double>> vctvdGeoLink;
};

struct RoadCrossArea {
  long lId = 0;
  std::vector<std::vector<double>> vctvdGeoArea;
};

struct HdLink {
  HdLinkId liId;
  RoadJunction jcStartJunc;
  RoadJunction jcEndJunc;
  std::vector<RoadEdge> vctreLeftEdge;
  std::vector<RoadEdge> vctreRightEdge;
  double dLength = 0.0;
  int nLaneNum = 0;  // as stored; the lane count is vcthlLane.size()
  int nDirection = 0;
  int nRank = 0;
  int nType = 0;
  double dStartAngle = 0.0;  // degrees, on the scale of the caller's heading
  std::string strName;
  int nSpeedLimit = 0;
  std::vector<std::vector<double>> vctvdGeoLink;  // from start to end
  std::vector<HdEdge> vctheEdge;
  std::vector<HdLane> vcthlLane;  // lane number n at index n - 1
  std::vector<RoadCrossArea> vctcaCrossArea;
  std::vector<ObjTrafficSign> vctTrafficSign;
  std::vector<ObjPole> vctPole;
  std::vector<ObjStopLine> vctslStopLine;
  std::vector<ObjCrossing> vctcrCrossing;
  std::vector<ObjTrafficLight> vcttlTrafficLight;
  std::vector<ObjOverHead> vctOverHead;
  std::vector<ObjNoParking> vctNoParking;
  std::vector<ObjSpeedBump> vctSpeedBump;
  std::vector<ObjParking> vctParking;
  std::vector<ObjFillArea> vctFillArea;
  std::vector<ObjHydrant> vctHydrant;
  std::vector<ObjBusStop> vctBusStop;
  std::vector<ObjPoint> vctRsuPoint;
  std::vector<HdLinkId> vctliPreLinkId;
  std::vector<HdLinkId> vctliNxtLinkId;
};

// ---- tile content --------------------------------------------------------------

// One HD tile file: its links by id and the buckets of its quadtree (TileContent.h).
struct HdSerializeData : TileContent<HdLinkId, HdLink> {};

// ---- field lists -----------------------------------------------------------------

QL_FIELDS(HdLinkId, lValue, vcttiTileIds);
QL_FIELDS(HdLaneId, lValue);
QL_FIELDS(HdLaneNode, lId, vctdGeoNode);
QL_FIELDS(HdEdgeNode, lId, vctdGeoNode);
QL_FIELDS(RoadEdgeNode, lId, vctdGeoNode);
QL_FIELDS(RoadJunction, lId, vctdGeoNode);

QL_FIELDS(ObjArrow, lId, nColor, strType, vctvdGeoArea);
QL_FIELDS(ObjTrafficLight, lId, dHeading, nType, strDir, nArray, nCount, vctvdGeoArea);
QL_FIELDS(ObjText, lId, nColor, strText, vctvdGeoArea);
QL_FIELDS(ObjSymbol, lId, vctlLaneId, color, vctvdGeoArea);
QL_FIELDS(ObjTrafficSign, lId, nType, nShape, nType1, nType2, strText, vctvdGeoArea);
QL_FIELDS(ObjPole, lId, height, poleType, vctvdGeoArea);
QL_FIELDS(ObjStopLine, lId, nType, nColor, vctvdGeoLink);
QL_FIELDS(ObjCrossing, lId, vctvdGeoArea);
QL_FIELDS(ObjOverHead, lId, OH_type, height, vctlLaneId, vctvdGeoLink);
QL_FIELDS(ObjNoParking, lId, vctlLaneId, vctvdGeoArea);
QL_FIELDS(ObjSpeedBump, lId, vctlLaneId, vctvdGeoArea);
QL_FIELDS(ObjParking, lId, vctlLaneId, vctvdGeoArea);
QL_FIELDS(ObjFillArea, lId, vctlLaneId, vctvdGeoArea);
QL_FIELDS(ObjHydrant, lId, vctlLaneId, vctvdGeoArea);
QL_FIELDS(ObjBusStop, lId, vctlLaneId, vctvdGeoArea);
QL_FIELDS(ObjPoint, lId, vctlLaneId, nType, strMemo1, strMemo2, strMemo3, strMemo4, vctdGeoNode);

QL_FIELDS(HdLaneAdas, nSeqNum, dLon, dLat, dOutCurvature, dOutRoll, dOutPitch, dOutAzimuth);
QL_FIELDS(HdLaneMark, lId, nNum, nType, nColor, nWidth, vctvdGeoArea);
QL_FIELDS(HdEdge, lId, enStartNode, enEndNode, nNum, nType, nCross, nMarkCount, vctvdGeoLink, vcthmMark);
QL_FIELDS(HdLane, liId, lnStartNode, lnEndNode, lLeftEdgeId, lRightEdgeId, nSeqNum, nDirection, nType, strArrows,
          nWidth, nMaxSpeed, nMinSpeed, vctvdGeoLink, vctarArrow, vcttlTrafficLight, vcttxText, vctsbSymbol,
          vctlaLaneAdas, vctliPreLaneId, vctliNxtLaneId);

QL_FIELDS(RoadEdge, lId, enStartNode, enEndNode, nType, nColor, vctvdGeoLink);
QL_FIELDS(RoadCrossArea, lId, vctvdGeoArea);
QL_FIELDS(HdLink, liId, jcStartJunc, jcEndJunc, vctreLeftEdge, vctreRightEdge, dLength, nLaneNum, nDirection,
          nRank, nType, dStartAngle, strName, nSpeedLimit, vctvdGeoLink, vctheEdge, vcthlLane, vctcaCrossArea,
          vctTrafficSign, vctPole, vctslStopLine, vctcrCrossing, vcttlTrafficLight, vctOverHead, vctNoParking,
          vctSpeedBump, vctParking, vctFillArea, vctHydrant, vctBusStop, vctRsuPoint, vctliPreLinkId,
          vctliNxtLinkId);

QL_FIELDS(HdSerializeData, m_keys, m_values, r, states, nodes, ps);

}  // namespace ql
