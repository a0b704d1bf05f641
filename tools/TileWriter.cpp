#include "TileWriter.h"

#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <tuple>
#include <utility>

#include "CoordSys.h"
#include "FileSys.h"
#include "ajson.hpp"
#include "xxtea.h"

namespace qlw {
namespace {

namespace fs = std::filesystem;

constexpr double kTileSize = 0.02;  // degrees, the fixed naming grid of ql::P2TId
// A vertex this close to a cell edge is indexed on both sides, so that the rounding of the
// store's closed overlap test at the edge cannot hide it.
constexpr double kEdgeMargin = 1e-9;  // degrees, about 0.1 mm
constexpr int kMaxDepth = 16;         // a path code holds 16 groups of 4 bits

// ---- decimal text that the library's JSON reader turns back into the same double ------------

// Mirrors the library reader's number conversion: integer digits in uint64, each fraction digit
// added as digit * weight with the weight multiplied by 0.1, and an exponent applied as repeated
// multiplications by 10.0 or 0.1. Only the forms the writer produces are handled.
double ReaderValue(const std::string& s) {
  std::size_t i = 0;
  const bool neg = !s.empty() && s[0] == '-';
  if (neg) ++i;
  uint64_t whole = 0;
  bool isNumber = false;  // saw '.' or an exponent
  double value = 0.0;
  double weight = 0.1;
  auto toDouble = [&] {
    return neg ? static_cast<double>(static_cast<int64_t>(whole)) : static_cast<double>(whole);
  };
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      const int d = c - '0';
      if (isNumber) {
        value = value + d * weight;
        weight = weight * 0.1;
      } else {
        whole = whole * 10 + static_cast<uint64_t>(d);
      }
    } else if (c == '.') {
      value = toDouble();
      weight = 0.1;
      isNumber = true;
    } else if (c == 'e') {
      if (!isNumber) value = toDouble();
      isNumber = true;
      const bool down = i + 1 < s.size() && s[i + 1] == '-';
      int n = 0;
      for (std::size_t k = i + (down ? 2 : 1); k < s.size(); ++k) n = n * 10 + (s[k] - '0');
      for (int k = 0; k < n; ++k) value = value * (down ? 0.1 : 10.0);
      break;
    } else {
      break;
    }
  }
  if (!isNumber) return neg ? -toDouble() : toDouble();
  return neg ? -value : value;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The text of digits * 10^exp10 (digits without leading zeros), as plain decimal where that stays
// short, else as d.ddd e<exp> with no '+' (which the reader does not take).
std::string DecimalText(bool neg, const std::string& digits, int exp10) {
  std::string out = neg ? "-" : "";
  const int len = static_cast<int>(digits.size());
  const int point = len + exp10;    // digits before the decimal point
  if (exp10 >= 0 && point <= 18) {  // the reader keeps the integer digits in 64 bits
    out += digits;
    out.append(static_cast<std::size_t>(exp10), '0');
  } else if (exp10 < 0 && point > 0) {
    out += digits.substr(0, static_cast<std::size_t>(point));
    out += '.';
    out += digits.substr(static_cast<std::size_t>(point));
  } else if (exp10 < 0 && point > -5) {
    out += "0.";
    out.append(static_cast<std::size_t>(-point), '0');
    out += digits;
  } else {
    out += digits.substr(0, 1);
    if (len > 1) out += '.' + digits.substr(1);
    out += 'e' + std::to_string(point - 1);
  }
  return out;
}

// The text of n units of 10^exp10, trailing zeros folded into the exponent (1.50 -> 1.5).
std::string UnitsText(bool neg, uint64_t n, int exp10) {
  std::string digits = std::to_string(n);
  while (digits.size() > 1 && digits.back() == '0') {
    digits.pop_back();
    ++exp10;
  }
  return DecimalText(neg, digits, exp10);
}

// Finds the text of a finite double that reads back to exactly the same bits: the shortest
// round-trip forms first; then, with 17 to 19 digits, the last digits corrected by the relative
// error of what the reader makes of them, and their neighbours. That finds one for practically
// every coordinate-sized value. Far from 1, where the reader applies the exponent one
// multiplication at a time, often none exists; the 17-digit form is then used, which reads back
// within about 2e-14 relative.
std::string ExactDoubleText(double v) {
  if (v == 0.0) return std::signbit(v) ? "-0" : "0";
  const bool neg = std::signbit(v);
  const double mag = std::fabs(v);
  std::string fallback;
  for (int precision = 15; precision <= 19; ++precision) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", precision - 1, mag);  // d.ddde[+-]xx
    const std::string sci(buf);
    const std::size_t e = sci.find('e');
    const std::string digits = sci.substr(0, 1) + sci.substr(2, e - 2);
    const int exp10 = std::atoi(sci.c_str() + e + 1) - (precision - 1);
    uint64_t n = std::strtoull(digits.c_str(), nullptr, 10);
    if (precision == 17) fallback = DecimalText(neg, digits, exp10);
    if (SameBits(ReaderValue(UnitsText(neg, n, exp10)), v)) return UnitsText(neg, n, exp10);
    if (precision < 17) continue;
    for (int round = 0; round < 4; ++round) {
      const double got = std::fabs(ReaderValue(UnitsText(neg, n, exp10)));
      if (!std::isfinite(got) || got == 0.0) break;
      const double units = (mag - got) / got * static_cast<double>(n);
      if (!(std::fabs(units) < 1e6)) break;
      const int64_t k = std::llround(units);
      if (k == 0 || (k < 0 && n <= static_cast<uint64_t>(-k))) break;
      n += static_cast<uint64_t>(k);
    }
    for (int step = 0; step <= 120; ++step) {
      const int64_t delta = (step % 2 == 0) ? step / 2 : -(step + 1) / 2;
      if (delta < 0 && n <= static_cast<uint64_t>(-delta)) continue;
      const std::string text = UnitsText(neg, n + static_cast<uint64_t>(delta), exp10);
      if (SameBits(ReaderValue(text), v)) return text;
    }
  }
  return fallback;
}

