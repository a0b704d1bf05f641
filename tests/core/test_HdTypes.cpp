// HD records through the library's readers: sizes, layouts, keys and round trips of every record.
// The tile writer that produces test maps has its tests in test_TileWriter.cpp.

#include <gtest/gtest.h>

#include <cstddef>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Archive.h"
#include "CoordSys.h"
#include "HdTypes.h"
#include "MapBuilder.h"
#include "TestBytes.h"
#include "TestRecords.h"
#include "TileWriter.h"

namespace {

using qltest::Bytes;
using qltest::DecodeBinary;
using qltest::DecodeJson;
using qltest::ExpectSame;
using qltest::Filled;
using qltest::LinkId;

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

}  // namespace
