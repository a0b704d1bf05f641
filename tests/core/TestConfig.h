#pragma once  // TestConfig.h: the settings a test changes, put back when it ends

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

}  // namespace qltest