// ---- vertices of a link -----------------------------------------------------------------------

template <class T>
struct IsVec : std::false_type {};
template <class E>
struct IsVec<std::vector<E>> : std::true_type {};

// Calls fn(tuple) for every coordinate tuple inside rec, found through the field lists, so every
// geometry member of every nested record counts.
template <class T, class Fn>
void ForEachTuple(const T& rec, Fn& fn) {
  if constexpr (std::is_same<T, std::vector<double>>::value) {
    fn(rec);
  } else if constexpr (std::is_same<T, ql::HdLaneAdas>::value) {
    fn(std::vector<double>{rec.dLon, rec.dLat});
  } else if constexpr (IsVec<T>::value) {
    for (const auto& e : rec) ForEachTuple(e, fn);
  } else if constexpr (ql::HasFields<T>::value) {
    ql::Fields<T>::Visit(rec, [&fn](const auto&... m) { (ForEachTuple(m, fn), ...); });
  }
}

bool Placeable(const std::vector<double>& t) {
  return t.size() >= 2 && std::isfinite(t[0]) && std::isfinite(t[1]);
}

ql::Point TuplePoint(const std::vector<double>& t) { return ql::Point(t[0], t[1], t.size() > 2 ? t[2] : 0.0); }

// ---- quadtree buckets -----------------------------------------------------------------------------

bool NearCell(const ql::Rect2D& c, const ql::Point& p) {
  return c.lb.dLon - kEdgeMargin <= p.dLon && p.dLon <= c.rt.dLon + kEdgeMargin &&
         c.lb.dLat - kEdgeMargin <= p.dLat && p.dLat <= c.rt.dLat + kEdgeMargin;
}

// Path codes of the leaves at `depth` whose cell (widened by the margin) holds p. The quadrants
// come from ql::Rect2D itself, so the cells are bit for bit the store's.
void LeafCodes(const ql::Rect2D& cell, const ql::Point& p, int level, int depth, unsigned long code,
               std::set<unsigned long>& out) {
  if (level == depth) {
    out.insert(code);
    return;
  }
  const int shift = 4 * (depth - 1 - level);
  const std::pair<unsigned long, ql::Rect2D> quadrants[] = {
      {1, cell.getLb()}, {2, cell.getRt()}, {4, cell.getLt()}, {8, cell.getRb()}};
  for (const auto& q : quadrants) {
    if (NearCell(q.second, p)) LeafCodes(q.second, p, level + 1, depth, code | (q.first << shift), out);
  }
}

// The quadtree buckets of one tile: per leaf path code, the (id, point) pairs in the order added.
template <class Id>
struct Buckets {
  std::map<unsigned long, std::pair<std::vector<Id>, std::vector<ql::Point>>> byCode;

