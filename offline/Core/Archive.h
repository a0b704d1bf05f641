#pragma once  // Archive.h: the little-endian binary tile encoding, read front to back

// A binary tile file is one record encoded member by member in the order of its field list
// (QL_FIELDS), with no header, tag or checksum:
//
//   int 4 bytes, long and unsigned long 8, double 8 (IEEE 754), bool 1 (non-zero is true),
//   all little-endian; std::string: int length n, then n bytes; std::vector<T>: int count n,
//   then n encodings of T; a record: its members in field-list order, nothing between them.
//
//   ql::InArchive ar(bytes);        // its own copy of the bytes
//   ql::HdSerializeData tile;
//   ar >> tile;                     // throws ql::ArchiveError on a truncated or corrupt file
//
// The tile decoder, which holds the file's bytes for the whole decode, reads them in place through
// an explicit view instead: ql::InArchive ar(ql::ByteView(bytes)).
//
// Every record type with a field list gets its reader from the generic record operator>> below,
// so adding a member to a record and to its list is all a new layout needs.
//
// Damaged data is refused, not decoded in part: a read past the end, a negative count or length,
// or a count larger than the bytes left could hold raises ql::ArchiveError naming the byte offset
// and the member being read. A count is checked against the smallest encoding of its element
// (4 bytes for an int, 8 for a double, the sum of its members for a record), so the archive never
// allocates more than the data can describe. Bytes after the top record are ignored. Given a
// MemoryLimit, the archive also charges every vector and long string it allocates to it and
// refuses, with an ArchiveError, the first that would go past it.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "Errors.h"
#include "FieldList.h"
#include "MemoryLimit.h"

template <class T>
class serializer_in;  // the record reader, defined below in the global namespace

namespace ql {

// Bytes that an archive reads in place, without a copy: whoever makes the view keeps the bytes
// alive and unchanged until the archive is gone. Null data views no bytes, whatever the size.
struct ByteView {
  const char* data = nullptr;
  std::size_t size = 0;

  ByteView(const char* d, std::size_t n) noexcept : data(d), size(d ? n : 0) {}
  explicit ByteView(const std::string& bytes) noexcept : data(bytes.data()), size(bytes.size()) {}
};

// Reads values front to back from its bytes.
class InArchive {
 public:
  // Copies the bytes: the caller may change or free its string at once.
  explicit InArchive(const std::string& bytes) : m_owned(bytes), m_data(m_owned.data()), m_size(m_owned.size()) {}
  // A temporary is taken over (moved, not copied).
  explicit InArchive(std::string&& bytes) noexcept
      : m_owned(std::move(bytes)), m_data(m_owned.data()), m_size(m_owned.size()) {}
  // Reads the viewed bytes in place (see ByteView).
  explicit InArchive(ByteView bytes) noexcept : m_data(bytes.data), m_size(bytes.size) {}
  // Not copyable or movable: m_data may point into m_owned.
  InArchive(const InArchive&) = delete;
  InArchive& operator=(const InArchive&) = delete;
  ~InArchive() = default;

  // From now on every vector and string buffer the readers allocate is drawn from limit, which
  // must outlive the reads; without one nothing is counted.
  void SetMemoryLimit(MemoryLimit* limit) noexcept { m_pLimit = limit; }
  // Draws bytes from the limit for a value whose encoding starts at offset; throws an
  // ArchiveError "<what> needs <bytes> bytes of memory, more than the <left> left of <limit>".
  void Charge(std::size_t bytes, std::size_t offset, const char* what) {
    if (m_pLimit != nullptr && !m_pLimit->Take(bytes)) FailMemory(bytes, offset, what);
  }

  std::size_t Offset() const noexcept { return m_pos; }  // bytes consumed so far
  std::size_t Size() const noexcept { return m_size; }
  std::size_t Remaining() const noexcept { return m_size - m_pos; }

