// The facade and the position request over a written map: which candidate the heading picks,
// what every output holds after each failing step, the console lines, and the link search.
// Also the interpreter-version rule of the Python module, which needs no interpreter.
//
// Every case lies at a site of its own, 300 m from the next, so that no two cases see each
// other's links. The map is written once per test process (each test runs in its own process
// under ctest) and loaded through MapInterface::Init, as the module does.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "../../quilmar_python/VersionCheck.h"
#include "HdTypes.h"
#include "MapInterface.h"
#include "MapLib.h"
#include "MapRequest.h"
#include "TileWriter.h"

namespace {

namespace fs = std::filesystem;
using ql::HdLink;
using ql::HdLinkId;
using ql::Point;
using Geo = std::vector<std::vector<double>>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kLon0 = 116.31;
constexpr double kLat0 = 39.81;
constexpr double kRadius = 6378137.0;
constexpr double kDegToRad = 3.14159265358979323846 / 180.0;
constexpr double kLaneWidth = 3.5;
constexpr double kLinkLength = 60.0;
// Distances along and left of a link's centre line where requests are made: between vertices
// and well inside the first lane strip, away from the strip's triangle diagonals.
constexpr double kProbeAlong = 23.0;
constexpr double kProbeOffset = 1.2;

// ---- geometry of the sites ------------------------------------------------------------------

Point At(double east, double north) {
  return Point(kLon0 + east / (kRadius * std::cos(kLat0 * kDegToRad) * kDegToRad),
               kLat0 + north / (kRadius * kDegToRad), 0.0);
}
double SiteX(int site) { return (site % 10) * 300.0; }
double SiteY(int site) { return (site / 10) * 300.0; }

// A line along the link (eastwards), `offset` metres south of the site's centre line.
Geo Line(int site, double offset) {
  Geo line;
  for (double a = 0.0; a <= kLinkLength + 1e-9; a += 10.0) {
    const Point p = At(SiteX(site) + a, SiteY(site) - offset);
    line.push_back({p.dLon, p.dLat});
  }
  return line;
}
// Where a request for lane strip `strip` (0: between edges 0 and 1) of a site is made.
Point Probe(int site, int strip = 0) {
  return At(SiteX(site) + kProbeAlong, SiteY(site) - strip * kLaneWidth - kProbeOffset);
}
// The foot of that request on the centre line of the lane between edges strip and strip + 1.
Point LaneCentre(int site, int strip = 0) {
  return At(SiteX(site) + kProbeAlong, SiteY(site) - (strip + 0.5) * kLaneWidth);
}
double MetresApart(const Point& a, const Point& b) {
  const double k = kRadius * kDegToRad;
  return std::hypot((a.dLat - b.dLat) * k, (a.dLon - b.dLon) * k * std::cos(a.dLat * kDegToRad));
}

// ---- links ------------------------------------------------------------------------------------

constexpr long kMissingEdge = 999;
// Crossing types of the edge lines by index, so that a lane's left and right types differ.
int EdgeCross(int e) {
  static constexpr int kCross[] = {1, 3, 4, 2};
  return kCross[e % 4];
}

struct LaneSpec {
  long id;
  int seqNum;
  int leftEdge;  // edge index; kMissingEdge names no edge
  int rightEdge;
  std::vector<double> azimuths;  // one ADAS sample per lane vertex, cycling; empty: none
  int type = 1;
  bool geometry = true;
};

long EdgeId(long link, long index) { return index == kMissingEdge ? kMissingEdge : link * 100 + index; }

// A link running east at `site` with `edges` edge lines 3.5 m apart and the given lanes. A lane's
// line runs midway between its edges (between edges 0 and 1 when an edge is missing).
HdLink MakeLink(long id, int site, int edges, const std::vector<LaneSpec>& lanes, double startAngle = 90.0,
                int speed = 50) {
  HdLink link;
  link.liId.lValue = id;
  link.dLength = kLinkLength;
  link.nType = 1;
  link.dStartAngle = startAngle;
  link.nSpeedLimit = speed;
  link.vctvdGeoLink = Line(site, 0.0);
  for (int e = 0; e < edges; ++e) {
    ql::HdEdge edge;
    edge.lId = EdgeId(id, e);
    edge.nCross = EdgeCross(e);
    edge.vctvdGeoLink = Line(site, e * kLaneWidth);
    link.vctheEdge.push_back(edge);
  }
  for (const LaneSpec& spec : lanes) {
    ql::HdLane lane;
    lane.liId.lValue = spec.id;
    lane.nSeqNum = spec.seqNum;
    lane.lLeftEdgeId = EdgeId(id, spec.leftEdge);
    lane.lRightEdgeId = EdgeId(id, spec.rightEdge);
    lane.nType = spec.type;
    lane.nWidth = 3500;
    // A lane of the reverse direction names its edges the other way round.
    const int strip = (spec.leftEdge == kMissingEdge || spec.rightEdge == kMissingEdge)
                          ? 0
                          : std::min(spec.leftEdge, spec.rightEdge);
    const Geo centre = Line(site, (strip + 0.5) * kLaneWidth);
    if (spec.geometry) lane.vctvdGeoLink = centre;
    for (std::size_t k = 0; k < centre.size() && !spec.azimuths.empty(); ++k) {
      ql::HdLaneAdas sample;
      sample.nSeqNum = static_cast<int>(k);
      sample.dLon = centre[k][0];
      sample.dLat = centre[k][1];
      sample.dOutAzimuth = spec.azimuths[k % spec.azimuths.size()];
      lane.vctlaLaneAdas.push_back(sample);
    }
    link.vcthlLane.push_back(lane);
  }
  return link;
}

HdLinkId Id(long v) {
  HdLinkId id;
  id.lValue = v;
  return id;
}

// A crossing area over the first lane strip around the probe.
void AddCrossing(HdLink& link, int site) {
  ql::ObjCrossing crossing;
  crossing.lId = link.liId.lValue * 10;
  // Along 18 to 28 m, from 0.5 m left of the centre line to 3 m right of it (offsets are south).
  static constexpr double kCorners[4][2] = {{18.0, -0.5}, {28.0, -0.5}, {28.0, 3.0}, {18.0, 3.0}};
  for (const auto& corner : kCorners) {
    const Point p = At(SiteX(site) + corner[0], SiteY(site) - corner[1]);
    crossing.vctvdGeoArea.push_back({p.dLon, p.dLat});
  }
  link.vctcrCrossing.push_back(crossing);
}

// A node of the link graph for the search: no lanes, one vertex at a site of its own.
HdLink GraphLink(long id, int site, double length, int type, std::vector<long> pre, std::vector<long> nxt) {
  HdLink link;
  link.liId.lValue = id;
  link.dLength = length;
  link.nType = type;
  const Point p = At(SiteX(site), SiteY(site));
  link.vctvdGeoLink = {{p.dLon, p.dLat}};
  for (long v : pre) link.vctliPreLinkId.push_back(Id(v));
  for (long v : nxt) link.vctliNxtLinkId.push_back(Id(v));
  return link;
}

// ---- the heading choice: one link per row, its lanes all in the first strip ------------------

struct HeadingCase {
  const char* name;
  std::vector<std::vector<double>> azimuths;  // per candidate lane; {} for a lane without samples
  double startAngle;
  double heading;
  int chosen;  // lane number (= candidate position + 1) the request reports
  bool found;  // false: the chosen lane has no samples, the request stops at the lane angle
};

const std::vector<HeadingCase>& HeadingCases() {
  static const std::vector<HeadingCase> cases = {
      {"TieGoesToTheLaterCandidate", {{80.0}, {100.0}}, 90.0, 90.0, 2, true},
      {"DifferenceWrapsOver360", {{30.0}, {355.0}}, 90.0, 10.0, 2, true},
      {"NoWrapWhenCloserDirectly", {{200.0}, {355.0}}, 90.0, 190.0, 1, true},
      {"AngleBeyondATurnReducedFirst", {{345.0}, {-20.0}}, 90.0, 350.0, 1, true},
      {"HeadingBelowZeroReducedFirst", {{355.0}, {350.0}}, 90.0, -10.0, 2, true},
      {"HeadingTurnsAwayReducedFirst", {{355.0}, {350.0}}, 90.0, 1070.0, 2, true},
      {"InfiniteHeadingTakesTheFirst", {{350.0}, {10.0}}, 90.0, kInf, 1, true},
      {"NaNAzimuthNeverWins", {{kNaN}, {120.0}}, 90.0, 0.0, 2, true},
      {"LaterNaNDoesNotTakeATie", {{10.0}, {kNaN}}, 90.0, 10.0, 1, true},
      {"AllNaNTakesTheFirst", {{kNaN}, {kNaN}}, 90.0, 10.0, 1, true},
      {"ThreeCandidates", {{0.0}, {120.0}, {240.0}}, 90.0, 200.0, 3, true},
      {"StartAngleStandsInForMissingSamples", {{}, {180.0}}, 90.0, 95.0, 1, false},
      {"NaNStartAngleForMissingSamplesNeverWins", {{}, {180.0}}, kNaN, 95.0, 2, true},
  };
  return cases;
}
constexpr int kHeadingFirstSite = 40;
constexpr long kHeadingFirstLink = 400;

// ---- the other sites -----------------------------------------------------------------------------

constexpr int kSiteFull = 0;           // link 1: two lanes, predecessor 11, successor 12, a crossing
constexpr int kSiteNoAngle = 1;        // link 2: one lane without samples, NaN start angle, a crossing
constexpr int kSiteUnloadable = 2;     // link 40 unloadable, link 41 normal, lanes on top of each other
constexpr int kSiteAllUnloadable = 3;  // link 50: two lanes, unloadable
constexpr int kSiteNumberByPos = 4;    // link 60: lanes stored as numbers 2, 1
constexpr int kSiteSeq5 = 5;           // link 70: its one lane numbered 5
constexpr int kSiteSeq0 = 6;           // link 71: numbered 0
constexpr int kSiteLeftMissing = 7;    // link 80: the copy read by id lacks the lane's left edge
constexpr int kSiteRightMissing = 8;   // link 81: lacks its right edge
constexpr int kSiteNoGeometry = 9;     // link 90: a lane without a line
constexpr int kSiteOtherCopy = 10;     // link 100: the copy in its last tile has another lane
constexpr int kSiteNeighbours = 11;    // links 11 and 12
constexpr int kSiteTwoWay = 13;        // link 130: lanes stored +2, +1, -1, -2
constexpr int kSiteGraph = 100;        // the search graph: link 2xx at site 1xx
const Point kOffMap = At(30000.0, 30000.0);
const ql::TileId kMissingTile(1, 1);

int GraphSite(long link) { return kSiteGraph + static_cast<int>(link - 200); }
// A graph link's id as the library hands it out: with the tile it lies in.
HdLinkId GraphId(long link) {
  HdLinkId id = Id(link);
  id.vcttiTileIds = {ql::P2TId(At(SiteX(GraphSite(link)), SiteY(GraphSite(link))))};
  return id;
}

std::vector<HdLink> SiteLinks() {
  std::vector<HdLink> links;
  HdLink full = MakeLink(1, kSiteFull, 3, {{101, 1, 0, 1, {90.0}, 5}, {102, 2, 1, 2, {90.0}, 6}});
  full.vctliPreLinkId = {Id(11)};
  full.vctliNxtLinkId = {Id(12)};
  AddCrossing(full, kSiteFull);
  links.push_back(full);
  links.push_back(MakeLink(11, kSiteNeighbours, 2, {{1101, 1, 0, 1, {90.0}}}));
  links.push_back(MakeLink(12, kSiteNeighbours + 1, 2, {{1201, 1, 0, 1, {90.0}}}));

  HdLink noAngle = MakeLink(2, kSiteNoAngle, 2, {{201, 1, 0, 1, {}, 4}}, kNaN, 30);
  AddCrossing(noAngle, kSiteNoAngle);
  links.push_back(noAngle);

  links.push_back(MakeLink(40, kSiteUnloadable, 2, {{4001, 1, 0, 1, {0.0}}}));
  links.push_back(MakeLink(41, kSiteUnloadable, 2, {{4101, 1, 0, 1, {0.0}}}));
  links.push_back(MakeLink(50, kSiteAllUnloadable, 2, {{5001, 1, 0, 1, {0.0}}, {5002, 2, 0, 1, {0.0}}}));
  links.push_back(MakeLink(60, kSiteNumberByPos, 3, {{6001, 2, 0, 1, {90.0}, 8}, {6002, 1, 1, 2, {90.0}, 9}}));
  links.push_back(MakeLink(70, kSiteSeq5, 2, {{7001, 5, 0, 1, {90.0}}}));
  links.push_back(MakeLink(71, kSiteSeq0, 2, {{7101, 0, 0, 1, {90.0}}}));
  links.push_back(MakeLink(80, kSiteLeftMissing, 3,
                           {{8001, 2, 0, 1, {90.0}, 3}, {8002, 1, static_cast<int>(kMissingEdge), 2, {90.0}, 7}}));
  links.push_back(MakeLink(81, kSiteRightMissing, 3,
                           {{8101, 2, 0, 1, {90.0}, 3}, {8102, 1, 1, static_cast<int>(kMissingEdge), {90.0}, 7}}));
  links.push_back(MakeLink(90, kSiteNoGeometry, 2, {{9001, 1, 0, 1, {45.0}, 2, false}}));
  links.push_back(MakeLink(100, kSiteOtherCopy, 2, {{10001, 1, 0, 1, {90.0}}}));
  // A two-way link: eastbound +1 and +2 on the south side, westbound -1 and -2 on the north, each
  // lane's left edge on its left in its own direction.
  links.push_back(MakeLink(130, kSiteTwoWay, 5,
                           {{13001, 2, 3, 4, {90.0}, 11},
                            {13002, 1, 2, 3, {90.0}, 12},
                            {13003, -1, 2, 1, {270.0}, 13},
                            {13004, -2, 1, 0, {270.0}, 14}}));

  for (std::size_t i = 0; i < HeadingCases().size(); ++i) {
    const HeadingCase& c = HeadingCases()[i];
    std::vector<LaneSpec> lanes;
    for (std::size_t k = 0; k < c.azimuths.size(); ++k) {
      const long lane = (kHeadingFirstLink + static_cast<long>(i)) * 10 + static_cast<long>(k) + 1;
      lanes.push_back({lane, static_cast<int>(k) + 1, 0, 1, c.azimuths[k]});
    }
    links.push_back(MakeLink(kHeadingFirstLink + static_cast<long>(i), kHeadingFirstSite + static_cast<int>(i), 2,
                             lanes, c.startAngle));
  }

  // The search graph:  201 (channel)
  //   210 -> 211 (100 m), 212 (150 m) -> 213 (channel, 50 m);  209 (channel) -> 210
  //   220 -> 221 -> 220 (a cycle), 222, 999 (no such link)
  links.push_back(GraphLink(201, GraphSite(201), 30.0, 3, {}, {}));
  links.push_back(GraphLink(209, GraphSite(209), 5.0, 3, {}, {210}));
  links.push_back(GraphLink(210, GraphSite(210), 10.0, 1, {209}, {211, 212}));
  links.push_back(GraphLink(211, GraphSite(211), 100.0, 1, {210}, {213}));
  links.push_back(GraphLink(212, GraphSite(212), 150.0, 1, {210}, {213}));
  links.push_back(GraphLink(213, GraphSite(213), 50.0, 3, {211, 212}, {}));
  links.push_back(GraphLink(220, GraphSite(220), 1.0, 1, {221}, {221}));
  links.push_back(GraphLink(221, GraphSite(221), 20.0, 1, {220}, {220, 222, 999}));
  links.push_back(GraphLink(222, GraphSite(222), 300.0, 1, {221}, {}));
  return links;
}

// Lists a further tile, three columns east of the link's home tile, in every id of the link and
// puts an edited copy of the link there: a lookup by id reads that copy.
template <class Edit>
void CopyReadById(qlw::TileMap& tiles, long value, const Point& home, const Edit& edit) {
  const ql::TileId homeTile = ql::P2TId(home);
  const ql::TileId other(homeTile.nLonId + 3, homeTile.nLatId);
  HdLink copy;
  for (auto& [tileId, tile] : tiles) {
    for (std::size_t i = 0; i < tile.m_values.size(); ++i) {
      if (tile.m_values[i].liId.lValue == value) {
        tile.m_values[i].liId.vcttiTileIds.push_back(other);
        tile.m_keys[i].vcttiTileIds.push_back(other);
        copy = tile.m_values[i];
      }
    }
  }
  edit(copy);
  ql::HdSerializeData& far = tiles[other];
  far.r = qlw::TileRect(other);
  far.m_keys.push_back(copy.liId);
  far.m_values.push_back(copy);
}

// Tile edits the writer cannot express: ids whose tiles do not hold them.
void Tamper(qlw::TileMap& tiles) {
  for (auto& [tileId, tile] : tiles) {
    for (std::size_t i = 0; i < tile.m_values.size(); ++i) {
      HdLink& link = tile.m_values[i];
      const long v = link.liId.lValue;
      if (v == 40 || v == 50) {
        // Found through this tile's quadtree, but a lookup by the id reads a tile that is missing.
        link.liId.vcttiTileIds = {kMissingTile};
        tile.m_keys[i].vcttiTileIds = {kMissingTile};
        for (auto& bucket : tile.nodes) {
          for (HdLinkId& id : bucket) {
            if (id.lValue == v) id.vcttiTileIds = {kMissingTile};
          }
        }
      }
    }
  }
  // Links 100, 80 and 81: a lookup reads the copy in the last listed tile, which differs from
  // the copy the position was located on: its one lane has another id (100), the lane's left
  // (80) or right (81) edge id names no edge.
  CopyReadById(tiles, 100, Probe(kSiteOtherCopy), [](HdLink& copy) { copy.vcthlLane[0].liId.lValue = 10099; });
  CopyReadById(tiles, 80, Probe(kSiteLeftMissing),
               [](HdLink& copy) { copy.vcthlLane[0].lLeftEdgeId = kMissingEdge; });
  CopyReadById(tiles, 81, Probe(kSiteRightMissing),
               [](HdLink& copy) { copy.vcthlLane[0].lRightEdgeId = kMissingEdge; });
}

// ---- the one map of the test process ------------------------------------------------------------

ql::MapInterface& Map() {
  static ql::MapInterface map;
  return map;
}

class MapEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "ql_mapinterface_XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    m_dir = tmpl;
    constexpr int kDepth = 5;
    qlw::TileMap tiles = qlw::BuildTiles(SiteLinks(), kDepth);
    Tamper(tiles);
    qlw::WriteTiles(m_dir, tiles, kDepth);
    testing::internal::CaptureStdout();  // the configuration echo and the directory listing
    Map().Init(m_dir + "/", "config_binary.json");
    testing::internal::GetCapturedStdout();
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(m_dir, ec);
  }

 private:
  std::string m_dir;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new MapEnvironment);

