#pragma once  // FileBuffer.h: a reusable byte buffer for whole-file reads, on huge pages when large

// Tile files run to megabytes and are read once each at start-up. A fresh std::string of that
// size is zero-filled and then faulted in one 4 KiB page at a time, and on a virtual machine a
// page fault can cost ten microseconds: reading the tiles took longer than decoding them. This
// buffer is its own anonymous mapping instead, never zero-filled by the library, asked for on
// 2 MiB pages (transparent huge pages, where the system offers them on request) once it is that
// large, and kept across the files of one load so that its pages are faulted once.

#include <cstddef>

namespace ql {

class FileBuffer {
 public:
  FileBuffer() noexcept = default;
  ~FileBuffer();
  FileBuffer(FileBuffer&& other) noexcept;
  FileBuffer& operator=(FileBuffer&& other) noexcept;
  FileBuffer(const FileBuffer&) = delete;
  FileBuffer& operator=(const FileBuffer&) = delete;

  // The bytes; data() is never null (without a mapping it points at an empty text). Only the
  // first size() bytes belong to the buffer: nothing follows them, not even a NUL.
  const char* data() const noexcept { return m_pData != nullptr ? m_pData : m_empty; }
  char* data() noexcept { return m_pData != nullptr ? m_pData : m_empty; }
  std::size_t size() const noexcept { return m_nSize; }
  bool empty() const noexcept { return m_nSize == 0; }
  std::size_t capacity() const noexcept { return m_nCapacity; }

  // Makes the size n. The first min(n, size()) bytes are kept; bytes past them hold whatever
  // the memory held (zero in a new mapping, an earlier file's bytes in a reused one). Throws
  // std::bad_alloc when no mapping can be made; the buffer is then unchanged.
  void Resize(std::size_t n);
  // Makes the size 0, keeping the mapping for the next file.
  void Clear() noexcept { m_nSize = 0; }
  // Becomes a copy of the n bytes at bytes.
  void Assign(const char* bytes, std::size_t n);
  // Gives the mapping back.
  void Release() noexcept;

 private:
  char* m_pData = nullptr;  // the mapping, or null
  std::size_t m_nSize = 0;
  std::size_t m_nCapacity = 0;  // bytes mapped at m_pData
  char m_empty[1] = {'\0'};     // what data() points at without a mapping
};

}  // namespace ql
