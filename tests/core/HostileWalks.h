#pragma once  // HostileWalks.h: link shapes that make the endpoint walks' listings multiply

// Shared by test_HdWalkBounds and bench/bench_hostile_walks.cpp. Geometry lies in plane metres
// north of `origin`; the links carry what the walks read (lanes, edges, listings) and no more.

#include <vector>

#include "CoordSys.h"
#include "HdTypes.h"

namespace qlhostile {

inline std::vector<double> Vertex(const ql::Point& origin, double x, double y) {
  const ql::XYZ o = ql::P2XYZ(origin);
  const ql::Point p = ql::XYZ2P(ql::XYZ(o.dX + x, o.dY + y, 0.0));
  return {p.dLon, p.dLat, 0.0};
}

inline ql::HdLinkId LinkIdOf(long value) {
  ql::HdLinkId id;
  id.lValue = value;
  return id;
}

inline ql::HdLaneId LaneIdOf(long value) {
  ql::HdLaneId id;
  id.lValue = value;
  return id;
}

// A link `id` at x metres east of origin, 10 m long, of `lanes` lanes numbered 1 to lanes (ids
// id * 10000 + number) side by side; lane k between edges id * 10000 + 5000 + k - 1 and + k, every
// edge crossable both ways. Link length `length`.
inline ql::HdLink Road(const ql::Point& origin, long id, double x, int lanes, double length) {
  ql::HdLink link;
  link.liId.lValue = id;
  link.dLength = length;
  link.vctvdGeoLink = {Vertex(origin, x, 0), Vertex(origin, x, 10)};
  for (int k = 0; k <= lanes; ++k) {
    ql::HdEdge edge;
    edge.lId = id * 10000 + 5000 + k;
    edge.nCross = ql::sc_nCrossDirec_BidirecAble;
    link.vctheEdge.push_back(edge);
  }
  for (int k = 1; k <= lanes; ++k) {
    ql::HdLane lane;
    lane.liId.lValue = id * 10000 + k;
    lane.nSeqNum = k;
    lane.nWidth = 3500;
    lane.nDirection = 2;
    lane.lLeftEdgeId = id * 10000 + 5000 + k - 1;
    lane.lRightEdgeId = id * 10000 + 5000 + k;
    const double lx = x + 0.01 * k;
    lane.vctvdGeoLink = {Vertex(origin, lx, 0), Vertex(origin, lx, 10)};
    link.vcthlLane.push_back(lane);
  }
  return link;
}

// Link `id` (1 unless given) of one lane (id * 10000 + 1) that lists itself `times` times as
// successor and as predecessor, its lane listing itself `times` times as successor and as
// predecessor lane.
inline std::vector<ql::HdLink> SelfListing(const ql::Point& origin, int times, long id = 1) {
  ql::HdLink link = Road(origin, id, 0.0, 1, 10.0);
  ql::HdLane& lane = link.vcthlLane.front();
  for (int i = 0; i < times; ++i) {
    link.vctliNxtLinkId.push_back(LinkIdOf(id));
    link.vctliPreLinkId.push_back(LinkIdOf(id));
    lane.vctliNxtLaneId.push_back(lane.liId);
    lane.vctliPreLaneId.push_back(lane.liId);
  }
  return {link};
}

// Link `id` (2 unless given) of one lane (id * 10000 + 1) followed by link id + 1 of `lanes`
// crossable lanes, every one of which continues the first link's lane, long enough for every
// lane change: GetNextLaneEndpoints from that lane lists lanes x lanes moves.
inline std::vector<ql::HdLink> WideSuccessor(const ql::Point& origin, int lanes, long id = 2) {
  ql::HdLink from = Road(origin, id, 0.0, 1, 10.0);
  ql::HdLink next = Road(origin, id + 1, 50.0, lanes, 10.0 * lanes);
  from.vctliNxtLinkId.push_back(LinkIdOf(id + 1));
  next.vctliPreLinkId.push_back(LinkIdOf(id));
  for (ql::HdLane& lane : next.vcthlLane) lane.vctliPreLaneId.push_back(from.vcthlLane.front().liId);
  from.vcthlLane.front().vctliNxtLaneId.push_back(next.vcthlLane.front().liId);
  return {from, next};
}

}  // namespace qlhostile
