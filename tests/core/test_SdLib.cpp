// The SD records as the tile files store them, the node key's order and tile, and SD tiles
// read through the SD tile store from its own directories.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "Archive.h"
#include "CoordSys.h"
#include "MapConfig.h"
#include "SdLib.h"
#include "Singleton.h"
#include "TestBytes.h"
#include "TileWriter.h"
#include "ajson.hpp"

namespace {

using qltest::Bytes;
using qltest::DecodeBinary;
using qltest::DecodeJson;

namespace fs = std::filesystem;
using ql::Point;
using ql::Rect2D;
using ql::SdNode;
using ql::SdNodeId;
using ql::SdSerializeData;
using ql::TileId;

// Little-endian bytes written out by hand, independent of the writer.

// A node with no neighbours, zero limits and level, zero ADAS and a false flag.
Bytes& BareNode(Bytes& b, double lon, double lat, double alt) {
  b.Pt(lon, lat, alt);
  for (int i = 0; i < 6; ++i) b.I32(0);  // the six lists
  b.I32(0).I32(0).I32(0);                // limits and level
  b.F64(0).F64(0).F64(0).F64(0);         // radas
  return b.U8(0);
}

void ExpectPoint(const Point& p, double lon, double lat, double alt) {
  EXPECT_EQ(p.dLon, lon);
  EXPECT_EQ(p.dLat, lat);
  EXPECT_EQ(p.dAlt, alt);
}

// ---- the node key ---------------------------------------------------------------------------

struct OrderCase {
  const char* name;
  Point a, b;
  bool aLess, bLess;
};

TEST(SdNodeIdOrder, LongitudeThenLatitudeAltitudeIgnored) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const OrderCase cases[] = {
      {"AltitudeOnlyIsOneKey", {116.4, 39.9, 0}, {116.4, 39.9, 50}, false, false},
      {"LongitudeDecidesBeforeLatitude", {116.3, 39.99, 0}, {116.4, 39.1, 0}, true, false},
      {"LatitudeDecidesAtEqualLongitude", {116.4, 39.8, 9}, {116.4, 39.9, 0}, true, false},
      {"NegativeLongitudes", {-116.4, 39.9, 0}, {-116.3, 39.9, 0}, true, false},
      {"SignedZerosAreEqual", {-0.0, 1.0, 0}, {0.0, 1.0, 0}, false, false},
      {"NanLongitudeIsLessThanNothing", {nan, 39.8, 0}, {116.4, 39.9, 0}, false, false},
  };
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SdNodeId(c.a) < SdNodeId(c.b), c.aLess);
    EXPECT_EQ(SdNodeId(c.b) < SdNodeId(c.a), c.bLess);
  }
}

TEST(SdNodeIdOrder, MapKeepsTheFirstOfKeysDifferingInAltitude) {
  std::set<SdNodeId> ids;
  ids.insert(SdNodeId(Point(116.4, 39.9, 0)));
  ids.insert(SdNodeId(Point(116.4, 39.9, 50)));
  ASSERT_EQ(ids.size(), 1u);
  EXPECT_EQ(ids.begin()->p.dAlt, 0.0);
}

struct TileCase {
  const char* name;
  Point p;
  int col, row;
};

TEST(SdNodeIdTile, OneTileOfTheFixedGrid) {
  const TileCase cases[] = {
      {"Inside", {116.38, 39.9, 0}, 5819, 1995},
      {"JustBelowAColumnBorder", {116.3999, 39.9199, 0}, 5819, 1995},
      {"NegativeTruncatesTowardZero", {-116.39, -39.91, 0}, -5819, -1995},
  };
  // The grid is fixed, not the configured stepping interval.
  const double saved = ql::MapConfig::tile_lon_interval;
  ql::MapConfig::tile_lon_interval = 0.5;
  for (const TileCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<TileId> tiles = SdNodeId(c.p).GetTileIds();
    ASSERT_EQ(tiles.size(), 1u);
    EXPECT_EQ(tiles[0].nLonId, c.col);
    EXPECT_EQ(tiles[0].nLatId, c.row);
  }
  ql::MapConfig::tile_lon_interval = saved;
}

// ---- records in binary --------------------------------------------------------------------

