#include "SdTypes.h"

namespace ql {

Point BaseNode::GetPoint() const { return Point(dLon, dLat, dAlt); }

}  // namespace ql
