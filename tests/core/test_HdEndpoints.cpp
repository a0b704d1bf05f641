// The endpoint graph's walks end to end: the next link and lane endpoints, the previous lane
// endpoints and the lane-level rules under them (IsReachable, GenCrossable), over a small map
// written as JSON tiles and loaded through HdLib::Init. The HD store is one per process and
// keeps its tiles, so every test of this binary reads the same map; under ctest each test runs
// alone.
//
// Moves are compared as whole lists in text form, "link/lane from>to end", where end is "@2" for
// a lane's last vertex (lane lines are drawn with altitude 1 at the first vertex and 2 at the
// last), "@1" for its first, "@0" for a vertex without altitude and "-" for no end point; each
// end point is also checked against the stored vertex, and each length against the link's.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "CoordSys.h"
#include "HdLib.h"
#include "HdTypes.h"
#include "MapBuilder.h"

namespace {

using GeoLink = ql::HdLib::GeoLink;
using qltest::AddEdge;
using qltest::AddLane;
using qltest::LaneId;
using qltest::Link;
using qltest::LinkId;

using qltest::At;

std::vector<double> Vertex(double x, double y, double alt) {
  const ql::Point p = At(x, y);
  return {p.dLon, p.dLat, alt};
}

// Links lie side by side, half a metre apart by id; the walks read no geometry but end points.
double X(long linkId) { return static_cast<double>(linkId - 100) * 0.5; }

// A lane line running 10 m north, at altitude 1 at its first vertex and 2 at its last.
GeoLink LaneLine(double x) { return {Vertex(x, 0, 1.0), Vertex(x, 5, 1.5), Vertex(x, 10, 2.0)}; }

constexpr int kNoEdge = INT_MIN;  // the lane names an edge that the link lacks

// One lane of Road(): its own left and right edge (ids id * 10 + 1 and + 2) with these nCross
// values, its predecessor and successor lanes and its direction.
struct LaneSpec {
  long id;
  int num;
  int left = 1;
  int right = 1;
  std::vector<long> pre = {};
  std::vector<long> nxt = {};
  int direction = 2;
};

ql::HdLink Road(long id, double length, const std::vector<LaneSpec>& lanes, const std::vector<long>& nxt = {},
                const std::vector<long>& pre = {}) {
  ql::HdLink link = Link(id, {Vertex(X(id), 0, 0.0), Vertex(X(id), 10, 0.0)});
  link.dLength = length;
  double x = X(id);
  for (const LaneSpec& s : lanes) {
    if (s.left != kNoEdge) AddEdge(link, s.id * 10 + 1, {}).nCross = s.left;
    if (s.right != kNoEdge) AddEdge(link, s.id * 10 + 2, {}).nCross = s.right;
    ql::HdLane& lane = AddLane(link, s.id, s.num, 3500, s.id * 10 + 1, s.id * 10 + 2, LaneLine(x += 0.05));
    lane.nDirection = s.direction;
    for (long v : s.pre) lane.vctliPreLaneId.push_back(LaneId(v));
    for (long v : s.nxt) lane.vctliNxtLaneId.push_back(LaneId(v));
  }
  for (long v : nxt) link.vctliNxtLinkId.push_back(LinkId(v));
  for (long v : pre) link.vctliPreLinkId.push_back(LinkId(v));
  return link;
}

// No link of the map has this id; ids of it carry no tile, or a tile that holds nothing.
constexpr long kUnloaded = 999;

ql::TileId MapTile() { return ql::P2TId(At(0, 0)); }

// ---- the map -------------------------------------------------------------------------------------
//
//   100..105  the link walk: successors with and without geometry, lanes, vertices
//   200..230  the lane walk's main case; 300 and 240..283 one successor per row of its table
//   401..420  IsReachable and GenCrossable
//   500..650  the predecessor walk
std::vector<ql::HdLink> LinkWalkLinks() {
  std::vector<ql::HdLink> links;
  links.push_back(Road(100, 10, {}, {103, kUnloaded, 101, 102, 104}));
  ql::HdLink l101 = Road(101, 11, {});
  l101.vctvdGeoLink = {Vertex(X(101), 0, 7.0), Vertex(X(101), 10, 8.0)};
  links.push_back(l101);
  ql::HdLink l102 = Road(102, 12, {{1021, 1}, {1022, 2}});  // no geometry: its first lane's end
  l102.vctvdGeoLink.clear();
  l102.vcthlLane[1].vctvdGeoLink = LaneLine(X(102) + 3);
  links.push_back(l102);
  ql::HdLink l103 = Road(103, 13, {});  // no geometry and no lane: placed by an edge line
  l103.vctvdGeoLink.clear();
  AddEdge(l103, 10301, {Vertex(X(103), 0, 0.0)});
  links.push_back(l103);
  ql::HdLink l104 = Road(104, 14, {{1041, 1}, {1042, 2}});  // no geometry, an empty first lane
  l104.vctvdGeoLink.clear();
  l104.vcthlLane[0].vctvdGeoLink.clear();
  links.push_back(l104);
  links.push_back(Road(105, 15, {}, {kUnloaded}));
  // Listed by 100 with a tile list of its own: the endpoint carries 106's own id.
  links.front().vctliNxtLinkId.push_back(LinkId(106, {MapTile(), MapTile()}));
  links.push_back(Road(106, 16, {}));
  return links;
}

// Successor link of a lane-walk row: lanes A (number 1, continuing lane 3000 + row) and B
// (number 2), A's right edge crossable as `cross` says.
ql::HdLink TwoLaneSuccessor(long id, long fromLane, int cross, double length = 15) {
  return Road(id, length, {{id * 10 + 1, 1, 1, cross, {fromLane}}, {id * 10 + 2, 2}});
}

std::vector<ql::HdLink> LaneWalkLinks() {
  std::vector<ql::HdLink> links;
  ql::HdLink l200 = Road(200, 10, {{2001, 1}}, {230, kUnloaded});
  l200.vctliNxtLinkId.push_back(LinkId(210, {MapTile(), MapTile()}));  // a tile list of its own
  l200.vctliNxtLinkId.push_back(LinkId(220));
  l200.vctliNxtLinkId.push_back(LinkId(210));  // listed twice
  links.push_back(l200);
  links.push_back(Road(210, 15, {{2101, 1, 1, 4, {2001, 2001}}, {2102, 2}}));
  links.push_back(Road(220, 100, {{2209, 1, 2, 2, {2001}}, {2207, 2, 2, 2, {2001}}, {2208, 3, 2, 2, {}, {}, 3}}));
  const LaneSpec twice{2301, 1, 1, 1, {2001}};
  ql::HdLink l230 = Road(230, 5, {twice, twice});
  l230.vcthlLane[1] = l230.vcthlLane[0];  // the same lane, listed twice
  links.push_back(l230);

  // One from-link for the table: its lane 3000 + k is continued by the successor of row k.
  std::vector<LaneSpec> fromLanes;
  for (long k = 1; k <= 40; ++k) fromLanes.push_back({3000 + k, static_cast<int>(k)});
  std::vector<long> successors;
  for (long id = 240; id <= 283; ++id) successors.push_back(id);
  links.push_back(Road(300, 10, fromLanes, successors));
  links.push_back(Road(301, 10, {{3011, 1}}, {kUnloaded}));

  // Lane-change thresholds: lanes 1, 2, 3 with crossable right edges, lane 1 continuing.
  const double lengths[] = {20, 19.5, 9.5, -1, std::numeric_limits<double>::quiet_NaN()};
  for (long k = 0; k < 5; ++k) {
    const long id = 240 + k;
    links.push_back(
        Road(id, lengths[k], {{id * 10 + 1, 1, 1, 2, {3001 + k}}, {id * 10 + 2, 2, 1, 2}, {id * 10 + 3, 3}}));
  }
  // Crossing types of the continuing lane's edge towards the other lane.
  links.push_back(TwoLaneSuccessor(250, 3006, 4));
  links.push_back(TwoLaneSuccessor(251, 3007, 2));
  links.push_back(TwoLaneSuccessor(252, 3008, 3));
  links.push_back(TwoLaneSuccessor(253, 3009, 1));
  links.push_back(TwoLaneSuccessor(254, 3010, 0));
  links.push_back(TwoLaneSuccessor(255, 3011, kNoEdge));
  links.push_back(Road(256, 15, {{2561, 1}, {2562, 2, 3, 1, {3012}}}));  // continuing lane behind
  links.push_back(Road(257, 15, {{2571, 1}, {2572, 2, 4, 1, {3013}}}));
  // Negative lanes: to the back of the lane list is leftwards.
  links.push_back(Road(260, 15, {{2601, -1, 3, 1, {3014}}, {2602, -2}}));
  links.push_back(Road(261, 15, {{2611, -1, 1, 4, {3015}}, {2612, -2}}));
  // Lanes of opposite sign.
  links.push_back(Road(262, 30, {{2621, 1, 1, 4, {3016}}, {2622, -2}}));
  links.push_back(Road(263, 29.9, {{2631, 1, 1, 4, {3017}}, {2632, -2}}));
  links.push_back(Road(264, 30, {{2641, -1, 3, 1, {3018}}, {2642, 2}}));
  links.push_back(Road(265, 100, {{2651, 2, 1, 4, {3019}}, {2652, -1}}));
  // Lane numbers whose difference, times 10, does not fit an int.
  links.push_back(Road(266, 3e10, {{2661, 1, 1, 4, {3020}}, {2662, INT_MIN}}));
  links.push_back(Road(267, 2e10, {{2671, 1, 1, 4, {3021}}, {2672, INT_MIN}}));
  // Every direction value, a lane of two-value vertices and one without geometry.
  ql::HdLink l270 = Road(270, 100,
                         {{2701, 1, 2, 2, {3022}},
                          {2702, 2, 2, 2, {}, {}, 3},
                          {2703, 3, 2, 2, {}, {}, 2},
                          {2704, 4, 2, 2, {}, {}, 0},
                          {2705, 5, 2, 2, {}, {}, 1},
                          {5000000000001, 6, 2, 2, {}, {}, 4}});
  for (std::vector<double>& v : l270.vcthlLane[1].vctvdGeoLink) v.resize(2);
  l270.vcthlLane[2].vctvdGeoLink.clear();
  links.push_back(l270);
  return links;
}

std::vector<ql::HdLink> ReachableLinks() {
  std::vector<ql::HdLink> links;
  links.push_back(Road(401, 10, {{4011, 1, 1, 4}, {4012, 2, 1, 4}, {4013, 3, 1, 1}}));
  links.push_back(Road(402, 10, {{4021, 1, 3, 1}, {4022, 2, 3, 1}, {4023, 3, 3, 1}}));
  links.push_back(Road(403, 10, {{4031, 1, 1, 2}, {4032, 2, 1, 1}, {4033, 3, 1, 1}}));
  links.push_back(Road(404, 10, {{4041, 1}, {4042, 2, 1, 4}, {4041, 1}}));  // lane 4041 listed twice
  links.push_back(Road(405, 10, {{4051, 1, 1, kNoEdge}, {4052, 2}}));
  links.push_back(Road(406, 10, {{4061, 2, 1, 4}, {4062, -1}}));
  links.push_back(Road(407, 10, {{4071, 1, 1, 4}, {4072, -2}}));
  links.push_back(Road(408, 10, {{4081, 1, 1, 1}, {4082, -2}}));
  links.push_back(Road(409, 10, {{4091, -1, 3, 1}, {4092, -2, 3, 1}, {4093, -3, 1, 1}}));
  links.push_back(Road(410, 10, {{4101, 1, 2, 2}, {4102, 0, 2, 2}}));
  links.push_back(Road(411, 10, {{4111, INT_MIN, 3, 1}, {4112, -1}}));
  links.push_back(Road(420, 10,
                       {{4201, 2, 2, 1},
                        {4202, -1, 1, 4},
                        {4203, 1, 3, 2},
                        {4204, -2, 2, 2},
                        {4205, 0, 1, 4},
                        {4206, 1, 1, 1},     // number 1 again: replaces 4203
                        {4207, 3, 3, 1}}));  // with 4201 a left group of two
  return links;
}

std::vector<ql::HdLink> PreWalkLinks() {
  std::vector<ql::HdLink> links;
  links.push_back(Road(500, 10, {{5001, 1}, {5002, 2}}, {}, {510, kUnloaded}));
  links.push_back(Road(510, 100, {{5101, 1, 1, 4}, {5102, 2, 1, 4, {}, {5002}}, {5103, 3, 1, 1, {}, {5001}}}));

  links.push_back(Road(520, 10, {{5201, 1}}, {}, {540, 530}));
  std::vector<LaneSpec> mixed;  // numbers stored as 1, -1, 2, -2, 3, -3
  for (int k = 0; k < 6; ++k) mixed.push_back({5301 + k, (k % 2 ? -1 : 1) * (k / 2 + 1), 2, 2, {}, {5201}});
  links.push_back(Road(530, 100, mixed));
  links.push_back(Road(540, 15, {{5401, 1, 2, 2}, {5402, 2, 2, 2}, {5403, 3, 2, 2, {}, {5201, 5201}}}));

  // 5502 can reach 5501 inside 550 (its left edge may be crossed).
  links.push_back(Road(550, 10, {{5501, 1}, {5502, 2, 2, 1}}, {}, {580, 570, 560}));
  ql::HdLink l560 =
      Road(560, 100, {{5601, 1, 2, 2, {}, {5501}}, {5602, 2, 2, 2, {}, {5501}}, {5603, 3, 2, 2, {}, {5501}}});
  l560.vcthlLane[1].vctvdGeoLink.clear();
  links.push_back(l560);
  links.push_back(Road(570, 100, {{5701, 1, 2, 2, {}, {5502}}}));
  ql::HdLink l580 = Road(580, 100, {{5801, 1, 2, 2, {}, {5501}}});
  l580.vcthlLane[0].vctvdGeoLink.clear();
  links.push_back(l580);

  links.push_back(Road(590, 10, {{5901, 1}, {5902, 2, 2, 1}}, {}, {575}));
  links.push_back(Road(575, 100, {{5751, 1, 1, 1, {}, {5902}}}));
  links.push_back(Road(595, 10, {{5951, 1}}, {}, {585}));
  ql::HdLink l585 = Road(585, 100, {{5851, 1, 1, 1, {}, {5951}}});
  l585.vcthlLane[0].vctvdGeoLink.clear();
  links.push_back(l585);
  links.push_back(Road(596, 10, {{5961, 1}}, {}, {kUnloaded}));

  links.push_back(
      Road(650, 10, {{6501, 1}, {6502, 2}, {6503, 3}, {6504, 4}, {6505, 5}}, {}, {600, 610, 620, 630}));
  links.push_back(Road(600, 100, {{6001, 1, 1, 4}, {6002, 2, 1, 1}, {6003, 3, 1, 4, {}, {6501}}}));
  links.push_back(Road(610, 100, {{6101, 1, 1, 1, {}, {6502}}, {6102, 1, 1, 1, {}, {6502}}}));
  links.push_back(Road(620, 100,
                       {{6201, INT_MIN, 2, 2, {}, {6503}},
                        {6202, INT_MIN + 1, 2, 2, {}, {6503}},
                        {6203, INT_MAX - 1, 2, 2, {}, {6503}},
                        {6204, INT_MAX, 2, 2, {}, {6503}}}));
  links.push_back(Road(630, 100, {{6301, 0, 2, 2, {}, {6504}}, {6302, 1, 2, 2, {}, {6504}}}));
  return links;
}

std::vector<ql::HdLink> MapLinks() {
  std::vector<ql::HdLink> links;
  for (const auto& part : {LinkWalkLinks(), LaneWalkLinks(), ReachableLinks(), PreWalkLinks()}) {
    links.insert(links.end(), part.begin(), part.end());
  }
  return links;
}

const qltest::WrittenMap& Map() {
  static const qltest::WrittenMap map("test_HdEndpoints", MapLinks(), 4, "config_json.json");
  return map;
}

// The library, initialised on the map (whose loading prints the configuration and the tiles).
const ql::HdLib& Lib() {
  Map();
  return *ql::HdLib::GetInstance();
}

ql::HdLinkId Id(long value) { return Map().Stored(value).liId; }
const ql::HdLink* Loaded(long value) { return Lib().GetLinkData(Id(value)); }

ql::LaneEndpoint Endpoint(long link, long lane) {
  ql::LaneEndpoint e;
  e.liLinkId = link == kUnloaded ? LinkId(kUnloaded, {MapTile()}) : Id(link);
  e.liLaneId = LaneId(lane);
  return e;
}

std::string Describe(const ql::LaneEndpoint& e) {
  std::string s = std::to_string(e.liLinkId.lValue) + "/" + std::to_string(e.liLaneId.lValue) + " " +
                  std::to_string(e.nFromSeqNum) + ">" + std::to_string(e.nToSeqNum);
  if (e.ptEnd == ql::Point()) return s + " -";
  char alt[32];
  std::snprintf(alt, sizeof alt, " @%g", e.ptEnd.dAlt);
  return s + alt;
}

std::vector<std::string> Describe(const std::vector<ql::LaneEndpoint>& moves) {
  std::vector<std::string> out;
  for (const ql::LaneEndpoint& e : moves) out.push_back(Describe(e));
  return out;
}

// Every move's length is its link's, and its end point the stored vertex its text names.
void ExpectStoredEndsAndLengths(const std::vector<ql::LaneEndpoint>& moves) {
  for (const ql::LaneEndpoint& e : moves) {
    SCOPED_TRACE(Describe(e));
    const ql::HdLink& link = Map().Stored(e.liLinkId.lValue);
    EXPECT_EQ(e.dLinkLength, link.dLength);
    EXPECT_TRUE(e.vctptReserved.empty());
    EXPECT_EQ(e.nReserved, 0);
    if (e.ptEnd == ql::Point()) continue;
    const ql::HdLane* lane = nullptr;
    for (const ql::HdLane& candidate : link.vcthlLane) {
      if (candidate.liId.lValue == e.liLaneId.lValue) lane = &candidate;
    }
    ASSERT_NE(lane, nullptr);
    ASSERT_FALSE(lane->vctvdGeoLink.empty());
    const bool first = e.ptEnd.dAlt == 1.0 || (lane->nDirection == 3 && e.ptEnd.dAlt == 0.0);
    EXPECT_EQ(e.ptEnd, ql::Point(first ? lane->vctvdGeoLink.front() : lane->vctvdGeoLink.back()));
  }
}

// ---- records --------------------------------------------------------------------------------------

TEST(EndpointRecords, StartEmptyAndCopyEveryFieldButAnExtensionsOwn) {
  const ql::LaneEndpoint e;
  EXPECT_EQ(e.ptEnd, ql::Point());
  EXPECT_EQ(e.liLinkId.lValue, 0);
  EXPECT_TRUE(e.liLinkId.vcttiTileIds.empty());
  EXPECT_EQ(e.liLaneId.lValue, 0);
  EXPECT_EQ(e.dLinkLength, 0.0);
  EXPECT_TRUE(e.vctptReserved.empty());
  EXPECT_EQ(e.nFromSeqNum, 0);
  EXPECT_EQ(e.nReserved, 0);
  EXPECT_EQ(e.nToSeqNum, 0);

  ql::HdLib::LaneEndpointExt ext;
  EXPECT_FALSE(ext.bCanLeft);
  EXPECT_FALSE(ext.bCanRight);
  EXPECT_EQ(ext.nLaneSeqNum, 0);
  ext.ptEnd = ql::Point(1, 2, 3);
  ext.liLinkId = LinkId(7, {ql::TileId(1, 2)});
  ext.liLaneId = LaneId(70);
  ext.dLinkLength = 4.5;
  ext.vctptReserved = {ql::Point(5, 6, 7)};
  ext.nFromSeqNum = -1;
  ext.nReserved = 9;
  ext.nToSeqNum = 2;
  ext.ptStart = ql::Point(8, 8, 8);
  ext.vctliNxtLanes = {LaneId(71)};
  std::vector<ql::LaneEndpoint> list;
  list.push_back(ext);  // keeps the LaneEndpoint part
  const ql::LaneEndpoint& copy = list.front();
  EXPECT_EQ(copy.ptEnd, ql::Point(1, 2, 3));
  EXPECT_EQ(copy.liLinkId.lValue, 7);
  ASSERT_EQ(copy.liLinkId.vcttiTileIds.size(), 1u);
  EXPECT_EQ(copy.liLinkId.vcttiTileIds[0].nLatId, 2);
  EXPECT_EQ(copy.liLaneId.lValue, 70);
  EXPECT_EQ(copy.dLinkLength, 4.5);
  ASSERT_EQ(copy.vctptReserved.size(), 1u);
  EXPECT_EQ(copy.vctptReserved[0], ql::Point(5, 6, 7));
  EXPECT_EQ(copy.nFromSeqNum, -1);
  EXPECT_EQ(copy.nReserved, 9);
  EXPECT_EQ(copy.nToSeqNum, 2);
}

// ---- GetNextLinkEndpoints -------------------------------------------------------------------------

TEST(GetNextLinkEndpoints, AppendsEveryLoadedSuccessorInListOrderWithItsEndAtAltitudeZero) {
  ql::LinkEndpoint start;
  start.liLinkId = Id(100);
  std::vector<ql::LinkEndpoint> out(1);
  out[0].dLinkLength = -5;  // kept: the walk appends
  ASSERT_TRUE(Lib().GetNextLinkEndpoints(start, out));

  const ql::HdLink& l101 = Map().Stored(101);
  const ql::Point end101(l101.vctvdGeoLink.back());
  const ql::Point end102(Map().Stored(102).vcthlLane[0].vctvdGeoLink.back());
  const ql::Point end106(Map().Stored(106).vctvdGeoLink.back());
  const struct {
    long id;
    ql::Point end;
    double length;
  } expected[] = {{103, ql::Point(), 13},  // neither a line nor a lane
                  {101, ql::Point(end101.dLon, end101.dLat, 0.0), 11},
                  {102, ql::Point(end102.dLon, end102.dLat, 0.0), 12},   // its first lane's end
                  {104, ql::Point(), 14},                                // its first lane is empty
                  {106, ql::Point(end106.dLon, end106.dLat, 0.0), 16}};  // listed with other tiles
  ASSERT_EQ(out.size(), 1 + std::size(expected));
  EXPECT_EQ(out[0].dLinkLength, -5);
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(expected[i].id);
    const ql::LinkEndpoint& e = out[i + 1];
    EXPECT_EQ(e.liLinkId.lValue, expected[i].id);
    EXPECT_EQ(e.liLinkId.vcttiTileIds.size(), Map().Stored(expected[i].id).liId.vcttiTileIds.size());
    EXPECT_EQ(e.ptEnd, expected[i].end);
    EXPECT_EQ(e.dLinkLength, expected[i].length);
    EXPECT_EQ(e.liLaneId.lValue, 0);
  }
}