TEST(SdLayout, BareNodeIs93Bytes) {
  Bytes b;
  BareNode(b, 116.4, 39.9, 12.5);
  ASSERT_EQ(b.s.size(), 93u);
  std::size_t used = 0;
  const SdNode n = DecodeBinary<SdNode>(b.s + "tail", &used);
  EXPECT_EQ(used, 93u);
  ExpectPoint(n.id_p.p, 116.4, 39.9, 12.5);
  EXPECT_TRUE(n.outDegree.empty() && n.outLengths.empty() && n.outRids.empty());
  EXPECT_TRUE(n.inDegree.empty() && n.inLengths.empty() && n.inRids.empty());
  EXPECT_FALSE(n.interpolated_node);
}

// Every member holds a value of its own, so a swapped or mis-sized member shows.
TEST(SdLayout, NodeMembersInListOrder) {
  Bytes b;
  b.Pt(1, 2, 3);
  b.I32(1).Pt(4, 5, 6);                        // outDegree
  b.I32(1).F64(7.5);                           // outLengths
  b.I32(2).U64(0x0000010000000007ull).U64(8);  // outRids
  b.I32(0);                                    // inDegree
  b.I32(2).F64(9.5).F64(10.5);                 // inLengths
  b.I32(1).U64(0xFFFFFFFFFFFFFFFFull);         // inRids: the full unsigned range
  b.I32(80).I32(30).I32(-2);                   // speed_limit_big, speed_limit_small, level
  b.F64(0.1).F64(0.2).F64(0.3).F64(0.4);       // curvature, roll, pitch, azimuth
  b.U8(1);
  std::size_t used = 0;
  const SdNode n = DecodeBinary<SdNode>(b.s, &used);
  EXPECT_EQ(used, b.s.size());
  ExpectPoint(n.id_p.p, 1, 2, 3);
  ASSERT_EQ(n.outDegree.size(), 1u);
  ExpectPoint(n.outDegree[0].p, 4, 5, 6);
  EXPECT_EQ(n.outLengths, std::vector<double>({7.5}));
  EXPECT_EQ(n.outRids, std::vector<unsigned long>({0x0000010000000007ul, 8ul}));
  EXPECT_TRUE(n.inDegree.empty());
  EXPECT_EQ(n.inLengths, std::vector<double>({9.5, 10.5}));
  EXPECT_EQ(n.inRids, std::vector<unsigned long>({0xFFFFFFFFFFFFFFFFul}));
  EXPECT_EQ(n.speed_limit_big, 80);
  EXPECT_EQ(n.speed_limit_small, 30);
  EXPECT_EQ(n.level, -2);
  EXPECT_EQ(n.radas.curvature, 0.1);
  EXPECT_EQ(n.radas.roll, 0.2);
  EXPECT_EQ(n.radas.pitch, 0.3);
  EXPECT_EQ(n.radas.azimuth, 0.4);
  EXPECT_TRUE(n.interpolated_node);
}

TEST(SdLayout, BinaryNodeReplacesItsTargetWhole) {
  Bytes b;
  BareNode(b, 1, 2, 3);
  SdNode n;
  n.level = 7;
  n.outLengths = {1.0, 2.0};
  n.radas.pitch = 5.0;
  ql::InArchive ar(b.s);
  ar >> n;
  EXPECT_EQ(n.level, 0);
  EXPECT_TRUE(n.outLengths.empty());
  EXPECT_EQ(n.radas.pitch, 0.0);
}

// Keys, then values, then the rectangle (declared first), then the buckets.
TEST(SdLayout, TileContentStoresRectangleThird) {
  Bytes b;
  b.I32(1).Pt(116.385, 39.905, 1);
  b.I32(1);
  BareNode(b, 116.385, 39.905, 1);
  b.Pt(116.38, 39.9, 0).Pt(116.4, 39.92, 0);  // r
  b.I32(2).U64(1).U64(2);                     // states
  b.I32(2).I32(1).Pt(116.385, 39.905, 1).I32(0);
  b.I32(2).I32(1).Pt(116.386, 39.906, 2).I32(0);
  std::size_t used = 0;
  const SdSerializeData d = DecodeBinary<SdSerializeData>(b.s, &used);
  EXPECT_EQ(used, b.s.size());
  ASSERT_EQ(d.m_keys.size(), 1u);
  ExpectPoint(d.m_keys[0].p, 116.385, 39.905, 1);
  ASSERT_EQ(d.m_values.size(), 1u);
  ExpectPoint(d.m_values[0].id_p.p, 116.385, 39.905, 1);
  ExpectPoint(d.r.lb, 116.38, 39.9, 0);
  ExpectPoint(d.r.rt, 116.4, 39.92, 0);
  EXPECT_EQ(d.states, std::vector<unsigned long>({1ul, 2ul}));
  ASSERT_EQ(d.nodes.size(), 2u);
  ASSERT_EQ(d.nodes[0].size(), 1u);
  EXPECT_TRUE(d.nodes[1].empty());
  ASSERT_EQ(d.ps.size(), 2u);
  ASSERT_EQ(d.ps[0].size(), 1u);
  ExpectPoint(d.ps[0][0], 116.386, 39.906, 2);
}

