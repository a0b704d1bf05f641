// Reads arbitrary bytes as an SD tile file: decodes them as the binary and as the JSON encoding,
// builds a tile from the binary bytes and runs the nearest-node search over it. The decoders may
// only raise their own errors (ql::ArchiveError, ajson::exception) and the tile build
// ql::TileTreeError for a tree too large; a crash, a sanitizer report, another exception, a hang or
// an allocation past the fuzzer's limit is a finding, and so is a search that reports a node at a
// distance that is negative or not finite, or one that holds more heap than the tile's build may
// (18 x the input's size + 32 MiB).
//
// The tree depth is the number of 4-bit groups the largest path code uses, so that the codes of a
// seed address the leaves they were written for.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Archive.h"
#include "CoordSys.h"
#include "Errors.h"
#include "FuzzHeap.h"
#include "MapConfig.h"
#include "SdLib.h"
#include "SdStore.h"
#include "ajson.hpp"

namespace {

int DepthOf(const ql::SdSerializeData& d) {
  unsigned long widest = 0;
  for (const unsigned long code : d.states) widest |= code;
  int depth = 0;
  for (; widest != 0; widest >>= 4) ++depth;
  return depth;
}

void ExpectSoundSearch(const ql::SdTile& tile, const ql::Point& p, const ql::Rect2D& q, std::size_t input) {
  for (const bool with3d : {false, true}) {
    fz::g_heap.Start();
    ql::SdNodeId id;
    double dist = -1.0;
    if (tile.GetNearestNodeId(p, q, id, dist, with3d) && !(std::isfinite(dist) && dist >= 0.0)) std::abort();
    fz::CheckQueryHeap("fuzz_sdtile", fz::g_heap.Stop(), input);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fz::InstallHeapHooks();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // JSON: the text ends at its first NUL byte.
  try {
    ql::SdSerializeData fromJson;
    ajson::load_from_buff(fromJson, bytes.c_str(), std::char_traits<char>::length(bytes.c_str()));
  } catch (const ajson::exception&) {
  }

  ql::SdSerializeData content;
  try {
    ql::InArchive ar(bytes);
    ar >> content;
    if (ar.Offset() > size) std::abort();
  } catch (const ql::ArchiveError& e) {
    if (e.Offset() > size) std::abort();  // an error names a byte of the input
    return 0;
  }
  // Every element of every vector takes at least one byte.
  const size_t elements = content.m_keys.size() + content.m_values.size() + content.states.size() +
                          content.nodes.size() + content.ps.size();
  if (elements > size) std::abort();

  ql::MapConfig::serialize_type_json1_binary2 = 2;
  ql::MapConfig::qt_max_level = DepthOf(content);
  ql::SdTile tile(ql::TileId(5819, 1995));
  try {
    tile.Deserialize(bytes);
  } catch (const ql::TileTreeError&) {
    return 0;
  }

  // The whole tile from its centre, and the box of 45 m around each of its first keys.
  const ql::Rect2D& r = content.r;
  ExpectSoundSearch(tile, ql::Point((r.lb.dLon + r.rt.dLon) / 2, (r.lb.dLat + r.rt.dLat) / 2, 0.0), r, size);
  for (size_t i = 0; i < content.m_keys.size() && i < 4; ++i) {
    const ql::Point& p = content.m_keys[i].p;
    ExpectSoundSearch(tile, p, ql::P2R(p, 45.0f, 45.0f), size);
    tile.GetNodeData(content.m_keys[i]);  // a NaN longitude leaves keys without an order: no answer is checked
  }
  return 0;
}
