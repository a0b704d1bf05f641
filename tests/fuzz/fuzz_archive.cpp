// Decodes arbitrary bytes as an HD tile in the binary encoding. Only ql::ArchiveError may escape
// the reader; a crash, a sanitizer report, another exception (std::bad_alloc among them: counts
// are bounded by the bytes present), a hang or an allocation past the fuzzer's limit is a finding.
//
// A decoded tile is checked against the input: every element of every vector takes at least one
// byte, so the decode cannot have produced more than the data describes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Archive.h"
#include "HdTypes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ql::InArchive ar{ql::ByteView(reinterpret_cast<const char*>(data), size)};
  ql::HdSerializeData tile;
  try {
    ar >> tile;
  } catch (const ql::ArchiveError& e) {
    if (e.Offset() > size) std::abort();  // an error names a byte of the input
    return 0;
  }
  if (ar.Offset() > size) std::abort();
  const size_t elements =
      tile.m_keys.size() + tile.m_values.size() + tile.states.size() + tile.nodes.size() + tile.ps.size();
  if (elements > size) std::abort();

  // The same bytes read through an owning archive (its own copy) decode alike up to the same offset.
  std::string copy(reinterpret_cast<const char*>(data), size);
  ql::InArchive owned(copy);
  copy.assign(size, '\x7f');  // the archive must not see this
  ql::HdSerializeData again;
  owned >> again;
  if (owned.Offset() != ar.Offset() || again.m_values.size() != tile.m_values.size()) std::abort();
  return 0;
}
