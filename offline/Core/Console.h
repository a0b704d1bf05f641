#pragma once  // Console.h: the hook run before the library writes to standard output

namespace ql {

// An embedding that buffers standard output of its own (the Python module) sets a hook that
// empties its buffer, so that its lines and the library's keep the order they were made in.
using ConsoleHook = void (*)();

inline ConsoleHook g_consoleHook = nullptr;

inline void SetConsoleHook(ConsoleHook hook) { g_consoleHook = hook; }

// Called by the library before each write to standard output.
inline void BeforeConsoleOutput() {
  if (g_consoleHook != nullptr) g_consoleHook();
}

}  // namespace ql
