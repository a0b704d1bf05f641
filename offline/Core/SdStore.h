#pragma once  // SdStore.h: the SD tile store: the SD tile, the SD World and the creator of its singleton

// The SD instance of the tile store templates, over the records of SdTypes.h. Only the SD
// library (SdLib.cpp) and the tests of the store need it; the records alone are in SdTypes.h.

#include <string>

#include "NodeQt.h"
#include "Save.h"
#include "SdTypes.h"
#include "Tile.h"
#include "World.h"

namespace ql {

using SdTile = Tile<SdNodeId, SdNode, SdSerializeData>;
using SdWorld = World<SdNodeId, SdNode, SdTile>;

// Where SD tile files lie: MapConfig::sdConfig's save_dir_json for serialize type 1,
// save_dir_binary for 2, empty otherwise.
template <>
std::string Save::GetSerializeDir<SdTile>();
template <>
std::string Save::GetSerializeDirSetting<SdTile>();

// Creator of the SD World for ql::Singleton: a new Save and a World over it, never freed.
struct newSdWorld {
  static SdWorld* Create();
};

extern template class NodeQt<SdNodeId>;
extern template class Tile<SdNodeId, SdNode, SdSerializeData>;
extern template void DoSeserialize<SdSerializeData>(const std::string&, SdSerializeData&, int);
extern template class World<SdNodeId, SdNode, SdTile>;

}  // namespace ql
