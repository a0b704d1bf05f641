// The limits on an HD link's lists (LinkLimits.h), as the tile store applies them when it loads a
// tile: a list at its limit loads, one entry more and the tile is refused, naming the file, the
// link, the list and its length, in either encoding and through the map's start-up alike.

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Errors.h"
#include "HostileWalks.h"
#include "LinkLimits.h"
#include "MapBuilder.h"
#include "MapConfig.h"
#include "MapInterface.h"
#include "Save.h"
#include "TestConfig.h"
#include "TestFiles.h"
#include "TileWriter.h"
#include "World.h"

namespace {

using qltest::Encoding;
using qltest::kEncodings;

constexpr int kDepth = 5;
constexpr long kLink = 7;  // the link whose lists grow; it lists link 8 twice each way

std::vector<ql::HdLink> Links() {
  ql::HdLink link = qlhostile::Road(qltest::kOrigin, kLink, 0.0, 3, 30.0);
  ql::HdLink other = qlhostile::Road(qltest::kOrigin, 8, 20.0, 1, 10.0);
  for (int i = 0; i < 2; ++i) {
    link.vctliPreLinkId.push_back(qlhostile::LinkIdOf(8));
    link.vctliNxtLinkId.push_back(qlhostile::LinkIdOf(8));
  }
  return {link, other};
}

// The one tile the links lie in, and link 7's key and record there.
struct Content {
  ql::TileId tile;
  ql::HdSerializeData data;
  ql::HdLinkId& Key() { return data.m_keys.at(Index()); }
  ql::HdLink& Link() { return data.m_values.at(Index()); }
  std::size_t Index() const {
    for (std::size_t i = 0; i < data.m_values.size(); ++i) {
      if (data.m_values[i].liId.lValue == kLink) return i;
    }
    throw std::logic_error("no link 7");
  }
};

Content Built() {
  const qlw::TileMap tiles = qlw::BuildTiles(Links(), kDepth);
  if (tiles.size() != 1) throw std::logic_error("the links should lie in one tile");
  return Content{tiles.begin()->first, tiles.begin()->second};
}

// One limited list: how a tile's content is made to hold n entries in it, and how a refusal
// names it.
struct ListCase {
  const char* name;
  void (*grow)(Content& c, std::size_t n);
  const char* field;
  const char* what;
  std::size_t limit;
};

void PrintTo(const ListCase& c, std::ostream* os) { *os << c.name; }

const ListCase kCases[] = {
    {"KeyTileList", [](Content& c, std::size_t n) { c.Key().vcttiTileIds.assign(n, c.tile); },
     "m_keys[0].vcttiTileIds", "tile ids", ql::sc_nMaxLinkIdTiles},
    {"OwnTileList", [](Content& c, std::size_t n) { c.Link().liId.vcttiTileIds.assign(n, c.tile); },
     "liId.vcttiTileIds", "tile ids", ql::sc_nMaxLinkIdTiles},
    {"Lanes", [](Content& c, std::size_t n) { c.Link().vcthlLane.resize(n, c.Link().vcthlLane.back()); },
     "vcthlLane", "lanes", ql::sc_nMaxLinkLanes},
    {"PredecessorListing",
     [](Content& c, std::size_t n) { c.Link().vctliPreLinkId.resize(n, c.Link().vctliPreLinkId.back()); },
     "vctliPreLinkId", "predecessor listings", ql::sc_nMaxLinkListing},
    {"SuccessorListing",
     [](Content& c, std::size_t n) { c.Link().vctliNxtLinkId.resize(n, c.Link().vctliNxtLinkId.back()); },
     "vctliNxtLinkId", "successor listings", ql::sc_nMaxLinkListing},
    {"PredecessorTileList",
     [](Content& c, std::size_t n) { c.Link().vctliPreLinkId[1].vcttiTileIds.assign(n, c.tile); },
     "vctliPreLinkId[1].vcttiTileIds", "tile ids", ql::sc_nMaxLinkIdTiles},
    {"SuccessorTileList",
     [](Content& c, std::size_t n) { c.Link().vctliNxtLinkId[1].vcttiTileIds.assign(n, c.tile); },
     "vctliNxtLinkId[1].vcttiTileIds", "tile ids", ql::sc_nMaxLinkIdTiles},
    {"LanePredecessors",
     [](Content& c, std::size_t n) { c.Link().vcthlLane[2].vctliPreLaneId.assign(n, c.Link().vcthlLane[0].liId); },
     "vcthlLane[2].vctliPreLaneId", "predecessor lanes", ql::sc_nMaxLaneListing},
    {"LaneSuccessors",
     [](Content& c, std::size_t n) { c.Link().vcthlLane[2].vctliNxtLaneId.assign(n, c.Link().vcthlLane[0].liId); },
     "vcthlLane[2].vctliNxtLaneId", "successor lanes", ql::sc_nMaxLaneListing},
    // A record under a key already taken never reaches the record map; its lists count all the same.
    {"RecordUnderATakenKey",
     [](Content& c, std::size_t n) {
       ql::HdLink again = c.Link();
       again.vcthlLane.resize(n, again.vcthlLane.back());
       c.data.m_keys.push_back(c.Key());
       c.data.m_values.push_back(again);
     },
     "vcthlLane", "lanes", ql::sc_nMaxLinkLanes},
};

class LinkLimit : public ::testing::TestWithParam<ListCase> {
 protected:
  // The written project read in encoding e, its tile file replaced by c.
  std::string Use(const Encoding& e, const Content& c) {
    qlw::WriteProject(m_dir.str(), Links(), kDepth);
    ql::MapConfig::tile_lon_interval = 0.02;
    ql::MapConfig::tile_lat_interval = 0.02;
    ql::MapConfig::qt_max_level = kDepth;
    ql::MapConfig::serialize_type_json1_binary2 = e.type;
    ql::MapConfig::tile_encrypt = false;
    const std::string dir = m_dir.str() + "/" + e.HdDir();
    ql::MapConfig::hdConfig::save_dir_json = dir;
    ql::MapConfig::hdConfig::save_dir_binary = dir;
    const std::string path = dir + qlw::TileFileName(c.tile);
    qltest::WriteFile(path, e.type == 1 ? qlw::EncodeJson(c.data) : qlw::EncodeBinary(c.data));
    return path;
  }

