// What building one tile allocates, measured: every operator new of this test program is
// counted, and the heap a tile holds at its peak while it is built must stay within
//   18 x the file's size + 32 MiB
// (the file's own bytes, the 16 bytes per byte plus 32 MiB of the tile's memory limit, and one
// transient copy of a JSON token). The inputs are the ones that took gigabytes when every leaf
// held its own copy of its bucket's ids (tile lists included), and the ones that a bound counting
// pairs refused although a producer may write them.

#include <gtest/gtest.h>

#include <cstddef>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "Archive.h"
#include "Errors.h"
#include "HeapCount.h"
#include "MapConfig.h"
#include "Tile.h"
#include "TileWriter.h"
#include "ajson.hpp"

using qltest::g_heap;

namespace {

using ql::HdLinkId;
using ql::Point;

constexpr std::size_t kMiB = std::size_t{1} << 20;

// The stated bound on what building a tile of that many file bytes holds, the file included.
std::size_t Bound(std::size_t fileBytes) { return 18 * fileBytes + 32 * kMiB; }

HdLinkId IdWithTiles(long value, int tiles) {
  HdLinkId id;
  id.lValue = value;
  for (int t = 0; t < tiles; ++t) id.vcttiTileIds.emplace_back(5819 + t % 7, 1995 + t);
  return id;
}

// One bucket that enters every one of the 4^depth leaves below levels of single quadrants, with
// `pairs` pairs whose ids each carry a list of `tiles` tiles: the memory of a leaf copy times a
// thousand leaves and more.
ql::HdSerializeData EveryLeafBucket(int depth, int fanLevels, int pairs, int tiles) {
  ql::HdSerializeData d;
  d.r = ql::Rect2D(Point(0, 0, 0), Point(4, 4, 0));
  unsigned long code = 0;
  for (int level = 0; level < depth; ++level) code = code << 4 | (level < depth - fanLevels ? 0x1ul : 0xFul);
  d.states = {code};
  d.nodes.emplace_back();
  d.ps.emplace_back();
  for (int k = 0; k < pairs; ++k) {
    d.nodes[0].push_back(IdWithTiles(k, tiles));
    d.ps[0].emplace_back(0.001 * (k % 1000), 0.001 * (k / 1000), 0);
  }
  return d;
}

struct MemoryCase {
  const char* name;
  int type;  // 1 JSON, 2 binary
  int depth;
  std::string bytes;
  bool loads;          // else refused with an error naming the tile
  std::size_t leaves;  // the tree's leaves when it loads (the placeholder not counted)
};

// JSON links written as {}: 3 bytes of text for each 672-byte record.
std::string EmptyLinks(std::size_t count) {
  std::string text = "{\"m_values\": [";
  for (std::size_t i = 0; i < count; ++i) text += i == 0 ? "{}" : ",{}";
  return text + "]}";
}

// Buckets that each re-enter a whole depth-8 tree: the tree stays at 87,380 cells but building it
// would visit 87,380 more for every bucket of a few bytes.
std::string FanningBuckets(std::size_t count) {
  ql::HdSerializeData d;
  d.r = ql::Rect2D(Point(0, 0, 0), Point(4, 4, 0));
  d.states.assign(count, 0xFFFFFFFFul);
  d.nodes.assign(count, {});
  d.ps.assign(count, {});
  return qlw::EncodeBinary(d);
}

const std::vector<MemoryCase>& Cases() {
  static const std::vector<MemoryCase> cases = {
      // About 1 MB of file: one id with a 40,000-tile list, in all 1,024 leaves of a depth-5 tree.
      {"MegabyteJsonTileListInEveryLeaf", 1, 5, qlw::EncodeJson(EveryLeafBucket(5, 5, 1, 40000)), true, 1024},
      {"MegabyteBinaryTileListInEveryLeaf", 2, 5, qlw::EncodeBinary(EveryLeafBucket(5, 5, 1, 130000)), true, 1024},
      // At depth 16, 1,024 leaves below eleven single quadrants, ids with 1,000-tile lists.
      {"DeepTreeTileListsInAThousandLeaves", 1, 16, qlw::EncodeJson(EveryLeafBucket(16, 5, 6, 1000)), true, 1024},
      // The pair-counting bound refused 63 pairs over a whole depth-5 tree; far more load now.
      {"SixtyThreePairsInEveryLeaf", 2, 5, qlw::EncodeBinary(EveryLeafBucket(5, 5, 63, 2)), true, 1024},
      {"HundredThousandPairsInEveryLeaf", 2, 5, qlw::EncodeBinary(EveryLeafBucket(5, 5, 100000, 1)), true, 1024},
      {"WholeDepthEightTree", 2, 8, qlw::EncodeBinary(EveryLeafBucket(8, 8, 10, 1)), true, 65536},
      // Content whose records outweigh their text by two hundred times, and buckets whose cells
      // do: refused once past the limit, by the part that would have run past it.
      {"JsonEmptyLinks", 1, 5, EmptyLinks(400000), false, 0},
      {"FanningBuckets", 2, 8, FanningBuckets(20000), false, 0},
      {"AllQuadrantsAtDepthSixteen", 2, 16, qlw::EncodeBinary(EveryLeafBucket(16, 16, 1, 1)), false, 0},
  };
  return cases;
}

class TileMemory : public ::testing::TestWithParam<std::size_t> {
 protected:
  // The JSON reader keeps each record type's field names, and the queries their profiler section
  // names, once per process, made at first use: made here, so that a case sees only what its
  // tile allocates.
  static void SetUpTestSuite() {
    ql::HdSerializeData d = EveryLeafBucket(1, 1, 1, 1);
    d.m_keys = d.nodes[0];
    d.m_values.emplace_back();
    ql::HdSerializeData back;
    const std::string text = qlw::EncodeJson(d);
    ajson::load_from_buff(back, text.c_str(), text.size());
    ql::NodeQt<HdLinkId> tree(1, d.r);
    tree.Deserialize(d.r, d.states, d.nodes, d.ps);
    std::set<HdLinkId> ids;
    tree.GetNodeIdsInRect(d.r, ids);
  }

