#include "Tile.h"

namespace ql {

namespace tile_detail {

void RefuseMemory(const std::string& label, const std::string& what, std::uint64_t bytes,
                  const MemoryLimit& memory) {
  throw TileTreeError(label, what + " needs " + std::to_string(bytes) + " bytes of memory, more than the " +
                                 std::to_string(memory.Left()) + " left of the " + std::to_string(memory.Limit()) +
                                 " this tile may take");
}

}  // namespace tile_detail

namespace {

constexpr std::size_t kNoIndex = static_cast<std::size_t>(-1);

// Every tuple of a line or area must hold a longitude and a latitude. The field is named for the
// message only when one does not: part[index].field, or field alone.
void CheckTuples(const std::string& label, const HdLink& link, const char* part, std::size_t index,
                 const char* field, const std::vector<std::vector<double>>& tuples) {
  for (std::size_t k = 0; k < tuples.size(); ++k) {
    const std::size_t n = tuples[k].size();
    if (n >= 2) continue;
    std::string where = index == kNoIndex ? std::string() : std::string(part) + "[" + std::to_string(index) + "].";
    where += std::string(field) + "[" + std::to_string(k) + "]";
    throw TileGeometryError(label, "link " + std::to_string(link.liId.lValue) + ": " + where +
                                       ": a coordinate tuple of " + std::to_string(n) +
                                       (n == 1 ? " value" : " values") +
                                       ", where a position needs a longitude and a latitude");
  }
}

}  // namespace

// The geometry the queries read as positions: the link's line (the position along a link), the
// lane and edge lines (the lane strips and the foot point) and the crossing areas (the crossing
// test). Other geometry is only handed back as it is stored.
void CheckPositions(const std::string& label, const HdLink& link) {
  CheckTuples(label, link, "", kNoIndex, "vctvdGeoLink", link.vctvdGeoLink);
  for (std::size_t i = 0; i < link.vcthlLane.size(); ++i) {
    CheckTuples(label, link, "vcthlLane", i, "vctvdGeoLink", link.vcthlLane[i].vctvdGeoLink);
  }
  for (std::size_t i = 0; i < link.vctheEdge.size(); ++i) {
    CheckTuples(label, link, "vctheEdge", i, "vctvdGeoLink", link.vctheEdge[i].vctvdGeoLink);
  }
  for (std::size_t i = 0; i < link.vctcrCrossing.size(); ++i) {
    CheckTuples(label, link, "vctcrCrossing", i, "vctvdGeoArea", link.vctcrCrossing[i].vctvdGeoArea);
  }
}

template class NodeQt<HdLinkId>;
template class Tile<HdLinkId, HdLink, HdSerializeData>;
template void DoSeserialize<HdSerializeData>(const std::string&, HdSerializeData&, int);
template void DoSeserialize<HdSerializeData>(const std::string&, HdSerializeData&, int, MemoryLimit&);
template void DoSeserialize<HdSerializeData>(ByteView, HdSerializeData&, int, MemoryLimit&);

}  // namespace ql
