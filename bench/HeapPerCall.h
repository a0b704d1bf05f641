#pragma once  // HeapPerCall.h: time and heap of one call per benchmark iteration

// For the programs that link tests/core/HeapCount.cpp (ql_bench_hostile): every operator new is
// counted, so a benchmark can report the most heap one call held on top of what was live before
// it, next to the call's time.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>

#include "HeapCount.h"

namespace qlbench {

// Runs call() once per iteration; the counter peak_heap_MB is the largest heap (10^6 bytes) that
// any one call held above what was live when it started.
template <class Call>
void TimeAndHeapPerCall(benchmark::State& state, Call&& call) {
  std::size_t worst = 0;
  for (auto _ : state) {
    const std::size_t before = qltest::g_heap.live;
    qltest::g_heap.ResetPeak();
    call();
    worst = std::max(worst, qltest::g_heap.peak - before);
  }
  state.counters["peak_heap_MB"] = static_cast<double>(worst) / 1e6;
}

}  // namespace qlbench
