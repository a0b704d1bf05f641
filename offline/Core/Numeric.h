#pragma once  // Numeric.h: the library's one double-to-int conversion

#include <climits>

namespace ql {

// Truncates toward zero like a C cast, but defined for every input: a value whose
// truncation does not fit a 32-bit int, or NaN, gives INT_MIN (what the x86-64
// conversion instruction produces) instead of undefined behaviour. Every
// double-to-int conversion of the library goes through here.
inline int TruncToInt(double x) noexcept {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return INT_MIN;
  return static_cast<int>(x);
}

}  // namespace ql
