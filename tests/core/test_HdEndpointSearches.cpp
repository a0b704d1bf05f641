// The endpoint graph's searches near a position and its operations on an endpoint's link, in
// HdLib and through the facade, over a small map written as binary tiles and loaded through
// HdLib::Init. The HD store is one per process and keeps its tiles, so every test of this binary
// reads the same map; under ctest each test runs alone.

#include <gtest/gtest.h>

#include <cfloat>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "CoordSys.h"
#include "HdLib.h"
#include "HdTypes.h"
#include "MapBuilder.h"
#include "MapConfig.h"
#include "MapLib.h"
#include "MapTypes.h"
#include "Singleton.h"
#include "World.h"

namespace {

using GeoLink = ql::HdLib::GeoLink;
using qltest::AddEdge;
using qltest::AddLane;
using qltest::LaneId;
using qltest::Link;
using qltest::LinkId;

// Geometry in metres east (x) and north (y) of kOrigin, in its projection zone.
using qltest::At;
using qltest::kOrigin;

// A line running north at x from y0 to y1, a vertex every 10 m; with an altitude unless it is
// negative.
GeoLink North(double x, double y0, double y1, double alt = -1) {
  GeoLink line;
  for (double y = y0; y <= y1 + 1e-9; y += 10.0) {
    const ql::Point p = At(x, y);
    line.push_back(alt < 0 ? std::vector<double>{p.dLon, p.dLat} : std::vector<double>{p.dLon, p.dLat, alt});
  }
  return line;
}

// A link of lanes side by side between edge lines at the given x, each lane `width` mm wide
// (whatever the lines say), its line down the middle at altitude 5; edges id * 100 + k, lanes
// id * 10 + n numbered n. The link's own line runs down the middle of the road at altitude 3.
ql::HdLink Road(long id, double length, const std::vector<double>& edges, int width, double y0, double y1) {
  ql::HdLink link = Link(id, North((edges.front() + edges.back()) / 2, y0, y1, 3));
  link.dLength = length;
  for (std::size_t k = 0; k < edges.size(); ++k)
    AddEdge(link, id * 100 + static_cast<long>(k), North(edges[k], y0, y1));
  for (std::size_t n = 1; n < edges.size(); ++n) {
    AddLane(link, id * 10 + static_cast<long>(n), static_cast<int>(n), width, id * 100 + static_cast<long>(n) - 1,
            id * 100 + static_cast<long>(n), North((edges[n - 1] + edges[n]) / 2, y0, y1, 5));
  }
  return link;
}

// Road-area links of 40 m whose edge lines have only their two end vertices.
ql::HdLink AreaRoad(long id, const std::vector<double>& edges, int width) {
  ql::HdLink link = Road(id, 40, edges, width, 0, 40);
  for (ql::HdEdge& edge : link.vctheEdge)
    edge.vctvdGeoLink = {edge.vctvdGeoLink.front(), edge.vctvdGeoLink.back()};
  return link;
}

constexpr long kUnloaded = 999;

// ---- the map, in metres from the origin -------------------------------------------------------------
//
//   near p = (0, 0):       501 lanes 1, 2 between x -2, 1.5, 5     502 lane -1 between x 10, 13.5
//                          503 an empty lane and no line at x -15  504 no lanes, its line at x -8
//   road area, p = (105, 30): 601 .. 612, two lanes each from x 100 (see AreaLinks)
//   ties near (203, 21):   701, 702 and their lanes meet at (202, 20)
//   no lanes, (300, 20):   505; (320, 20): 506 without a line
//   lane numbers as positions: 801, 802 at y 1000
//   the facade's box around (500, 0): 901 25 m east, 902 28 m north
std::vector<ql::HdLink> NearLinks() {
  std::vector<ql::HdLink> links;
  ql::HdLink l501 = Road(501, 40, {-2, 1.5, 5}, 3500, -20, 20);
  l501.nSpeedLimit = 60;
  l501.vctheEdge[1].nType = 7;  // a stop line among its edges
  links.push_back(l501);
  ql::HdLink l502 = Road(502, 41, {10, 13.5}, 3500, -20, 20);
  l502.vcthlLane[0].nSeqNum = -1;
  l502.nSpeedLimit = 50;
  links.push_back(l502);
  ql::HdLink l503 = Road(503, 42, {-15, -11.5}, 3500, -20, 20);
  l503.vctvdGeoLink.clear();
  l503.vcthlLane[0].vctvdGeoLink.clear();
  links.push_back(l503);
  links.push_back(Link(504, North(-8, -20, 20, 3)));
  links.back().dLength = 43;
  links.push_back(Link(505, North(300, 0, 40)));
  ql::HdLink l506 = Road(506, 44, {318, 322}, 3500, 0, 40);
  l506.vctvdGeoLink.clear();
  links.push_back(l506);
  return links;
}

std::vector<ql::HdLink> AreaLinks() {
  std::vector<ql::HdLink> links;
  links.push_back(AreaRoad(601, {100, 103.5, 107}, 3500));  // 7 m: the lines run alike
  ql::HdLink l602 = AreaRoad(602, {100, 103.5, 107}, 3500);
  std::swap(l602.vctheEdge[0].vctvdGeoLink[0], l602.vctheEdge[0].vctvdGeoLink[1]);  // drawn southwards
  links.push_back(l602);
  ql::HdLink l603 = AreaRoad(603, {100, 103.5, 107}, 3500);
  l603.vcthlLane.clear();
  links.push_back(l603);
  ql::HdLink l604 = AreaRoad(604, {100, 103.5, 107}, 3500);
  l604.vcthlLane[0].lLeftEdgeId = 60499;
  links.push_back(l604);
  ql::HdLink l605 = AreaRoad(605, {100, 103.5, 107}, 3500);
  l605.vctheEdge[0].vctvdGeoLink.clear();
  links.push_back(l605);
  links.push_back(AreaRoad(606, {100, 104.25, 108.5}, 3500));        // 8.5 m within 2 x 3.5 + 2
  links.push_back(AreaRoad(607, {100, 104.75, 109.5}, 3500));        // 9.5 m beyond: taken as reversed
  links.push_back(AreaRoad(608, {100, 104.75, 109.5}, 2000000000));  // the limit beyond an int
  ql::HdLink l609 = AreaRoad(609, {100, 103.5, 107}, 0);             // 7 m within 2 x 4,
  l609.vctvdGeoLink.clear();                                         // and no line: no end point
  links.push_back(l609);
  links.push_back(AreaRoad(610, {100, 104.25, 108.5}, 0));      // 8.5 m beyond
  ql::HdLink l611 = AreaRoad(611, {100, 104.75, 109.5}, 3500);  // 9.5 m beyond the first lane's
  l611.vcthlLane[1].nWidth = 6000;                              // 2 x 3.5 + 2, not the last's
  links.push_back(l611);
  // The left line starts where the right one does: 0 m apart, at a limit of 2 x -1 + 2 m = 0, so
  // not beyond it; walked backwards the left line would hold nothing.
  ql::HdLink l612 = AreaRoad(612, {100, 103.5, 107}, -1000);
  l612.vctheEdge[0].vctvdGeoLink.front() = l612.vctheEdge[2].vctvdGeoLink.front();
  links.push_back(l612);
  return links;
}

std::vector<ql::HdLink> OtherLinks() {
  std::vector<ql::HdLink> links;
  ql::HdLink l702 = Road(702, 20, {201, 203}, 3500, 20, 40);  // listed first; 701 still wins ties
  l702.vctliPreLinkId = {LinkId(701)};
  l702.vcthlLane[0].nSeqNum = 1;
  links.push_back(l702);
  ql::HdLink l701 = Road(701, 20, {201, 203}, 3500, 0, 20);
  l701.vcthlLane[0].liId = LaneId(7012);
  l701.vcthlLane[0].nSeqNum = 2;
  l701.vcthlLane.push_back(l701.vcthlLane[0]);  // an overlapping lane, stored after it
  l701.vcthlLane[1].liId = LaneId(7011);
  l701.vcthlLane[1].nSeqNum = 1;
  l701.vcthlLane[1].vctliNxtLaneId = {LaneId(7021)};
  l701.vctliNxtLinkId = {LinkId(702)};
  links.push_back(l701);

  ql::HdLink l801 = Road(801, 30, {400, 403.5, 407, 410.5}, 3500, 1000, 1020);
  for (ql::HdLane& lane : l801.vcthlLane) lane.nSeqNum = 4 - lane.nSeqNum;  // numbers 3, 2, 1 as stored
  links.push_back(l801);
  ql::HdLink l802 = Road(802, 30, {420, 423.5, 427}, 3500, 1000, 1020);
  l802.vcthlLane[1].vctvdGeoLink.clear();
  links.push_back(l802);

  links.push_back(Road(901, 10, {524, 526}, 3500, -1, 1));
  links.push_back(Road(902, 10, {499, 501}, 3500, 28, 28));
  return links;
}

std::vector<ql::HdLink> MapLinks() {
  std::vector<ql::HdLink> links;
  for (const auto& part : {NearLinks(), AreaLinks(), OtherLinks()})
    links.insert(links.end(), part.begin(), part.end());
  return links;
}

const qltest::WrittenMap& Map() {
  static const qltest::WrittenMap map("test_HdEndpointSearches", MapLinks(), 4, "config_binary.json");
  return map;
}

using HdStore = ql::Singleton<ql::HdWorld, ql::NewHdWorld>;

class Endpoints : public ::testing::Test {
 protected:
  void SetUp() override { Map(); }
  const ql::HdLib& Lib() const { return *ql::HdLib::GetInstance(); }
  static const ql::HdLink& Stored(long id) { return Map().Stored(id); }
  static ql::LaneEndpoint OnLink(long id, int from = 1, int to = 1) {
    ql::LaneEndpoint e;
    e.liLinkId = id == kUnloaded ? LinkId(kUnloaded, {ql::P2TId(At(0, 0))}) : Stored(id).liId;
    e.nFromSeqNum = from;
    e.nToSeqNum = to;
    return e;
  }
  static ql::Point LastOf(const GeoLink& geo) { return geo.empty() ? ql::Point() : ql::Point(geo.back()); }
};

// "link/lane from>to" of lane endpoints, "link" of link endpoints.
std::string Name(const ql::LinkEndpoint& e) { return std::to_string(e.liLinkId.lValue); }
std::string Name(const ql::LaneEndpoint& e) {
  return std::to_string(e.liLinkId.lValue) + "/" + std::to_string(e.liLaneId.lValue) + " " +
         std::to_string(e.nFromSeqNum) + ">" + std::to_string(e.nToSeqNum);
}
template <class E>
std::vector<std::string> Names(const std::vector<E>& endpoints) {
  std::vector<std::string> out;
  for (const E& e : endpoints) out.push_back(Name(e));
  return out;
}

// The three parallel lists of GetNearEndpoints.
template <class E>
struct Near {
  std::vector<ql::Point> feet;
  std::vector<E> endpoints;
  std::vector<double> distances;

