#pragma once  // TestFiles.h: whole-file reads and writes and scratch directories for tests

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

}  // namespace qltest
