#pragma once  // TileContent.h: the content of one tile file, one scheme for the HD and the SD map

#include <vector>

#include "CoordSys.h"

namespace ql {

// The records of one tile file by key, with the tile's quadtree, for a map keyed by Id with
// records of type Node: HdSerializeData and SdSerializeData are the two maps' forms, each with
// its field list. Declared with r first; the files store m_keys, m_values, r, states, nodes, ps.
// Bucket i of the quadtree is (states[i], nodes[i], ps[i]): a path code, the ids of the records
// indexed in the leaf cell(s) it names, and the point at which each is indexed.
template <class Id, class Node>
struct TileContent {
  Rect2D r;                           // root cell of the tile's quadtree, degrees
  std::vector<Id> m_keys;             // key of m_values[i]
  std::vector<Node> m_values;         // the records
  std::vector<unsigned long> states;  // path code of each bucket
  std::vector<std::vector<Id>> nodes;
  std::vector<std::vector<Point>> ps;
};

}  // namespace ql
