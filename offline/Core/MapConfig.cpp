#include "MapConfig.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>
#include <tuple>

#include "Console.h"
#include "RegularFile.h"
#include "ajson.hpp"

namespace ql {

std::string MapConfig::sdConfig::save_dir_json;
std::string MapConfig::sdConfig::save_dir_binary;
std::string MapConfig::hdConfig::save_dir_json;
std::string MapConfig::hdConfig::save_dir_binary;

std::string MapConfig::map_file_dir;
std::string MapConfig::map_use_type;
std::string MapConfig::tag;
double MapConfig::tile_lon_interval = 0;
double MapConfig::tile_lat_interval = 0;
double MapConfig::node_interpolate = 0;
double MapConfig::gps_rect_lon_metres_half = 0;
double MapConfig::gps_rect_lat_metres_half = 0;
double MapConfig::route_rect_lon = 0;
double MapConfig::route_rect_lat = 0;
int MapConfig::qt_max_level = 0;
int MapConfig::algorithm_path_len = 0;
int MapConfig::algorithm_condidate_max = 0;
float MapConfig::algorithm_change_road_punish_div = 0;
double MapConfig::algorithm_change_direction_punish_range_max = 0;
MapConfig::sdConfig MapConfig::sd_config;
MapConfig::hdConfig MapConfig::hd_config;
std::string MapConfig::gps_file_path;
int MapConfig::profiler_interval = 0;
std::string MapConfig::logDir;
int MapConfig::serialize_type_json1_binary2 = 1;
bool MapConfig::tile_encrypt = false;
std::string MapConfig::road_plan_file_dir;
std::string MapConfig::sdid2hdid_path;
std::string MapConfig::map_road_filer_logic;

std::string MapConfig::projectDir;

std::string MapConfig::GetProjectDir() { return projectDir; }

namespace {

// Calls fn with every setting, the four tile directories of the two groups and projectDir.
template <class Fn>
decltype(auto) VisitAll(Fn&& fn) {
  MapConfig config;  // its members are the static settings
  return Fields<MapConfig>::Visit(config, [&fn](auto&... settings) -> decltype(auto) {
    return fn(settings..., MapConfig::sdConfig::save_dir_json, MapConfig::sdConfig::save_dir_binary,
              MapConfig::hdConfig::save_dir_json, MapConfig::hdConfig::save_dir_binary, MapConfig::projectDir);
  });
}

constexpr auto kCopyAll = [](const auto&... values) { return std::make_tuple(values...); };

// A value as the file writes it: the text of its token (a string without its quotes).
struct WrittenValue {
  std::string text;
};
// The settings whose values are judged as the file writes them.
struct WrittenSettings {
  WrittenValue qt_max_level;
  WrittenValue tile_lon_interval;
  WrittenValue tile_lat_interval;
};

}  // namespace

QL_FIELDS(WrittenSettings, qt_max_level, tile_lon_interval, tile_lat_interval);

}  // namespace ql

template <>
struct ajson::json_impl_in<ql::WrittenValue> {
  static void read(reader& rd, ql::WrittenValue& v) {
    const token& tok = rd.peek();
    if (tok.type_ == token::t_ctrl) {  // an array or object, which the settings' own read refused
      skip(rd);
      return;
    }
    v.text.assign(tok.str_.str, tok.str_.len);
    rd.next();
  }
};

namespace ql {

struct MapConfig::Snapshot::Values {
  decltype(VisitAll(kCopyAll)) saved;
};

MapConfig::Snapshot::Snapshot() : m_values(new Values{VisitAll(kCopyAll)}) {}
MapConfig::Snapshot::~Snapshot() = default;

void MapConfig::Snapshot::Restore() const {
  VisitAll([this](auto&... settings) {
    std::apply([&settings...](const auto&... saved) { ((settings = saved), ...); }, m_values->saved);
  });
}

namespace {

// The depth must name one of the 16 groups of a path code. The value is also judged as written,
// so that a number the int conversion wraps into range (4294967301 reads as 5) is refused too.
void CheckDepth(const std::string& path, const WrittenValue& written) {
  const std::string& text = written.text;
  bool inRange = MapConfig::qt_max_level >= 0 && MapConfig::qt_max_level <= sc_nQtMaxDepth;
  if (inRange && !text.empty()) {
    char* end = nullptr;
    const long double v = std::strtold(text.c_str(), &end);
    if (end == text.c_str() + text.size())
      inRange = v > -1.0L && v < sc_nQtMaxDepth + 1.0L;  // truncates into 0..16
  }
  if (!inRange) {
    throw std::invalid_argument("configuration file " + path + ": qt_max_level " +
                                (text.empty() ? std::to_string(MapConfig::qt_max_level) : text) +
                                " is outside 0.." + std::to_string(sc_nQtMaxDepth));
  }
}

// The shortest text that reads back as v ("nan", "-inf", "-0.02").
std::string ShortestText(double v) {
  char buf[32];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// A grid interval names a grid: a finite width of 0 degrees or more (0: no tiles are stepped
// over, so no box finds any). NaN, an infinity (a huge exponent reads as one, and the words NaN
// and inf read as those values) and a negative width name none; the grid would then find no tile
// for any request without saying why.
void CheckInterval(const std::string& path, const char* key, double value, const WrittenValue& written) {
  if (std::isfinite(value) && value >= 0) return;
  throw std::invalid_argument("configuration file " + path + ": " + key + " " +
                              (written.text.empty() ? ShortestText(value) : written.text) +
                              " is not a grid interval (a finite number of degrees, 0 or more)");
}

void CheckWrittenSettings(const std::string& path, const std::string& content) {
  WrittenSettings written;
  ajson::load_from_buff(written, content.c_str(), static_cast<std::size_t>(-1));
  CheckDepth(path, written.qt_max_level);
  CheckInterval(path, "tile_lon_interval", MapConfig::tile_lon_interval, written.tile_lon_interval);
  CheckInterval(path, "tile_lat_interval", MapConfig::tile_lat_interval, written.tile_lat_interval);
}

}  // namespace

void MapConfig::Init(const std::string& projectPath, const std::string& configPath) {
  CheckedPath(projectPath, "projectPath");
  CheckedPath(configPath, "configPath");
  const std::string path = projectPath + configPath;  // no separator: the caller supplies it
  std::string content;
  const FileReadResult read = ReadRegularFile(path, content);
  if (!read.Read()) {
    const std::string reason = read.Reason();
    throw std::runtime_error("cannot open configuration file " + path +
                             (reason.empty() ? "" : " (" + reason + ")"));
  }

  const Snapshot before;
  try {
    // Paths start empty on every run, so a run after an earlier one does not put the project
    // path in front of an already prefixed value.
    std::string* const paths[] = {&map_file_dir,
                                  &sdConfig::save_dir_json,
                                  &sdConfig::save_dir_binary,
                                  &hdConfig::save_dir_json,
                                  &hdConfig::save_dir_binary,
                                  &gps_file_path,
                                  &sdid2hdid_path};
    for (std::string* p : paths) p->clear();

    BeforeConsoleOutput();
    std::cout.write(content.data(), static_cast<std::streamsize>(content.size()));
    std::cout.flush();

    MapConfig settings;
    ajson::load_from_buff(settings, content.c_str(), static_cast<std::size_t>(-1));  // ends at the first NUL
    CheckWrittenSettings(path, content);

    for (std::string* p : paths) p->insert(0, projectPath);
    projectDir = projectPath;
    tag = "MapConfig";
  } catch (...) {
    before.Restore();
    throw;
  }
}

}  // namespace ql
