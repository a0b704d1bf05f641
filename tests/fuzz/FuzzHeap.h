#pragma once  // FuzzHeap.h: the heap a stretch of a fuzz target holds, from the sanitizer's hooks

#include <sanitizer/allocator_interface.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>

namespace fz {

// The heap between two marks: live bytes allocated since counting began, and their peak.
struct Heap {
  bool counting = false;
  std::size_t live = 0;
  std::size_t peak = 0;

  void Start() {
    live = 0;
    peak = 0;
    counting = true;
  }
  // Stops counting and returns the peak.
  std::size_t Stop() {
    counting = false;
    return peak;
  }
};
inline Heap g_heap;

inline void OnMalloc(const volatile void*, std::size_t size) {
  if (!g_heap.counting) return;
  g_heap.live += size;
  if (g_heap.live > g_heap.peak) g_heap.peak = g_heap.live;
}

inline void OnFree(const volatile void* p) {
  if (!g_heap.counting || p == nullptr) return;
  const std::size_t size = __sanitizer_get_allocated_size(const_cast<const void*>(p));
  g_heap.live = size > g_heap.live ? 0 : g_heap.live - size;
}

// Installs the hooks; once, from LLVMFuzzerInitialize.
inline void InstallHeapHooks() { __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree); }

// The most one query over a tile built from `input` bytes may hold: what the tile's own build may
// take. A query holding more grows with the shape of the tree (leaves x pairs), not its answer.
inline std::size_t QueryBound(std::size_t input) { return 18 * input + (std::size_t{32} << 20); }

inline void CheckQueryHeap(const char* target, std::size_t peak, std::size_t input) {
  if (peak > QueryBound(input)) {
    std::fprintf(stderr, "%s: one query held %zu bytes of heap, more than %zu for a %zu-byte input\n", target,
                 peak, QueryBound(input), input);
    std::abort();
  }
}

}  // namespace fz
