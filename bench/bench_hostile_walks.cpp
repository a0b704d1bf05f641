// The endpoint walks on shapes whose listings multiply (tests/core/HostileWalks.h), at the largest
// sizes a tile may hold (256 tile ids per link id, 256 lanes, 256 entries per listing), each
// call's time and the most heap it held (qlbench::TimeAndHeapPerCall). A call that raises (an
// answer past what one call may hand out, or the heap running out) counts as refused.
//
//   BM_SelfListing_*                     link and lane listing themselves 256 times
//   BM_WideSuccessor_GetNextLaneEndpoints          one lane into 256 crossable lanes: 65,536 moves
//   BM_WideSuccessorListedTiles_GetNextLaneEndpoints/n  the same, the successor listed with n tile ids
//   BM_ClosedSuccessorNaN_GetNextLaneEndpoints     into 256 lanes, no edge crossable, length NaN
//   BM_DistinctSuccessors_GetNextLaneEndpoints     256 distinct successors listed by descending id
//   BM_DistinctWideSuccessors_GetNextLaneEndpoints/m  256 distinct successors of 256 crossable lanes,
//                                                  of length m: 16.7 million moves, or 65,536 at 5
//   BM_RepeatedSuccessor_GetNextLinkEndpoints      one successor listed 256 times, its id 256 tile ids
//   BM_WidePredecessorMostTiles_GetPreEndpoints    from 256 crossable lanes, their link's id 256 tile ids
//   BM_LanesListingTheLane_GetPreEndpoints/n       from 256 crossable lanes each listing the lane n times
//   BM_OneLaneLeadingIn_GetPreEndpoints            from 256 crossable lanes of which one leads in

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "HdLib.h"
#include "HeapPerCall.h"
#include "HostileWalks.h"
#include "Quietly.h"
#include "TileWriter.h"