TEST(GetNextLinkEndpoints, IsFalseWithoutALoadedSuccessorOrLink) {
  for (const long id : {105L, kUnloaded}) {
    SCOPED_TRACE(id);
    ql::LinkEndpoint start;
    start.liLinkId = id == kUnloaded ? LinkId(kUnloaded, {MapTile()}) : Id(id);
    std::vector<ql::LinkEndpoint> out(2);
    EXPECT_FALSE(Lib().GetNextLinkEndpoints(start, out));
    EXPECT_EQ(out.size(), 2u);
  }
}

// ---- GetNextLaneEndpoints -------------------------------------------------------------------------

TEST(GetNextLaneEndpoints, OrdersSuccessorsByIdContinuingLanesByDescendingIdAndTargetsAsStored) {
  const ql::HdLib& lib = Lib();
  const ql::LaneEndpoint start = Endpoint(200, 2001);
  std::vector<ql::LaneEndpoint> out(1);
  testing::internal::CaptureStdout();
  ASSERT_TRUE(lib.GetNextLaneEndpoints(start, out));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  out.erase(out.begin());
  EXPECT_EQ(Describe(out), (std::vector<std::string>{
                               "210/2101 1>1 @2",  // 210 listed twice, lane 2001 twice: once
                               "210/2102 1>2 @2",  // one change: 15 m suffice
                               "220/2209 1>1 @2",  // 2209 before 2207
                               "220/2207 1>2 @2",
                               "220/2208 1>3 @1",  // direction 3: its first vertex
                               "220/2209 2>1 @2", "220/2207 2>2 @2", "220/2208 2>3 @1",
                               "230/2301 1>1 @2",  // the lane is stored twice: once as the
                               "230/2301 1>1 @2",  // continuing lane, twice as the target
                           }));
  ExpectStoredEndsAndLengths(out);
  // The successor's id as 200 lists it first, with the tile list given there.
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out[0].liLinkId.vcttiTileIds.size(), 2u);
  EXPECT_EQ(out.back().liLinkId.vcttiTileIds.size(), 1u);
}

