#pragma once  // TestFiles.h: whole-file reads and writes and scratch directories for tests

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace qltest {

// The bytes of a file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& p);

// Replaces the file with these bytes.
void WriteFile(const std::filesystem::path& p, const std::string& bytes);

// A fresh directory under the system's temporary directory (ql_<name>_XXXXXX), removed with
// everything in it when the object goes. Throws std::runtime_error when none can be made.
class TempDir {
 public:
  explicit TempDir(const std::string& name);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return m_path; }
  std::string str() const { return m_path.string(); }

 private:
  std::filesystem::path m_path;
};

// Runs f (returning an int from 0 to 255) in a child process that a timer ends after seconds,
// so that a call that would block or run away fails the test instead of hanging it. Returns f's
// result, or the negated signal that ended the child (-14, SIGALRM, when time ran out).
template <class F>
int ExitCodeWithin(unsigned seconds, F&& f) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return -1000;
  if (pid == 0) {
    ::alarm(seconds);
    const int code = f();
    std::_Exit(code);  // no exit handlers: the parent's test state is not the child's to report
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

}  // namespace qltest
