// The position request end to end in C++: MapInterface::GetMapData over a dense generated city
// (the same layout as `tools/make_sample_map.py --dense 23`): 23 x 23 junctions 150 m apart,
// one link per direction of every street segment (2024 links), 2 to 4 lanes of 3.5 m, a vertex
// every 10 m, an ADAS sample per lane vertex, a pedestrian crossing before every junction,
// binary tiles at quadtree depth 6. 100,000 positions on lane centres (+-1 m) with headings
// within 20 degrees of the lane's bearing.
//
//   BM_GetMapData         mean time per request, cycling through the positions
//   BM_GetMapDataLatency  every request timed on its own: median and p99 in the counters

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "HdTypes.h"
#include "MapInterface.h"
#include "TileWriter.h"

namespace {

constexpr double kRadius = 6378137.0;
constexpr double kDegToRad = 3.14159265358979323846 / 180.0;
constexpr double kLon0 = 116.30;
constexpr double kLat0 = 39.85;
constexpr int kNodes = 23;
constexpr double kBlock = 150.0;
constexpr double kSpacing = 10.0;
constexpr double kLaneWidth = 3.5;
constexpr int kDepth = 6;
constexpr std::size_t kPositions = 100000;

ql::Point At(double east, double north) {
  return ql::Point(kLon0 + east / (kRadius * std::cos(kLat0 * kDegToRad) * kDegToRad),
                   kLat0 + north / (kRadius * kDegToRad), 0.0);
}

struct Segment {
  long id;
  int from, to;    // junction numbers
  double x0, y0;   // start junction, metres
  double ux, uy;   // direction of travel
  double bearing;  // compass degrees
  int lanes;
};

// Offsets are metres to the right of the street's centre line.
ql::Point Along(const Segment& s, double along, double offset) {
  return At(s.x0 + s.ux * along + s.uy * offset, s.y0 + s.uy * along - s.ux * offset);
}

std::vector<std::vector<double>> Polyline(const Segment& s, double offset) {
  std::vector<std::vector<double>> line;
  const int n = static_cast<int>(std::lround(kBlock / kSpacing));
  for (int i = 0; i <= n; ++i) {
    const ql::Point p = Along(s, kBlock * i / n, offset);
    line.push_back({p.dLon, p.dLat});
  }
  return line;
}

ql::HdLinkId Id(long v) {
  ql::HdLinkId id;
  id.lValue = v;
  return id;
}

std::vector<Segment> Segments() {
  std::vector<Segment> segs;
  long id = 1001;
  const auto node = [](int i, int j) { return j * kNodes + i + 1; };
  for (int j = 0; j < kNodes; ++j) {
    for (int i = 0; i + 1 < kNodes; ++i) {
      const int lanes = 2 + j % 3;
      segs.push_back({id++, node(i, j), node(i + 1, j), i * kBlock, j * kBlock, 1, 0, 90.0, lanes});
      segs.push_back({id++, node(i + 1, j), node(i, j), (i + 1) * kBlock, j * kBlock, -1, 0, 270.0, lanes});
    }
  }
  for (int i = 0; i < kNodes; ++i) {
    for (int j = 0; j + 1 < kNodes; ++j) {
      const int lanes = 2 + (i + 1) % 3;
      segs.push_back({id++, node(i, j), node(i, j + 1), i * kBlock, j * kBlock, 0, 1, 0.0, lanes});
      segs.push_back({id++, node(i, j + 1), node(i, j), i * kBlock, (j + 1) * kBlock, 0, -1, 180.0, lanes});
    }
  }
  return segs;
}

std::vector<ql::HdLink> City(const std::vector<Segment>& segs) {
  std::map<int, std::vector<const Segment*>> byStart, byEnd;
  for (const Segment& s : segs) {
    byStart[s.from].push_back(&s);
    byEnd[s.to].push_back(&s);
  }
  static constexpr int kInnerCross[] = {2, 4, 3};
  std::vector<ql::HdLink> links;
  for (const Segment& s : segs) {
    ql::HdLink link;
    link.liId = Id(s.id);
    link.dLength = kBlock;
    link.nLaneNum = s.lanes;
    link.nType = 1;
    link.dStartAngle = s.bearing;
    link.nSpeedLimit = 30 + 10 * s.lanes;
    link.vctvdGeoLink = Polyline(s, s.lanes * kLaneWidth / 2.0);
    for (int e = 0; e <= s.lanes; ++e) {
      ql::HdEdge edge;
      edge.lId = s.id * 100 + 50 + e;
      edge.nCross = (e == 0 || e == s.lanes) ? 1 : kInnerCross[e - 1];
      edge.vctvdGeoLink = Polyline(s, e * kLaneWidth);
      link.vctheEdge.push_back(edge);
    }
    for (int k = 1; k <= s.lanes; ++k) {
      ql::HdLane lane;
      lane.liId.lValue = s.id * 100 + k;
      lane.lLeftEdgeId = s.id * 100 + 50 + k - 1;
      lane.lRightEdgeId = s.id * 100 + 50 + k;
      lane.nSeqNum = k;
      lane.nDirection = 2;
      lane.nType = (s.lanes == 4 && k == 4) ? 7 : 1;
      lane.nWidth = 3500;
      lane.vctvdGeoLink = Polyline(s, (k - 0.5) * kLaneWidth);
      for (std::size_t v = 0; v < lane.vctvdGeoLink.size(); ++v) {
        ql::HdLaneAdas sample;
        sample.nSeqNum = static_cast<int>(v);
        sample.dLon = lane.vctvdGeoLink[v][0];
        sample.dLat = lane.vctvdGeoLink[v][1];
        sample.dOutAzimuth = s.bearing;
        lane.vctlaLaneAdas.push_back(sample);
      }
      link.vcthlLane.push_back(lane);
    }
    ql::ObjCrossing crossing;
    crossing.lId = s.id * 100 + 90;
    for (const auto& [a, o] : std::vector<std::pair<double, double>>{{kBlock - 22, 0},
                                                                     {kBlock - 18, 0},
                                                                     {kBlock - 18, s.lanes * kLaneWidth},
                                                                     {kBlock - 22, s.lanes * kLaneWidth}}) {
      const ql::Point p = Along(s, a, o);
      crossing.vctvdGeoArea.push_back({p.dLon, p.dLat});
    }
    link.vctcrCrossing.push_back(crossing);
    for (const Segment* n : byStart[s.to]) {
      if (n->to != s.from) link.vctliNxtLinkId.push_back(Id(n->id));
    }
    for (const Segment* p : byEnd[s.from]) {
      if (p->from != s.to) link.vctliPreLinkId.push_back(Id(p->id));
    }
    links.push_back(std::move(link));
  }
  return links;
}

struct Position {
  ql::Point p;
  double heading;
};

struct Bench {
  ql::MapInterface map;
  std::vector<Position> positions;
  std::string dir;
};

// Writes and loads the city once per process; the library's console output goes to /dev/null.
Bench& Setup() {
  static Bench* bench = [] {
    auto* b = new Bench;  // lives until the process ends, like the map it holds
    std::string tmpl = (std::filesystem::temp_directory_path() / "ql_bench_city_XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    b->dir = tmpl;
    const std::vector<Segment> segs = Segments();
    qlw::WriteProject(b->dir, City(segs), kDepth);
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    b->map.Init(b->dir + "/", "config_binary.json");
    std::fflush(stdout);
    dup2(saved, 1);
    close(null);
    close(saved);
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> along(20.0, kBlock - 20.0), side(-1.0, 1.0), turn(-20.0, 20.0);
    for (std::size_t i = 0; i < kPositions; ++i) {
      const Segment& s = segs[rng() % segs.size()];
      const int lane = 1 + static_cast<int>(rng() % static_cast<unsigned>(s.lanes));
      const ql::Point p = Along(s, along(rng), (lane - 0.5) * kLaneWidth + side(rng));
      b->positions.push_back({p, std::fmod(s.bearing + turn(rng) + 360.0, 360.0)});
    }
    std::error_code ec;
    std::filesystem::remove_all(b->dir, ec);  // every tile is cached by now
    return b;
  }();
  return *bench;
}

struct Outputs {
  long linkId = 0;
  std::vector<long> pre, nxt;
  int laneCnt = 0, laneNum = 0, speed = 0, inCross = 0;
  ql::LaneType type{};
  ql::EdgeCrossType left{}, right{};
  double angle = 0.0;
  ql::Point foot;
};

bool Request(Bench& b, const Position& q, Outputs& o) {
  o.pre.clear();
  o.nxt.clear();
  return b.map.GetMapData(q.p, q.heading, o.linkId, o.pre, o.nxt, o.laneCnt, o.laneNum, o.type, o.left, o.right,
                          o.speed, o.angle, o.foot, o.inCross);
}

void BM_GetMapData(benchmark::State& state) {
  Bench& b = Setup();
  Outputs o;
  std::size_t i = 0, hits = 0, calls = 0;
  for (auto _ : state) {
    hits += Request(b, b.positions[i], o) ? 1 : 0;
    benchmark::DoNotOptimize(o.foot);
    ++calls;
    if (++i == b.positions.size()) i = 0;
  }
  state.counters["on_map"] = static_cast<double>(hits) / static_cast<double>(calls);
}
BENCHMARK(BM_GetMapData)->Unit(benchmark::kMicrosecond);

void BM_GetMapDataLatency(benchmark::State& state) {
  Bench& b = Setup();
  Outputs o;
  std::vector<double> us(b.positions.size());
  std::size_t hits = 0;
  for (auto _ : state) {
    for (std::size_t i = 0; i < b.positions.size(); ++i) {
      const auto t0 = std::chrono::steady_clock::now();
      hits += Request(b, b.positions[i], o) ? 1 : 0;
      const auto t1 = std::chrono::steady_clock::now();
      us[i] = std::chrono::duration<double, std::micro>(t1 - t0).count();
    }
  }
  std::sort(us.begin(), us.end());
  state.counters["median_us"] = us[us.size() / 2];
  state.counters["p99_us"] = us[us.size() * 99 / 100];
  state.counters["on_map"] = static_cast<double>(hits) / static_cast<double>(us.size() * state.iterations());
}
BENCHMARK(BM_GetMapDataLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
