#include "HostileTiles.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace qlw::hostile {

unsigned long EveryLeafCode(int depth) {
  if (depth < 0 || depth > 16) throw std::invalid_argument("depth " + std::to_string(depth) + " outside 0..16");
  unsigned long code = 0;
  for (int level = 0; level < depth; ++level) code = code << 4 | 0xFul;
  return code;
}

namespace {

template <class Content>
void Fill(Content& tile, int depth, std::size_t pairs, const ql::Point& where, double spread) {
  const unsigned long code = EveryLeafCode(depth);
  if (tile.m_keys.empty()) throw std::invalid_argument("a tile without keys");
  const std::size_t cycle = tile.m_keys.size() < 2 ? 1 : 2;
  // The tree over the spot alone: a query box around it meets every leaf.
  tile.r = ql::Rect2D(ql::Point(where.dLon - 2 * spread, where.dLat - 2 * spread, 0),
                      ql::Point(where.dLon + 2 * spread, where.dLat + 2 * spread, 0));
  tile.states = {code};
  tile.nodes.assign(1, {});
  tile.ps.assign(1, {});
  tile.nodes[0].reserve(pairs);
  tile.ps[0].reserve(pairs);
  // Points on a square grid over the spot, row by row, so that no two pairs share a point.
  std::size_t side = 1;
  while (side * side < pairs) ++side;
  const double step = side > 1 ? 2 * spread / static_cast<double>(side - 1) : 0.0;
  for (std::size_t k = 0; k < pairs; ++k) {
    tile.nodes[0].push_back(tile.m_keys[k % cycle]);
    tile.ps[0].emplace_back(where.dLon - spread + step * static_cast<double>(k % side),
                            where.dLat - spread + step * static_cast<double>(k / side), where.dAlt);
  }
}

}  // namespace

void EveryLeafBucket(ql::HdSerializeData& tile, int depth, std::size_t pairs, const ql::Point& where,
                     double spread) {
  Fill(tile, depth, pairs, where, spread);
}

void EveryLeafBucket(ql::SdSerializeData& tile, int depth, std::size_t pairs, const ql::Point& where,
                     double spread) {
  Fill(tile, depth, pairs, where, spread);
}

ql::HdSerializeData HdEveryLeafTile(const ql::TileId& tile, int depth, std::size_t pairs, const ql::Point& where) {
  ql::HdSerializeData d;
  for (const long v : {1L, 2L}) {
    ql::HdLink link;
    link.liId.lValue = v;
    link.liId.vcttiTileIds = {tile};
    d.m_keys.push_back(link.liId);
    d.m_values.push_back(link);
  }
  EveryLeafBucket(d, depth, pairs, where);
  return d;
}

ql::SdSerializeData SdEveryLeafTile(int depth, std::size_t pairs, const ql::Point& where) {
  ql::SdSerializeData d;
  for (const double east : {0.0, 1e-5}) {
    ql::SdNode node;
    node.id_p = ql::SdNodeId(ql::Point(where.dLon + east, where.dLat, 0));
    d.m_keys.push_back(node.id_p);
    d.m_values.push_back(node);
  }
  EveryLeafBucket(d, depth, pairs, where);
  return d;
}

namespace {

// The point x metres east and y metres north of where, in where's projection zone.
std::vector<double> Vertex(const ql::Point& where, double x, double y) {
  const ql::XYZ o = ql::P2XYZ(where);
  const ql::Point p = ql::XYZ2P(ql::XYZ(o.dX + x, o.dY + y, 0.0));
  return {p.dLon, p.dLat, 0.0};
}

// `n` vertices (at least 2) along the line x metres east of where, from 50 m south to 50 m north.
std::vector<std::vector<double>> NorthLine(const ql::Point& where, double x, std::size_t n) {
  if (n < 2) n = 2;
  std::vector<std::vector<double>> line;
  line.reserve(n);
  for (std::size_t i = 0; i < n; ++i) line.push_back(Vertex(where, x, -50.0 + 100.0 * i / (n - 1)));
  return line;
}

}  // namespace

ql::HdLink LanesHoldingSpot(const ql::Point& where, long id, int lanes, LaneShape shape, std::size_t size) {
  ql::HdLink link;
  link.liId.lValue = id;
  link.dLength = 100.0;
  link.dStartAngle = 0.0;
  link.vctvdGeoLink = NorthLine(where, 0.0, 101);  // a vertex every metre: a box around where finds it
  const std::size_t edgeVertices = shape == LaneShape::kSharedEdges ? size : 2;
  const int edgePairs = shape == LaneShape::kOwnEdges ? lanes : 1;
  for (int k = 0; k < edgePairs; ++k) {
    for (const double x : {-5.0, 5.0}) {
      ql::HdEdge edge;
      edge.lId = id * 1000 + 500 + 2 * k + (x > 0 ? 1 : 0);
      edge.nCross = ql::sc_nCrossDirec_Unable;
      edge.vctvdGeoLink = NorthLine(where, x, edgeVertices);
      link.vctheEdge.push_back(std::move(edge));
    }
  }
  for (int k = 1; k <= lanes; ++k) {
    ql::HdLane lane;
    lane.liId.lValue = shape == LaneShape::kSharedLaneId ? id * 1000 : id * 1000 + k;
    lane.nSeqNum = k;
    lane.nDirection = 2;
    lane.nType = 1;
    lane.nWidth = 10000;
    const int pair = shape == LaneShape::kOwnEdges ? k - 1 : 0;
    lane.lLeftEdgeId = id * 1000 + 500 + 2 * pair;
    lane.lRightEdgeId = id * 1000 + 500 + 2 * pair + 1;
    lane.vctvdGeoLink = NorthLine(where, 0.0, 2);
    // Samples give each lane an angle of its own, as the request needs; lanes sharing an id share
    // the first one's.
    if (shape != LaneShape::kSharedLaneId || k == 1) {
      for (const std::vector<double>& v : NorthLine(where, 0.0, shape == LaneShape::kSharedLaneId ? size : 2)) {
        ql::HdLaneAdas sample;
        sample.nSeqNum = static_cast<int>(lane.vctlaLaneAdas.size());
        sample.dLon = v[0];
        sample.dLat = v[1];
        lane.vctlaLaneAdas.push_back(sample);
      }
    }
    link.vcthlLane.push_back(std::move(lane));
  }
  return link;
}

void LongTileList(ql::HdSerializeData& tile, const ql::TileId& self, long id, std::size_t times) {
  const std::vector<ql::TileId> list(times, self);
  for (ql::HdLinkId& key : tile.m_keys) {
    if (key.lValue == id) key.vcttiTileIds = list;
  }
  for (ql::HdLink& link : tile.m_values) {
    if (link.liId.lValue == id) link.liId.vcttiTileIds = list;
  }
}

}  // namespace qlw::hostile
