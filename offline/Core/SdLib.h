#pragma once  // SdLib.h: the records of the SD road network, its tile content and the SD library

// The SD map is a graph of nodes keyed by position. Its tiles use the HD tile scheme
// (records by key, a quadtree of (id, point) buckets, the same 0.02-degree file grid) with
// the types below; the field lists give the JSON keys and the binary order.
//
// This header holds what the binding engine and the tile writer need: the records and the
// library's declaration. The tile store behind the library (the SD tile, the SD World and
// the creator of its singleton) is in SdStore.h, and so are the library's members that run
// on it; SdLib.cpp holds the records' own operations.

#include <memory>
#include <string>
#include <vector>

#include "CoordSys.h"
#include "FieldList.h"
#include "TileContent.h"

namespace ql {

// ---- records ---------------------------------------------------------------------

// The key of an SD node: its position. Keys compare by longitude, then latitude; the
// altitude takes no part, so ids differing only in altitude are one key.
struct SdNodeId {
  Point p;

  SdNodeId() = default;
  SdNodeId(const Point& point) : p(point) {}  // NOLINT: a position names its node
  SdNodeId(const SdNodeId&) = default;
  SdNodeId(SdNodeId&&) = default;
  SdNodeId& operator=(const SdNodeId&) = default;
  SdNodeId& operator=(SdNodeId&&) = default;

  // The one tile a lookup by this id loads: P2TId(p) on the fixed 0.02-degree grid. A
  // node stored in another tile's file is found by that tile's rectangle queries only.
  std::vector<TileId> GetTileIds() const;
};

// By p.dLon, then p.dLat. Of two ids with different longitudes only the longitudes
// decide, so a NaN longitude is less than nothing and nothing is less than it.
bool operator<(const SdNodeId& a, const SdNodeId& b);

// ADAS attributes at a node.
struct SdRadas {
  double curvature = 0.0;
  double roll = 0.0;
  double pitch = 0.0;
  double azimuth = 0.0;
};

// One node of the SD network with its connections in both directions. The lists of one
// direction are parallel by position but nothing requires them to have one length.
struct SdNode {
  SdNodeId id_p;                       // the node's own key
  std::vector<SdNodeId> outDegree;     // nodes reached from this one
  std::vector<double> outLengths;      // one per outgoing connection
  std::vector<unsigned long> outRids;  // road id per outgoing connection
  std::vector<SdNodeId> inDegree;      // nodes leading here
  std::vector<double> inLengths;
  std::vector<unsigned long> inRids;
  int speed_limit_big = 0;
  int speed_limit_small = 0;
  int level = 0;
  SdRadas radas;
  bool interpolated_node = false;
};

// One SD tile file: its nodes by key and the buckets of its quadtree (TileContent.h).
struct SdSerializeData : TileContent<SdNodeId, SdNode> {};

QL_FIELDS(SdNodeId, p);
QL_FIELDS(SdRadas, curvature, roll, pitch, azimuth);
QL_FIELDS(SdNode, id_p, outDegree, outLengths, outRids, inDegree, inLengths, inRids, speed_limit_big,
          speed_limit_small, level, radas, interpolated_node);
QL_FIELDS(SdSerializeData, m_keys, m_values, r, states, nodes, ps);

// ---- the SD library ----------------------------------------------------------------

class BindRoad;
struct BindRoadInput;
struct BindRoadOutput;

// Nearest-node lookups and the road-binding entry over the process-wide SD store
// (Singleton<SdWorld, newSdWorld> of SdStore.h, created by the first call that needs it).
// Nothing in the HD request path uses it. Its members are defined in SdStore.cpp.
class SdLib {
 public:
  // Builds the binding engine, which copies the configured candidate limit now. Copies of
  // a library share its engine, which goes with the last of them.
  SdLib();

  // Nothing to prepare: the SD store loads its tiles on demand.
  void Init(const std::string& path);

  // No SD record is looked up by a way id: always false, node untouched.
  bool GetDataByWid(const Point& p, int wid, SdNode& node);

  // Loads the SD tiles within 45 m of in.ptPos (P2R), then runs the engine's BindRoadHmm
  // with a fresh input holding only that position; the caller's sets are not passed on.
  // The engine matches nothing, so out stays as it was.
  void GetBindRoadResult(const BindRoadInput& in, BindRoadOutput& out);

  // The node whose quadtree point inside box is nearest to p by plane distance (altitude
  // ignored), looked up by its id in the tile of the id's point: null when the box holds
  // no node, or when that tile cannot be loaded or lacks the id. dist is always written
  // (1.7976931348623157e308 when the box holds no node).
  const SdNode* GetNearestNode(const Point& p, const Rect2D& box, double& dist);

  // The engine of this library and of its copies; never null.
  std::shared_ptr<BindRoad> m_pBindRoad;
};

}  // namespace ql
