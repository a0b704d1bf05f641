// HdLib attribute queries end to end on a small map written as encrypted binary tiles. The
// HD store is one per process and keeps its tiles, so every test of this binary reads the same
// map; under ctest each test runs alone. Every failing row checks that its output kept the
// value it had before the call.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
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
using qltest::LinkId;
using qltest::Values;

constexpr double kLon = 116.41;
constexpr double kLat = 39.91;

// A short line east of the origin, `dy` degrees north of it, with an altitude so that a lost
// third value shows.
GeoLink Line(double dy, int vertices = 2) {
  GeoLink line;
  for (int i = 0; i < vertices; ++i) line.push_back({kLon + 0.0001 * i, kLat + dy, 10.0 + i});
  return line;
}

// An edge with its crossing type and the colours of its markings.
void AddMarkedEdge(ql::HdLink& link, long id, int cross, GeoLink geo, const std::vector<int>& colors) {
  ql::HdEdge& edge = AddEdge(link, id, std::move(geo));
  edge.nCross = cross;
  for (int color : colors) {
    ql::HdLaneMark mark;
    mark.nColor = color;
    edge.vcthmMark.push_back(mark);
  }
}

void AddTypedLane(ql::HdLink& link, long id, int seq, int type, int width, long left, long right, GeoLink geo) {
  AddLane(link, id, seq, width, left, right, std::move(geo)).nType = type;
}

ql::HdLaneAdas Adas(double dLon, double dLat, double base) {
  ql::HdLaneAdas a;
  a.dLon = dLon;
  a.dLat = dLat;
  a.dOutCurvature = base + 0.1;
  a.dOutRoll = base + 0.2;
  a.dOutPitch = base + 0.3;
  a.dOutAzimuth = base + 0.4;
  return a;
}

// The map:
//   201  three lanes stored with numbers 2, 1, 3 (ids 2011, 2012, 2013), four edges, stop
//        lines, overhead objects; successors 204, 203 and 999 (not in the map), no predecessors
//   202  two lanes sharing id 2021, the first without ADAS samples
//   203  successor of 201 whose lanes continue 2011 (twice) and 2013
//   204  successor of 201 whose lane continues 2011 and 2012
std::vector<ql::HdLink> MapLinks() {
  ql::HdLink a;
  a.liId = LinkId(201);
  a.dLength = 123.5;
  a.nType = 7;
  a.dStartAngle = 87.25;
  a.nSpeedLimit = 60;
  a.nRank = 2;
  a.vctvdGeoLink = Line(0.0, 3);
  AddMarkedEdge(a, 1, 1, Line(0.00001), {});
  AddMarkedEdge(a, 2, 2, Line(0.00002), {5, 6});
  AddMarkedEdge(a, 3, 3, Line(0.00003), {8});
  AddMarkedEdge(a, 4, 4, Line(0.00004), {0});
  AddTypedLane(a, 2011, 2, 11, 3000, 1, 2, Line(0.000015));
  AddTypedLane(a, 2012, 1, 12, 3100, 2, 3, Line(0.000025));
  AddTypedLane(a, 2013, 3, 13, 3200, 3, 99, Line(0.000035));
  a.vcthlLane[0].strArrows = "BD";
  ql::ObjArrow e, g;
  e.strType = "E";
  g.strType = "G";
  a.vcthlLane[0].vctarArrow = {e, g};
  a.vcthlLane[0].vctliNxtLaneId = {LaneId(2031), LaneId(2041)};
  // Two samples at one place (the earlier wins a tie) and a farther one.
  a.vcthlLane[1].vctlaLaneAdas = {Adas(kLon + 0.001, kLat, 10), Adas(kLon, kLat, 20), Adas(kLon, kLat, 30)};
  ql::ObjStopLine s1, s2;
  s1.nType = 1;
  s1.vctvdGeoLink = Line(0.0005);
  s2.nType = 2;
  s2.vctvdGeoLink = Line(0.0006);
  a.vctslStopLine = {s2, s1};  // type 2 stored first
  ql::ObjOverHead o1, o2;
  o1.vctlLaneId = {LaneId(2013)};
  o1.vctvdGeoLink = Line(0.0007);
  o2.vctlLaneId = {LaneId(2011), LaneId(2013)};
  o2.vctvdGeoLink = Line(0.0008);
  a.vctOverHead = {o1, o2};
  a.vctliNxtLinkId = {LinkId(204), LinkId(203), LinkId(999)};

  ql::HdLink b;
  b.liId = LinkId(202);
  b.vctvdGeoLink = Line(0.001);
  AddLane(b, 2021, 1, 0, 0, 0, Line(0.0011));
  AddLane(b, 2021, 2, 0, 0, 0, Line(0.0012));
  b.vcthlLane[1].vctlaLaneAdas = {Adas(kLon, kLat, 40)};

  ql::HdLink c;
  c.liId = LinkId(203);
  c.vctvdGeoLink = Line(0.002);
  AddLane(c, 2031, 1, 0, 0, 0, Line(0.0021));
  AddLane(c, 2032, 2, 0, 0, 0, Line(0.0022));
  c.vcthlLane[0].vctliPreLaneId = {LaneId(2011), LaneId(2013)};
  c.vcthlLane[1].vctliPreLaneId = {LaneId(2011)};
  c.vctliPreLinkId = {LinkId(201)};

  ql::HdLink d;
  d.liId = LinkId(204);
  d.vctvdGeoLink = Line(0.003);
  AddLane(d, 2041, 1, 0, 0, 0, Line(0.0031));
  d.vcthlLane[0].vctliPreLaneId = {LaneId(2012), LaneId(2011)};
  d.vctliPreLinkId = {LinkId(201)};
  return {a, b, c, d};
}