  qltest::ConfigGuard m_guard;
  qltest::TempDir m_dir{"link_limits"};
};

TEST_P(LinkLimit, LoadsAtTheLimitAndRefusesOneMoreNamingFileLinkAndCount) {
  const ListCase& c = GetParam();
  for (const Encoding& e : {kEncodings[0], kEncodings[1]}) {
    SCOPED_TRACE(e.name);
    Content atLimit = Built();
    c.grow(atLimit, c.limit);
    Use(e, atLimit);
    ql::Save save;
    ql::HdWorld world(&save);
    std::shared_ptr<ql::HdTile> tile;
    ASSERT_TRUE(world.LoadTile(atLimit.tile, tile));
    EXPECT_NE(tile->GetNodeData(qlhostile::LinkIdOf(kLink)), nullptr);

    Content over = Built();
    c.grow(over, c.limit + 1);
    const std::string path = Use(e, over);
    ql::HdWorld refusing(&save);
    try {
      refusing.LoadTile(over.tile, tile);
      ADD_FAILURE() << "no exception";
    } catch (const ql::TileLimitError& error) {
      EXPECT_EQ(std::string(error.what()), path + ": link 7: " + c.field + ": " + std::to_string(c.limit + 1) +
                                               " " + c.what + ", more than the " + std::to_string(c.limit) +
                                               " allowed");
      EXPECT_EQ(error.File(), path);
    }
    // Not kept, and not failed for good: a corrected file loads.
    EXPECT_TRUE(refusing.GetTiles().empty());
    EXPECT_TRUE(refusing.GetFailedTiles().empty());
    Use(e, atLimit);
    EXPECT_TRUE(refusing.LoadTile(over.tile, tile));
  }
}

INSTANTIATE_TEST_SUITE_P(EveryLimitedList, LinkLimit, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The map's start-up reads every tile; the refusal names the tile file by the path it read.
TEST(LinkLimits, StartUpRefusesATileOverALimitNamingItsPath) {
  qltest::ConfigGuard guard;
  qltest::TempDir dir("link_limits_init");
  Content over = Built();
  kCases[2].grow(over, ql::sc_nMaxLinkLanes + 1);
  qlw::WriteTiles(dir.str(), qlw::TileMap{{over.tile, Built().data}}, kDepth);
  for (const Encoding& e : {kEncodings[0], kEncodings[1]}) {
    SCOPED_TRACE(e.name);
    const std::string path = dir.str() + "/" + e.HdDir() + qlw::TileFileName(over.tile);
    qltest::WriteFile(path, e.type == 1 ? qlw::EncodeJson(over.data) : qlw::EncodeBinary(over.data));
    ql::MapInterface map;
    testing::internal::CaptureStdout();
    try {
      map.Init(dir.str() + "/", e.type == 1 ? "config_json.json" : "config_binary.json");
      ADD_FAILURE() << "no exception";
    } catch (const ql::TileLimitError& error) {
      EXPECT_EQ(std::string(error.what()), path + ": link 7: vcthlLane: 257 lanes, more than the 256 allowed");
    }
    testing::internal::GetCapturedStdout();
  }
}

}  // namespace
