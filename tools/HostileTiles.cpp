#include "HostileTiles.h"

#include <stdexcept>
#include <string>
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

}  // namespace qlw::hostile
