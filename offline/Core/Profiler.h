#pragma once  // Profiler.h: section hooks around the tile store's rectangle queries

#include <chrono>
#include <map>
#include <string>

namespace ql {

class Profiler {
 public:
  struct Record {
    std::string name;
    int count = 0;
    std::chrono::system_clock::duration total{0};
  };

  // Hooks only: they record nothing, so the query paths pay no cost for them.
  static void Start(const std::string& section);
  static void End(const std::string& section);

  static std::map<std::string, Record> records;
  static int interval;
  static std::chrono::system_clock::duration accTime;
  static std::chrono::system_clock::duration lastStatTime;
  static bool inited;
};

}  // namespace ql