// The map of this process, on its encrypted binary tiles.
const qltest::WrittenMap& Map() {
  static const qltest::WrittenMap map("test_HdAttributes", MapLinks(), 3, "config_encrypted.json");
  return map;
}

const ql::HdLib& Lib() {
  Map();
  return *ql::HdLib::GetInstance();
}
// The link as the map stores it (read back from the written tiles), and its id.
const ql::HdLink& Stored(long value) { return Map().Stored(value); }
ql::HdLinkId Id(long value) { return Stored(value).liId; }

// An id whose lValue names no link of the map, with the tiles of a real one.
ql::HdLinkId Missing() {
  ql::HdLinkId id = Id(201);
  id.lValue = 4242;
  return id;
}

// One row: a query writing one output of type T, whether it finds the attribute, and the
// value it must deliver. A row that fails must leave the output at the sentinel.
template <class T>
struct Row {
  const char* name;
  std::function<bool(const ql::HdLib&, T&)> query;
  bool found;
  std::function<T()> expected;  // read lazily: the stored map exists only once the fixture ran
};

template <class T>
void RunRows(const std::vector<Row<T>>& rows, const T& sentinel) {
  for (const Row<T>& row : rows) {
    SCOPED_TRACE(row.name);
    T out = sentinel;
    EXPECT_EQ(row.query(Lib(), out), row.found);
    EXPECT_EQ(out, row.found ? row.expected() : sentinel);
  }
}

template <class T>
std::function<T()> Is(T value) {
  return [value] { return value; };
}
const std::function<int()> kNone = [] { return 0; };
const std::function<double()> kNoneD = [] { return 0.0; };

// ---- link attributes ----------------------------------------------------------------------------

