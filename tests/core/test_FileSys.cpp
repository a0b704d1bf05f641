// File and directory helpers on a scratch directory: reads with and without decryption, the
// failure a wrong key gives, directory listing, and removal that never involves a shell.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "Errors.h"
#include "FileSys.h"
#include "MapConfig.h"
#include "TestFiles.h"
#include "xxtea.h"

namespace {

class FileSysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ql_filesys_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    // A command here is fine: the path is ours and has no special characters.
    const std::string cmd = "rm -rf '" + dir_ + "'";
    if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << "cleanup failed";
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  static void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(f.good()) << path;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
  static bool IsDir(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  static bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
  }
  static std::string Encrypted(const std::string& plain, const char* key) {
    size_t n = 0;
    void* buf = xxtea_encrypt(plain.data(), plain.size(), key, &n);
    EXPECT_NE(buf, nullptr);
    std::string out(static_cast<const char*>(buf), n);
    std::free(buf);
    return out;
  }

  std::string dir_;
};

// Runs f with standard output captured; printf output is flushed first.
template <class F>
std::string Captured(F&& f) {
  std::fflush(stdout);
  ::testing::internal::CaptureStdout();
  f();
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

// ---- Read / Save -----------------------------------------------------------------------------

TEST_F(FileSysTest, ReadMissingPathLeavesOutAlone) {
  std::string out = "untouched";
  EXPECT_FALSE(ql::FileSys::Read(Path("missing"), out, false));
  EXPECT_FALSE(ql::FileSys::Read(Path("missing"), out, true));
  EXPECT_EQ(out, "untouched");
}

TEST_F(FileSysTest, ReadEmptyFileIsAnEmptySuccessEitherWay) {
  WriteFile(Path("empty"), "");
  for (bool decrypt : {false, true}) {
    SCOPED_TRACE(decrypt);
    std::string out = "old";
    EXPECT_TRUE(ql::FileSys::Read(Path("empty"), out, decrypt));
    EXPECT_EQ(out, "");
  }
}

TEST_F(FileSysTest, ReadPlainFileBinarySafe) {
  std::string bytes("\x00\x01\r\n\xff tile", 9);
  bytes += std::string(200000, 'z');  // larger than any one read chunk
  WriteFile(Path("plain"), bytes);
  std::string out;
  EXPECT_TRUE(ql::FileSys::Read(Path("plain"), out, false));
  EXPECT_EQ(out, bytes);
}

TEST_F(FileSysTest, ReadDirectoryIsAFailureNotAnEmptyFile) {
  std::string out = "old";
  EXPECT_FALSE(ql::FileSys::Read(dir_, out, false));
  EXPECT_EQ(out, "");
}

// Only regular files are read (links are followed). A FIFO without a writer would block an
// ordinary read, and /dev/zero never ends, so each read first runs in a child process that a
// timer ends; then the same read runs here for its details.
TEST_F(FileSysTest, ReadTakesOnlyRegularFilesOfAtMostOneGib) {
  WriteFile(Path("regular"), "bytes");
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", Path("zero").c_str()), 0);
  ASSERT_EQ(::symlink("regular", Path("link").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", Path("dangling").c_str()), 0);
  ASSERT_EQ(::mkdir(Path("dir").c_str(), 0700), 0);
  WriteFile(Path("huge"), "");
  ASSERT_EQ(::truncate(Path("huge").c_str(), (1ll << 30) + 1), 0);  // sparse: no disk is used

  struct Case {
    const char* name;
    const char* file;
    int result;  // 1 read, 0 not read, 2 raised
    const char* unreadable;
  };
  const Case cases[] = {
      {"Regular", "regular", 1, ""},
      {"LinkToRegular", "link", 1, ""},
      {"Fifo", "fifo", 0, "not a regular file"},
      {"LinkToDevZero", "zero", 0, "not a regular file"},
      {"Directory", "dir", 0, "not a regular file"},
      {"DanglingLinkIsMissing", "dangling", 0, ""},
      {"OverTheCap", "huge", 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto read = [&] {
      std::string out = "old";
      std::string unreadable = "x";
      try {
        const bool ok = ql::FileSys::Read(Path(c.file), out, false, unreadable);
        EXPECT_EQ(unreadable, c.unreadable);
        if (!ok && *c.unreadable != '\0') {
          EXPECT_EQ(out, "");
        }
        return ok ? 1 : 0;
      } catch (const ql::FileTooLargeError& e) {
        EXPECT_EQ(std::string(e.what()), Path(c.file) +
                                             ": 1073741825 bytes, more than the 1073741824 (1 GiB) a tile or "
                                             "configuration file may have");
        EXPECT_EQ(out, "old");
        return 2;
      }
    };
    ASSERT_EQ(qltest::ExitCodeWithin(10, read), c.result);
    EXPECT_EQ(read(), c.result);
  }
}

TEST_F(FileSysTest, PathsWithANulByteAreRefusedNamingTheArgument) {
  const std::string withNul = dir_ + std::string("/a\0b", 4);
  struct Case {
    const char* name;
    std::function<void()> call;
    const char* argument;
  };
  std::string out;
  std::vector<std::string> names;
  const Case cases[] = {
      {"Read", [&] { ql::FileSys::Read(withNul, out, false); }, "path"},
      {"Exist", [&] { ql::FileSys::Exist(withNul); }, "path"},
      {"GetAllFiles", [&] { ql::FileSys::GetAllFiles(withNul); }, "dir"},
      {"GetAllFilesReporting", [&] { ql::FileSys::GetAllFiles(withNul, names, out); }, "dir"},
      {"Save", [&] { ql::FileSys::Save(withNul, "x", false); }, "path"},
      {"MkDir", [&] { ql::FileSys::MkDir(withNul); }, "dir"},
      {"Remove", [&] { ql::FileSys::Remove(withNul); }, "path"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.call();
      ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), std::string(c.argument) + " holds a NUL byte at offset " +
                                           std::to_string(dir_.size() + 2) + ": " + dir_ + "/a");
    }
  }
  EXPECT_FALSE(Exists(dir_ + "/a"));  // nothing made under the name cut at the NUL
}

TEST_F(FileSysTest, SaveEncryptedThenReadDecryptedRoundTrips) {
  for (size_t len : {size_t{1}, size_t{4}, size_t{5}, size_t{68}, size_t{100003}}) {
    SCOPED_TRACE(len);
    std::string plain;
    for (size_t i = 0; i < len; ++i) plain += static_cast<char>(i * 7);
    ql::FileSys::Save(Path("enc"), plain, true);
    const std::string onDisk = ReadFile(Path("enc"));
    EXPECT_EQ(onDisk.size(), 4 * ((len + 3) / 4 + 1));
    EXPECT_EQ(onDisk, Encrypted(plain, "kvq1987!"));  // the library's one key
    std::string out;
    EXPECT_TRUE(ql::FileSys::Read(Path("enc"), out, true));
    EXPECT_EQ(out, plain);
  }
}

TEST_F(FileSysTest, SaveReplacesContentAndEmptyDataLeavesEmptyFile) {
  ql::FileSys::Save(Path("f"), "a much longer first content", false);
  ql::FileSys::Save(Path("f"), "short", false);
  EXPECT_EQ(ReadFile(Path("f")), "short");
  ql::FileSys::Save(Path("f"), "", true);
  EXPECT_TRUE(Exists(Path("f")));
  EXPECT_EQ(ReadFile(Path("f")), "");
}

TEST_F(FileSysTest, UndecryptableFileRaisesNamingThePath) {
  const std::string plain = "{\"m_keys\":[],\"m_values\":[]}";
  std::string corrupt = Encrypted(plain, "kvq1987!");
  corrupt[corrupt.size() - 1] ^= 0x40;
  const std::pair<const char*, std::string> cases[] = {
      {"WrongKey", Encrypted(plain, "another key")},
      {"Corrupt", corrupt},
      {"NotEncrypted", plain},
      {"OneWord", "abcd"},
      {"ShortTail", Encrypted(plain, "kvq1987!") + "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    const std::string path = Path(c.first);
    WriteFile(path, c.second);
    std::string out = "old";
    try {
      ql::FileSys::Read(path, out, true);
      ADD_FAILURE() << "no exception";
    } catch (const ql::DecryptError& e) {
      EXPECT_EQ(e.Path(), path);
      EXPECT_EQ(std::string(e.what()).find(path + ": decryption failed"), 0u) << e.what();
    }
    EXPECT_EQ(out, "");
    // The same bytes read without decryption are an ordinary success.
    EXPECT_TRUE(ql::FileSys::Read(path, out, false));
    EXPECT_EQ(out, c.second);
  }
}

TEST_F(FileSysTest, AppendSlowAddsToTheFileUnderTheProjectDirectory) {
  const std::string saved = ql::MapConfig::projectDir;
  ql::MapConfig::projectDir = dir_ + "/";
  ql::FileSys::AppendSlow("log.txt", "one\n");
  ql::FileSys::AppendSlow("log.txt", "two\n");
  ql::MapConfig::projectDir = saved;
  EXPECT_EQ(ReadFile(Path("log.txt")), "one\ntwo\n");
}

// ---- listing, lookup --------------------------------------------------------------------------

TEST_F(FileSysTest, GetAllFilesListsEveryEntryAndPrintsEach) {
  std::vector<std::string> names;
  std::string printed = Captured([&] { names = ql::FileSys::GetAllFiles(dir_); });
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", ".."}));
  EXPECT_NE(printed.find("d_name : .\n"), std::string::npos);
  EXPECT_NE(printed.find("d_name : ..\n"), std::string::npos);
  EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 2);

  WriteFile(Path("5815,1995"), "x");
  ::mkdir(Path("sub").c_str(), 0755);
  printed = Captured([&] { names = ql::FileSys::GetAllFiles(dir_); });
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "5815,1995", "sub"}));
  EXPECT_NE(printed.find("d_name : 5815,1995\n"), std::string::npos);

  printed = Captured([&] { names = ql::FileSys::GetAllFiles(Path("missing")); });
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(printed, "");
}

