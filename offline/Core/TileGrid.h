#pragma once  // TileGrid.h: the name of a tile's file; the grid functions themselves are declared in CoordSys.h

#include <string>

namespace ql {

struct TileId;

// "col,row" in decimal, a negative number with its sign, no extension: the name of a
// tile's file in every tile directory, and how errors label a tile. String2TId reads it back.
std::string TId2String(const TileId& id);

}  // namespace ql
