// The SD records as the tile files store them, the node key's order and tile, SD maps written by
// the tile writer and read through the SD store and the SD library in every encoding, and damaged
// SD tiles.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Archive.h"
#include "BindRoad.h"
#include "CoordSys.h"
#include "Errors.h"
#include "MapConfig.h"
#include "Save.h"
#include "SdLib.h"
#include "SdStore.h"
#include "Singleton.h"
#include "TestBytes.h"
#include "TestConfig.h"
#include "TestFiles.h"
#include "TestRecords.h"
#include "TileWriter.h"
#include "ajson.hpp"

namespace {

using qltest::Bytes;
using qltest::DecodeBinary;
using qltest::DecodeJson;
using qltest::ExpectSame;

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

// A node with only its key set: every list empty, the ints 0, radas all 0.0, the flag false.
SdNode KeyOnly(const Point& p) {
  SdNode n;
  n.id_p = SdNodeId(p);
  return n;
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
  ExpectSame(n, KeyOnly(Point(116.4, 39.9, 12.5)), "node");
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
  SdNode expected = KeyOnly(Point(1, 2, 3));
  expected.outDegree = {SdNodeId(Point(4, 5, 6))};
  expected.outLengths = {7.5};
  expected.outRids = {0x0000010000000007ul, 8ul};
  expected.inLengths = {9.5, 10.5};
  expected.inRids = {0xFFFFFFFFFFFFFFFFul};
  expected.speed_limit_big = 80;
  expected.speed_limit_small = 30;
  expected.level = -2;
  expected.radas = {0.1, 0.2, 0.3, 0.4};
  expected.interpolated_node = true;
  ExpectSame(n, expected, "node");
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
  ExpectSame(n, KeyOnly(Point(1, 2, 3)), "node");
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
  const Point key(116.385, 39.905, 1);
  SdSerializeData expected;
  expected.m_keys = {SdNodeId(key)};
  expected.m_values = {KeyOnly(key)};
  expected.r = Rect2D(Point(116.38, 39.9, 0), Point(116.4, 39.92, 0));
  expected.states = {1ul, 2ul};
  expected.nodes = {{SdNodeId(key)}, {}};
  expected.ps = {{Point(116.386, 39.906, 2)}, {}};
  ExpectSame(d, expected, "tile");
}

// ---- records in JSON --------------------------------------------------------------------------

TEST(SdJson, NodeWithOnlyItsIdKeepsTheDefaults) {
  const SdNode n = DecodeJson<SdNode>(R"({"id_p": {"p": {"dLon": 116.4, "dLat": 39.9, "dAlt": 3}}})");
  ExpectSame(n, KeyOnly(Point(116.4, 39.9, 3)), "node");
}

// Keys in an order of their own: the names, not the positions, pick the members. The ADAS fractions
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
  SdNode expected = KeyOnly(Point(1, 2, 3));
  expected.outDegree = {SdNodeId(Point(4, 5, 6)), SdNodeId(Point(0, 0, 0))};
  expected.outLengths = {7.5, 6.5};
  expected.outRids = {1099511627783ul, 8ul};
  expected.inDegree = {SdNodeId(Point(7, 8, 0))};
  expected.inLengths = {9.5};
  expected.inRids = {18446744073709551615ul};
  expected.speed_limit_big = 80;
  expected.speed_limit_small = 30;
  expected.level = -2;
  expected.radas = n.radas;  // below
  expected.interpolated_node = true;
  ExpectSame(n, expected, "node");
  EXPECT_DOUBLE_EQ(n.radas.curvature, 0.125);
  EXPECT_DOUBLE_EQ(n.radas.roll, 0.25);
  EXPECT_DOUBLE_EQ(n.radas.pitch, 0.375);
  EXPECT_DOUBLE_EQ(n.radas.azimuth, 0.5);
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

// ---- SD maps written by the tile writer, read through the SD store and the SD library ---------

constexpr double kMax = std::numeric_limits<double>::max();  // 1.7976931348623157e308

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

// Tile ids have no equality (only their order); compare them as pairs.
using PairSet = std::set<std::pair<int, int>>;
PairSet Pairs(const std::set<TileId>& ids) {
  PairSet out;
  for (const TileId& t : ids) out.emplace(t.nLonId, t.nLatId);
  return out;
}
template <class Map>
PairSet Keys(const Map& tiles) {
  PairSet out;
  for (const auto& entry : tiles) out.emplace(entry.first.nLonId, entry.first.nLatId);
  return out;
}

// The process-wide SD store, emptied for one test: the first call that needs it creates a new one,
// which is freed (with its Save) when the test ends, and the previous one comes back.
class FreshSdStore {
 public:
  using Holder = ql::Singleton<ql::SdWorld, ql::newSdWorld>;
  FreshSdStore() : saved_(Holder::m_pInstance) { Holder::m_pInstance = nullptr; }
  ~FreshSdStore() {
    if (Holder::m_pInstance != nullptr) {
      delete Holder::m_pInstance->GetSave();
      delete Holder::m_pInstance;
    }
    Holder::m_pInstance = saved_;
  }
  FreshSdStore(const FreshSdStore&) = delete;
  FreshSdStore& operator=(const FreshSdStore&) = delete;

