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

// The memory building one tile may take besides its file's own bytes: sc_nTileMemoryFactor bytes
// per byte of the file, plus sc_nTileMemorySlack. The decoded content (every vector and string
// buffer), the record map, the quadtree's cells and the pairs' record pointers are all drawn from
// it (MemoryLimit), each heap block in full. A leaf refers to its bucket's pairs in place, so a
// bucket costs its cells but never a copy of its pairs, however many leaves it enters: every tree
// a producer can write for depths up to 9 fits in the slack alone (a whole depth-9 tree takes
// about 10 MB). A file whose building would take more is refused with the error of the part that
// ran out (TileTreeError, ArchiveError or ajson::exception), naming the file.
constexpr std::size_t sc_nTileMemoryFactor = 16;
constexpr std::size_t sc_nTileMemorySlack = std::size_t{32} << 20;

// The limit for a tile file of that many bytes (files are at most 1 GiB: no overflow).
inline std::size_t TileMemoryLimit(std::size_t fileBytes) {
  return sc_nTileMemoryFactor * fileBytes + sc_nTileMemorySlack;
}

}  // namespace ql
