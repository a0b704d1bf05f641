// Loading the configuration file: echo, parsing into the settings, path prefixes, failures, reruns.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

#include "Errors.h"
#include "MapConfig.h"
#include "TestFiles.h"
#include "ajson.hpp"

namespace {

using ql::MapConfig;

// Every setting back to its value at load.
void ResetSettings() {
  for (std::string* s : {&MapConfig::map_file_dir, &MapConfig::map_use_type, &MapConfig::tag,
                         &MapConfig::sdConfig::save_dir_json, &MapConfig::sdConfig::save_dir_binary,
                         &MapConfig::hdConfig::save_dir_json, &MapConfig::hdConfig::save_dir_binary,
                         &MapConfig::gps_file_path, &MapConfig::logDir, &MapConfig::road_plan_file_dir,
                         &MapConfig::sdid2hdid_path, &MapConfig::map_road_filer_logic, &MapConfig::projectDir})
    s->clear();
  for (double* d :
       {&MapConfig::tile_lon_interval, &MapConfig::tile_lat_interval, &MapConfig::node_interpolate,
        &MapConfig::gps_rect_lon_metres_half, &MapConfig::gps_rect_lat_metres_half, &MapConfig::route_rect_lon,
        &MapConfig::route_rect_lat, &MapConfig::algorithm_change_direction_punish_range_max})
    *d = 0;
  for (int* i : {&MapConfig::qt_max_level, &MapConfig::algorithm_path_len, &MapConfig::algorithm_condidate_max,
                 &MapConfig::profiler_interval})
    *i = 0;
  MapConfig::algorithm_change_road_punish_div = 0;
  MapConfig::serialize_type_json1_binary2 = 1;
  MapConfig::tile_encrypt = false;
}

struct Case {
  const char* name;
  std::string text;
};

class MapConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettings();
    char tmpl[] = "/tmp/ql_mapconfig_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = std::string(tmpl) + "/";
  }
  void TearDown() override {
    for (const std::string& f : written_) std::remove(f.c_str());  // files and empty directories
    rmdir(dir_.c_str());
    ResetSettings();
  }

  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ + name, std::ios::binary) << text;
    written_.push_back(dir_ + name);
  }

  // Runs Init and returns what it printed.
  std::string Init(const std::string& name) {
    testing::internal::CaptureStdout();
    try {
      MapConfig::Init(dir_, name);
    } catch (...) {
      printed_ = testing::internal::GetCapturedStdout();
      throw;
    }
    return testing::internal::GetCapturedStdout();
  }

  std::string dir_;
  std::string printed_;  // what a failed Init printed
  std::vector<std::string> written_;
};

const char kFull[] = R"({
  // line comments and /* block comments */ may stand between tokens
  "map_file_dir": "map/", "map_use_type": "hd", "tag": "ignored",
  "tile_lon_interval": 0.02, "tile_lat_interval": "0.02", "node_interpolate": 1.5,
  "gps_rect_lon_metres_half": 10, "gps_rect_lat_metres_half": 20,
  "route_rect_lon": 30, "route_rect_lat": 40, "qt_max_level": 5, "algorithm_path_len": true,
  "algorithm_condidate_max": 8, "algorithm_change_road_punish_div": 0.5,
  "algorithm_change_direction_punish_range_max": 90,
  "sd_config": {"save_dir_json": "sd/json/", "save_dir_binary": "sd/binary/"},
  "hd_config": {"save_dir_json": "hd/json/", "save_dir_binary": "hd/binary/"},
  "gps_file_path": "gps.txt", "profiler_interval": 3, "logDir": "log/",
  "serialize_type_json1_binary2": 2, "tile_encrypt": true, "road_plan_file_dir": "plan/",
  "sdid2hdid_path": "sd2hd.txt", "map_road_filer_logic": "none", "unknown": {"x": [1, 2]}
})";

