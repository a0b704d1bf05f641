#pragma once  // HostileTiles.h: tiles shaped to make one query as costly as a producer could

// Tiles that load within their memory bound but whose shape once made a single query take seconds
// and gigabytes; the tests, fuzz seeds and benchmarks build them here.
//
//   qlw::TileMap tiles = qlw::BuildTiles(links, 5);
//   qlw::hostile::EveryLeafBucket(tiles.at(id), 5, 100000, where);  // then qlw::WriteTiles(...)

#include <cstddef>

#include "CoordSys.h"
#include "HdTypes.h"
#include "SdTypes.h"

namespace qlw::hostile {

// Replaces the quadtree of a tile with one over the square of 2 x `spread` degrees around
// `where` (so that a query box there meets every leaf) and one bucket whose path code enters
// every one of its 4^depth leaves, holding `pairs` pairs that cycle through the tile's first two
// keys (the first key alone when it has one) at points within `spread` degrees of `where`, each
// point its own.
// The keys must exist. Throws std::invalid_argument for a depth outside 0..16 or a tile without
// keys.
void EveryLeafBucket(ql::HdSerializeData& tile, int depth, std::size_t pairs, const ql::Point& where,
                     double spread = 5e-5);
void EveryLeafBucket(ql::SdSerializeData& tile, int depth, std::size_t pairs, const ql::Point& where,
                     double spread = 5e-5);

// A tile of two records and such a bucket: HD links 1 and 2 (tile list {tile}), or SD nodes at
// `where` and 1e-5 degrees east of it; the tile's rectangle is then the spot's.
ql::HdSerializeData HdEveryLeafTile(const ql::TileId& tile, int depth, std::size_t pairs, const ql::Point& where);
ql::SdSerializeData SdEveryLeafTile(int depth, std::size_t pairs, const ql::Point& where);

// The path code at depth that enters all four quadrants at every level.
unsigned long EveryLeafCode(int depth);

// A link `id` of `lanes` lanes that all hold `where`: each lane's strip runs 100 m north through it
// between lines 5 m west and 5 m east of it, so a request there has a candidate per lane. How the
// lanes share what a candidate reads:
//   kOwnEdges      lanes 1 to n with ids id * 1000 + k, each between two edges of its own (2
//                  vertices each), each with an ADAS sample at either end;
//   kSharedLaneId  every lane with the id id * 1000, between the link's two edges; the first lane
//                  alone has `size` ADAS samples along its line;
//   kSharedEdges   lanes as kOwnEdges, every one between the same two edges of `size` vertices.
// Every sample's azimuth is 0.
enum class LaneShape { kOwnEdges, kSharedLaneId, kSharedEdges };
ql::HdLink LanesHoldingSpot(const ql::Point& where, long id, int lanes, LaneShape shape, std::size_t size = 2);

// Gives the key and the record of link id in the tile a tile list of `times` copies of the tile
// itself (the tile's own id must be given: the content does not know it).
void LongTileList(ql::HdSerializeData& tile, const ql::TileId& self, long id, std::size_t times);

}  // namespace qlw::hostile
