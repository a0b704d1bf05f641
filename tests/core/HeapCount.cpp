#include "HeapCount.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace qltest {

HeapCount g_heap;

namespace {

void* Allocate(std::size_t n) {
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) throw std::bad_alloc();
  g_heap.live += malloc_usable_size(p);
  if (g_heap.live > g_heap.peak) g_heap.peak = g_heap.live;
  return p;
}

void Release(void* p) noexcept {
  if (p == nullptr) return;
  g_heap.live -= malloc_usable_size(p);
  std::free(p);
}

}  // namespace
}  // namespace qltest

void* operator new(std::size_t n) { return qltest::Allocate(n); }
void* operator new[](std::size_t n) { return qltest::Allocate(n); }
void operator delete(void* p) noexcept { qltest::Release(p); }
void operator delete[](void* p) noexcept { qltest::Release(p); }
void operator delete(void* p, std::size_t) noexcept { qltest::Release(p); }
void operator delete[](void* p, std::size_t) noexcept { qltest::Release(p); }
// The nothrow forms too (std::stable_sort's buffer comes from them and goes back through the
// plain delete): a pair left to the runtime would free through Release what it did not count.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return qltest::Allocate(n);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return qltest::Allocate(n);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p, const std::nothrow_t&) noexcept { qltest::Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { qltest::Release(p); }
