#pragma once  // TestConfig.h: the settings a test changes, put back when it ends, and the tile encodings

#include <string>

#include "MapConfig.h"

namespace qltest {

// Saves every setting of ql::MapConfig and restores them when it goes, so a test may set them
// freely.
class ConfigGuard {
 public:
  ConfigGuard() = default;
  ~ConfigGuard() { saved_.Restore(); }
  ConfigGuard(const ConfigGuard&) = delete;
  ConfigGuard& operator=(const ConfigGuard&) = delete;

 private:
  ql::MapConfig::Snapshot saved_;
};

// One encoding of tile files as the tile writer lays them out: the settings that read it and
// its folder below the map's own ("hd/" or "sd/").
struct Encoding {
  const char* name;  // names the test rows
  int type;          // MapConfig::serialize_type_json1_binary2
  bool encrypt;      // MapConfig::tile_encrypt
  const char* dir;   // "json/", "binary/" or "encrypted/"

  // The folder relative to the project, ending with '/'.
  std::string HdDir() const { return std::string("hd/") + dir; }
  std::string SdDir() const { return std::string("sd/") + dir; }
};

// Every encoding a map is written in; kEncodings[0] JSON, [1] binary, [2] encrypted binary.
inline const Encoding kEncodings[] = {
    {"Json", 1, false, "json/"}, {"Binary", 2, false, "binary/"}, {"Encrypted", 2, true, "encrypted/"}};

}  // namespace qltest