// ---- running a request ---------------------------------------------------------------------------

// The outputs of a request and what it printed.
struct Result : qltest::RequestOutputs {
  std::string console;
};

Result Request(const Point& p, double heading) {
  Result r;
  testing::internal::CaptureStdout();
  static_cast<qltest::RequestOutputs&>(r) = qltest::Request(Map(), p, heading);
  r.console = testing::internal::GetCapturedStdout();
  return r;
}

std::string ConsoleLine(const char* text) { return std::string("MapInterface::GetMapData(), ") + text + "\n"; }

// ---- requests that succeed -----------------------------------------------------------------------

TEST(GetMapData, FillsEveryOutputForTheLaneAtThePosition) {
  const Result r = Request(Probe(kSiteFull, 1), 92.0);
  ASSERT_TRUE(r.ok) << r.console;
  EXPECT_EQ(r.console, "");
  EXPECT_EQ(r.linkId, 1);
  EXPECT_EQ(r.preIds, (std::vector<long>{-1, 11}));  // appended after what the caller passed
  EXPECT_EQ(r.nxtIds, (std::vector<long>{-2, 12}));
  EXPECT_EQ(r.laneCnt, 2);
  EXPECT_EQ(r.laneNum, 2);
  EXPECT_EQ(r.laneType, 6);
  EXPECT_EQ(r.leftCross, EdgeCross(1));
  EXPECT_EQ(r.rightCross, EdgeCross(2));
  EXPECT_EQ(r.speedLimit, 50);
  EXPECT_EQ(r.laneAngle, 90.0);
  EXPECT_LT(MetresApart(r.foot, LaneCentre(kSiteFull, 1)), 0.01);
  EXPECT_EQ(r.isInCross, 0);  // the crossing area covers the first strip only
}

