#include "MapConfig.h"

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

}  // namespace ql
