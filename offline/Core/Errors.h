#pragma once  // Errors.h: the exceptions the library raises besides the standard ones

// Each derives from the standard exception that was raised in its place before it existed, so
// callers catching that still catch it, and Python sees what pybind11 maps the standard type to:
// std::length_error becomes ValueError, std::runtime_error RuntimeError. The JSON reader's
// ajson::exception keeps its own header (ajson.hpp).

#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>

namespace ql {

// Thrown when binary tile bytes are truncated or corrupt: what() is
// "<file>: byte <offset>: <path>: <detail>", e.g. "hd/5815,1995: byte 1204: m_values[3].vctheEdge:
// vector count -3 is negative". The path names the member from the top record down; it is empty
// (and left out) when the top value itself failed, and the file is empty (and left out) until the
// tile store names the file the bytes came from.
class ArchiveError : public std::length_error {
 public:
  ArchiveError(std::size_t offset, std::string path, std::string detail, std::string file = std::string())
      : std::length_error(Message(file, offset, path, detail)),
        m_offset(offset),
        m_path(std::move(path)),
        m_detail(std::move(detail)),
        m_file(std::move(file)) {}

  std::size_t Offset() const noexcept { return m_offset; }  // where the failed value starts
  const std::string& Path() const noexcept { return m_path; }
  const std::string& Detail() const noexcept { return m_detail; }
  const std::string& File() const noexcept { return m_file; }

  // The same error seen from the enclosing value: outer is a field name or "[index]", joined as
  // "vctheEdge[3]" or with a dot between two names.
  ArchiveError Within(const std::string& outer) const {
    std::string path = outer;
    if (!m_path.empty()) {
      if (m_path.front() != '[') path += '.';
      path += m_path;
    }
    return ArchiveError(m_offset, std::move(path), m_detail, m_file);
  }
  // The same error naming the file the bytes were read from.
  ArchiveError InFile(std::string file) const { return ArchiveError(m_offset, m_path, m_detail, std::move(file)); }

 private:
  static std::string Message(const std::string& file, std::size_t offset, const std::string& path,
                             const std::string& detail) {
    std::string text = file.empty() ? std::string() : file + ": ";
    text += "byte " + std::to_string(offset) + ": ";
    if (!path.empty()) text += path + ": ";
    return text + detail;
  }

  std::size_t m_offset;
  std::string m_path;
  std::string m_detail;
  std::string m_file;
};

// Thrown when a file that exists and was read does not decrypt under the key (a wrong key, or a
// damaged or unencrypted file): "<path>: decryption failed (<n> bytes; wrong key or not an
// encrypted file)".
class DecryptError : public std::runtime_error {
 public:
  DecryptError(const std::string& path, std::size_t bytes)
      : std::runtime_error(path + ": decryption failed (" + std::to_string(bytes) +
                           " bytes; wrong key or not an encrypted file)"),
        m_path(path) {}
  const std::string& Path() const noexcept { return m_path; }

 private:
  std::string m_path;
};

// Refusals of a tile whose bytes decoded but whose content cannot be used: what() is
// "<file>: <detail>". While the tile is built the file is not known and the label is "tile <col>,<row>";
// the tile store puts the file's path in its place (InFile).
template <class Base>
class TileContentErrorOf : public Base {
 public:
  TileContentErrorOf(std::string file, std::string detail)
      : Base(file + ": " + detail), m_file(std::move(file)), m_detail(std::move(detail)) {}
  const std::string& File() const noexcept { return m_file; }
  const std::string& Detail() const noexcept { return m_detail; }
  TileContentErrorOf InFile(std::string file) const { return TileContentErrorOf(std::move(file), m_detail); }

 private:
  std::string m_file;
  std::string m_detail;
};

// A tile whose building would take more memory than its file's size allows (a bucket copied into
// too many cells, or content whose records outweigh their encoding): "<file>: bucket 3: ...". The
// tile is then not kept, like a tile whose bytes do not decode.
using TileTreeError = TileContentErrorOf<std::length_error>;

// A tile whose records hold a coordinate tuple that a query would read as a position but that
// lacks a longitude or a latitude: "<file>: link 1005: vcthlLane[1].vctvdGeoLink[4]: ...". A
// std::invalid_argument, as the query that met such a tuple raised before the tile was checked.
using TileGeometryError = TileContentErrorOf<std::invalid_argument>;

// A tile holding a list longer than its limit (LinkLimits.h): "<file>: link 1005: vcthlLane: 300 lanes,
// more than the 256 allowed". Refused like a tile that would outgrow its memory (the same type).
using TileLimitError = TileContentErrorOf<std::length_error>;

// An endpoint search or walk whose answer would hold more than sc_nMaxEndpointAnswerBytes
// (LinkLimits.h): "GetNextLaneEndpoints from link 2, lane 20001: an answer of 4194304 endpoints
// (520093696 bytes), more than the 134217728 bytes one call may hand out". Raised before anything
// is appended.
class EndpointAnswerError : public std::length_error {
 public:
  EndpointAnswerError(const std::string& call, std::size_t count, std::size_t bytes, std::size_t limit)
      : std::length_error(call + ": an answer of " + std::to_string(count) + " endpoints (" +
                          std::to_string(bytes) + " bytes), more than the " + std::to_string(limit) +
                          " bytes one call may hand out") {}
};

// The largest tile or configuration file the library reads: 1 GiB. A larger one is refused before
// any of it is read.
constexpr unsigned long long sc_nMaxFileBytes = 1ull << 30;

// Thrown for a tile or configuration file larger than sc_nMaxFileBytes: "<path>: <n> bytes, more
// than the 1073741824 (1 GiB) a tile or configuration file may have".
class FileTooLargeError : public std::length_error {
 public:
  FileTooLargeError(const std::string& path, unsigned long long bytes)
      : std::length_error(path + ": " + std::to_string(bytes) + " bytes, more than the " +
                          std::to_string(sc_nMaxFileBytes) + " (1 GiB) a tile or configuration file may have"),
        m_path(path) {}
  const std::string& Path() const noexcept { return m_path; }

 private:
  std::string m_path;
};

}  // namespace ql