// ---- records in JSON --------------------------------------------------------------------------

TEST(SdJson, NodeWithOnlyItsIdKeepsTheDefaults) {
  const SdNode n = DecodeJson<SdNode>(R"({"id_p": {"p": {"dLon": 116.4, "dLat": 39.9, "dAlt": 3}}})");
  ExpectPoint(n.id_p.p, 116.4, 39.9, 3);
  EXPECT_TRUE(n.outDegree.empty() && n.outLengths.empty() && n.outRids.empty());
  EXPECT_TRUE(n.inDegree.empty() && n.inLengths.empty() && n.inRids.empty());
  EXPECT_EQ(n.speed_limit_big, 0);
  EXPECT_EQ(n.speed_limit_small, 0);
  EXPECT_EQ(n.level, 0);
  EXPECT_EQ(n.radas.curvature, 0.0);
  EXPECT_EQ(n.radas.azimuth, 0.0);
  EXPECT_FALSE(n.interpolated_node);
}

// Keys in an order of their own: the names, not the positions, pick the members. Fractions
// are compared to a few ulps: the reader builds decimals digit by digit.
TEST(SdJson, NodeKeysNameTheirMembers) {
  const SdNode n = DecodeJson<SdNode>(R"({
      "interpolated_node": true,
      "radas": {"azimuth": 0.5, "curvature": 0.125, "pitch": 0.375, "roll": 0.25},
      "level": -2, "speed_limit_small": 30, "speed_limit_big": 80,
      "inRids": [18446744073709551615], "inLengths": [9.5], "inDegree": [{"p": {"dLon": 7, "dLat": 8}}],
      "outRids": [1099511627783, 8], "outLengths": [7.5, 6.5],
      "outDegree": [{"p": {"dLon": 4, "dLat": 5, "dAlt": 6}}, {"p": {}}],
      "id_p": {"p": {"dLon": 1, "dLat": 2, "dAlt": 3}}})");
  ExpectPoint(n.id_p.p, 1, 2, 3);
  ASSERT_EQ(n.outDegree.size(), 2u);
  ExpectPoint(n.outDegree[0].p, 4, 5, 6);
  ExpectPoint(n.outDegree[1].p, 0, 0, 0);
  EXPECT_EQ(n.outLengths, std::vector<double>({7.5, 6.5}));
  EXPECT_EQ(n.outRids, std::vector<unsigned long>({1099511627783ul, 8ul}));
  ASSERT_EQ(n.inDegree.size(), 1u);
  ExpectPoint(n.inDegree[0].p, 7, 8, 0);
  EXPECT_EQ(n.inLengths, std::vector<double>({9.5}));
  EXPECT_EQ(n.inRids, std::vector<unsigned long>({18446744073709551615ul}));
  EXPECT_EQ(n.speed_limit_big, 80);
  EXPECT_EQ(n.speed_limit_small, 30);
  EXPECT_EQ(n.level, -2);
  EXPECT_DOUBLE_EQ(n.radas.curvature, 0.125);
  EXPECT_DOUBLE_EQ(n.radas.roll, 0.25);
  EXPECT_DOUBLE_EQ(n.radas.pitch, 0.375);
  EXPECT_DOUBLE_EQ(n.radas.azimuth, 0.5);
  EXPECT_TRUE(n.interpolated_node);
}

