// HdLib location queries end to end: a small map written as JSON tiles, loaded through
// HdLib::Init, then queried. The HD store is one per process and keeps its tiles, so every
// test of this binary reads the same map (Map()); under ctest each test runs alone.

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "CoordSys.h"
#include "HdLib.h"
#include "HdTypes.h"
#include "LinkSummary.h"
#include "MapBuilder.h"
#include "MapTypes.h"
#include "Singleton.h"
#include "World.h"

namespace {

using GeoLink = ql::HdLib::GeoLink;
using qltest::AddEdge;
using qltest::AddLane;
using qltest::Link;
using qltest::Values;

// Geometry is laid out in metres east (x) and north (y) of this origin, in its projection
// zone, so that distances in the tests read as what the lanes were drawn with.
const ql::Point kOrigin(116.31, 39.99, 0.0);

ql::Point At(double x, double y) {
  const ql::XYZ o = ql::P2XYZ(kOrigin);
  const ql::Point p = ql::XYZ2P(ql::XYZ(o.dX + x, o.dY + y, 0.0));
  return ql::Point(p.dLon, p.dLat, 0.0);
}

std::vector<double> Tuple(double x, double y) {
  const ql::Point p = At(x, y);
  return {p.dLon, p.dLat};
}

// A north-running line at x from y0 to y1, one vertex every `step` metres.
GeoLink NorthLine(double x, double y0, double y1, double step = 10.0) {
  GeoLink line;
  for (double y = y0; y <= y1 + 1e-9; y += step) line.push_back(Tuple(x, y));
  return line;
}

// A 3.5 m lane running north from y 0 to 30 between x and x + 3.5, its edges laneId*10+1
// (left) and laneId*10+2 (right), its line down the middle.
void AddStraightLane(ql::HdLink& link, long laneId, int seq, double x) {
  AddEdge(link, laneId * 10 + 1, NorthLine(x, 0, 30));
  AddEdge(link, laneId * 10 + 2, NorthLine(x + 3.5, 0, 30));
  AddLane(link, laneId, seq, 3500, laneId * 10 + 1, laneId * 10 + 2, NorthLine(x + 1.75, 0, 30));
}

GeoLink Square(double cx, double cy, double half) {
  return {Tuple(cx - half, cy - half), Tuple(cx + half, cy - half), Tuple(cx + half, cy + half),
          Tuple(cx - half, cy + half)};
}

// On the central meridian of its zone (117 E) every longitude-117 point projects to the same
// easting exactly, so a diagonal drawn along it is exact in the plane. The link also crosses
// the tile column border at 117.0.
constexpr double kMeridian = 117.0;
constexpr double kDiagLat0 = 39.99;
constexpr double kDiagLat1 = 39.9902;
constexpr double kDiagHalfWidth = 0.00004;  // about 3.4 m

// The map, in metres from the origin unless said otherwise:
//   99  one lane at x -8 .. -4.5                  101 one lane at x 0 .. 3.5
//   102 two lanes overlapping at x 102 .. 103.5     103 a sheared lane on 117 E, in two tiles
//   104 one lane at x 200, a crossing 8 m square around (210, 15)
//   105 one lane at x 500, a crossing 30 m square around (400, 15): its corners are the only
//       entries near its centre, all 15 m away
//   107 a lane at x 600 whose left edge is stored north to south
//   108 a lane at x 800 and no link geometry
//   110 and up: lanes of assorted shapes and places (VariedLinks), for the agreement test
std::vector<ql::HdLink> VariedLinks();
std::vector<ql::HdLink> MapLinks() {
  std::vector<ql::HdLink> links;

  ql::HdLink l101 = Link(101);  // listed before 99 on purpose: queries sort by id
  AddStraightLane(l101, 1011, 1, 0.0);
  l101.vctvdGeoLink = NorthLine(1.75, 0, 30);
  links.push_back(l101);

  ql::HdLink l99 = Link(99);
  AddStraightLane(l99, 991, 1, -8.0);
  links.push_back(l99);

  ql::HdLink l102 = Link(102);
  AddStraightLane(l102, 1021, 1, 100.0);
  AddStraightLane(l102, 1022, 2, 102.0);
  links.push_back(l102);

  ql::HdLink l103 = Link(103);
  AddEdge(l103, 1031, {{kMeridian - kDiagHalfWidth, kDiagLat0}, {kMeridian, kDiagLat1}});
  AddEdge(l103, 1032, {{kMeridian, kDiagLat0}, {kMeridian + kDiagHalfWidth, kDiagLat1}});
  AddLane(l103, 1030, 1, 3400, 1031, 1032,
          {{kMeridian - kDiagHalfWidth / 2, kDiagLat0}, {kMeridian + kDiagHalfWidth / 2, kDiagLat1}});
  links.push_back(l103);

  ql::HdLink l104 = Link(104);
  AddStraightLane(l104, 1041, 1, 200.0);
  ql::ObjCrossing small;
  small.vctvdGeoArea = Square(210, 15, 4);
  l104.vctcrCrossing.push_back(small);
  links.push_back(l104);

  ql::HdLink l105 = Link(105);
  AddStraightLane(l105, 1051, 1, 500.0);
  ql::ObjCrossing large;
  large.vctvdGeoArea = Square(400, 15, 15);
  l105.vctcrCrossing.push_back(large);
  links.push_back(l105);

  ql::HdLink l107 = Link(107);
  GeoLink southward = NorthLine(600, 0, 30);
  std::reverse(southward.begin(), southward.end());
  AddEdge(l107, 1071, southward);
  AddEdge(l107, 1072, NorthLine(603.5, 0, 30));
  AddLane(l107, 1070, 1, 3500, 1071, 1072, NorthLine(601.75, 0, 30));
  links.push_back(l107);

  ql::HdLink l108 = Link(108);
  AddStraightLane(l108, 1081, 1, 800.0);
  links.push_back(l108);
  for (const ql::HdLink& link : VariedLinks()) links.push_back(link);
  return links;
}

// A north-running link of `lanes` lanes in degrees: edges at lon + k * width (k = 0 .. lanes),
// `vertices` vertices from lat0 to lat1, each lane between two neighbouring edges.
ql::HdLink DegreeLink(long id, double lon, double lat0, double lat1, double width, int lanes, int vertices) {
  ql::HdLink link = Link(id);
  for (int k = 0; k <= lanes; ++k) {
    GeoLink edge;
    for (int i = 0; i < vertices; ++i)
      edge.push_back({lon + k * width, lat0 + (lat1 - lat0) * i / (vertices - 1)});
    AddEdge(link, id * 10 + k, edge);
  }
  for (int n = 1; n <= lanes; ++n) AddLane(link, id * 10 + n, n, 3500, id * 10 + n - 1, id * 10 + n, {});
  return link;
}

// Places where the projection behaves differently: the central meridian, both sides of a zone
// border (east and west, north and south), the equator, the south, the far west of a zone, the
// far north; and shapes that are not north-south strips.
std::vector<ql::HdLink> VariedLinks() {
  std::vector<ql::HdLink> links;
  // A quarter circle of three lanes (radii 20 .. 30.5 m) around (1000, 0), vertices every 5 degrees.
  ql::HdLink arc = Link(110);
  for (int k = 0; k <= 3; ++k) {
    GeoLink edge;
    const double r = 20.0 + 3.5 * k;
    for (int a = 0; a <= 90; a += 5) {
      const double t = a * 3.14159265358979 / 180.0;
      edge.push_back(Tuple(1000 + r * std::cos(t), r * std::sin(t)));
    }
    AddEdge(arc, 1100 + k, edge);
  }
  for (int n = 1; n <= 3; ++n) AddLane(arc, 1110 + n, n, 3500, 1100 + n - 1, 1100 + n, {});
  links.push_back(arc);
  // A diagonal lane running north-east, its left edge stored the other way round.
  ql::HdLink diagonal = Link(111);
  GeoLink left{Tuple(1230, 30), Tuple(1215, 15), Tuple(1200, 0)};
  AddEdge(diagonal, 1111, left);
  AddEdge(diagonal, 1112, {Tuple(1203, -3), Tuple(1218, 12), Tuple(1233, 27)});
  AddLane(diagonal, 1110, 1, 3500, 1111, 1112, {});
  links.push_back(diagonal);
  links.push_back(DegreeLink(112, 116.99994, 39.95, 39.9503, 0.00004, 3, 7));   // across 117 E
  links.push_back(DegreeLink(113, 118.49994, 39.95, 39.9503, 0.00004, 3, 7));   // across a zone border
  links.push_back(DegreeLink(114, 10.0, -0.00015, 0.00015, 0.00003, 2, 5));     // across the equator
  links.push_back(DegreeLink(115, 7.6, -33.9003, -33.9, 0.00004, 2, 5));        // south, west of 9 E
  links.push_back(DegreeLink(116, 20.0, 79.9995, 79.9998, 0.0002, 2, 5));       // last bounded latitude
  links.push_back(DegreeLink(117, 20.0, 84.9997, 85.0, 0.0003, 2, 5));          // beyond it
  links.push_back(DegreeLink(118, 121.49994, 31.2, 31.2003, 0.00004, 3, 7));    // across 121.5 E
  links.push_back(DegreeLink(119, -4.50006, 40.4, 40.4003, 0.00004, 3, 7));     // across 4.5 W (zones -1, 0)
  links.push_back(DegreeLink(120, -58.50006, -34.6003, -34.6, 0.00004, 3, 7));  // across 58.5 W, south
  links.push_back(DegreeLink(121, -58.38, -34.6003, -34.6, 0.00004, 2, 5));     // 4.4 degrees off its meridian
  return links;
}

using HdStore = ql::Singleton<ql::HdWorld, ql::NewHdWorld>;

// The map of this process, on its JSON tiles.
const qltest::WrittenMap& Map() {
  static const qltest::WrittenMap map("test_HdLib", MapLinks(), 4, "config_json.json");
  return map;
}

class HdLibMap : public ::testing::Test {
 protected:
  void SetUp() override { Map(); }
  const ql::HdLib& Lib() const { return *ql::HdLib::GetInstance(); }
  ql::HdLinkId Id(long value) const { return Map().Stored(value).liId; }
};

// ---- before Init ------------------------------------------------------------------------------

// Only meaningful in a process that has not initialised the library (ctest runs each test
// alone); the store cannot be taken down again once made.
TEST(HdLibBeforeInit, QueriesFindNothingWithoutAStore) {
  if (HdStore().operator->() != nullptr) {
    GTEST_SKIP() << "the store already exists in this process";
  }
  const ql::HdLib& lib = *ql::HdLib::GetInstance();
  const ql::Point p = At(1.75, 15);
  ql::HdLinkId id;
  id.lValue = 101;
  id.vcttiTileIds.push_back(ql::P2TId(p));

  std::vector<ql::HdLinkId> links(1);
  std::vector<ql::HdLaneId> lanes(1);
  EXPECT_FALSE(lib.GetLocateLanes(p, links, lanes));
  EXPECT_EQ(links.size(), 1u);
  EXPECT_EQ(lanes.size(), 1u);
  std::vector<const ql::HdLink*> nearby;
  EXPECT_FALSE(lib.GetDataNearby(p, 20, 20, nearby, ql::GetDataNearby_param{}, true));
  EXPECT_FALSE(lib.GetIsInCross(p));
  EXPECT_EQ(lib.GetLinkData(id), nullptr);
  EXPECT_FALSE(lib.LoadTile(p, true));
  EXPECT_TRUE(lib.LoadGpses().empty());
  EXPECT_TRUE(lib.GetNodeIdsInRect(ql::P2R(p, 20, 20)).empty());
  std::vector<ql::HdLinkId> ids;
  EXPECT_FALSE(lib.GetLinkIdsInRect(p, 20, 20, ids, true));
  double fromStart = -1, toEnd = -1;
  EXPECT_FALSE(lib.GetPosInHdLink(p, id, fromStart, toEnd));
  EXPECT_EQ(fromStart, -1);
  ql::Point foot(7, 7, 7);
  double dist = -1;
  EXPECT_FALSE(lib.GetNearestPointfromLaneGeo(p, foot, dist));
  EXPECT_EQ(foot, ql::Point(7, 7, 7));
  int count = -1;
  EXPECT_FALSE(lib.GetLaneCnt(id, count));
  EXPECT_EQ(count, -1);
  EXPECT_EQ(HdStore().operator->(), nullptr) << "a query must not create the store";
}

// ---- GetLocateLanes --------------------------------------------------------------------------------

struct LocateCase {
  const char* name;
  ql::Point p;
  std::vector<long> links;  // expected, in step with lanes
  std::vector<long> lanes;
};

class HdLibLocate : public HdLibMap, public ::testing::WithParamInterface<LocateCase> {};

TEST_P(HdLibLocate, AppendsEveryLaneHoldingThePoint) {
  const LocateCase& c = GetParam();
  std::vector<ql::HdLinkId> links;
  std::vector<ql::HdLaneId> lanes;
  EXPECT_EQ(Lib().GetLocateLanes(c.p, links, lanes), !c.lanes.empty());
  EXPECT_EQ(Values(links), c.links);
  EXPECT_EQ(Values(lanes), c.lanes);
}

INSTANTIATE_TEST_SUITE_P(
    HdLib, HdLibLocate,
    ::testing::Values(LocateCase{"OneLane", At(1.75, 15), {101}, {1011}},
                      LocateCase{"OneLaneNearItsFirstVertex", At(0.2, 0.3), {101}, {1011}},
                      LocateCase{"OverlapGivesBothLanesAndTheLinkTwice", At(102.75, 15), {102, 102}, {1021, 1022}},
                      LocateCase{"OnlyTheSecondOfTheOverlap", At(104.5, 15), {102}, {1022}},
                      LocateCase{"BetweenTwoLanes", At(-2, 15), {}, {}},
                      LocateCase{"BeyondTwentyMetres", At(-40, 15), {}, {}},
                      LocateCase{"BeyondTheLaneEnd", At(1.75, 31), {}, {}},
                      // The sheared lane on 117 E: its inner diagonal runs along the meridian.
                      LocateCase{"OnTheDiagonal", ql::Point(kMeridian, 39.9901, 0), {}, {}},
                      LocateCase{"WestOfTheDiagonal", ql::Point(kMeridian - 1e-6, 39.9901, 0), {103}, {1030}},
                      LocateCase{"EastOfTheDiagonal", ql::Point(kMeridian + 1e-6, 39.9901, 0), {103}, {1030}},
                      // Left edge stored north to south: only walking it backwards pairs the right vertices.
                      LocateCase{"BackwardEdgeNearItsSouthEnd", At(600.3, 2), {107}, {1070}},
                      LocateCase{"BackwardEdgeMiddle", At(601.75, 15), {107}, {1070}},
                      LocateCase{"BackwardEdgeNearItsNorthEnd", At(603.2, 28), {107}, {1070}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HdLibMap, LocateLanesAppendsAndReportsTheWholeList) {
  std::vector<ql::HdLinkId> links(1);
  std::vector<ql::HdLaneId> lanes(1);
  lanes[0].lValue = 5;
  // A link is near but no lane holds the point: nothing appended, and the list passed in
  // is not empty, so the answer is true.
  EXPECT_TRUE(Lib().GetLocateLanes(At(-2, 15), links, lanes));
  EXPECT_EQ(Values(lanes), (std::vector<long>{5}));
  EXPECT_TRUE(Lib().GetLocateLanes(At(1.75, 15), links, lanes));
  EXPECT_EQ(Values(lanes), (std::vector<long>{5, 1011}));
  EXPECT_EQ(Values(links), (std::vector<long>{0, 101}));
  // No link near at all: false, whatever the lists hold.
  EXPECT_FALSE(Lib().GetLocateLanes(At(-40, 15), links, lanes));
  EXPECT_EQ(lanes.size(), 2u);
  EXPECT_EQ(links.size(), 2u);
}

TEST_F(HdLibMap, DiagonalPremiseIsExactInThePlane) {
  // What the OnTheDiagonal row relies on: the point and both diagonal ends share one easting.
  const ql::XYZ p = ql::P2XYZ(ql::Point(kMeridian, 39.9901, 0));
  EXPECT_EQ(p.dX, ql::P2XYZ(ql::Point(kMeridian, kDiagLat0, 0)).dX);
  EXPECT_EQ(p.dX, ql::P2XYZ(ql::Point(kMeridian, kDiagLat1, 0)).dX);
}

// ---- GetDataNearby and the box searches ----------------------------------------------------

TEST_F(HdLibMap, DataNearbyIsSortedByIdAndReplacesTheList) {
  const ql::HdLink stray;
  std::vector<const ql::HdLink*> links{&stray, &stray};
  ASSERT_TRUE(Lib().GetDataNearby(At(-2, 15), 20, 20, links, ql::GetDataNearby_param{}, true));
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0]->liId.lValue, 99);
  EXPECT_EQ(links[1]->liId.lValue, 101);

  std::vector<const ql::HdLink*> untouched{&stray};
  EXPECT_FALSE(Lib().GetDataNearby(At(-40, 15), 20, 20, untouched, ql::GetDataNearby_param{}, true));
  ASSERT_EQ(untouched.size(), 1u);
  EXPECT_EQ(untouched[0], &stray);
}

TEST_F(HdLibMap, LinkInTwoTilesIsListedOnce) {
  const ql::HdLinkId id = Id(103);
  ASSERT_EQ(id.vcttiTileIds.size(), 2u) << "the sheared link should straddle the tile border";
  const ql::Point p(kMeridian - 1e-6, 39.9901, 0);
  // The store hands back one record per tile holding the link ...
  EXPECT_EQ(HdStore()->GetNodesInRect(ql::P2R(p, 20, 20)).size(), 2u);
  // ... the query one link.
  std::vector<const ql::HdLink*> links;
  ASSERT_TRUE(Lib().GetDataNearby(p, 20, 20, links, ql::GetDataNearby_param{}, true));
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0]->liId.lValue, 103);
  const ql::HdLink* byId = Lib().GetLinkData(id);
  ASSERT_NE(byId, nullptr);
  EXPECT_EQ(byId->vcthlLane.size(), 1u);
}

