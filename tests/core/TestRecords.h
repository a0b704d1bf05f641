#pragma once  // TestRecords.h: field-by-field comparison and filling of records with a field list

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "FieldList.h"
#include "TileWriter.h"

namespace qltest {

template <class T>
struct IsVector : std::false_type {};
template <class E>
struct IsVector<std::vector<E>> : std::true_type {};

// Field-by-field comparison through the field lists; doubles compare by their bits, so -0.0 and
// NaN payload changes show too. The path names the first differing member.
template <class T>
void ExpectSame(const T& a, const T& b, const std::string& path) {
  if constexpr (std::is_same<T, double>::value) {
    if (std::isnan(a) && std::isnan(b)) return;
    EXPECT_EQ(0, std::memcmp(&a, &b, sizeof a)) << path << ": " << a << " vs " << b;
  } else if constexpr (std::is_arithmetic<T>::value || std::is_same<T, std::string>::value) {
    EXPECT_EQ(a, b) << path;
  } else if constexpr (IsVector<T>::value) {
    ASSERT_EQ(a.size(), b.size()) << path << ".size()";
    for (std::size_t i = 0; i < a.size(); ++i) ExpectSame(a[i], b[i], path + "[" + std::to_string(i) + "]");
  } else {
    static_assert(ql::HasFields<T>::value, "a record with a field list");
    const auto& names = qlw::detail::FieldNames<T>();
    ql::Fields<T>::Visit(a, [&](const auto&... ma) {
      ql::Fields<T>::Visit(b, [&](const auto&... mb) {
        std::size_t i = 0;
        (ExpectSame(ma, mb, path + "." + names[i++]), ...);
      });
    });
  }
}

// Gives every member of a record a value of its own (two elements per list, nested down to a
// bounded depth), so a swapped or skipped field shows as a difference.
struct Filler {
  int seed;
  template <class T>
  void operator()(T& v, int depth = 0) {
    ++seed;
    if constexpr (std::is_same<T, bool>::value) {
      v = seed % 2 == 1;
    } else if constexpr (std::is_same<T, int>::value) {
      v = (seed % 2 ? 1 : -1) * (seed * 7 + 3);
    } else if constexpr (std::is_same<T, long>::value) {
      v = (seed % 2 ? -1L : 1L) * (1000000007L * seed + 0x100000000L);
    } else if constexpr (std::is_same<T, unsigned long>::value) {
      v = 0x8000000000000000ul + static_cast<unsigned long>(seed);
    } else if constexpr (std::is_same<T, double>::value) {
      v = (seed % 3 ? 1.0 : -1.0) * (116.0 + seed * 0.0123456789);
    } else if constexpr (std::is_same<T, std::string>::value) {
      v = "s" + std::to_string(seed) + (seed % 4 == 0 ? "\"\\/\t\xc3\xa9" : "");
    } else if constexpr (IsVector<T>::value) {
      v.resize(depth < 4 ? 2 : 1);
      for (auto& e : v) (*this)(e, depth + 1);
    } else {
      ql::Fields<T>::Visit(v, [&](auto&... m) { ((*this)(m, depth + 1), ...); });
    }
  }
};

template <class T>
T Filled(int seed) {
  T v;
  Filler{seed}(v);
  return v;
}

}  // namespace qltest
