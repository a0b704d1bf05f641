#include "SdTypes.h"

namespace ql {

Point BaseNode::GetPoint() const { return Point(dLon, dLat, dAlt); }

std::vector<TileId> SdNodeId::GetTileIds() const { return {P2TId(p)}; }

bool operator<(const SdNodeId& a, const SdNodeId& b) {
  if (a.p.dLon != b.p.dLon) return a.p.dLon < b.p.dLon;
  return a.p.dLat < b.p.dLat;
}

}  // namespace ql