TEST(HdAttributes, IntegerLinkAndLaneAttributes) {
  using Q = std::function<bool(const ql::HdLib&, int&)>;
  const std::vector<Row<int>> rows = {
      {"LinkType", [](const ql::HdLib& l, int& v) { return l.GetLinkType(Id(201), v); }, true, Is(7)},
      {"LinkSpeedLimit", [](const ql::HdLib& l, int& v) { return l.GetLinkSpeedLimit(Id(201), v); }, true, Is(60)},
      {"LinkRank", [](const ql::HdLib& l, int& v) { return l.GetLinkRank(Id(201), v); }, true, Is(2)},
      {"LaneCnt", [](const ql::HdLib& l, int& v) { return l.GetLaneCnt(Id(201), v); }, true, Is(3)},
      {"EdgeCnt", [](const ql::HdLib& l, int& v) { return l.GetEdgeCnt(Id(201), v); }, true, Is(4)},
      {"EdgeCntNone", [](const ql::HdLib& l, int& v) { return l.GetEdgeCnt(Id(202), v); }, true, Is(0)},
      {"LinkTypeMissing", Q([](const ql::HdLib& l, int& v) { return l.GetLinkType(Missing(), v); }), false, kNone},
      {"LaneCntMissing", Q([](const ql::HdLib& l, int& v) { return l.GetLaneCnt(Missing(), v); }), false, kNone},
      {"LinkLimitValueNeverFound", [](const ql::HdLib& l, int& v) { return l.GetLinkLimitValue(Id(201), 0, v); },
       false, kNone},
      // Lane numbers address lanes by position: number 1 is the lane stored first (its
      // nSeqNum is 2).
      {"LaneType1", [](const ql::HdLib& l, int& v) { return l.GetLaneType(Id(201), 1, v); }, true, Is(11)},
      {"LaneType3", [](const ql::HdLib& l, int& v) { return l.GetLaneType(Id(201), 3, v); }, true, Is(13)},
      {"LaneType0", [](const ql::HdLib& l, int& v) { return l.GetLaneType(Id(201), 0, v); }, false, kNone},
      {"LaneType4", [](const ql::HdLib& l, int& v) { return l.GetLaneType(Id(201), 4, v); }, false, kNone},
      {"LaneTypeMinus1", [](const ql::HdLib& l, int& v) { return l.GetLaneType(Id(201), -1, v); }, false, kNone},
      {"LaneWidth2", [](const ql::HdLib& l, int& v) { return l.GetLaneWidth(Id(201), 2, v); }, true, Is(3100)},
      {"LaneWidthMissingLink", [](const ql::HdLib& l, int& v) { return l.GetLaneWidth(Missing(), 1, v); }, false,
       kNone},
      {"LeftCross1", [](const ql::HdLib& l, int& v) { return l.GetLaneEdgeCrossType(Id(201), 1, true, v); }, true,
       Is(1)},
      {"RightCross1", [](const ql::HdLib& l, int& v) { return l.GetLaneEdgeCrossType(Id(201), 1, false, v); },
       true, Is(2)},
      {"LeftCross3", [](const ql::HdLib& l, int& v) { return l.GetLaneEdgeCrossType(Id(201), 3, true, v); }, true,
       Is(3)},
      {"RightCrossNoSuchEdge",
       [](const ql::HdLib& l, int& v) { return l.GetLaneEdgeCrossType(Id(201), 3, false, v); }, false, kNone},
      {"CrossBadLaneNumber",
       [](const ql::HdLib& l, int& v) { return l.GetLaneEdgeCrossType(Id(201), 4, true, v); }, false, kNone},
      // By lane id.
      {"LaneNum2011", [](const ql::HdLib& l, int& v) { return l.GetLaneNum(Id(201), LaneId(2011), v); }, true,
       Is(2)},
      {"LaneNum2012", [](const ql::HdLib& l, int& v) { return l.GetLaneNum(Id(201), LaneId(2012), v); }, true,
       Is(1)},
      {"LaneNumNoSuchLane", [](const ql::HdLib& l, int& v) { return l.GetLaneNum(Id(201), LaneId(2021), v); },
       false, kNone},
      // Edges.
      {"EdgeCross3", [](const ql::HdLib& l, int& v) { return l.GetEdgeCross(Id(201), 3, v); }, true, Is(3)},
      {"EdgeCrossNoSuchEdge", [](const ql::HdLib& l, int& v) { return l.GetEdgeCross(Id(201), 99, v); }, false,
       kNone},
      {"EdgeColorFirstMark", [](const ql::HdLib& l, int& v) { return l.GetEdgeColor(Id(201), 2, v); }, true,
       Is(5)},
      {"EdgeColorZeroMark", [](const ql::HdLib& l, int& v) { return l.GetEdgeColor(Id(201), 4, v); }, true, Is(0)},
      {"EdgeColorWithoutMarks", [](const ql::HdLib& l, int& v) { return l.GetEdgeColor(Id(201), 1, v); }, true,
       Is(1)},
      {"EdgeColorNoSuchEdge", [](const ql::HdLib& l, int& v) { return l.GetEdgeColor(Id(201), 99, v); }, false,
       kNone},
  };
  RunRows(rows, -777);
}

