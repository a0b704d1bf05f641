#include "SdLib.h"

#include "MapConfig.h"

namespace ql {

std::vector<TileId> SdNodeId::GetTileIds() const { return {P2TId(p)}; }

bool operator<(const SdNodeId& a, const SdNodeId& b) {
  if (a.p.dLon != b.p.dLon) return a.p.dLon < b.p.dLon;
  return a.p.dLat < b.p.dLat;
}

template <>
std::string Save::GetSerializeDir<SdTile>() {
  switch (MapConfig::serialize_type_json1_binary2) {
    case 1:
      return MapConfig::sdConfig::save_dir_json;
    case 2:
      return MapConfig::sdConfig::save_dir_binary;
    default:
      return std::string();
  }
}

SdWorld* newSdWorld::Create() { return new SdWorld(new Save()); }

template class NodeQt<SdNodeId>;
template class Tile<SdNodeId, SdNode, SdSerializeData>;
template void DoSeserialize<SdSerializeData>(const std::string&, SdSerializeData&, int);
template class World<SdNodeId, SdNode, SdTile>;

}  // namespace ql