  ql::SdWorld* Get() const { return Holder::m_pInstance; }  // null until created

 private:
  ql::SdWorld* saved_;
};

using qltest::Encoding;
using qltest::kEncodings;

// Sets the store's settings for an SD map written under project in one encoding.
void UseSdMap(const std::string& project, const Encoding& e) {
  ql::MapConfig::tile_lon_interval = 0.02;
  ql::MapConfig::tile_lat_interval = 0.02;
  ql::MapConfig::qt_max_level = 1;
  ql::MapConfig::serialize_type_json1_binary2 = e.type;
  ql::MapConfig::tile_encrypt = e.encrypt;
  // Only the directory of this encoding holds tiles.
  ql::MapConfig::sdConfig::save_dir_json = project + (e.type == 1 ? e.SdDir() : "none/");
  ql::MapConfig::sdConfig::save_dir_binary = project + (e.type == 2 ? e.SdDir() : "none/");
  ql::MapConfig::hdConfig::save_dir_json = project + "none/";
  ql::MapConfig::hdConfig::save_dir_binary = project + "none/";
}

class SdMap : public ::testing::TestWithParam<Encoding> {
 protected:
  void SetUp() override {
    qlw::WriteSdTiles(tmp_.str(), {{kA, TileA()}}, 1);
    UseSdMap(tmp_.str() + "/", GetParam());
  }

