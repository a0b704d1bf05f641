// HD records through the library's readers, and the tile writer that produces test maps.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "Archive.h"
#include "CoordSys.h"
#include "FileSys.h"
#include "HdTypes.h"
#include "MapConfig.h"
#include "TestBytes.h"
#include "Tile.h"
#include "TileWriter.h"
#include "ajson.hpp"
#include "xxtea.h"

namespace {

using qltest::Bytes;
using qltest::DecodeBinary;
using qltest::DecodeJson;

namespace fs = std::filesystem;

// ---- helpers ------------------------------------------------------------------------------------

template <class T>
struct IsVector : std::false_type {};
template <class E>
struct IsVector<std::vector<E>> : std::true_type {};

// Field-by-field comparison through the field lists; doubles compare by their bits, so -0.0 and
// NaN payload changes show too. The path names the first differing member.
template <class T>
void ExpectSame(const T& a, const T& b, const std::string& path) {
  if constexpr (std::is_same<T, double>::value) {
    if (std::isnan(a) && std::isnan(b)) return;
    EXPECT_EQ(0, std::memcmp(&a, &b, sizeof a)) << path << ": " << a << " vs " << b;
  } else if constexpr (std::is_arithmetic<T>::value || std::is_same<T, std::string>::value) {
    EXPECT_EQ(a, b) << path;
  } else if constexpr (IsVector<T>::value) {
    ASSERT_EQ(a.size(), b.size()) << path << ".size()";
    for (std::size_t i = 0; i < a.size(); ++i) ExpectSame(a[i], b[i], path + "[" + std::to_string(i) + "]");
  } else {
    static_assert(ql::HasFields<T>::value, "a record with a field list");
    const auto& names = qlw::detail::FieldNames<T>();
    ql::Fields<T>::Visit(a, [&](const auto&... ma) {
      ql::Fields<T>::Visit(b, [&](const auto&... mb) {
        std::size_t i = 0;
        (ExpectSame(ma, mb, path + "." + names[i++]), ...);
      });
    });
  }
}

// Gives every member of a record a value of its own (two elements per list, nested down to a
// bounded depth), so a swapped or skipped field shows as a difference.
struct Filler {
  int seed;
  template <class T>
  void operator()(T& v, int depth = 0) {
    ++seed;
    if constexpr (std::is_same<T, int>::value) {
      v = (seed % 2 ? 1 : -1) * (seed * 7 + 3);
    } else if constexpr (std::is_same<T, long>::value) {
      v = (seed % 2 ? -1L : 1L) * (1000000007L * seed + 0x100000000L);
    } else if constexpr (std::is_same<T, unsigned long>::value) {
      v = 0x8000000000000000ul + static_cast<unsigned long>(seed);
    } else if constexpr (std::is_same<T, double>::value) {
      v = (seed % 3 ? 1.0 : -1.0) * (116.0 + seed * 0.0123456789);
    } else if constexpr (std::is_same<T, std::string>::value) {
      v = "s" + std::to_string(seed) + (seed % 4 == 0 ? "\"\\/\t\xc3\xa9" : "");
    } else if constexpr (IsVector<T>::value) {
      v.resize(depth < 4 ? 2 : 1);
      for (auto& e : v) (*this)(e, depth + 1);
    } else {
      ql::Fields<T>::Visit(v, [&](auto&... m) { ((*this)(m, depth + 1), ...); });
    }
  }
};

template <class T>
T Filled(int seed) {
  T v;
  Filler{seed}(v);
  return v;
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary);
  out << text;
}

// A fresh scratch directory per test, removed afterwards.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& name)
      : m_path(fs::temp_directory_path() / ("ql_hdtypes_" + std::to_string(::getpid()) + "_" + name)) {
    fs::remove_all(m_path);
    fs::create_directories(m_path);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
  }
  const fs::path& path() const { return m_path; }
  std::string str() const { return m_path.string(); }

 private:
  fs::path m_path;
};

// ---- every record: sizes and round trips ----------------------------------------------------------

