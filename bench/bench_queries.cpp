// HD location queries on a dense generated map: 1,000 links of 3 lanes (40 columns of 25 links,
// each link 100 m long and 10.5 m wide, vertices every 10 m, one crossing area on every fifth
// link), written as binary tiles by the tile writer into a temporary directory around 121.40 E,
// 31.20 N (tiles no other benchmark uses), quadtree depth 6. Each iteration asks for one of
// 1,024 fixed positions inside lanes, as the position request does on every call.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "CoordSys.h"
#include "HdLib.h"
#include "HdTypes.h"
#include "TileWriter.h"

namespace {

using GeoLink = ql::HdLib::GeoLink;

const ql::Point kOrigin(121.40, 31.20, 0.0);
constexpr int kColumns = 40;
constexpr int kRows = 25;
constexpr int kLanes = 3;
constexpr double kLaneWidth = 3.5;     // metres
constexpr double kColumnStep = 12.0;   // metres between the west edges of two columns
constexpr double kLinkLength = 100.0;  // metres
constexpr double kVertexStep = 10.0;   // metres

ql::Point At(double x, double y) {
  const ql::XYZ o = ql::P2XYZ(kOrigin);
  const ql::Point p = ql::XYZ2P(ql::XYZ(o.dX + x, o.dY + y, 0.0));
  return ql::Point(p.dLon, p.dLat, 0.0);
}

GeoLink NorthLine(double x, double y0) {
  GeoLink line;
  for (double y = 0.0; y <= kLinkLength + 1e-9; y += kVertexStep) {
    const ql::Point p = At(x, y0 + y);
    line.push_back({p.dLon, p.dLat, 0.0});
  }
  return line;
}

std::vector<ql::HdLink> DenseLinks() {
  std::vector<ql::HdLink> links;
  for (int col = 0; col < kColumns; ++col) {
    for (int row = 0; row < kRows; ++row) {
      const long id = 100000 + col * 1000 + row;
      const double x0 = col * kColumnStep;
      const double y0 = row * kLinkLength;
      ql::HdLink link;
      link.liId.lValue = id;
      link.dLength = kLinkLength;
      link.vctvdGeoLink = NorthLine(x0 + kLanes * kLaneWidth / 2, y0);
      for (int e = 0; e <= kLanes; ++e) {
        ql::HdEdge edge;
        edge.lId = id * 10 + e;
        edge.nCross = 2;
        edge.vctvdGeoLink = NorthLine(x0 + e * kLaneWidth, y0);
        link.vctheEdge.push_back(edge);
      }
      for (int n = 1; n <= kLanes; ++n) {
        ql::HdLane lane;
        lane.liId.lValue = id * 10 + n;
        lane.nSeqNum = n;
        lane.nWidth = 3500;
        lane.lLeftEdgeId = id * 10 + n - 1;
        lane.lRightEdgeId = id * 10 + n;
        lane.vctvdGeoLink = NorthLine(x0 + (n - 0.5) * kLaneWidth, y0);
        for (const std::vector<double>& v : lane.vctvdGeoLink) {
          ql::HdLaneAdas sample;
          sample.dLon = v[0];
          sample.dLat = v[1];
          lane.vctlaLaneAdas.push_back(sample);
        }
        link.vcthlLane.push_back(lane);
      }
      if (row % 5 == 0) {
        ql::ObjCrossing crossing;
        for (const auto& c : {std::make_pair(0.0, 90.0), std::make_pair(10.5, 90.0), std::make_pair(10.5, 100.0),
                              std::make_pair(0.0, 100.0)}) {
          const ql::Point p = At(x0 + c.first, y0 + c.second);
          crossing.vctvdGeoArea.push_back({p.dLon, p.dLat});
        }
        link.vctcrCrossing.push_back(crossing);
      }
      links.push_back(link);
    }
  }
  return links;
}

// Positions strictly inside lanes, away from the lane edges.
std::vector<ql::Point> QueryPoints() {
  std::mt19937 rng(20240601);
  std::uniform_int_distribution<int> col(0, kColumns - 1), lane(0, kLanes - 1);
  std::uniform_real_distribution<double> across(0.3, kLaneWidth - 0.3), along(0.5, kRows * kLinkLength - 0.5);
  std::vector<ql::Point> points;
  for (int i = 0; i < 1024; ++i)
    points.push_back(At(col(rng) * kColumnStep + lane(rng) * kLaneWidth + across(rng), along(rng)));
  return points;
}

// Writes and loads the map once per process; the directory goes at exit.
struct DenseMap {
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("ql_bench_queries_" + std::to_string(getpid()));
  std::vector<ql::Point> points = QueryPoints();
  DenseMap() {
    qlw::WriteProject(dir.string(), DenseLinks(), 6);
    ql::HdLib::GetInstance()->Init(dir.string() + "/", "config_binary.json");
  }
  ~DenseMap() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  static const DenseMap& Get() {
    static const DenseMap map;
    return map;
  }
};

void BM_GetLocateLanes(benchmark::State& state) {
  const DenseMap& map = DenseMap::Get();
  const ql::HdLib& lib = *ql::HdLib::GetInstance();
  std::size_t i = 0, found = 0;
  for (auto _ : state) {
    std::vector<ql::HdLinkId> links;
    std::vector<ql::HdLaneId> lanes;
    found += lib.GetLocateLanes(map.points[i++ % map.points.size()], links, lanes);
    benchmark::DoNotOptimize(lanes.data());
  }
  state.counters["found"] =
      benchmark::Counter(static_cast<double>(found) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_GetLocateLanes);

// The box search that GetLocateLanes starts with, alone: the rest is the lane tests.
void BM_GetDataNearby20m(benchmark::State& state) {
  const DenseMap& map = DenseMap::Get();
  const ql::HdLib& lib = *ql::HdLib::GetInstance();
  std::size_t i = 0, links = 0;
  for (auto _ : state) {
    std::vector<const ql::HdLink*> nearby;
    lib.GetDataNearby(map.points[i++ % map.points.size()], 20.0f, 20.0f, nearby, ql::GetDataNearby_param{}, true);
    links += nearby.size();
    benchmark::DoNotOptimize(nearby.data());
  }
  state.counters["links"] =
      benchmark::Counter(static_cast<double>(links) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_GetDataNearby20m);

void BM_GetIsInCross(benchmark::State& state) {
  const DenseMap& map = DenseMap::Get();
  const ql::HdLib& lib = *ql::HdLib::GetInstance();
  std::size_t i = 0, inCross = 0;
  for (auto _ : state) {
    inCross += lib.GetIsInCross(map.points[i++ % map.points.size()]);
  }
  state.counters["inCross"] =
      benchmark::Counter(static_cast<double>(inCross) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_GetIsInCross);

}  // namespace
