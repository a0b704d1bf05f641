// The tile writer that produces the test maps, the sample map and the benchmark maps: its JSON
// text, the HD and SD tiles it builds (quadtree buckets, tile lists, rectangles), whole projects in
// every encoding, and the ql_tilewriter program.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "CoordSys.h"
#include "FileSys.h"
#include "HdTypes.h"
#include "MapBuilder.h"
#include "MapConfig.h"
#include "SdLib.h"
#include "SdStore.h"
#include "TestBytes.h"
#include "TestFiles.h"
#include "TestRecords.h"
#include "Tile.h"
#include "TileWriter.h"

namespace {

using qltest::DecodeBinary;
using qltest::DecodeJson;
using qltest::ExpectSame;
using qltest::Filled;
using qltest::Link;
using qltest::LinkId;
using qltest::ReadFile;
using qltest::TempDir;
using qltest::WriteFile;

namespace fs = std::filesystem;

// ---- the writer's JSON text ------------------------------------------------------------------------------

// Doubles must come back from the library's reader bit for bit (outside the extremes of the range), so that every
// encoding of a written map holds the in-memory values.
TEST(TileWriterJson, DoublesReadBackExactly) {
  const double values[] = {116.38,
                           39.9,
                           0.3,
                           0.02,
                           0.1,
                           -0.0,
                           1e-5,
                           5e-324,
                           123456789.123,
                           -1e17,
                           1e20,
                           9007199254740993.0,
                           116.37999999999998,
                           -73.123456789012345,
                           179.99999999999997};
  for (const double v : values) {
    SCOPED_TRACE(v);
    const ql::Point p(v, -v, v * 0.5);
    const std::string text = qlw::EncodeJson(p);
    EXPECT_EQ(text.find("e+"), std::string::npos) << text;  // the reader stops at '+'
    ExpectSame(DecodeJson<ql::Point>(text), p, text);
  }
}

// A sweep over coordinate-sized values: the writer's model of the reader must match the reader.
TEST(TileWriterJson, CoordinatesReadBackExactly) {
  int inexact = 0;
  uint64_t state = 88172645463325252ull;  // xorshift, fixed seed
  for (int i = 0; i < 20000; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    const double v = (static_cast<double>(state >> 11) / 9007199254740992.0) * 360.0 - 180.0;
    const ql::Point p(v, v / 2, v * 10);
    const ql::Point back = DecodeJson<ql::Point>(qlw::EncodeJson(p));
    inexact += !(back == p);
  }
  EXPECT_EQ(inexact, 0);
}

// Near the ends of the range the reader's step-by-step scaling cannot always hit the value.
TEST(TileWriterJson, ExtremeDoublesStayClose) {
  const double values[] = {1.7976931348623157e308, 1e300, -8.98846567431158e307, 2.2250738585072014e-308, 1e-300};
  for (const double v : values) {
    SCOPED_TRACE(v);
    const ql::Point back = DecodeJson<ql::Point>(qlw::EncodeJson(ql::Point(v, 0, 0)));
    EXPECT_NEAR(back.dLon / v, 1.0, 5e-14);
  }
}

TEST(TileWriterJson, NonFiniteDoublesSurvive) {
  const double inf = std::numeric_limits<double>::infinity();
  const ql::Point back =
      DecodeJson<ql::Point>(qlw::EncodeJson(ql::Point(std::numeric_limits<double>::quiet_NaN(), inf, -inf)));
  EXPECT_TRUE(std::isnan(back.dLon));
  EXPECT_EQ(back.dLat, inf);
  EXPECT_EQ(back.dAlt, -inf);
}

TEST(TileWriterJson, StringsReadBackByteForByte) {
  const std::string texts[] = {"",
                               "plain",
                               "quote\" back\\slash /",
                               "ctl\x01\x1f\n\r\t\b\f\x7f",
                               "utf8 \xc3\xa9 \xe4\xb8\xad",
                               "\xff\xfe raw high bytes",
                               "{\"json\": [1, 2]}"};
  for (const std::string& s : texts) {
    SCOPED_TRACE(s);
    ql::ObjText text;
    text.strText = s;
    EXPECT_EQ(DecodeJson<ql::ObjText>(qlw::EncodeJson(text)).strText, s);
  }
}

TEST(TileWriterJson, NulByteIsRefused) {
  ql::ObjText text;
  text.strText = std::string("a\0b", 3);
  EXPECT_THROW(qlw::EncodeJson(text), std::invalid_argument);
}

TEST(TileWriterJson, ExtremeIntegersReadBack) {
  ql::HdLinkId id = LinkId(std::numeric_limits<long>::max(), {{std::numeric_limits<int>::min(), -1}});
  ExpectSame(DecodeJson<ql::HdLinkId>(qlw::EncodeJson(id)), id, "id");
  ql::HdSerializeData tile;
  tile.states = {0, 0xffffffffffffffffUL, 0x8000000000000000UL};
  EXPECT_EQ(DecodeJson<ql::HdSerializeData>(qlw::EncodeJson(tile)).states, tile.states);
}

// ---- the tile builder ---------------------------------------------------------------------------------------

std::vector<std::vector<double>> Line(std::initializer_list<std::vector<double>> pts) { return pts; }

bool SameTile(const ql::TileId& a, const ql::TileId& b) { return a.nLonId == b.nLonId && a.nLatId == b.nLatId; }

// The leaf cell a path code names, following one set bit per level; false when a group does not
// have exactly one bit (the writer gives every bucket one leaf).
bool LeafOf(const ql::Rect2D& root, unsigned long code, int depth, ql::Rect2D& cell) {
  cell = root;
  for (int level = 0; level < depth; ++level) {
    const unsigned long group = (code >> (4 * (depth - 1 - level))) & 0xF;
    if (group == 1)
      cell = cell.getLb();
    else if (group == 2)
      cell = cell.getRt();
    else if (group == 4)
      cell = cell.getLt();
    else if (group == 8)
      cell = cell.getRb();
    else
      return false;
  }
  return depth >= 16 || (code >> (4 * depth)) == 0;
}

bool InClosedCell(const ql::Rect2D& c, const ql::Point& p, double margin) {
  return c.lb.dLon - margin <= p.dLon && p.dLon <= c.rt.dLon + margin && c.lb.dLat - margin <= p.dLat &&
         p.dLat <= c.rt.dLat + margin;
}

// Checks the buckets of every tile against the links: each bucket names one leaf, holds only
// points inside that leaf, and every vertex of every link is in a bucket of its tile that names it.
void ExpectEveryVertexIndexed(const std::vector<ql::HdLink>& links, const qlw::TileMap& tiles, int depth) {
  for (const auto& [id, tile] : tiles) {
    SCOPED_TRACE(qlw::TileFileName(id));
    ASSERT_EQ(tile.nodes.size(), tile.states.size());
    ASSERT_EQ(tile.ps.size(), tile.states.size());
    ASSERT_EQ(tile.m_keys.size(), tile.m_values.size());
    std::set<unsigned long> codes(tile.states.begin(), tile.states.end());
    EXPECT_EQ(codes.size(), tile.states.size()) << "one bucket per leaf";
    std::set<long> keys;
    for (const auto& k : tile.m_keys) keys.insert(k.lValue);
    for (std::size_t b = 0; b < tile.states.size(); ++b) {
      ql::Rect2D cell;
      ASSERT_TRUE(LeafOf(tile.r, tile.states[b], depth, cell)) << std::hex << tile.states[b];
      ASSERT_EQ(tile.ps[b].size(), tile.nodes[b].size());
      for (std::size_t k = 0; k < tile.nodes[b].size(); ++k) {
        EXPECT_TRUE(keys.count(tile.nodes[b][k].lValue));
        EXPECT_TRUE(InClosedCell(cell, tile.ps[b][k], 1e-9));
      }
    }
  }
  for (const ql::HdLink& link : links) {
    for (const auto& v : link.vctvdGeoLink) {
      const ql::Point p(v);
      const ql::TileId tileId = ql::P2TId(p);
      SCOPED_TRACE(std::to_string(link.liId.lValue) + " at " + std::to_string(p.dLon) + "," +
                   std::to_string(p.dLat));
      const auto found = tiles.find(tileId);
      ASSERT_NE(found, tiles.end());
      const ql::HdSerializeData& tile = found->second;
      bool indexed = false;
      for (std::size_t b = 0; b < tile.states.size() && !indexed; ++b) {
        ql::Rect2D cell;
        if (!LeafOf(tile.r, tile.states[b], depth, cell) || !InClosedCell(cell, p, 0.0)) continue;
        for (std::size_t k = 0; k < tile.nodes[b].size(); ++k)
          indexed = indexed || (tile.nodes[b][k].lValue == link.liId.lValue && tile.ps[b][k] == p);
      }
      EXPECT_TRUE(indexed);
    }
  }
}

TEST(TileBuilder, LinkAcrossATileBorderLiesInBothTiles) {
  // 116.38 is exactly where column 5819 starts.
  const auto tiles = qlw::BuildTiles({Link(11, Line({{116.37, 39.9031}, {116.38, 39.9031, 12.5}}))}, 3);
  ASSERT_EQ(tiles.size(), 2u);
  const ql::TileId west(5818, 1995), east(5819, 1995);
  ASSERT_TRUE(tiles.count(west) && tiles.count(east));
  for (const auto& [id, tile] : tiles) {
    SCOPED_TRACE(qlw::TileFileName(id));
    ASSERT_EQ(tile.m_values.size(), 1u);
    const auto& tileIds = tile.m_values[0].liId.vcttiTileIds;
    ASSERT_EQ(tileIds.size(), 2u);
    EXPECT_TRUE(SameTile(tileIds[0], west));
    EXPECT_TRUE(SameTile(tileIds[1], east));
    EXPECT_EQ(tile.m_keys[0].vcttiTileIds.size(), 2u);
  }
  // The eastern vertex, inside one cell, keeps its altitude in the bucket point.
  const auto& east_ps = tiles.at(east).ps;
  ASSERT_EQ(east_ps.size(), 1u);
  EXPECT_EQ(east_ps[0][0], ql::Point(116.38, 39.9031, 12.5));
}

TEST(TileBuilder, TileRectanglesFollowTheNaming) {
  struct Case {
    const char* name;
    ql::TileId id;
    double lon0, lat0, lon1, lat1;
  };
  const Case cases[] = {
      {"Positive", {5819, 1995}, 5819 * 0.02, 1995 * 0.02, 5820 * 0.02, 1996 * 0.02},
      {"ZeroSpansBothSides", {0, 0}, -0.02, -0.02, 0.02, 0.02},
      {"NegativeReachesDown", {-3, -1}, -0.08, -0.04, -0.06, -0.02},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ql::Rect2D r = qlw::TileRect(c.id);
    EXPECT_DOUBLE_EQ(r.lb.dLon, c.lon0);
    EXPECT_DOUBLE_EQ(r.lb.dLat, c.lat0);
    EXPECT_DOUBLE_EQ(r.rt.dLon, c.lon1);
    EXPECT_DOUBLE_EQ(r.rt.dLat, c.lat1);
  }
}

TEST(TileBuilder, EveryVertexIsInABucketOfItsLeaf) {
  std::vector<ql::HdLink> links;
  // Diagonal links crossing tile borders, a link along a cell edge, vertices on tile corners,
  // around the origin and on negative coordinates.
  for (int i = 0; i < 6; ++i) {
    std::vector<std::vector<double>> line;
    for (int k = 0; k <= 40; ++k)
      line.push_back({116.35 + i * 0.004 + k * 0.0013, 39.88 + k * 0.0011 - i * 0.002});
    links.push_back(Link(100 + i, line));
  }
  links.push_back(Link(200, Line({{116.36, 39.90}, {116.37, 39.90}, {116.38, 39.90}, {116.38, 39.92}})));
  links.push_back(Link(201, Line({{-0.03, -0.01}, {-0.01, 0.01}, {0.0, 0.0}, {0.019999, 0.03}})));
  links.push_back(Link(202, Line({{-122.4194, 37.7749}, {-122.41, 37.78}})));
  for (const int depth : {0, 1, 3, 6}) {
    SCOPED_TRACE("depth " + std::to_string(depth));
    ExpectEveryVertexIndexed(links, qlw::BuildTiles(links, depth), depth);
  }
}

// The store's own quadtree finds every link at each of its vertices, however small the query box
// that holds the vertex (its lower-left corner included, the box half-open).
TEST(TileBuilder, StoreQueryFindsTheLinkAtEveryVertex) {
  std::vector<ql::HdLink> links;
  for (int i = 0; i < 4; ++i) {
    std::vector<std::vector<double>> line;
    for (int k = 0; k <= 60; ++k)
      line.push_back({116.365 + k * 0.00061 - i * 0.003, 39.895 + i * 0.0021 + k * 0.0003});
    links.push_back(Link(300 + i, line));
  }
  // Vertices on cell and tile edges and corners at every depth used below.
  links.push_back(Link(400, Line({{116.38, 39.90}, {116.39, 39.91}, {116.385, 39.905}, {116.3825, 39.9}})));
  links.push_back(Link(401, Line({{-0.02, -0.02}, {0.0, 0.0}, {0.01, -0.01}, {-0.019999999, 0.019999999}})));
  const int savedDepth = ql::MapConfig::qt_max_level;
  const int savedType = ql::MapConfig::serialize_type_json1_binary2;
  ql::MapConfig::serialize_type_json1_binary2 = 2;
  for (const int depth : {0, 2, 5, 8}) {
    SCOPED_TRACE("depth " + std::to_string(depth));
    ql::MapConfig::qt_max_level = depth;
    const qlw::TileMap tiles = qlw::BuildTiles(links, depth);
    std::map<std::string, std::unique_ptr<ql::HdTile>> stored;
    for (const auto& [id, tile] : tiles) {
      auto t = std::make_unique<ql::HdTile>(id);
      t->Deserialize(qlw::EncodeBinary(tile));
      stored[qlw::TileFileName(id)] = std::move(t);
    }
    for (const ql::HdLink& link : links) {
      for (const auto& v : link.vctvdGeoLink) {
        const ql::Point p(v);
        SCOPED_TRACE(std::to_string(link.liId.lValue) + " at " + std::to_string(p.dLon) + "," +
                     std::to_string(p.dLat));
        const auto found = stored.find(qlw::TileFileName(ql::P2TId(p)));
        ASSERT_NE(found, stored.end());
        for (const double size : {1e-9, 1e-4}) {
          std::set<ql::HdLinkId> ids;
          found->second->GetNodeIdsInRect(ql::Rect2D(p, ql::Point(p.dLon + size, p.dLat + size, 0)), ids);
          EXPECT_EQ(ids.count(link.liId), 1u) << "box " << size;
        }
      }
    }
  }
  ql::MapConfig::qt_max_level = savedDepth;
  ql::MapConfig::serialize_type_json1_binary2 = savedType;
}

TEST(TileBuilder, DepthZeroKeepsOneBucket) {
  const auto tiles = qlw::BuildTiles(
      {Link(1, Line({{116.381, 39.901}, {116.382, 39.902}})), Link(2, Line({{116.383, 39.903}}))}, 0);
  ASSERT_EQ(tiles.size(), 1u);
  const auto& tile = tiles.begin()->second;
  EXPECT_EQ(tile.states, std::vector<unsigned long>{0});
  ASSERT_EQ(tile.nodes.size(), 1u);
  EXPECT_EQ(tile.nodes[0].size(), 3u);
}

// Vertices of lanes, edges and objects place a link too, not only its own line.
TEST(TileBuilder, NestedGeometryPlacesTheLink) {
  ql::HdLink link = Link(5, Line({{116.381, 39.901}}));
  ql::HdLane lane;
  lane.vctlaLaneAdas.resize(1);
  lane.vctlaLaneAdas[0].dLon = 116.421;  // a tile of its own
  lane.vctlaLaneAdas[0].dLat = 39.901;
  link.vcthlLane.push_back(lane);
  ql::ObjCrossing crossing;
  crossing.vctvdGeoArea = {{116.381, 39.941}};
  link.vctcrCrossing.push_back(crossing);
  ql::ObjPoint point;
  point.vctdGeoNode = {116.441, 39.901};
  link.vctRsuPoint.push_back(point);
  link.vctheEdge.resize(1);
  link.vctheEdge[0].vctvdGeoLink = {{std::nan(""), 1.0}, {1.0}};  // not placeable, skipped
  const auto tiles = qlw::BuildTiles({link}, 2);
  std::set<std::string> names;
  for (const auto& entry : tiles) names.insert(qlw::TileFileName(entry.first));
  EXPECT_EQ(names, (std::set<std::string>{"5819,1995", "5821,1995", "5819,1997", "5822,1995"}));
}

TEST(TileBuilder, NeighbourIdsGetTheTilesOfTheirLinks) {
  ql::HdLink a = Link(1, Line({{116.381, 39.901}}));
  ql::HdLink b = Link(2, Line({{116.401, 39.901}, {116.421, 39.901}}));
  a.vctliNxtLinkId = {LinkId(2), LinkId(99), LinkId(2, {{1, 1}})};  // known, unknown, given
  b.vctliPreLinkId = {LinkId(1)};
  const auto tiles = qlw::BuildTiles({a, b}, 2);
  const ql::HdLink& storedA = tiles.at(ql::TileId(5819, 1995)).m_values.at(0);
  ASSERT_EQ(storedA.vctliNxtLinkId.size(), 3u);
  EXPECT_EQ(storedA.vctliNxtLinkId[0].vcttiTileIds.size(), 2u);
  EXPECT_TRUE(storedA.vctliNxtLinkId[1].vcttiTileIds.empty());
  ASSERT_EQ(storedA.vctliNxtLinkId[2].vcttiTileIds.size(), 1u);
  EXPECT_EQ(storedA.vctliNxtLinkId[2].vcttiTileIds[0].nLonId, 1);
  const ql::HdLink& storedB = tiles.at(ql::TileId(5821, 1995)).m_values.at(0);
  ASSERT_EQ(storedB.vctliPreLinkId.size(), 1u);
  ASSERT_EQ(storedB.vctliPreLinkId[0].vcttiTileIds.size(), 1u);
  EXPECT_TRUE(SameTile(storedB.vctliPreLinkId[0].vcttiTileIds[0], ql::TileId(5819, 1995)));
}

TEST(TileBuilder, RefusesWhatItCannotIndex) {
  const ql::HdLink good = Link(1, Line({{116.381, 39.901}}));
  EXPECT_THROW(qlw::BuildTiles({good}, -1), std::invalid_argument);
  EXPECT_THROW(qlw::BuildTiles({good}, 17), std::invalid_argument);
  EXPECT_THROW(qlw::BuildTiles({good, good}, 3), std::invalid_argument);
  EXPECT_THROW(qlw::BuildTiles({Link(2, {})}, 3), std::invalid_argument);
  EXPECT_THROW(qlw::BuildTiles({Link(3, Line({{std::nan(""), 39.9}}))}, 3), std::invalid_argument);
  EXPECT_NO_THROW(qlw::BuildTiles({good}, 16));
}

// ---- whole projects -----------------------------------------------------------------------------------------

std::vector<ql::HdLink> SampleLinks() {
  ql::HdLink a = Filled<ql::HdLink>(3);  // every field set, geometry near 116 / -116 degrees
  a.liId = LinkId(10);
  ql::HdLink b = Link(11, Line({{116.381, 39.901, 1.0}, {116.405, 39.9111}}));
  b.strName = "Ring \"2\"";
  b.vctliPreLinkId = {LinkId(10)};
  return {a, b};
}

TEST(ProjectWriter, AllEncodingsHoldTheSameTiles) {
  TempDir dir("tilewriter_encodings");
  const qlw::TileMap written = qlw::WriteProject(dir.str(), SampleLinks(), 4);
  ASSERT_FALSE(written.empty());
  for (const auto& [id, tile] : written) {
    const std::string name = qlw::TileFileName(id);
    SCOPED_TRACE(name);
    const std::string binary = ReadFile(dir.path() / "hd" / "binary" / name);
    ExpectSame(DecodeBinary<ql::HdSerializeData>(binary), tile, "binary");
    ExpectSame(DecodeJson<ql::HdSerializeData>(ReadFile(dir.path() / "hd" / "json" / name)), tile, "json");

    // The encrypted file is the binary one under the library's key and framing.
    std::string decrypted;
    ASSERT_TRUE(ql::FileSys::Read((dir.path() / "hd" / "encrypted" / name).string(), decrypted, true));
    EXPECT_EQ(decrypted, binary);
    const std::string encrypted = ReadFile(dir.path() / "hd" / "encrypted" / name);
    EXPECT_EQ(encrypted.size(), 4 * ((binary.size() + 3) / 4 + 1));
    EXPECT_NE(encrypted.substr(0, 16), binary.substr(0, 16));
  }
}

TEST(ProjectWriter, ConfigurationsPointAtTheirTiles) {
  TempDir dir("tilewriter_config");
  qlw::WriteProject(dir.str(), SampleLinks(), 7);
  const std::string project = dir.str() + "/";
  struct Case {
    const char* file;
    int type;
    bool encrypt;
    const char* tileDir;
  };
  const Case cases[] = {{"config_json.json", 1, false, "hd/json/"},
                        {"config_binary.json", 2, false, "hd/binary/"},
                        {"config_encrypted.json", 2, true, "hd/encrypted/"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ql::MapConfig::Init(project, c.file);
    EXPECT_EQ(ql::MapConfig::serialize_type_json1_binary2, c.type);
    EXPECT_EQ(ql::MapConfig::tile_encrypt, c.encrypt);
    EXPECT_EQ(ql::MapConfig::qt_max_level, 7);
    EXPECT_NEAR(ql::MapConfig::tile_lon_interval, 0.02, 1e-15);
    EXPECT_NEAR(ql::MapConfig::tile_lat_interval, 0.02, 1e-15);
    const std::string chosen =
        c.type == 1 ? ql::MapConfig::hdConfig::save_dir_json : ql::MapConfig::hdConfig::save_dir_binary;
    EXPECT_EQ(chosen, project + c.tileDir);
    EXPECT_TRUE(fs::is_directory(chosen));
  }
}

TEST(ProjectWriter, RewritingRemovesStaleTiles) {
  TempDir dir("tilewriter_rewrite");
  qlw::WriteProject(dir.str(), {Link(1, Line({{116.381, 39.901}})), Link(2, Line({{116.421, 39.901}}))}, 2);
  qlw::WriteProject(dir.str(), {Link(1, Line({{116.381, 39.901}}))}, 2);
  for (const char* sub : {"json", "binary", "encrypted"}) {
    SCOPED_TRACE(sub);
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path() / "hd" / sub))
      names.insert(e.path().filename().string());
    EXPECT_EQ(names, std::set<std::string>{"5819,1995"});
  }
}

