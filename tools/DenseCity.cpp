#include "DenseCity.h"

#include <cmath>
#include <map>
#include <random>
#include <utility>

namespace qlw {
namespace city {

namespace {

constexpr double kRadius = 6378137.0;
constexpr double kDegToRad = 3.14159265358979323846 / 180.0;

std::vector<std::vector<double>> Polyline(const Segment& s, double offset) {
  std::vector<std::vector<double>> line;
  const int n = static_cast<int>(std::lround(kBlock / kSpacing));
  for (int i = 0; i <= n; ++i) {
    const ql::Point p = Along(s, kBlock * i / n, offset);
    line.push_back({p.dLon, p.dLat});
  }
  return line;
}

ql::HdLinkId Id(long v) {
  ql::HdLinkId id;
  id.lValue = v;
  return id;
}

}  // namespace

ql::Point At(double east, double north) {
  return ql::Point(kLon0 + east / (kRadius * std::cos(kLat0 * kDegToRad) * kDegToRad),
                   kLat0 + north / (kRadius * kDegToRad), 0.0);
}

ql::Point Along(const Segment& s, double along, double offset) {
  return At(s.x0 + s.ux * along + s.uy * offset, s.y0 + s.uy * along - s.ux * offset);
}

std::vector<Segment> Segments(int nodes) {
  std::vector<Segment> segs;
  long id = 1001;
  const auto node = [nodes](int i, int j) { return j * nodes + i + 1; };
  for (int j = 0; j < nodes; ++j) {
    for (int i = 0; i + 1 < nodes; ++i) {
      const int lanes = 2 + j % 3;
      segs.push_back({id++, node(i, j), node(i + 1, j), i * kBlock, j * kBlock, 1, 0, 90.0, lanes});
      segs.push_back({id++, node(i + 1, j), node(i, j), (i + 1) * kBlock, j * kBlock, -1, 0, 270.0, lanes});
    }
  }
  for (int i = 0; i < nodes; ++i) {
    for (int j = 0; j + 1 < nodes; ++j) {
      const int lanes = 2 + (i + 1) % 3;
      segs.push_back({id++, node(i, j), node(i, j + 1), i * kBlock, j * kBlock, 0, 1, 0.0, lanes});
      segs.push_back({id++, node(i, j + 1), node(i, j), i * kBlock, (j + 1) * kBlock, 0, -1, 180.0, lanes});
    }
  }
  return segs;
}

void ShiftEast(std::vector<ql::HdLink>& links, double degrees) {
  const auto shift = [degrees](std::vector<std::vector<double>>& geo) {
    for (std::vector<double>& tuple : geo) tuple[0] += degrees;
  };
  for (ql::HdLink& link : links) {
    shift(link.vctvdGeoLink);
    for (ql::HdEdge& edge : link.vctheEdge) shift(edge.vctvdGeoLink);
    for (ql::ObjCrossing& crossing : link.vctcrCrossing) shift(crossing.vctvdGeoArea);
    for (ql::HdLane& lane : link.vcthlLane) {
      shift(lane.vctvdGeoLink);
      for (ql::HdLaneAdas& sample : lane.vctlaLaneAdas) sample.dLon += degrees;
    }
  }
}

std::vector<ql::HdLink> Links(const std::vector<Segment>& segs) {
  std::map<int, std::vector<const Segment*>> byStart, byEnd;
  for (const Segment& s : segs) {
    byStart[s.from].push_back(&s);
    byEnd[s.to].push_back(&s);
  }
  static constexpr int kInnerCross[] = {2, 4, 3};
  std::vector<ql::HdLink> links;
  for (const Segment& s : segs) {
    ql::HdLink link;
    link.liId = Id(s.id);
    link.dLength = kBlock;
    link.nLaneNum = s.lanes;
    link.nType = 1;
    link.dStartAngle = s.bearing;
    link.nSpeedLimit = 30 + 10 * s.lanes;
    link.vctvdGeoLink = Polyline(s, s.lanes * kLaneWidth / 2.0);
    for (int e = 0; e <= s.lanes; ++e) {
      ql::HdEdge edge;
      edge.lId = s.id * 100 + 50 + e;
      edge.nCross = (e == 0 || e == s.lanes) ? 1 : kInnerCross[e - 1];
      edge.vctvdGeoLink = Polyline(s, e * kLaneWidth);
      link.vctheEdge.push_back(edge);
    }
    for (int k = 1; k <= s.lanes; ++k) {
      ql::HdLane lane;
      lane.liId.lValue = s.id * 100 + k;
      lane.lLeftEdgeId = s.id * 100 + 50 + k - 1;
      lane.lRightEdgeId = s.id * 100 + 50 + k;
      lane.nSeqNum = k;
      lane.nDirection = 2;
      lane.nType = (s.lanes == 4 && k == 4) ? 7 : 1;
      lane.nWidth = 3500;
      lane.vctvdGeoLink = Polyline(s, (k - 0.5) * kLaneWidth);
      for (std::size_t v = 0; v < lane.vctvdGeoLink.size(); ++v) {
        ql::HdLaneAdas sample;
        sample.nSeqNum = static_cast<int>(v);
        sample.dLon = lane.vctvdGeoLink[v][0];
        sample.dLat = lane.vctvdGeoLink[v][1];
        sample.dOutAzimuth = s.bearing;
        lane.vctlaLaneAdas.push_back(sample);
      }
      link.vcthlLane.push_back(lane);
    }
    ql::ObjCrossing crossing;
    crossing.lId = s.id * 100 + 90;
    for (const auto& [a, o] : std::vector<std::pair<double, double>>{{kBlock - 22, 0},
                                                                     {kBlock - 18, 0},
                                                                     {kBlock - 18, s.lanes * kLaneWidth},
                                                                     {kBlock - 22, s.lanes * kLaneWidth}}) {
      const ql::Point p = Along(s, a, o);
      crossing.vctvdGeoArea.push_back({p.dLon, p.dLat});
    }
    link.vctcrCrossing.push_back(crossing);
    for (const Segment* n : byStart[s.to]) {
      if (n->to != s.from) link.vctliNxtLinkId.push_back(Id(n->id));
    }
    for (const Segment* p : byEnd[s.from]) {
      if (p->from != s.to) link.vctliPreLinkId.push_back(Id(p->id));
    }
    links.push_back(std::move(link));
  }
  return links;
}

std::vector<Position> LanePositions(const std::vector<Segment>& segs, std::size_t count) {
  std::vector<Position> positions;
  positions.reserve(count);
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> along(20.0, kBlock - 20.0), side(-1.0, 1.0), turn(-20.0, 20.0);
  for (std::size_t i = 0; i < count; ++i) {
    const Segment& s = segs[rng() % segs.size()];
    const int lane = 1 + static_cast<int>(rng() % static_cast<unsigned>(s.lanes));
    // Drawn one by one, in the order the benchmark has always drawn them, so that the order does
    // not rest on how a compiler orders the evaluation of function arguments.
    const double across = side(rng);
    const double at = along(rng);
    const double heading = std::fmod(s.bearing + turn(rng) + 360.0, 360.0);
    positions.push_back({Along(s, at, (lane - 0.5) * kLaneWidth + across), heading});
  }
  return positions;
}

}  // namespace city
}  // namespace qlw
