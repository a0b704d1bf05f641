#pragma once  // Timer.h: the wall clock

#include <chrono>
#include <functional>
#include <map>

namespace ql {

class Timer {
 public:
  static std::chrono::system_clock::time_point Now();

  // Kept for callers that register loop callbacks; nothing in the library uses them.
  static std::map<int, std::function<void(double)>> loopFuncs;
  static bool m_bLooping;
  static int m_nHandleIndex;
  static std::chrono::system_clock::duration m_tdLastDuration;
};

}  // namespace ql
