#pragma once  // RegularFile.h: whole regular files read under a size cap, and paths checked for NUL bytes

// The one way the library reads a tile or configuration file. Only a regular file (after following
// symbolic links) is read: a FIFO would block the reader until a writer comes, and a device such
// as /dev/zero never ends; both are refused before a byte is read.

#include <string>

#include "FileBuffer.h"

namespace ql {

// How a read went.
enum class FileReadStatus {
  kRead,        // out holds the file's bytes
  kMissing,     // no such file (nor a dangling link's target)
  kNotRegular,  // a directory, FIFO, socket or device
  kFailed,      // exists but could not be opened or read (permissions, I/O error)
};

struct FileReadResult {
  FileReadStatus status = FileReadStatus::kRead;
  int error = 0;  // errno of kFailed

  bool Read() const { return status == FileReadStatus::kRead; }
  // Why the file was not read, for a message: "not a regular file", "Permission denied", ...;
  // empty for kRead and kMissing.
  std::string Reason() const;
};

// Reads the whole file into out, binary-safe, when it is a regular file of at most
// sc_nMaxFileBytes (Errors.h). out is left as it was unless the result is kRead. Throws
// FileTooLargeError naming path for a larger file (also one that grows past the cap while it is
// read) and std::invalid_argument for a path holding a NUL byte.
FileReadResult ReadRegularFile(const std::string& path, std::string& out);
// The same into a buffer that is kept from file to file (the tile store reads every tile through
// one): out holds the file's bytes when the result is kRead, and unspecified bytes otherwise.
FileReadResult ReadRegularFile(const std::string& path, FileBuffer& out);

// path.c_str() after checking that the path holds no NUL byte, which the system would take for
// its end (so that every tile path would name the same file). Throws std::invalid_argument
// "<argument> holds a NUL byte at offset <n>: <the path up to it>".
const char* CheckedPath(const std::string& path, const char* argument);

}  // namespace ql