TEST_F(HdLibMap, IdsInRectComeOnceAscending) {
  const ql::Point p = At(-2, 15);
  std::vector<ql::HdLinkId> ids(3);
  EXPECT_TRUE(Lib().GetLinkIdsInRect(p, 20, 20, ids, true));
  EXPECT_EQ(Values(ids), (std::vector<long>{99, 101}));
  EXPECT_TRUE(Lib().GetLinkIdsInRect(At(-40, 15), 20, 20, ids, false));
  EXPECT_TRUE(ids.empty());

  const std::set<ql::HdLinkId> set = Lib().GetNodeIdsInRect(ql::P2R(p, 20, 20));
  EXPECT_EQ(Values(std::vector<ql::HdLinkId>(set.begin(), set.end())), (std::vector<long>{99, 101}));
}

TEST_F(HdLibMap, LinkDataNeedsALoadableTileList) {
  ql::HdLinkId bare;
  bare.lValue = 101;
  EXPECT_EQ(Lib().GetLinkData(bare), nullptr) << "an id without tiles names no record";
  const ql::HdLink* link = Lib().GetLinkData(Id(101));
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->liId.lValue, 101);
  ql::HdLinkId elsewhere = Id(101);
  elsewhere.vcttiTileIds.push_back(Id(103).vcttiTileIds.front());  // a tile without link 101, listed last
  EXPECT_EQ(Lib().GetLinkData(elsewhere), nullptr);
  ql::HdLinkId missingTile = Id(101);
  missingTile.vcttiTileIds.insert(missingTile.vcttiTileIds.begin(), ql::TileId(1, 1));  // no such file
  EXPECT_EQ(Lib().GetLinkData(missingTile), nullptr);
  EXPECT_TRUE(Lib().LoadTile(At(0, 0), false));
  EXPECT_TRUE(Lib().LoadTile(At(0, 0), true));
}

