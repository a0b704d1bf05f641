#pragma once  // FileSys.h: file and directory helpers, with XXTEA-encrypted reads and writes

#include <sstream>
#include <string>
#include <vector>

#include "Errors.h"
#include "RegularFile.h"

namespace ql {

// Static helpers over paths; no instances. Nothing here passes a path to a shell, and a path
// holding a NUL byte is refused with std::invalid_argument naming the argument (CheckedPath).
class FileSys {
 public:
  // The XXTEA key of every encrypted file the library reads or writes: "kvq1987!".
  static std::string key;

  // Every entry name of dir in listing order, "." and ".." included, each also printed as
  // "d_name : <name>\n"; empty (and nothing printed) when dir cannot be opened.
  static std::vector<std::string> GetAllFiles(const std::string& dir);
  // The same listing into names (replaced), telling a directory that cannot be listed apart from
  // an empty one: false, with the system's reason in `unlisted` ("No such file or directory",
  // "Not a directory"), when opening dir fails or reading it fails part way (names then holds the
  // entries read before). True, `unlisted` empty, otherwise.
  static bool GetAllFiles(const std::string& dir, std::vector<std::string>& names, std::string& unlisted);

  // Reads the whole file into out (binary-safe), decrypted with `key` when decrypt is set. Only
  // a regular file is read, after following symbolic links (ReadRegularFile).
  // - Missing path: false, out untouched.
  // - Path that is not a regular file (a directory, FIFO or device) or cannot be opened or read
  //   (no permission): false, out emptied, and the reason in `unreadable` (the other form drops it).
  // - Empty file: true, out empty, with or without decrypt.
  // - A file larger than sc_nMaxFileBytes (1 GiB): throws FileTooLargeError naming the path,
  //   before reading it.
  // - decrypt and a non-empty file that does not decrypt: throws DecryptError naming the path
  //   (out emptied); a wrong key is never mistaken for an empty file.
  // - A path holding a NUL byte: throws std::invalid_argument (as every function here does).
  static bool Read(const std::string& path, std::string& out, bool decrypt);
  static bool Read(const std::string& path, std::string& out, bool decrypt, std::string& unreadable);
  // The same into a buffer kept from file to file: as above, except that out holds unspecified
  // bytes whenever the result is false.
  static bool Read(const std::string& path, FileBuffer& out, bool decrypt, std::string& unreadable);

  // Writes data, or its encryption under `key`, replacing the file (created when missing);
  // empty data leaves an empty file. A file that cannot be opened is silently not written.
  // Throws std::length_error for encrypt with 4 GiB of data or more, before touching the file.
  static void Save(const std::string& path, const std::string& data, bool encrypt);

  // Appends content to MapConfig::GetProjectDir() + path (no separator added), creating it.
  static void AppendSlow(const std::string& path, const std::string& content);

  // Removes every file and empty sub-directory directly inside dir; failures are ignored and
  // sub-directories are not descended into.
  static void CleanDir(const std::string& dir);

  // Creates the one directory dir (its parent must exist); failures are ignored.
  static void MkDir(const std::string& dir);

  // Removes path and, for a directory, everything below it, without following symbolic links
  // (a link is removed, not its target). A missing path is not an error. Prints
  // "Error creating directory!n" (no line feed) when anything could not be removed, and refuses
  // "/", "." and ".." (as paths ending in them) with the same message.
  static void Remove(const std::string& path);

  // Whether name ends with suffix (exact bytes; an empty suffix ends every name).
  static bool FileNameEndWith(const std::string& name, const std::string& suffix);

  // The first dir + name (plain concatenation: each dir ends with its separator) that exists,
  // else "".
  static std::string ChoosePath(const std::vector<std::string>& dirs, const std::string& name);

  // Whether stat succeeds on path (file, directory or any other entry).
  static bool Exist(const std::string& path);

  // Calls f(std::istringstream& line, int number) for each line of a text file, numbered from 1;
  // the line feed is removed, a carriage return kept, a last line without line feed delivered.
  // A file that cannot be read (missing, not a regular file) gives no call; one larger than
  // sc_nMaxFileBytes throws FileTooLargeError.
  template <class F>
  static void ReadByLine(const std::string& path, F&& f) {
    std::string text;
    if (!ReadRegularFile(path, text).Read()) return;
    std::istringstream in(text);
    int number = 0;
    std::string line;
    while (std::getline(in, line)) {
      ++number;
      std::istringstream stream(line);
      f(stream, number);
    }
  }
};

}  // namespace ql