  bool Ask(const ql::Point& p, float half) {
    return ql::HdLib::GetInstance()->GetNearEndpoints(p, half, half, feet, endpoints, distances);
  }
};

// ---- before Init --------------------------------------------------------------------------------------

// Only meaningful in a process that has not initialised the library (ctest runs each test alone).
TEST(EndpointsBeforeInit, FindNothingAndCreateNoStore) {
  if (HdStore().operator->() != nullptr) GTEST_SKIP() << "the store already exists in this process";
  const ql::HdLib& lib = *ql::HdLib::GetInstance();
  const ql::Point p = At(0, 0);
  std::vector<ql::Point> feet;
  std::vector<ql::LaneEndpoint> lanes;
  std::vector<double> distances;
  EXPECT_FALSE(lib.GetNearEndpoints(p, 20, 20, feet, lanes, distances));
  std::vector<ql::LinkEndpoint> links;
  EXPECT_FALSE(lib.GetLocateEndpoints(p, 20, 20, links));
  ql::LaneEndpoint e;
  e.liLinkId = LinkId(501, {ql::P2TId(p)});
  GeoLink geo{{1, 2}};
  EXPECT_FALSE(lib.GetGeoLink(e, geo, true));
  EXPECT_EQ(geo, (GeoLink{{1, 2}}));
  EXPECT_EQ(lib.GetLinkSpeedLimit(e), -1);
  EXPECT_EQ(lib.GetDistanceToLeftEdge(e, p), -1.0);
  std::vector<ql::LaneEndpoint> out;
  EXPECT_FALSE(lib.GetPreEndpoints(e, out));
  EXPECT_EQ(HdStore().operator->(), nullptr) << "a query must not create the store";
}

// ---- GetNearEndpoints, GetNearestEndpoint --------------------------------------------------------------

TEST_F(Endpoints, NearLinksComeByDistanceOfTheirNearestVertexAfterWhatTheListsHeld) {
  const ql::Point p = At(0, 0);
  Near<ql::LinkEndpoint> near;
  near.feet.resize(1);
  near.endpoints.resize(1);
  near.distances.assign(1, -7.0);
  ASSERT_TRUE(near.Ask(p, 20));
  const auto& [feet, endpoints, distances] = near;
  ASSERT_EQ(endpoints.size(), 5u);
  ASSERT_EQ(feet.size(), 5u);
  ASSERT_EQ(distances.size(), 5u);
  EXPECT_EQ(distances[0], -7.0);
  EXPECT_EQ(Names(endpoints), (std::vector<std::string>{"0", "501", "504", "502", "503"}));
  const double approx[] = {1.5, 8, 11.75};
  for (std::size_t i = 1; i < 5; ++i) {
    const ql::HdLink& link = Stored(endpoints[i].liLinkId.lValue);
    SCOPED_TRACE(link.liId.lValue);
    EXPECT_EQ(endpoints[i].ptEnd, LastOf(link.vctvdGeoLink));
    EXPECT_EQ(endpoints[i].dLinkLength, link.dLength);
    EXPECT_EQ(endpoints[i].liLinkId.vcttiTileIds.size(), link.liId.vcttiTileIds.size());
    if (link.vctvdGeoLink.empty()) {
      EXPECT_EQ(feet[i], ql::Point());
      EXPECT_EQ(distances[i], DBL_MAX);
      continue;
    }
    EXPECT_EQ(feet[i], ql::Point(link.vctvdGeoLink[2]));  // the vertex at y = 0, altitude kept
    EXPECT_EQ(distances[i], ql::PointsDis(feet[i], p));
    EXPECT_NEAR(distances[i], approx[i - 1], 0.05);  // haversine metres, drawn in the plane
  }
}

TEST_F(Endpoints, NearLanesComeByDistanceWithTheirLinksLengthAndTheirOwnEnd) {
  const ql::Point p = At(0, 0);
  Near<ql::LaneEndpoint> near;
  ASSERT_TRUE(near.Ask(p, 20));
  const auto& [feet, endpoints, distances] = near;
  EXPECT_EQ(Names(endpoints),
            (std::vector<std::string>{"501/5011 1>1", "501/5012 2>2", "502/5021 -1>-1", "503/5031 1>1"}));
  ASSERT_EQ(feet.size(), 4u);
  ASSERT_EQ(distances.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    const ql::HdLink& link = Stored(endpoints[i].liLinkId.lValue);
    const ql::HdLane& lane = link.vcthlLane[endpoints[i].liLaneId.lValue == 5012 ? 1 : 0];
    SCOPED_TRACE(Name(endpoints[i]));
    EXPECT_EQ(endpoints[i].ptEnd, LastOf(lane.vctvdGeoLink));
    EXPECT_EQ(endpoints[i].dLinkLength, link.dLength);
    EXPECT_EQ(feet[i], lane.vctvdGeoLink.empty() ? ql::Point() : ql::Point(lane.vctvdGeoLink[2]));
    EXPECT_EQ(distances[i], lane.vctvdGeoLink.empty() ? DBL_MAX : ql::PointsDis(feet[i], p));
  }
  EXPECT_NEAR(distances[0], 0.25, 0.01);
  EXPECT_NEAR(distances[1], 3.25, 0.01);
}

TEST_F(Endpoints, EqualDistancesKeepLinkThenStoredLaneOrderAndTheFirstIsTheNearest) {
  const ql::Point p = At(203, 21);
  Near<ql::LinkEndpoint> links;
  ASSERT_TRUE(links.Ask(p, 10));
  EXPECT_EQ(Names(links.endpoints), (std::vector<std::string>{"701", "702"}));
  ASSERT_EQ(links.distances.size(), 2u);
  EXPECT_EQ(links.distances[0], links.distances[1]);  // both lines hold the junction vertex (202, 20)

  Near<ql::LaneEndpoint> lanes;
  ASSERT_TRUE(lanes.Ask(p, 10));
  EXPECT_EQ(Names(lanes.endpoints), (std::vector<std::string>{"701/7012 2>2", "701/7011 1>1", "702/7021 1>1"}));
  EXPECT_EQ(lanes.distances[0], lanes.distances[2]);

  ql::Point foot;
  ql::LinkEndpoint link;
  double distance = 0;
  ASSERT_TRUE(Lib().GetNearestEndpoint(p, 10, 10, foot, link, distance));
  EXPECT_EQ(link.liLinkId.lValue, 701);
  ql::LaneEndpoint lane;
  ASSERT_TRUE(Lib().GetNearestEndpoint(p, 10, 10, foot, lane, distance));
  EXPECT_EQ(Name(lane), "701/7012 2>2");
}

TEST_F(Endpoints, NearestSetsTheFoundFieldsAndKeepsTheOthers) {
  const ql::Point p = At(0, 0);
  ql::Point foot(9, 9, 9);
  double distance = -1;
  ql::LinkEndpoint link;
  link.liLaneId = LaneId(77);
  link.vctptReserved = {ql::Point(1, 1, 1)};
  ASSERT_TRUE(Lib().GetNearestEndpoint(p, 20, 20, foot, link, distance));
  const ql::HdLink& l501 = Stored(501);
  EXPECT_EQ(link.liLinkId.lValue, 501);
  EXPECT_EQ(link.ptEnd, LastOf(l501.vctvdGeoLink));
  EXPECT_EQ(link.dLinkLength, 40);
  EXPECT_EQ(link.liLaneId.lValue, 77);
  EXPECT_EQ(link.vctptReserved.size(), 1u);
  EXPECT_EQ(foot, ql::Point(l501.vctvdGeoLink[2]));
  EXPECT_EQ(distance, ql::PointsDis(foot, p));

  ql::LaneEndpoint lane;
  lane.nReserved = 8;
  lane.vctptReserved = {ql::Point(1, 1, 1)};
  ASSERT_TRUE(Lib().GetNearestEndpoint(p, 20, 20, foot, lane, distance));
  const ql::HdLane& l5011 = l501.vcthlLane[0];
  EXPECT_EQ(Name(lane), "501/5011 1>1");
  EXPECT_EQ(lane.ptEnd, LastOf(l5011.vctvdGeoLink));
  EXPECT_EQ(lane.dLinkLength, 40);
  EXPECT_EQ(lane.nReserved, 8);
  EXPECT_EQ(lane.vctptReserved.size(), 1u);
  EXPECT_EQ(foot, ql::Point(l5011.vctvdGeoLink[2]));
  EXPECT_NEAR(distance, 0.25, 0.01);
}

// What each search gives where the box holds links without lanes, without a line, or nothing.
TEST_F(Endpoints, SearchesOverLinksWithoutLanesOrLinesOrWithoutAnyLink) {
  const ql::Point keptFoot(9, 9, 9);
  const struct {
    const char* name;
    ql::Point p;
    float half;
    bool linkNear, laneNear, linkNearest, laneNearest;
  } cases[] = {
      {"a link without lanes", At(300, 20), 10, true, false, true, false},
      {"a link without a line", At(320, 20), 5, true, true, false, true},
      {"no link", At(5000, 5000), 20, false, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ql::Point> feet(1);
    std::vector<ql::LinkEndpoint> links(1);
    std::vector<ql::LaneEndpoint> lanes(1);
    std::vector<double> distances(1);
    EXPECT_EQ(Lib().GetNearEndpoints(c.p, c.half, c.half, feet, links, distances), c.linkNear);
    EXPECT_EQ(links.size(), c.linkNear ? 2u : 1u);
    feet.resize(1);
    distances.resize(1);
    EXPECT_EQ(Lib().GetNearEndpoints(c.p, c.half, c.half, feet, lanes, distances), c.laneNear);
    EXPECT_EQ(lanes.size(), c.laneNear ? 2u : 1u);
    EXPECT_EQ(feet.size(), lanes.size());
    EXPECT_EQ(distances.size(), lanes.size());
    ql::Point foot = keptFoot;
    double distance = -3;
    ql::LinkEndpoint link;
    EXPECT_EQ(Lib().GetNearestEndpoint(c.p, c.half, c.half, foot, link, distance), c.linkNearest);
    if (!c.linkNearest) {
      EXPECT_EQ(foot, keptFoot);
      EXPECT_EQ(distance, -3);
      EXPECT_EQ(link.liLinkId.lValue, 0);
    }
    ql::LaneEndpoint lane;
    foot = keptFoot;
    EXPECT_EQ(Lib().GetNearestEndpoint(c.p, c.half, c.half, foot, lane, distance), c.laneNearest);
    if (!c.laneNearest) {
      EXPECT_EQ(foot, keptFoot);
    }
  }
}

// ---- GetLocateEndpoints ----------------------------------------------------------------------------------

TEST_F(Endpoints, LocatedLinksAreThoseWhoseRoadAreaHoldsThePoint) {
  std::vector<ql::LinkEndpoint> out;
  ASSERT_TRUE(Lib().GetLocateEndpoints(At(105, 30), 15, 15, out));
  // Not 603 (no lanes), 604 (no left edge), 605 (an empty left line), 607, 610 and 611 (their
  // lines start farther apart than the road is wide, so the left one is walked backwards).
  EXPECT_EQ(Names(out), (std::vector<std::string>{"601", "602", "606", "608", "609", "612"}));
  for (const ql::LinkEndpoint& e : out) {
    const ql::HdLink& link = Stored(e.liLinkId.lValue);
    SCOPED_TRACE(link.liId.lValue);
    EXPECT_EQ(e.ptEnd, LastOf(link.vctvdGeoLink));
    EXPECT_EQ(e.dLinkLength, 40);
    EXPECT_EQ(e.liLaneId.lValue, 0);
  }
}

TEST_F(Endpoints, LocateIsTrueForAListThatHeldEntriesEvenWhenNothingIsAppended) {
  const ql::Point beyond = At(105, 45);  // north of every road, near their last vertices
  std::vector<ql::LinkEndpoint> out;
  EXPECT_FALSE(Lib().GetLocateEndpoints(beyond, 15, 15, out));
  EXPECT_TRUE(out.empty());
  out.resize(1);
  EXPECT_TRUE(Lib().GetLocateEndpoints(beyond, 15, 15, out));
  EXPECT_EQ(out.size(), 1u);
  std::vector<ql::LaneEndpoint> lanes(1);
  EXPECT_FALSE(Lib().GetLocateEndpoints(At(5000, 5000), 15, 15, lanes)) << "no link in the box";
  EXPECT_EQ(lanes.size(), 1u);
}

TEST_F(Endpoints, LocatedLanesHaveNoEndPointAndNoLength) {
  std::vector<ql::LaneEndpoint> out;
  ASSERT_TRUE(Lib().GetLocateEndpoints(At(0, 0), 20, 20, out));
  EXPECT_EQ(Names(out), (std::vector<std::string>{"501/5011 1>1"}));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].ptEnd, ql::Point());
  EXPECT_EQ(out[0].dLinkLength, 0.0);
  ASSERT_TRUE(Lib().GetLocateEndpoints(At(11.75, 5), 20, 20, out));
  EXPECT_EQ(Names(out), (std::vector<std::string>{"501/5011 1>1", "502/5021 -1>-1"}));
}

