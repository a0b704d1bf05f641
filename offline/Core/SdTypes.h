#pragma once  // SdTypes.h: the records of the SD road network and its tile content

// The SD map is a graph of nodes keyed by position. Its tiles use the HD tile scheme
// (records by key, a quadtree of (id, point) buckets, the same 0.02-degree file grid) with
// the types below; the field lists give the JSON keys and the binary order. The SD store,
// the binding engine and the tile writer build on these records alone.

#include <vector>

#include "CoordSys.h"
#include "FieldList.h"
#include "TileContent.h"

namespace ql {

// A node of some SD graph: an identifier and a position (degrees, altitude in metres).
// The SD tiles store ql::SdNode instead; this type is kept for callers that only need a
// point behind an id.
struct BaseNode {
  long lId = 0;
  double dLon = 0.0;
  double dLat = 0.0;
  double dAlt = 0.0;

  Point GetPoint() const;  // (dLon, dLat, dAlt)
};

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

}  // namespace ql