// ---- SD tiles ---------------------------------------------------------------------------------------------

ql::SdNode SdNode(double lon, double lat, double alt, int level) {
  ql::SdNode n;
  n.id_p = ql::SdNodeId(ql::Point(lon, lat, alt));
  n.level = level;
  n.outDegree = {ql::SdNodeId(ql::Point(lon + 0.001, lat, 0))};
  n.outLengths = {85.5};
  n.outRids = {0x8000000000000001ul};
  n.radas.azimuth = 90.0;
  n.interpolated_node = level % 2 == 1;
  return n;
}

// Nodes inside tiles, on tile and cell borders and corners, around the origin and west and south.
std::vector<ql::SdNode> SdNodes() {
  std::vector<ql::SdNode> nodes;
  int level = 0;
  for (int i = 0; i < 5; ++i) {
    for (int k = 0; k < 7; ++k) nodes.push_back(SdNode(116.371 + i * 0.0071, 39.893 + k * 0.0047, i - k, ++level));
  }
  for (const auto& ll : std::vector<std::pair<double, double>>{{116.38, 39.90},
                                                               {116.39, 39.91},
                                                               {116.40, 39.9125},
                                                               {116.385, 39.92},
                                                               {0.0, 0.0},
                                                               {-0.019999999, 0.019999999},
                                                               {-122.4194, -37.7749}})
    nodes.push_back(SdNode(ll.first, ll.second, 0.0, ++level));
  return nodes;
}

