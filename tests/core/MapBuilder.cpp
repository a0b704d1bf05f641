#include "MapBuilder.h"

#include <stdexcept>
#include <utility>

#include "CoordSys.h"
#include "HdLib.h"

namespace qltest {

ql::HdLinkId LinkId(long value, std::vector<ql::TileId> tiles) {
  ql::HdLinkId id;
  id.lValue = value;
  id.vcttiTileIds = std::move(tiles);
  return id;
}

ql::HdLaneId LaneId(long value) {
  ql::HdLaneId id;
  id.lValue = value;
  return id;
}

ql::HdLink Link(long id, GeoLink line) {
  ql::HdLink link;
  link.liId.lValue = id;
  link.vctvdGeoLink = std::move(line);
  return link;
}

ql::HdEdge& AddEdge(ql::HdLink& link, long edgeId, GeoLink geo) {
  ql::HdEdge edge;
  edge.lId = edgeId;
  edge.vctvdGeoLink = std::move(geo);
  link.vctheEdge.push_back(edge);
  return link.vctheEdge.back();
}

ql::HdLane& AddLane(ql::HdLink& link, long laneId, int seq, int width, long left, long right, GeoLink geo) {
  ql::HdLane lane;
  lane.liId.lValue = laneId;
  lane.nSeqNum = seq;
  lane.nWidth = width;
  lane.lLeftEdgeId = left;
  lane.lRightEdgeId = right;
  lane.vctvdGeoLink = std::move(geo);
  link.vcthlLane.push_back(lane);
  return link.vcthlLane.back();
}

ql::Point PlaneAt(const ql::Point& origin, double x, double y) {
  const ql::XYZ o = ql::P2XYZ(origin);
  const ql::Point p = ql::XYZ2P(ql::XYZ(o.dX + x, o.dY + y, 0.0));
  return ql::Point(p.dLon, p.dLat, 0.0);
}

std::vector<long> Values(const std::vector<ql::HdLinkId>& ids) {
  std::vector<long> out;
  for (const ql::HdLinkId& id : ids) out.push_back(id.lValue);
  return out;
}

std::vector<long> Values(const std::vector<ql::HdLaneId>& ids) {
  std::vector<long> out;
  for (const ql::HdLaneId& id : ids) out.push_back(id.lValue);
  return out;
}

std::set<long> Values(const std::set<ql::HdLinkId>& ids) {
  std::set<long> out;
  for (const ql::HdLinkId& id : ids) out.insert(id.lValue);
  return out;
}

WrittenMap::WrittenMap(const std::string& name, const std::vector<ql::HdLink>& links, int depth,
                       const std::string& config)
    : m_dir(name) {
  m_tiles = qlw::WriteProject(m_dir.str(), links, depth);
  ql::HdLib::GetInstance()->Init(m_dir.str() + "/", config);
}

WrittenMap::WrittenMap(const std::string& name, const qlw::TileMap& built, int depth, const std::string& config)
    : m_dir(name) {
  m_tiles = qlw::WriteTiles(m_dir.str(), built, depth);
  ql::HdLib::GetInstance()->Init(m_dir.str() + "/", config);
}

const ql::HdLink& WrittenMap::Stored(long value) const {
  for (const auto& tile : m_tiles) {
    for (const ql::HdLink& link : tile.second.m_values) {
      if (link.liId.lValue == value) return link;
    }
  }
  throw std::logic_error("no link " + std::to_string(value) + " in the written map");
}

}  // namespace qltest
