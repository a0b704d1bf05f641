// The reusable read buffer: files of every size read one after another into one buffer, each
// coming back exactly (a smaller file after a larger one must not show the larger one's tail),
// and growth keeping the bytes already held.

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <utility>

#include "FileBuffer.h"
#include "FileSys.h"
#include "RegularFile.h"
#include "TestFiles.h"

namespace {

// Bytes that differ from position to position, NUL bytes included.
std::string Pattern(std::size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed * 7 + i / 4093) & 0xff);
  return s;
}

TEST(FileBuffer, FilesOfEverySizeReadInTurnIntoOneBuffer) {
  const qltest::TempDir dir("filebuffer");
  struct Case {
    const char* name;
    std::size_t bytes;
  };
  // Small and huge-page sizes, growing, shrinking and growing past the buffer again.
  const Case cases[] = {
      {"Small", 5000},
      {"Empty", 0},
      {"OverTwoMiB", (std::size_t{5} << 20) + 17},
      {"SmallerAfterLarger", 3},
      {"WholeHugePages", std::size_t{4} << 20},
      {"LargerThanEver", (std::size_t{9} << 20) + 1},
  };
  ql::FileBuffer buffer;
  unsigned seed = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = Pattern(c.bytes, ++seed);
    const std::string path = (dir.path() / c.name).string();
    qltest::WriteFile(path, bytes);
    std::string unreadable = "x";
    ASSERT_TRUE(ql::FileSys::Read(path, buffer, false, unreadable));
    EXPECT_EQ(unreadable, "");
    ASSERT_EQ(buffer.size(), bytes.size());
    EXPECT_GE(buffer.capacity(), buffer.size());
    EXPECT_TRUE(std::string(buffer.data(), buffer.size()) == bytes);
  }
  // A failed read reports as the string form does and leaves no bytes.
  std::string unreadable;
  EXPECT_FALSE(ql::FileSys::Read((dir.path() / "missing").string(), buffer, false, unreadable));
  EXPECT_EQ(unreadable, "");
  EXPECT_FALSE(ql::FileSys::Read(dir.str(), buffer, false, unreadable));
  EXPECT_EQ(unreadable, "not a regular file");
  EXPECT_EQ(buffer.size(), 0u);
}

TEST(FileBuffer, EncryptedFilesDecryptIntoTheBuffer) {
  const qltest::TempDir dir("filebuffer");
  const std::string path = (dir.path() / "tile").string();
  const std::string bytes = Pattern(100003, 1);
  ql::FileSys::Save(path, bytes, true);
  ql::FileBuffer buffer;
  std::string unreadable;
  ASSERT_TRUE(ql::FileSys::Read(path, buffer, true, unreadable));
  EXPECT_TRUE(std::string(buffer.data(), buffer.size()) == bytes);
}

TEST(FileBuffer, GrowingKeepsTheBytesAndMovingHandsThemOver) {
  ql::FileBuffer buffer;
  EXPECT_NE(buffer.data(), nullptr);
  EXPECT_TRUE(buffer.empty());
  const std::string head = Pattern(70000, 3);
  buffer.Assign(head.data(), head.size());
  buffer.Resize(std::size_t{3} << 20);  // into a new, huge-page mapping
  EXPECT_TRUE(std::string(buffer.data(), head.size()) == head);
  buffer.Resize(10);
  EXPECT_EQ(std::string(buffer.data(), 10), head.substr(0, 10));

  ql::FileBuffer moved(std::move(buffer));
  EXPECT_EQ(std::string(moved.data(), moved.size()), head.substr(0, 10));
  EXPECT_EQ(buffer.size(), 0u);  // a moved-from buffer is empty
  EXPECT_EQ(buffer.capacity(), 0u);
  moved.Release();
  EXPECT_EQ(moved.size(), 0u);
  EXPECT_EQ(moved.capacity(), 0u);
}

}  // namespace