TEST(HdAttributes, LongAttributes) {
  const std::function<long()> none = [] { return 0L; };
  const std::vector<Row<long>> rows = {
      {"LeftEdgeOfLane1", [](const ql::HdLib& l, long& v) { return l.GetLaneEdgeId(Id(201), 1, true, v); }, true,
       Is(1L)},
      {"RightEdgeOfLane3", [](const ql::HdLib& l, long& v) { return l.GetLaneEdgeId(Id(201), 3, false, v); }, true,
       Is(99L)},  // named by the lane even though no edge carries it
      {"EdgeIdOfBadLane", [](const ql::HdLib& l, long& v) { return l.GetLaneEdgeId(Id(201), 0, true, v); }, false,
       none},
      {"EdgeId0", [](const ql::HdLib& l, long& v) { return l.GetEdgeId(Id(201), 0, v); }, true, Is(1L)},
      {"EdgeId3", [](const ql::HdLib& l, long& v) { return l.GetEdgeId(Id(201), 3, v); }, true, Is(4L)},
      {"EdgeId4", [](const ql::HdLib& l, long& v) { return l.GetEdgeId(Id(201), 4, v); }, false, none},
      {"EdgeIdMinus1", [](const ql::HdLib& l, long& v) { return l.GetEdgeId(Id(201), -1, v); }, false, none},
      {"EdgeIdMissingLink", [](const ql::HdLib& l, long& v) { return l.GetEdgeId(Missing(), 0, v); }, false, none},
  };
  RunRows(rows, -777L);
}

TEST(HdAttributes, DoubleAttributes) {
  const ql::Point at(kLon, kLat, 0.0);
  const std::vector<Row<double>> rows = {
      {"LinkLength", [](const ql::HdLib& l, double& v) { return l.GetLinkLength(Id(201), v); }, true, Is(123.5)},
      {"LinkStartAngle", [](const ql::HdLib& l, double& v) { return l.GetLinkStartAngle(Id(201), v); }, true,
       Is(87.25)},
      {"LinkLengthMissing", [](const ql::HdLib& l, double& v) { return l.GetLinkLength(Missing(), v); }, false,
       kNoneD},
      // Lane 2012: the samples at the point tie, the earlier (base 20) gives the value.
      {"Curvature",
       [at](const ql::HdLib& l, double& v) { return l.GetLaneCurvature(Id(201), LaneId(2012), at, v); }, true,
       Is(20.1)},
      {"Roll", [at](const ql::HdLib& l, double& v) { return l.GetLaneRoll(Id(201), LaneId(2012), at, v); }, true,
       Is(20.2)},
      {"Pitch", [at](const ql::HdLib& l, double& v) { return l.GetLanePitch(Id(201), LaneId(2012), at, v); }, true,
       Is(20.3)},
      {"Azimuth", [at](const ql::HdLib& l, double& v) { return l.GetLaneAzimuth(Id(201), LaneId(2012), at, v); },
       true, Is(20.4)},
      {"AzimuthNearTheFarSample",
       [](const ql::HdLib& l, double& v) {
         return l.GetLaneAzimuth(Id(201), LaneId(2012), ql::Point(kLon + 0.0011, kLat, 0), v);
       },
       true, Is(10.4)},
      {"AzimuthLaneWithoutSamples",
       [at](const ql::HdLib& l, double& v) { return l.GetLaneAzimuth(Id(201), LaneId(2011), at, v); }, false,
       kNoneD},
      {"AzimuthSharedIdFirstWithoutSamples",
       [at](const ql::HdLib& l, double& v) { return l.GetLaneAzimuth(Id(202), LaneId(2021), at, v); }, true,
       Is(40.4)},
      {"AzimuthNoSuchLane",
       [at](const ql::HdLib& l, double& v) { return l.GetLaneAzimuth(Id(201), LaneId(7), at, v); }, false, kNoneD},
      {"PitchMissingLink",
       [at](const ql::HdLib& l, double& v) { return l.GetLanePitch(Missing(), LaneId(2012), at, v); }, false,
       kNoneD},
  };
  RunRows(rows, -777.0);
}