TEST(SdJson, TileContentSkipsUnknownKeys) {
  const SdSerializeData d = DecodeJson<SdSerializeData>(R"({
      "version": {"major": 2, "list": [1, [2]]},
      "m_keys": [{"p": {"dLon": 116.385, "dLat": 39.905}}],
      "m_values": [{"id_p": {"p": {"dLon": 116.385, "dLat": 39.905}}, "level": 4, "extra": "x"}],
      "r": {"lb": {"dLon": 116.38, "dLat": 39.9}, "rt": {"dLon": 116.4, "dLat": 39.92}},
      "states": [1], "nodes": [[{"p": {"dLon": 116.385, "dLat": 39.905}}]],
      "ps": [[{"dLon": 116.386, "dLat": 39.906}]]})");
  ASSERT_EQ(d.m_keys.size(), 1u);
  ASSERT_EQ(d.m_values.size(), 1u);
  EXPECT_EQ(d.m_values[0].level, 4);
  ExpectPoint(d.r.rt, 116.4, 39.92, 0);
  EXPECT_EQ(d.states, std::vector<unsigned long>({1ul}));
  ASSERT_EQ(d.nodes.size(), 1u);
  ASSERT_EQ(d.nodes[0].size(), 1u);
  ExpectPoint(d.ps.at(0).at(0), 116.386, 39.906, 0);
}

TEST(SdJson, MalformedTileRaisesTheReadersError) {
  EXPECT_THROW(DecodeJson<SdSerializeData>(R"({"m_keys": [{"p": {"dLon": 116.3,}}]})"), ajson::exception);
}

// ---- tiles through the SD store ------------------------------------------------------------

const TileId kA(5819, 1995);             // lon 116.38 .. 116.40, lat 39.90 .. 39.92
const Point kNear(116.385, 39.905, 10);  // left-bottom quadrant of A
const Point kFar(116.395, 39.915, 20);   // right-top quadrant of A
// Keyed in the next column but indexed inside A (right-bottom): stored in A's file.
const Point kStray(116.401, 39.905, 0);
const Point kStrayIndexed(116.399, 39.905, 0);

Rect2D Box(double x0, double y0, double x1, double y1) { return Rect2D(Point(x0, y0, 0), Point(x1, y1, 0)); }

SdNode Node(const Point& p, int level) {
  SdNode n;
  n.id_p = SdNodeId(p);
  n.level = level;
  n.outDegree = {SdNodeId(kFar)};
  n.outLengths = {1234.5};
  n.outRids = {77};
  return n;
}

// Depth 1: one bucket per quadrant holding a node.
SdSerializeData TileA() {
  SdSerializeData d;
  d.r = qlw::TileRect(kA);
  d.m_keys = {SdNodeId(kNear), SdNodeId(kFar), SdNodeId(kStray)};
  d.m_values = {Node(kNear, 1), Node(kFar, 2), Node(kStray, 3)};
  d.states = {1, 2, 8};
  d.nodes = {{SdNodeId(kNear)}, {SdNodeId(kFar)}, {SdNodeId(kStray)}};
  d.ps = {{kNear}, {kFar}, {kStrayIndexed}};
  return d;
}

// Saves and restores every setting the store reads.
class SdConfigGuard {
 public:
  SdConfigGuard()
      : lon_(ql::MapConfig::tile_lon_interval),
        lat_(ql::MapConfig::tile_lat_interval),
        depth_(ql::MapConfig::qt_max_level),
        type_(ql::MapConfig::serialize_type_json1_binary2),
        encrypt_(ql::MapConfig::tile_encrypt),
        sdJson_(ql::MapConfig::sdConfig::save_dir_json),
        sdBinary_(ql::MapConfig::sdConfig::save_dir_binary),
        hdJson_(ql::MapConfig::hdConfig::save_dir_json),
        hdBinary_(ql::MapConfig::hdConfig::save_dir_binary) {}
  ~SdConfigGuard() {
    ql::MapConfig::tile_lon_interval = lon_;
    ql::MapConfig::tile_lat_interval = lat_;
    ql::MapConfig::qt_max_level = depth_;
    ql::MapConfig::serialize_type_json1_binary2 = type_;
    ql::MapConfig::tile_encrypt = encrypt_;
    ql::MapConfig::sdConfig::save_dir_json = sdJson_;
    ql::MapConfig::sdConfig::save_dir_binary = sdBinary_;
    ql::MapConfig::hdConfig::save_dir_json = hdJson_;
    ql::MapConfig::hdConfig::save_dir_binary = hdBinary_;
  }

 private:
  double lon_, lat_;
  int depth_, type_;
  bool encrypt_;
  std::string sdJson_, sdBinary_, hdJson_, hdBinary_;
};

