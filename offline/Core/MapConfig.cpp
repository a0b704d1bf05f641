#include "MapConfig.h"

#include <cstddef>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>

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

void MapConfig::Init(const std::string& projectPath, const std::string& configPath) {
  const std::string path = projectPath + configPath;  // no separator: the caller supplies it
  std::ifstream in(path);
  if (!in.good()) throw std::runtime_error("cannot open configuration file " + path);
  const std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};

  // Paths start empty on every run, so a run after a failed one (the caller retries) does
  // not put the project path in front of an already prefixed value.
  std::string* const paths[] = {&map_file_dir,
                                &sdConfig::save_dir_json,
                                &sdConfig::save_dir_binary,
                                &hdConfig::save_dir_json,
                                &hdConfig::save_dir_binary,
                                &gps_file_path,
                                &sdid2hdid_path};
  for (std::string* p : paths) p->clear();

  std::cout.write(content.data(), static_cast<std::streamsize>(content.size()));
  std::cout.flush();

  MapConfig settings;
  ajson::load_from_buff(settings, content.c_str(), static_cast<std::size_t>(-1));  // ends at the first NUL

  for (std::string* p : paths) p->insert(0, projectPath);
  projectDir = projectPath;
  tag = "MapConfig";
}

}  // namespace ql