// ---- lists -------------------------------------------------------------------------------------

TEST(HdAttributes, LinkPreAndNextReplaceOrKeep) {
  std::vector<ql::HdLinkId> pre(1), nxt(1);
  pre[0].lValue = nxt[0].lValue = 77;
  // 201 has no predecessors: false, list kept.
  EXPECT_FALSE(Lib().GetLinkPre(Id(201), pre));
  EXPECT_EQ(Values(pre), (std::vector<long>{77}));
  EXPECT_TRUE(Lib().GetLinkNext(Id(201), nxt));
  EXPECT_EQ(Values(nxt), (std::vector<long>{204, 203, 999}));
  // The stored ids come with their tile lists, so they can be looked up again.
  EXPECT_NE(Lib().GetLinkData(nxt[0]), nullptr);
  // 203 has no successors.
  EXPECT_FALSE(Lib().GetLinkNext(Id(203), nxt));
  EXPECT_EQ(nxt.size(), 3u);
  EXPECT_TRUE(Lib().GetLinkPre(Id(203), pre));
  EXPECT_EQ(Values(pre), (std::vector<long>{201}));
  // Both lists replaced, the empty one included.
  EXPECT_TRUE(Lib().GetLinkPreNxt(Id(203), pre, nxt));
  EXPECT_EQ(Values(pre), (std::vector<long>{201}));
  EXPECT_TRUE(nxt.empty());
  EXPECT_FALSE(Lib().GetLinkPreNxt(Missing(), pre, nxt));
  EXPECT_EQ(pre.size(), 1u);
  EXPECT_FALSE(Lib().GetLinkPre(Missing(), pre));
  EXPECT_FALSE(Lib().GetLinkNext(Missing(), nxt));
}