struct NextLaneCase {
  const char* name;
  long fromLink, fromLane;
  bool found;
  std::vector<std::string> moves;
  std::string console = "";
};

class GetNextLaneEndpointsRow : public ::testing::TestWithParam<NextLaneCase> {};

TEST_P(GetNextLaneEndpointsRow, AppendsTheMovesThatPassTheLaneChangeRule) {
  const NextLaneCase& c = GetParam();
  const ql::HdLib& lib = Lib();
  const ql::LaneEndpoint start = Endpoint(c.fromLink, c.fromLane);
  std::vector<ql::LaneEndpoint> out(1);
  out[0].nReserved = 5;
  testing::internal::CaptureStdout();
  EXPECT_EQ(lib.GetNextLaneEndpoints(start, out), c.found);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), c.console);
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out[0].nReserved, 5);
  out.erase(out.begin());
  EXPECT_EQ(Describe(out), c.moves);
  ExpectStoredEndsAndLengths(out);
}

const std::string kBadDirection = "方向需要特殊处理\n";

INSTANTIATE_TEST_SUITE_P(
    Walks, GetNextLaneEndpointsRow,
    ::testing::Values(
        NextLaneCase{"TwentyMetresAdmitTwoChanges",
                     300,
                     3001,
                     true,
                     {"240/2401 1>1 @2", "240/2402 1>2 @2", "240/2403 1>3 @2"}},
        NextLaneCase{"NineteenAndAHalfAdmitOne", 300, 3002, true, {"241/2411 1>1 @2", "241/2412 1>2 @2"}},
        NextLaneCase{"NineAndAHalfAdmitNone", 300, 3003, true, {"242/2421 1>1 @2"}},
        NextLaneCase{"NegativeLengthDropsEveryMoveButFindsTheLane", 300, 3004, true, {}},
        NextLaneCase{"NaNLengthDropsEveryMove", 300, 3005, true, {}},
        NextLaneCase{"RightAbleEdge", 300, 3006, true, {"250/2501 1>1 @2", "250/2502 1>2 @2"}},
        NextLaneCase{"BidirectionalEdge", 300, 3007, true, {"251/2511 1>1 @2", "251/2512 1>2 @2"}},
        NextLaneCase{"LeftAbleEdgeOnTheRight", 300, 3008, true, {"252/2521 1>1 @2"}},
        NextLaneCase{"UnableEdge", 300, 3009, true, {"253/2531 1>1 @2"}},
        NextLaneCase{"UnknownEdge", 300, 3010, true, {"254/2541 1>1 @2"}},
        NextLaneCase{"MissingEdge", 300, 3011, true, {"255/2551 1>1 @2"}},
        NextLaneCase{"LeftAbleEdgeOnTheLeft", 300, 3012, true, {"256/2561 2>1 @2", "256/2562 2>2 @2"}},
        NextLaneCase{"RightAbleEdgeOnTheLeft", 300, 3013, true, {"257/2572 2>2 @2"}},
        NextLaneCase{
            "NegativeLanesGoLeftTowardsTheBack", 300, 3014, true, {"260/2601 -1>-1 @2", "260/2602 -1>-2 @2"}},
        NextLaneCase{"NegativeLanesDoNotGoRightTowardsTheBack", 300, 3015, true, {"261/2611 -1>-1 @2"}},
        NextLaneCase{"IntoALargerNegativeNumberThreeChangesIn30m",
                     300,
                     3016,
                     true,
                     {"262/2621 1>1 @2", "262/2622 1>-2 @2"}},
        NextLaneCase{"IntoALargerNegativeNumberThreeChangesIn29point9m", 300, 3017, true, {"263/2631 1>1 @2"}},
        NextLaneCase{"MinusOneToTwoThreeChanges", 300, 3018, true, {"264/2641 -1>-1 @2", "264/2642 -1>2 @2"}},
        NextLaneCase{"IntoASmallerNumberOfTheOtherSign", 300, 3019, true, {"265/2651 2>2 @2"}},
        NextLaneCase{
            "ChangesBeyondTheIntRangeAdmitted", 300, 3020, true, {"266/2661 1>1 @2", "266/2662 1>-2147483648 @2"}},
        NextLaneCase{"ChangesBeyondTheIntRangeDropped", 300, 3021, true, {"267/2671 1>1 @2"}},
        NextLaneCase{"EveryDirectionValue",
                     300,
                     3022,
                     true,
                     {"270/2701 1>1 @2", "270/2702 1>2 @0", "270/2703 1>3 -", "270/2704 1>4 -", "270/2705 1>5 -",
                      "270/5000000000001 1>6 -"},
                     "=====ERROR=====lane2704" + kBadDirection + "=====ERROR=====lane2705" + kBadDirection +
                         "=====ERROR=====lane5000000000001" + kBadDirection},
        NextLaneCase{"NoSuccessorLaneContinues", 300, 3040, false, {}},
        NextLaneCase{"OnlyUnloadedSuccessors", 301, 3011, false, {}},
        NextLaneCase{"LinkNotLoaded", kUnloaded, 2001, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- IsReachable, GetEdgeCross, GenCrossable ----------------------------------------------------------

struct ReachCase {
  const char* name;
  long link, from, to;
  bool reachable;
};

class IsReachableRow : public ::testing::TestWithParam<ReachCase> {};

TEST_P(IsReachableRow, CrossesEveryEdgeOnTheWay) {
  const ReachCase& c = GetParam();
  const ql::HdLink* link = Loaded(c.link);
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(ql::HdLib::IsReachable(link, LaneId(c.from), LaneId(c.to)), c.reachable);
}

INSTANTIATE_TEST_SUITE_P(Lanes, IsReachableRow,
                         ::testing::Values(ReachCase{"RightTwoLanesOverRightAbleEdges", 401, 4011, 4013, true},
                                           ReachCase{"LeftOverRightAbleEdges", 401, 4013, 4011, false},
                                           ReachCase{"RightOneLane", 401, 4011, 4012, true},
                                           ReachCase{"SameLaneOverUncrossableEdges", 401, 4013, 4013, true},
                                           ReachCase{"FromLaneAbsent", 401, 9999, 4011, false},
                                           ReachCase{"ToLaneAbsent", 401, 4011, 9999, false},
                                           ReachCase{"LeftTwoLanesOverLeftAbleEdges", 402, 4023, 4021, true},
                                           ReachCase{"RightOverLeftAbleEdges", 402, 4021, 4023, false},
                                           ReachCase{"BidirectionalEdge", 403, 4031, 4032, true},
                                           ReachCase{"StopsAtAnUnableEdge", 403, 4031, 4033, false},
                                           ReachCase{"LaneListedTwiceCountsAtItsLastPlace", 404, 4042, 4041, true},
                                           ReachCase{"LaneListedTwiceToItself", 404, 4041, 4041, true},
                                           ReachCase{"MissingEdge", 405, 4051, 4052, false},
                                           ReachCase{"OppositeSignNegativeQuotient", 406, 4061, 4062, false},
                                           ReachCase{"OppositeSignQuotientZero", 407, 4071, 4072, true},
                                           ReachCase{"OppositeSignQuotientZeroUncrossable", 408, 4081, 4082,
                                                     false},
                                           ReachCase{"NegativeLanesLeftTowardsTheBack", 409, 4091, 4093, true},
                                           ReachCase{"NegativeLanesRightTowardsTheFront", 409, 4093, 4091, false},
                                           ReachCase{"ToLaneNumberedZero", 410, 4101, 4102, false},
                                           ReachCase{"FromLaneNumberedZero", 410, 4102, 4101, false},
                                           ReachCase{"LaneNumberedZeroToItself", 410, 4102, 4102, true},
                                           ReachCase{"FromIntMinToMinusOne", 411, 4111, 4112, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IsReachable, IsFalseWithoutALink) { EXPECT_FALSE(ql::HdLib::IsReachable(nullptr, LaneId(1), LaneId(1))); }

TEST(GetEdgeCross, GivesTheFirstEdgesCrossingTypeOrMinusOne) {
  const ql::HdLink* link = Loaded(402);
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(ql::HdLib::GetEdgeCross(link, 40211), 3);
  EXPECT_EQ(ql::HdLib::GetEdgeCross(link, 40212), 1);
  EXPECT_EQ(ql::HdLib::GetEdgeCross(link, 12345), -1);
  EXPECT_EQ(ql::HdLib::GetEdgeCross(nullptr, 40211), -1);
}

TEST(GenCrossable, GroupsNumbersBySignRightAscendingLeftDescending) {
  const ql::HdLink* link = Loaded(420);
  ASSERT_NE(link, nullptr);
  std::map<int, const ql::HdLane*> byNumber;
  std::vector<std::vector<int>> right{{99}}, left;
  ql::HdLib::GenCrossable(link, byNumber, right, left);
  std::map<int, long> ids;
  for (const auto& [number, lane] : byNumber) ids[number] = lane->liId.lValue;
  EXPECT_EQ(ids, (std::map<int, long>{{-2, 4204}, {-1, 4202}, {0, 4205}, {1, 4206}, {2, 4201}, {3, 4207}}));
  EXPECT_EQ(right, (std::vector<std::vector<int>>{{99}, {-2, -1}, {0}}));  // appended
  EXPECT_EQ(left, (std::vector<std::vector<int>>{{-2}, {3, 2}}));          // descending
}

// ---- GetPreEndpoints ------------------------------------------------------------------------------------

struct PreCase {
  const char* name;
  long link, lane;
  bool found;
  std::vector<std::string> moves;
};

class GetPreEndpointsRow : public ::testing::TestWithParam<PreCase> {};

TEST_P(GetPreEndpointsRow, AppendsDirectThenRightwardThenLeftwardMoves) {
  const PreCase& c = GetParam();
  std::vector<ql::LaneEndpoint> out(1);
  out[0].nToSeqNum = 42;
  EXPECT_EQ(Lib().GetPreEndpoints(Endpoint(c.link, c.lane), out), c.found);
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out[0].nToSeqNum, 42);
  out.erase(out.begin());
  EXPECT_EQ(Describe(out), c.moves);
  ExpectStoredEndsAndLengths(out);
}

INSTANTIATE_TEST_SUITE_P(
    Walks, GetPreEndpointsRow,
    ::testing::Values(
        // 510: lanes 1, 2, 3 whose right edges of 1 and 2 may be crossed, its left edges not.
        PreCase{"MovesStopAtTheGroupsLargestNumber", 500, 5001, true, {"510/5103 3>3 @2"}},
        PreCase{"RightwardMoveIntoTheLaneLeadingIn", 500, 5002, true, {"510/5102 2>2 @2", "510/5102 1>2 @2"}},
        PreCase{"EveryOrderInTurn",
                520,
                5201,
                true,
                {// 530, lanes -3 .. 3, every edge crossable: direct moves by ascending number,
                 "530/5306 -3>-3 @2", "530/5304 -2>-2 @2", "530/5302 -1>-1 @2", "530/5301 1>1 @2",
                 "530/5303 2>2 @2", "530/5305 3>3 @2",
                 // rightward, the negative group first,
                 "530/5304 -3>-2 @2", "530/5302 -3>-1 @2", "530/5302 -2>-1 @2", "530/5303 1>2 @2",
                 "530/5305 1>3 @2", "530/5305 2>3 @2",
                 // leftward, the negative group first,
                 "530/5304 -1>-2 @2", "530/5306 -1>-3 @2", "530/5306 -2>-3 @2", "530/5303 3>2 @2",
                 "530/5301 3>1 @2", "530/5301 2>1 @2",
                 // then 540 (15 m long), whose lane 3 lists the lane twice: two changes are dropped.
                 "540/5403 3>3 @2", "540/5403 3>3 @2", "540/5403 2>3 @2", "540/5403 2>3 @2"}},
        PreCase{"ALaneWithoutGeometryStopsTheGroup", 550, 5501, true, {"560/5601 1>1 @2", "560/5603 3>3 @2"}},
        PreCase{"QualifiedThroughAnotherLaneOnly", 590, 5901, true, {}},
        PreCase{"QualifiedThroughALaneWithoutGeometryOnly", 595, 5951, true, {}},
        PreCase{"GroupSpansAnUncrossableEdge",
                650,
                6501,
                true,
                {"600/6003 3>3 @2", "600/6003 1>3 @2", "600/6003 2>3 @2"}},
        PreCase{"LaterLaneOfOneNumberReplacesTheEarlier", 650, 6502, true, {"610/6102 1>1 @2"}},
        PreCase{"GroupsAtBothEndsOfTheIntRange",
                650,
                6503,
                true,
                {"620/6201 -2147483648>-2147483648 @2", "620/6202 -2147483647>-2147483647 @2",
                 "620/6203 2147483646>2147483646 @2", "620/6204 2147483647>2147483647 @2",
                 "620/6202 -2147483648>-2147483647 @2", "620/6204 2147483646>2147483647 @2",
                 "620/6201 -2147483647>-2147483648 @2", "620/6203 2147483647>2147483646 @2"}},
        PreCase{"LaneNumberedZeroIsANonNegativeKey",
                650,
                6504,
                true,
                {"630/6301 0>0 @2", "630/6302 1>1 @2", "630/6302 0>1 @2", "630/6301 1>0 @2"}},
        PreCase{"NoPredecessorLaneLeadsIn", 650, 6505, false, {}},
        PreCase{"OnlyUnloadedPredecessors", 596, 5961, false, {}},
        PreCase{"LinkNotLoaded", kUnloaded, 5001, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GenPreRLanes, HandsOutNothingForALaneNoRecordLeadsInto) {
  const ql::HdLink* link = Loaded(530);
  ASSERT_NE(link, nullptr);
  std::vector<ql::LaneEndpoint> out;
  ql::HdLib::GenPreEndpoints(LaneId(5301), {link}, out);  // a lane of 530 itself
  EXPECT_TRUE(out.empty());
  ql::HdLib::GenPreEndpoints(LaneId(5201), {link}, out);
  EXPECT_EQ(out.size(), 18u);
}

}  // namespace
