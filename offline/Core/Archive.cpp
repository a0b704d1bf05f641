#include "Archive.h"

#include <cstdint>
#include <string>
#include <utility>

namespace ql {

void InArchive::Fail(std::size_t offset, std::string detail) { throw ArchiveError(offset, "", std::move(detail)); }

void InArchive::FailShort(std::size_t n, const char* what) const {
  Fail(m_pos, std::string(what) + " needs " + std::to_string(n) + " bytes, only " + std::to_string(Remaining()) +
                  " left");
}

void InArchive::FailMemory(std::size_t bytes, std::size_t offset, const char* what) const {
  Fail(offset, std::string(what) + " needs " + std::to_string(bytes) + " bytes of memory, more than the " +
                   std::to_string(m_pLimit->Left()) + " left of the " + std::to_string(m_pLimit->Limit()) +
                   " this content may take");
}

std::size_t InArchive::ReadCount(const char* what, std::size_t elementMinSize) {
  const std::size_t start = m_pos;
  int n = 0;
  detail::ReadScalar(*this, n, what);
  if (n < 0) Fail(start, std::string(what) + " " + std::to_string(n) + " is negative");
  const std::size_t count = static_cast<std::size_t>(n);
  const std::size_t perElement = elementMinSize == 0 ? 1 : elementMinSize;
  if (count > Remaining() / perElement) {
    // count < 2^31 and perElement is a small constant: the product fits 64 bits.
    Fail(start, std::string(what) + " " + std::to_string(n) + " needs at least " +
                    std::to_string(static_cast<std::uint64_t>(count) * perElement) + " bytes, only " +
                    std::to_string(Remaining()) + " left");
  }
  return count;
}

void InArchive::ReadString(std::string& s) {
  const std::size_t start = m_pos;
  int n = 0;
  detail::ReadScalar(*this, n, "string length");
  if (n == 0) return;  // an empty string leaves the target as it was
  if (n < 0) Fail(start, "string length " + std::to_string(n) + " is negative");
  const std::size_t len = static_cast<std::size_t>(n);
  if (len > Remaining()) {
    const std::size_t present = Remaining();
    s.assign(m_data + m_pos, present);
    m_pos = m_size;
    Fail(start, "string length " + std::to_string(n) + " runs past the end, only " + std::to_string(present) +
                    " bytes left");
  }
  // Past the 15 bytes a string holds in place, it allocates.
  if (len > 15) Charge(MemoryLimit::Block(len + 1), start, "string");
  s.assign(m_data + m_pos, len);
  m_pos += len;
}

namespace detail {

std::string FieldName(const char* list, int index) {
  // Names are separated by commas and white space, as QL_FIELDS writes them.
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; };
  int i = 0;
  const char* p = list;
  while (*p != '\0') {
    while (isSpace(*p) || *p == ',') ++p;
    const char* begin = p;
    while (*p != '\0' && *p != ',' && !isSpace(*p)) ++p;
    if (p != begin) {
      if (i == index) return std::string(begin, p);
      ++i;
    }
  }
  return "#" + std::to_string(index);
}

}  // namespace detail

}  // namespace ql
