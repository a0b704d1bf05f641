// The tile store over real tile files: what is read when, what is kept, what is never read
// again, how queries span tiles, and how damaged files are reported; and the initialisation on
// the sample map that leaves nothing behind when it refuses a configuration.
//
// Reads are observed through the disk: a file that appears, changes or vanishes after a
// tile's first request shows whether the second request read it again.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "Errors.h"
#include "FileSys.h"
#include "MapBuilder.h"
#include "MapConfig.h"
#include "MapInterface.h"
#include "MapRequest.h"
#include "Save.h"
#include "Singleton.h"
#include "TestConfig.h"
#include "TestFiles.h"
#include "TileWriter.h"
#include "World.h"
#include "ajson.hpp"

namespace {

namespace fs = std::filesystem;
using ql::HdLinkId;
using ql::Point;
using ql::Rect2D;
using ql::TileId;
using qltest::ReadFile;
using qltest::Values;
using qltest::WriteFile;

const TileId kA(5819, 1995);  // lon 116.38 .. 116.40, lat 39.90 .. 39.92
const TileId kB(5820, 1995);  // lon 116.40 .. 116.42

ql::HdLink Link(long id, std::vector<std::vector<double>> line) {
  ql::HdLink link = qltest::Link(id, std::move(line));
  link.strName = "link " + std::to_string(id);
  return link;
}

// 1 lies in A, 2 crosses from A into B, 3 lies in B.
std::vector<ql::HdLink> Links() {
  return {Link(1, {{116.385, 39.905}, {116.386, 39.906}}), Link(2, {{116.395, 39.905}, {116.405, 39.905}}),
          Link(3, {{116.41, 39.91}, {116.412, 39.912}})};
}

HdLinkId IdIn(long v, std::vector<TileId> tiles) { return qltest::LinkId(v, std::move(tiles)); }

Rect2D Box(double x0, double y0, double x1, double y1) { return Rect2D(Point(x0, y0, 0), Point(x1, y1, 0)); }

// Tile ids have no equality (only their order); compare them as pairs.
std::set<std::pair<int, int>> Pairs(const std::set<TileId>& ids) {
  std::set<std::pair<int, int>> out;
  for (const TileId& t : ids) out.emplace(t.nLonId, t.nLatId);
  return out;
}
using PairSet = std::set<std::pair<int, int>>;

using qltest::ConfigGuard;

// ---- one fixture per encoding --------------------------------------------------------------

using qltest::Encoding;
using qltest::kEncodings;

constexpr int kDepth = 5;

class WorldTest : public ::testing::TestWithParam<Encoding> {
 protected:
  void SetUp() override { Configure(qlw::BuildTiles(Links(), kDepth)); }

  void Configure(const qlw::TileMap& tiles) {
    written_ = qlw::WriteTiles(tmp_.path().string(), tiles, kDepth);
    const Encoding& e = GetParam();
    ql::MapConfig::tile_lon_interval = 0.02;
    ql::MapConfig::tile_lat_interval = 0.02;
    ql::MapConfig::qt_max_level = kDepth;
    ql::MapConfig::serialize_type_json1_binary2 = e.type;
    ql::MapConfig::tile_encrypt = e.encrypt;
    const std::string dir = (tmp_.path() / e.HdDir()).string();
    ql::MapConfig::hdConfig::save_dir_json = e.type == 1 ? dir : std::string("unused/");
    ql::MapConfig::hdConfig::save_dir_binary = e.type == 2 ? dir : std::string("unused/");
  }

  fs::path TileFile(const TileId& id) const { return tmp_.path() / GetParam().HdDir() / qlw::TileFileName(id); }

  // A valid file of this encoding for tile id, made from A's content.
  void CopyTileFile(const TileId& from, const TileId& to) const {
    WriteFile(TileFile(to), ReadFile(TileFile(from)));
  }

  // The stored coordinates of the first vertex of link id in tile t, as the files hold them.
  Point Vertex(const TileId& t, long id) const {
    for (const ql::HdLink& l : written_.at(t).m_values) {
      if (l.liId.lValue == id) return Point(l.vctvdGeoLink.at(0));
    }
    throw std::logic_error("no such link");
  }

