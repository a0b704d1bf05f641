// Records read from JSON through their field lists: key matching, missing and repeated keys,
// appending to vectors, nesting, and robustness over a suite of hostile documents.

#include <dirent.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "CoordSys.h"
#include "HdTypes.h"
#include "MapConfig.h"
#include "ajson.hpp"

namespace rb {

struct Inner {
  int n = 0;
  std::string s;
};

// Declared in another order than the list names them: the list governs the keys.
struct Rec {
  std::vector<double> vd;
  int i = 0;
  long l = 0;
  unsigned long u = 0;
  bool b = false;
  float f = 0;
  double d = 0;
  std::string s;
  Inner in;
  std::vector<Inner> vin;
  std::vector<std::vector<double>> vvd;
  std::vector<std::string> vs;
  std::vector<bool> vb;
  std::vector<std::vector<std::vector<int>>> vvvi;
};

}  // namespace rb

namespace ql {
QL_FIELDS(rb::Inner, n, s);
QL_FIELDS(rb::Rec, i, l, u, b, f, d, s, in, vin, vd, vvd, vs, vb, vvvi);
}  // namespace ql

namespace {

constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

template <class T>
void Load(T& target, const std::string& doc) {
  ajson::load_from_buff(target, doc.c_str(), kNoLimit);
}

std::vector<std::string> Names(const char* list) {
  std::vector<std::string> out;
  for (const ajson::detail::string_ref& r : ajson::detail::split_fields(list)) out.emplace_back(r.str, r.len);
  return out;
}

TEST(RecordBinding, SplitFieldList) {
  struct Case {
    const char* list;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"dLon, dLat, dAlt", {"dLon", "dLat", "dAlt"}},
      {"a", {"a"}},
      {"a,b", {"a", "b"}},
      {"  a ,\tb\n, c ", {"a", "b", "c"}},
      {"a, , b", {"a", "b"}},  // empty names are dropped
      {"", {}},
      {"a b", {"a"}},  // a blank run is taken as "name, ": the character after it is passed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    EXPECT_EQ(Names(c.list), c.names);
  }
  EXPECT_TRUE(ajson::detail::is_ws('\f'));
  EXPECT_FALSE(ajson::detail::is_ws('\v'));
  EXPECT_FALSE(ajson::detail::is_ws('\0'));
  EXPECT_STREQ(ajson::detail::skip_ws(" \t\r\n\fx"), "x");
}

TEST(RecordBinding, FieldListIsBuiltOnceAndPointsIntoTheList) {
  const auto& a = ajson::json_impl_in<ql::Point>::this_field_list();
  const auto& b = ajson::json_impl_in<ql::Point>::this_field_list();
  EXPECT_EQ(&a, &b);
  ASSERT_EQ(a.size(), 3u);
  EXPECT_EQ(a[0].str, ql::Fields<ql::Point>::kList);  // a view, not a copy
}

TEST(RecordBinding, EveryMemberTypeReads) {
  rb::Rec r;
  Load(r, R"({"i": -3, "l": 4294967296, "u": 18446744073709551615, "b": true, "f": 2.5, "d": 0.5,
              "s": "x\ty", "in": {"n": 7, "s": "inner"}, "vin": [{"n": 1}, {}, {"s": "z"}],
              "vd": [1, -2, 3.5], "vvd": [[116.3, 39.9], [], [1e2]], "vs": ["a", b, "\u00e9"],
              "vb": [true, 0, 1.5, "TRUE", no], "vvvi": [[[1, 2], []], [[3]]]})");
  EXPECT_EQ(r.i, -3);
  EXPECT_EQ(r.l, 4294967296L);
  EXPECT_EQ(r.u, 18446744073709551615UL);
  EXPECT_TRUE(r.b);
  EXPECT_EQ(r.f, 2.5f);
  EXPECT_EQ(r.d, 0.5);
  EXPECT_EQ(r.s, "x\ty");
  EXPECT_EQ(r.in.n, 7);
  EXPECT_EQ(r.in.s, "inner");
  ASSERT_EQ(r.vin.size(), 3u);
  EXPECT_EQ(r.vin[0].n, 1);
  EXPECT_EQ(r.vin[1].n, 0);
  EXPECT_EQ(r.vin[2].s, "z");
  EXPECT_EQ(r.vd, (std::vector<double>{1, -2, 3.5}));
  ASSERT_EQ(r.vvd.size(), 3u);
  EXPECT_EQ(r.vvd[0].size(), 2u);
  EXPECT_NEAR(r.vvd[0][1], 39.9, 1e-12);
  EXPECT_TRUE(r.vvd[1].empty());
  EXPECT_EQ(r.vvd[2], (std::vector<double>{100.0}));
  EXPECT_EQ(r.vs, (std::vector<std::string>{"a", "b", "\xC3\xA9"}));
  EXPECT_EQ(r.vb, (std::vector<bool>{true, false, true, true, false}));
  EXPECT_EQ(r.vvvi, (std::vector<std::vector<std::vector<int>>>{{{1, 2}, {}}, {{3}}}));
}

