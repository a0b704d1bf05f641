#include "Tile.h"

#include <cstring>

namespace ql {
namespace tile_detail {

std::string TileName(const TileId& id) { return std::to_string(id.nLonId) + "," + std::to_string(id.nLatId); }

}  // namespace tile_detail
}  // namespace ql

// The decoders come from the JSON reader and the binary archive; until both are in the
// tree this source instantiates nothing, so the core library keeps building.
#if __has_include("ajson.hpp") && __has_include("Archive.h")
#include "Archive.h"
#include "ajson.hpp"

namespace ql {

template <class T>
void DoSeserialize(const std::string& bytes, T& out, int type) {
  if (type == 1) {
    // The text ends at its first NUL byte (decrypted files are padded with them); the
    // length is given exactly rather than as "unbounded" so that no pointer past the
    // buffer is ever formed.
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

}  // namespace ql
#endif