// Bytes of each record with every number zero and every string and list empty.
template <class T>
constexpr std::size_t kEmptyBytes = 0;
template <>
constexpr std::size_t kEmptyBytes<ql::HdLinkId> = 12;
template <>
constexpr std::size_t kEmptyBytes<ql::HdLaneId> = 8;
template <>
constexpr std::size_t kEmptyBytes<ql::HdLaneNode> = 12;
template <>
constexpr std::size_t kEmptyBytes<ql::HdEdgeNode> = 12;
template <>
constexpr std::size_t kEmptyBytes<ql::RoadEdgeNode> = 12;
template <>
constexpr std::size_t kEmptyBytes<ql::RoadJunction> = 12;
template <>
constexpr std::size_t kEmptyBytes<ql::ObjArrow> = 20;
template <>
constexpr std::size_t kEmptyBytes<ql::ObjTrafficLight> = 36;
template <>
constexpr std::size_t kEmptyBytes<ql::ObjText> = 20;
template <>
constexpr std::size_t kEmptyBytes<ql::ObjSymbol> = 20;
template <>
constexpr std::size_t kEmptyBytes<ql::ObjTrafficSign> = 32;
template <>
constexpr std::size_t kEmptyBytes<ql::ObjPole> = 20;
template <>
constexpr std::size_t kEmptyBytes<ql::ObjStopLine> = 20;
template <>
constexpr std::size_t kEmptyBytes<ql::ObjCrossing> = 12;
template <>
constexpr std::size_t kEmptyBytes<ql::ObjOverHead> = 28;
template <>
constexpr std::size_t kEmptyBytes<ql::ObjNoParking> = 16;
template <>
constexpr std::size_t kEmptyBytes<ql::ObjSpeedBump> = 16;
template <>
constexpr std::size_t kEmptyBytes<ql::ObjParking> = 16;
template <>
constexpr std::size_t kEmptyBytes<ql::ObjFillArea> = 16;
template <>
constexpr std::size_t kEmptyBytes<ql::ObjHydrant> = 16;
template <>
constexpr std::size_t kEmptyBytes<ql::ObjBusStop> = 16;
template <>
constexpr std::size_t kEmptyBytes<ql::ObjPoint> = 36;
template <>
constexpr std::size_t kEmptyBytes<ql::HdLaneAdas> = 52;
template <>
constexpr std::size_t kEmptyBytes<ql::HdLaneMark> = 28;
template <>
constexpr std::size_t kEmptyBytes<ql::HdEdge> = 56;
template <>
constexpr std::size_t kEmptyBytes<ql::HdLane> = 108;
template <>
constexpr std::size_t kEmptyBytes<ql::RoadEdge> = 44;
template <>
constexpr std::size_t kEmptyBytes<ql::RoadCrossArea> = 12;
template <>
constexpr std::size_t kEmptyBytes<ql::HdLink> = 160;
template <>
constexpr std::size_t kEmptyBytes<ql::HdSerializeData> = 68;

template <class T>
class EveryRecord : public ::testing::Test {};

using RecordTypes =
    ::testing::Types<ql::HdLinkId, ql::HdLaneId, ql::HdLaneNode, ql::HdEdgeNode, ql::RoadEdgeNode,
                     ql::RoadJunction, ql::ObjArrow, ql::ObjTrafficLight, ql::ObjText, ql::ObjSymbol,
                     ql::ObjTrafficSign, ql::ObjPole, ql::ObjStopLine, ql::ObjCrossing, ql::ObjOverHead,
                     ql::ObjNoParking, ql::ObjSpeedBump, ql::ObjParking, ql::ObjFillArea, ql::ObjHydrant,
                     ql::ObjBusStop, ql::ObjPoint, ql::HdLaneAdas, ql::HdLaneMark, ql::HdEdge, ql::HdLane,
                     ql::RoadEdge, ql::RoadCrossArea, ql::HdLink, ql::HdSerializeData>;
TYPED_TEST_SUITE(EveryRecord, RecordTypes);

// All-zero bytes of the documented size are exactly the default record, both ways.
TYPED_TEST(EveryRecord, DefaultIsTheDocumentedRunOfZeroBytes) {
  const std::string zeros(kEmptyBytes<TypeParam>, '\0');
  EXPECT_EQ(qlw::EncodeBinary(TypeParam{}), zeros);
  std::size_t consumed = 0;
  const TypeParam decoded = DecodeBinary<TypeParam>(zeros + "tail", &consumed);
  EXPECT_EQ(consumed, zeros.size());
  ExpectSame(decoded, TypeParam{}, "default");
}

TYPED_TEST(EveryRecord, BinaryRoundTripKeepsEveryField) {
  const TypeParam original = Filled<TypeParam>(1);
  const std::string bytes = qlw::EncodeBinary(original);
  ql::InArchive ar(bytes);
  TypeParam decoded = Filled<TypeParam>(500);  // replaced as a whole, lists included
  ar >> decoded;
  EXPECT_EQ(ar.Offset(), bytes.size());
  ExpectSame(decoded, original, "binary");
}

