#pragma once  // MemoryLimit.h: an allowance of heap bytes that the decoders and the tile builder draw on

#include <cstddef>
#include <cstdint>

namespace ql {

// The bytes that building one tile may allocate, drawn on as the decoders and the quadtree
// allocate, so that a small file cannot make the build take gigabytes. Every heap block is
// charged as the allocator hands it out (Block) and never given back: what is held at any
// moment is at most what was drawn.
class MemoryLimit {
 public:
  static constexpr std::size_t kUnlimited = SIZE_MAX;

  explicit MemoryLimit(std::size_t bytes = kUnlimited) noexcept : m_limit(bytes) {}

  // Draws bytes; false, drawing nothing, when fewer are left.
  bool Take(std::size_t bytes) noexcept {
    if (bytes > m_limit - m_used) return false;
    m_used += bytes;
    return true;
  }

  std::size_t Limit() const noexcept { return m_limit; }
  std::size_t Used() const noexcept { return m_used; }
  std::size_t Left() const noexcept { return m_limit - m_used; }

  // What a heap block of n bytes costs: glibc rounds a request plus its 8-byte header up to 16
  // and hands out at least 32, which is never more than n + 32.
  static constexpr std::size_t Block(std::size_t n) noexcept { return n + 32; }

 private:
  std::size_t m_limit;
  std::size_t m_used = 0;
};

}  // namespace ql
