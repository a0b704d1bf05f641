#pragma once  // TileWriter.h: writes HD and SD tiles and whole projects for tests, benchmarks and the sample map

// The library only reads tiles; this writer produces what it reads:
//
//   std::vector<ql::HdLink> links = ...;                  // ids and geometry in degrees
//   qlw::TileMap tiles = qlw::WriteProject(dir, links, 5);  // quadtree depth 5
//   // then: InitMap(dir + "/", "config_binary.json")  (or config_json.json, config_encrypted.json)
//
// Layout of a written project (directories in the configuration files are relative to <dir>/):
//   <dir>/hd/json/<col>,<row>        JSON tiles         <dir>/config_json.json       (serialize type 1)
//   <dir>/hd/binary/<col>,<row>      binary tiles       <dir>/config_binary.json     (serialize type 2)
//   <dir>/hd/encrypted/<col>,<row>   XXTEA binary tiles <dir>/config_encrypted.json  (type 2, tile_encrypt)
//
// All three encodings hold the same values: the JSON text is written first, read back with the
// library's JSON reader (which builds numbers digit by digit and may land a few ulps off), and the
// binary tiles are encoded from the records as read back. The writer picks the decimal text of each
// double so that the reader gets the value back exactly wherever it can, so the read-back values
// are nearly always the in-memory ones; the returned tiles are the read-back ones, for comparisons.
//
// Errors (bad depth, duplicate link ids, a link without a placeable vertex, text that JSON cannot
// carry, files that cannot be written) throw std::invalid_argument or std::runtime_error.

#include <cstdint>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "FieldList.h"
#include "HdTypes.h"
#include "SdTypes.h"

