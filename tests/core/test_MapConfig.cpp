// Loading the configuration file: echo, parsing into the settings, path prefixes, failures, reruns.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <string>

#include "MapConfig.h"
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

class MapConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettings();
    char tmpl[] = "/tmp/ql_mapconfig_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = std::string(tmpl) + "/";
  }
  void TearDown() override {
    for (const std::string& f : written_) unlink(f.c_str());
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

TEST_F(MapConfigTest, RetryAfterAFailedReadGivesTheSamePathsAsAFirstRun) {
  const std::string good = R"({"hd_config": {"save_dir_json": "hd/json/"}, "gps_file_path": "gps.txt"})";
  Write("good.json", good);
  Init("good.json");
  const std::string firstHd = MapConfig::hdConfig::save_dir_json;
  const std::string firstMap = MapConfig::map_file_dir;

  // Fails after some paths were read: they stay unprefixed, projectDir and tag untouched.
  ResetSettings();
  Write("bad.json", R"({"gps_file_path": "gps.txt", "hd_config": {"save_dir_json": 5}})");
  EXPECT_THROW(Init("bad.json"), ajson::exception);
  EXPECT_EQ(MapConfig::gps_file_path, "gps.txt");
  EXPECT_EQ(MapConfig::projectDir, "");
  EXPECT_EQ(MapConfig::tag, "");

  Init("good.json");
  EXPECT_EQ(MapConfig::hdConfig::save_dir_json, firstHd);
  EXPECT_EQ(MapConfig::map_file_dir, firstMap);
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

}  // namespace