TEST(GetMapData, CrossingFlagBelongsToThePosition) {
  const Result r = Request(Probe(kSiteFull, 0), 90.0);
  ASSERT_TRUE(r.ok) << r.console;
  EXPECT_EQ(r.laneNum, 1);
  EXPECT_EQ(r.laneType, 5);
  EXPECT_EQ(r.leftCross, EdgeCross(0));
  EXPECT_EQ(r.rightCross, EdgeCross(1));
  EXPECT_EQ(r.isInCross, 1);
}

TEST(GetMapData, ShortFormGivesTheSameAnswer) {
  const Point p = Probe(kSiteFull, 1);
  const Result full = Request(p, 92.0);
  int laneCnt = 0, laneNum = 0, speedLimit = 0;
  ql::LaneType laneType{};
  ql::EdgeCrossType left{}, right{};
  double angle = 0.0;
  Point foot;
  ASSERT_TRUE(Map().GetMapData(p, 92.0, laneCnt, laneNum, laneType, left, right, speedLimit, angle, foot));
  EXPECT_EQ(std::vector<int>({laneCnt, laneNum, laneType, left, right, speedLimit}),
            std::vector<int>(
                {full.laneCnt, full.laneNum, full.laneType, full.leftCross, full.rightCross, full.speedLimit}));
  EXPECT_EQ(angle, full.laneAngle);
  EXPECT_EQ(foot, full.foot);
}

