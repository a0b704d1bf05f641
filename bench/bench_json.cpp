// Reading a tile-sized JSON document: an array of coordinate tuples, the bulk of every tile
// file (lane lines, edges, areas), into a polyline member.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ajson.hpp"

namespace bj {

struct Polyline {
  std::vector<std::vector<double>> vctvdGeoLink;
};

}  // namespace bj

namespace ql {
QL_FIELDS(bj::Polyline, vctvdGeoLink);
}  // namespace ql

namespace {

// About 10 MB: tuples of lon, lat (six to eight decimals, as tile writers print them) and altitude.
std::string CoordinateDocument() {
  std::string doc = "{\"vctvdGeoLink\": [";
  doc.reserve(10u << 20);
  char buf[96];
  for (int i = 0; doc.size() < (10u << 20); ++i) {
    const double lon = 116.3 + (i % 10007) * 1.3e-6;
    const double lat = 39.9 + (i % 9973) * 1.1e-6;
    const double alt = 10.0 + (i % 211) * 0.05;
    std::snprintf(buf, sizeof buf, "%s[%.8f, %.8f, %.2f]", i == 0 ? "" : ",", lon, lat, alt);
    doc += buf;
  }
  doc += "]}";
  return doc;
}

void BM_JsonReadCoordinateTuples(benchmark::State& state) {
  const std::string doc = CoordinateDocument();
  for (auto _ : state) {
    bj::Polyline line;
    ajson::load_from_buff(line, doc.c_str(), static_cast<std::size_t>(-1));
    benchmark::DoNotOptimize(line.vctvdGeoLink.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
}
BENCHMARK(BM_JsonReadCoordinateTuples)->Unit(benchmark::kMillisecond);

}  // namespace