// ---- the endpoint's link -------------------------------------------------------------------------------

TEST_F(Endpoints, SpeedLimitAndStopLineOfTheEndpointsLink) {
  EXPECT_EQ(Lib().GetLinkSpeedLimit(OnLink(501)), 60);
  EXPECT_EQ(Lib().GetLinkSpeedLimit(OnLink(502)), 50);
  EXPECT_EQ(Lib().GetLinkSpeedLimit(OnLink(kUnloaded)), -1);
  EXPECT_TRUE(Lib().HasStopLine(OnLink(501)));
  EXPECT_FALSE(Lib().HasStopLine(OnLink(502)));
  EXPECT_FALSE(Lib().HasStopLine(OnLink(kUnloaded)));
}

TEST_F(Endpoints, EdgeDistancesOfTheLinksFirstAndLastLane) {
  const struct {
    const char* name;
    long link;
    ql::Point p;
    double left, right;
  } cases[] = {
      {"from the left edge at -2 and the right at 5", 501, At(0.5, 5), 2, 4},  // 2.5 and 4.5 m, truncated
      {"a left edge id the link lacks", 604, At(104.5, 30), DBL_MAX, 2},
      {"an empty left edge line", 605, At(104.5, 30), DBL_MAX, 2},
      {"no lanes", 603, At(105, 30), DBL_MAX, DBL_MAX},
      {"not loaded", kUnloaded, At(0, 0), -1.0, -1.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ql::LaneEndpoint e = OnLink(c.link, 2, 2);
    e.liLaneId = LaneId(c.link * 10 + 2);  // the endpoint's own lane plays no part
    EXPECT_EQ(Lib().GetDistanceToLeftEdge(e, c.p), c.left);
    EXPECT_EQ(Lib().GetDistanceToRightEdge(e, c.p), c.right);
  }
}

TEST_F(Endpoints, GeoLinkTakesLaneNumbersAsPositions) {
  const GeoLink held{{9, 9}};
  const std::vector<ql::HdLane>& l801 = Stored(801).vcthlLane;  // numbered 3, 2, 1 as stored
  const struct {
    const char* name;
    long link;
    int from, to;
    bool found;
    GeoLink geometry;
  } cases[] = {
      {"one lane: replaced", 801, 2, 2, true, l801[1].vctvdGeoLink},
      {"first position", 801, 1, 1, true, l801[0].vctvdGeoLink},
      {"across: appended", 801, 1, 3, true, {{9, 9}, l801[0].vctvdGeoLink.front(), l801[2].vctvdGeoLink.back()}},
      {"across backwards", 801, 3, 1, true, {{9, 9}, l801[2].vctvdGeoLink.front(), l801[0].vctvdGeoLink.back()}},
      {"an empty lane replaces", 802 /* its second lane has no vertex */, 2, 2, true, {}},
      {"an empty lane has no vertex to give", 802, 1, 2, false, held},
      {"number 0", 801, 0, 1, false, held},
      {"beyond the lane count", 801, 1, 4, false, held},
      {"negative numbers", 801, -1, -1, false, held},
      {"not loaded", kUnloaded, 1, 1, false, held},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GeoLink geometry = held;
    EXPECT_EQ(Lib().GetGeoLink(OnLink(c.link, c.from, c.to), geometry, false), c.found);
    EXPECT_EQ(geometry, c.geometry);
  }
  GeoLink geometry = held;
  EXPECT_TRUE(Lib().GetGeoLink(Stored(801).liId, geometry));
  EXPECT_EQ(geometry, Stored(801).vctvdGeoLink);
  geometry = held;
  EXPECT_FALSE(Lib().GetGeoLink(OnLink(kUnloaded).liLinkId, geometry));
  EXPECT_EQ(geometry, held);
}

TEST_F(Endpoints, GeoLinkLoadsTheTilesAroundTheEndPointWhenAsked) {
  const ql::HdWorld& store = *HdStore().operator->();
  ql::LaneEndpoint quiet = OnLink(801);
  quiet.ptEnd = At(0, 20000);  // tiles without a file: a load marks them failed
  ql::LaneEndpoint loading = OnLink(801);
  loading.ptEnd = At(0, 30000);
  GeoLink geometry;
  EXPECT_TRUE(Lib().GetGeoLink(quiet, geometry, false));
  EXPECT_TRUE(Lib().GetGeoLink(loading, geometry, true));
  EXPECT_EQ(store.GetFailedTiles().count(ql::P2TId(quiet.ptEnd)), 0u);
  EXPECT_EQ(store.GetFailedTiles().count(ql::P2TId(loading.ptEnd)), 1u);

  // Both half-sizes are the longitude interval (0.02, taken as metres), whatever the latitude
  // interval: with one of 0.5 for this call, a point 0.25 m south of a tile row's edge loads its
  // own tile and none north of that edge.
  const double latInterval = ql::MapConfig::tile_lat_interval;
  ql::MapConfig::tile_lat_interval = 0.5;
  ql::LaneEndpoint tall = OnLink(801);
  tall.ptEnd = ql::Point(kOrigin.dLon, 40.0 - 0.25 / 111195.0, 0.0);
  EXPECT_TRUE(Lib().GetGeoLink(tall, geometry, true));
  // The tiles of that grid holding the point and a point just north of the edge.
  const auto tileAt = [](double lat) {
    return *ql::R2TIds(ql::P2R(ql::Point(kOrigin.dLon, lat, 0.0), 0.001f, 0.001f)).begin();
  };
  const ql::TileId own = tileAt(tall.ptEnd.dLat);
  const ql::TileId north = tileAt(40.0 + 1e-6);
  ql::MapConfig::tile_lat_interval = latInterval;
  EXPECT_EQ(store.GetFailedTiles().count(own), 1u);
  EXPECT_EQ(store.GetFailedTiles().count(north), 0u);
}

// ---- the facade ----------------------------------------------------------------------------------------

class FacadeEndpoints : public Endpoints {
 protected:
  void TearDown() override {
    ql::MapConfig::route_rect_lon = 0;
    ql::MapConfig::route_rect_lat = 0;
  }
  ql::MapLib m_facade;
};

TEST_F(FacadeEndpoints, SearchBoxIsTheConfiguredRouteRectangleReadAtEveryCall) {
  const ql::Point p = At(500, 0);  // 901 lies 25 m east, 902 28 m north
  const struct {
    double lon, lat;
    std::vector<std::string> links;
  } cases[] = {{30, 20, {"901"}}, {20, 30, {"902"}}, {30, 30, {"901", "902"}}, {0, 0, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.lon) + " x " + std::to_string(c.lat));
    ql::MapConfig::route_rect_lon = c.lon;
    ql::MapConfig::route_rect_lat = c.lat;
    std::vector<ql::Point> feet;
    std::vector<ql::LinkEndpoint> links;
    std::vector<double> distances;
    EXPECT_EQ(m_facade.GetNearEndpoints(p, feet, links, distances), !c.links.empty());
    EXPECT_EQ(Names(links), c.links);
  }
}