TEST(SdTileBuilder, NodesLieInTheTileOfTheirKeyInInputOrder) {
  const std::vector<ql::SdNode> nodes = SdNodes();
  const qlw::SdTileMap tiles = qlw::BuildSdTiles(nodes, 3);
  std::map<std::string, std::vector<int>> levels;  // per tile, in input order
  for (const ql::SdNode& n : nodes) levels[qlw::TileFileName(ql::P2TId(n.id_p.p))].push_back(n.level);
  ASSERT_EQ(tiles.size(), levels.size());
  for (const auto& [id, tile] : tiles) {
    const std::string name = qlw::TileFileName(id);
    SCOPED_TRACE(name);
    ASSERT_EQ(tile.m_keys.size(), tile.m_values.size());
    std::vector<int> got;
    for (std::size_t i = 0; i < tile.m_values.size(); ++i) {
      got.push_back(tile.m_values[i].level);
      EXPECT_EQ(tile.m_keys[i].p, tile.m_values[i].id_p.p);
      EXPECT_TRUE(InClosedCell(tile.r, tile.m_keys[i].p, 0.0));
    }
    EXPECT_EQ(got, levels[name]);
    // The rectangle is the tile's, widened only where a node lies just outside it.
    const ql::Rect2D named = qlw::TileRect(id);
    EXPECT_LE(tile.r.lb.dLon, named.lb.dLon);
    EXPECT_GE(tile.r.rt.dLat, named.rt.dLat);
    // One bucket per leaf; each holds ids of the tile at their own points, inside the leaf.
    std::set<unsigned long> codes(tile.states.begin(), tile.states.end());
    EXPECT_EQ(codes.size(), tile.states.size());
    ASSERT_EQ(tile.nodes.size(), tile.states.size());
    ASSERT_EQ(tile.ps.size(), tile.states.size());
    for (std::size_t b = 0; b < tile.states.size(); ++b) {
      ql::Rect2D cell;
      ASSERT_TRUE(LeafOf(tile.r, tile.states[b], 3, cell));
      ASSERT_EQ(tile.nodes[b].size(), tile.ps[b].size());
      for (std::size_t k = 0; k < tile.nodes[b].size(); ++k) {
        EXPECT_EQ(tile.nodes[b][k].p, tile.ps[b][k]);
        EXPECT_TRUE(InClosedCell(cell, tile.ps[b][k], 1e-9));
      }
    }
  }
}

