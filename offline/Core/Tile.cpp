#include "Tile.h"

namespace ql {

template class NodeQt<HdLinkId>;
template class Tile<HdLinkId, HdLink, HdSerializeData>;
template void DoSeserialize<HdSerializeData>(const std::string&, HdSerializeData&, int);

}  // namespace ql
