#pragma once  // DenseCity.h: the dense generated city of the request benchmark and the answer digest test

// The same layout as `tools/make_sample_map.py --dense 23`: 23 x 23 junctions 150 m apart around
// 116.30 E, 39.85 N, one link per direction of every street segment (2024 links), 2 to 4 lanes of
// 3.5 m, a vertex every 10 m, an ADAS sample per lane vertex, a pedestrian crossing before every
// junction; written at quadtree depth 6.
//
//   const std::vector<qlw::city::Segment> segs = qlw::city::Segments();
//   qlw::WriteProject(dir, qlw::city::Links(segs), qlw::city::kDepth);
//   for (const qlw::city::Position& q : qlw::city::LanePositions(segs, 100000)) ...

#include <cstddef>
#include <vector>

#include "CoordSys.h"
#include "HdTypes.h"

namespace qlw {
namespace city {

constexpr double kLon0 = 116.30;  // the south-west junction
constexpr double kLat0 = 39.85;
constexpr int kNodes = 23;         // junctions per row and column
constexpr double kBlock = 150.0;   // metres between neighbouring junctions
constexpr double kSpacing = 10.0;  // metres between the vertices of a line
constexpr double kLaneWidth = 3.5;
constexpr int kDepth = 6;

// The position `east` and `north` metres from the south-west junction (a local flat-earth step,
// not the map's projection).
ql::Point At(double east, double north);

// One direction of one street segment, as one link.
struct Segment {
  long id;
  int from, to;    // junction numbers
  double x0, y0;   // start junction, metres
  double ux, uy;   // direction of travel
  double bearing;  // compass degrees
  int lanes;
};

// `along` metres from the segment's start, `offset` metres to the right of the street's centre
// line (the link's lanes lie between offsets 0 and lanes * kLaneWidth).
ql::Point Along(const Segment& s, double along, double offset);

// Every segment of a grid of `nodes` x `nodes` junctions (kNodes: the city the tests hash), east-west
// streets first; ids from 1001 up. A larger grid keeps the street density and grows the area by
// ((nodes - 1) / (kNodes - 1))^2, north and east of the same south-west junction.
std::vector<Segment> Segments(int nodes = kNodes);

// The links of the segments, in their order.
std::vector<ql::HdLink> Links(const std::vector<Segment>& segs);

// Moves every position of the links (lines, edges, lanes, ADAS samples, crossings: what Links
// fills) `degrees` east, so that another copy of a city can share a process with the first in
// tiles of its own.
void ShiftEast(std::vector<ql::HdLink>& links, double degrees);

struct Position {
  ql::Point p;
  double heading;
};

// `count` positions on lane centres (+-1 m), 20 m or more from either junction, with headings
// within 20 degrees of the lane's bearing. One generator with a fixed seed: a shorter run is
// the start of a longer one.
std::vector<Position> LanePositions(const std::vector<Segment>& segs, std::size_t count);

}  // namespace city
}  // namespace qlw