TEST_F(MapConfigTest, ReadsEverySettingAndPrefixesThePaths) {
  Write("config.json", kFull);
  EXPECT_EQ(Init("config.json"), kFull);  // echoed exactly, nothing added
  EXPECT_EQ(MapConfig::map_file_dir, dir_ + "map/");
  EXPECT_EQ(MapConfig::map_use_type, "hd");
  EXPECT_EQ(MapConfig::tag, "MapConfig");
  EXPECT_EQ(MapConfig::tile_lon_interval, 0x1.47ae147ae147cp-6);  // digit by digit: 0.020000000000000004
  EXPECT_EQ(MapConfig::tile_lat_interval, 0.02);                  // quoted: strtold, correctly rounded
  EXPECT_EQ(MapConfig::node_interpolate, 1.5);
  EXPECT_EQ(MapConfig::gps_rect_lon_metres_half, 10);
  EXPECT_EQ(MapConfig::gps_rect_lat_metres_half, 20);
  EXPECT_EQ(MapConfig::route_rect_lon, 30);
  EXPECT_EQ(MapConfig::route_rect_lat, 40);
  EXPECT_EQ(MapConfig::qt_max_level, 5);
  EXPECT_EQ(MapConfig::algorithm_path_len, 1);
  EXPECT_EQ(MapConfig::algorithm_condidate_max, 8);
  EXPECT_EQ(MapConfig::algorithm_change_road_punish_div, 0.5f);
  EXPECT_EQ(MapConfig::algorithm_change_direction_punish_range_max, 90);
  EXPECT_EQ(MapConfig::sdConfig::save_dir_json, dir_ + "sd/json/");
  EXPECT_EQ(MapConfig::sdConfig::save_dir_binary, dir_ + "sd/binary/");
  EXPECT_EQ(MapConfig::hdConfig::save_dir_json, dir_ + "hd/json/");
  EXPECT_EQ(MapConfig::hdConfig::save_dir_binary, dir_ + "hd/binary/");
  EXPECT_EQ(MapConfig::gps_file_path, dir_ + "gps.txt");
  EXPECT_EQ(MapConfig::profiler_interval, 3);
  EXPECT_EQ(MapConfig::logDir, "log/");  // not a prefixed path
  EXPECT_EQ(MapConfig::serialize_type_json1_binary2, 2);
  EXPECT_TRUE(MapConfig::tile_encrypt);
  EXPECT_EQ(MapConfig::road_plan_file_dir, "plan/");
  EXPECT_EQ(MapConfig::sdid2hdid_path, dir_ + "sd2hd.txt");
  EXPECT_EQ(MapConfig::map_road_filer_logic, "none");
  EXPECT_EQ(MapConfig::projectDir, dir_);
  EXPECT_EQ(MapConfig::GetProjectDir(), dir_);
}

TEST_F(MapConfigTest, AbsentSettingsKeepTheirValuesAndPathsBecomeTheProjectPath) {
  Write("c.json", R"({"sd_config": {}, "qt_max_level": 4, "hd_config": {"save_dir_json": "hd/"}})");
  Init("c.json");
  EXPECT_EQ(MapConfig::serialize_type_json1_binary2, 1);
  EXPECT_EQ(MapConfig::qt_max_level, 4);  // read after the empty group
  EXPECT_EQ(MapConfig::sdConfig::save_dir_json, dir_);
  EXPECT_EQ(MapConfig::sdConfig::save_dir_binary, dir_);
  EXPECT_EQ(MapConfig::hdConfig::save_dir_json, dir_ + "hd/");
  EXPECT_EQ(MapConfig::hdConfig::save_dir_binary, dir_);
  EXPECT_EQ(MapConfig::gps_file_path, dir_);
  EXPECT_EQ(MapConfig::map_file_dir, dir_);
  EXPECT_EQ(MapConfig::sdid2hdid_path, dir_);
}

TEST_F(MapConfigTest, SecondRunGivesTheSamePaths) {
  Write("c.json", R"({"gps_file_path": "gps.txt", "qt_max_level": 6})");
  Init("c.json");
  Init("c.json");
  EXPECT_EQ(MapConfig::gps_file_path, dir_ + "gps.txt");
  EXPECT_EQ(MapConfig::map_file_dir, dir_);  // absent: prefixed once, not twice
  EXPECT_EQ(MapConfig::hdConfig::save_dir_json, dir_);
  EXPECT_EQ(MapConfig::qt_max_level, 6);
}

