#include "RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "Errors.h"

namespace ql {

namespace {

// Closes the descriptor on every way out.
struct Fd {
  int fd;
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

FileReadResult Outcome(FileReadStatus status, int error = 0) {
  FileReadResult r;
  r.status = status;
  r.error = error;
  return r;
}

// What a failed stat or open means: the path names nothing, or something that cannot be reached.
FileReadResult FromErrno(int error) {
  return error == ENOENT || error == ENOTDIR ? Outcome(FileReadStatus::kMissing)
                                             : Outcome(FileReadStatus::kFailed, error);
}

// The next bytes into dst, retrying a read cut short by a signal; -1 on a real error.
ssize_t ReadSome(int fd, char* dst, std::size_t n) {
  for (;;) {
    const ssize_t got = ::read(fd, dst, n);
    if (got >= 0 || errno != EINTR) return got;
  }
}

void CheckSize(const std::string& path, unsigned long long bytes) {
  if (bytes > sc_nMaxFileBytes) throw FileTooLargeError(path, bytes);
}

}  // namespace

std::string FileReadResult::Reason() const {
  switch (status) {
    case FileReadStatus::kNotRegular:
      return "not a regular file";
    case FileReadStatus::kFailed:
      return std::strerror(error);
    default:
      return std::string();
  }
}

const char* CheckedPath(const std::string& path, const char* argument) {
  const std::size_t nul = path.find('\0');
  if (nul != std::string::npos) {
    throw std::invalid_argument(std::string(argument) + " holds a NUL byte at offset " + std::to_string(nul) +
                                ": " + path.substr(0, nul));
  }
  return path.c_str();
}

namespace {

// The size of a read target becomes n (the first bytes kept).
void SetSize(std::string& bytes, std::size_t n) { bytes.resize(n); }
void SetSize(FileBuffer& bytes, std::size_t n) { bytes.Resize(n); }

// Reads the file into content, which starts empty.
template <class Bytes>
FileReadResult ReadInto(const std::string& path, Bytes& content) {
  const char* name = CheckedPath(path, "path");
  // The kind is checked before opening: opening a device can have effects of its own.
  struct stat st {};
  if (::stat(name, &st) != 0) return FromErrno(errno);
  if (!S_ISREG(st.st_mode)) return Outcome(FileReadStatus::kNotRegular);
  CheckSize(path, static_cast<unsigned long long>(st.st_size));

  // Non-blocking, so that a FIFO put in the file's place since the check does not block the open;
  // a regular file reads the same either way.
  const Fd file{::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
  if (file.fd < 0) return FromErrno(errno);
  if (::fstat(file.fd, &st) != 0) return Outcome(FileReadStatus::kFailed, errno);
  if (!S_ISREG(st.st_mode)) return Outcome(FileReadStatus::kNotRegular);
  CheckSize(path, static_cast<unsigned long long>(st.st_size));

  // The stated size in one buffer, so the file is held once; then whatever a file that grew
  // holds beyond it, in chunks, never past the cap.
  const std::size_t size = static_cast<std::size_t>(st.st_size);
  SetSize(content, size);
  std::size_t used = 0;
  while (used < size) {
    const ssize_t got = ReadSome(file.fd, content.data() + used, size - used);
    if (got < 0) return Outcome(FileReadStatus::kFailed, errno);
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  SetSize(content, used);
  if (used == size) {
    char chunk[65536];
    for (;;) {
      const ssize_t got = ReadSome(file.fd, chunk, sizeof chunk);
      if (got < 0) return Outcome(FileReadStatus::kFailed, errno);
      if (got == 0) break;
      CheckSize(path, static_cast<unsigned long long>(content.size()) + static_cast<unsigned long long>(got));
      const std::size_t at = content.size();
      SetSize(content, at + static_cast<std::size_t>(got));
      std::memcpy(content.data() + at, chunk, static_cast<std::size_t>(got));
    }
  }
  return Outcome(FileReadStatus::kRead);
}

}  // namespace

FileReadResult ReadRegularFile(const std::string& path, std::string& out) {
  std::string content;
  const FileReadResult result = ReadInto(path, content);
  if (result.Read()) out.swap(content);
  return result;
}

FileReadResult ReadRegularFile(const std::string& path, FileBuffer& out) {
  out.Clear();
  return ReadInto(path, out);
}

}  // namespace ql
