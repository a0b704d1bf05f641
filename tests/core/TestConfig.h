#pragma once  // TestConfig.h: the settings a test changes, put back when it ends

#include <string>

#include "MapConfig.h"

namespace qltest {

// Saves the settings that the tile stores and the SD library read (tile intervals, depth,
// serialize type, encryption, the HD and SD tile directories, the candidate limit) and restores
// them when it goes, so a test may set them freely.
class ConfigGuard {
 public:
  ConfigGuard()
      : lon_(ql::MapConfig::tile_lon_interval),
        lat_(ql::MapConfig::tile_lat_interval),
        depth_(ql::MapConfig::qt_max_level),
        type_(ql::MapConfig::serialize_type_json1_binary2),
        limit_(ql::MapConfig::algorithm_condidate_max),
        encrypt_(ql::MapConfig::tile_encrypt),
        sdJson_(ql::MapConfig::sdConfig::save_dir_json),
        sdBinary_(ql::MapConfig::sdConfig::save_dir_binary),
        hdJson_(ql::MapConfig::hdConfig::save_dir_json),
        hdBinary_(ql::MapConfig::hdConfig::save_dir_binary) {}
  ~ConfigGuard() {
    ql::MapConfig::tile_lon_interval = lon_;
    ql::MapConfig::tile_lat_interval = lat_;
    ql::MapConfig::qt_max_level = depth_;
    ql::MapConfig::serialize_type_json1_binary2 = type_;
    ql::MapConfig::algorithm_condidate_max = limit_;
    ql::MapConfig::tile_encrypt = encrypt_;
    ql::MapConfig::sdConfig::save_dir_json = sdJson_;
    ql::MapConfig::sdConfig::save_dir_binary = sdBinary_;
    ql::MapConfig::hdConfig::save_dir_json = hdJson_;
    ql::MapConfig::hdConfig::save_dir_binary = hdBinary_;
  }
  ConfigGuard(const ConfigGuard&) = delete;
  ConfigGuard& operator=(const ConfigGuard&) = delete;

 private:
  double lon_, lat_;
  int depth_, type_, limit_;
  bool encrypt_;
  std::string sdJson_, sdBinary_, hdJson_, hdBinary_;
};

}  // namespace qltest