TYPED_TEST(EveryRecord, JsonRoundTripKeepsEveryField) {
  const TypeParam original = Filled<TypeParam>(1);
  ExpectSame(DecodeJson<TypeParam>(qlw::EncodeJson(original)), original, "json");
}

TYPED_TEST(EveryRecord, EmptyJsonObjectGivesTheDefaults) {
  ExpectSame(DecodeJson<TypeParam>("{}"), TypeParam{}, "json");
}

// ---- byte layouts written by hand --------------------------------------------------------------------

TEST(HdLayout, TrafficSignStoresTypeBeforeShape) {
  const std::string bytes = Bytes()
                                .I64(0x0102030405060708)
                                .I32(1)  // nType
                                .I32(2)  // nShape
                                .I32(3)
                                .I32(4)
                                .Str("ab")
                                .I32(1)  // one vertex
                                .I32(2)
                                .F64(116.5)
                                .F64(39.25)
                                .s;
  const auto sign = DecodeBinary<ql::ObjTrafficSign>(bytes);
  EXPECT_EQ(sign.lId, 0x0102030405060708);
  EXPECT_EQ(sign.nType, 1);
  EXPECT_EQ(sign.nShape, 2);
  EXPECT_EQ(sign.nType1, 3);
  EXPECT_EQ(sign.nType2, 4);
  EXPECT_EQ(sign.strText, "ab");
  ASSERT_EQ(sign.vctvdGeoArea.size(), 1u);
  EXPECT_EQ(sign.vctvdGeoArea[0], (std::vector<double>{116.5, 39.25}));
  EXPECT_EQ(qlw::EncodeBinary(sign), bytes);
}

TEST(HdLayout, TileContentStoresRectangleThird) {
  const std::string bytes = Bytes()
                                .I32(1)  // m_keys
                                .I64(7)
                                .I32(1)
                                .I32(5819)
                                .I32(1995)
                                .I32(0)       // m_values
                                .F64(116.38)  // r.lb
                                .F64(39.9)
                                .F64(0.0)
                                .F64(116.40)  // r.rt
                                .F64(39.92)
                                .F64(0.0)
                                .I32(1)  // states
                                .U64(0x12)
                                .I32(1)  // nodes: one bucket of one id without tiles
                                .I32(1)
                                .I64(7)
                                .I32(0)
                                .I32(1)  // ps: one bucket of one point
                                .I32(1)
                                .F64(116.385)
                                .F64(39.905)
                                .F64(-1.5)
                                .s;
  const auto tile = DecodeBinary<ql::HdSerializeData>(bytes);
  ASSERT_EQ(tile.m_keys.size(), 1u);
  EXPECT_EQ(tile.m_keys[0].lValue, 7);
  ASSERT_EQ(tile.m_keys[0].vcttiTileIds.size(), 1u);
  EXPECT_EQ(tile.m_keys[0].vcttiTileIds[0].nLonId, 5819);
  EXPECT_EQ(tile.m_keys[0].vcttiTileIds[0].nLatId, 1995);
  EXPECT_TRUE(tile.m_values.empty());
  EXPECT_EQ(tile.r.lb, ql::Point(116.38, 39.9, 0.0));
  EXPECT_EQ(tile.r.rt, ql::Point(116.40, 39.92, 0.0));
  EXPECT_EQ(tile.states, std::vector<unsigned long>{0x12});
  ASSERT_EQ(tile.nodes.size(), 1u);
  ASSERT_EQ(tile.nodes[0].size(), 1u);
  EXPECT_EQ(tile.nodes[0][0].lValue, 7);
  ASSERT_EQ(tile.ps.size(), 1u);
  ASSERT_EQ(tile.ps[0].size(), 1u);
  EXPECT_EQ(tile.ps[0][0], ql::Point(116.385, 39.905, -1.5));
  EXPECT_EQ(qlw::EncodeBinary(tile), bytes);
}

