// The position request all over the world: one map written with the tile writer holds a small
// two-lane link at places on every continent, in all four hemispheres, across the prime
// meridian, the equator, tile borders west and south of them and 3-degree zone borders, and
// every lane answers where it lies, under the tile intervals as the configuration reads them
// and as exactly 0.02. Positions that are not on the earth, or within the pole cap, answer not
// on the map without a tile read.
//
// The HD store is one per process and keeps its tiles, so every test of this binary reads the
// same map; under ctest each test runs in a process of its own.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "CoordSys.h"
#include "HdLib.h"
#include "HdTypes.h"
#include "MapBuilder.h"
#include "MapConfig.h"
#include "MapInterface.h"
#include "MapRequest.h"
#include "Singleton.h"
#include "World.h"

namespace {

using ql::Point;
using ql::XYZ;
using GeoLink = std::vector<std::vector<double>>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.14159265358979323846;

// A site: a link of two lanes, 80 m long, through `centre` with the given bearing (degrees
// clockwise from grid north), drawn straight in the plane of the centre's zone.
struct Site {
  const char* name;
  double lon, lat, bearing;
};

const Site kSites[] = {
    {"Beijing", 116.39, 39.91, 90},
    {"Tokyo", 139.69, 35.69, 90},
    {"SydneySouthEast", 151.21, -33.87, 90},
    {"McMurdo", 166.67, -77.85, 90},
    {"CapeTown", 18.42, -33.92, 120},
    {"Nairobi", 36.82, -1.29, 30},
    {"Reykjavik", -21.94, 64.15, 90},
    {"NewYork", -74.01, 40.71, 45},
    {"Anchorage", -149.9, 61.22, 90},
    {"Honolulu", -157.86, 21.31, 90},
    {"Alert", -62.35, 82.5, 90},
    {"Lima", -77.04, -12.05, 90},
    {"ValparaisoInRowMinus1654", -71.62, -33.09, 90},  // row -1654: -33.10 .. -33.08
    {"BuenosAires", -58.38, -34.6, 90},                // 4.4 degrees west of its meridian
    {"AcrossThePrimeMeridian", 0.0, 51.4779, 90},
    {"AcrossColumnMinusOne", -0.02, 51.5, 90},
    {"AcrossTheEquator", 32.58, 0.0, 0},
    {"AcrossRowMinusOne", 9.5, -0.02, 0},
    {"AcrossTheZoneBorderAt121_5E", 121.5, 31.2, 90},
    {"AcrossTheZoneBorderAt1_5E", 1.5, 43.6, 90},
    {"AcrossTheZoneBorderAt4_5W", -4.5, 40.4, 90},
    {"AcrossTheZoneBorderAt73_5W", -73.5, 41.0, 90},
    {"AcrossTheZoneBorderAt58_5WSouth", -58.5, -34.6, 90},
    {"AcrossTheZoneBorderAt148_5ESouth", 148.5, -33.9, 90},
    {"NearTheAntimeridianWest", -179.9, 65.0, 90},
    {"NearTheAntimeridianEast", 179.9, -16.5, 90},
};
constexpr int kSiteCount = static_cast<int>(sizeof kSites / sizeof kSites[0]);

constexpr double kLength = 80.0;
constexpr double kLaneWidth = 3.5;
long LinkOf(int site) { return 1000 + site * 10; }
int LaneType(int site, int lane) { return 100 + site * 2 + lane; }
int EdgeCross(int edge) { return edge + 1; }  // 1 not crossable, 2 both ways, 3 leftwards

// The plane point `along` metres ahead of the centre on the link and `right` metres to its
// right, as a position.
Point At(const Site& s, double along, double right) {
  const Point centre(s.lon, s.lat, 0);
  const XYZ c = ql::P2XYZInZone(centre, ql::P2Zone(centre));
  const double t = s.bearing * kPi / 180.0;
  const double east = along * std::sin(t) + right * std::cos(t);
  const double north = along * std::cos(t) - right * std::sin(t);
  const Point p = ql::XYZ2P(XYZ(c.dX + east, c.dY + north, 0));
  return Point(p.dLon, p.dLat, 0);
}

GeoLink Line(const Site& s, double right) {
  GeoLink line;
  for (double a = -kLength / 2; a <= kLength / 2 + 1e-9; a += 10.0) {
    const Point p = At(s, a, right);
    line.push_back({p.dLon, p.dLat, 0.0});
  }
  return line;
}

std::vector<ql::HdLink> Links() {
  std::vector<ql::HdLink> links;
  for (int i = 0; i < kSiteCount; ++i) {
    const Site& s = kSites[i];
    ql::HdLink link = qltest::Link(LinkOf(i), Line(s, kLaneWidth));
    link.nSpeedLimit = 60;
    link.dStartAngle = s.bearing;
    for (int e = 0; e <= 2; ++e)
      qltest::AddEdge(link, LinkOf(i) * 10 + e, Line(s, e * kLaneWidth)).nCross = EdgeCross(e);
    for (int n = 1; n <= 2; ++n) {
      ql::HdLane& lane = qltest::AddLane(link, LinkOf(i) * 10 + n, n, 3500, LinkOf(i) * 10 + n - 1,
                                         LinkOf(i) * 10 + n, Line(s, (n - 0.5) * kLaneWidth));
      lane.nType = LaneType(i, n);
      for (const std::vector<double>& v : lane.vctvdGeoLink) {
        ql::HdLaneAdas sample;
        sample.dLon = v[0];
        sample.dLat = v[1];
        sample.dOutAzimuth = s.bearing;
        lane.vctlaLaneAdas.push_back(sample);
      }
    }
    links.push_back(link);
  }
  return links;
}

const qltest::WrittenMap& Map() {
  static const qltest::WrittenMap map("test_Worldwide", Links(), 5, "config_binary.json");
  return map;
}

using HdStore = ql::Singleton<ql::HdWorld, ql::NewHdWorld>;

// Each test sets the tile intervals it runs with and restores the configured ones.
class Worldwide : public ::testing::Test {
 protected:
  void SetUp() override {
    Map();
    m_dLon = ql::MapConfig::tile_lon_interval;
    m_dLat = ql::MapConfig::tile_lat_interval;
  }
  void TearDown() override {
    ql::MapConfig::tile_lon_interval = m_dLon;
    ql::MapConfig::tile_lat_interval = m_dLat;
  }
  ql::MapInterface& Request() { return m_map; }