// The store's own nearest search finds every node at its point, whatever the depth and however
// small the box that holds the point (its lower-left corner).
TEST(SdTileBuilder, NearestSearchFindsEveryNodeAtItsPoint) {
  const std::vector<ql::SdNode> nodes = SdNodes();
  const int savedDepth = ql::MapConfig::qt_max_level;
  const int savedType = ql::MapConfig::serialize_type_json1_binary2;
  ql::MapConfig::serialize_type_json1_binary2 = 2;
  for (const int depth : {0, 1, 3, 6}) {
    SCOPED_TRACE("depth " + std::to_string(depth));
    ql::MapConfig::qt_max_level = depth;
    std::map<std::string, std::unique_ptr<ql::SdTile>> stored;
    for (const auto& [id, tile] : qlw::BuildSdTiles(nodes, depth)) {
      auto t = std::make_unique<ql::SdTile>(id);
      t->Deserialize(qlw::EncodeBinary(tile));
      stored[qlw::TileFileName(id)] = std::move(t);
    }
    for (const ql::SdNode& n : nodes) {
      const ql::Point& p = n.id_p.p;
      SCOPED_TRACE(std::to_string(p.dLon) + "," + std::to_string(p.dLat));
      const auto found = stored.find(qlw::TileFileName(ql::P2TId(p)));
      ASSERT_NE(found, stored.end());
      for (const double size : {1e-9, 1e-4}) {
        ql::SdNodeId id;
        double dist = -1.0;
        ASSERT_TRUE(found->second->GetNearestNodeId(p, ql::Rect2D(p, ql::Point(p.dLon + size, p.dLat + size, 0)),
                                                    id, dist, true))
            << "box " << size;
        EXPECT_EQ(id.p, p);
        EXPECT_EQ(dist, 0.0);
        const ql::SdNode* record = found->second->GetNodeData(id);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->level, n.level);
      }
    }
  }
  ql::MapConfig::qt_max_level = savedDepth;
  ql::MapConfig::serialize_type_json1_binary2 = savedType;
}