// The reporting form lists as the plain one does, and tells the directory that cannot be listed
// (by the system's reason) from the one that is empty; nothing is printed for the former.
TEST_F(FileSysTest, GetAllFilesReportsWhyADirectoryCannotBeListed) {
  WriteFile(Path("file"), "x");
  ::mkdir(Path("empty").c_str(), 0755);
  struct Case {
    const char* name;
    std::string dir;
    bool listed;
    const char* unlisted;
    std::vector<std::string> names;  // sorted
  };
  const Case cases[] = {
      {"Empty", Path("empty"), true, "", {".", ".."}},
      {"Missing", Path("missing"), false, "No such file or directory", {}},
      {"AFile", Path("file"), false, "Not a directory", {}},
      {"EmptyPath", "", false, "No such file or directory", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> names = {"left over"};
    std::string unlisted = "left over";
    bool listed = false;
    const std::string printed = Captured([&] { listed = ql::FileSys::GetAllFiles(c.dir, names, unlisted); });
    std::sort(names.begin(), names.end());
    EXPECT_EQ(listed, c.listed);
    EXPECT_EQ(unlisted, c.unlisted);
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), static_cast<long>(c.names.size())) << printed;
  }
}

TEST_F(FileSysTest, ExistAndChoosePath) {
  ::mkdir(Path("a").c_str(), 0755);
  ::mkdir(Path("b").c_str(), 0755);
  WriteFile(Path("b/tile"), "x");
  WriteFile(Path("atile"), "x");
  EXPECT_TRUE(ql::FileSys::Exist(Path("b/tile")));
  EXPECT_TRUE(ql::FileSys::Exist(Path("a")));
  EXPECT_FALSE(ql::FileSys::Exist(Path("a/tile")));
  ASSERT_EQ(::symlink(Path("nowhere").c_str(), Path("dangling").c_str()), 0);
  EXPECT_FALSE(ql::FileSys::Exist(Path("dangling")));  // stat follows the link

  EXPECT_EQ(ql::FileSys::ChoosePath({Path("a/"), Path("b/")}, "tile"), Path("b/tile"));
  EXPECT_EQ(ql::FileSys::ChoosePath({Path("b/"), Path("a/")}, "tile"), Path("b/tile"));
  // Without a trailing separator the names run together.
  EXPECT_EQ(ql::FileSys::ChoosePath({Path("a")}, "tile"), Path("atile"));
  EXPECT_EQ(ql::FileSys::ChoosePath({Path("a/")}, "tile"), "");
  EXPECT_EQ(ql::FileSys::ChoosePath({}, "tile"), "");
}

