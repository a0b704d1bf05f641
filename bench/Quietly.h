#pragma once  // Quietly.h: a call with standard output sent to /dev/null

// InitMap echoes the configuration and every entry of the tile directory; a benchmark that loads a
// map keeps that out of its report.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace qlbench {

// Runs f with file descriptor 1 on /dev/null, and puts it back afterwards, also when f throws.
template <class F>
void Quietly(F&& f) {
  struct Restore {
    int console;
    int sink;
    ~Restore() {
      std::fflush(stdout);
      dup2(console, 1);
      close(sink);
      close(console);
    }
  };
  std::fflush(stdout);
  const Restore restore{dup(1), open("/dev/null", O_WRONLY)};
  dup2(restore.sink, 1);
  f();
}

}  // namespace qlbench
