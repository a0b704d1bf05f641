#pragma once  // SdTypes.h: a generic SD node carrying a position

#include "CoordSys.h"

namespace ql {

// A node of some SD graph: an identifier and a position (degrees, altitude in metres).
// The SD tiles store ql::SdNode instead; this type is kept for callers that only need a
// point behind an id.
struct BaseNode {
  long lId = 0;
  double dLon = 0.0;
  double dLat = 0.0;
  double dAlt = 0.0;

  Point GetPoint() const;  // (dLon, dLat, dAlt)
};

}  // namespace ql
