#include "SdLib.h"

#include "MapConfig.h"
#include "Singleton.h"

namespace ql {

std::vector<TileId> SdNodeId::GetTileIds() const { return {P2TId(p)}; }

bool operator<(const SdNodeId& a, const SdNodeId& b) {
  if (a.p.dLon != b.p.dLon) return a.p.dLon < b.p.dLon;
  return a.p.dLat < b.p.dLat;
}

template <>
std::string Save::GetSerializeDir<SdTile>() {
  return DirForEncoding(MapConfig::sdConfig::save_dir_json, MapConfig::sdConfig::save_dir_binary);
}

SdWorld* newSdWorld::Create() { return new SdWorld(new Save()); }

// ---- the SD library ----------------------------------------------------------------

namespace {

SdWorld& SdStore() { return *Singleton<SdWorld, newSdWorld>::GetSingleton(); }

}  // namespace

// The members that build, hold or run the binding engine (the constructor, the destructor and
// GetBindRoadResult) are defined in BindRoad.cpp, beside the engine, which reads the records
// above: the SD records stay below the engine, and the engine below the rest of the library.

void SdLib::Init(const std::string& /*path*/) {}

bool SdLib::GetDataByWid(const Point& /*p*/, int /*wid*/, SdNode& /*node*/) { return false; }

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