TEST(HdLayout, AdasSampleIsAnIntThenSixDoubles) {
  const std::string bytes = Bytes().I32(-3).F64(116.1).F64(39.2).F64(0.001).F64(-0.5).F64(0.25).F64(271.5).s;
  ASSERT_EQ(bytes.size(), 52u);
  const auto adas = DecodeBinary<ql::HdLaneAdas>(bytes);
  EXPECT_EQ(adas.nSeqNum, -3);
  EXPECT_EQ(adas.dLon, 116.1);
  EXPECT_EQ(adas.dLat, 39.2);
  EXPECT_EQ(adas.dOutCurvature, 0.001);
  EXPECT_EQ(adas.dOutRoll, -0.5);
  EXPECT_EQ(adas.dOutPitch, 0.25);
  EXPECT_EQ(adas.dOutAzimuth, 271.5);
  EXPECT_EQ(qlw::EncodeBinary(adas), bytes);
}

// height is 4 bytes in a pole and 8 in an overhead object.
TEST(HdLayout, HeightWidthDiffersBetweenPoleAndOverhead) {
  const std::string pole = Bytes().I64(1).I32(12).I32(3).I32(0).s;
  const auto p = DecodeBinary<ql::ObjPole>(pole);
  EXPECT_EQ(p.height, 12);
  EXPECT_EQ(p.poleType, 3);
  EXPECT_EQ(qlw::EncodeBinary(p), pole);

  const std::string overhead = Bytes().I64(1).I32(2).F64(5.5).I32(1).I64(-9).I32(0).s;
  const auto o = DecodeBinary<ql::ObjOverHead>(overhead);
  EXPECT_EQ(o.OH_type, 2);
  EXPECT_EQ(o.height, 5.5);
  ASSERT_EQ(o.vctlLaneId.size(), 1u);
  EXPECT_EQ(static_cast<long>(o.vctlLaneId[0]), -9);
  EXPECT_EQ(qlw::EncodeBinary(o), overhead);
}