TEST(SdTileBuilder, RefusesWhatItCannotIndex) {
  const ql::SdNode good = SdNode(116.381, 39.901, 0, 1);
  struct Case {
    const char* name;
    std::vector<ql::SdNode> nodes;
    int depth;
  };
  const Case cases[] = {
      {"NegativeDepth", {good}, -1},
      {"DepthAbove16", {good}, 17},
      {"TwoNodesWithOneKey", {good, SdNode(116.381, 39.901, 50, 2)}, 3},  // the altitude is no part of it
      {"NanLongitude", {SdNode(std::nan(""), 39.9, 0, 1)}, 3},
      {"InfiniteLatitude", {SdNode(116.38, std::numeric_limits<double>::infinity(), 0, 1)}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(qlw::BuildSdTiles(c.nodes, c.depth), std::invalid_argument);
  }
  EXPECT_NO_THROW(qlw::BuildSdTiles({good, SdNode(116.381, 39.9011, 0, 2)}, 16));
  EXPECT_TRUE(qlw::BuildSdTiles({}, 3).empty());
}

TEST(SdProjectWriter, AllEncodingsHoldTheSameTiles) {
  TempDir dir("tilewriter_sd_encodings");
  std::vector<ql::SdNode> nodes = SdNodes();
  nodes[0] = Filled<ql::SdNode>(5);  // every field set
  const qlw::SdTileMap written = qlw::WriteSdProject(dir.str(), nodes, 4);
  ASSERT_EQ(written.size(), qlw::BuildSdTiles(nodes, 4).size());
  for (const auto& [id, tile] : written) {
    const std::string name = qlw::TileFileName(id);
    SCOPED_TRACE(name);
    const std::string binary = ReadFile(dir.path() / "sd" / "binary" / name);
    ExpectSame(DecodeBinary<ql::SdSerializeData>(binary), tile, "binary");
    ExpectSame(DecodeJson<ql::SdSerializeData>(ReadFile(dir.path() / "sd" / "json" / name)), tile, "json");
    std::string decrypted;
    ASSERT_TRUE(ql::FileSys::Read((dir.path() / "sd" / "encrypted" / name).string(), decrypted, true));
    EXPECT_EQ(decrypted, binary);
  }
  // The filled node's values survive the writing.
  const ql::SdNode& filled = nodes[0];
  const auto tile = written.find(ql::P2TId(filled.id_p.p));
  ASSERT_NE(tile, written.end());
  ExpectSame(tile->second.m_values.at(0), filled, "filled");
}

TEST(SdProjectWriter, ConfigurationsNameBothMaps) {
  TempDir dir("tilewriter_sd_config");
  qlw::WriteProject(dir.str(), SampleLinks(), 5);
  const std::string hdOnly = ReadFile(dir.path() / "config_binary.json");
  EXPECT_EQ(hdOnly.find("sd_config"), std::string::npos);
  qlw::WriteSdProject(dir.str(), SdNodes(), 5);
  EXPECT_TRUE(fs::is_regular_file(dir.path() / "hd" / "binary" / "5819,1995"));  // the HD map stays

  const std::string project = dir.str() + "/";
  const std::string savedJson = ql::MapConfig::sdConfig::save_dir_json;
  const std::string savedBinary = ql::MapConfig::sdConfig::save_dir_binary;
  struct Case {
    const char* file;
    int type;
    bool encrypt;
    const char* hdDir;
    const char* sdDir;
  };
  const Case cases[] = {{"config_json.json", 1, false, "hd/json/", "sd/json/"},
                        {"config_binary.json", 2, false, "hd/binary/", "sd/binary/"},
                        {"config_encrypted.json", 2, true, "hd/encrypted/", "sd/encrypted/"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ql::MapConfig::Init(project, c.file);
    EXPECT_EQ(ql::MapConfig::serialize_type_json1_binary2, c.type);
    EXPECT_EQ(ql::MapConfig::tile_encrypt, c.encrypt);
    EXPECT_EQ(ql::MapConfig::qt_max_level, 5);
    const bool json = c.type == 1;
    EXPECT_EQ(json ? ql::MapConfig::hdConfig::save_dir_json : ql::MapConfig::hdConfig::save_dir_binary,
              project + c.hdDir);
    const std::string sd =
        json ? ql::MapConfig::sdConfig::save_dir_json : ql::MapConfig::sdConfig::save_dir_binary;
    EXPECT_EQ(sd, project + c.sdDir);
    EXPECT_TRUE(fs::is_directory(sd));
  }
  // The same text as the HD-only file, with the SD directories added after the HD ones.
  const std::string both = ReadFile(dir.path() / "config_binary.json");
  const std::string added =
      "  \"sd_config\": {\n    \"save_dir_json\": \"sd/json/\",\n    \"save_dir_binary\": \"sd/binary/\"\n  },\n";
  const std::size_t at = hdOnly.find("  \"serialize_type_json1_binary2\"");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(both, hdOnly.substr(0, at) + added + hdOnly.substr(at));
  ql::MapConfig::sdConfig::save_dir_json = savedJson;
  ql::MapConfig::sdConfig::save_dir_binary = savedBinary;
}

TEST(SdProjectWriter, RewritingRemovesStaleTiles) {
  TempDir dir("tilewriter_sd_rewrite");
  qlw::WriteSdProject(dir.str(), {SdNode(116.381, 39.901, 0, 1), SdNode(116.421, 39.901, 0, 2)}, 2);
  qlw::WriteSdProject(dir.str(), {SdNode(116.381, 39.901, 0, 1)}, 2);
  for (const char* sub : {"json", "binary", "encrypted"}) {
    SCOPED_TRACE(sub);
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path() / "sd" / sub))
      names.insert(e.path().filename().string());
    EXPECT_EQ(names, std::set<std::string>{"5819,1995"});
  }
}

