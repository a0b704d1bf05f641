#include "Tile.h"

#include <cstring>

namespace ql {
namespace tile_detail {

std::string TileName(const TileId& id) { return std::to_string(id.nLonId) + "," + std::to_string(id.nLatId); }

}  // namespace tile_detail
}  // namespace ql

#include "Archive.h"
#include "SdLib.h"
#include "ajson.hpp"

namespace ql {

template <class T>
void DoSeserialize(const std::string& bytes, T& out, int type) {
  if (type == 1) {
    // The text ends at its first NUL byte; the length is given exactly rather than as
    // "unbounded" so that no pointer past the buffer is ever formed.
    const std::size_t length = std::strlen(bytes.c_str());
    ajson::load_from_buff(out, bytes.c_str(), length);
  } else if (type == 2 || type == 3) {
    InArchive ar(bytes);
    ar >> out;
  }
}

template class NodeQt<HdLinkId>;
template class Tile<HdLinkId, HdLink, HdSerializeData>;
template void DoSeserialize<HdSerializeData>(const std::string&, HdSerializeData&, int);
template void DoSeserialize<SdSerializeData>(const std::string&, SdSerializeData&, int);

}  // namespace ql