// A run that raises part way leaves every setting as it found it: the values a file gave before
// its error are taken back, so a retry starts from the same settings as the failed run did.
TEST_F(MapConfigTest, FailedRunPutsEverySettingBack) {
  Write("good.json", kFull);
  Init("good.json");
  const std::string gps = MapConfig::gps_file_path;
  const std::string hd = MapConfig::hdConfig::save_dir_json;
  const std::string sd = MapConfig::sdConfig::save_dir_binary;

  const Case failures[] = {
      {"ReaderError",
       R"({"gps_file_path": "other.txt", "tile_lon_interval": 7, "hd_config": {"save_dir_json": 5}})"},
      {"DepthOutOfRange", R"({"gps_file_path": "other.txt", "tile_encrypt": false, "qt_max_level": 17})"},
  };
  for (const Case& c : failures) {
    SCOPED_TRACE(c.name);
    Write("bad.json", c.text);
    EXPECT_ANY_THROW(Init("bad.json"));
    EXPECT_EQ(MapConfig::gps_file_path, gps);
    EXPECT_EQ(MapConfig::hdConfig::save_dir_json, hd);
    EXPECT_EQ(MapConfig::sdConfig::save_dir_binary, sd);
    EXPECT_EQ(MapConfig::tile_lon_interval, 0x1.47ae147ae147cp-6);
    EXPECT_EQ(MapConfig::qt_max_level, 5);
    EXPECT_TRUE(MapConfig::tile_encrypt);
    EXPECT_EQ(MapConfig::projectDir, dir_);
    EXPECT_EQ(MapConfig::tag, "MapConfig");
  }

  ResetSettings();
  Write("retry.json", R"({"hd_config": {"save_dir_json": "hd/json/"}, "gps_file_path": "gps.txt"})");
  Init("retry.json");
  const std::string firstHd = MapConfig::hdConfig::save_dir_json;
  ResetSettings();
  EXPECT_THROW(Init("bad.json"), std::invalid_argument);
  EXPECT_EQ(MapConfig::gps_file_path, "");  // as before the call
  EXPECT_EQ(MapConfig::projectDir, "");
  Init("retry.json");
  EXPECT_EQ(MapConfig::hdConfig::save_dir_json, firstHd);
  EXPECT_EQ(MapConfig::gps_file_path, dir_ + "gps.txt");
}

TEST_F(MapConfigTest, MissingFileFailsBeforeAnythingIsPrintedOrChanged) {
  MapConfig::map_file_dir = "before";
  MapConfig::qt_max_level = 9;
  try {
    Init("absent.json");
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(dir_ + "absent.json"), std::string::npos) << e.what();
  }
  EXPECT_EQ(printed_, "");
  EXPECT_EQ(MapConfig::map_file_dir, "before");
  EXPECT_EQ(MapConfig::qt_max_level, 9);
  EXPECT_EQ(MapConfig::projectDir, "");
}

TEST_F(MapConfigTest, MalformedDocumentsRaiseTheReadersMessageAfterTheEcho) {
  struct Case {
    const char* name;
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"Empty", "", "error at line :0 col :0 msg:read object must start with {!"},
      {"ArrayForInt", R"({"qt_max_level": [1]})",
       "error at line :0 col :18 msg:not a valid signed integral like number."},
      {"NumberForString", R"({"map_file_dir": 5})", "error at line :0 col :18 msg:not a valid string."},
      {"ArrayForGroup", R"({"sd_config": []})", "error at line :0 col :15 msg:read object must start with {!"},
      {"CutAtNul", std::string("{\"logDir\": \"a\"\0}", 16),
       "error at line :0 col :14 msg:invalid json document!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write("m.json", c.text);
    try {
      Init("m.json");
      ADD_FAILURE() << "no exception";
    } catch (const ajson::exception& e) {
      EXPECT_EQ(e.what(), c.message);
    }
    EXPECT_EQ(printed_, c.text);
  }
}