TEST(HdAttributes, LinkNextByLaneAppendsContinuationsOnce) {
  struct Case {
    const char* name;
    ql::HdLinkId link;
    int laneNum;
    bool found;
    std::vector<long> appended;
  };
  const Case cases[] = {
      // Lane 2011: continued by both lanes of 203 (counted once) and by 204; sorted by id.
      {"Lane1", Id(201), 1, true, {203, 204}},
      {"Lane2", Id(201), 2, true, {204}},
      {"Lane3", Id(201), 3, true, {203}},
      {"BadLaneNumber", Id(201), 4, false, {}},
      {"NoSuccessors", Id(203), 1, false, {}},
      {"MissingLink", Missing(), 1, false, {}},
      // 204 has a lane, but no successor links.
      {"SuccessorWithoutSuccessors", Id(204), 1, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ql::HdLinkId> out(1);
    out[0].lValue = 77;
    EXPECT_EQ(Lib().GetLinkNext(c.link, c.laneNum, out), c.found);
    std::vector<long> expected{77};
    expected.insert(expected.end(), c.appended.begin(), c.appended.end());
    EXPECT_EQ(Values(out), expected);
  }
}

TEST(HdAttributes, LaneNextByNumberAndById) {
  std::vector<ql::HdLaneId> out{LaneId(5), LaneId(6)};
  EXPECT_TRUE(Lib().GetLaneNext(Id(201), 1, out));
  EXPECT_EQ(Values(out), (std::vector<long>{2031, 2041}));
  out = {LaneId(5)};
  EXPECT_TRUE(Lib().GetLaneNext(Id(201), LaneId(2012), out));
  EXPECT_TRUE(out.empty());
  out = {LaneId(5)};
  EXPECT_TRUE(Lib().GetLaneNext(Id(201), LaneId(2011), out));
  EXPECT_EQ(Values(out), (std::vector<long>{2031, 2041}));
  out = {LaneId(5)};
  EXPECT_FALSE(Lib().GetLaneNext(Id(201), 0, out));
  EXPECT_FALSE(Lib().GetLaneNext(Id(201), LaneId(1), out));
  EXPECT_FALSE(Lib().GetLaneNext(Missing(), 1, out));
  EXPECT_EQ(Values(out), (std::vector<long>{5}));
}

// ---- geometry ---------------------------------------------------------------------------------

TEST(HdAttributes, GeometryGettersReplace) {
  const GeoLink sentinel{{1.0, 2.0}};
  const std::function<GeoLink()> none = [] { return GeoLink(); };
  const std::vector<Row<GeoLink>> rows = {
      // Number 1 by nSeqNum is the lane stored second.
      {"LaneGeoByNumber1", [](const ql::HdLib& l, GeoLink& g) { return l.GetLaneGeoLink(Id(201), 1, g); }, true,
       [] { return Stored(201).vcthlLane[1].vctvdGeoLink; }},
      {"LaneGeoByNumber2", [](const ql::HdLib& l, GeoLink& g) { return l.GetLaneGeoLink(Id(201), 2, g); }, true,
       [] { return Stored(201).vcthlLane[0].vctvdGeoLink; }},
      {"LaneGeoByNumber4", [](const ql::HdLib& l, GeoLink& g) { return l.GetLaneGeoLink(Id(201), 4, g); }, false,
       none},
      {"LaneGeoById", [](const ql::HdLib& l, GeoLink& g) { return l.GetLaneGeoLink(Id(201), LaneId(2013), g); },
       true, [] { return Stored(201).vcthlLane[2].vctvdGeoLink; }},
      {"LaneGeoByIdMissing",
       [](const ql::HdLib& l, GeoLink& g) { return l.GetLaneGeoLink(Id(201), LaneId(3), g); }, false, none},
      {"LeftEdgeGeoLane2",
       [](const ql::HdLib& l, GeoLink& g) { return l.GetLaneEdgeGeoLink(Id(201), 2, true, g); }, true,
       [] { return Stored(201).vctheEdge[1].vctvdGeoLink; }},
      {"RightEdgeGeoLane2",
       [](const ql::HdLib& l, GeoLink& g) { return l.GetLaneEdgeGeoLink(Id(201), 2, false, g); }, true,
       [] { return Stored(201).vctheEdge[2].vctvdGeoLink; }},
      {"RightEdgeGeoMissingEdge",
       [](const ql::HdLib& l, GeoLink& g) { return l.GetLaneEdgeGeoLink(Id(201), 3, false, g); }, false, none},
      {"EdgeGeo4", [](const ql::HdLib& l, GeoLink& g) { return l.GetEdgeGeoLink(Id(201), 4, g); }, true,
       [] { return Stored(201).vctheEdge[3].vctvdGeoLink; }},
      {"EdgeGeoMissing", [](const ql::HdLib& l, GeoLink& g) { return l.GetEdgeGeoLink(Id(201), 5, g); }, false,
       none},
      {"StopLineType2", [](const ql::HdLib& l, GeoLink& g) { return l.GetStopLineGeoLink(Id(201), 2, g); }, true,
       [] { return Stored(201).vctslStopLine[0].vctvdGeoLink; }},
      {"StopLineType1", [](const ql::HdLib& l, GeoLink& g) { return l.GetStopLineGeoLink(Id(201), 1, g); }, true,
       [] { return Stored(201).vctslStopLine[1].vctvdGeoLink; }},
      {"StopLineType5", [](const ql::HdLib& l, GeoLink& g) { return l.GetStopLineGeoLink(Id(201), 5, g); }, false,
       none},
      {"StopLineNone", [](const ql::HdLib& l, GeoLink& g) { return l.GetStopLineGeoLink(Id(203), 1, g); }, false,
       none},
      // Lane 1 is 2011: only the second overhead object lists it; lane 3 (2013) is in both.
      {"OverHeadLane1", [](const ql::HdLib& l, GeoLink& g) { return l.GetOverHeadGeoLink(Id(201), 1, 0, g); },
       true, [] { return Stored(201).vctOverHead[1].vctvdGeoLink; }},
      {"OverHeadLane3", [](const ql::HdLib& l, GeoLink& g) { return l.GetOverHeadGeoLink(Id(201), 3, 0, g); },
       true, [] { return Stored(201).vctOverHead[0].vctvdGeoLink; }},
      {"OverHeadLane2", [](const ql::HdLib& l, GeoLink& g) { return l.GetOverHeadGeoLink(Id(201), 2, 0, g); },
       false, none},
      {"OverHeadBadLane", [](const ql::HdLib& l, GeoLink& g) { return l.GetOverHeadGeoLink(Id(201), 0, 0, g); },
       false, none},
      // Nothing in the map data for these to read: they must not claim to have found it.
      {"TrafficLight", [](const ql::HdLib& l, GeoLink& g) { return l.GetTrafficLightGeoLink(Id(201), 0, 0, g); },
       false, none},
      {"TrafficSignArea", [](const ql::HdLib& l, GeoLink& g) { return l.GetTrafficSignGeoArea(Id(201), 0, g); },
       false, none},
  };
  RunRows(rows, sentinel);
  // The stored geometry keeps its altitudes.
  GeoLink geo;
  ASSERT_TRUE(Lib().GetEdgeGeoLink(Id(201), 1, geo));
  ASSERT_EQ(geo.size(), 2u);
  EXPECT_EQ(geo[1].size(), 3u);
  EXPECT_EQ(geo[1][2], 11.0);
}

TEST(HdAttributes, TrafficSignsAreNeverFound) {
  std::vector<int> types{1}, shapes{2}, values{3};
  std::vector<std::string> texts{"x"};
  std::vector<GeoLink> areas{{{1.0, 2.0}}};
  EXPECT_FALSE(Lib().GetTrafficSign(Id(201), types, shapes, values, texts, areas));
  // Links lie around the point, but no sign attributes are delivered for them.
  EXPECT_FALSE(Lib().GetTrafficSign(ql::Point(kLon, kLat, 0), types, shapes, values, texts, areas));
  EXPECT_EQ(types, std::vector<int>{1});
  EXPECT_EQ(shapes, std::vector<int>{2});
  EXPECT_EQ(values, std::vector<int>{3});
  EXPECT_EQ(texts, std::vector<std::string>{"x"});
  EXPECT_EQ(areas.size(), 1u);
}

// ---- lane by number (nSeqNum), arrows -----------------------------------------------------------

TEST(HdAttributes, LaneIdAndDataMatchTheLaneNumber) {
  ql::HdLaneId id = LaneId(-1);
  EXPECT_TRUE(Lib().GetLaneId(Id(201), 1, id));
  EXPECT_EQ(id.lValue, 2012);
  EXPECT_TRUE(Lib().GetLaneId(Id(201), 2, id));
  EXPECT_EQ(id.lValue, 2011);
  EXPECT_FALSE(Lib().GetLaneId(Id(201), 4, id));
  EXPECT_FALSE(Lib().GetLaneId(Missing(), 1, id));
  EXPECT_EQ(id.lValue, 2011);

  ql::HdLane lane;
  lane.nType = -5;
  EXPECT_FALSE(Lib().GetLaneData(Id(201), 0, lane));
  EXPECT_EQ(lane.nType, -5);
  ASSERT_TRUE(Lib().GetLaneData(Id(201), 3, lane));
  EXPECT_EQ(lane.liId.lValue, 2013);
  EXPECT_EQ(lane.nWidth, 3200);
  EXPECT_EQ(lane.lRightEdgeId, 99);
  EXPECT_EQ(lane.vctvdGeoLink, Stored(201).vcthlLane[2].vctvdGeoLink);
}

TEST(HdAttributes, ArrowsOfALane) {
  std::string arrows = "X";
  EXPECT_TRUE(Lib().GetLaneArrow(Id(201), LaneId(2011), arrows));
  EXPECT_EQ(arrows, "BDEG");
  EXPECT_TRUE(Lib().GetLaneArrow(Id(201), LaneId(2012), arrows));
  EXPECT_EQ(arrows, "");
  arrows = "X";
  EXPECT_FALSE(Lib().GetLaneArrow(Id(201), LaneId(1), arrows));
  EXPECT_EQ(arrows, "X");

  struct Case {
    int laneNum;
    char letter;
    bool contains;
  };
  const Case cases[] = {{1, 'B', true},  {1, 'D', true},  {1, 'A', false}, {1, 'E', false},  // arrow objects
                        {2, 'B', false}, {0, 'B', false}, {4, 'B', false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.laneNum) + c.letter);
    EXPECT_EQ(Lib().IsLaneContainArrow(Id(201), c.laneNum, c.letter), c.contains);
  }
  EXPECT_FALSE(Lib().IsLaneContainArrow(Missing(), 1, 'B'));
}