  // Indexes id at p in every leaf of the tile rectangle r whose cell (widened by the margin) holds p.
  void Add(const ql::Rect2D& r, int depth, const Id& id, const ql::Point& p) {
    std::set<unsigned long> codes;
    LeafCodes(r, p, 0, depth, 0, codes);
    for (const unsigned long code : codes) {
      byCode[code].first.push_back(id);
      byCode[code].second.push_back(p);
    }
  }
  // One bucket per leaf, by ascending path code.
  template <class Content>
  void MoveInto(Content& tile) {
    for (auto& [code, bucket] : byCode) {
      tile.states.push_back(code);
      tile.nodes.push_back(std::move(bucket.first));
      tile.ps.push_back(std::move(bucket.second));
    }
  }
};

struct PointLess {
  bool operator()(const ql::Point& a, const ql::Point& b) const {
    return std::tie(a.dLon, a.dLat, a.dAlt) < std::tie(b.dLon, b.dLat, b.dAlt);
  }
};

// The vertices of one link in one tile, distinct, in first-seen order.
struct LinkInTile {
  std::size_t link = 0;  // index into the input
  std::vector<ql::Point> points;
  std::set<ql::Point, PointLess> seen;
};

// The naming correction of ql::P2TId may put a point of a tile just outside its rectangle.
void WidenToHold(ql::Rect2D& r, const ql::Point& p) {
  r.lb.dLon = std::min(r.lb.dLon, p.dLon);
  r.lb.dLat = std::min(r.lb.dLat, p.dLat);
  r.rt.dLon = std::max(r.rt.dLon, p.dLon);
  r.rt.dLat = std::max(r.rt.dLat, p.dLat);
}

void CheckDepth(int depth) {
  if (depth < 0 || depth > kMaxDepth)
    throw std::invalid_argument("quadtree depth " + std::to_string(depth) + " is outside 0.." +
                                std::to_string(kMaxDepth));
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// The library's framing of an encrypted file: the whole XXTEA block, without the extra NUL of the
// returned buffer; empty data gives an empty file.
std::string Encrypt(const std::string& plain) {
  if (plain.empty()) return std::string();
  std::size_t n = 0;
  void* buf = xxtea_encrypt(plain.data(), plain.size(), ql::FileSys::key.c_str(), &n);
  if (buf == nullptr) throw std::runtime_error("xxtea_encrypt failed");
  std::string out(static_cast<const char*>(buf), n);
  std::free(buf);
  return out;
}

// Writes <mapDir>/{json,binary,encrypted}/ (each emptied first) for the given tile contents and
// returns them as read back from their JSON text: the JSON file is written from the tiles, the
// binary one from what the reader made of the JSON, the encrypted one from the binary bytes.
template <class Content>
std::map<ql::TileId, Content> WriteEncodings(const fs::path& mapDir, const std::map<ql::TileId, Content>& tiles) {
  const fs::path jsonDir = mapDir / "json";
  const fs::path binaryDir = mapDir / "binary";
  const fs::path encryptedDir = mapDir / "encrypted";
  for (const fs::path& d : {jsonDir, binaryDir, encryptedDir}) {
    std::error_code ec;
    fs::remove_all(d, ec);  // tiles left from an earlier write would be loaded too
    fs::create_directories(d, ec);
    if (ec) throw std::runtime_error("cannot create " + d.string() + ": " + ec.message());
  }

  std::map<ql::TileId, Content> readBack;
  for (const auto& [id, tile] : tiles) {
    const std::string name = TileFileName(id);
    const std::string json = EncodeJson(tile);
    WriteFile(jsonDir / name, json);
    Content& back = readBack[id];
    ajson::load_from_buff(back, json.c_str(), static_cast<std::size_t>(-1));
    const std::string binary = EncodeBinary(back);
    WriteFile(binaryDir / name, binary);
    WriteFile(encryptedDir / name, Encrypt(binary));
  }
  return readBack;
}

}  // namespace

// ---- encoders ----------------------------------------------------------------------------------------

namespace detail {

std::vector<std::string> SplitFieldList(const char* list) {
  std::vector<std::string> names;
  std::string cur;
  for (const char* p = list;; ++p) {
    if (*p == ',' || *p == '\0') {
      if (!cur.empty()) names.push_back(cur);
      cur.clear();
      if (*p == '\0') break;
    } else if (*p != ' ' && *p != '\t' && *p != '\n' && *p != '\r') {
      cur.push_back(*p);
    }
  }
  return names;
}

void AppendJsonString(std::string& out, const std::string& s) {
  out.push_back('"');
  for (const char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case 0:
        // The reader refuses \u0000 and a raw NUL ends the text.
        throw std::invalid_argument("a string with a NUL byte cannot be written as JSON");
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out.push_back(ch);  // bytes above 0x7F pass unchanged, as the reader copies them
        }
    }
  }
  out.push_back('"');
}