TEST(RecordBinding, FilledInPlace) {
  rb::Rec r;
  r.i = 11;
  r.s = "keep";
  r.vd = {9};
  r.in.n = 5;
  r.in.s = "first";
  Load(r, R"({"vd": [1, 2], "d": 1, "vd": [3], "d": 2, "in": {"s": "second"}, "unknown": [1, {"x": 2}]})");
  EXPECT_EQ(r.i, 11);  // missing key: unchanged
  EXPECT_EQ(r.s, "keep");
  EXPECT_EQ(r.vd, (std::vector<double>{9, 1, 2, 3}));  // appended, twice
  EXPECT_EQ(r.d, 2.0);                                 // second value wins
  EXPECT_EQ(r.in.n, 5);                                // nested record: merged
  EXPECT_EQ(r.in.s, "second");
}

TEST(RecordBinding, KeysMatchByteForByte) {
  struct Case {
    const char* name;
    const char* doc;
    double lon;
  };
  const Case cases[] = {
      {"Quoted", R"({"dLon": 1})", 1},
      {"BareWord", "{dLon: 2}", 2},
      {"OtherCase", R"({"DLon": 3})", -1},
      {"Escaped", R"({"d\u004Con": 4})", -1},  // compared as written
      {"Prefix", R"({"dLo": 5, "dLonX": 6})", -1},
      {"LastOfOthers", R"({"dAlt": 7, "dLat": 8, "dLon": 9})", 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ql::Point p;
    p.dLon = -1;
    Load(p, c.doc);
    EXPECT_EQ(p.dLon, c.lon);
  }
}

TEST(RecordBinding, Arrays) {
  struct Case {
    const char* doc;
    std::vector<double> vd;
    std::string message;  // after "msg:", "" = reads
  };
  const Case cases[] = {
      {R"({"vd": []})", {}, ""},
      {R"({"vd": [1,]})", {1}, ""},
      {R"({"vd": [1 2]})", {1}, "no valid array!"},
      {R"({"vd": [,1]})", {0}, "not a valid float point number."},  // default element kept
      {R"({"vd": [1, [2]]})", {1, 0}, "not a valid float point number."},
      {R"({"vd": 1})", {}, "array must start with [."},
      {R"({"vd": [1, 2)", {1, 2}, "no valid array!"},  // the input ends
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.doc);
    rb::Rec r;
    std::string message;
    try {
      Load(r, c.doc);
    } catch (const ajson::exception& e) {
      message = e.what();
      message = message.substr(message.find("msg:") + 4);
    }
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(r.vd, c.vd);
  }
  rb::Rec r;
  Load(r, R"({"vin": [{}, {}]})");
  EXPECT_EQ(r.vin.size(), 2u);
}

TEST(RecordBinding, ErrorsLeaveWhatWasRead) {
  rb::Rec r;
  EXPECT_THROW(Load(r, R"({"i": 4, "in": {"n": 6, "s": 12}, "d": 3})"), ajson::exception);
  EXPECT_EQ(r.i, 4);
  EXPECT_EQ(r.in.n, 6);
  EXPECT_EQ(r.d, 0.0);
}

