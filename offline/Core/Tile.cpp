#include "Tile.h"

#include "LinkLimits.h"

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

namespace {

// The refusal of a list of n entries where limit are allowed: "link 1005: vcthlLane: 300 lanes, more
// than the 256 allowed".
[[noreturn]] void RefuseLength(const std::string& label, long link, const std::string& field, std::size_t n,
                               const char* what, std::size_t limit) {
  throw TileLimitError(label, "link " + std::to_string(link) + ": " + field + ": " + std::to_string(n) + " " +
                                  what + ", more than the " + std::to_string(limit) + " allowed");
}

// Names are built only for a refusal: most files pass, and hold many ids.
template <class Field>
void CheckTileList(const std::string& label, long link, const HdLinkId& id, const Field& field) {
  const std::size_t n = id.vcttiTileIds.size();
  if (n > sc_nMaxLinkIdTiles)
    RefuseLength(label, link, field() + ".vcttiTileIds", n, "tile ids", sc_nMaxLinkIdTiles);
}

void CheckListing(const std::string& label, long link, const char* field, const std::vector<HdLinkId>& ids,
                  const char* what) {
  if (ids.size() > sc_nMaxLinkListing) RefuseLength(label, link, field, ids.size(), what, sc_nMaxLinkListing);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    CheckTileList(label, link, ids[i], [&] { return std::string(field) + "[" + std::to_string(i) + "]"; });
  }
}

void CheckLaneListing(const std::string& label, long link, std::size_t lane, const char* field,
                      const std::vector<HdLaneId>& ids, const char* what) {
  if (ids.size() <= sc_nMaxLaneListing) return;
  RefuseLength(label, link, "vcthlLane[" + std::to_string(lane) + "]." + field, ids.size(), what,
               sc_nMaxLaneListing);
}

}  // namespace

// Every list is checked, not only those of the records that reach the record map: a limit is a
// property of the file.
void CheckListLengths(const std::string& label, const HdSerializeData& content) {
  for (std::size_t i = 0; i < content.m_keys.size(); ++i) {
    CheckTileList(label, content.m_keys[i].lValue, content.m_keys[i],
                  [i] { return "m_keys[" + std::to_string(i) + "]"; });
  }
  for (const HdLink& link : content.m_values) {
    const long id = link.liId.lValue;
    CheckTileList(label, id, link.liId, [] { return std::string("liId"); });
    if (link.vcthlLane.size() > sc_nMaxLinkLanes) {
      RefuseLength(label, id, "vcthlLane", link.vcthlLane.size(), "lanes", sc_nMaxLinkLanes);
    }
    CheckListing(label, id, "vctliPreLinkId", link.vctliPreLinkId, "predecessor listings");
    CheckListing(label, id, "vctliNxtLinkId", link.vctliNxtLinkId, "successor listings");
    for (std::size_t k = 0; k < link.vcthlLane.size(); ++k) {
      const HdLane& lane = link.vcthlLane[k];
      CheckLaneListing(label, id, k, "vctliPreLaneId", lane.vctliPreLaneId, "predecessor lanes");
      CheckLaneListing(label, id, k, "vctliNxtLaneId", lane.vctliNxtLaneId, "successor lanes");
    }
  }
}

template class NodeQt<HdLinkId>;
template class Tile<HdLinkId, HdLink, HdSerializeData>;
template void DoSeserialize<HdSerializeData>(const std::string&, HdSerializeData&, int);
template void DoSeserialize<HdSerializeData>(const std::string&, HdSerializeData&, int, MemoryLimit&);
template void DoSeserialize<HdSerializeData>(ByteView, HdSerializeData&, int, MemoryLimit&);

}  // namespace ql