  ConfigGuard guard_;
  qltest::TempDir tmp_{"world"};
  qlw::TileMap written_;
  ql::Save save_;
  ql::HdWorld world_{&save_};
};

TEST_P(WorldTest, StartUpLoadsEveryTileAndTakesNoDotEntryForATile) {
  testing::internal::CaptureStdout();
  world_.LoadAllTilesOnce();
  const std::string listing = testing::internal::GetCapturedStdout();
  EXPECT_NE(listing.find("d_name : 5819,1995\n"), std::string::npos) << listing;
  EXPECT_NE(listing.find("d_name : ..\n"), std::string::npos) << listing;  // echoed, not read as tile 0,0

  ASSERT_EQ(world_.GetTiles().size(), 2u);
  EXPECT_EQ(world_.GetTiles().count(kA), 1u);
  EXPECT_EQ(world_.GetTiles().count(kB), 1u);
  EXPECT_TRUE(world_.GetFailedTiles().empty());
}

TEST_P(WorldTest, SecondStartUpReadsOnlyNewTiles) {
  const TileId unreadable(5821, 1995), added(5822, 1995);
  fs::create_directory(TileFile(unreadable));  // named like a tile, but no file to read
  testing::internal::CaptureStderr();
  world_.LoadAllTilesOnce();
  testing::internal::GetCapturedStderr();
  const ql::HdTile* a = world_.GetTiles().at(kA).get();
  EXPECT_EQ(Pairs(world_.GetFailedTiles()), PairSet({{5821, 1995}}));
  // A vanishes, the unreadable tile becomes a good file (failed for good already) and a new
  // tile appears.
  fs::remove(TileFile(kA));
  fs::remove(TileFile(unreadable));
  CopyTileFile(kB, unreadable);
  CopyTileFile(kB, added);
  world_.LoadAllTilesOnce();
  EXPECT_EQ(world_.GetTiles().at(kA).get(), a);
  EXPECT_EQ(world_.GetTiles().count(unreadable), 0u);
  EXPECT_EQ(world_.GetTiles().count(added), 1u);
  EXPECT_EQ(Pairs(world_.GetFailedTiles()), PairSet({{5821, 1995}}));
  // Every tile listed now was cached or failed before: nothing to read, and nothing to report.
  EXPECT_NO_THROW(world_.LoadAllTilesOnce());
  EXPECT_EQ(world_.GetTiles().size(), 3u);
}

// A directory that cannot be listed, a serialize type that names none, or a directory with
// entries of which no tile loads is refused, naming the directory and the setting that chose it;
// the start-up then leaves nothing cached or failed. An existing empty directory is an empty map.
TEST_P(WorldTest, StartUpRefusesADirectoryWithoutAMap) {
  const std::string dir = (tmp_.path() / GetParam().HdDir()).string();
  const std::string setting = GetParam().type == 1 ? "hd_config.save_dir_json" : "hd_config.save_dir_binary";
  const fs::path others = tmp_.path() / "others";  // a configuration file and a folder
  fs::create_directories(others / "hd");
  WriteFile(others / "config.json", "{}");
  const fs::path unreadable = tmp_.path() / "unreadable";  // folders named like tiles
  fs::create_directories(unreadable / "5830,1995");
  fs::create_directories(unreadable / "5831,1995");
  struct Row {
    const char* name;
    std::string dir;  // the configured directory of this encoding
    int type;
    std::string message;
    long unreadable = 0;  // entries named on standard error
  };
  const Row rows[] = {
      {"Missing", dir + "no_such/", GetParam().type,
       "tile directory not found or not readable: " + dir + "no_such/ (No such file or directory), set by " +
           setting},
      {"AFile", TileFile(kA).string() + "/", GetParam().type,
       "tile directory not found or not readable: " + TileFile(kA).string() + "/ (Not a directory), set by " +
           setting},
      {"NoDirectoryForType", dir, 3,
       "tile directory not found or not readable: serialize_type_json1_binary2 is 3, which names none (1: JSON "
       "tiles, 2: binary tiles)"},
      {"OtherFilesOnly", others.string() + "/", GetParam().type,
       "tile directory holds no readable tile: " + others.string() + "/, set by " + setting},
      {"EveryTileUnreadable", unreadable.string() + "/", GetParam().type,
       "tile directory holds no readable tile: " + unreadable.string() + "/, set by " + setting, 2},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ql::MapConfig::serialize_type_json1_binary2 = r.type;
    ql::MapConfig::hdConfig::save_dir_json = r.dir;
    ql::MapConfig::hdConfig::save_dir_binary = r.dir;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    try {
      world_.LoadAllTilesOnce();
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), r.message);
    }
    testing::internal::GetCapturedStdout();
    // Each entry the reader refuses is named once; the "." entries name no tile.
    const std::string complaints = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(complaints.begin(), complaints.end(), '\n'), r.unreadable) << complaints;
    EXPECT_TRUE(world_.GetTiles().empty());
    EXPECT_TRUE(world_.GetFailedTiles().empty());
  }
  fs::create_directories(tmp_.path() / "empty");
  ql::MapConfig::serialize_type_json1_binary2 = GetParam().type;
  ql::MapConfig::hdConfig::save_dir_json = ql::MapConfig::hdConfig::save_dir_binary =
      (tmp_.path() / "empty").string() + "/";
  testing::internal::CaptureStdout();
  world_.LoadAllTilesOnce();
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(world_.GetTiles().empty());
  EXPECT_TRUE(world_.GetFailedTiles().empty());

  ql::MapConfig::hdConfig::save_dir_json = ql::MapConfig::hdConfig::save_dir_binary = dir;
  testing::internal::CaptureStdout();
  world_.LoadAllTilesOnce();  // the corrected setting loads
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(world_.GetTiles().size(), 2u);
}

TEST_P(WorldTest, MissingTileIsTriedOnce) {
  std::shared_ptr<ql::HdTile> tile;
  const TileId missing(7, 7);
  EXPECT_FALSE(world_.LoadTile(missing, tile));
  EXPECT_EQ(tile, nullptr);
  CopyTileFile(kA, missing);  // a readable file now, but the id is failed for good
  EXPECT_FALSE(world_.LoadTile(missing, tile));
  EXPECT_EQ(world_.LoadTiles({missing, kA}).size(), 1u);
  EXPECT_EQ(Pairs(world_.GetFailedTiles()), PairSet({{7, 7}}));

  ql::HdWorld fresh(&save_);  // the file itself is fine
  EXPECT_TRUE(fresh.LoadTile(missing, tile));
}