void AppendJsonDouble(std::string& out, double v) {
  if (std::isnan(v)) {
    out += "\"nan\"";  // the reader converts a quoted word with strtold
  } else if (std::isinf(v)) {
    out += v > 0 ? "\"inf\"" : "\"-inf\"";
  } else {
    out += ExactDoubleText(v);
  }
}

void AppendJsonInteger(std::string& out, long long v) { out += std::to_string(v); }

void AppendJsonUnsigned(std::string& out, unsigned long long v) { out += std::to_string(v); }

int32_t CheckedCount(std::size_t n) {
  if (n > static_cast<std::size_t>(INT32_MAX))
    throw std::length_error("a count of " + std::to_string(n) + " does not fit the int32 of the encoding");
  return static_cast<int32_t>(n);
}

}  // namespace detail

// ---- tiles ----------------------------------------------------------------------------------------------

std::string TileFileName(const ql::TileId& id) { return ql::TId2String(id); }

ql::Rect2D TileRect(const ql::TileId& id) {
  // Naming truncates toward zero: index 0 is two cells wide, negative indices reach downwards.
  auto span = [](int i) {
    if (i > 0) return std::make_pair(i * kTileSize, (i + 1.0) * kTileSize);
    if (i < 0) return std::make_pair((i - 1.0) * kTileSize, i * kTileSize);
    return std::make_pair(-kTileSize, kTileSize);
  };
  const auto lon = span(id.nLonId);
  const auto lat = span(id.nLatId);
  return ql::Rect2D(ql::Point(lon.first, lat.first, 0.0), ql::Point(lon.second, lat.second, 0.0));
}

TileMap BuildTiles(const std::vector<ql::HdLink>& input, int depth) {
  CheckDepth(depth);
  std::vector<ql::HdLink> links = input;

  // Tiles of every link, and the placed vertices of each link in each tile.
  std::map<long, std::size_t> byId;
  std::map<ql::TileId, std::vector<LinkInTile>> perTile;
  for (std::size_t i = 0; i < links.size(); ++i) {
    const long id = links[i].liId.lValue;
    if (!byId.emplace(id, i).second) throw std::invalid_argument("two links with id " + std::to_string(id));
    std::set<ql::TileId> tiles;
    auto place = [&](const std::vector<double>& t) {
      if (!Placeable(t)) return;
      const ql::Point p = TuplePoint(t);
      const ql::TileId tile = ql::P2TId(p);
      std::vector<LinkInTile>& entries = perTile[tile];
      if (!tiles.count(tile)) {
        tiles.insert(tile);
        entries.push_back(LinkInTile{i, {}, {}});
      }
      LinkInTile& entry = entries.back();  // this link's entry: links are placed one at a time
      if (entry.seen.insert(p).second) entry.points.push_back(p);
    };
    ForEachTuple(links[i], place);
    if (tiles.empty())
      throw std::invalid_argument("link " + std::to_string(id) +
                                  " has no vertex with a finite longitude and latitude");
    links[i].liId.vcttiTileIds.assign(tiles.begin(), tiles.end());
  }

  // Predecessor and successor ids name the tiles of the links they refer to.
  for (ql::HdLink& link : links) {
    for (auto* ids : {&link.vctliPreLinkId, &link.vctliNxtLinkId}) {
      for (ql::HdLinkId& ref : *ids) {
        const auto found = byId.find(ref.lValue);
        if (ref.vcttiTileIds.empty() && found != byId.end())
          ref.vcttiTileIds = links[found->second].liId.vcttiTileIds;
      }
    }
  }

  TileMap out;
  for (const auto& [tileId, entries] : perTile) {
    ql::HdSerializeData& tile = out[tileId];
    tile.r = TileRect(tileId);
    for (const LinkInTile& e : entries) {
      tile.m_keys.push_back(links[e.link].liId);
      tile.m_values.push_back(links[e.link]);
      for (const ql::Point& p : e.points) WidenToHold(tile.r, p);
    }
    Buckets<ql::HdLinkId> buckets;
    for (const LinkInTile& e : entries) {
      for (const ql::Point& p : e.points) buckets.Add(tile.r, depth, links[e.link].liId, p);
    }
    buckets.MoveInto(tile);
  }
  return out;
}

