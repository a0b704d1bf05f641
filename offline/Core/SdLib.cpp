#include "SdLib.h"

#include <memory>

#include "BindRoad.h"
#include "CoordSys.h"
#include "SdStore.h"
#include "Singleton.h"

namespace ql {

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

}  // namespace ql
