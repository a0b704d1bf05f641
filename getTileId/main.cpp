// tileindex LON LAT: prints the 0.02-degree tile column and row of a position as
// "col, row" (no end of line). Self-contained on purpose: it shares no code with
// the map library.
#include <cstdio>
#include <cstdlib>

namespace {

// The tile size as single-precision floats. Widened to double the divisor is
// 0.019999999552965164, not 0.02, and there is no near-integer correction: this
// tool's grid differs from the library's on purpose, so 0.01999999 stays in column 0.
const float lon_interval = 0.02f;
const float lat_inverval = 0.02f;

// Truncation toward zero, refusing quotients that do not fit an int (huge,
// infinite or NaN) instead of converting them with undefined behaviour.
bool ToIndex(double quotient, int& out) {
  if (!(quotient > -2147483649.0 && quotient < 2147483648.0)) return false;
  out = static_cast<int>(quotient);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s LON LAT\n", argc > 0 && argv[0] ? argv[0] : "tileindex");
    return 2;
  }
  // atof semantics: the leading number counts, text without one is 0.
  const double lon = std::atof(argv[1]);
  const double lat = std::atof(argv[2]);
  int col = 0;
  int row = 0;
  if (!ToIndex(lon / static_cast<double>(lon_interval), col)) {
    std::fprintf(stderr, "tileindex: longitude %s gives a column outside the int range\n", argv[1]);
    return 2;
  }
  if (!ToIndex(lat / static_cast<double>(lat_inverval), row)) {
    std::fprintf(stderr, "tileindex: latitude %s gives a row outside the int range\n", argv[2]);
    return 2;
  }
  std::printf("%d, %d", col, row);
  return 0;
}