  qltest::ConfigGuard guard_;
  qltest::TempDir tmp_{"sdlib"};
  FreshSdStore store_;
  ql::Save save_;
};

TEST_P(SdMap, RectangleQueryFindsTheNodeIndexedThere) {
  ql::SdWorld world(&save_);
  const std::set<const SdNode*> near = world.GetNodesInRect(Box(116.384, 39.904, 116.386, 39.906));
  ASSERT_EQ(near.size(), 1u);
  ExpectSame(**near.begin(), Node(kNear, 1), "near");

  const std::set<const SdNode*> whole = world.GetNodesInRect(Box(116.381, 39.901, 116.3995, 39.919));
  std::set<int> levels;
  for (const SdNode* p : whole) levels.insert(p->level);
  EXPECT_EQ(levels, std::set<int>({1, 2, 3}));
}

TEST_P(SdMap, LookupByIdGoesToTheTileOfTheIdsPoint) {
  ql::SdWorld world(&save_);
  // The altitude is no part of the key.
  const SdNode* far = world.GetNodeData(SdNodeId(Point(kFar.dLon, kFar.dLat, -5)));
  ASSERT_NE(far, nullptr);
  EXPECT_EQ(far->level, 2);
  // Stored in A's file but keyed in the next column, whose file does not exist.
  EXPECT_EQ(world.GetNodeData(SdNodeId(kStray)), nullptr);
  EXPECT_EQ(world.GetFailedTiles().count(TileId(5820, 1995)), 1u);
  EXPECT_EQ(world.GetNodeData(SdNodeId(Point(116.39, 39.91, 0))), nullptr);  // in A, not stored
}

TEST_P(SdMap, SingletonMakesOneStoreThatReadsTheSdDirectory) {
  ql::SdWorld* world = FreshSdStore::Holder::GetSingleton();
  ASSERT_NE(world, nullptr);
  EXPECT_EQ(FreshSdStore::Holder::GetSingleton(), world);
  const std::set<const SdNode*> far = world->GetNodesInRect(Box(116.394, 39.914, 116.396, 39.916));
  ASSERT_EQ(far.size(), 1u);
  EXPECT_EQ((*far.begin())->level, 2);
}

struct NearestCase {
  const char* name;
  Point p;
  Rect2D box;
  int level;         // of the node returned; 0: null
  Point nearestAt;   // where the nearest candidate is indexed, when there is one
  bool foundInTree;  // whether the box holds a candidate (dist is then its distance)
};

TEST_P(SdMap, NearestNodeIsLookedUpByItsId) {
  const NearestCase cases[] = {
      {"NodeInTheBox", Point(116.3851, 39.9051, 0), Box(116.384, 39.904, 116.386, 39.906), 1, kNear, true},
      {"NearestOfTheTile", Point(116.394, 39.914, 900), Box(116.38, 39.90, 116.40, 39.92), 2, kFar, true},
      // Found in A's tree, but its id names the next column, which has no file.
      {"StrayIsFoundButNotLookedUp", Point(116.3991, 39.9051, 0), Box(116.398, 39.904, 116.3995, 39.906), 0,
       kStrayIndexed, true},
      {"BoxWithoutNodes", Point(116.39, 39.91, 0), Box(116.389, 39.909, 116.391, 39.911), 0, {}, false},
      {"BoxWithoutTileFiles", Point(117.01, 40.01, 0), Box(117.0, 40.0, 117.02, 40.02), 0, {}, false},
  };
  ql::SdLib lib;
  EXPECT_EQ(store_.Get(), nullptr);  // made by the first request
  for (const NearestCase& c : cases) {
    SCOPED_TRACE(c.name);
    double dist = -1.0;
    const SdNode* node = lib.GetNearestNode(c.p, c.box, dist);
    if (c.level == 0) {
      EXPECT_EQ(node, nullptr);
    } else {
      ASSERT_NE(node, nullptr);
      EXPECT_EQ(node->level, c.level);
    }
    // The plane distance, without the height.
    EXPECT_EQ(dist, c.foundInTree ? std::sqrt(ql::D2XYZ(c.nearestAt, c.p, false)) : kMax);
  }
  ASSERT_NE(store_.Get(), nullptr);
  EXPECT_EQ(Keys(store_.Get()->GetTiles()), PairSet({{5819, 1995}}));
}

TEST_P(SdMap, NearestNodeWithZeroIntervalsLoadsNothing) {
  ql::MapConfig::tile_lon_interval = 0.0;
  ql::MapConfig::tile_lat_interval = 0.0;
  ql::SdLib lib;
  double dist = 0.0;
  EXPECT_EQ(lib.GetNearestNode(kNear, Box(116.38, 39.90, 116.40, 39.92), dist), nullptr);
  EXPECT_EQ(dist, kMax);
  EXPECT_TRUE(store_.Get()->GetTiles().empty());
  EXPECT_TRUE(store_.Get()->GetFailedTiles().empty());
}

// The binding loads the SD tiles within 45 m of the position (those of the box P2R gives, as the
// store steps over it) and matches nothing.
TEST_P(SdMap, BindingLoadsTheTilesAroundThePosition) {
  struct Case {
    const char* name;
    Point p;
    PairSet neighbours;  // tiles without files that the box reaches
  };
  const Case cases[] = {
      {"BoxInsideOneTile", Point(116.39, 39.91, 0), {}},
      {"BoxOverTheUpperRightCorner", Point(116.3999, 39.9199, 0), {{5820, 1995}, {5819, 1996}, {5820, 1996}}},
      {"BoxOverTheLowerLeftCorner", Point(116.3801, 39.9001, 0), {{5818, 1994}, {5818, 1995}, {5819, 1994}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FreshSdStore store;
    ql::SdLib lib;
    ql::BindRoadInput in;
    in.ptPos = c.p;
    in.setRids1 = {7};
    in.setNodes1 = {SdNodeId(kNear)};
    ql::BindRoadOutput out;
    lib.GetBindRoadResult(in, out);
    ASSERT_NE(store.Get(), nullptr);
    EXPECT_EQ(Keys(store.Get()->GetTiles()), PairSet({{5819, 1995}}));
    const PairSet failed = Pairs(store.Get()->GetFailedTiles());
    for (const auto& t : c.neighbours) EXPECT_EQ(failed.count(t), 1u) << t.first << "," << t.second;
    // Exactly the tiles of the 45 m box were asked for.
    PairSet asked = failed;
    asked.insert({5819, 1995});
    EXPECT_EQ(asked, Pairs(ql::R2TIds(ql::P2R(c.p, 45.0f, 45.0f))));
    // The caller's input is its own.
    EXPECT_EQ(in.setRids1.size(), 1u);
    EXPECT_EQ(in.setNodes1.size(), 1u);
  }
}

// Copies of a library share its engine: the copy binds after the original is gone, and the engine
// goes with the last library that holds it (once: the sanitizer build sees a second free).
TEST_P(SdMap, CopiesShareOneEngineFreedWithTheLast) {
  std::weak_ptr<ql::BindRoad> engine;
  std::unique_ptr<ql::SdLib> copy;
  {
    const ql::SdLib lib;
    engine = lib.m_pBindRoad;
    copy = std::make_unique<ql::SdLib>(lib);
    EXPECT_EQ(copy->m_pBindRoad, lib.m_pBindRoad);
  }
  ASSERT_FALSE(engine.expired());
  ql::BindRoadInput in;
  in.ptPos = Point(116.39, 39.91, 0);
  ql::BindRoadOutput out;
  copy->GetBindRoadResult(in, out);
  ASSERT_NE(store_.Get(), nullptr);
  EXPECT_EQ(Keys(store_.Get()->GetTiles()), PairSet({{5819, 1995}}));

  // A library assigned over drops its own engine and takes the other's.
  ql::SdLib other;
  const std::weak_ptr<ql::BindRoad> ownEngine = other.m_pBindRoad;
  other = *copy;
  EXPECT_TRUE(ownEngine.expired());
  EXPECT_EQ(other.m_pBindRoad, engine.lock());
  copy.reset();
  EXPECT_FALSE(engine.expired());
  other = ql::SdLib();
  EXPECT_TRUE(engine.expired());
}

// A library moved from, by construction or by assignment, still answers every call: it shares the
// engine with the library it moved into (a moved-out engine would be a call through null).
TEST_P(SdMap, MovedFromLibraryAnswersEveryCall) {
  ql::SdLib constructedFrom;
  const ql::SdLib constructed(std::move(constructedFrom));
  ql::SdLib assignedFrom;
  ql::SdLib assigned;
  assigned = std::move(assignedFrom);
  struct Case {
    const char* name;
    ql::SdLib& from;
    const ql::SdLib& to;
  };
  const Case cases[] = {{"Constructed", constructedFrom, constructed}, {"Assigned", assignedFrom, assigned}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NE(c.from.m_pBindRoad, nullptr);
    EXPECT_EQ(c.from.m_pBindRoad, c.to.m_pBindRoad);
    c.from.Init("");
    SdNode node = KeyOnly(kFar);
    EXPECT_FALSE(c.from.GetDataByWid(kNear, 1, node));
    EXPECT_EQ(node.id_p.p.dLon, kFar.dLon);
    FreshSdStore store;
    ql::BindRoadInput in;
    in.ptPos = Point(116.39, 39.91, 0);
    ql::BindRoadOutput out;
    c.from.GetBindRoadResult(in, out);
    ASSERT_NE(store.Get(), nullptr);
    EXPECT_EQ(Keys(store.Get()->GetTiles()), PairSet({{5819, 1995}}));
    double dist = -1.0;
    const SdNode* near =
        c.from.GetNearestNode(Point(116.3851, 39.9051, 0), Box(116.384, 39.904, 116.386, 39.906), dist);
    ASSERT_NE(near, nullptr);
    EXPECT_EQ(near->level, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Sd, SdMap, ::testing::ValuesIn(kEncodings),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SdLibrary, EngineCopiesTheCandidateLimitWhenTheLibraryIsBuilt) {
  qltest::ConfigGuard guard;
  ql::MapConfig::algorithm_condidate_max = 5;
  ql::SdLib lib;
  ql::MapConfig::algorithm_condidate_max = 6;
  ASSERT_NE(lib.m_pBindRoad, nullptr);
  EXPECT_EQ(lib.m_pBindRoad->m_nCandidateMax, 5);
  EXPECT_EQ(ql::SdLib().m_pBindRoad->m_nCandidateMax, 6);
}

TEST(SdLibrary, InitAndLookupByWayIdDoNothing) {
  FreshSdStore store;
  ql::SdLib lib;
  lib.Init("/no/such/project/");
  lib.Init("");
  struct Case {
    const char* name;
    Point p;
    int wid;
  };
  const Case cases[] = {{"Zero", Point(), 0}, {"OnTheMap", kNear, 12}, {"Negative", Point(-1, -2, -3), -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SdNode node = Node(kFar, 9);
    EXPECT_FALSE(lib.GetDataByWid(c.p, c.wid, node));
    ExpectSame(node, Node(kFar, 9), "node");
  }
  EXPECT_EQ(store.Get(), nullptr);  // neither needs the store
}

// ---- damaged SD tiles ---------------------------------------------------------------------------

// Which of the library's errors an exception is.
std::string KindOf(const std::exception_ptr& e) {
  try {
    std::rethrow_exception(e);
  } catch (const ajson::exception&) {
    return "json";
  } catch (const ql::ArchiveError&) {
    return "archive";
  } catch (const ql::DecryptError&) {
    return "decrypt";
  } catch (...) {
    return "other";
  }
}

std::string WhatOf(const std::exception_ptr& e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& x) {
    return x.what();
  } catch (...) {
    return std::string();
  }
}

// A damaged file is refused with an exception naming it, wherever the SD map reads it; the tile
// stays unknown (neither cached nor failed), so the repaired file is read at the next request.
TEST(SdDamagedTile, RefusedNamingTheFileAndReadAgainOnceRepaired) {
  struct Case {
    const char* name;
    Encoding encoding;
    std::string (*damage)(const std::string& good);
    const char* kind;
    const char* prefix;  // what the text starts with after the file path; empty: the path is anywhere
  };
  const Case cases[] = {
      {"MalformedJson", kEncodings[0], [](const std::string&) { return std::string("{\"m_keys\": ["); }, "json",
       ""},
      {"JsonCutShort", kEncodings[0], [](const std::string& g) { return g.substr(0, g.size() / 2); }, "json", ""},
      {"TruncatedBinary", kEncodings[1], [](const std::string& g) { return g.substr(0, g.size() - 9); }, "archive",
       ": byte "},
      {"EmptyBinary", kEncodings[1], [](const std::string&) { return std::string(); }, "archive", ": byte 0: "},
      {"NegativeCount", kEncodings[1], [](const std::string& g) { return "\xFF\xFF\xFF\xFF" + g.substr(4); },
       "archive", ": byte 0: m_keys: vector count -1 is negative"},
      {"EncryptedFileDamaged", kEncodings[2],
       [](const std::string& g) {
         std::string bad = g;
         bad[bad.size() - 1] ^= 0x5A;  // the length word no longer checks out
         return bad;
       },
       "decrypt", ": decryption failed"},
      {"PlainFileReadAsEncrypted", kEncodings[2], [](const std::string&) { return qlw::EncodeBinary(TileA()); },
       "decrypt", ": decryption failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qltest::ConfigGuard guard;
    qltest::TempDir tmp("sdlib_damaged");
    qlw::WriteSdTiles(tmp.str(), {{kA, TileA()}}, 1);
    UseSdMap(tmp.str() + "/", c.encoding);
    const std::string path = tmp.str() + "/" + c.encoding.SdDir() + qlw::TileFileName(kA);
    const std::string good = qltest::ReadFile(path);
    qltest::WriteFile(path, c.damage(good));

    FreshSdStore store;
    ql::SdLib lib;
    const Rect2D box = Box(116.384, 39.904, 116.386, 39.906);
    double dist = 0.0;
    std::exception_ptr raised;
    try {
      lib.GetNearestNode(kNear, box, dist);
    } catch (...) {
      raised = std::current_exception();
    }
    ASSERT_TRUE(raised) << "no exception";
    EXPECT_EQ(KindOf(raised), c.kind);
    const std::string what = WhatOf(raised);
    if (std::strlen(c.prefix) == 0) {
      EXPECT_NE(what.find(path), std::string::npos) << what;
    } else {
      EXPECT_EQ(what.compare(0, path.size() + std::strlen(c.prefix), path + c.prefix), 0) << what;
    }
    EXPECT_TRUE(store.Get()->GetTiles().empty());
    EXPECT_TRUE(store.Get()->GetFailedTiles().empty());

    // The binding's loading raises alike.
    ql::BindRoadInput in;
    in.ptPos = kNear;
    ql::BindRoadOutput out;
    EXPECT_ANY_THROW(lib.GetBindRoadResult(in, out));

    qltest::WriteFile(path, good);
    const SdNode* node = lib.GetNearestNode(kNear, box, dist);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->level, 1);
  }
}

}  // namespace
