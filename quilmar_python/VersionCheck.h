#pragma once  // VersionCheck.h: may this interpreter load a module built for another Python?

// Kept free of Python headers so that the rule can be tested without an interpreter.

#include <cstring>
#include <string>

namespace qlpy {

// `compiled` is "major.minor" of the headers the module was built with; `runtime` is the
// interpreter's version string (Py_GetVersion(), e.g. "3.11.2 (main, ...) [GCC 12.2.0]").
// The runtime string must begin with `compiled` and must not go on with a digit there, so a
// module built for 3.1 refuses 3.11; the micro version and anything after it do not matter.
inline bool IsCompatiblePython(const char* compiled, const char* runtime) {
  const std::size_t n = std::strlen(compiled);
  if (std::strncmp(runtime, compiled, n) != 0) return false;
  const char next = runtime[n];
  return !(next >= '0' && next <= '9');
}

// The ImportError text for an interpreter that IsCompatiblePython refuses.
inline std::string PythonVersionMismatch(const char* compiled, const char* runtime) {
  return std::string("Python version mismatch: module was compiled for Python ") + compiled +
         ", but the interpreter version is incompatible: " + runtime + ".";
}

}  // namespace qlpy