// ---- conversions and filters ------------------------------------------------------------------------

TEST(HdAttributes, ConvertGeoLinkAppends) {
  std::vector<ql::Point> points{ql::Point(9, 9, 9)};
  EXPECT_TRUE(ql::HdLib::ConvertGeoLink(GeoLink{{1.5, 2.5}, {1.5, 2.5, 3.5}, {4, 5, 6, 7}}, points));
  ASSERT_EQ(points.size(), 4u);
  EXPECT_EQ(points[0], ql::Point(9, 9, 9));
  EXPECT_EQ(points[1], ql::Point(1.5, 2.5, 0));
  EXPECT_EQ(points[2], ql::Point(1.5, 2.5, 3.5));
  EXPECT_EQ(points[3], ql::Point(4, 5, 6));
  EXPECT_THROW(ql::HdLib::ConvertGeoLink(GeoLink{{1.5}}, points), std::invalid_argument);

  GeoLink geo{{0.0, 0.0}};
  EXPECT_TRUE(ql::HdLib::ConvertGeoLink(std::vector<ql::Point>{ql::Point(1, 2, 3), ql::Point(4, 5, 0)}, geo));
  EXPECT_EQ(geo, (GeoLink{{0.0, 0.0}, {1, 2, 3}, {4, 5, 0}}));
}

