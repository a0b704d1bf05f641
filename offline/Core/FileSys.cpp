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
#include <fstream>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "MapConfig.h"
#include "Utils.h"
#include "xxtea.h"

namespace ql {

std::string FileSys::key = "kvq1987!";

namespace {

// Closes a descriptor on every path out of Read.
struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

// Reads everything from fd into out; false on a read error (EISDIR for a directory, EIO, ...).
bool ReadAll(int fd, std::string& out) {
  // Retries reads cut short by a signal; -1 on a real error.
  const auto readSome = [fd](char* dst, std::size_t n) -> ssize_t {
    for (;;) {
      const ssize_t got = ::read(fd, dst, n);
      if (got >= 0 || errno != EINTR) return got;
    }
  };
  struct stat st {};
  std::size_t size = 0;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) size = static_cast<std::size_t>(st.st_size);
  // The stated size in one buffer, so a tile is held once; then whatever lies beyond it (a file
  // that grew, or one that reports no size such as a pipe) in chunks until end of file.
  out.assign(size, '\0');
  std::size_t used = 0;
  while (used < size) {
    const ssize_t got = readSome(&out[used], size - used);
    if (got < 0) {
      out.clear();
      return false;
    }
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  out.resize(used);
  if (used < size) return true;
  char chunk[65536];
  for (;;) {
    const ssize_t got = readSome(chunk, sizeof chunk);
    if (got < 0) {
      out.clear();
      return false;
    }
    if (got == 0) return true;
    out.append(chunk, static_cast<std::size_t>(got));
  }
}

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
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return names;
  while (const dirent* entry = ::readdir(d)) {
    std::printf("d_name : %s\n", entry->d_name);
    names.emplace_back(entry->d_name);
  }
  ::closedir(d);
  return names;
}

bool FileSys::Read(const std::string& path, std::string& out, bool decrypt) {
  if (!Exist(path)) return false;
  const Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  std::string content;
  if (file.fd < 0 || !ReadAll(file.fd, content)) {
    out.clear();
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
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(static_cast<const char*>(buf.get()), static_cast<std::streamsize>(n));
    return;
  }
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(data.data(), static_cast<std::streamsize>(data.size()));
}

void FileSys::AppendSlow(const std::string& path, const std::string& content) {
  std::ofstream f(MapConfig::GetProjectDir() + path, std::ios::app);
  f << content;
}

void FileSys::CleanDir(const std::string& dir) {
  DIR* d = ::opendir(dir.c_str());
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
  ::mkdir(dir.c_str(), 0777);
}

void FileSys::Remove(const std::string& path) {
  if (path.empty()) return;
  if (IsProtectedPath(path)) {
    std::printf("Error creating directory!n");
    return;
  }
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) std::printf("Error creating directory!n");
    return;  // nothing there: nothing to do
  }
  t_removeFailed = false;
  // Depth first (contents before their directory), never following a symbolic link.
  if (::nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS) != 0 || t_removeFailed) {
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
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace ql