TEST(GetMapData, AttributesAreThoseOfTheLaneAtThePosition) {
  // The lane at the position carries number 2 but is stored first: its own type, edge crossings
  // and line answer, not those of the lane stored second.
  const Result r = Request(Probe(kSiteNumberByPos, 0), 90.0);
  ASSERT_TRUE(r.ok) << r.console;
  EXPECT_EQ(r.laneNum, 2);
  EXPECT_EQ(r.laneType, 8);
  EXPECT_EQ(r.leftCross, EdgeCross(0));
  EXPECT_EQ(r.rightCross, EdgeCross(1));
  EXPECT_LT(MetresApart(r.foot, LaneCentre(kSiteNumberByPos, 0)), 0.01);
}

// Each lane of a two-way link stored +2, +1, -1, -2, and lanes numbered beyond the count or 0,
// answer with their own number and attributes.
struct OwnLaneCase {
  const char* name;
  int site, strip;
  double heading;
  int laneCnt, laneNum, laneType, leftCross, rightCross;
  double laneAngle;
};

void PrintTo(const OwnLaneCase& c, std::ostream* os) { *os << c.name; }

class OwnLane : public ::testing::TestWithParam<OwnLaneCase> {};

TEST_P(OwnLane, AnswersWithItsOwnAttributes) {
  const OwnLaneCase& c = GetParam();
  const Result r = Request(Probe(c.site, c.strip), c.heading);
  ASSERT_TRUE(r.ok) << r.console;
  EXPECT_EQ(r.console, "");
  EXPECT_EQ(std::vector<int>({r.laneCnt, r.laneNum, r.laneType, r.leftCross, r.rightCross}),
            std::vector<int>({c.laneCnt, c.laneNum, c.laneType, c.leftCross, c.rightCross}));
  EXPECT_EQ(r.laneAngle, c.laneAngle);
  EXPECT_LT(MetresApart(r.foot, LaneCentre(c.site, c.strip)), 0.01);
}