  void SetUp() override {
    savedType_ = ql::MapConfig::serialize_type_json1_binary2;
    savedDepth_ = ql::MapConfig::qt_max_level;
  }
  void TearDown() override {
    ql::MapConfig::serialize_type_json1_binary2 = savedType_;
    ql::MapConfig::qt_max_level = savedDepth_;
  }
  int savedType_ = 1;
  int savedDepth_ = 0;
};

TEST_P(TileMemory, BuildingATileStaysWithinItsBound) {
  const MemoryCase& c = Cases().at(GetParam());
  ql::MapConfig::serialize_type_json1_binary2 = c.type;
  ql::MapConfig::qt_max_level = c.depth;
  std::string error;
  error.reserve(4096);  // the message is not the tile's
  const std::size_t before = g_heap.live;
  std::size_t peak = 0;
  {
    ql::HdTile tile(ql::TileId(3, 4));
    try {
      g_heap.ResetPeak();
      tile.Deserialize(c.bytes);
      peak = g_heap.peak - before;
      ASSERT_NE(tile.GetQuadtree(), nullptr);
      std::size_t leaves = 0;
      for (const auto& leaf : tile.GetQuadtree()->GetLeaves()) leaves += leaf.nBucket == 0 ? 1 : 0;
      EXPECT_EQ(leaves, c.leaves);
      std::set<HdLinkId> ids;  // a box of a few leaves: the whole tile would test every pair of each
      tile.GetNodeIdsInRect(ql::Rect2D(Point(0, 0, 0), Point(0.02, 0.02, 0)), ids);
      EXPECT_FALSE(ids.empty());
    } catch (const std::exception& e) {
      peak = g_heap.peak - before;
      error = e.what();
    }
  }
  EXPECT_EQ(g_heap.live, before);  // the tile gave everything back
  // The file's bytes are the caller's here; the bound counts them.
  EXPECT_LE(peak + c.bytes.size(), Bound(c.bytes.size())) << "file " << c.bytes.size() << " bytes";
  if (c.loads) {
    EXPECT_EQ(error, "");
  } else {
    // The tile's own checks name it; the JSON reader gives its position (the store adds the file).
    const bool named = error.find("tile 3,4: ") != std::string::npos || error.rfind("error at line :", 0) == 0;
    EXPECT_TRUE(named) << error;
    EXPECT_NE(error.find("bytes of memory"), std::string::npos) << error;
  }
}

INSTANTIATE_TEST_SUITE_P(Tile, TileMemory, ::testing::Range<std::size_t>(0, Cases().size()),
                         [](const auto& info) { return std::string(Cases().at(info.param).name); });

// The queries over a bucket that enters every leaf answer as they did when each leaf held a
// copy: the ids once each, and in the SD form every pair of every visited leaf, in visiting order.
TEST(TileMemoryAnswers, SharedBucketAnswersAsCopiesDid) {
  const ql::HdSerializeData d = EveryLeafBucket(2, 2, 3, 1);
  ql::NodeQt<HdLinkId> tree(2, d.r);
  tree.Deserialize(d.r, d.states, d.nodes, d.ps, "tile 0,0");
  std::vector<std::tuple<HdLinkId, Point>> pairs;
  tree.GetNodeIdsInRect(ql::Rect2D(Point(0, 0, 0), Point(4, 4, 0)), pairs);
  // 16 leaves, each the three pairs.
  ASSERT_EQ(pairs.size(), 48u);
  for (std::size_t i = 0; i < pairs.size(); ++i) EXPECT_EQ(std::get<0>(pairs[i]).lValue, static_cast<long>(i % 3));
}

}  // namespace
