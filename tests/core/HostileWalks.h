#pragma once  // HostileWalks.h: link shapes that make the endpoint walks' listings multiply

// Shared by test_HdWalkBounds and bench/bench_hostile_walks.cpp. Geometry lies in plane metres
// north of `origin`; the links carry what the walks read (lanes, edges, listings) and no more.
// A shape takes the link ids from `id` upwards; lane and edge ids are made from their link's id.

#include <cstddef>
#include <vector>

#include "CoordSys.h"
#include "HdTypes.h"
#include "TileWriter.h"

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

// Every edge of the link closed to crossing.
inline void CloseEveryEdge(ql::HdLink& link) {
  for (ql::HdEdge& edge : link.vctheEdge) edge.nCross = ql::sc_nCrossDirec_Unable;
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

// WideSuccessor with no edge of the successor crossable and its length `length`: each lane
// reaches only itself, and only where the length admits a move at all (not NaN or negative).
inline std::vector<ql::HdLink> ClosedSuccessor(const ql::Point& origin, int lanes, double length, long id) {
  std::vector<ql::HdLink> links = WideSuccessor(origin, lanes, id);
  CloseEveryEdge(links[1]);
  links[1].dLength = length;
  return links;
}

// Link `id` of one lane (id * 10000 + 1) listing `successors` links id + 1 to id + successors
// as successors, by descending id; each of `lanes` crossable lanes that all continue the first
// link's lane, long enough for every lane change: successors x lanes x lanes moves.
inline std::vector<ql::HdLink> ManySuccessors(const ql::Point& origin, int successors, int lanes, long id) {
  std::vector<ql::HdLink> links = {Road(origin, id, 0.0, 1, 10.0)};
  const ql::HdLaneId from = links[0].vcthlLane.front().liId;
  for (int s = successors; s >= 1; --s) {
    ql::HdLink next = Road(origin, id + s, 50.0, lanes, 10.0 * lanes);
    next.vctliPreLinkId.push_back(LinkIdOf(id));
    for (ql::HdLane& lane : next.vcthlLane) lane.vctliPreLaneId.push_back(from);
    links[0].vctliNxtLinkId.push_back(next.liId);
    links.push_back(next);
  }
  return links;
}

// Link `id` of one lane listing link id + 1 (of one lane) `times` times as successor.
inline std::vector<ql::HdLink> RepeatedSuccessor(const ql::Point& origin, int times, long id) {
  ql::HdLink from = Road(origin, id, 0.0, 1, 10.0);
  ql::HdLink next = Road(origin, id + 1, 50.0, 1, 10.0);
  for (int i = 0; i < times; ++i) from.vctliNxtLinkId.push_back(LinkIdOf(id + 1));
  next.vctliPreLinkId.push_back(LinkIdOf(id));
  return {from, next};
}

// Link `id` of one lane (id * 10000 + 1) preceded by link id + 1 of `lanes` lanes (every edge
// crossable both ways) of length `length`. The lane numbered `leading`, or every lane when it is
// 0, lists the first link's lane `times` times among its successors. GetPreEndpoints into that
// lane hands out each move ending in a leading lane `times` times.
inline std::vector<ql::HdLink> WidePredecessor(const ql::Point& origin, int lanes, int times, double length,
                                               long id, int leading = 0) {
  ql::HdLink to = Road(origin, id, 0.0, 1, 10.0);
  ql::HdLink pre = Road(origin, id + 1, 50.0, lanes, length);
  to.vctliPreLinkId.push_back(LinkIdOf(id + 1));
  pre.vctliNxtLinkId.push_back(LinkIdOf(id));
  for (ql::HdLane& lane : pre.vcthlLane) {
    if (leading != 0 && lane.nSeqNum != leading) continue;
    for (int i = 0; i < times; ++i) lane.vctliNxtLaneId.push_back(to.vcthlLane.front().liId);
  }
  return {to, pre};
}

// ---- long tile lists, on tiles built but not yet written (qlw::BuildTiles, then qlw::WriteTiles) ----
//
// The writer gives a link's own id the tiles it touches; these repeat the last of them, so that a
// lookup through the id reads that tile `tiles` times and ends where it did.

// The tile list of link `value`'s own id, in its key and record in every tile holding it.
inline void LengthenOwnTileList(qlw::TileMap& built, long value, std::size_t tiles) {
  for (auto& entry : built) {
    ql::HdSerializeData& content = entry.second;
    for (std::size_t i = 0; i < content.m_values.size(); ++i) {
      ql::HdLinkId& own = content.m_values[i].liId;
      if (own.lValue != value) continue;
      own.vcttiTileIds.assign(tiles, own.vcttiTileIds.back());
      if (i < content.m_keys.size()) content.m_keys[i].vcttiTileIds = own.vcttiTileIds;
    }
  }
}

// The tile list of every listing of link `listed` among the successors of link `lister`.
inline void LengthenSuccessorListing(qlw::TileMap& built, long lister, long listed, std::size_t tiles) {
  for (auto& entry : built) {
    for (ql::HdLink& link : entry.second.m_values) {
      if (link.liId.lValue != lister) continue;
      for (ql::HdLinkId& next : link.vctliNxtLinkId) {
        if (next.lValue == listed) next.vcttiTileIds.assign(tiles, next.vcttiTileIds.back());
      }
    }
  }
}

}  // namespace qlhostile
