#include "HdTypes.h"

namespace ql {

std::vector<TileId> HdLinkId::GetTileIds() const { return vcttiTileIds; }

// Both comparisons ignore the tile lists: copies of one link read from different tiles
// must meet as one key in sets and maps.
bool operator<(const HdLinkId& a, const HdLinkId& b) { return a.lValue < b.lValue; }

bool operator==(const HdLinkId& a, const HdLinkId& b) { return a.lValue == b.lValue; }

}  // namespace ql