TEST_F(FacadeEndpoints, ForwardsEverySearchWithTheConfiguredBoxAndTheRestUnchanged) {
  ql::MapConfig::route_rect_lon = 20;
  ql::MapConfig::route_rect_lat = 15;
  for (const ql::Point& p : {At(0, 0), At(105, 30), At(203, 21), At(5000, 5000)}) {
    SCOPED_TRACE(p.dLon);
    std::vector<ql::Point> feet[2];
    std::vector<ql::LinkEndpoint> links[2];
    std::vector<ql::LaneEndpoint> lanes[2];
    std::vector<double> distances[2];
    EXPECT_EQ(m_facade.GetNearEndpoints(p, feet[0], links[0], distances[0]),
              Lib().GetNearEndpoints(p, 20, 15, feet[1], links[1], distances[1]));
    EXPECT_EQ(m_facade.GetNearEndpoints(p, feet[0], lanes[0], distances[0]),
              Lib().GetNearEndpoints(p, 20, 15, feet[1], lanes[1], distances[1]));
    EXPECT_EQ(m_facade.GetLocateEndpoints(p, links[0]), Lib().GetLocateEndpoints(p, 20, 15, links[1]));
    EXPECT_EQ(m_facade.GetLocateEndpoints(p, lanes[0]), Lib().GetLocateEndpoints(p, 20, 15, lanes[1]));
    ql::Point foot[2];
    ql::LinkEndpoint link[2];
    ql::LaneEndpoint lane[2];
    double distance[2] = {0, 0};
    EXPECT_EQ(m_facade.GetNearestEndpoint(p, foot[0], link[0], distance[0]),
              Lib().GetNearestEndpoint(p, 20, 15, foot[1], link[1], distance[1]));
    EXPECT_EQ(m_facade.GetNearestEndpoint(p, foot[0], lane[0], distance[0]),
              Lib().GetNearestEndpoint(p, 20, 15, foot[1], lane[1], distance[1]));
    EXPECT_EQ(Names(links[0]), Names(links[1]));
    EXPECT_EQ(Names(lanes[0]), Names(lanes[1]));
    EXPECT_EQ(feet[0], feet[1]);
    EXPECT_EQ(distances[0], distances[1]);
    EXPECT_EQ(Name(link[0]), Name(link[1]));
    EXPECT_EQ(Name(lane[0]), Name(lane[1]));
    EXPECT_EQ(foot[0], foot[1]);
    EXPECT_EQ(distance[0], distance[1]);
  }

  ql::LaneEndpoint into702 = OnLink(702);
  into702.liLaneId = LaneId(7021);
  std::vector<ql::LaneEndpoint> pre;
  EXPECT_TRUE(m_facade.GetPreEndpoints(into702, pre));
  EXPECT_EQ(Names(pre), (std::vector<std::string>{"701/7011 1>1"}));
  GeoLink geometry;
  EXPECT_TRUE(m_facade.GetGeoLink(OnLink(801, 1, 3), geometry, false));
  EXPECT_EQ(geometry.size(), 2u);
  EXPECT_TRUE(m_facade.GetGeoLink(Stored(802).liId, geometry));
  EXPECT_EQ(geometry, Stored(802).vctvdGeoLink);
  EXPECT_FALSE(m_facade.GetGeoLink(OnLink(kUnloaded), geometry, true));
}

}  // namespace
