#include "FileSys.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Console.h"
#include "MapConfig.h"
#include "RegularFile.h"
#include "Utils.h"
#include "xxtea.h"

namespace ql {

std::string FileSys::key = "kvq1987!";

namespace {

// The removal failures of one Remove call (nftw's callback takes no user data).
thread_local bool t_removeFailed = false;

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  if (::remove(path) != 0 && errno != ENOENT) t_removeFailed = true;
  return 0;  // go on: remove what can be removed, like rm -rf
}

// Paths rm refuses too: the root, and anything ending in "." or "..".
bool IsProtectedPath(const std::string& path) {
  std::size_t end = path.size();
  while (end > 0 && path[end - 1] == '/') --end;
  if (end == 0) return !path.empty();  // "/" or "///"
  const std::size_t slash = path.rfind('/', end - 1);
  const std::string last =
      path.substr(slash == std::string::npos ? 0 : slash + 1, end - (slash == std::string::npos ? 0 : slash + 1));
  return last == "." || last == "..";
}

}  // namespace

std::vector<std::string> FileSys::GetAllFiles(const std::string& dir) {
  std::vector<std::string> names;
  std::string unlisted;
  GetAllFiles(dir, names, unlisted);
  return names;
}

bool FileSys::GetAllFiles(const std::string& dir, std::vector<std::string>& names, std::string& unlisted) {
  names.clear();
  unlisted.clear();
  DIR* d = ::opendir(CheckedPath(dir, "dir"));
  if (d == nullptr) {
    unlisted = std::strerror(errno);
    return false;
  }
  for (;;) {
    errno = 0;  // readdir tells its end from its failure only by errno
    const dirent* entry = ::readdir(d);
    if (entry == nullptr) break;
    BeforeConsoleOutput();
    std::printf("d_name : %s\n", entry->d_name);
    names.emplace_back(entry->d_name);
  }
  const int failure = errno;
  ::closedir(d);
  if (failure != 0) unlisted = std::strerror(failure);
  return failure == 0;
}

bool FileSys::Read(const std::string& path, std::string& out, bool decrypt) {
  std::string unreadable;
  return Read(path, out, decrypt, unreadable);
}

bool FileSys::Read(const std::string& path, std::string& out, bool decrypt, std::string& unreadable) {
  unreadable.clear();
  std::string content;
  const FileReadResult read = ReadRegularFile(path, content);
  if (read.status == FileReadStatus::kMissing) return false;
  if (!read.Read()) {
    out.clear();
    unreadable = read.Reason();
    return false;
  }
  if (decrypt && !content.empty()) {
    const std::size_t bytes = content.size();
    // In place: the file's bytes become the plaintext without another copy of the tile.
    if (!xxtea_decrypt_inplace(content, key.c_str())) {
      out.clear();
      throw DecryptError(path, bytes);
    }
  }
  out.swap(content);
  return true;
}

bool FileSys::Read(const std::string& path, FileBuffer& out, bool decrypt, std::string& unreadable) {
  if (decrypt) {
    // The cipher works on a string; encrypted tiles are bound by it, not by the copy.
    std::string content;
    const bool read = Read(path, content, decrypt, unreadable);
    out.Assign(content.data(), content.size());
    return read;
  }
  unreadable.clear();
  const FileReadResult read = ReadRegularFile(path, out);
  if (read.Read()) return true;
  out.Clear();
  unreadable = read.Reason();
  return false;
}

void FileSys::Save(const std::string& path, const std::string& data, bool encrypt) {
  if (encrypt && !data.empty()) {
    if (data.size() > std::numeric_limits<uint32_t>::max()) {
      throw std::length_error(path + ": " + std::to_string(data.size()) +
                              " bytes are too many to encrypt (the length word holds 32 bits)");
    }
    std::size_t n = 0;
    std::unique_ptr<void, decltype(&std::free)> buf(xxtea_encrypt(data.data(), data.size(), key.c_str(), &n),
                                                    &std::free);
    if (!buf) throw std::bad_alloc();
    std::ofstream f(CheckedPath(path, "path"), std::ios::binary | std::ios::trunc);
    f.write(static_cast<const char*>(buf.get()), static_cast<std::streamsize>(n));
    return;
  }
  std::ofstream f(CheckedPath(path, "path"), std::ios::binary | std::ios::trunc);
  f.write(data.data(), static_cast<std::streamsize>(data.size()));
}

void FileSys::AppendSlow(const std::string& path, const std::string& content) {
  std::ofstream f(CheckedPath(MapConfig::GetProjectDir() + path, "path"), std::ios::app);
  f << content;
}

void FileSys::CleanDir(const std::string& dir) {
  DIR* d = ::opendir(CheckedPath(dir, "dir"));
  if (d == nullptr) return;
  std::vector<std::string> paths;
  while (const dirent* entry = ::readdir(d)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;  // removing them always fails
    paths.push_back(dir + "/" + name);          // full length, never a truncated path
  }
  ::closedir(d);
  for (const std::string& p : paths) std::remove(p.c_str());
}

void FileSys::MkDir(const std::string& dir) {
  // 0777 less the umask, as the mkdir command creates it.
  ::mkdir(CheckedPath(dir, "dir"), 0777);
}

void FileSys::Remove(const std::string& path) {
  if (path.empty()) return;
  CheckedPath(path, "path");
  if (IsProtectedPath(path)) {
    BeforeConsoleOutput();
    std::printf("Error creating directory!n");
    return;
  }
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) {
      BeforeConsoleOutput();
      std::printf("Error creating directory!n");
    }
    return;  // nothing there: nothing to do
  }
  t_removeFailed = false;
  // Depth first (contents before their directory), never following a symbolic link.
  if (::nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS) != 0 || t_removeFailed) {
    BeforeConsoleOutput();
    std::printf("Error creating directory!n");
  }
}

bool FileSys::FileNameEndWith(const std::string& name, const std::string& suffix) {
  return Utils::EndsWith(name, suffix);
}

std::string FileSys::ChoosePath(const std::vector<std::string>& dirs, const std::string& name) {
  for (const std::string& dir : dirs) {
    std::string candidate = dir + name;
    if (Exist(candidate)) return candidate;
  }
  return "";
}

bool FileSys::Exist(const std::string& path) {
  struct stat st {};
  return ::stat(CheckedPath(path, "path"), &st) == 0;
}

}  // namespace ql
