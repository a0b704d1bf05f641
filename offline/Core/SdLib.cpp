#include "SdLib.h"

namespace ql {

std::vector<TileId> SdNodeId::GetTileIds() const { return {P2TId(p)}; }

bool operator<(const SdNodeId& a, const SdNodeId& b) {
  if (a.p.dLon != b.p.dLon) return a.p.dLon < b.p.dLon;
  return a.p.dLat < b.p.dLat;
}

}  // namespace ql
