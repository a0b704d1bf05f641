#include "Timer.h"

namespace ql {

std::map<int, std::function<void(double)>> Timer::loopFuncs;
bool Timer::m_bLooping = false;
int Timer::m_nHandleIndex = 0;
std::chrono::system_clock::duration Timer::m_tdLastDuration{0};

std::chrono::system_clock::time_point Timer::Now() { return std::chrono::system_clock::now(); }

}  // namespace ql