  // Copies the next n bytes into dst. When fewer remain, throws "<what> needs n bytes, only r
  // left" and consumes nothing.
  void ReadBytes(void* dst, std::size_t n, const char* what) {
    if (n > Remaining()) FailShort(n, what);
    std::memcpy(dst, m_data + m_pos, n);
    m_pos += n;
  }

  // The next n bytes in place (valid as long as the archive's bytes are); same check as ReadBytes.
  const char* Take(std::size_t n, const char* what) {
    if (n > Remaining()) FailShort(n, what);
    const char* p = m_data + m_pos;
    m_pos += n;
    return p;
  }

  // Reads an int count of elements whose encodings take at least elementMinSize bytes each and
  // returns it; throws when it is negative or the bytes left cannot hold that many elements.
  std::size_t ReadCount(const char* what, std::size_t elementMinSize);

  // Reads a string: the bytes it keeps when its length runs past the end are those present.
  void ReadString(std::string& s);

  [[noreturn]] static void Fail(std::size_t offset, std::string detail);

 private:
  [[noreturn]] void FailShort(std::size_t n, const char* what) const;
  [[noreturn]] void FailMemory(std::size_t bytes, std::size_t offset, const char* what) const;

  std::string m_owned;  // empty for a view
  const char* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
  MemoryLimit* m_pLimit = nullptr;
};

// ---- byte order ----------------------------------------------------------------------------

// Whether the machine stores the low byte of an int first.
inline bool IsLittleEndian() {
  static const int one = 1;
  return *reinterpret_cast<const unsigned char*>(&one) != 0;
}

// Reverses the bytes of v in place (a one-byte value stays as it is).
template <class T>
const char* Endian(T& v) {
  unsigned char* b = reinterpret_cast<unsigned char*>(&v);
  for (std::size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(b[i], b[sizeof(T) - 1 - i]);
  return reinterpret_cast<const char*>(&v);
}

// Turns a value read in file order (little-endian) into machine order.
template <class T>
const char* DeserializeEndian(T& v) {
  if (!IsLittleEndian()) Endian(v);
  return reinterpret_cast<const char*>(&v);
}

// ---- value readers -------------------------------------------------------------------------
// Each reader returns the archive, so reads chain: ar >> a >> b. On an ArchiveError a scalar,
// vector or record target keeps its old value; a string keeps the bytes that were present.

namespace detail {

template <class T>
void ReadScalar(InArchive& ar, T& v, const char* what) {
  T tmp;
  ar.ReadBytes(&tmp, sizeof(T), what);
  DeserializeEndian(tmp);
  v = tmp;
}

// Smallest encoded size of a value of T, for bounding counts before anything is allocated.
template <class T, class = void>
struct MinSize;
template <>
struct MinSize<int> : std::integral_constant<std::size_t, 4> {};
template <>
struct MinSize<long> : std::integral_constant<std::size_t, 8> {};
template <>
struct MinSize<unsigned long> : std::integral_constant<std::size_t, 8> {};
template <>
struct MinSize<double> : std::integral_constant<std::size_t, 8> {};
template <>
struct MinSize<bool> : std::integral_constant<std::size_t, 1> {};
template <>
struct MinSize<std::string> : std::integral_constant<std::size_t, 4> {};
template <class E>
struct MinSize<std::vector<E>> : std::integral_constant<std::size_t, 4> {};

// Sums the members' minimum sizes; used only in unevaluated context through Fields<T>::Visit.
struct MinSizeSum {
  template <class... M>
  std::integral_constant<std::size_t, (std::size_t{0} + ... + MinSize<std::remove_cv_t<M>>::value)> operator()(
      M&...) const {
    return {};
  }
};
template <class T>
struct MinSize<T, std::enable_if_t<HasFields<T>::value>>
    : std::integral_constant<std::size_t, decltype(Fields<T>::Visit(std::declval<T&>(), MinSizeSum{}))::value> {};

// The index-th name of a field list ("a, b, c"); only error messages need it.
std::string FieldName(const char* list, int index);

}  // namespace detail

inline InArchive& operator>>(InArchive& ar, int& v) {
  detail::ReadScalar(ar, v, "int");
  return ar;
}
inline InArchive& operator>>(InArchive& ar, long& v) {
  detail::ReadScalar(ar, v, "long");
  return ar;
}
inline InArchive& operator>>(InArchive& ar, unsigned long& v) {
  detail::ReadScalar(ar, v, "unsigned long");
  return ar;
}
inline InArchive& operator>>(InArchive& ar, double& v) {
  detail::ReadScalar(ar, v, "double");
  return ar;
}
// Any non-zero byte is true (read as a byte first: not every byte is a valid bool).
inline InArchive& operator>>(InArchive& ar, bool& v) {
  unsigned char c = 0;
  ar.ReadBytes(&c, 1, "bool");
  v = c != 0;
  return ar;
}

// A length of 0 leaves s as it was; otherwise s becomes the n bytes (NUL bytes kept).
inline InArchive& operator>>(InArchive& ar, std::string& s) {
  ar.ReadString(s);
  return ar;
}

// The vector becomes exactly the n elements read, whatever it held before.
template <class T>
InArchive& operator>>(InArchive& ar, std::vector<T>& out) {
  const std::size_t start = ar.Offset();
  const std::size_t n = ar.ReadCount("vector count", detail::MinSize<T>::value);
  // n is below 2^31 and the element a small type: the product fits.
  if (n != 0) ar.Charge(MemoryLimit::Block(n * sizeof(T)), start, "vector");
  std::vector<T> v;
  if constexpr (std::is_arithmetic<T>::value && !std::is_same<T, bool>::value) {
    // Numbers are stored back to back: one copy for the whole run (the count check above
    // guarantees the bytes are there).
    v.resize(n);
    if (n != 0) std::memcpy(v.data(), ar.Take(n * sizeof(T), "vector elements"), n * sizeof(T));
    if (!IsLittleEndian()) {
      for (T& e : v) DeserializeEndian(e);
    }
  } else {
    v.reserve(n);
    std::size_t i = 0;
    try {
      for (; i < n; ++i) {
        T e{};
        ar >> e;
        v.push_back(std::move(e));
      }
    } catch (const ArchiveError& e) {
      throw e.Within("[" + std::to_string(i) + "]");
    }
  }
  out.swap(v);
  return ar;
}

// Any record with a field list: its members in list order, starting from T's defaults.
template <class T, std::enable_if_t<HasFields<T>::value, int> = 0>
InArchive& operator>>(InArchive& ar, T& out) {
  serializer_in<T> rec;
  rec.read(ar);
  out = std::move(static_cast<T&>(rec));
  return ar;
}

}  // namespace ql

// A T with its default values that reads its members from an archive in field-list order. It
// lives only for one record read; the record's operator>> then moves the T part to the target.
template <class T>
class serializer_in : public T {
 public:
  serializer_in() : T() {}

  ql::InArchive& read(ql::InArchive& ar) {
    try {
      return ql::Fields<T>::Visit(static_cast<T&>(*this), [&](auto&... members) -> ql::InArchive& {
        return this->inArchiveRecursive(ar, members...);
      });
    } catch (const ql::ArchiveError& e) {
      throw e.Within(ql::detail::FieldName(ql::Fields<T>::kList, m_nQlField));
    }
  }

  // Reads first with its own operator>>, then the rest in order.
  template <class First, class... Rest>
  ql::InArchive& inArchiveRecursive(ql::InArchive& ar, First& first, Rest&... rest) {
    m_nQlField = ql::Fields<T>::kCount - 1 - static_cast<int>(sizeof...(Rest));
    ar >> first;
    if constexpr (sizeof...(Rest) == 0) {
      return ar;
    } else {
      return inArchiveRecursive(ar, rest...);
    }
  }

 private:
  int m_nQlField = 0;  // member being read, for the error path
};