// ---- GetIsInCross ------------------------------------------------------------------------------

struct CrossCase {
  const char* name;
  ql::Point p;
  bool inCross;
};

class HdLibCross : public HdLibMap, public ::testing::WithParamInterface<CrossCase> {};

TEST_P(HdLibCross, CountsCrossingsOfLinksInTheTenMetreBox) {
  EXPECT_EQ(Lib().GetIsInCross(GetParam().p), GetParam().inCross);
}

INSTANTIATE_TEST_SUITE_P(HdLib, HdLibCross,
                         ::testing::Values(CrossCase{"InsideSmallCrossing", At(210, 15), true},
                                           CrossCase{"InsideNearItsCorner", At(206.5, 11.5), true},
                                           CrossCase{"JustOutsideSmallCrossing", At(214.5, 15), false},
                                           CrossCase{"OnALaneWithoutCrossing", At(1.75, 15), false},
                                           // Inside the large square, but every entry of its link is 15 m away.
                                           CrossCase{"LargeCrossingFromItsCentre", At(400, 15), false},
                                           CrossCase{"LargeCrossingNearItsCorner", At(388, 3), true},
                                           CrossCase{"NoLinkNear", At(-40, 15), false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- IsPointInPolygon ------------------------------------------------------------------------

struct PolygonCase {
  const char* name;
  GeoLink polygon;
  ql::Point p;
  bool inside;
};

TEST(HdLibPolygon, CrossingNumberOnDegrees) {
  const GeoLink square{{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  // A U open to the north: the notch between x 1 and 2 reaches down to y 1.
  const GeoLink u{{0, 0}, {3, 0}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}};
  const PolygonCase cases[] = {
      {"Empty", {}, ql::Point(0.5, 0.5, 0), false},
      {"Centre", square, ql::Point(0.5, 0.5, 0), true},
      {"RightOfIt", square, ql::Point(1.5, 0.5, 0), false},
      {"AboveItsLatitudes", square, ql::Point(0.5, 2, 0), false},
      // Half-open: the lower and left sides hold their points, the upper and right do not.
      {"OnBottomSide", square, ql::Point(0.5, 0, 0), true},
      {"OnTopSide", square, ql::Point(0.5, 1, 0), false},
      {"OnLeftSide", square, ql::Point(0, 0.5, 0), true},
      {"OnRightSide", square, ql::Point(1, 0.5, 0), false},
      // Level with the bottom corners but west of them: both vertical sides count, no toggle left.
      {"WestOfTheBottomCorners", square, ql::Point(-0.5, 0, 0), false},
      {"ClockwiseWinding", {{0, 0}, {0, 1}, {1, 1}, {1, 0}}, ql::Point(0.5, 0.5, 0), true},
      {"InTheNotch", u, ql::Point(1.5, 2, 0), false},
      {"InTheLeftArm", u, ql::Point(0.5, 2, 0), true},
      {"InTheBase", u, ql::Point(1.5, 0.5, 0), true},
      {"AltitudesIgnored", {{0, 0, 9}, {1, 0, 9}, {1, 1, 9}, {0, 1, 9}}, ql::Point(0.5, 0.5, -3), true},
  };
  for (const PolygonCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsPointInPolygon(c.polygon, c.p), c.inside);
  }
}

TEST(HdLibPolygon, ShortTupleIsRejectedNotOverread) {
  const GeoLink polygon{{0, 0}, {1}, {1, 1}};
  EXPECT_THROW(IsPointInPolygon(polygon, ql::Point(0.5, 0.5, 0)), std::invalid_argument);
}

// The box that lets the crossing test pass over an area never excludes a position the area
// holds: random areas with horizontal and vertical edges and repeated vertices, positions on and
// beside their corners' latitudes and longitudes. It excludes what lies north, south or east.
TEST(HdLibPolygon, CrossingBoxExcludesOnlyWhatTheAreaCannotHold) {
  std::mt19937_64 rng(11);
  std::uniform_int_distribution<int> grid(0, 6), count(3, 7);
  const double lon0 = 116.3, lat0 = 39.9, step = 1e-5;
  std::size_t excluded = 0, held = 0;
  for (int a = 0; a < 3000; ++a) {
    GeoLink area;
    const int n = count(rng);
    for (int i = 0; i < n; ++i) area.push_back({lon0 + step * grid(rng), lat0 + step * grid(rng)});
    const ql::CrossingBox box = ql::CrossingBoxOf(area);
    ASSERT_TRUE(box.bValid);
    for (int x = -2; x <= 8; ++x) {
      for (int y = -2; y <= 8; ++y) {
        for (const double nudge : {0.0, 1e-12, -1e-12}) {
          const ql::Point p(lon0 + step * x + nudge, lat0 + step * y + nudge, 0);
          const bool inside = IsPointInPolygon(area, p);
          held += inside;
          if (box.Excludes(p)) {
            ++excluded;
            ASSERT_FALSE(inside) << a << ": " << x << ", " << y << ", " << nudge;
          }
        }
      }
    }
  }
  EXPECT_GT(held, 10000u);
  EXPECT_GT(excluded, 300000u);

  const GeoLink square{{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  const ql::CrossingBox box = ql::CrossingBoxOf(square);
  EXPECT_TRUE(box.Excludes(ql::Point(0.5, 1.0, 0)));   // on the top side: the half-open rule
  EXPECT_TRUE(box.Excludes(ql::Point(0.5, -0.1, 0)));  // south
  EXPECT_TRUE(box.Excludes(ql::Point(1.1, 0.5, 0)));   // east
  EXPECT_FALSE(box.Excludes(ql::Point(-5, 0.5, 0)));   // west: the test itself decides
  EXPECT_FALSE(box.Excludes(ql::Point(1.0, 0.5, 0)));  // within the margin of the east side
  const double nan = std::nan("");
  for (const GeoLink& unreadable : {GeoLink{}, GeoLink{{0, 0}, {1}, {1, 1}}, GeoLink{{0, 0}, {nan, 1}, {1, 1}},
                                    GeoLink{{0, 0}, {2e6, 1}, {1, 1}}}) {
    EXPECT_FALSE(ql::CrossingBoxOf(unreadable).bValid) << unreadable.size();
    EXPECT_FALSE(ql::CrossingBoxOf(unreadable).Excludes(ql::Point(50, 50, 0)));
  }
}

// ---- IsPointInLane on lanes built in memory -----------------------------------------------------

// A lane whose edges are straight lines from y 0 to 30, the right one `gap` metres east of
// the left one. The probe point lies in the north-west corner of the strip, which the forward
// pairing covers and the backward one (a bow tie) does not.
struct GapCase {
  const char* name;
  int width;
  double gap;
  bool forward;  // whether the left edge is expected to be walked forwards
};

TEST(HdLibLaneThreshold, LeftEdgeWalkedBackwardsBeyondWidthPlusTwoMetres) {
  const GapCase cases[] = {
      {"Width3500Gap5.4", 3500, 5.4, true}, {"Width3500Gap5.6", 3500, 5.6, false},
      {"NoWidthGap4.9", 0, 4.9, true},      {"NoWidthGap5.1", 0, 5.1, false},
      {"Width7000Gap8.9", 7000, 8.9, true}, {"Width7000Gap9.1", 7000, 9.1, false},
  };
  for (const GapCase& c : cases) {
    SCOPED_TRACE(c.name);
    ql::HdLink link = Link(1);
    AddEdge(link, 1, {Tuple(0, 0), Tuple(0, 30)});
    AddEdge(link, 2, {Tuple(c.gap, 0), Tuple(c.gap, 30)});
    const ql::HdLane& lane = AddLane(link, 10, 1, c.width, 1, 2, {});
    // The premise, on the distance the library measures (haversine, not the plane).
    const double gapMm = ql::PointsDis(At(0, 0), At(c.gap, 0)) * 1000.0;
    const double threshold = c.width != 0 ? c.width + 2000.0 : 5000.0;
    ASSERT_EQ(gapMm > threshold, !c.forward) << gapMm;
    EXPECT_EQ(ql::HdLib::IsPointInLane(At(0.2 * c.gap, 27), &link, lane), c.forward);
  }
}

TEST(HdLibLaneThreshold, HugeWidthDoesNotOverflow) {
  ql::HdLink link = Link(1);
  AddEdge(link, 1, {Tuple(0, 0), Tuple(0, 30)});
  AddEdge(link, 2, {Tuple(3.5, 0), Tuple(3.5, 30)});
  const ql::HdLane& lane = AddLane(link, 10, 1, 2147483647, 1, 2, {});
  // Width plus 2 m far beyond any gap: walked forwards, the strip holds its own corner.
  EXPECT_TRUE(ql::HdLib::IsPointInLane(At(0.7, 27), &link, lane));
}

TEST(HdLibLaneThreshold, IncompleteLanesHoldNothing) {
  struct Case {
    const char* name;
    long left, right;
    bool emptyLeftGeometry;
  };
  const Case cases[] = {
      {"Complete", 1, 2, false},
      {"LeftIdNamesNoEdge", 9, 2, false},
      {"RightIdNamesNoEdge", 1, 9, false},
      {"LeftEdgeWithoutGeometry", 1, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ql::HdLink link = Link(1);
    AddEdge(link, 1, c.emptyLeftGeometry ? GeoLink{} : GeoLink{Tuple(0, 0), Tuple(0, 30)});
    AddEdge(link, 2, {Tuple(3.5, 0), Tuple(3.5, 30)});
    const ql::HdLane& lane = AddLane(link, 10, 1, 3500, c.left, c.right, {});
    EXPECT_EQ(ql::HdLib::IsPointInLane(At(1.75, 15), &link, lane),
              c.left == 1 && c.right == 2 && !c.emptyLeftGeometry);
  }
  ql::HdLane lane;
  EXPECT_FALSE(ql::HdLib::IsPointInLane(At(1.75, 15), nullptr, lane));
}

TEST(HdLibLaneThreshold, ShortTupleIsRejectedNotOverread) {
  ql::HdLink link = Link(1);
  AddEdge(link, 1, {{116.31}, Tuple(0, 30)});
  AddEdge(link, 2, {Tuple(3.5, 0), Tuple(3.5, 30)});
  const ql::HdLane& lane = AddLane(link, 10, 1, 3500, 1, 2, {});
  EXPECT_THROW(ql::HdLib::IsPointInLane(At(1.75, 15), &link, lane), std::invalid_argument);
}

TEST(HdLibLaneThreshold, EdgeIdsResolveToTheFirstEdgeOfThatId) {
  ql::HdLink link = Link(1);
  AddEdge(link, 5, {});
  AddEdge(link, 6, {});
  AddEdge(link, 5, {});
  EXPECT_EQ(ql::HdLib::GetEdgeIndexById(&link, 5), 0);
  EXPECT_EQ(ql::HdLib::GetEdgeIndexById(&link, 6), 1);
  EXPECT_EQ(ql::HdLib::GetEdgeIndexById(&link, 7), -1);
  EXPECT_EQ(ql::HdLib::GetEdgeIndexById(nullptr, 5), -1);
}

// ---- positions along lines --------------------------------------------------------------------

double LineLength(const GeoLink& line) {
  double sum = 0.0;
  for (std::size_t i = 0; i + 1 < line.size(); ++i)
    sum += ql::PointsDis(ql::Point(line[i]), ql::Point(line[i + 1]));
  return sum;
}

struct GeoPosCase {
  const char* name;
  ql::Point p;
  double share;  // expected fromStart as a share of the line's length
};

TEST(HdLibPosition, PosInGeoLinkMeasuresAtTheFoot) {
  const GeoLink line = NorthLine(0, 0, 30);  // four vertices, 10 m apart
  const double total = LineLength(line);
  const GeoPosCase cases[] = {
      {"MidSegmentTwo", At(1, 15), 0.5},
      {"MidSegmentOne", At(-1, 4), 4.0 / 30},
      {"BeforeTheStart", At(1, -5), 0.0},  // foot at the first vertex
      {"BeyondTheEnd", At(-1, 36), 1.0},   // foot at the last vertex
  };
  for (const GeoPosCase& c : cases) {
    SCOPED_TRACE(c.name);
    double fromStart = -1, toEnd = -1;
    ql::HdLib::GetPosInGeoLink(c.p, line, fromStart, toEnd);
    EXPECT_NEAR(fromStart, c.share * total, 0.01);
    EXPECT_NEAR(fromStart + toEnd, total, 1e-6);  // the plane foot lies a hair off the sphere path
    if (c.share == 0.0 || c.share == 1.0) {
      EXPECT_EQ(fromStart, c.share * total);
    }
  }
}

TEST(HdLibPosition, PosInGeoLinkNeedsTwoVertices) {
  double fromStart = -1, toEnd = -1;
  EXPECT_THROW(ql::HdLib::GetPosInGeoLink(At(0, 0), {}, fromStart, toEnd), std::out_of_range);
  EXPECT_THROW(ql::HdLib::GetPosInGeoLink(At(0, 0), {Tuple(0, 0)}, fromStart, toEnd), std::out_of_range);
  EXPECT_THROW(ql::HdLib::GetPosInGeoLink(At(0, 0), {Tuple(0, 0), {116.31}}, fromStart, toEnd),
               std::invalid_argument);
  EXPECT_EQ(fromStart, -1);
  EXPECT_EQ(toEnd, -1);
}

TEST_F(HdLibMap, PosInHdLinkMeasuresAtTheNearestVertex) {
  const GeoLink line = NorthLine(1.75, 0, 30);
  const double total = LineLength(line);
  const double firstSegment = ql::PointsDis(ql::Point(line[0]), ql::Point(line[1]));
  struct Case {
    const char* name;
    ql::Point p;
    double fromStart;
  };
  const Case cases[] = {
      {"NearestTheFirstVertex", At(3, -4), 0.0},
      {"NearestTheSecondVertex", At(1, 12), firstSegment},
      {"NearestTheLastVertex", At(1.75, 50), total},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    double fromStart = -1, toEnd = -1;
    ASSERT_TRUE(Lib().GetPosInHdLink(c.p, Id(101), fromStart, toEnd));
    EXPECT_DOUBLE_EQ(fromStart, c.fromStart);
    EXPECT_NEAR(toEnd, total - c.fromStart, 1e-9);
  }
}

TEST_F(HdLibMap, PosInHdLinkFailsWithoutLinkOrGeometry) {
  double fromStart = -1, toEnd = -1;
  ql::HdLinkId missing = Id(101);
  missing.lValue = 4242;
  EXPECT_FALSE(Lib().GetPosInHdLink(At(1, 1), missing, fromStart, toEnd));
  EXPECT_FALSE(Lib().GetPosInHdLink(At(801, 1), Id(108), fromStart, toEnd));
  EXPECT_EQ(fromStart, -1);
  EXPECT_EQ(toEnd, -1);
}

TEST_F(HdLibMap, NearestLaneGeometryGivesTheFoot) {
  // Between the lines of the overlapping lanes (x 101.75 and 103.75): nearer the second.
  ql::Point foot;
  double dist = -1;
  ASSERT_TRUE(Lib().GetNearestPointfromLaneGeo(At(103, 15), foot, dist));
  const ql::XYZ f = ql::P2XYZ(foot);
  const ql::XYZ expected = ql::P2XYZ(At(103.75, 15));
  EXPECT_NEAR(f.dX, expected.dX, 0.01);
  EXPECT_NEAR(f.dY, expected.dY, 0.01);
  EXPECT_EQ(dist, 0.0) << "whole metres, truncated";

  ql::Point untouched(7, 7, 7);
  EXPECT_FALSE(Lib().GetNearestPointfromLaneGeo(At(-40, 15), untouched, dist));
  EXPECT_EQ(untouched, ql::Point(7, 7, 7));
}

// ---- agreement of GetLocateLanes with the lane test --------------------------------------------------

// GetLocateLanes skips lanes that certainly cannot hold the point; its answers must be exactly
// those of testing every lane of every nearby link. Probes a fine grid over each link's box,
// edge lines included.
TEST_F(HdLibMap, LocateLanesAgreesWithTestingEveryLane) {
  std::size_t probes = 0, held = 0;
  for (const auto& tile : Map().Tiles()) {
    for (const ql::HdLink& stored : tile.second.m_values) {
      if (stored.liId.lValue < 99) continue;
      double lon0 = 1e9, lon1 = -1e9, lat0 = 1e9, lat1 = -1e9;
      for (const ql::HdEdge& e : stored.vctheEdge) {
        for (const std::vector<double>& v : e.vctvdGeoLink) {
          lon0 = std::min(lon0, v[0]), lon1 = std::max(lon1, v[0]);
          lat0 = std::min(lat0, v[1]), lat1 = std::max(lat1, v[1]);
        }
      }
      const double padLon = (lon1 - lon0) * 0.1 + 1e-6, padLat = (lat1 - lat0) * 0.1 + 1e-6;
      for (int i = 0; i <= 40; ++i) {
        for (int j = 0; j <= 40; ++j) {
          const ql::Point p(lon0 - padLon + (lon1 - lon0 + 2 * padLon) * i / 40,
                            lat0 - padLat + (lat1 - lat0 + 2 * padLat) * j / 40, 0.0);
          std::vector<ql::HdLinkId> links, expectLinks;
          std::vector<ql::HdLaneId> lanes, expectLanes;
          const bool found = Lib().GetLocateLanes(p, links, lanes);
          std::vector<const ql::HdLink*> nearby;
          if (Lib().GetDataNearby(p, 20, 20, nearby, ql::GetDataNearby_param{}, true)) {
            for (const ql::HdLink* link : nearby) {
              for (const ql::HdLane& lane : link->vcthlLane) {
                if (ql::HdLib::IsPointInLane(p, link, lane)) {
                  expectLinks.push_back(link->liId);
                  expectLanes.push_back(lane.liId);
                }
              }
            }
          }
          ++probes;
          held += found;
          ASSERT_EQ(found, !expectLanes.empty()) << "link " << stored.liId.lValue << " at " << i << "," << j;
          ASSERT_EQ(Values(lanes), Values(expectLanes))
              << "link " << stored.liId.lValue << " at " << i << "," << j;
          ASSERT_EQ(Values(links), Values(expectLinks));
        }
      }
    }
  }
  // The grid must actually reach into lanes, or the agreement says little.
  EXPECT_GT(held, probes / 10);
}

}  // namespace