// ---- the ql_tilewriter program ----------------------------------------------------------------------------

struct RunResult {
  int status;
  std::string err;
};

RunResult RunTileWriter(const TempDir& dir, const std::string& args) {
  const fs::path errFile = dir.path() / "stderr.txt";
  const std::string cmd = std::string(QL_TILEWRITER) + " " + args + " >/dev/null 2>" + errFile.string();
  const int raw = std::system(cmd.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(errFile)};
}

TEST(TileWriterProgram, WritesTheProjectLayout) {
  TempDir dir("tilewriter_program");
  WriteFile(dir.path() / "links.json",
            R"({"links": [{"liId": {"lValue": 42}, "vctvdGeoLink": [[116.381, 39.901], [116.401, 39.901]]}]})");
  const fs::path out = dir.path() / "out";
  const RunResult run =
      RunTileWriter(dir, (dir.path() / "links.json").string() + " " + out.string() + " --depth 3");
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* file : {"hd/json/5819,1995", "hd/binary/5820,1995", "hd/encrypted/5820,1995",
                           "config_json.json", "config_binary.json", "config_encrypted.json"}) {
    EXPECT_TRUE(fs::is_regular_file(out / file)) << file;
  }
  const auto tile = DecodeBinary<ql::HdSerializeData>(ReadFile(out / "hd" / "binary" / "5819,1995"));
  ASSERT_EQ(tile.m_values.size(), 1u);
  EXPECT_EQ(tile.m_values[0].liId.lValue, 42);
  EXPECT_EQ(tile.m_values[0].liId.vcttiTileIds.size(), 2u);
  EXPECT_NE(ReadFile(out / "config_binary.json").find("\"qt_max_level\": 3"), std::string::npos);
}