TEST(FileSysNames, FileNameEndWith) {
  struct Case {
    const char* name;
    const char* suffix;
    bool ends;
  };
  const Case cases[] = {
      {"5815,1995.json", ".json", true},
      {"5815,1995.json", ".JSON", false},
      {"a", "", true},
      {"", "", true},
      {"json", ".json", false},
      {".json", ".json", true},
      {"x.json.bak", ".json", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " / " + c.suffix);
    EXPECT_EQ(ql::FileSys::FileNameEndWith(c.name, c.suffix), c.ends);
  }
  const std::string same = "abc";
  EXPECT_TRUE(ql::FileSys::FileNameEndWith(same, same));
}

TEST_F(FileSysTest, ReadByLineNumbersLinesFromOne) {
  WriteFile(Path("gps"), "116.3 39.9\r\n116.4 40.0\n116.5 40.1");
  std::vector<std::pair<int, std::string>> seen;
  std::vector<double> lons;
  ql::FileSys::ReadByLine(Path("gps"), [&](std::istringstream& line, int n) {
    seen.emplace_back(n, line.str());
    double lon = 0;
    line >> lon;
    lons.push_back(lon);
  });
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], std::make_pair(1, std::string("116.3 39.9\r")));  // the CR stays
  EXPECT_EQ(seen[1], std::make_pair(2, std::string("116.4 40.0")));
  EXPECT_EQ(seen[2], std::make_pair(3, std::string("116.5 40.1")));  // no final line feed
  EXPECT_EQ(lons, (std::vector<double>{116.3, 116.4, 116.5}));

  WriteFile(Path("empty"), "");
  int calls = 0;
  ql::FileSys::ReadByLine(Path("empty"), [&](std::istringstream&, int) { ++calls; });
  ql::FileSys::ReadByLine(Path("missing"), [&](std::istringstream&, int) { ++calls; });
  EXPECT_EQ(calls, 0);
}

