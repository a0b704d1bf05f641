#pragma once  // SdLib.h: the SD library, nearest-node lookups and the road-binding entry over the SD store

// The library sits on top of the SD tile store (SdStore.h) and the binding engine (BindRoad.h),
// neither of which its users need to see: the records it hands out are in SdTypes.h.

#include <memory>
#include <string>

#include "CoordSys.h"
#include "SdTypes.h"

namespace ql {

class BindRoad;
struct BindRoadInput;
struct BindRoadOutput;

// Nearest-node lookups and the road-binding entry over the process-wide SD store
// (Singleton<SdWorld, newSdWorld> of SdStore.h, created by the first call that needs it).
// Nothing in the HD request path uses it.
class SdLib {
 public:
  // Builds the binding engine, which copies the configured candidate limit now. Copies of
  // a library share its engine, which goes with the last of them.
  SdLib();
  // A move copies: the library moved from keeps sharing the engine, so that every library,
  // moved from or not, has one and answers every call.
  SdLib(const SdLib&) = default;
  SdLib& operator=(const SdLib&) = default;

  // Nothing to prepare: the SD store loads its tiles on demand.
  void Init(const std::string& path);

  // No SD record is looked up by a way id: always false, node untouched.
  bool GetDataByWid(const Point& p, int wid, SdNode& node);

  // Loads the SD tiles within 45 m of in.ptPos (P2R), then runs the engine's BindRoadHmm
  // with a fresh input holding only that position; the caller's sets are not passed on.
  // The engine matches nothing, so out stays as it was.
  void GetBindRoadResult(const BindRoadInput& in, BindRoadOutput& out);

  // The node whose quadtree point inside box is nearest to p by plane distance (altitude
  // ignored), looked up by its id in the tile of the id's point: null when the box holds
  // no node, or when that tile cannot be loaded or lacks the id. dist is always written
  // (1.7976931348623157e308 when the box holds no node).
  const SdNode* GetNearestNode(const Point& p, const Rect2D& box, double& dist);

  // The engine of this library and of its copies (moves included); never null.
  std::shared_ptr<BindRoad> m_pBindRoad;
};

}  // namespace ql
