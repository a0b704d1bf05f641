// The endpoint graph on the dense generated city of tools/DenseCity.h (2024 links of 2 to 4 lanes,
// junctions 150 m apart, binary tiles at quadtree depth 6), every call timed on its own: median
// and p99 per call in the counters.
//
//   BM_GetNextLaneEndpointsLatency  from every lane of every link
//   BM_GetPreEndpointsLatency       into every lane of every link
//   BM_GetNearEndpointsLaneLatency  the lane variant at 100,000 lane positions, a 50 m box
//   BM_GetNearestEndpointLatency    both variants at the same positions and box
//
// The city's links carry no lane connections, so each lane here continues in the lane of the
// same number of every successor, or in its last lane where it has fewer (and is continued
// likewise), as the sample map generator draws them. The request benchmark holds the city
// without them in the same process, so this copy lies one degree further east, in tiles of its
// own (and still in the same projection zone).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "DenseCity.h"
#include "HdLib.h"
#include "Quietly.h"
#include "TileWriter.h"

namespace {

constexpr double kShift = 1.0;  // degrees east of the city of the request benchmark
constexpr std::size_t kPositions = 100000;
constexpr float kBox = 50.0f;  // metres to each side

// The city's links, shifted east and with every lane's predecessor and successor lanes.
std::vector<ql::HdLink> ConnectedCity(const std::vector<qlw::city::Segment>& segs) {
  std::vector<ql::HdLink> links = qlw::city::Links(segs);
  qlw::city::ShiftEast(links, kShift);
  std::map<long, int> lanes;
  for (const ql::HdLink& link : links) lanes[link.liId.lValue] = static_cast<int>(link.vcthlLane.size());
  const auto laneOf = [&lanes](const ql::HdLinkId& id, int k) {
    ql::HdLaneId lane;
    lane.lValue = id.lValue * 100 + std::min(k, lanes.at(id.lValue));
    return lane;
  };
  for (ql::HdLink& link : links) {
    for (ql::HdLane& lane : link.vcthlLane) {
      for (const ql::HdLinkId& next : link.vctliNxtLinkId)
        lane.vctliNxtLaneId.push_back(laneOf(next, lane.nSeqNum));
      for (const ql::HdLinkId& pre : link.vctliPreLinkId) lane.vctliPreLaneId.push_back(laneOf(pre, lane.nSeqNum));
    }
  }
  return links;
}

struct City {
  std::vector<ql::LaneEndpoint> lanes;  // one endpoint per lane: its link (with tiles) and lane
  std::vector<ql::Point> positions;
};

// Writes and loads the city once per process; the library's console output goes to /dev/null.
const City& Setup() {
  static const City* city = [] {
    auto* c = new City;  // lives until the process ends, like the tiles it names
    std::string dir = (std::filesystem::temp_directory_path() / "ql_bench_endpoints_XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) std::abort();
    const std::vector<qlw::city::Segment> segs = qlw::city::Segments();
    const qlw::TileMap tiles = qlw::WriteProject(dir, ConnectedCity(segs), qlw::city::kDepth);
    qlbench::Quietly([&] { ql::HdLib::GetInstance()->Init(dir + "/", "config_binary.json"); });
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);  // every tile is cached by now
    std::map<long, const ql::HdLink*> byId;
    for (const auto& tile : tiles) {
      for (const ql::HdLink& link : tile.second.m_values) byId[link.liId.lValue] = &link;
    }
    for (const auto& entry : byId) {
      for (const ql::HdLane& lane : entry.second->vcthlLane) {
        ql::LaneEndpoint e;
        e.liLinkId = entry.second->liId;
        e.liLaneId = lane.liId;
        c->lanes.push_back(e);
      }
    }
    for (const qlw::city::Position& q : qlw::city::LanePositions(segs, kPositions)) {
      c->positions.push_back(ql::Point(q.p.dLon + kShift, q.p.dLat, q.p.dAlt));
    }
    return c;
  }();
  return *city;
}

// Times call(item) for every item on its own; median and p99 in microseconds, and the mean
// number of results per call.
template <class Item, class Call>
void TimeEach(benchmark::State& state, const std::vector<Item>& items, Call call) {
  std::vector<double> us(items.size());
  double results = 0;
  for (auto _ : state) {
    for (std::size_t i = 0; i < items.size(); ++i) {
      const auto t0 = std::chrono::steady_clock::now();
      const std::size_t n = call(items[i]);
      const auto t1 = std::chrono::steady_clock::now();
      us[i] = std::chrono::duration<double, std::micro>(t1 - t0).count();
      results += static_cast<double>(n);
    }
  }
  std::sort(us.begin(), us.end());
  state.counters["median_us"] = us[us.size() / 2];
  state.counters["p99_us"] = us[us.size() * 99 / 100];
  state.counters["calls"] = static_cast<double>(us.size());
  state.counters["results"] = results / static_cast<double>(us.size() * state.iterations());
}

// A walk from (or into) every lane of the city.
using Walk = bool (ql::HdLib::*)(const ql::LaneEndpoint&, std::vector<ql::LaneEndpoint>&) const;

template <Walk walk>
void BM_WalkLatency(benchmark::State& state) {
  const City& city = Setup();
  const ql::HdLib& lib = *ql::HdLib::GetInstance();
  std::vector<ql::LaneEndpoint> out;
  TimeEach(state, city.lanes, [&](const ql::LaneEndpoint& e) {
    out.clear();
    (lib.*walk)(e, out);
    return out.size();
  });
}
void BM_GetNextLaneEndpointsLatency(benchmark::State& state) {
  BM_WalkLatency<&ql::HdLib::GetNextLaneEndpoints>(state);
}
void BM_GetPreEndpointsLatency(benchmark::State& state) { BM_WalkLatency<&ql::HdLib::GetPreEndpoints>(state); }
BENCHMARK(BM_GetNextLaneEndpointsLatency)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetPreEndpointsLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_GetNearEndpointsLaneLatency(benchmark::State& state) {
  const City& city = Setup();
  const ql::HdLib& lib = *ql::HdLib::GetInstance();
  std::vector<ql::Point> feet;
  std::vector<ql::LaneEndpoint> endpoints;
  std::vector<double> distances;
  TimeEach(state, city.positions, [&](const ql::Point& p) {
    feet.clear();
    endpoints.clear();
    distances.clear();
    lib.GetNearEndpoints(p, kBox, kBox, feet, endpoints, distances);
    return endpoints.size();
  });
}
BENCHMARK(BM_GetNearEndpointsLaneLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

template <class Endpoint>
void BM_GetNearestEndpointLatency(benchmark::State& state) {
  const City& city = Setup();
  const ql::HdLib& lib = *ql::HdLib::GetInstance();
  TimeEach(state, city.positions, [&](const ql::Point& p) {
    ql::Point foot;
    Endpoint endpoint;
    double distance = 0;
    return static_cast<std::size_t>(lib.GetNearestEndpoint(p, kBox, kBox, foot, endpoint, distance));
  });
}
BENCHMARK_TEMPLATE(BM_GetNearestEndpointLatency, ql::LaneEndpoint)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_GetNearestEndpointLatency, ql::LinkEndpoint)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