std::string ConfigJson(int serializeType, bool encrypt, const std::string& jsonDir, const std::string& binaryDir,
                       int depth, const std::string& sdJsonDir, const std::string& sdBinaryDir) {
  CheckDepth(depth);
  std::string text = "{\n";
  text += "  \"tile_lon_interval\": 0.02,\n";
  text += "  \"tile_lat_interval\": 0.02,\n";
  text += "  \"qt_max_level\": " + std::to_string(depth) + ",\n";
  auto directories = [&text](const char* key, const std::string& json, const std::string& binary) {
    text += std::string("  \"") + key + "\": {\n    \"save_dir_json\": ";
    detail::AppendJsonString(text, json);
    text += ",\n    \"save_dir_binary\": ";
    detail::AppendJsonString(text, binary);
    text += "\n  },\n";
  };
  directories("hd_config", jsonDir, binaryDir);
  if (!sdJsonDir.empty() || !sdBinaryDir.empty()) directories("sd_config", sdJsonDir, sdBinaryDir);
  text += "  \"serialize_type_json1_binary2\": " + std::to_string(serializeType) + ",\n";
  text += std::string("  \"tile_encrypt\": ") + (encrypt ? "true" : "false") + "\n";
  text += "}\n";
  return text;
}

TileMap WriteTiles(const std::string& dir, const TileMap& tiles, int depth) {
  CheckDepth(depth);
  const fs::path root(dir);
  TileMap readBack = WriteEncodings(root / "hd", tiles);
  WriteFile(root / "config_json.json", ConfigJson(1, false, "hd/json/", "hd/binary/", depth));
  WriteFile(root / "config_binary.json", ConfigJson(2, false, "hd/json/", "hd/binary/", depth));
  WriteFile(root / "config_encrypted.json", ConfigJson(2, true, "hd/json/", "hd/encrypted/", depth));
  return readBack;
}

TileMap WriteProject(const std::string& dir, const std::vector<ql::HdLink>& links, int depth) {
  return WriteTiles(dir, BuildTiles(links, depth), depth);
}

// ---- SD tiles ----------------------------------------------------------------------------------------------

SdTileMap BuildSdTiles(const std::vector<ql::SdNode>& nodes, int depth) {
  CheckDepth(depth);
  std::set<ql::SdNodeId> keys;
  std::map<ql::TileId, std::vector<std::size_t>> perTile;  // indices into the input, in input order
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const ql::Point& p = nodes[i].id_p.p;
    if (!std::isfinite(p.dLon) || !std::isfinite(p.dLat))
      throw std::invalid_argument("SD node " + std::to_string(i) + " has no finite longitude and latitude");
    if (!keys.insert(nodes[i].id_p).second) {
      throw std::invalid_argument("two SD nodes with the key " + std::to_string(p.dLon) + "," +
                                  std::to_string(p.dLat));
    }
    perTile[ql::P2TId(p)].push_back(i);
  }

  SdTileMap out;
  for (const auto& [tileId, members] : perTile) {
    ql::SdSerializeData& tile = out[tileId];
    tile.r = TileRect(tileId);
    for (const std::size_t i : members) {
      const ql::Point& p = nodes[i].id_p.p;
      tile.m_keys.push_back(nodes[i].id_p);
      tile.m_values.push_back(nodes[i]);
      WidenToHold(tile.r, p);
    }
    Buckets<ql::SdNodeId> buckets;
    for (const std::size_t i : members) buckets.Add(tile.r, depth, nodes[i].id_p, nodes[i].id_p.p);
    buckets.MoveInto(tile);
  }
  return out;
}

SdTileMap WriteSdTiles(const std::string& dir, const SdTileMap& tiles, int depth) {
  CheckDepth(depth);
  const fs::path root(dir);
  SdTileMap readBack = WriteEncodings(root / "sd", tiles);
  WriteFile(root / "config_json.json",
            ConfigJson(1, false, "hd/json/", "hd/binary/", depth, "sd/json/", "sd/binary/"));
  WriteFile(root / "config_binary.json",
            ConfigJson(2, false, "hd/json/", "hd/binary/", depth, "sd/json/", "sd/binary/"));
  WriteFile(root / "config_encrypted.json",
            ConfigJson(2, true, "hd/json/", "hd/encrypted/", depth, "sd/json/", "sd/encrypted/"));
  return readBack;
}

SdTileMap WriteSdProject(const std::string& dir, const std::vector<ql::SdNode>& nodes, int depth) {
  return WriteSdTiles(dir, BuildSdTiles(nodes, depth), depth);
}

}  // namespace qlw