INSTANTIATE_TEST_SUITE_P(
    GetMapData, OwnLane,
    ::testing::Values(
        OwnLaneCase{"ReverseMinusTwo", kSiteTwoWay, 0, 270.0, 4, -2, 14, EdgeCross(1), EdgeCross(0), 270.0},
        OwnLaneCase{"ReverseMinusOne", kSiteTwoWay, 1, 270.0, 4, -1, 13, EdgeCross(2), EdgeCross(1), 270.0},
        OwnLaneCase{"ForwardPlusOne", kSiteTwoWay, 2, 90.0, 4, 1, 12, EdgeCross(2), EdgeCross(3), 90.0},
        OwnLaneCase{"ForwardPlusTwo", kSiteTwoWay, 3, 90.0, 4, 2, 11, EdgeCross(3), EdgeCross(4), 90.0},
        OwnLaneCase{"ReverseLaneAgainstTheHeading", kSiteTwoWay, 1, 90.0, 4, -1, 13, EdgeCross(2), EdgeCross(1),
                    270.0},
        OwnLaneCase{"NumberAboveTheLaneCount", kSiteSeq5, 0, 90.0, 1, 5, 1, EdgeCross(0), EdgeCross(1), 90.0},
        OwnLaneCase{"NumberZero", kSiteSeq0, 0, 90.0, 1, 0, 1, EdgeCross(0), EdgeCross(1), 90.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GetMapData, FacadeQueriesKeepAddressingLanesByPosition) {
  // The facade's own lane queries still take lane number n as the lane stored at n - 1: number 1
  // of the two-way link is the lane stored first (+2, type 11), number -1 names none.
  ql::MapLib facade;
  std::vector<HdLinkId> links;
  std::vector<ql::HdLaneId> lanes;
  ASSERT_TRUE(facade.GetLocateLanes(Probe(kSiteTwoWay, 0), links, lanes));
  const HdLinkId id = links.at(0);  // with the tiles the link lies in
  ASSERT_EQ(id.lValue, 130);
  int type = 0;
  ASSERT_TRUE(facade.GetLaneType(id, 1, type));
  EXPECT_EQ(type, 11);
  ASSERT_TRUE(facade.GetLaneType(id, 4, type));
  EXPECT_EQ(type, 14);
  type = -1;
  EXPECT_FALSE(facade.GetLaneType(id, -1, type));
  EXPECT_EQ(type, -1);
}

TEST(GetMapData, CandidateWhoseLinkCannotBeReadIsSkipped) {
  // Links 40 and 41 both hold the position; 40 comes first but its id names a missing tile.
  const Result r = Request(Probe(kSiteUnloadable, 0), 180.0);
  ASSERT_TRUE(r.ok) << r.console;
  EXPECT_EQ(r.linkId, 41);
}

class HeadingChoice : public ::testing::TestWithParam<std::size_t> {};

TEST_P(HeadingChoice, PicksTheCandidateClosestToTheHeading) {
  const HeadingCase& c = HeadingCases()[GetParam()];
  const Result r = Request(Probe(kHeadingFirstSite + static_cast<int>(GetParam()), 0), c.heading);
  EXPECT_EQ(r.linkId, kHeadingFirstLink + static_cast<long>(GetParam()));
  EXPECT_EQ(r.laneNum, c.chosen);
  EXPECT_EQ(r.ok, c.found) << r.console;
  if (!c.found) {
    EXPECT_EQ(r.console, ConsoleLine("get lane angle failed."));
  }
}

INSTANTIATE_TEST_SUITE_P(GetMapData, HeadingChoice, ::testing::Range<std::size_t>(0, HeadingCases().size()),
                         [](const auto& info) { return std::string(HeadingCases()[info.param].name); });

// ---- requests that fail ----------------------------------------------------------------------------

TEST(GetMapData, PositionOnNoLaneReturnsItselfAsFootAndLeavesTheIdsAlone) {
  const Result r = Request(kOffMap, 0.0);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.console, "");
  EXPECT_EQ(r.linkId, -77);
  EXPECT_EQ(r.preIds, (std::vector<long>{-1}));
  EXPECT_EQ(r.nxtIds, (std::vector<long>{-2}));
  EXPECT_EQ(std::vector<int>({r.laneCnt, r.laneNum, r.laneType, r.leftCross, r.rightCross, r.speedLimit}),
            std::vector<int>(6, 0));
  EXPECT_EQ(r.laneAngle, 0.0);
  EXPECT_EQ(r.foot, kOffMap);
  EXPECT_EQ(r.isInCross, 0);
}

// What a failing step leaves: its own output and every later one cleared, earlier ones kept.
struct FailureCase {
  const char* name;
  int site;
  const char* message;  // nullptr: no console line
  long linkId;
  std::vector<int> ints;  // laneCnt, laneNum, laneType, leftCross, rightCross, speedLimit
  double laneAngle;
  int isInCross;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class RequestFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(RequestFailure, ClearsFromTheFailingStepOn) {
  const FailureCase& c = GetParam();
  const Result r = Request(Probe(c.site, 0), 90.0);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.console, c.message ? ConsoleLine(c.message) : std::string());
  EXPECT_EQ(r.linkId, c.linkId);
  EXPECT_EQ(std::vector<int>({r.laneCnt, r.laneNum, r.laneType, r.leftCross, r.rightCross, r.speedLimit}), c.ints);
  EXPECT_EQ(r.laneAngle, c.laneAngle);
  EXPECT_EQ(r.foot, Point());
  EXPECT_EQ(r.isInCross, c.isInCross);
}

INSTANTIATE_TEST_SUITE_P(
    GetMapData, RequestFailure,
    ::testing::Values(
        // One candidate: taken without reading an angle (it has none), stops at the lane angle;
        // the crossing found earlier stays.
        FailureCase{"SingleLaneWithoutSamples",
                    kSiteNoAngle,
                    "get lane angle failed.",
                    2,
                    {1, 1, 4, EdgeCross(0), EdgeCross(1), 30},
                    0.0,
                    1},
        FailureCase{
            "UnreadableLinks", kSiteAllUnloadable, "get lane count failed.", 50, {0, 0, 0, 0, 0, 0}, 0.0, 0},
        FailureCase{"LaneIdMissingFromTheLinkCopyRead",
                    kSiteOtherCopy,
                    "get lane num failed.",
                    100,
                    {1, 0, 0, 0, 0, 0},
                    0.0,
                    0},
        // The copy read by id names no edge for the lane's left (right) edge.
        FailureCase{"LeftEdgeMissing",
                    kSiteLeftMissing,
                    "get left lane edge cross failed.",
                    80,
                    {2, 2, 3, 0, 0, 0},
                    0.0,
                    0},
        FailureCase{"RightEdgeMissing",
                    kSiteRightMissing,
                    "get right lane cross failed.",
                    81,
                    {2, 2, 3, EdgeCross(0), 0, 0},
                    0.0,
                    0},
        FailureCase{
            "LaneWithoutLine", kSiteNoGeometry, nullptr, 90, {1, 1, 2, EdgeCross(0), EdgeCross(1), 50}, 45.0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GetMapData, PreAndSuccessorListsOfAFailedRequestAreKept) {
  // The lane-angle failure of link 2 comes after the id lists were read (link 2 has none).
  const Result r = Request(Probe(kSiteNoAngle, 0), 0.0);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.preIds, (std::vector<long>{-1}));
  EXPECT_EQ(r.nxtIds, (std::vector<long>{-2}));
}

// ---- the link search ---------------------------------------------------------------------------------

struct SearchCase {
  const char* name;
  long start;
  bool forward;
  double maxDistance;
  double startDistance;
  bool found;
  long foundId;  // when found
  double distance;
};

void PrintTo(const SearchCase& c, std::ostream* os) { *os << c.name; }

class LinkSearch : public ::testing::TestWithParam<SearchCase> {};

TEST_P(LinkSearch, FindsTheNearestChannelWithinTheDistance) {
  const SearchCase& c = GetParam();
  ql::MapLib facade;  // shares the process's HdLib and its loaded map
  double distance = c.startDistance;
  bool found = false;
  HdLinkId foundId = Id(-1);
  EXPECT_TRUE(facade.BFSLinks(GraphId(c.start), distance, c.forward, found, c.maxDistance, foundId));
  EXPECT_EQ(found, c.found);
  EXPECT_EQ(foundId.lValue, c.found ? c.foundId : -1);
  EXPECT_DOUBLE_EQ(distance, c.distance);
}

INSTANTIATE_TEST_SUITE_P(
    MapLib, LinkSearch,
    ::testing::Values(SearchCase{"StartIsAChannel", 201, true, 100.0, 0.0, true, 201, 0.0},
                      SearchCase{"ZeroLimitVisitsNothing", 210, true, 0.0, 0.0, false, 0, 0.0},
                      // Both branches count (100 + 150) before the channel's level is reached.
                      SearchCase{"BranchesAddUpPastTheLimit", 210, true, 200.0, 0.0, false, 0, 250.0},
                      SearchCase{"ChannelWithinTheLimit", 210, true, 300.0, 0.0, true, 213, 300.0},
                      SearchCase{"StartingDistanceCounts", 210, true, 300.0, 60.0, false, 0, 310.0},
                      SearchCase{"BackwardsOverPredecessors", 211, false, 1000.0, 0.0, true, 209, 15.0},
                      // 220 comes back through the cycle and is skipped; 999 is not loaded and adds nothing.
                      SearchCase{"CycleAndMissingLinkWithoutChannel", 220, true, 1000.0, 0.0, false, 0, 320.0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the module's interpreter check ------------------------------------------------------------------

struct VersionCase {
  const char* compiled;
  const char* runtime;
  bool compatible;
};

TEST(ModuleVersionCheck, AcceptsOnlyTheSameMajorAndMinor) {
  const VersionCase cases[] = {
      {"3.6", "3.6.9 (default, Jan 26 2021, 15:33:00) \n[GCC 8.4.0]", true},
      {"3.6", "3.6.0", true},
      {"3.6", "3.6", true},
      {"3.6", "3.6+", true},
      {"3.6", "3.7.1", false},
      {"3.6", "2.7.18", false},
      {"3.6", "3.61.0", false},  // 3.6 followed directly by a digit
      {"3.1", "3.11.2 (main, Mar 13 2023, 12:18:29) [GCC 12.2.0]", false},
      {"3.11", "3.11.2 (main, Mar 13 2023, 12:18:29) [GCC 12.2.0]", true},
      {"3.11", "3.1", false},
      {"3.11", "", false},
  };
  for (const VersionCase& c : cases) {
    SCOPED_TRACE(std::string(c.compiled) + " vs " + c.runtime);
    EXPECT_EQ(qlpy::IsCompatiblePython(c.compiled, c.runtime), c.compatible);
  }
}

TEST(ModuleVersionCheck, MessageNamesBothVersions) {
  EXPECT_EQ(qlpy::PythonVersionMismatch("3.6", "3.7.1 (default)"),
            "Python version mismatch: module was compiled for Python 3.6, but the interpreter version is "
            "incompatible: 3.7.1 (default).");
}

}  // namespace
