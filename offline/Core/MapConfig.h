#pragma once  // MapConfig.h: the library's settings, read once from a JSON file

#include <memory>
#include <string>

#include "FieldList.h"

namespace ql {

// The deepest quadtree a path code can describe (16 groups of 4 bits in 64): qt_max_level lies in
// 0..sc_nQtMaxDepth.
constexpr int sc_nQtMaxDepth = 16;

// Every setting is a static member; the JSON keys are the member names.
class MapConfig {
 public:
  // Tile directories of the SD map (values end with '/').
  class sdConfig {
   public:
    static std::string save_dir_json;
    static std::string save_dir_binary;
  };
  // Tile directories of the HD map (values end with '/').
  class hdConfig {
   public:
    static std::string save_dir_json;
    static std::string save_dir_binary;
  };

  static std::string map_file_dir;
  static std::string map_use_type;
  static std::string tag;
  static double tile_lon_interval;  // degrees
  static double tile_lat_interval;  // degrees
  static double node_interpolate;
  static double gps_rect_lon_metres_half;
  static double gps_rect_lat_metres_half;
  static double route_rect_lon;  // metres
  static double route_rect_lat;  // metres
  static int qt_max_level;
  static int algorithm_path_len;
  static int algorithm_condidate_max;
  static float algorithm_change_road_punish_div;
  static double algorithm_change_direction_punish_range_max;
  static sdConfig sd_config;
  static hdConfig hd_config;
  static std::string gps_file_path;
  static int profiler_interval;
  static std::string logDir;
  static int serialize_type_json1_binary2;  // 1 JSON tiles, 2 binary tiles
  static bool tile_encrypt;
  static std::string road_plan_file_dir;
  static std::string sdid2hdid_path;
  static std::string map_road_filer_logic;

  static std::string projectDir;

  // Reads projectPath + configPath and completes the path settings. All or nothing: when it
  // raises, every setting is as it was before the call.
  // - A configuration path that names no regular file (missing, a directory, FIFO or device) or
  //   cannot be read: std::runtime_error "cannot open configuration file <path>", with the reason
  //   in brackets where the file is there; nothing is printed.
  // - A file over 1 GiB: FileTooLargeError naming it, before it is read.
  // - A malformed document: ajson::exception, after the text was printed.
  // - A NUL byte in either argument: std::invalid_argument naming the argument.
  // - qt_max_level outside 0..16: std::invalid_argument naming the file and the value as it is
  //   written there (1e10 or 4294967301, not the int they convert to).
  // - tile_lon_interval or tile_lat_interval NaN, infinite or negative: std::invalid_argument
  //   "configuration file <path>: <key> <value> is not a grid interval (a finite number of
  //   degrees, 0 or more)", the value as written (NaN, 1e999, -0.02); 0 is a grid without tiles.
  static void Init(const std::string& projectPath, const std::string& configPath);
  static std::string GetProjectDir();

  // Every setting and projectDir as they stand when it is made; Restore puts them back. An
  // initialisation that fails part way restores what it found, so that a retry starts clean.
  class Snapshot {
   public:
    Snapshot();
    ~Snapshot();
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;
    void Restore() const;

   private:
    struct Values;
    std::unique_ptr<Values> m_values;
  };
};

QL_FIELDS(MapConfig::sdConfig, save_dir_json, save_dir_binary);
QL_FIELDS(MapConfig::hdConfig, save_dir_json, save_dir_binary);
QL_FIELDS(MapConfig, map_file_dir, map_use_type, tag, tile_lon_interval, tile_lat_interval, node_interpolate,
          gps_rect_lon_metres_half, gps_rect_lat_metres_half, route_rect_lon, route_rect_lat, qt_max_level,
          algorithm_path_len, algorithm_condidate_max, algorithm_change_road_punish_div,
          algorithm_change_direction_punish_range_max, sd_config, hd_config, gps_file_path, profiler_interval,
          logDir, serialize_type_json1_binary2, tile_encrypt, road_plan_file_dir, sdid2hdid_path,
          map_road_filer_logic);

}  // namespace ql
