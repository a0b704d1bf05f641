#include "FileBuffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace ql {

namespace {

constexpr std::size_t kPage = std::size_t{4} << 10;
constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t RoundUp(std::size_t n, std::size_t unit) { return (n + unit - 1) / unit * unit; }

// A fresh anonymous mapping of at least n bytes (n > 0): its length goes in length. From 2 MiB
// on it starts on a 2 MiB boundary and is a whole number of huge pages, so that every one of
// them can be a huge page; the system may still hand out small ones. Null when nothing could be
// mapped.
char* Map(std::size_t n, std::size_t& length) {
  if (n > SIZE_MAX - 2 * kHugePage) return nullptr;
  if (n < kHugePage) {
    length = RoundUp(n, kPage);
    void* p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<char*>(p);
  }
  length = RoundUp(n, kHugePage);
  // Over-reserve by one huge page and give back what lies outside the aligned part.
  const std::size_t reserved = length + kHugePage;
  void* p = ::mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  char* const base = static_cast<char*>(p);
  const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(base);
  char* const aligned = base + (RoundUp(address, kHugePage) - address);
  if (aligned != base) ::munmap(base, static_cast<std::size_t>(aligned - base));
  char* const end = aligned + length;
  if (end != base + reserved) ::munmap(end, static_cast<std::size_t>(base + reserved - end));
#ifdef MADV_HUGEPAGE
  ::madvise(aligned, length, MADV_HUGEPAGE);  // a request: without huge pages the buffer works alike
#endif
  return aligned;
}

}  // namespace

FileBuffer::~FileBuffer() { Release(); }

FileBuffer::FileBuffer(FileBuffer&& other) noexcept
    : m_pData(std::exchange(other.m_pData, nullptr)),
      m_nSize(std::exchange(other.m_nSize, 0)),
      m_nCapacity(std::exchange(other.m_nCapacity, 0)) {}

FileBuffer& FileBuffer::operator=(FileBuffer&& other) noexcept {
  if (this != &other) {
    Release();
    m_pData = std::exchange(other.m_pData, nullptr);
    m_nSize = std::exchange(other.m_nSize, 0);
    m_nCapacity = std::exchange(other.m_nCapacity, 0);
  }
  return *this;
}

void FileBuffer::Resize(std::size_t n) {
  if (n > m_nCapacity) {
    // At least doubling, so that a file read in chunks past its stated size is copied a
    // bounded number of times.
    const std::size_t wanted = n > m_nCapacity * 2 ? n : m_nCapacity * 2;
    std::size_t length = 0;
    char* const fresh = Map(wanted, length);
    if (fresh == nullptr) throw std::bad_alloc();
    if (m_nSize != 0) std::memcpy(fresh, m_pData, m_nSize);
    Release();
    m_pData = fresh;
    m_nCapacity = length;
  }
  m_nSize = n;
}

void FileBuffer::Assign(const char* bytes, std::size_t n) {
  Clear();
  Resize(n);
  if (n != 0) std::memcpy(m_pData, bytes, n);
}

void FileBuffer::Release() noexcept {
  if (m_pData != nullptr) ::munmap(m_pData, m_nCapacity);
  m_pData = nullptr;
  m_nSize = 0;
  m_nCapacity = 0;
}

}  // namespace ql
