#include "SdStore.h"

#include "MapConfig.h"

namespace ql {

template <>
std::string Save::GetSerializeDir<SdTile>() {
  return DirForEncoding(MapConfig::sdConfig::save_dir_json, MapConfig::sdConfig::save_dir_binary);
}

template <>
std::string Save::GetSerializeDirSetting<SdTile>() {
  return SettingForEncoding("sd_config");
}

SdWorld* newSdWorld::Create() { return new SdWorld(new Save()); }

template class NodeQt<SdNodeId>;
template class Tile<SdNodeId, SdNode, SdSerializeData>;
template void DoSeserialize<SdSerializeData>(const std::string&, SdSerializeData&, int);
template class World<SdNodeId, SdNode, SdTile>;

}  // namespace ql