TEST(RecordBinding, ObjectGrammarMessages) {
  struct Case {
    const char* doc;
    const char* message;
  };
  const Case cases[] = {
      {R"({"in": [1]})", "read object must start with {!"},
      {R"({"in": {"n": 1,}})", "object key must be string"},
      {R"({"in": {"n" 1}})", "invalid json document!"},
      {R"({"vvd": [[1], 2]})", "array must start with [."},
      {R"({"vin": [{"n": 1} {"n": 2}]})", "no valid array!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.doc);
    rb::Rec r;
    try {
      Load(r, c.doc);
      ADD_FAILURE() << "read without error";
    } catch (const ajson::exception& e) {
      const std::string what = e.what();
      EXPECT_EQ(what.substr(what.find("msg:") + 4), c.message);
    }
  }
}

TEST(RecordBinding, HdRecordsReadWithTheirFieldLists) {
  ql::HdLinkId id;
  Load(id, R"({"lValue": 123456789012, "vcttiTileIds": [{"nLonId": 5815, "nLatId": -1995}, {nLonId: 1}]})");
  EXPECT_EQ(id.lValue, 123456789012L);
  ASSERT_EQ(id.vcttiTileIds.size(), 2u);
  EXPECT_EQ(id.vcttiTileIds[0].nLonId, 5815);
  EXPECT_EQ(id.vcttiTileIds[0].nLatId, -1995);
  EXPECT_EQ(id.vcttiTileIds[1].nLonId, 1);

  ql::Rect2D r;
  Load(r, R"({"lb": {"dLon": 116.3, "dLat": 39.9}, "rt": {"dLon": 116.32, "dLat": 39.92}})");
  EXPECT_NEAR(r.lb.dLon, 116.3, 1e-12);
  EXPECT_NEAR(r.rt.dLat, 39.92, 1e-12);
}

// ---- hostile documents ---------------------------------------------------------------------

struct Nested {
  std::vector<std::vector<double>> vvd;
  std::vector<std::string> vs;
  std::vector<int> vi;
  std::vector<rb::Inner> vin;
  std::string s;
  double d = 0;
};

}  // namespace

namespace ql {
QL_FIELDS(Nested, vvd, vs, vi, vin, s, d);
}  // namespace ql

namespace {

std::vector<std::string> SuiteFiles() {
  // The parsing documents of a public JSON test suite, kept with its licence in the test data.
  const std::string dir = std::string(QL_SOURCE_DIR) + "/tests/data/jsontestsuite/test_parsing/";
  std::vector<std::string> files;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') files.push_back(dir + e->d_name);
    }
    closedir(d);
  }
  return files;
}

void ResetConfigStrings() {
  for (std::string* s : {&ql::MapConfig::map_file_dir, &ql::MapConfig::map_use_type, &ql::MapConfig::tag,
                         &ql::MapConfig::sdConfig::save_dir_json, &ql::MapConfig::sdConfig::save_dir_binary,
                         &ql::MapConfig::hdConfig::save_dir_json, &ql::MapConfig::hdConfig::save_dir_binary,
                         &ql::MapConfig::gps_file_path, &ql::MapConfig::logDir, &ql::MapConfig::road_plan_file_dir,
                         &ql::MapConfig::sdid2hdid_path, &ql::MapConfig::map_road_filer_logic})
    s->clear();
}

// Each document either reads or raises ajson::exception; nothing else escapes, nothing crashes
// (the sanitizer build runs this too). Both the NUL-terminated and the length-limited forms.
TEST(RecordBinding, SuiteDocumentsReadOrRaiseReaderErrors) {
  const std::vector<std::string> files = SuiteFiles();
  ASSERT_GE(files.size(), 300u) << "the test suite's documents are missing";
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::vector<char> exact(text.begin(), text.end());
    for (const std::size_t len : {kNoLimit, exact.size()}) {
      const char* data = len == kNoLimit ? text.c_str() : exact.data();
      Nested n;
      try {
        ajson::load_from_buff(n, data, len);
      } catch (const ajson::exception&) {
      }
      ql::MapConfig config;
      try {
        ajson::load_from_buff(config, data, len);
      } catch (const ajson::exception&) {
      }
      ResetConfigStrings();
    }
  }
}

}  // namespace
