#pragma once  // Save.h: where tile files lie, how they are named and read, and the GPS list file

#include <string>
#include <vector>

#include "CoordSys.h"
#include "MapConfig.h"

namespace ql {

class FileBuffer;
template <class Id, class Node, class SerializeData>
class Tile;
struct HdLinkId;
struct HdLink;
struct HdSerializeData;

// Stateless: every answer comes from the configuration and the file system.
class Save {
 public:
  // The tile directory of TileT's map for the configured serialize type: save_dir_json
  // for 1, save_dir_binary for 2, empty otherwise (the directory names its own trailing
  // separator). Specialised per tile type.
  template <class TileT>
  static std::string GetSerializeDir();
  // The choice every map's GetSerializeDir makes between its two directories.
  static std::string DirForEncoding(const std::string& json, const std::string& binary);
  // The setting GetSerializeDir<TileT> reads, as the configuration file names it
  // ("hd_config.save_dir_binary"); empty for a serialize type that names no directory.
  template <class TileT>
  static std::string GetSerializeDirSetting();
  // The same choice as DirForEncoding, as the name of a setting of group ("hd_config").
  static std::string SettingForEncoding(const std::string& group);

  // "col,row" in decimal, a negative number with its sign, no extension.
  std::string TId2SaveName(const TileId& id) const;

  // GetSerializeDir<TileT>() followed by the file name.
  template <class TileT>
  std::string TilePath(const TileId& id) const {
    return GetSerializeDir<TileT>() + TId2SaveName(id);
  }

  // Reads the tile file, decrypted when tile_encrypt is set. False when the file is
  // missing or cannot be read (out untouched or empty); a file that is there but is not a
  // regular file or cannot be opened is named in one line on standard error,
  // "tile file not readable: <path> (<reason>)". A file that opens but does not decrypt
  // raises std::runtime_error naming the file: its content is not the empty tile it would
  // otherwise pass for. A file over 1 GiB raises FileTooLargeError naming it.
  template <class TileT>
  bool LoadTile(const TileId& id, std::string& out) const {
    return ReadTileFile(TilePath<TileT>(id), out);
  }
  // The same into a buffer kept from tile to tile (its bytes are unspecified when false).
  template <class TileT>
  bool LoadTile(const TileId& id, FileBuffer& out) const {
    return ReadTileFile(TilePath<TileT>(id), out);
  }

  // The positions of the GPS list file (gps_file_path): one per line, longitude and
  // latitude in degrees separated by a comma (blanks around them allowed, further
  // pieces ignored), each with altitude -1234.0. Blank lines are skipped; a line without
  // two pieces raises std::invalid_argument naming the file and line, a piece that is no
  // number raises what std::stod raises. A file that cannot be opened gives no positions.
  std::vector<Point> LoadGpses() const;

 private:
  static bool ReadTileFile(const std::string& path, std::string& out);
  static bool ReadTileFile(const std::string& path, FileBuffer& out);
};

template <>
std::string Save::GetSerializeDir<Tile<HdLinkId, HdLink, HdSerializeData>>();
template <>
std::string Save::GetSerializeDirSetting<Tile<HdLinkId, HdLink, HdSerializeData>>();

// The altitude that marks a position read from the GPS list file.
constexpr double sc_dGpsListAltitude = -1234.0;

}  // namespace ql
