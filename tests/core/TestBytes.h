#pragma once  // TestBytes.h: hand-written little-endian bytes and decode helpers for the codec tests

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "Archive.h"
#include "ajson.hpp"

namespace qltest {

// Little-endian bytes written out by hand, independent of any writer under test, so that an
// order mistake shared by a writer and the reader cannot hide.
struct Bytes {
  std::string s;

  Bytes& Raw(std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return *this;
  }
  Bytes& Raw(const std::string& raw) {
    s += raw;
    return *this;
  }
  Bytes& U8(std::uint8_t v) { return Raw(v, 1); }
  Bytes& I32(std::int32_t v) { return Raw(static_cast<std::uint32_t>(v), 4); }
  Bytes& I64(std::int64_t v) { return Raw(static_cast<std::uint64_t>(v), 8); }
  Bytes& U64(std::uint64_t v) { return Raw(v, 8); }
  Bytes& F64(double v) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, 8);
    return Raw(bits, 8);
  }
  Bytes& Str(const std::string& text) {
    I32(static_cast<std::int32_t>(text.size()));
    s += text;
    return *this;
  }
  Bytes& Pt(double lon, double lat, double alt) { return F64(lon).F64(lat).F64(alt); }
};

// One record read from the binary encoding; `consumed` receives the bytes taken.
template <class T>
T DecodeBinary(const std::string& bytes, std::size_t* consumed = nullptr) {
  ql::InArchive ar(bytes);
  T out;
  ar >> out;
  if (consumed) *consumed = ar.Offset();
  return out;
}

// One record read from a JSON document into a default record.
template <class T>
T DecodeJson(const std::string& text) {
  T out;
  ajson::load_from_buff(out, text.c_str(), static_cast<std::size_t>(-1));
  return out;
}

}  // namespace qltest
