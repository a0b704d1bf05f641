#include "SdStore.h"

#include <memory>

#include "BindRoad.h"
#include "MapConfig.h"
#include "Singleton.h"

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

// ---- the SD library over the store (declared in SdLib.h) -----------------------------

namespace {

SdWorld& SdStore() { return *Singleton<SdWorld, newSdWorld>::GetSingleton(); }

// How far around a position the binding loads SD tiles, metres to each side.
constexpr float sc_fBindRoadBoxHalf = 45.0f;

}  // namespace

SdLib::SdLib() : m_pBindRoad(std::make_shared<BindRoad>()) {}

void SdLib::Init(const std::string& /*path*/) {}

bool SdLib::GetDataByWid(const Point& /*p*/, int /*wid*/, SdNode& /*node*/) { return false; }

void SdLib::GetBindRoadResult(const BindRoadInput& in, BindRoadOutput& out) {
  const Rect2D rect = P2R(in.ptPos, sc_fBindRoadBoxHalf, sc_fBindRoadBoxHalf);
  SdStore().LoadTileInRect(rect);  // the tiles stay cached (or failed) for the binding
  BindRoadInput fresh;
  fresh.ptPos = in.ptPos;
  m_pBindRoad->BindRoadHmm(fresh, out);
}

const SdNode* SdLib::GetNearestNode(const Point& p, const Rect2D& box, double& dist) {
  SdNodeId id;
  if (!SdStore().GetNearestNodeId(p, box, id, dist, false)) return nullptr;
  return SdStore().GetNodeData(id);
}

template class NodeQt<SdNodeId>;
template class Tile<SdNodeId, SdNode, SdSerializeData>;
template void DoSeserialize<SdSerializeData>(const std::string&, SdSerializeData&, int);
template class World<SdNodeId, SdNode, SdTile>;

}  // namespace ql