TEST(HdAttributes, LanesInAndOutOfTypes) {
  const ql::HdLink* link = Lib().GetLinkData(Id(201));
  ASSERT_NE(link, nullptr);
  struct Case {
    const char* name;
    std::vector<int> types;
    std::vector<long> in, out;
  };
  const Case cases[] = {
      {"None", {}, {}, {2011, 2012, 2013}},
      {"TwoOfThree", {13, 11, 99}, {2011, 2013}, {2012}},
      {"All", {12, 11, 13}, {2011, 2012, 2013}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<const ql::HdLane*> in{&link->vcthlLane[1]}, out{&link->vcthlLane[1]};  // appended to
    EXPECT_TRUE(ql::HdLib::GetLanesInTypes(c.types, link, in));
    EXPECT_TRUE(ql::HdLib::GetLanesOutTypes(c.types, link, out));
    std::vector<long> inIds, outIds;
    for (std::size_t i = 1; i < in.size(); ++i) inIds.push_back(in[i]->liId.lValue);
    for (std::size_t i = 1; i < out.size(); ++i) outIds.push_back(out[i]->liId.lValue);
    EXPECT_EQ(inIds, c.in);
    EXPECT_EQ(outIds, c.out);
    // Pointers into the tile, not copies.
    if (in.size() > 1) {
      EXPECT_GE(in[1], &link->vcthlLane.front());
    }
  }
  std::vector<const ql::HdLane*> lanes;
  EXPECT_FALSE(ql::HdLib::GetLanesInTypes({}, nullptr, lanes));
  EXPECT_FALSE(ql::HdLib::GetLanesOutTypes({}, nullptr, lanes));
  EXPECT_TRUE(lanes.empty());
}

}  // namespace
