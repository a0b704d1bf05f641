// Feeds arbitrary bytes to the JSON reader as a configuration document and as a record with
// nested arrays, both NUL-terminated and length-limited. Only ajson::exception may escape the
// reader; anything else (a crash, a sanitizer report, another exception, a hang) is a finding.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "MapConfig.h"
#include "ajson.hpp"

namespace fz {

struct Leaf {
  int n = 0;
  std::string name;
  std::vector<long> ids;
};

struct Doc {
  std::vector<std::vector<double>> vvd;
  std::vector<std::vector<std::vector<double>>> vvvd;
  std::vector<std::string> vs;
  std::vector<int> vi;
  std::vector<unsigned long> vu;
  std::vector<bool> vb;
  Leaf leaf;
  std::vector<Leaf> leaves;
  std::string s;
  double d = 0;
  float f = 0;
  long l = 0;
  bool b = false;
};

}  // namespace fz

namespace ql {
QL_FIELDS(fz::Leaf, n, name, ids);
QL_FIELDS(fz::Doc, vvd, vvvd, vs, vi, vu, vb, leaf, leaves, s, d, f, l, b);
}  // namespace ql

namespace {

void ResetConfigStrings() {
  using ql::MapConfig;
  for (std::string* s :
       {&MapConfig::map_file_dir, &MapConfig::map_use_type, &MapConfig::tag, &MapConfig::sdConfig::save_dir_json,
        &MapConfig::sdConfig::save_dir_binary, &MapConfig::hdConfig::save_dir_json,
        &MapConfig::hdConfig::save_dir_binary, &MapConfig::gps_file_path, &MapConfig::logDir,
        &MapConfig::road_plan_file_dir, &MapConfig::sdid2hdid_path, &MapConfig::map_road_filer_logic}) {
    s->clear();
    s->shrink_to_fit();
  }
}

template <class T>
void Read(const char* data, std::size_t len) {
  T target;
  try {
    ajson::load_from_buff(target, data, len);
  } catch (const ajson::exception&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly the input bytes, no terminator: reading past the limit is an ASan report.
  const std::vector<char> exact(data, data + size);
  // The same bytes as a std::string: the reader stops at the first NUL.
  const std::string text(exact.begin(), exact.end());

  Read<fz::Doc>(exact.data(), exact.size());
  Read<fz::Doc>(text.c_str(), static_cast<std::size_t>(-1));
  Read<ql::MapConfig>(exact.data(), exact.size());
  Read<ql::MapConfig>(text.c_str(), static_cast<std::size_t>(-1));
  ResetConfigStrings();
  return 0;
}