namespace {

constexpr int kMost = 256;  // each list's limit
// The most copies of every move from kMost lanes whose endpoints (152 bytes each) stay within the
// 128 MiB one call may hand out.
constexpr int kUnderBudget = 13;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Shape ids: the walks start on these links, at their lane id * 10000 + 1.
enum Start : long {
  kSelf = 1,
  kWide = 2,
  kWide64Tiles = 20,
  kWideMostTiles = 22,
  kClosedNaN = 30,
  kRepeated = 40,
  kPredecessorMostTiles = 50,
  kListingMost = 54,
  kListingUnderBudget = 56,
  kOneLeading = 60,
  kDistinct = 100,
  kDistinctWide = 1000,
  kDistinctWideShort = 2000,
};

std::vector<ql::HdLink> Links(const ql::Point& o) {
  std::vector<ql::HdLink> links;
  for (auto shape : {
           qlhostile::SelfListing(o, kMost, kSelf),
           qlhostile::WideSuccessor(o, kMost, kWide),
           qlhostile::WideSuccessor(o, kMost, kWide64Tiles),
           qlhostile::WideSuccessor(o, kMost, kWideMostTiles),
           qlhostile::ClosedSuccessor(o, kMost, kNaN, kClosedNaN),
           qlhostile::RepeatedSuccessor(o, kMost, kRepeated),
           qlhostile::WidePredecessor(o, kMost, 1, 10.0 * kMost, kPredecessorMostTiles),
           qlhostile::WidePredecessor(o, kMost, kMost, 10.0 * kMost, kListingMost),
           qlhostile::WidePredecessor(o, kMost, kUnderBudget, 10.0 * kMost, kListingUnderBudget),
           qlhostile::WidePredecessor(o, kMost, 1, 5.0, kOneLeading, kMost / 2),
           qlhostile::ManySuccessors(o, kMost, 1, kDistinct),
           qlhostile::ManySuccessors(o, kMost, kMost, kDistinctWide),
           qlhostile::ManySuccessors(o, kMost, kMost, kDistinctWideShort),
       }) {
    for (ql::HdLink& link : shape) links.push_back(std::move(link));
  }
  for (ql::HdLink& link : links) {
    if (link.liId.lValue > kDistinctWideShort) link.dLength = 5.0;  // no lane change passes
  }
  return links;
}

// The endpoint of each start link's lane, by start id.
using Starts = std::map<long, ql::LaneEndpoint>;

// Writes and loads the shapes once per process (JSON tiles); the console goes to /dev/null.
const Starts& Setup() {
  static const Starts starts = [] {
    const ql::Point origin(117.31, 39.21, 0.0);  // inside one tile, away from its borders
    std::string dir = (std::filesystem::temp_directory_path() / "ql_bench_hostile_walks_XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) std::abort();
    qlw::TileMap built = qlw::BuildTiles(Links(origin), 5);
    qlhostile::LengthenSuccessorListing(built, kWide64Tiles, kWide64Tiles + 1, 64);
    qlhostile::LengthenSuccessorListing(built, kWideMostTiles, kWideMostTiles + 1, kMost);
    qlhostile::LengthenOwnTileList(built, kRepeated + 1, kMost);
    qlhostile::LengthenOwnTileList(built, kPredecessorMostTiles + 1, kMost);
    const qlw::TileMap tiles = qlw::WriteTiles(dir, built, 5);
    qlbench::Quietly([&] { ql::HdLib::GetInstance()->Init(dir + "/", "config_json.json"); });
    Starts s;
    for (const auto& tile : tiles) {
      for (const ql::HdLink& link : tile.second.m_values) {
        ql::LaneEndpoint e;
        e.liLinkId = link.liId;
        e.liLaneId = qlhostile::LaneIdOf(link.liId.lValue * 10000 + 1);
        s.emplace(link.liId.lValue, e);
      }
    }
    ql::HdLib::GetInstance()->GetLinkData(s.at(kSelf).liLinkId);  // every tile read before timing
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return s;
  }();
  return starts;
}

// One call per iteration; the counters say how many endpoints it handed out, or that it raised.
template <class Call>
void Timed(benchmark::State& state, Call&& call) {
  std::size_t n = 0;
  bool refused = false;
  qlbench::TimeAndHeapPerCall(state, [&] {
    try {
      n = call();
    } catch (const std::exception&) {
      refused = true;
    }
  });
  state.counters["answer"] = static_cast<double>(n);
  state.counters["refused"] = refused ? 1.0 : 0.0;
}

using Walk = bool (ql::HdLib::*)(const ql::LaneEndpoint&, std::vector<ql::LaneEndpoint>&) const;

template <Walk walk>
void Walking(benchmark::State& state, long start) {
  const ql::HdLib& lib = *ql::HdLib::GetInstance();
  const ql::LaneEndpoint& from = Setup().at(start);
  Timed(state, [&] {
    std::vector<ql::LaneEndpoint> out;
    (lib.*walk)(from, out);
    return out.size();
  });
}

constexpr Walk kNext = &ql::HdLib::GetNextLaneEndpoints;
constexpr Walk kPre = &ql::HdLib::GetPreEndpoints;

void BM_SelfListing_GetNextLaneEndpoints(benchmark::State& state) { Walking<kNext>(state, kSelf); }
void BM_SelfListing_GetPreEndpoints(benchmark::State& state) { Walking<kPre>(state, kSelf); }
void BM_SelfListing_GetLinkNext(benchmark::State& state) {
  const ql::HdLib& lib = *ql::HdLib::GetInstance();
  const ql::HdLinkId id = Setup().at(kSelf).liLinkId;
  Timed(state, [&] {
    std::vector<ql::HdLinkId> nxt;
    lib.GetLinkNext(id, 1, nxt);
    return nxt.size();
  });
}
void BM_WideSuccessor_GetNextLaneEndpoints(benchmark::State& state) { Walking<kNext>(state, kWide); }
void BM_WideSuccessorListedTiles_GetNextLaneEndpoints(benchmark::State& state) {
  Walking<kNext>(state, state.range(0) == 64 ? kWide64Tiles : kWideMostTiles);
}
void BM_ClosedSuccessorNaN_GetNextLaneEndpoints(benchmark::State& state) { Walking<kNext>(state, kClosedNaN); }
void BM_DistinctSuccessors_GetNextLaneEndpoints(benchmark::State& state) { Walking<kNext>(state, kDistinct); }
void BM_DistinctWideSuccessors_GetNextLaneEndpoints(benchmark::State& state) {
  Walking<kNext>(state, state.range(0) == 5 ? kDistinctWideShort : kDistinctWide);
}
void BM_RepeatedSuccessor_GetNextLinkEndpoints(benchmark::State& state) {
  const ql::HdLib& lib = *ql::HdLib::GetInstance();
  ql::LinkEndpoint from;
  from.liLinkId = Setup().at(kRepeated).liLinkId;
  Timed(state, [&] {
    std::vector<ql::LinkEndpoint> out;
    lib.GetNextLinkEndpoints(from, out);
    return out.size();
  });
}
void BM_WidePredecessorMostTiles_GetPreEndpoints(benchmark::State& state) {
  Walking<kPre>(state, kPredecessorMostTiles);
}
void BM_LanesListingTheLane_GetPreEndpoints(benchmark::State& state) {
  Walking<kPre>(state, state.range(0) == kUnderBudget ? kListingUnderBudget : kListingMost);
}
void BM_OneLaneLeadingIn_GetPreEndpoints(benchmark::State& state) { Walking<kPre>(state, kOneLeading); }

BENCHMARK(BM_SelfListing_GetNextLaneEndpoints)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelfListing_GetPreEndpoints)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelfListing_GetLinkNext)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WideSuccessor_GetNextLaneEndpoints)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WideSuccessorListedTiles_GetNextLaneEndpoints)
    ->Arg(64)
    ->Arg(kMost)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClosedSuccessorNaN_GetNextLaneEndpoints)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DistinctSuccessors_GetNextLaneEndpoints)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DistinctWideSuccessors_GetNextLaneEndpoints)
    ->Arg(10 * kMost)
    ->Arg(5)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepeatedSuccessor_GetNextLinkEndpoints)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WidePredecessorMostTiles_GetPreEndpoints)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LanesListingTheLane_GetPreEndpoints)
    ->Arg(kUnderBudget)
    ->Arg(kMost)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OneLaneLeadingIn_GetPreEndpoints)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