TEST(HdLayout, EdgeNestsNodesThenNumbersThenLines) {
  const std::string bytes = Bytes()
                                .I64(40)
                                .I64(41)
                                .I32(2)
                                .F64(1.0)
                                .F64(2.0)  // enStartNode
                                .I64(42)
                                .I32(3)
                                .F64(3.0)
                                .F64(4.0)
                                .F64(5.0)  // enEndNode
                                .I32(6)    // nNum
                                .I32(7)    // nType
                                .I32(3)    // nCross
                                .I32(9)    // nMarkCount
                                .I32(0)    // vctvdGeoLink
                                .I32(1)    // vcthmMark
                                .I64(43)
                                .I32(10)
                                .I32(11)
                                .I32(12)
                                .I32(13)
                                .I32(0)
                                .s;
  const auto edge = DecodeBinary<ql::HdEdge>(bytes);
  EXPECT_EQ(edge.lId, 40);
  EXPECT_EQ(edge.enStartNode.lId, 41);
  EXPECT_EQ(edge.enStartNode.vctdGeoNode, (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(edge.enEndNode.lId, 42);
  EXPECT_EQ(edge.enEndNode.vctdGeoNode, (std::vector<double>{3.0, 4.0, 5.0}));
  EXPECT_EQ(edge.nNum, 6);
  EXPECT_EQ(edge.nType, 7);
  EXPECT_EQ(edge.nCross, ql::sc_nCrossDirec_LeftAble);
  EXPECT_EQ(edge.nMarkCount, 9);
  ASSERT_EQ(edge.vcthmMark.size(), 1u);
  EXPECT_EQ(edge.vcthmMark[0].lId, 43);
  EXPECT_EQ(edge.vcthmMark[0].nNum, 10);
  EXPECT_EQ(edge.vcthmMark[0].nType, 11);
  EXPECT_EQ(edge.vcthmMark[0].nColor, 12);
  EXPECT_EQ(edge.vcthmMark[0].nWidth, 13);
  EXPECT_EQ(qlw::EncodeBinary(edge), bytes);
}

// JSON keys are the member names, case-sensitive, in any order.
TEST(HdJsonKeys, NamesDecideWhichMemberIsSet) {
  EXPECT_EQ(DecodeJson<ql::ObjSymbol>(R"({"color": 3})").color, 3);
  EXPECT_EQ(DecodeJson<ql::ObjSymbol>(R"({"nColor": 3})").color, 0);
  EXPECT_EQ(DecodeJson<ql::HdLane>(R"({"nseqnum": 4})").nSeqNum, 0);
  EXPECT_EQ(DecodeJson<ql::HdLink>(R"({"nLaneNum": 4, "OH_type": 1})").nLaneNum, 4);
  EXPECT_EQ(DecodeJson<ql::ObjOverHead>(R"({"OH_type": 2, "height": 4.5})").height, 4.5);

  const auto ordered = DecodeJson<ql::HdSerializeData>(
      R"({"m_keys":[{"lValue":3}],"r":{"lb":{"dLon":1,"dLat":2},"rt":{"dLon":3,"dLat":4}},)"
      R"("states":[1],"nodes":[[{"lValue":3}]],"ps":[[{"dLon":1.5,"dLat":2.5}]]})");
  const auto shuffled = DecodeJson<ql::HdSerializeData>(
      R"({"ps":[[{"dLat":2.5,"dLon":1.5}]],"nodes":[[{"lValue":3}]],"states":[1],)"
      R"("r":{"rt":{"dLat":4,"dLon":3},"lb":{"dLat":2,"dLon":1}},"m_keys":[{"lValue":3}]})");
  ExpectSame(shuffled, ordered, "tile");
  EXPECT_EQ(ordered.r.rt, ql::Point(3, 4, 0));
}

// ---- identifiers --------------------------------------------------------------------------------------------

ql::HdLinkId LinkId(long value, std::vector<ql::TileId> tiles = {}) {
  ql::HdLinkId id;
  id.lValue = value;
  id.vcttiTileIds = std::move(tiles);
  return id;
}

TEST(HdLinkIdentity, ComparesByNumberOnly) {
  struct Case {
    const char* name;
    ql::HdLinkId a, b;
    bool less, equal;
  };
  const Case cases[] = {
      {"SameNumberOtherTiles", LinkId(7, {{1, 2}}), LinkId(7, {{3, 4}, {5, 6}}), false, true},
      {"SignedOrder", LinkId(-1), LinkId(0), true, false},
      {"LargeNumbers", LinkId(0x7fffffff00000000L), LinkId(0x7fffffff00000001L), true, false},
      {"MinusBeforePlus", LinkId(std::numeric_limits<long>::min()), LinkId(std::numeric_limits<long>::max()), true,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.a < c.b, c.less);
    EXPECT_FALSE(c.b < c.a);
    EXPECT_EQ(c.a == c.b, c.equal);
  }
}

TEST(HdLinkIdentity, SetKeepsTheFirstOfEqualIds) {
  std::set<ql::HdLinkId> ids;
  ids.insert(LinkId(7, {{1, 2}}));
  ids.insert(LinkId(7, {{3, 4}, {5, 6}}));
  ASSERT_EQ(ids.size(), 1u);
  ASSERT_EQ(ids.begin()->vcttiTileIds.size(), 1u);
  EXPECT_EQ(ids.begin()->vcttiTileIds[0].nLonId, 1);
}

TEST(HdLinkIdentity, TileIdsAreACopy) {
  EXPECT_TRUE(ql::HdLinkId().GetTileIds().empty());
  const ql::HdLinkId id = LinkId(3, {{9, 8}, {9, 8}});
  std::vector<ql::TileId> tiles = id.GetTileIds();
  ASSERT_EQ(tiles.size(), 2u);  // stored as given, duplicates included
  tiles[0].nLonId = 1;
  EXPECT_EQ(id.vcttiTileIds[0].nLonId, 9);
}

TEST(HdLaneIdentity, OrdersThroughItsSignedValue) {
  ql::HdLaneId minus, plus;
  minus.lValue = -5;
  plus.lValue = 3;
  EXPECT_EQ(static_cast<long>(minus), -5);
  std::map<ql::HdLaneId, int> byLane{{plus, 1}, {minus, 2}};
  EXPECT_EQ(static_cast<long>(byLane.begin()->first), -5);
}

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

ql::HdLink MakeLink(long id, std::vector<std::vector<double>> line) {
  ql::HdLink link;
  link.liId.lValue = id;
  link.vctvdGeoLink = std::move(line);
  return link;
}

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
  const auto tiles = qlw::BuildTiles({MakeLink(11, Line({{116.37, 39.9031}, {116.38, 39.9031, 12.5}}))}, 3);
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
    links.push_back(MakeLink(100 + i, line));
  }
  links.push_back(MakeLink(200, Line({{116.36, 39.90}, {116.37, 39.90}, {116.38, 39.90}, {116.38, 39.92}})));
  links.push_back(MakeLink(201, Line({{-0.03, -0.01}, {-0.01, 0.01}, {0.0, 0.0}, {0.019999, 0.03}})));
  links.push_back(MakeLink(202, Line({{-122.4194, 37.7749}, {-122.41, 37.78}})));
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
    links.push_back(MakeLink(300 + i, line));
  }
  // Vertices on cell and tile edges and corners at every depth used below.
  links.push_back(MakeLink(400, Line({{116.38, 39.90}, {116.39, 39.91}, {116.385, 39.905}, {116.3825, 39.9}})));
  links.push_back(MakeLink(401, Line({{-0.02, -0.02}, {0.0, 0.0}, {0.01, -0.01}, {-0.019999999, 0.019999999}})));
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
      {MakeLink(1, Line({{116.381, 39.901}, {116.382, 39.902}})), MakeLink(2, Line({{116.383, 39.903}}))}, 0);
  ASSERT_EQ(tiles.size(), 1u);
  const auto& tile = tiles.begin()->second;
  EXPECT_EQ(tile.states, std::vector<unsigned long>{0});
  ASSERT_EQ(tile.nodes.size(), 1u);
  EXPECT_EQ(tile.nodes[0].size(), 3u);
}

