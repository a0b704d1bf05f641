// ql_tilewriter LINKS.json OUTDIR [--depth N]
//
// Reads {"links": [ <HdLink>, ... ]} (the records' own JSON keys, read with the library's reader)
// and writes the project layout of TileWriter.h into OUTDIR. Exit status: 0 on success, 1 when the
// input cannot be read or the links cannot be written, 2 on a usage error; the reason goes to stderr.

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "HdTypes.h"
#include "TileWriter.h"
#include "ajson.hpp"

namespace qlw {
struct LinksFile {
  std::vector<ql::HdLink> links;
};
}  // namespace qlw

namespace ql {
QL_FIELDS(qlw::LinksFile, links);
}  // namespace ql

namespace {

constexpr int kDefaultDepth = 5;  // leaves of 0.02 / 32 degrees, about 70 m

int Usage(const std::string& why) {
  std::cerr << "ql_tilewriter: " << why << "\n"
            << "usage: ql_tilewriter LINKS.json OUTDIR [--depth N]   (N from 0 to 16, default " << kDefaultDepth
            << ")\n";
  return 2;
}

bool ParseDepth(const std::string& text, int& depth) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < 0 || v > 16) return false;
  depth = static_cast<int>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> positional;
  int depth = kDefaultDepth;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--depth") {
      if (i + 1 >= argc) return Usage("--depth needs a value");
      if (!ParseDepth(argv[++i], depth)) return Usage("bad depth '" + std::string(argv[i]) + "'");
    } else if (arg.rfind("--", 0) == 0) {
      return Usage("unknown option " + arg);
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) return Usage("expected LINKS.json and OUTDIR");
  const std::string& input = positional[0];
  const std::string& outDir = positional[1];

  std::ifstream in(input, std::ios::binary);
  if (!in) {
    std::cerr << "ql_tilewriter: cannot open " << input << "\n";
    return 1;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.find('{') == std::string::npos || text.find("\"links\"") == std::string::npos) {
    std::cerr << "ql_tilewriter: " << input << ": expected a JSON object with the key \"links\"\n";
    return 1;
  }

  qlw::LinksFile file;
  try {
    ajson::load_from_buff(file, text.c_str(), text.size());
  } catch (const std::exception& e) {
    std::cerr << "ql_tilewriter: " << input << ": " << e.what() << "\n";
    return 1;
  }

  try {
    const qlw::TileMap tiles = qlw::WriteProject(outDir, file.links, depth);
    std::cout << "ql_tilewriter: " << file.links.size() << " links in " << tiles.size() << " tiles written to "
              << outDir << " (depth " << depth << ")\n";
  } catch (const std::exception& e) {
    std::cerr << "ql_tilewriter: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