// A store made by the creator, freed here with its Save (the creator's callers never free them).
struct OwnedWorld {
  ql::SdWorld* world = ql::newSdWorld::Create();
  ~OwnedWorld() {
    delete world->GetSave();
    delete world;
  }
  ql::SdWorld* operator->() const { return world; }
};

struct Encoding {
  const char* name;
  int type;
};

class SdStore : public ::testing::TestWithParam<Encoding> {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("ql_sdlib_" + std::to_string(::getpid()) + "_" + GetParam().name + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "sd");
    const SdSerializeData tile = TileA();
    const std::string bytes = GetParam().type == 1 ? qlw::EncodeJson(tile) : qlw::EncodeBinary(tile);
    std::ofstream(dir_ / "sd" / qlw::TileFileName(kA), std::ios::binary) << bytes;

    ql::MapConfig::tile_lon_interval = 0.02;
    ql::MapConfig::tile_lat_interval = 0.02;
    ql::MapConfig::qt_max_level = 1;
    ql::MapConfig::serialize_type_json1_binary2 = GetParam().type;
    ql::MapConfig::tile_encrypt = false;
    const std::string sd = (dir_ / "sd").string() + "/";
    // Only the SD directory of this encoding holds the file; the HD ones hold nothing.
    ql::MapConfig::sdConfig::save_dir_json = GetParam().type == 1 ? sd : (dir_ / "none/").string();
    ql::MapConfig::sdConfig::save_dir_binary = GetParam().type == 2 ? sd : (dir_ / "none/").string();
    ql::MapConfig::hdConfig::save_dir_json = (dir_ / "none/").string();
    ql::MapConfig::hdConfig::save_dir_binary = (dir_ / "none/").string();
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  SdConfigGuard guard_;
  fs::path dir_;
};

TEST_P(SdStore, RectangleQueryFindsTheNodeIndexedThere) {
  OwnedWorld world;
  const std::set<const SdNode*> near = world->GetNodesInRect(Box(116.384, 39.904, 116.386, 39.906));
  ASSERT_EQ(near.size(), 1u);
  const SdNode& n = **near.begin();
  ExpectPoint(n.id_p.p, kNear.dLon, kNear.dLat, kNear.dAlt);
  EXPECT_EQ(n.level, 1);
  ASSERT_EQ(n.outDegree.size(), 1u);
  ExpectPoint(n.outDegree[0].p, kFar.dLon, kFar.dLat, kFar.dAlt);
  EXPECT_EQ(n.outLengths, std::vector<double>({1234.5}));
  EXPECT_EQ(n.outRids, std::vector<unsigned long>({77ul}));

  const std::set<const SdNode*> whole = world->GetNodesInRect(Box(116.381, 39.901, 116.3995, 39.919));
  std::set<int> levels;
  for (const SdNode* p : whole) levels.insert(p->level);
  EXPECT_EQ(levels, std::set<int>({1, 2, 3}));
}

TEST_P(SdStore, LookupByIdGoesToTheTileOfTheIdsPoint) {
  OwnedWorld world;
  // The altitude is no part of the key.
  const SdNode* far = world->GetNodeData(SdNodeId(Point(kFar.dLon, kFar.dLat, -5)));
  ASSERT_NE(far, nullptr);
  EXPECT_EQ(far->level, 2);
  // Stored in A's file but keyed in the next column, whose file does not exist.
  EXPECT_EQ(world->GetNodeData(SdNodeId(kStray)), nullptr);
  EXPECT_EQ(world->GetFailedTiles().count(TileId(5820, 1995)), 1u);
  EXPECT_EQ(world->GetNodeData(SdNodeId(Point(116.39, 39.91, 0))), nullptr);  // in A, not stored
}

TEST_P(SdStore, SingletonMakesOneStoreThatReadsTheSdDirectory) {
  using Holder = ql::Singleton<ql::SdWorld, ql::newSdWorld>;
  ql::SdWorld* world = Holder::GetSingleton();
  ASSERT_NE(world, nullptr);
  EXPECT_EQ(Holder::GetSingleton(), world);
  // The singleton may have cached A in another encoding's run; both hold the same nodes.
  const std::set<const SdNode*> far = world->GetNodesInRect(Box(116.394, 39.914, 116.396, 39.916));
  ASSERT_EQ(far.size(), 1u);
  EXPECT_EQ((*far.begin())->level, 2);
}

INSTANTIATE_TEST_SUITE_P(Sd, SdStore, ::testing::Values(Encoding{"Json", 1}, Encoding{"Binary", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