// Vertices of lanes, edges and objects place a link too, not only its own line.
TEST(TileBuilder, NestedGeometryPlacesTheLink) {
  ql::HdLink link = MakeLink(5, Line({{116.381, 39.901}}));
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
  ql::HdLink a = MakeLink(1, Line({{116.381, 39.901}}));
  ql::HdLink b = MakeLink(2, Line({{116.401, 39.901}, {116.421, 39.901}}));
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
  const ql::HdLink good = MakeLink(1, Line({{116.381, 39.901}}));
  EXPECT_THROW(qlw::BuildTiles({good}, -1), std::invalid_argument);
  EXPECT_THROW(qlw::BuildTiles({good}, 17), std::invalid_argument);
  EXPECT_THROW(qlw::BuildTiles({good, good}, 3), std::invalid_argument);
  EXPECT_THROW(qlw::BuildTiles({MakeLink(2, {})}, 3), std::invalid_argument);
  EXPECT_THROW(qlw::BuildTiles({MakeLink(3, Line({{std::nan(""), 39.9}}))}, 3), std::invalid_argument);
  EXPECT_NO_THROW(qlw::BuildTiles({good}, 16));
}

// ---- whole projects -----------------------------------------------------------------------------------------

std::vector<ql::HdLink> SampleLinks() {
  ql::HdLink a = Filled<ql::HdLink>(3);  // every field set, geometry near 116 / -116 degrees
  a.liId = LinkId(10);
  ql::HdLink b = MakeLink(11, Line({{116.381, 39.901, 1.0}, {116.405, 39.9111}}));
  b.strName = "Ring \"2\"";
  b.vctliPreLinkId = {LinkId(10)};
  return {a, b};
}

TEST(ProjectWriter, AllEncodingsHoldTheSameTiles) {
  ScratchDir dir("encodings");
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
  ScratchDir dir("config");
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
  ScratchDir dir("rewrite");
  qlw::WriteProject(dir.str(), {MakeLink(1, Line({{116.381, 39.901}})), MakeLink(2, Line({{116.421, 39.901}}))},
                    2);
  qlw::WriteProject(dir.str(), {MakeLink(1, Line({{116.381, 39.901}}))}, 2);
  for (const char* sub : {"json", "binary", "encrypted"}) {
    SCOPED_TRACE(sub);
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path() / "hd" / sub))
      names.insert(e.path().filename().string());
    EXPECT_EQ(names, std::set<std::string>{"5819,1995"});
  }
}

// ---- the ql_tilewriter program ----------------------------------------------------------------------------

struct RunResult {
  int status;
  std::string err;
};

RunResult RunTileWriter(const ScratchDir& dir, const std::string& args) {
  const fs::path errFile = dir.path() / "stderr.txt";
  const std::string cmd = std::string(QL_TILEWRITER) + " " + args + " >/dev/null 2>" + errFile.string();
  const int raw = std::system(cmd.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(errFile)};
}

TEST(TileWriterProgram, WritesTheProjectLayout) {
  ScratchDir dir("program");
  WriteText(dir.path() / "links.json",
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
  ScratchDir dir("bad");
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
    if (c.content) WriteText(links, c.content);
    const RunResult run = RunTileWriter(dir, c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.err.find("ql_tilewriter: "), std::string::npos) << run.err;
  }
}

}  // namespace