namespace qlw {

// ---- encodings of any record with a field list ---------------------------------------------

// The binary encoding: fields in field-list order; bool 1 byte, int 4 bytes, long and unsigned long
// 8, double 8 (IEEE), all little-endian; a string or vector is an int32 count and its elements.
template <class T>
std::string EncodeBinary(const T& rec);

// The JSON encoding: an object with the field names as keys, in field-list order; numbers in
// decimal (non-finite doubles as the quoted words "nan", "inf", "-inf", which the reader converts
// back); strings escaped. A string holding a NUL byte cannot be carried (std::invalid_argument).
template <class T>
std::string EncodeJson(const T& rec);

// ---- tiles ------------------------------------------------------------------------------------

using TileMap = std::map<ql::TileId, ql::HdSerializeData>;

// File name of a tile: "<col>,<row>" in decimal.
std::string TileFileName(const ql::TileId& id);

// The degree rectangle of a 0.02-degree tile as ql::P2TId names it. Coordinates truncate toward
// zero, so column 0 spans (-0.02, 0.02) and a negative column c spans ((c - 1) * 0.02, c * 0.02].
ql::Rect2D TileRect(const ql::TileId& id);

// Builds one tile content per tile that any vertex of a link falls in (ql::P2TId), over every
// coordinate tuple of the link: its line, junctions, road edges, lane edges and markings, lanes,
// lane objects and ADAS samples, crossing areas and road objects (tuples with fewer than two
// values or a non-finite longitude or latitude are not placed).
// - Each link's liId.vcttiTileIds becomes the sorted list of its tiles; a predecessor or successor
//   id with an empty tile list gets the tiles of the input link of that lValue, if there is one.
// - Per tile: m_keys/m_values in input order, r = TileRect widened to hold every indexed vertex,
//   and one bucket per quadtree leaf (path code at `depth`) listing (link id, vertex) for each
//   distinct vertex of a link in that leaf. A vertex within 1e-9 degrees of a cell edge is also
//   indexed in the neighbouring cell, so a rectangle query that holds the vertex finds the link.
// Throws std::invalid_argument for a depth outside 0..16, two links with one lValue, or a link
// with no placeable vertex.
TileMap BuildTiles(const std::vector<ql::HdLink>& links, int depth);

// Text of a configuration file: tile intervals 0.02, qt_max_level = depth, the HD tile directories
// (relative to the project path, each ending in '/'), serialize type (1 JSON, 2 binary) and
// tile_encrypt. WriteTiles writes ConfigJson(1, false, "hd/json/", "hd/binary/", depth) and the like.
// With SD directories given (either non-empty) the text also holds sd_config with them, after
// hd_config; without them it has no sd_config key.
std::string ConfigJson(int serializeType, bool encrypt, const std::string& jsonDir, const std::string& binaryDir,
                       int depth, const std::string& sdJsonDir = std::string(),
                       const std::string& sdBinaryDir = std::string());

// Writes the project layout above for the given tiles (the three tile directories are emptied
// first) and returns the tiles as the library's JSON reader reads them back.
TileMap WriteTiles(const std::string& dir, const TileMap& tiles, int depth);

// BuildTiles, then WriteTiles.
TileMap WriteProject(const std::string& dir, const std::vector<ql::HdLink>& links, int depth);

// ---- SD tiles ---------------------------------------------------------------------------------
//
// The SD map of a project lies beside the HD one, in the same three encodings:
//   <dir>/sd/json/<col>,<row>   <dir>/sd/binary/<col>,<row>   <dir>/sd/encrypted/<col>,<row>
// WriteSdTiles rewrites the three configuration files so that they name the HD directories above
// and these in sd_config; a project with both maps is written with WriteTiles (or WriteProject)
// first, then WriteSdTiles (or WriteSdProject), with one depth.

using SdTileMap = std::map<ql::TileId, ql::SdSerializeData>;

// One tile content per tile that holds a node (ql::P2TId of the node's id_p point, the tile a
// lookup by that id loads). Per tile: m_keys (each node's id_p) and m_values in input order,
// r = TileRect widened to hold every node, and one bucket per quadtree leaf (path code at `depth`)
// listing (id_p, id_p's point) for the nodes in that leaf, in input order; a node within 1e-9
// degrees of a cell edge is also listed in the neighbouring cell, as HD vertices are.
// Throws std::invalid_argument for a depth outside 0..16, two nodes with one key (equal longitude
// and latitude: the tile would keep only the first), or a node without a finite longitude and latitude.
SdTileMap BuildSdTiles(const std::vector<ql::SdNode>& nodes, int depth);

// Writes the SD layout above for the given tiles (the three SD tile directories are emptied
// first) and the configuration files naming both maps, and returns the tiles as the library's
// JSON reader reads them back.
SdTileMap WriteSdTiles(const std::string& dir, const SdTileMap& tiles, int depth);

// BuildSdTiles, then WriteSdTiles.
SdTileMap WriteSdProject(const std::string& dir, const std::vector<ql::SdNode>& nodes, int depth);

// ---- implementation of the encoders -------------------------------------------------------------

namespace detail {

// The names of a field list ("a, b, c"), split once per record type.
std::vector<std::string> SplitFieldList(const char* list);
template <class T>
const std::vector<std::string>& FieldNames() {
  static const std::vector<std::string> names = SplitFieldList(ql::Fields<T>::kList);
  return names;
}

void AppendJsonString(std::string& out, const std::string& s);
void AppendJsonDouble(std::string& out, double v);
void AppendJsonInteger(std::string& out, long long v);
void AppendJsonUnsigned(std::string& out, unsigned long long v);
int32_t CheckedCount(std::size_t n);  // throws std::length_error above INT32_MAX

template <class U>
void PutLittleEndian(std::string& out, U v) {
  static_assert(std::is_unsigned<U>::value, "bytes of an unsigned value");
  for (std::size_t i = 0; i < sizeof(U); ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

template <class T>
struct IsVector : std::false_type {};
template <class E, class A>
struct IsVector<std::vector<E, A>> : std::true_type {};

template <class T>
void PutBinary(std::string& out, const T& v) {
  if constexpr (std::is_same<T, bool>::value) {
    out.push_back(v ? '\1' : '\0');
  } else if constexpr (std::is_same<T, int>::value) {
    PutLittleEndian(out, static_cast<uint32_t>(v));
  } else if constexpr (std::is_same<T, long>::value) {
    PutLittleEndian(out, static_cast<uint64_t>(v));
  } else if constexpr (std::is_same<T, unsigned long>::value) {
    PutLittleEndian(out, static_cast<uint64_t>(v));
  } else if constexpr (std::is_same<T, double>::value) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    PutLittleEndian(out, bits);
  } else if constexpr (std::is_same<T, std::string>::value) {
    PutLittleEndian(out, static_cast<uint32_t>(CheckedCount(v.size())));
    out += v;
  } else if constexpr (IsVector<T>::value) {
    PutLittleEndian(out, static_cast<uint32_t>(CheckedCount(v.size())));
    for (const auto& e : v) PutBinary(out, e);
  } else {
    static_assert(ql::HasFields<T>::value, "no binary encoding for this member type");
    ql::Fields<T>::Visit(v, [&out](const auto&... m) { (PutBinary(out, m), ...); });
  }
}

template <class T>
void PutJson(std::string& out, const T& v) {
  if constexpr (std::is_same<T, bool>::value) {
    out += v ? "true" : "false";
  } else if constexpr (std::is_same<T, int>::value || std::is_same<T, long>::value) {
    AppendJsonInteger(out, v);
  } else if constexpr (std::is_same<T, unsigned long>::value) {
    AppendJsonUnsigned(out, v);
  } else if constexpr (std::is_same<T, double>::value) {
    AppendJsonDouble(out, v);
  } else if constexpr (std::is_same<T, std::string>::value) {
    AppendJsonString(out, v);
  } else if constexpr (IsVector<T>::value) {
    out.push_back('[');
    bool first = true;
    for (const auto& e : v) {
      if (!first) out.push_back(',');
      first = false;
      PutJson(out, e);
    }
    out.push_back(']');
  } else {
    static_assert(ql::HasFields<T>::value, "no JSON encoding for this member type");
    const std::vector<std::string>& names = FieldNames<T>();
    std::size_t i = 0;
    out.push_back('{');
    ql::Fields<T>::Visit(v, [&](const auto&... m) {
      auto one = [&](const auto& member) {
        if (i != 0) out.push_back(',');
        AppendJsonString(out, names.at(i++));
        out.push_back(':');
        PutJson(out, member);
      };
      (one(m), ...);
    });
    out.push_back('}');
  }
}

}  // namespace detail

template <class T>
std::string EncodeBinary(const T& rec) {
  std::string out;
  detail::PutBinary(out, rec);
  return out;
}

template <class T>
std::string EncodeJson(const T& rec) {
  std::string out;
  detail::PutJson(out, rec);
  return out;
}

}  // namespace qlw