 private:
  double m_dLon = 0, m_dLat = 0;
  ql::MapInterface m_map;  // over the process's HdLib, initialised by Map()
};

// ---- every lane answers where it lies ----------------------------------------------------------

// The intervals as the configuration reads the number 0.02 (one ulp above), and exactly 0.02.
enum class Interval { kAsRead, kExact };

class SiteRequest : public Worldwide, public ::testing::WithParamInterface<std::tuple<int, Interval>> {};

TEST_P(SiteRequest, EveryLaneAnswersAlongTheLink) {
  const int i = std::get<0>(GetParam());
  const Site& s = kSites[i];
  ASSERT_EQ(ql::MapConfig::tile_lat_interval, 0x1.47ae147ae147cp-6);
  if (std::get<1>(GetParam()) == Interval::kExact) {
    ql::MapConfig::tile_lon_interval = 0.02;
    ql::MapConfig::tile_lat_interval = 0.02;
  }
  for (const double along : {-36.7, -18.2, -3.1, 0.4, 2.9, 13.3, 35.6}) {
    for (int lane = 1; lane <= 2; ++lane) {
      SCOPED_TRACE("lane " + std::to_string(lane) + " at " + std::to_string(along) + " m");
      const Point p = At(s, along, (lane - 0.5) * kLaneWidth + 0.4);
      const qltest::RequestOutputs r = qltest::Request(Request(), p, s.bearing);
      ASSERT_TRUE(r.ok);
      EXPECT_EQ(r.linkId, LinkOf(i));
      EXPECT_EQ(r.laneCnt, 2);
      EXPECT_EQ(r.laneNum, lane);
      EXPECT_EQ(r.laneType, LaneType(i, lane));
      EXPECT_EQ(r.leftCross, EdgeCross(lane - 1));
      EXPECT_EQ(r.rightCross, EdgeCross(lane));
      EXPECT_EQ(r.speedLimit, 60);
      EXPECT_EQ(r.laneAngle, s.bearing);
      // The foot, measured in the plane the link was drawn in: to the centimetre within 1.5
      // degrees of the zone's meridian, to the series' few centimetres 4.5 degrees off it.
      const Point centre(s.lon, s.lat, 0);
      const int zone = ql::P2Zone(centre);
      const XYZ want = ql::P2XYZInZone(At(s, along, (lane - 0.5) * kLaneWidth), zone);
      const XYZ got = ql::P2XYZInZone(r.foot, zone);
      const double tol = std::fabs(p.dLon - ql::P2Zone(p) * 3.0) <= 1.5 ? 0.01 : 0.03;
      EXPECT_LT(std::hypot(got.dX - want.dX, got.dY - want.dY), tol);
    }
  }
  // Beyond the link's outer edges: nothing.
  for (const double right : {-1.0, 2 * kLaneWidth + 1.0}) {
    EXPECT_FALSE(qltest::Request(Request(), At(s, 5.0, right), s.bearing).ok) << right;
  }
}

INSTANTIATE_TEST_SUITE_P(Worldwide, SiteRequest,
                         ::testing::Combine(::testing::Range(0, kSiteCount),
                                            ::testing::Values(Interval::kAsRead, Interval::kExact)),
                         [](const auto& info) {
                           return std::string(kSites[std::get<0>(info.param)].name) +
                                  (std::get<1>(info.param) == Interval::kExact ? "Exact" : "AsRead");
                         });

TEST_F(Worldwide, TheMapHasTilesInAllFourQuadrants) {
  // The premise of the sites: the writer put tiles on both sides of both grid axes.
  bool west = false, east = false, south = false, north = false;
  for (const auto& tile : Map().Tiles()) {
    west |= tile.first.nLonId<0, east |= tile.first.nLonId> 0;
    south |= tile.first.nLatId<0, north |= tile.first.nLatId> 0;
  }
  EXPECT_TRUE(west && east && south && north);
  std::set<int> rows;
  for (const auto& tile : Map().Tiles()) rows.insert(tile.first.nLatId);
  EXPECT_EQ(rows.count(-1654), 1u);
  EXPECT_EQ(rows.count(-1), 1u);
  EXPECT_EQ(rows.count(0), 1u);
}

// ---- positions off the earth and in the pole cap ------------------------------------------------

bool SameBits(const Point& a, const Point& b) {
  return std::memcmp(&a.dLon, &b.dLon, sizeof(double)) == 0 &&
         std::memcmp(&a.dLat, &b.dLat, sizeof(double)) == 0 && std::memcmp(&a.dAlt, &b.dAlt, sizeof(double)) == 0;
}

TEST_F(Worldwide, PositionsOffTheEarthOrAtThePolesReadNoTile) {
  const std::size_t tiles = HdStore()->GetTiles().size();
  const std::set<ql::TileId> failed = HdStore()->GetFailedTiles();
  const Point positions[] = {
      {kNaN, 40.0, 0},      {116.39, kNaN, 0},     {kInf, 40.0, 0},   {-kInf, 40.0, 0},   {116.39, kInf, 0},
      {116.39, 95, 0},      {116.39, -90.5, 0},    {116.39, 90.0, 0}, {-74.0, -90.0, 0},  {0.0, 89.9999, 0},
      {-179.0, 89.9999, 0}, {151.2, -89.99999, 0}, {1e300, 10.0, 0},  {116.39, 1e300, 0},
  };
  for (const double interval : {0x1.47ae147ae147cp-6, 0.02}) {
    ql::MapConfig::tile_lon_interval = interval;
    ql::MapConfig::tile_lat_interval = interval;
    for (const Point& p : positions) {
      SCOPED_TRACE(std::to_string(p.dLon) + ", " + std::to_string(p.dLat));
      const qltest::RequestOutputs r = qltest::Request(Request(), p, 90.0);
      EXPECT_FALSE(r.ok);
      EXPECT_TRUE(SameBits(r.foot, p));  // off every lane: the position is its own foot
      EXPECT_EQ(std::vector<int>(
                    {r.laneCnt, r.laneNum, r.laneType, r.leftCross, r.rightCross, r.speedLimit, r.isInCross}),
                std::vector<int>(7, 0));
      std::vector<ql::HdLinkId> links;
      std::vector<ql::HdLaneId> lanes;
      EXPECT_FALSE(ql::HdLib::GetInstance()->GetLocateLanes(p, links, lanes));
      EXPECT_FALSE(ql::HdLib::GetInstance()->GetIsInCross(p));
    }
  }
  // Not a tile was probed: none read, none remembered as missing.
  EXPECT_EQ(HdStore()->GetTiles().size(), tiles);
  EXPECT_EQ(HdStore()->GetFailedTiles().size(), failed.size());
}

}  // namespace
