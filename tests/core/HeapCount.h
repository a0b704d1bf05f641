#pragma once  // HeapCount.h: every operator new of a program counted, live bytes and their peak

// A program that links HeapCount.cpp has its global operator new and delete replaced by ones
// that keep this count. Sizes are what malloc hands out (malloc_usable_size), so the count is the
// heap the program really holds.

#include <cstddef>

namespace qltest {

// The heap held through operator new, and its highest mark since the last ResetPeak.
struct HeapCount {
  std::size_t live = 0;
  std::size_t peak = 0;
  void ResetPeak() { peak = live; }
};
extern HeapCount g_heap;

}  // namespace qltest