// The depth names one of a path code's 16 groups. Out of range it is refused at once, naming the
// file and the value as it stands there, also where the int conversion would have wrapped it
// into range or to INT_MIN.
TEST_F(MapConfigTest, DepthOutsideZeroToSixteenIsRefusedAsWritten) {
  struct DepthCase {
    const char* name;
    const char* value;  // as written in the file
    const char* shown;  // in the message; nullptr: accepted
  };
  const DepthCase cases[] = {
      {"Zero", "0", nullptr},
      {"Sixteen", "16", nullptr},
      {"FractionTruncates", "16.9", nullptr},
      {"QuotedNumber", "\"5\"", nullptr},
      {"TrueIsOne", "true", nullptr},
      {"Seventeen", "17", "17"},
      {"MinusOne", "-1", "-1"},
      {"HugeFloatNotIntMin", "1e10", "1e10"},
      {"WrapsToFive", "4294967301", "4294967301"},
      {"QuotedHuge", "\"99999999999\"", "99999999999"},
  };
  for (const DepthCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResetSettings();
    Write("d.json", std::string(R"({"hd_config": {"save_dir_json": "hd/"}, "qt_max_level": )") + c.value + "}");
    if (c.shown == nullptr) {
      EXPECT_NO_THROW(Init("d.json"));
      continue;
    }
    try {
      Init("d.json");
      ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()),
                "configuration file " + dir_ + "d.json: qt_max_level " + c.shown + " is outside 0..16");
    }
    EXPECT_EQ(MapConfig::qt_max_level, 0);  // put back
    EXPECT_EQ(MapConfig::hdConfig::save_dir_json, "");
  }
}

// A grid interval is a finite number of degrees, 0 or more (0: a grid without tiles). Any other
// value, however the reader came to it, is refused at once, naming the file, the key and the
// value as it stands there.
TEST_F(MapConfigTest, GridIntervalThatNamesNoGridIsRefusedAsWritten) {
  struct IntervalCase {
    const char* name;
    const char* value;  // as written in the file
    const char* shown;  // in the message; nullptr: accepted
  };
  const IntervalCase cases[] = {
      {"Zero", "0", nullptr},
      {"MinusZero", "-0", nullptr},
      {"Step", "0.02", nullptr},
      {"QuotedStep", "\"0.02\"", nullptr},
      {"UnderflowsToZero", "1e-400", nullptr},
      {"Negative", "-0.02", "-0.02"},
      {"BareNaN", "NaN", "NaN"},
      {"QuotedNan", "\"nan\"", "nan"},
      {"HugeExponent", "1e999", "1e999"},
      {"NegativeHugeExponent", "-1e999", "-1e999"},
      {"QuotedInfinity", "\"Infinity\"", "Infinity"},
      {"QuotedBeyondDouble", "\"1e400\"", "1e400"},
  };
  for (const char* key : {"tile_lon_interval", "tile_lat_interval"}) {
    for (const IntervalCase& c : cases) {
      SCOPED_TRACE(std::string(key) + " " + c.name);
      ResetSettings();
      Write("g.json", std::string(R"({"hd_config": {"save_dir_json": "hd/"}, ")") + key + "\": " + c.value + "}");
      if (c.shown == nullptr) {
        EXPECT_NO_THROW(Init("g.json"));
        continue;
      }
      try {
        Init("g.json");
        ADD_FAILURE() << "no exception";
      } catch (const std::invalid_argument& e) {
        EXPECT_EQ(std::string(e.what()), "configuration file " + dir_ + "g.json: " + key + " " + c.shown +
                                             " is not a grid interval (a finite number of degrees, 0 or more)");
      }
      EXPECT_EQ(MapConfig::tile_lon_interval, 0);  // put back
      EXPECT_EQ(MapConfig::tile_lat_interval, 0);
      EXPECT_EQ(MapConfig::hdConfig::save_dir_json, "");
    }
  }

  // A value the file does not give is the one the setting held, shown as the shortest text of it.
  ResetSettings();
  MapConfig::tile_lat_interval = -0.25;
  Write("g.json", R"({"tile_lon_interval": 0.02})");
  try {
    Init("g.json");
    ADD_FAILURE() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(std::string(e.what()), "configuration file " + dir_ +
                                         "g.json: tile_lat_interval -0.25 is not a grid interval (a finite "
                                         "number of degrees, 0 or more)");
  }
  EXPECT_EQ(MapConfig::tile_lon_interval, 0);
}