TEST_P(WorldTest, CachedTileIsReadOnce) {
  std::shared_ptr<ql::HdTile> first;
  ASSERT_TRUE(world_.LoadTile(kA, first));
  fs::remove(TileFile(kA));
  std::shared_ptr<ql::HdTile> second;
  EXPECT_TRUE(world_.LoadedTile(kA, second));
  EXPECT_EQ(second, first);
  second.reset();
  EXPECT_TRUE(world_.LoadTile(kA, second));
  EXPECT_EQ(second, first);
  EXPECT_TRUE(world_.GetFailedTiles().empty());
}

TEST_P(WorldTest, LoadedTileDoesNotLoad) {
  std::shared_ptr<ql::HdTile> tile;
  EXPECT_FALSE(world_.LoadedTile(kA, tile));
  EXPECT_TRUE(world_.GetTiles().empty());
}

TEST_P(WorldTest, BoxQueriesFindLinksByIndexedVertex) {
  struct Case {
    const char* name;
    Rect2D box;
    std::set<long> ids;
    std::size_t records;  // one per tile that indexes the link inside the box
  };
  const Point v3 = Vertex(kB, 3);
  const Case cases[] = {
      {"VertexOfOne", Box(116.3845, 39.9045, 116.3855, 39.9055), {1}, 1},
      // Link 1's line runs through this box, but none of its vertices lies in it.
      {"LineWithoutVertex", Box(116.3852, 39.9052, 116.3858, 39.9058), {}, 0},
      // Link 2 is stored in both tiles: one id, one record from each.
      {"AcrossTheBorder", Box(116.394, 39.904, 116.406, 39.906), {2}, 2},
      {"BorderOnlyWithoutVertices", Box(116.399, 39.904, 116.401, 39.906), {}, 0},
      {"VertexOnLowerLeftCorner", Rect2D(v3, Point(v3.dLon + 0.001, v3.dLat + 0.001, 0)), {3}, 1},
      {"VertexOnUpperRightCorner", Rect2D(Point(v3.dLon - 0.001, v3.dLat - 0.001, 0), v3), {}, 0},
      {"BothTiles", Box(116.381, 39.901, 116.419, 39.919), {1, 2, 3}, 4},
      {"NoTileThere", Box(10.001, 20.001, 10.002, 20.002), {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Values(world_.GetNodeIdsInRect(c.box)), c.ids);
    const std::set<const ql::HdLink*> links = world_.GetNodesInRect(c.box);
    EXPECT_EQ(links.size(), c.records);
    for (const ql::HdLink* l : links) EXPECT_EQ(c.ids.count(l->liId.lValue), 1u) << l->liId.lValue;
  }
  // Stepping may name a neighbour column of the boxes that has no file; A and B never fail.
  EXPECT_EQ(world_.GetFailedTiles().count(TileId(500, 1000)), 1u);
  EXPECT_EQ(world_.GetFailedTiles().count(kA), 0u);
  EXPECT_EQ(world_.GetFailedTiles().count(kB), 0u);
}

TEST_P(WorldTest, CollectedRecordsMatchTheRecordSetOverBothTiles) {
  // Boxes over tile A, tile B, their border and neither; the vector keeps the set's order.
  const Rect2D boxes[] = {Box(116.3845, 39.9045, 116.3855, 39.9055), Box(116.394, 39.904, 116.406, 39.906),
                          Box(116.381, 39.901, 116.419, 39.919), Box(116.399, 39.904, 116.401, 39.906),
                          Box(10.001, 20.001, 10.002, 20.002)};
  for (const Rect2D& box : boxes) {
    SCOPED_TRACE(testing::Message() << box.lb.dLon << "," << box.lb.dLat);
    const std::set<const ql::HdLink*> expected = world_.GetNodesInRect(box);
    std::vector<const ql::HdLink*> got = {nullptr};  // replaced, not appended to
    world_.CollectNodesInRect(box, got);
    EXPECT_EQ(got, std::vector<const ql::HdLink*>(expected.begin(), expected.end()));
  }
}

TEST_P(WorldTest, BoxQueriesLoadTilesOnDemand) {
  EXPECT_EQ(Values(world_.GetNodeIdsInRect(Box(116.3845, 39.9045, 116.3855, 39.9055))), std::set<long>({1}));
  EXPECT_EQ(world_.GetTiles().size(), 1u);
  EXPECT_EQ(world_.GetTiles().count(kA), 1u);
  EXPECT_EQ(world_.LoadTileInRect(Box(116.39, 39.91, 116.41, 39.91)).size(), 2u);
}

TEST_P(WorldTest, ZeroIntervalsSeeNoTile) {
  ql::MapConfig::tile_lon_interval = 0;
  ql::MapConfig::tile_lat_interval = 0;
  const Rect2D box = Box(116.38, 39.9, 116.42, 39.92);
  EXPECT_TRUE(world_.GetNodeIdsInRect(box).empty());
  EXPECT_TRUE(world_.GetNodesInRect(box).empty());
  EXPECT_TRUE(world_.LoadTileInRect(box).empty());
  EXPECT_TRUE(world_.GetTiles().empty());
}

TEST_P(WorldTest, RecordByIdComesFromTheLastListedTile) {
  // Give tile A its own copy of link 2, told apart by name.
  qlw::TileMap tiles = qlw::BuildTiles(Links(), kDepth);
  for (ql::HdLink& l : tiles.at(kA).m_values) {
    if (l.liId.lValue == 2) l.strName = "copy in A";
  }
  Configure(tiles);

  struct Case {
    const char* name;
    HdLinkId id;
    const char* expected;  // nullptr: no record
  };
  const Case cases[] = {
      {"AThenB", IdIn(2, {kA, kB}), "link 2"},
      {"BThenA", IdIn(2, {kB, kA}), "copy in A"},
      {"LastTileLacksTheLink", IdIn(1, {kA, kB}), nullptr},
      {"OnlyA", IdIn(1, {kA}), "link 1"},
      {"EmptyList", IdIn(1, {}), nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ql::HdLink* link = world_.GetNodeData(c.id);
    if (c.expected == nullptr) {
      EXPECT_EQ(link, nullptr);
    } else {
      ASSERT_NE(link, nullptr);
      EXPECT_EQ(link->strName, c.expected);
    }
  }
}

TEST_P(WorldTest, RecordByIdStopsAtAFailedTile) {
  EXPECT_EQ(world_.GetNodeData(IdIn(2, {TileId(1, 1), kA})), nullptr);
  EXPECT_EQ(world_.GetTiles().count(kA), 0u);  // never read
  EXPECT_EQ(Pairs(world_.GetFailedTiles()), PairSet({{1, 1}}));
  // Tiles before the failed one stay loaded.
  EXPECT_EQ(world_.GetNodeData(IdIn(2, {kB, TileId(1, 1)})), nullptr);
  EXPECT_EQ(world_.GetTiles().count(kB), 1u);
}

TEST_P(WorldTest, RecordByIdLoadsEveryListedTile) {
  const ql::HdLink* link = world_.GetNodeData(IdIn(2, {kA, kB}));
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(world_.GetTiles().size(), 2u);
  // The pointer is into the cached tile B and stays valid.
  EXPECT_EQ(link, world_.GetTiles().at(kB)->GetNodeData(IdIn(2, {})));
}

INSTANTIATE_TEST_SUITE_P(World, WorldTest, ::testing::ValuesIn(kEncodings),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- damaged files ---------------------------------------------------------------------------

// Expects f to raise E and returns its text.
template <class E, class F>
std::string Raised(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  } catch (const std::exception& e) {
    ADD_FAILURE() << "other exception: " << e.what();
    return std::string();
  }
  ADD_FAILURE() << "no exception";
  return std::string();
}

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}
bool EndsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

class DamagedTile : public ::testing::Test {
 protected:
  void Use(const Encoding& e) {
    qlw::WriteProject(tmp_.path().string(), Links(), kDepth);
    ql::MapConfig::tile_lon_interval = 0.02;
    ql::MapConfig::tile_lat_interval = 0.02;
    ql::MapConfig::qt_max_level = kDepth;
    ql::MapConfig::serialize_type_json1_binary2 = e.type;
    ql::MapConfig::tile_encrypt = e.encrypt;
    dir_ = (tmp_.path() / e.HdDir()).string();  // ends with '/', as the settings do
    ql::MapConfig::hdConfig::save_dir_json = dir_;
    ql::MapConfig::hdConfig::save_dir_binary = dir_;
  }
  std::string Path(const TileId& id) const { return dir_ + qlw::TileFileName(id); }

  ConfigGuard guard_;
  qltest::TempDir tmp_{"world"};
  std::string dir_;
  ql::Save save_;
  ql::HdWorld world_{&save_};
};

TEST_F(DamagedTile, MalformedJsonRaisesNamingTheFileAndIsReadAgain) {
  Use(kEncodings[0]);
  const std::string good = ReadFile(Path(kA));
  WriteFile(Path(kA), "{\"m_keys\": [");
  std::shared_ptr<ql::HdTile> tile;
  const std::string what = Raised<ajson::exception>([&] { world_.LoadTile(kA, tile); });
  EXPECT_TRUE(StartsWith(what, "error at line :")) << what;
  EXPECT_TRUE(EndsWith(what, " in tile file " + Path(kA))) << what;
  EXPECT_TRUE(world_.GetTiles().empty());
  EXPECT_TRUE(world_.GetFailedTiles().empty());

  // Still unknown: every route to it reads the file again and raises again.
  Raised<ajson::exception>([&] { world_.GetNodeIdsInRect(Box(116.3845, 39.9045, 116.3855, 39.9055)); });
  Raised<ajson::exception>([&] { world_.GetNodeData(IdIn(1, {kA})); });

  WriteFile(Path(kA), good);
  EXPECT_TRUE(world_.LoadTile(kA, tile));
  EXPECT_NE(tile->GetNodeData(IdIn(1, {})), nullptr);
}

// A start-up that raises takes back what it did: the tiles before the bad one in TileId order,
// and the failures it recorded (the folder named like a tile), so that a retry starts clean.
TEST_F(DamagedTile, StartUpThatRaisesLeavesNothingBehind) {
  Use(kEncodings[0]);
  std::shared_ptr<ql::HdTile> earlier;
  ASSERT_TRUE(world_.LoadTile(kA, earlier));  // cached before the start-up: stays
  ASSERT_FALSE(world_.LoadTile(TileId(3, 3), earlier));
  fs::create_directory(Path(TileId(5817, 1995)));
  WriteFile(Path(TileId(5818, 1995)), ReadFile(Path(kA)));
  WriteFile(Path(kB), "not json");
  WriteFile(Path(TileId(5821, 1995)), ReadFile(Path(kA)));
  testing::internal::CaptureStderr();
  Raised<ajson::exception>([&] { world_.LoadAllTilesOnce(); });
  EXPECT_EQ(world_.GetTiles().size(), 1u);
  EXPECT_EQ(world_.GetTiles().count(kA), 1u);
  EXPECT_EQ(Pairs(world_.GetFailedTiles()), PairSet({{3, 3}}));

  WriteFile(Path(kB), ReadFile(Path(kA)));
  world_.LoadAllTilesOnce();
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(world_.GetTiles().size(), 4u);
  EXPECT_EQ(Pairs(world_.GetFailedTiles()), PairSet({{3, 3}, {5817, 1995}}));
}

TEST_F(DamagedTile, TruncatedBinaryRaisesNamingFileAndOffset) {
  Use(kEncodings[1]);
  const std::string good = ReadFile(Path(kA));
  WriteFile(Path(kA), good.substr(0, good.size() / 2));
  std::shared_ptr<ql::HdTile> tile;
  const std::string what = Raised<ql::ArchiveError>([&] { world_.LoadTile(kA, tile); });
  EXPECT_TRUE(StartsWith(what, Path(kA) + ": byte ")) << what;
  EXPECT_TRUE(world_.GetTiles().empty());
  EXPECT_TRUE(world_.GetFailedTiles().empty());
  // Caught as the length error it is, too.
  EXPECT_THROW(world_.LoadTile(kA, tile), std::length_error);

  WriteFile(Path(kA), good);
  EXPECT_TRUE(world_.LoadTile(kA, tile));
}

TEST_F(DamagedTile, FileThatDoesNotDecryptRaisesNamingTheFile) {
  Use(kEncodings[2]);
  const std::string good = ReadFile(Path(kA));
  struct Case {
    const char* name;
    std::string bytes;
  };
  std::string flipped = good;
  flipped[flipped.size() - 1] ^= 0x5A;  // the length word no longer checks out
  const Case cases[] = {
      {"notEncrypted", qlw::EncodeBinary(ql::HdSerializeData())},
      {"damaged", flipped},
      {"oneWord", "abcd"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(Path(kA), c.bytes);
    std::shared_ptr<ql::HdTile> tile;
    const std::string what = Raised<std::runtime_error>([&] { world_.LoadTile(kA, tile); });
    EXPECT_NE(what.find(Path(kA)), std::string::npos) << what;
    EXPECT_TRUE(world_.GetTiles().empty());
    EXPECT_TRUE(world_.GetFailedTiles().empty());
  }
  // An empty file decrypts to nothing, which the archive then refuses like any short tile.
  WriteFile(Path(kA), "");
  std::shared_ptr<ql::HdTile> tile;
  EXPECT_THROW(world_.LoadTile(kA, tile), ql::ArchiveError);
}

TEST_F(DamagedTile, EmptyBinaryFileIsShortAndStaysUnknown) {
  Use(kEncodings[1]);
  WriteFile(Path(kA), "");
  std::shared_ptr<ql::HdTile> tile;
  const std::string what = Raised<ql::ArchiveError>([&] { world_.LoadTile(kA, tile); });
  EXPECT_TRUE(StartsWith(what, Path(kA) + ": byte 0: ")) << what;
  EXPECT_TRUE(world_.GetTiles().empty());
  EXPECT_TRUE(world_.GetFailedTiles().empty());
  // The smallest tile a producer writes (68 bytes of zero counts and rectangle) is fine.
  WriteFile(Path(kA), std::string(68, '\0'));
  EXPECT_TRUE(world_.LoadTile(kA, tile));
  EXPECT_TRUE(tile->GetNodes().empty());
}

TEST_F(DamagedTile, RejectedBinaryNamesFileOffsetMemberAndDetail) {
  Use(kEncodings[1]);
  std::string bytes = ReadFile(Path(kA));
  bytes.replace(0, 4, "\xFF\xFF\xFF\xFF");  // the count of m_keys, the first member, becomes -1
  WriteFile(Path(kA), bytes);
  std::shared_ptr<ql::HdTile> tile;
  try {
    world_.LoadTile(kA, tile);
    ADD_FAILURE() << "no exception";
  } catch (const ql::ArchiveError& e) {
    EXPECT_EQ(std::string(e.what()), Path(kA) + ": byte 0: m_keys: vector count -1 is negative");
    EXPECT_EQ(e.File(), Path(kA));
    EXPECT_EQ(e.Offset(), 0u);
    EXPECT_EQ(e.Path(), "m_keys");
  }
}

TEST_F(DamagedTile, DepthOutOfRangeLeavesTilesUnknown) {
  Use(kEncodings[1]);
  ql::MapConfig::qt_max_level = 17;
  std::shared_ptr<ql::HdTile> tile;
  EXPECT_THROW(world_.LoadTile(kA, tile), std::invalid_argument);
  EXPECT_TRUE(world_.GetTiles().empty());
  ql::MapConfig::qt_max_level = kDepth;
  EXPECT_TRUE(world_.LoadTile(kA, tile));
}

TEST_F(DamagedTile, FanningBucketRaisesNamingTheTile) {
  Use(kEncodings[1]);
  ql::HdSerializeData d;
  d.states = {~0ul};
  d.nodes = {{IdIn(1, {})}};
  d.ps = {{Point(116.39, 39.91, 0)}};
  ql::MapConfig::qt_max_level = 16;
  WriteFile(Path(kA), qlw::EncodeBinary(d));
  std::shared_ptr<ql::HdTile> tile;
  const std::string what = Raised<ql::TileTreeError>([&] { world_.LoadTile(kA, tile); });
  EXPECT_TRUE(StartsWith(what, Path(kA) + ": bucket 0: ")) << what;
  EXPECT_TRUE(world_.GetTiles().empty());
}

// Entries of the tile directory that are not regular files are tiles that cannot be read:
// failed, each named in one line on standard error, while the other tiles load. Nothing blocks
// on the FIFO or reads /dev/zero: the start-up runs first in a child process that a timer ends.
TEST_F(DamagedTile, EntriesThatAreNotRegularFilesAreFailedAndNamed) {
  Use(kEncodings[1]);
  const TileId fifo(5821, 1995), zero(5822, 1995), dir(5823, 1995);
  ASSERT_EQ(::mkfifo(Path(fifo).c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", Path(zero).c_str()), 0);
  fs::create_directory(Path(dir));
  fs::create_symlink(Path(kA), dir_ + qlw::TileFileName(TileId(5824, 1995)));  // a link to a tile is read

  EXPECT_EQ(qltest::ExitCodeWithin(10,
                                   [&] {
                                     world_.LoadAllTilesOnce();
                                     return static_cast<int>(world_.GetTiles().size());
                                   }),
            3);
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  world_.LoadAllTilesOnce();
  testing::internal::GetCapturedStdout();
  const std::string complaints = testing::internal::GetCapturedStderr();
  EXPECT_EQ(world_.GetTiles().size(), 3u);
  EXPECT_EQ(Pairs(world_.GetFailedTiles()), PairSet({{5821, 1995}, {5822, 1995}, {5823, 1995}}));
  for (const TileId& t : {fifo, zero, dir}) {
    EXPECT_NE(complaints.find("tile file not readable: " + Path(t) + " (not a regular file)\n"), std::string::npos)
        << complaints;
  }
  EXPECT_EQ(std::count(complaints.begin(), complaints.end(), '\n'), 3) << complaints;
}

TEST_F(DamagedTile, TileOverOneGibIsRefusedBeforeItIsRead) {
  Use(kEncodings[1]);
  WriteFile(Path(kA), "");
  ASSERT_EQ(::truncate(Path(kA).c_str(), (1ll << 30) + 1), 0);  // sparse: no disk is used
  std::shared_ptr<ql::HdTile> tile;
  EXPECT_EQ(qltest::ExitCodeWithin(10,
                                   [&] {
                                     try {
                                       world_.LoadTile(kA, tile);
                                     } catch (const ql::FileTooLargeError&) {
                                       return 1;
                                     }
                                     return 0;
                                   }),
            1);
  const std::string what = Raised<ql::FileTooLargeError>([&] { world_.LoadTile(kA, tile); });
  EXPECT_TRUE(StartsWith(what, Path(kA) + ": 1073741825 bytes, more than ")) << what;
  EXPECT_TRUE(world_.GetTiles().empty());
  EXPECT_TRUE(world_.GetFailedTiles().empty());  // unknown: a smaller file there is read later
}

// A coordinate tuple of one value where a query reads a position would make every request near
// the link raise; the tile is refused when it is loaded instead, naming the file and the link.
TEST_F(DamagedTile, PositionTupleWithoutLatitudeIsRefusedNamingFileAndLink) {
  struct Case {
    const char* name;
    void (*damage)(ql::HdLink&);
    const char* where;
  };
  const Case cases[] = {
      {"LinkLine", [](ql::HdLink& l) { l.vctvdGeoLink.push_back({116.39}); }, "vctvdGeoLink[2]"},
      {"LaneLine",
       [](ql::HdLink& l) {
         l.vcthlLane.resize(2);
         l.vcthlLane[1].vctvdGeoLink = {{116.39, 39.9}, {116.39}};
       },
       "vcthlLane[1].vctvdGeoLink[1]"},
      {"EdgeLine",
       [](ql::HdLink& l) {
         l.vctheEdge.resize(1);
         l.vctheEdge[0].vctvdGeoLink = {{}};
       },
       "vctheEdge[0].vctvdGeoLink[0]"},
      {"CrossingArea",
       [](ql::HdLink& l) {
         l.vctcrCrossing.resize(3);
         l.vctcrCrossing[2].vctvdGeoArea = {{116.39, 39.9}, {116.4, 39.9}, {1}};
       },
       "vctcrCrossing[2].vctvdGeoArea[2]"},
  };
  for (const Encoding& e : {kEncodings[0], kEncodings[1]}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(e.name) + " " + c.name);
      ConfigGuard guard;
      Use(e);
      qlw::TileMap tiles = qlw::BuildTiles(Links(), kDepth);
      ql::HdSerializeData& content = tiles.at(kA);
      for (ql::HdLink& l : content.m_values) {
        if (l.liId.lValue == 2) c.damage(l);
      }
      WriteFile(Path(kA), e.type == 1 ? qlw::EncodeJson(content) : qlw::EncodeBinary(content));
      ql::HdWorld world(&save_);
      std::shared_ptr<ql::HdTile> tile;
      const std::string what = Raised<ql::TileGeometryError>([&] { world.LoadTile(kA, tile); });
      EXPECT_TRUE(StartsWith(what, Path(kA) + ": link 2: " + c.where + ": a coordinate tuple of ")) << what;
      EXPECT_THROW(world.LoadTile(kA, tile), std::invalid_argument);  // what a request raised before
      EXPECT_TRUE(world.GetTiles().empty());
      EXPECT_TRUE(world.GetFailedTiles().empty());
    }
  }
  // Geometry no query reads as a position is kept as the file gives it.
  Use(kEncodings[1]);
  qlw::TileMap tiles = qlw::BuildTiles(Links(), kDepth);
  for (ql::HdLink& l : tiles.at(kA).m_values) {
    l.vctslStopLine.resize(1);
    l.vctslStopLine[0].vctvdGeoLink = {{116.39}};
  }
  WriteFile(Path(kA), qlw::EncodeBinary(tiles.at(kA)));
  std::shared_ptr<ql::HdTile> tile;
  EXPECT_TRUE(world_.LoadTile(kA, tile));
}

// ---- Save, the creator and the fold ------------------------------------------------------------

TEST(Save, NamesAndDirectories) {
  ConfigGuard guard;
  const ql::Save save;
  EXPECT_EQ(save.TId2SaveName(TileId(116, 40)), "116,40");
  EXPECT_EQ(save.TId2SaveName(TileId(-5, -7)), "-5,-7");

  ql::MapConfig::hdConfig::save_dir_json = "/p/json/";
  ql::MapConfig::hdConfig::save_dir_binary = "/p/bin/";
  struct Case {
    int type;
    const char* dir;
  };
  for (const Case& c : {Case{1, "/p/json/"}, Case{2, "/p/bin/"}, Case{3, ""}, Case{0, ""}}) {
    SCOPED_TRACE(c.type);
    ql::MapConfig::serialize_type_json1_binary2 = c.type;
    EXPECT_EQ(ql::Save::GetSerializeDir<ql::HdTile>(), c.dir);
  }
  ql::MapConfig::serialize_type_json1_binary2 = 2;
  EXPECT_EQ(save.TilePath<ql::HdTile>(TileId(1, -2)), "/p/bin/1,-2");
}

TEST(Save, GpsList) {
  ConfigGuard guard;
  qltest::TempDir tmp{"world"};
  const fs::path file = tmp.path() / "gps.txt";
  ql::MapConfig::gps_file_path = file.string();
  const ql::Save save;

  WriteFile(file, "116.3, 39.9\n  116.5 ,40.25 , 7, x\r\n\n   \n-0.5,-1e-3");
  const std::vector<Point> points = save.LoadGpses();
  const std::vector<Point> expected = {Point(116.3, 39.9, -1234.0), Point(116.5, 40.25, -1234.0),
                                       Point(-0.5, -1e-3, -1234.0)};
  EXPECT_EQ(points, expected);

  WriteFile(file, "116.3,39.9\nabc,1\n");
  EXPECT_THROW(save.LoadGpses(), std::invalid_argument);

  WriteFile(file, "116.3,39.9\n116.4\n");
  const std::string what = Raised<std::invalid_argument>([&] { save.LoadGpses(); });
  EXPECT_NE(what.find("line 2"), std::string::npos) << what;

  ql::MapConfig::gps_file_path = (tmp.path() / "missing.txt").string();
  EXPECT_TRUE(save.LoadGpses().empty());
}

TEST(NewHdWorld, CreatesAnEmptyWorldOverItsOwnSave) {
  const ql::HdWorld* world = ql::NewHdWorld::Create();
  ASSERT_NE(world, nullptr);
  EXPECT_NE(world->GetSave(), nullptr);
  EXPECT_TRUE(world->GetTiles().empty());
  EXPECT_TRUE(world->GetFailedTiles().empty());
  delete world->GetSave();  // the library never frees them; the test does
  delete world;
}

// ---- the facade's initialisation on the sample map ----------------------------------------------

// What InitMap runs (the facade's Init) on a copy of the sample map whose binary configuration is
// edited. Each row raises and leaves nothing behind (settings, store and its tiles as they were),
// so that the unedited configuration then loads and answers the request the sample map is made
// for: lane 2 of link 1005.
struct InitCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> edits;  // replacements in config_binary.json
  std::vector<std::string> folders;                        // made below the project first
  bool invalidArgument;                                    // else std::runtime_error
  std::string message;                                     // {project}: the project path
};

void PrintTo(const InitCase& c, std::ostream* os) { *os << c.name; }

const InitCase kInitCases[] = {
    {"MissingDirectory",
     {{"\"hd/binary/\"", "\"no_such_dir/\""}},
     {},
     false,
     "tile directory not found or not readable: {project}no_such_dir/ (No such file or directory), set by "
     "hd_config.save_dir_binary"},
    {"DirectoryIsAFile",
     {{"\"hd/json/\"", "\"config_json.json/\""},
      {"\"serialize_type_json1_binary2\": 2", "\"serialize_type_json1_binary2\": 1"}},
     {},
     false,
     "tile directory not found or not readable: {project}config_json.json/ (Not a directory), set by "
     "hd_config.save_dir_json"},
    {"TypeNamesNoDirectory",
     {{"\"serialize_type_json1_binary2\": 2", "\"serialize_type_json1_binary2\": 3"}},
     {},
     false,
     "tile directory not found or not readable: serialize_type_json1_binary2 is 3, which names none (1: JSON "
     "tiles, 2: binary tiles)"},
    // The directory setting is then the project path itself, where the configuration files lie.
    {"MisspeltGroup",
     {{"\"hd_config\"", "\"hd_confg\""}},
     {},
     false,
     "tile directory holds no readable tile: {project}, set by hd_config.save_dir_binary"},
    {"FoldersOnly",
     {{"\"hd/binary/\"", "\"hd/\""}},
     {},
     false,
     "tile directory holds no readable tile: {project}hd/, set by hd_config.save_dir_binary"},
    {"EveryTileUnreadable",
     {{"\"hd/binary/\"", "\"unreadable/\""}},
     {"unreadable/5830,1995", "unreadable/5831,1995"},
     false,
     "tile directory holds no readable tile: {project}unreadable/, set by hd_config.save_dir_binary"},
    {"LonIntervalNaN",
     {{"\"tile_lon_interval\": 0.02", "\"tile_lon_interval\": NaN"}},
     {},
     true,
     "configuration file {project}wrong.json: tile_lon_interval NaN is not a grid interval (a finite number of "
     "degrees, 0 or more)"},
    {"LatIntervalHugeExponent",
     {{"\"tile_lat_interval\": 0.02", "\"tile_lat_interval\": 1e999"}},
     {},
     true,
     "configuration file {project}wrong.json: tile_lat_interval 1e999 is not a grid interval (a finite number of "
     "degrees, 0 or more)"},
    {"LonIntervalNegative",
     {{"\"tile_lon_interval\": 0.02", "\"tile_lon_interval\": -0.02"}},
     {},
     true,
     "configuration file {project}wrong.json: tile_lon_interval -0.02 is not a grid interval (a finite number of "
     "degrees, 0 or more)"},
};

std::string Expand(std::string text, const std::string& project) {
  const std::string key = "{project}";
  const std::size_t at = text.find(key);
  if (at != std::string::npos) text.replace(at, key.size(), project);
  return text;
}

ql::MapInterface& Facade() {
  static ql::MapInterface map;  // one per process, as the Python module's
  return map;
}

class InitOnSampleMap : public ::testing::TestWithParam<InitCase> {
 protected:
  void SetUp() override {
    fs::copy(fs::path(QL_SOURCE_DIR) / "examples" / "sample_map", tmp_.path() / "map",
             fs::copy_options::recursive);
    project_ = (tmp_.path() / "map").string() + "/";
  }

  ConfigGuard guard_;
  qltest::TempDir tmp_{"initmap"};
  std::string project_;
};

TEST_P(InitOnSampleMap, RaisesLeavesNothingBehindAndTheCorrectedCallLoads) {
  const InitCase& c = GetParam();
  std::string config = ReadFile(project_ + "config_binary.json");
  for (const auto& [from, to] : c.edits) {
    const std::size_t at = config.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    config.replace(at, from.size(), to);
  }
  WriteFile(project_ + "wrong.json", config);
  for (const std::string& folder : c.folders) fs::create_directories(project_ + folder);

  using HdStore = ql::Singleton<ql::HdWorld, ql::NewHdWorld>;
  const ql::HdWorld* store = HdStore::m_pInstance;  // made by an earlier row's corrected call, or none
  const std::size_t tiles = store == nullptr ? 0 : store->GetTiles().size();
  const std::string binaryDir = ql::MapConfig::hdConfig::save_dir_binary;
  const double lonInterval = ql::MapConfig::tile_lon_interval;
  const std::string projectDir = ql::MapConfig::projectDir;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  try {
    Facade().Init(project_, "wrong.json");
    ADD_FAILURE() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_TRUE(c.invalidArgument) << e.what();
    EXPECT_EQ(std::string(e.what()), Expand(c.message, project_));
  } catch (const std::runtime_error& e) {
    EXPECT_FALSE(c.invalidArgument) << e.what();
    EXPECT_EQ(std::string(e.what()), Expand(c.message, project_));
  }
  testing::internal::GetCapturedStdout();
  // Each entry the reader refuses is named once; the "." entries name no tile.
  const std::string complaints = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(complaints.begin(), complaints.end(), '\n'), static_cast<long>(c.folders.size()))
      << complaints;
  EXPECT_EQ(HdStore::m_pInstance, store);
  if (store != nullptr) {
    EXPECT_EQ(store->GetTiles().size(), tiles);
  }
  EXPECT_EQ(ql::MapConfig::hdConfig::save_dir_binary, binaryDir);
  EXPECT_EQ(ql::MapConfig::tile_lon_interval, lonInterval);
  EXPECT_EQ(ql::MapConfig::projectDir, projectDir);

  testing::internal::CaptureStdout();
  Facade().Init(project_, "config_binary.json");
  const qltest::RequestOutputs r = qltest::Request(Facade(), Point(116.3988513, 39.9067495, 0), 90.0);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.linkId, 1005);
  EXPECT_EQ(r.laneNum, 2);
}

INSTANTIATE_TEST_SUITE_P(Facade, InitOnSampleMap, ::testing::ValuesIn(kInitCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParallelAccumulate, FoldsInOrderFromACopyOfInit) {
  const std::vector<int> v = {1, 2, 3};
  const std::string init = "x";
  const std::string folded = ql::ParallelAccumulate(
      v.begin(), v.end(), init, [](int i) { return std::to_string(i * 10); },
      [](std::string acc, const std::string& s) { return acc + "," + s; });
  EXPECT_EQ(folded, "x,10,20,30");
  EXPECT_EQ(init, "x");
  const std::vector<int> none;
  EXPECT_EQ(ql::ParallelAccumulate(
                none.begin(), none.end(), init, [](int) { return std::string("?"); },
                [](std::string acc, const std::string& s) { return acc + s; }),
            "x");
}

}  // namespace
