#include "SdLib.h"

#include <cstring>

#include "Archive.h"
#include "MapConfig.h"
#include "ajson.hpp"

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

// The same decoding as the HD tiles'. The text ends at its first NUL byte (decrypted files
// are padded with them), measured so that no pointer past the buffer is formed.
template <>
void DoSeserialize<SdSerializeData>(const std::string& bytes, SdSerializeData& out, int type) {
  if (type == 1) {
    ajson::load_from_buff(out, bytes.c_str(), std::strlen(bytes.c_str()));
  } else if (type == 2 || type == 3) {
    InArchive ar(bytes);
    ar >> out;
  }
}

SdWorld* newSdWorld::Create() { return new SdWorld(new Save()); }

template class NodeQt<SdNodeId>;
template class Tile<SdNodeId, SdNode, SdSerializeData>;
template class World<SdNodeId, SdNode, SdTile>;

}  // namespace ql
