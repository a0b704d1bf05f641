// The binary tile encoding: byte layouts checked by hand, record order from field lists, and
// every way a damaged file is refused (with the offset and member it names).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Archive.h"
#include "CoordSys.h"
#include "HdTypes.h"
#include "TestBytes.h"
#include "TileWriter.h"

namespace {

using qltest::Bytes;

// "01 00 ff" -> the three bytes.
std::string FromHex(const char* hex) {
  std::string out;
  unsigned value = 0;
  int digits = 0;
  for (const char* p = hex; *p; ++p) {
    const char c = *p;
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (d < 0) continue;
    value = value * 16 + static_cast<unsigned>(d);
    if (++digits == 2) {
      out.push_back(static_cast<char>(value));
      value = 0;
      digits = 0;
    }
  }
  return out;
}

// ---- tile ids ----------------------------------------------------------------------------------

struct TileIdCase {
  const char* name;
  std::string bytes;
  int lon, lat;
};
class TileIdDecode : public ::testing::TestWithParam<TileIdCase> {};

TEST_P(TileIdDecode, ReadsColumnThenRow) {
  ql::InArchive ar(GetParam().bytes);
  ql::TileId id;
  ar >> id;
  EXPECT_EQ(id.nLonId, GetParam().lon);
  EXPECT_EQ(id.nLatId, GetParam().lat);
  EXPECT_EQ(ar.Offset(), 8u);
}

INSTANTIATE_TEST_SUITE_P(
    Archive, TileIdDecode,
    ::testing::Values(TileIdCase{"HandLaidOneAndMinusOne", FromHex("01 00 00 00 FF FF FF FF"), 1, -1},
                      TileIdCase{"Builder", Bytes().I32(5815).I32(1995).s, 5815, 1995},
                      TileIdCase{"Extremes", FromHex("00 00 00 80 FF FF FF 7F"), std::numeric_limits<int>::min(),
                                 std::numeric_limits<int>::max()},
                      TileIdCase{"TrailingBytesIgnored", Bytes().I32(2).I32(3).I32(9).s, 2, 3}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- scalars -----------------------------------------------------------------------------------

TEST(ArchiveScalars, HandLaidBytes) {
  const std::string bytes = FromHex(
      "FE FF FF FF"              // int -2
      "FE FF FF FF FF FF FF FF"  // long -2
      "08 07 06 05 04 03 02 01"  // unsigned long 0x0102030405060708
      "33 33 33 33 33 13 5D 40"  // double 116.3
      "00 00 00 00 00 00 E0 BF"  // double -0.5
      "02 00 01");               // bools: 2 is true
  ql::InArchive ar(bytes);
  int i = 0;
  long l = 0;
  unsigned long u = 0;
  double d1 = 0, d2 = 0;
  bool b1 = false, b2 = true, b3 = false;
  ar >> i >> l >> u >> d1 >> d2 >> b1 >> b2 >> b3;
  EXPECT_EQ(i, -2);
  EXPECT_EQ(l, -2L);
  EXPECT_EQ(u, 0x0102030405060708UL);
  EXPECT_EQ(d1, 116.3);
  EXPECT_EQ(d2, -0.5);
  EXPECT_TRUE(b1);
  EXPECT_FALSE(b2);
  EXPECT_TRUE(b3);
  EXPECT_EQ(ar.Offset(), bytes.size());
  EXPECT_EQ(ar.Remaining(), 0u);
}

TEST(ArchiveScalars, NonFiniteDoublesPassThrough) {
  const std::string bytes = Bytes()
                                .F64(std::numeric_limits<double>::infinity())
                                .F64(-std::numeric_limits<double>::infinity())
                                .F64(std::numeric_limits<double>::quiet_NaN())
                                .s;
  ql::InArchive ar(bytes);
  double a = 0, b = 0, c = 0;
  ar >> a >> b >> c;
  EXPECT_TRUE(std::isinf(a) && a > 0);
  EXPECT_TRUE(std::isinf(b) && b < 0);
  EXPECT_TRUE(std::isnan(c));
}

TEST(ArchiveByteOrder, EndianReversesInPlace) {
  uint32_t v = 0x01020304u;
  ql::Endian(v);
  EXPECT_EQ(v, 0x04030201u);
  double d = 1.0;  // 00 .. F0 3F
  ql::Endian(d);
  uint64_t bits;
  std::memcpy(&bits, &d, 8);
  EXPECT_EQ(bits, 0x000000000000F03FULL);
  bool flag = true;
  ql::Endian(flag);
  EXPECT_TRUE(flag);
  // This machine is little-endian, so file order is machine order.
  ASSERT_TRUE(ql::IsLittleEndian());
  int x = 0x11223344;
  ql::DeserializeEndian(x);
  EXPECT_EQ(x, 0x11223344);
}

// ---- geometry records -------------------------------------------------------------------------

TEST(ArchiveRecords, PointIsThreeDoublesLonLatAlt) {
  const std::string bytes = FromHex(
      "33 33 33 33 33 13 5D 40"
      "33 33 33 33 33 F3 43 40"
      "00 00 00 00 00 00 E0 BF");
  ASSERT_EQ(bytes.size(), 24u);
  ql::InArchive ar(bytes);
  ql::Point p(9, 9, 9);
  ar >> p;
  EXPECT_EQ(p.dLon, 116.3);
  EXPECT_EQ(p.dLat, 39.9);
  EXPECT_EQ(p.dAlt, -0.5);
  EXPECT_EQ(ar.Offset(), 24u);
}

TEST(ArchiveRecords, RectIsLeftBottomThenRightTop) {
  const std::string bytes = Bytes().Pt(1, 2, 3).Pt(4, 5, 6).I32(77).s;
  ql::InArchive ar(bytes);
  ql::Rect2D r;
  ar >> r;
  EXPECT_EQ(ar.Offset(), 48u);
  EXPECT_EQ(r.lb.dLon, 1);
  EXPECT_EQ(r.lb.dLat, 2);
  EXPECT_EQ(r.lb.dAlt, 3);
  EXPECT_EQ(r.rt.dLon, 4);
  EXPECT_EQ(r.rt.dLat, 5);
  EXPECT_EQ(r.rt.dAlt, 6);
}

// ---- strings and vectors ----------------------------------------------------------------------

TEST(ArchiveStrings, LengthThenBytesNulsKept) {
  const std::string bytes = Bytes().Str(std::string("a\0b", 3)).Str("BCD").s;
  ql::InArchive ar(bytes);
  std::string a, b;
  ar >> a >> b;
  EXPECT_EQ(a, std::string("a\0b", 3));
  EXPECT_EQ(b, "BCD");
  EXPECT_EQ(ar.Offset(), 4u + 3 + 4 + 3);
}

TEST(ArchiveStrings, ZeroLengthConsumesFourBytesAndKeepsTheTarget) {
  const std::string bytes = Bytes().I32(0).s;
  ql::InArchive ar(bytes);
  std::string s = "kept";
  ar >> s;
  EXPECT_EQ(s, "kept");
  EXPECT_EQ(ar.Offset(), 4u);
}

TEST(ArchiveStrings, RecordStringsStartFromDefaults) {
  // A record read starts from the record's defaults, so an empty stored string clears the
  // target's old text even though a bare string read would keep it.
  const std::string bytes = Bytes().I64(7).I32(3).I32(0).I32(0).s;  // ObjText: lId, nColor, strText, area
  ql::ObjText text;
  text.strText = "old";
  text.vctvdGeoArea = {{1, 2}};
  ql::InArchive ar(bytes);
  ar >> text;
  EXPECT_EQ(text.lId, 7);
  EXPECT_EQ(text.nColor, 3);
  EXPECT_EQ(text.strText, "");
  EXPECT_TRUE(text.vctvdGeoArea.empty());
}

TEST(ArchiveVectors, CountThenElementsReplacingOldContent) {
  const std::string bytes = Bytes()
                                .I32(2)
                                .F64(1.5)
                                .F64(-2.5)  // vector<double>
                                .I32(0)     // empty vector<double>
                                .I32(2)
                                .I32(1)
                                .F64(7)
                                .I32(0)  // vector<vector<double>>: [7], []
                                .I32(1)
                                .Pt(116.3, 39.9, 0)  // vector<Point>
                                .I32(2)
                                .U64(0x12)
                                .U64(~0ULL)  // vector<unsigned long>
                                .I32(1)
                                .I32(2)
                                .Pt(1, 2, 3)
                                .Pt(4, 5, 6)  // vector<vector<Point>>
                                .s;
  ql::InArchive ar(bytes);
  std::vector<double> a = {9, 9, 9}, b = {9};
  std::vector<std::vector<double>> c = {{9}};
  std::vector<ql::Point> d(5);
  std::vector<unsigned long> e;
  std::vector<std::vector<ql::Point>> f;
  ar >> a >> b >> c >> d >> e >> f;
  EXPECT_EQ(a, (std::vector<double>{1.5, -2.5}));
  EXPECT_TRUE(b.empty());
  EXPECT_EQ(c, (std::vector<std::vector<double>>{{7}, {}}));
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].dLon, 116.3);
  EXPECT_EQ(d[0].dLat, 39.9);
  EXPECT_EQ(e, (std::vector<unsigned long>{0x12, ~0UL}));
  ASSERT_EQ(f.size(), 1u);
  ASSERT_EQ(f[0].size(), 2u);
  EXPECT_EQ(f[0][1].dAlt, 6);
  EXPECT_EQ(ar.Remaining(), 0u);
}

// ---- tile content -----------------------------------------------------------------------------

TEST(ArchiveTile, SmallestTileIs68BytesWithTheRectangleThird) {
  // m_keys and m_values come before r although r is declared first.
  const std::string bytes = Bytes().I32(0).I32(0).Pt(116.3, 39.9, 0).Pt(116.32, 39.92, 0).I32(0).I32(0).I32(0).s;
  ASSERT_EQ(bytes.size(), 68u);
  ql::InArchive ar(bytes);
  ql::HdSerializeData tile;
  ar >> tile;
  EXPECT_EQ(ar.Offset(), 68u);
  EXPECT_TRUE(tile.m_keys.empty());
  EXPECT_TRUE(tile.m_values.empty());
  EXPECT_EQ(tile.r.lb.dLon, 116.3);
  EXPECT_EQ(tile.r.lb.dLat, 39.9);
  EXPECT_EQ(tile.r.rt.dLon, 116.32);
  EXPECT_EQ(tile.r.rt.dLat, 39.92);
  EXPECT_TRUE(tile.states.empty());
  EXPECT_TRUE(tile.nodes.empty());
  EXPECT_TRUE(tile.ps.empty());
}

TEST(ArchiveTile, HandLaidKeysAndBucket) {
  const std::string bytes = Bytes()
                                .I32(1)
                                .I64(-42)
                                .I32(2)
                                .I32(5815)
                                .I32(1995)
                                .I32(5816)
                                .I32(1995)  // m_keys
                                .I32(0)     // m_values
                                .Pt(0, 0, 0)
                                .Pt(1, 1, 0)  // r
                                .I32(1)
                                .U64(0x12)  // states
                                .I32(1)
                                .I32(1)
                                .I64(-42)
                                .I32(0)  // nodes
                                .I32(1)
                                .I32(1)
                                .Pt(0.1, 0.2, 0.3)  // ps
                                .Raw("trailing bytes are never read")
                                .s;
  ql::InArchive ar(bytes);
  ql::HdSerializeData tile;
  ar >> tile;
  ASSERT_EQ(tile.m_keys.size(), 1u);
  EXPECT_EQ(tile.m_keys[0].lValue, -42);
  ASSERT_EQ(tile.m_keys[0].vcttiTileIds.size(), 2u);
  EXPECT_EQ(tile.m_keys[0].vcttiTileIds[1].nLonId, 5816);
  EXPECT_EQ(tile.m_keys[0].vcttiTileIds[1].nLatId, 1995);
  EXPECT_EQ(tile.r.rt.dLon, 1);
  EXPECT_EQ(tile.states, (std::vector<unsigned long>{0x12}));
  ASSERT_EQ(tile.nodes.size(), 1u);
  ASSERT_EQ(tile.nodes[0].size(), 1u);
  EXPECT_EQ(tile.nodes[0][0].lValue, -42);
  EXPECT_TRUE(tile.nodes[0][0].vcttiTileIds.empty());
  ASSERT_EQ(tile.ps.size(), 1u);
  ASSERT_EQ(tile.ps[0].size(), 1u);
  EXPECT_EQ(tile.ps[0][0].dAlt, 0.3);
}

TEST(ArchiveTile, HandLaidLaneAndTrafficSignFollowTheirLists) {
  // ObjTrafficSign declares its members in another order than its list; the file follows the list.
  const std::string sign =
      Bytes().I64(5).I32(1).I32(2).I32(3).I32(4).Str("60").I32(1).I32(2).F64(116.3).F64(39.9).s;
  ql::InArchive signAr(sign);
  ql::ObjTrafficSign ts;
  signAr >> ts;
  EXPECT_EQ(ts.lId, 5);
  EXPECT_EQ(ts.nType, 1);
  EXPECT_EQ(ts.nShape, 2);
  EXPECT_EQ(ts.nType1, 3);
  EXPECT_EQ(ts.nType2, 4);
  EXPECT_EQ(ts.strText, "60");
  EXPECT_EQ(ts.vctvdGeoArea, (std::vector<std::vector<double>>{{116.3, 39.9}}));
  EXPECT_EQ(signAr.Remaining(), 0u);

  const std::string adas = Bytes().I32(-1).F64(1).F64(2).F64(3).F64(4).F64(5).F64(6).s;
  ql::InArchive adasAr(adas);
  ql::HdLaneAdas la;
  adasAr >> la;
  EXPECT_EQ(la.nSeqNum, -1);
  EXPECT_EQ(la.dLon, 1);
  EXPECT_EQ(la.dLat, 2);
  EXPECT_EQ(la.dOutCurvature, 3);
  EXPECT_EQ(la.dOutRoll, 4);
  EXPECT_EQ(la.dOutPitch, 5);
  EXPECT_EQ(la.dOutAzimuth, 6);
}

TEST(ArchiveTile, DecodesWhatTheTileWriterEncodes) {
  ql::HdLink link;
  link.liId.lValue = 9001;
  link.liId.vcttiTileIds = {ql::TileId(5815, 1995)};
  link.jcStartJunc.lId = 3;
  link.jcStartJunc.vctdGeoNode = {116.3, 39.9, 12.5};
  link.dLength = 123.25;
  link.nLaneNum = 2;
  link.strName = std::string("Ring\0Road", 9);
  link.vctvdGeoLink = {{116.3, 39.9}, {116.301, 39.901, 3}};
  ql::HdLane lane;
  lane.liId.lValue = 77;
  lane.nSeqNum = -1;
  lane.strArrows = "BC";
  lane.vctliNxtLaneId = {ql::HdLaneId{78}};
  ql::ObjArrow arrow;
  arrow.strType = "C";
  lane.vctarArrow.push_back(arrow);
  link.vcthlLane = {lane, lane};
  ql::ObjOverHead oh;
  oh.height = 4.5;
  link.vctOverHead = {oh};
  link.vctliNxtLinkId = {link.liId};

  ql::HdSerializeData tile;
  tile.m_keys = {link.liId};
  tile.m_values = {link};
  tile.r = ql::Rect2D(ql::Point(116.3, 39.9, 0), ql::Point(116.32, 39.92, 0));
  tile.states = {1, 2};
  tile.nodes = {{link.liId}, {}};
  tile.ps = {{ql::Point(116.31, 39.91, 0)}, {}};

  const std::string bytes = qlw::EncodeBinary(tile);
  ql::InArchive ar(bytes);
  ql::HdSerializeData back;
  ar >> back;
  EXPECT_EQ(ar.Offset(), bytes.size());
  EXPECT_EQ(qlw::EncodeBinary(back), bytes);
  ASSERT_EQ(back.m_values.size(), 1u);
  const ql::HdLink& l = back.m_values[0];
  EXPECT_EQ(l.strName, link.strName);
  EXPECT_EQ(l.vctvdGeoLink, link.vctvdGeoLink);
  ASSERT_EQ(l.vcthlLane.size(), 2u);
  EXPECT_EQ(l.vcthlLane[1].strArrows, "BC");
  EXPECT_EQ(l.vcthlLane[1].vctliNxtLaneId.at(0).lValue, 78);
  EXPECT_EQ(l.vctOverHead.at(0).height, 4.5);
}

// ---- damaged data ----------------------------------------------------------------------------

enum class Target { Int, String, Point, VectorDouble, VectorPoint, VectorTileId, Strings, Tile };

struct ErrorCase {
  const char* name;
  Target target;
  std::string bytes;
  const char* message;
  size_t offset;
};

void Decode(Target t, const std::string& bytes) {
  ql::InArchive ar(bytes);
  switch (t) {
    case Target::Int: {
      int v;
      ar >> v;
      break;
    }
    case Target::String: {
      std::string v;
      ar >> v;
      break;
    }
    case Target::Point: {
      ql::Point v;
      ar >> v;
      break;
    }
    case Target::VectorDouble: {
      std::vector<double> v;
      ar >> v;
      break;
    }
    case Target::VectorPoint: {
      std::vector<ql::Point> v;
      ar >> v;
      break;
    }
    case Target::VectorTileId: {
      std::vector<ql::TileId> v;
      ar >> v;
      break;
    }
    case Target::Strings: {
      std::vector<std::string> v;
      ar >> v;
      break;
    }
    case Target::Tile: {
      ql::HdSerializeData v;
      ar >> v;
      break;
    }
  }
}

// A tile whose first key is fine and whose second key's tile list is damaged.
std::string TileWithSecondKey(const std::string& secondKeyTail) {
  return Bytes().I32(2).I64(1).I32(0).I64(2).Raw(secondKeyTail).s;
}

class ArchiveErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ArchiveErrors, RaiseWithOffsetAndMember) {
  const ErrorCase& c = GetParam();
  try {
    Decode(c.target, c.bytes);
    FAIL() << "no exception";
  } catch (const ql::ArchiveError& e) {
    EXPECT_STREQ(e.what(), c.message);
    EXPECT_EQ(e.Offset(), c.offset);
    const std::length_error& base = e;  // what callers that know no archive types catch
    EXPECT_STREQ(base.what(), c.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Archive, ArchiveErrors,
    ::testing::Values(
        ErrorCase{"EmptyInput", Target::Int, "", "byte 0: int needs 4 bytes, only 0 left", 0},
        ErrorCase{"IntCut", Target::Int, "\x01\x02", "byte 0: int needs 4 bytes, only 2 left", 0},
        ErrorCase{"PointCutInAltitude", Target::Point, Bytes().F64(1).F64(2).Raw("abc").s,
                  "byte 16: dAlt: double needs 8 bytes, only 3 left", 16},
        ErrorCase{"NegativeCount", Target::VectorDouble, Bytes().I32(-3).s, "byte 0: vector count -3 is negative",
                  0},
        ErrorCase{"CountBeyondData", Target::VectorDouble, Bytes().I32(3).F64(1).F64(2).s,
                  "byte 0: vector count 3 needs at least 24 bytes, only 16 left", 0},
        ErrorCase{"HugeCount", Target::VectorDouble, Bytes().I32(0x7fffffff).F64(1).s,
                  "byte 0: vector count 2147483647 needs at least 17179869176 bytes, only 8 left", 0},
        ErrorCase{"PointCountCountsTwentyFourBytes", Target::VectorPoint, Bytes().I32(2).Pt(1, 2, 3).Raw("x").s,
                  "byte 0: vector count 2 needs at least 48 bytes, only 25 left", 0},
        ErrorCase{"FixedSizeElementsCheckedUpFront", Target::VectorTileId,
                  Bytes().I32(2).I32(1).I32(2).I32(3).Raw(std::string("\x04\x00", 2)).s,
                  "byte 0: vector count 2 needs at least 16 bytes, only 14 left", 0},
        ErrorCase{"CountCut", Target::VectorDouble, "\x01", "byte 0: vector count needs 4 bytes, only 1 left", 0},
        ErrorCase{"NegativeStringLength", Target::String, Bytes().I32(-1).Raw("abc").s,
                  "byte 0: string length -1 is negative", 0},
        ErrorCase{"StringPastTheEnd", Target::String, Bytes().I32(10).Raw("abc").s,
                  "byte 0: string length 10 runs past the end, only 3 bytes left", 0},
        ErrorCase{"StringInVector", Target::Strings, Bytes().I32(2).Str("ok").I32(-7).s,
                  "byte 10: [1]: string length -7 is negative", 10},
        ErrorCase{"StringCountsFourBytesEach", Target::Strings, Bytes().I32(3).I32(0).I32(0).s,
                  "byte 0: vector count 3 needs at least 12 bytes, only 8 left", 0},
        ErrorCase{"NestedCountInTile", Target::Tile, TileWithSecondKey(Bytes().I32(-1).s),
                  "byte 24: m_keys[1].vcttiTileIds: vector count -1 is negative", 24},
        ErrorCase{"NestedElementCutInTile", Target::Tile, Bytes().I32(2).I64(1).I32(1).I32(5).I32(6).I32(99).s,
                  "byte 24: m_keys[1].lValue: long needs 8 bytes, only 4 left", 24},
        ErrorCase{"TileCountBoundByLinkSize", Target::Tile, Bytes().I32(0).I32(1000).Raw(std::string(500, '\0')).s,
                  "byte 4: m_values: vector count 1000 needs at least 160000 bytes, only 500 left", 4},
        ErrorCase{"TileCutBeforeRect", Target::Tile, Bytes().I32(0).I32(0).Pt(1, 2, 3).s,
                  "byte 32: r.rt.dLon: double needs 8 bytes, only 0 left", 32},
        ErrorCase{
            "TileCutInLastBucket", Target::Tile,
            Bytes().I32(0).I32(0).Pt(0, 0, 0).Pt(1, 1, 0).I32(1).U64(1).I32(1).I32(0).I32(1).I32(1).F64(0.5).s,
            "byte 80: ps[0]: vector count 1 needs at least 24 bytes, only 8 left", 80}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ArchiveErrorsState, TargetsKeepOldValuesButStringsKeepWhatWasThere) {
  {
    const std::string bytes = Bytes().I32(2).F64(1).Raw("cut").s;
    ql::InArchive ar(bytes);
    std::vector<double> v = {42};
    EXPECT_THROW(ar >> v, ql::ArchiveError);
    EXPECT_EQ(v, (std::vector<double>{42}));
  }
  {
    const std::string bytes = Bytes().F64(1).F64(2).s;
    ql::InArchive ar(bytes);
    ql::Point p(7, 8, 9);
    EXPECT_THROW(ar >> p, ql::ArchiveError);
    EXPECT_EQ(p.dLon, 7);
    EXPECT_EQ(p.dAlt, 9);
  }
  {
    const std::string bytes = Bytes().I32(100).Raw("only this").s;
    ql::InArchive ar(bytes);
    std::string s = "old";
    EXPECT_THROW(ar >> s, ql::ArchiveError);
    EXPECT_EQ(s, "only this");
    EXPECT_EQ(ar.Remaining(), 0u);
  }
  {
    const std::string bytes = "\x01\x02";
    ql::InArchive ar(bytes);
    int i = 5;
    EXPECT_THROW(ar >> i, ql::ArchiveError);
    EXPECT_EQ(i, 5);
    EXPECT_EQ(ar.Offset(), 0u);  // nothing consumed by the failed read
  }
}

TEST(ArchiveErrorsState, EveryTruncationOfATileIsRefused) {
  // No prefix of a valid tile decodes silently: each cut point raises.
  ql::HdLink link;
  link.liId.lValue = 1;
  link.vctvdGeoLink = {{116.3, 39.9}, {116.31, 39.91}};
  link.vcthlLane.resize(1);
  link.vcthlLane[0].strArrows = "C";
  ql::HdSerializeData tile;
  tile.m_keys = {link.liId};
  tile.m_values = {link};
  tile.states = {1};
  tile.nodes = {{link.liId}};
  tile.ps = {{ql::Point(116.3, 39.9, 0)}};
  const std::string bytes = qlw::EncodeBinary(tile);
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    SCOPED_TRACE(cut);
    const std::string prefix = bytes.substr(0, cut);
    ql::InArchive ar(prefix);
    ql::HdSerializeData out;
    EXPECT_THROW(ar >> out, std::length_error);
  }
}

// ---- construction ----------------------------------------------------------------------------

TEST(ArchiveConstruction, ViewsOnlyThroughAByteViewAndOwnsTemporaries) {
  const char raw[] = {1, 0, 0, 0, 2, 0, 0, 0, 9};
  ql::InArchive view{ql::ByteView(raw, 8)};  // the ninth byte is outside the view
  ql::TileId id;
  view >> id;
  EXPECT_EQ(id.nLatId, 2);
  int extra = 0;
  EXPECT_THROW(view >> extra, ql::ArchiveError);

  ql::InArchive owned(std::string(Bytes().I32(3).I32(4).s));  // the temporary string is moved in
  owned >> id;
  EXPECT_EQ(id.nLonId, 3);
  EXPECT_EQ(id.nLatId, 4);

  ql::InArchive empty{ql::ByteView(nullptr, 100)};  // no data however large the size
  EXPECT_EQ(empty.Size(), 0u);
  ql::HdSerializeData tile;
  EXPECT_THROW(empty >> tile, ql::ArchiveError);
}

// The archive is described as holding its own copy: what the caller does with its string
// afterwards cannot change what is read, nor make the archive read freed memory (which the
// sanitizer build would report).
TEST(ArchiveConstruction, AStringIsCopied) {
  const std::string original = Bytes().I32(5).I32(-6).Str(std::string(40, 'x')).s;
  auto bytes = std::make_unique<std::string>(original);
  ql::InArchive ar(*bytes);
  (*bytes)[0] = 9;           // changed ...
  bytes->append(1000, 'y');  // ... moved elsewhere by growing ...
  bytes.reset();             // ... and freed before anything is read
  ql::TileId id;
  std::string text;
  ar >> id >> text;
  EXPECT_EQ(id.nLonId, 5);
  EXPECT_EQ(id.nLatId, -6);
  EXPECT_EQ(text, std::string(40, 'x'));
}

// With a memory limit every vector and long string is charged as its buffer is made, and the
// first one past the limit is refused where its count stands.
TEST(ArchiveMemory, VectorsAndLongStringsDrawOnTheLimit) {
  struct Case {
    const char* name;
    std::string bytes;
    bool isString;  // else a vector of doubles
    std::size_t limit;
    bool refused;
  };
  // 1000 doubles: an 8000-byte buffer, charged with the allocator's 32 bytes.
  const std::string doubles = Bytes().I32(1000).s + std::string(8000, '\0');
  const Case cases[] = {
      {"VectorWithinTheLimit", doubles, false, 8032, false},
      {"VectorOneByteOver", doubles, false, 8031, true},
      {"EmptyVectorCostsNothing", Bytes().I32(0).s, false, 0, false},
      {"ShortStringIsHeldInPlace", Bytes().I32(15).s + std::string(15, 'a'), true, 0, false},
      {"LongStringIsCharged", Bytes().I32(16).s + std::string(16, 'a'), true, 16 + 1 + 31, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ql::MemoryLimit limit(c.limit);
    ql::InArchive ar(c.bytes);
    ar.SetMemoryLimit(&limit);
    try {
      if (c.isString) {
        std::string text;
        ar >> text;
      } else {
        std::vector<double> v;
        ar >> v;
      }
      EXPECT_FALSE(c.refused);
    } catch (const ql::ArchiveError& e) {
      EXPECT_TRUE(c.refused) << e.what();
      EXPECT_EQ(e.Offset(), 0u);  // where the count or length stands
      EXPECT_NE(std::string(e.what()).find("bytes of memory"), std::string::npos) << e.what();
    }
  }
}

}  // namespace