// Only a regular file is read, and none larger than 1 GiB; either refusal comes before anything
// is printed or changed. A FIFO without a writer would block an ordinary read forever, so the
// read runs in a child process that a timer ends.
TEST_F(MapConfigTest, OnlyARegularFileOfAtMostOneGibIsRead) {
  Write("real.json", R"({"qt_max_level": 3})");
  ASSERT_EQ(mkfifo((dir_ + "fifo.json").c_str(), 0600), 0);
  written_.push_back(dir_ + "fifo.json");
  ASSERT_EQ(symlink("/dev/zero", (dir_ + "zero.json").c_str()), 0);
  written_.push_back(dir_ + "zero.json");
  ASSERT_EQ(symlink("real.json", (dir_ + "link.json").c_str()), 0);
  written_.push_back(dir_ + "link.json");
  ASSERT_EQ(mkdir((dir_ + "dir.json").c_str(), 0700), 0);
  written_.push_back(dir_ + "dir.json");
  {
    std::ofstream(dir_ + "huge.json");  // sparse: no disk is used
    written_.push_back(dir_ + "huge.json");
    ASSERT_EQ(truncate((dir_ + "huge.json").c_str(), (1ll << 30) + 1), 0);
  }
  struct FileCase {
    const char* name;
    const char* file;
    const char* refusal;  // what the message ends with; nullptr: read
  };
  const FileCase cases[] = {
      {"LinkToARegularFileIsFollowed", "link.json", nullptr},
      {"Fifo", "fifo.json", " (not a regular file)"},
      {"LinkToDevZero", "zero.json", " (not a regular file)"},
      {"Directory", "dir.json", " (not a regular file)"},
      {"OverOneGib", "huge.json",
       ": 1073741825 bytes, more than the 1073741824 (1 GiB) a tile or configuration "
       "file may have"},
  };
  for (const FileCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(qltest::ExitCodeWithin(10,
                                     [&] {
                                       try {
                                         Init(c.file);
                                       } catch (const std::exception&) {
                                         return 1;
                                       }
                                       return 0;
                                     }),
              c.refusal == nullptr ? 0 : 1);
    if (c.refusal == nullptr) continue;
    ResetSettings();
    MapConfig::map_file_dir = "before";
    try {
      Init(c.file);
      ADD_FAILURE() << "no exception";
    } catch (const std::exception& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(dir_ + c.file), std::string::npos) << what;
      EXPECT_TRUE(what.size() >= std::strlen(c.refusal) &&
                  what.compare(what.size() - std::strlen(c.refusal), std::string::npos, c.refusal) == 0)
          << what;
      const bool tooLarge = dynamic_cast<const ql::FileTooLargeError*>(&e) != nullptr;
      const bool cannotOpen = dynamic_cast<const std::runtime_error*>(&e) != nullptr &&
                              what.rfind("cannot open configuration file ", 0) == 0;
      EXPECT_TRUE(tooLarge || cannotOpen) << what;
    }
    EXPECT_EQ(printed_, "");
    EXPECT_EQ(MapConfig::map_file_dir, "before");
  }
}

TEST_F(MapConfigTest, NulByteInAPathArgumentIsRefusedNamingIt) {
  Write("c.json", "{}");
  const std::string withNul("c.json\0ignored", 14);
  try {
    MapConfig::Init(dir_, withNul);
    ADD_FAILURE() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(std::string(e.what()), "configPath holds a NUL byte at offset 6: c.json");
  }
  try {
    MapConfig::Init(dir_ + std::string("\0", 1), "c.json");
    ADD_FAILURE() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(std::string(e.what()).rfind("projectPath holds a NUL byte at offset ", 0), 0u) << e.what();
  }
  EXPECT_EQ(MapConfig::projectDir, "");
}

}  // namespace