// ---- directories ------------------------------------------------------------------------------

// Names a shell would act on: if any reached one, the marker files would appear.
const char* const kHostileNames[] = {
    "with space", "semi;touch MARK1", "sub$(touch MARK2)", "tick`touch MARK3`", "quote'\"&& touch MARK4", "-rf",
};

TEST_F(FileSysTest, MkDirAndRemoveTakeNamesLiterally) {
  ASSERT_EQ(::chdir(dir_.c_str()), 0);  // a shell would create its markers here
  for (const char* name : kHostileNames) {
    SCOPED_TRACE(name);
    const std::string path = Path(name);
    ql::FileSys::MkDir(path);
    EXPECT_TRUE(IsDir(path));
    WriteFile(path + "/inside", "x");
    const std::string printed = Captured([&] { ql::FileSys::Remove(path); });
    EXPECT_EQ(printed, "");
    EXPECT_FALSE(Exists(path));
  }
  for (const char* mark : {"MARK1", "MARK2", "MARK3", "MARK4"}) {
    EXPECT_FALSE(Exists(Path(mark))) << mark;
    EXPECT_FALSE(Exists(std::string("/tmp/") + mark)) << mark;
  }
  ASSERT_EQ(::chdir("/"), 0);
}

TEST_F(FileSysTest, MkDirCreatesOneLevelOnly) {
  ql::FileSys::MkDir(Path("x/y"));
  EXPECT_FALSE(Exists(Path("x")));
  ql::FileSys::MkDir(Path("x"));
  ql::FileSys::MkDir(Path("x"));  // already there: nothing happens
  EXPECT_TRUE(IsDir(Path("x")));
}

