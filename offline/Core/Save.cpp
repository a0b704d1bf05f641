#include "Save.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "FileSys.h"
#include "Tile.h"
#include "Utils.h"

namespace ql {

std::string Save::DirForEncoding(const std::string& json, const std::string& binary) {
  switch (MapConfig::serialize_type_json1_binary2) {
    case 1:
      return json;
    case 2:
      return binary;
    default:
      return std::string();
  }
}

std::string Save::SettingForEncoding(const std::string& group) {
  return DirForEncoding(group + ".save_dir_json", group + ".save_dir_binary");
}

template <>
std::string Save::GetSerializeDir<Tile<HdLinkId, HdLink, HdSerializeData>>() {
  return DirForEncoding(MapConfig::hdConfig::save_dir_json, MapConfig::hdConfig::save_dir_binary);
}

template <>
std::string Save::GetSerializeDirSetting<Tile<HdLinkId, HdLink, HdSerializeData>>() {
  return SettingForEncoding("hd_config");
}

std::string Save::TId2SaveName(const TileId& id) const { return TId2String(id); }

namespace {

template <class Bytes>
bool ReadTile(const std::string& path, Bytes& out) {
  std::string unreadable;
  if (FileSys::Read(path, out, MapConfig::tile_encrypt, unreadable)) return true;
  // A missing file is the common case (a box reaching past the map, a directory entry that names
  // no tile file) and stays quiet; a file that is there but cannot be read is most likely a
  // mistake worth a line.
  if (!unreadable.empty())
    std::fprintf(stderr, "tile file not readable: %s (%s)\n", path.c_str(), unreadable.c_str());
  return false;
}

}  // namespace

bool Save::ReadTileFile(const std::string& path, std::string& out) { return ReadTile(path, out); }
bool Save::ReadTileFile(const std::string& path, FileBuffer& out) { return ReadTile(path, out); }

std::vector<Point> Save::LoadGpses() const {
  std::vector<Point> points;
  const std::string path = MapConfig::gps_file_path;
  FileSys::ReadByLine(path, [&points, &path](std::istringstream& line, int number) {
    const std::string text = line.str();
    if (text.find_first_not_of(" \t\n\v\f\r") == std::string::npos) return;  // blank, such as a trailing line
    const std::vector<std::string> pieces = Utils::Split(text, ',');
    if (pieces.size() < 2) {
      throw std::invalid_argument("gps file " + path + ": line " + std::to_string(number) +
                                  ": expected longitude,latitude");
    }
    points.emplace_back(std::stod(pieces[0]), std::stod(pieces[1]), sc_dGpsListAltitude);
  });
  return points;
}

}  // namespace ql
