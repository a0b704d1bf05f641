#pragma once  // HeapCount.h: every operator new of a test program counted, live bytes and their peak

// Include from exactly one source of a test program: it replaces the global operator new and
// delete of that program. Sizes are what malloc hands out (malloc_usable_size), so the count is
// the heap the program really holds.

#include <malloc.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace qltest {

// The heap held through operator new, and its highest mark since the last ResetPeak.
struct HeapCount {
  std::size_t live = 0;
  std::size_t peak = 0;
  void ResetPeak() { peak = live; }
};
inline HeapCount g_heap;

inline void* CountedAllocate(std::size_t n) {
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) throw std::bad_alloc();
  g_heap.live += malloc_usable_size(p);
  if (g_heap.live > g_heap.peak) g_heap.peak = g_heap.live;
  return p;
}

inline void CountedRelease(void* p) noexcept {
  if (p == nullptr) return;
  g_heap.live -= malloc_usable_size(p);
  std::free(p);
}

}  // namespace qltest

void* operator new(std::size_t n) { return qltest::CountedAllocate(n); }
void* operator new[](std::size_t n) { return qltest::CountedAllocate(n); }
void operator delete(void* p) noexcept { qltest::CountedRelease(p); }
void operator delete[](void* p) noexcept { qltest::CountedRelease(p); }
void operator delete(void* p, std::size_t) noexcept { qltest::CountedRelease(p); }
void operator delete[](void* p, std::size_t) noexcept { qltest::CountedRelease(p); }