TEST(TileWriterProgram, BadInputFailsWithAMessage) {
  TempDir dir("tilewriter_bad");
  const std::string links = (dir.path() / "links.json").string();
  const std::string out = (dir.path() / "out").string();
  struct Case {
    const char* name;
    const char* content;  // of links.json; null: no file
    std::string args;
    int status;
  };
  const Case cases[] = {
      {"NoArguments", nullptr, "", 2},
      {"MissingFile", nullptr, links + " " + out, 1},
      {"NotJson", "links", links + " " + out, 1},
      {"BrokenJson", R"({"links": [{"liId": {"lValue": 4}})", links + " " + out, 1},
      {"NoLinksKey", R"({"link": []})", links + " " + out, 1},
      {"LinkWithoutGeometry", R"({"links": [{"liId": {"lValue": 4}}]})", links + " " + out, 1},
      {"DuplicateIds",
       R"({"links": [{"liId": {"lValue": 4}, "vctvdGeoLink": [[1, 1]]}, {"liId": {"lValue": 4}, "vctvdGeoLink": [[1, 1]]}]})",
       links + " " + out, 1},
      {"DepthTooLarge", R"({"links": []})", links + " " + out + " --depth 17", 2},
      {"DepthNotANumber", R"({"links": []})", links + " " + out + " --depth 3x", 2},
      {"DepthMissing", R"({"links": []})", links + " " + out + " --depth", 2},
      {"UnknownOption", R"({"links": []})", links + " " + out + " --deep 3", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(links);
    if (c.content) WriteFile(links, c.content);
    const RunResult run = RunTileWriter(dir, c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.err.find("ql_tilewriter: "), std::string::npos) << run.err;
  }
}

}  // namespace