TEST_F(FileSysTest, RemoveDeletesATreeButNotWhatLinksPointTo) {
  ::mkdir(Path("outside").c_str(), 0755);
  WriteFile(Path("outside/keep"), "precious");
  ::mkdir(Path("tree").c_str(), 0755);
  ::mkdir(Path("tree/a").c_str(), 0755);
  ::mkdir(Path("tree/a/b").c_str(), 0755);
  WriteFile(Path("tree/a/b/file"), "x");
  WriteFile(Path("tree/top"), "x");
  ASSERT_EQ(::symlink(Path("outside").c_str(), Path("tree/a/link").c_str()), 0);
  ASSERT_EQ(::symlink(Path("outside/keep").c_str(), Path("tree/filelink").c_str()), 0);

  const std::string printed = Captured([&] { ql::FileSys::Remove(Path("tree")); });
  EXPECT_EQ(printed, "");
  EXPECT_FALSE(Exists(Path("tree")));
  EXPECT_EQ(ReadFile(Path("outside/keep")), "precious");

  // A link given as the path is removed itself.
  ASSERT_EQ(::symlink(Path("outside").c_str(), Path("toplink").c_str()), 0);
  ql::FileSys::Remove(Path("toplink"));
  EXPECT_FALSE(Exists(Path("toplink")));
  EXPECT_EQ(ReadFile(Path("outside/keep")), "precious");

  // A single file, and a path that is not there (quietly nothing, like rm -rf).
  ql::FileSys::Remove(Path("outside/keep"));
  EXPECT_FALSE(Exists(Path("outside/keep")));
  EXPECT_EQ(Captured([&] { ql::FileSys::Remove(Path("missing")); }), "");
}

TEST_F(FileSysTest, RemoveRefusesDotPathsWithItsMessage) {
  ::mkdir(Path("d").c_str(), 0755);
  WriteFile(Path("d/f"), "x");
  for (const std::string& p : {Path("d/."), Path("d/.."), Path("d/./"), Path("d/..//")}) {
    SCOPED_TRACE(p);
    // No line feed: a following console line continues on the same line.
    EXPECT_EQ(Captured([&] { ql::FileSys::Remove(p); }), "Error creating directory!n");
  }
  EXPECT_TRUE(Exists(Path("d/f")));
}

TEST_F(FileSysTest, CleanDirRemovesFilesAndEmptyDirectoriesOnly) {
  WriteFile(Path("t1"), "x");
  WriteFile(Path("t 2;x"), "x");
  ::mkdir(Path("empty").c_str(), 0755);
  ::mkdir(Path("full").c_str(), 0755);
  WriteFile(Path("full/f"), "x");
  ql::FileSys::CleanDir(dir_);
  EXPECT_FALSE(Exists(Path("t1")));
  EXPECT_FALSE(Exists(Path("t 2;x")));
  EXPECT_FALSE(Exists(Path("empty")));
  EXPECT_TRUE(Exists(Path("full/f")));     // not descended into
  ql::FileSys::CleanDir(Path("missing"));  // nothing happens
}

TEST_F(FileSysTest, CleanDirHandlesPathsLongerThanAKilobyte) {
  std::string deep = dir_;
  for (int i = 0; i < 5; ++i) {
    deep += "/" + std::string(240, static_cast<char>('a' + i));
    ASSERT_EQ(::mkdir(deep.c_str(), 0755), 0);
  }
  const std::string name(200, 'n');
  WriteFile(deep + "/" + name, "x");
  WriteFile(deep + "/" + name.substr(0, 10), "x");
  ASSERT_GT(deep.size() + 1 + name.size(), 1024u);
  ql::FileSys::CleanDir(deep);
  EXPECT_FALSE(Exists(deep + "/" + name));
  EXPECT_FALSE(Exists(deep + "/" + name.substr(0, 10)));
  EXPECT_TRUE(IsDir(deep));
}

}  // namespace
