#pragma once  // MapBuilder.h: links built in memory for tests, and a map written once per test process

// Builds records field by field; whatever a test does not set keeps its default:
//
//   ql::HdLink link = qltest::Link(101);
//   qltest::AddEdge(link, 1011, leftLine);
//   qltest::AddEdge(link, 1012, rightLine);
//   qltest::AddLane(link, 1010, 1, 3500, 1011, 1012, centreLine);
//
// and writes a whole map with the tile writer, initialising the library on it:
//
//   const qltest::WrittenMap& Map() {
//     static const qltest::WrittenMap map("test_HdLib", Links(), 4, "config_json.json");
//     return map;
//   }

#include <set>
#include <string>
#include <vector>

#include "HdTypes.h"
#include "TestFiles.h"
#include "TileWriter.h"

namespace qltest {

using GeoLink = std::vector<std::vector<double>>;

ql::HdLinkId LinkId(long value, std::vector<ql::TileId> tiles = {});
ql::HdLaneId LaneId(long value);

// A link with this id and line.
ql::HdLink Link(long id, GeoLink line = {});

// Appends an edge line, or a lane between the edges of ids `left` and `right`; returns it for
// further fields.
ql::HdEdge& AddEdge(ql::HdLink& link, long edgeId, GeoLink geo);
ql::HdLane& AddLane(ql::HdLink& link, long laneId, int seq, int width, long left, long right, GeoLink geo);

// The point x metres east and y metres north of origin in origin's projection zone, at altitude 0:
// geometry drawn in plane metres.
ql::Point PlaneAt(const ql::Point& origin, double x, double y);

// The origin of the endpoint tests' maps, and PlaneAt from it.
inline const ql::Point kOrigin(116.471, 39.951, 0.0);
inline ql::Point At(double x, double y) { return PlaneAt(kOrigin, x, y); }

// The lValues of ids, in their order.
std::vector<long> Values(const std::vector<ql::HdLinkId>& ids);
std::vector<long> Values(const std::vector<ql::HdLaneId>& ids);
std::set<long> Values(const std::set<ql::HdLinkId>& ids);

// The links written by the tile writer (qlw::WriteProject) into a fresh directory, and HdLib
// initialised on one of its configurations ("config_json.json", "config_binary.json" or
// "config_encrypted.json"). The HD store is one per process and keeps its tiles, so a test
// process writes one such map (a function-local static) and every test in it reads that map;
// the directory is removed at exit.
class WrittenMap {
 public:
  WrittenMap(const std::string& name, const std::vector<ql::HdLink>& links, int depth, const std::string& config);
  // The same for tiles already built (qlw::BuildTiles) and perhaps edited since: written as they are.
  WrittenMap(const std::string& name, const qlw::TileMap& built, int depth, const std::string& config);

  // The tiles as the library reads them back.
  const qlw::TileMap& Tiles() const { return m_tiles; }
  // The link of that lValue as written (its id carries its tile list); throws std::logic_error
  // when the map has none.
  const ql::HdLink& Stored(long value) const;

 private:
  TempDir m_dir;
  qlw::TileMap m_tiles;
};

}  // namespace qltest
