// The endpoint walks on shapes whose listings multiply (tests/core/HostileWalks.h), each call's
// time and the most heap it held (qlbench::TimeAndHeapPerCall):
//
//   BM_SelfListing_GetNextLaneEndpoints  link and lane listing themselves 10,000 times
//   BM_SelfListing_GetPreEndpoints       the same link; the answer lists the move once per listing
//   BM_SelfListing_GetLinkNext           GetLinkNext(id, lane) on the same link
//   BM_WideSuccessor_GetNextLaneEndpoints  a successor of 1,000 crossable lanes that all continue
//                                          the endpoint's lane: 1,000,000 moves

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "HdLib.h"
#include "HeapPerCall.h"
#include "HostileWalks.h"
#include "TileWriter.h"

namespace {

constexpr int kTimes = 10000;
constexpr int kLanes = 1000;

struct Shapes {
  ql::LaneEndpoint self;  // link 1, lane 10001
  ql::LaneEndpoint wide;  // link 2, lane 20001
};

// Writes and loads both shapes once per process (JSON tiles); the console goes to /dev/null.
const Shapes& Setup() {
  static const Shapes shapes = [] {
    const ql::Point origin(117.3, 39.2, 0.0);
    std::vector<ql::HdLink> links = qlhostile::SelfListing(origin, kTimes);
    for (ql::HdLink& link : qlhostile::WideSuccessor(origin, kLanes)) links.push_back(std::move(link));
    std::string dir = (std::filesystem::temp_directory_path() / "ql_bench_hostile_walks_XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) std::abort();
    const qlw::TileMap tiles = qlw::WriteProject(dir, links, 5);
    std::fflush(stdout);
    const int console = dup(1);
    const int sink = open("/dev/null", O_WRONLY);
    dup2(sink, 1);
    ql::HdLib::GetInstance()->Init(dir + "/", "config_json.json");
    std::fflush(stdout);
    dup2(console, 1);
    close(sink);
    close(console);
    Shapes s;
    for (const auto& tile : tiles) {
      for (const ql::HdLink& link : tile.second.m_values) {
        if (link.liId.lValue != 1 && link.liId.lValue != 2) continue;  // the walks start on 1 and 2
        ql::LaneEndpoint& e = link.liId.lValue == 1 ? s.self : s.wide;
        e.liLinkId = link.liId;
        e.liLaneId = link.vcthlLane.front().liId;
      }
    }
    ql::HdLib::GetInstance()->GetLinkData(s.self.liLinkId);  // every tile read before timing
    ql::HdLib::GetInstance()->GetLinkData(s.wide.liLinkId);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return s;
  }();
  return shapes;
}

using Walk = bool (ql::HdLib::*)(const ql::LaneEndpoint&, std::vector<ql::LaneEndpoint>&) const;

template <Walk walk>
void Walking(benchmark::State& state, const ql::LaneEndpoint& from) {
  const ql::HdLib& lib = *ql::HdLib::GetInstance();
  std::size_t n = 0;
  qlbench::TimeAndHeapPerCall(state, [&] {
    std::vector<ql::LaneEndpoint> out;
    (lib.*walk)(from, out);
    n = out.size();
  });
  state.counters["answer"] = static_cast<double>(n);
}

void BM_SelfListing_GetNextLaneEndpoints(benchmark::State& state) {
  Walking<&ql::HdLib::GetNextLaneEndpoints>(state, Setup().self);
}
void BM_SelfListing_GetPreEndpoints(benchmark::State& state) {
  Walking<&ql::HdLib::GetPreEndpoints>(state, Setup().self);
}
void BM_SelfListing_GetLinkNext(benchmark::State& state) {
  const ql::HdLib& lib = *ql::HdLib::GetInstance();
  const ql::HdLinkId id = Setup().self.liLinkId;
  std::size_t n = 0;
  qlbench::TimeAndHeapPerCall(state, [&] {
    std::vector<ql::HdLinkId> nxt;
    lib.GetLinkNext(id, 1, nxt);
    n = nxt.size();
  });
  state.counters["answer"] = static_cast<double>(n);
}
void BM_WideSuccessor_GetNextLaneEndpoints(benchmark::State& state) {
  Walking<&ql::HdLib::GetNextLaneEndpoints>(state, Setup().wide);
}
BENCHMARK(BM_SelfListing_GetNextLaneEndpoints)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelfListing_GetPreEndpoints)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelfListing_GetLinkNext)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WideSuccessor_GetNextLaneEndpoints)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
