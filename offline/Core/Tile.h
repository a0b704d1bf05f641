#pragma once  // Tile.h: one decoded tile file, its records by id and its per-tile quadtree

// A tile holds the records of one tile file by id and a quadtree of fixed depth over the
// tile's rectangle. The tree's shape is not computed here: every bucket of the file
// carries a path code (one 4-bit group per level, level 0 in the highest used group)
// whose set bits name the quadrants it descends into:
//
//   bit 1 left-bottom (getLb, pLb)   bit 2 right-top (getRt, pRt)
//   bit 4 left-top    (getLt, pLt)   bit 8 right-bottom (getRb, pRb)
//
// which is also the order in which building and querying visit the quadrants. A bucket
// that reaches a leaf (level == depth) becomes that leaf's whole content; a zero group
// stops it where it is.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "Archive.h"
#include "CoordSys.h"
#include "Errors.h"
#include "HdTypes.h"
#include "LinkSummary.h"
#include "MapConfig.h"
#include "MemoryLimit.h"
#include "Profiler.h"
#include "TileGrid.h"
#include "ajson.hpp"

namespace ql {

// The memory building one tile may take besides its file's own bytes: sc_nTileMemoryFactor bytes
// per byte of the file, plus sc_nTileMemorySlack. The decoded content (every vector and string
// buffer), the record map, the quadtree's cells and the pairs' record pointers are all drawn from
// it (MemoryLimit), each heap block in full. A leaf refers to its bucket's pairs in place, so a
// bucket costs its cells but never a copy of its pairs, however many leaves it enters: every tree
// a producer can write for depths up to 9 fits in the slack alone (a whole depth-9 tree takes
// about 10 MB). A file whose building would take more is refused with the error of the part that
// ran out (TileTreeError, ArchiveError or ajson::exception), naming the file.
constexpr std::size_t sc_nTileMemoryFactor = 16;
constexpr std::size_t sc_nTileMemorySlack = std::size_t{32} << 20;

// The limit for a tile file of that many bytes (files are at most 1 GiB: no overflow).
inline std::size_t TileMemoryLimit(std::size_t fileBytes) {
  return sc_nTileMemoryFactor * fileBytes + sc_nTileMemorySlack;
}

// Decodes one tile file's bytes into out by serialize type: 1 JSON (the text ends at its
// first NUL byte; errors raise ajson::exception), 2 or 3 binary (errors raise what the
// archive raises), anything else reads nothing and leaves out as it was. The spelling
// is the one callers know. The second form draws what the decoder allocates from memory.
template <class T>
void DoSeserialize(const std::string& bytes, T& out, int type);
template <class T>
void DoSeserialize(const std::string& bytes, T& out, int type, MemoryLimit& memory);
// The same over bytes read in place (the tile store's file buffer); the JSON text ends at its
// first NUL byte or with the bytes.
template <class T>
void DoSeserialize(ByteView bytes, T& out, int type, MemoryLimit& memory);

// Refuses with TileGeometryError, labelled with label, a record holding a coordinate tuple that
// a query reads as a position (the lines of the link, its lanes and edges, the areas of its
// crossings) but that lacks a longitude or a latitude. Records of other maps pass.
void CheckPositions(const std::string& label, const HdLink& link);
template <class Node>
void CheckPositions(const std::string& /*label*/, const Node& /*node*/) {}

// The records of one tile as its box searches hand them out, in record-map order: an entry per
// record holding its address and whatever the queries read of it besides, worked out once when
// the tile is built. For other maps than HD the address alone.
template <class Node>
class PlainRecordTable {
 public:
  struct Entry {
    const Node* pRecord = nullptr;
  };

  template <class Id>
  static std::size_t Cost(const std::map<Id, Node>& records) {
    return MemoryLimit::Block(records.size() * sizeof(Entry));
  }
  template <class Id>
  void Build(const std::map<Id, Node>& records) {
    std::vector<Entry> entries;
    entries.reserve(records.size());
    for (const auto& record : records) entries.push_back(Entry{&record.second});
    m_entries.swap(entries);
  }

  std::size_t size() const { return m_entries.size(); }
  const Entry& operator[](std::size_t i) const { return m_entries[i]; }
  // Never vouches for an entry: lookups by id search the record map.
  bool IsOwnRecord(const Entry& /*e*/) const { return false; }

 private:
  std::vector<Entry> m_entries;
};

// HD links carry the bounds and lane data of the location queries (LinkSummary.h).
template <class Node>
struct RecordTableOf {
  using type = PlainRecordTable<Node>;
};
template <>
struct RecordTableOf<HdLink> {
  using type = LinkSummaryTable;
};

template <class Id>
class NodeQt {
 public:
  // The cells of the tree. They are held by the tree in two arenas, inner cells (levels
  // 0 .. depth - 1) and leaves (level depth), and refer to their children by index: a
  // deep tree has millions of inner cells, and 16 bytes each with no allocation of
  // their own keeps such a tree within a few times its file's size.
  struct qt {
    // Child slots of an inner cell: the index of the child in the next level's arena (the
    // leaves below depth - 1, the inner cells above), 0 where no path code led. Index 0
    // is the root or an unused leaf, never a child.
    struct inner {
      std::uint32_t pLt = 0;
      std::uint32_t pLb = 0;
      std::uint32_t pRb = 0;
      std::uint32_t pRt = 0;
    };

    // A leaf's content: the pairs of the last bucket that reached it, read in place from the
    // tree's bucket arrays (a leaf copies nothing): id k is indexed at point k.
    struct outer {
      static constexpr std::uint32_t kNoBucket = UINT32_MAX;

      const Id* pIds = nullptr;
      const Point* pPoints = nullptr;
      std::uint32_t nPairs = 0;
      std::uint32_t nBucket = kNoBucket;  // index in states, nodes and ps; kNoBucket: none came

      std::size_t size() const { return nPairs; }
      const Id& id(std::size_t k) const { return pIds[k]; }
      const Point& point(std::size_t k) const { return pPoints[k]; }

      // Ids whose point lies in q (half-open: lb <= p < rt); an id indexed at several
      // matching points is reported once, the first of them.
      void GetData(const Rect2D& q, std::set<Id>& out) const {
        for (std::size_t k = 0; k < nPairs; ++k) {
          if (q.Contains(pPoints[k])) out.insert(pIds[k]);
        }
      }
      // Every matching (id, point) pair, in leaf order.
      void GetData(const Rect2D& q, std::vector<std::tuple<Id, Point>>& out) const {
        for (std::size_t k = 0; k < nPairs; ++k) {
          if (q.Contains(pPoints[k])) out.emplace_back(pIds[k], pPoints[k]);
        }
      }
    };
  };
  using inner = typename qt::inner;
  using outer = typename qt::outer;

  // What one cell entered by a bucket is charged: its arena slot and the arena's own
  // bookkeeping (a deque allocates 512-byte blocks and a map of them).
  static constexpr std::size_t kInnerCost = sizeof(inner) + sizeof(inner) / 4;
  static constexpr std::size_t kLeafCost = sizeof(outer) + sizeof(outer) / 4;

  // maxLevel is the depth of the leaves; std::invalid_argument outside 0..16.
  NodeQt(int maxLevel, const Rect2D& rect);
  NodeQt(const NodeQt&) = delete;
  NodeQt& operator=(const NodeQt&) = delete;

  // Inserts bucket i = (states[i], nodes[i], ps[i]) for every i that all three arrays
  // have, in index order; a bucket uses only as many ids as it has points. The
  // rectangle is the one given to the constructor (the tree was made for it). The tree
  // keeps the arrays (they are moved in) and its leaves refer to them.
  // Every cell a bucket enters, new or not, is drawn from memory before the bucket goes in
  // (kInnerCost, kLeafCost), so that both the tree's size and the time of building it are
  // bounded; without a limit the tree may take sc_nTileMemorySlack. A bucket that would go
  // past the limit raises TileTreeError "<label>: bucket <i>: ..." (label names the tile).
  void Deserialize(const Rect2D& rect, std::vector<unsigned long> states, std::vector<std::vector<Id>> nodes,
                   std::vector<std::vector<Point>> ps, const std::string& label = std::string(),
                   MemoryLimit* memory = nullptr);

  // Adds to out the ids indexed at a point inside q (half-open).
  void GetNodeIdsInRect(const Rect2D& q, std::set<Id>& out) const;
  // The same walk for callers that need every matching pair with its point.
  void GetNodeIdsInRect(const Rect2D& q, std::vector<std::tuple<Id, Point>>& out) const;
  // The id indexed nearest to p among the pairs of GetNodeIdsInRect(q): squared distances
  // in the Gauss-Krueger plane (D2XYZ, the altitude difference added when with3d), the
  // first pair in walk order winning a tie. False when q holds no pair at a finite
  // distance, and then id and dist are not written; else dist is the winner's distance
  // in metres.
  bool GetNearestNodeId(const Point& p, const Rect2D& q, Id& id, double& dist, bool with3d) const;
  // The same walk again, calling visit(leafIndex) for every leaf it reaches, in walk
  // order; the caller tests the leaf's points against q itself.
  template <class Visit>
  void VisitLeavesInRect(const Rect2D& q, Visit&& visit) const {
    VisitLeaves(q, 0, m_rect, 0, visit);
  }

  int GetMaxLevel() const { return m_nMaxLevel; }
  const Rect2D& GetRect() const { return m_rect; }
  // The arenas: inner cell 0 is the root when the depth is at least 1; at depth 0 the
  // root is leaf 0. Other leaves are numbered from 1.
  const std::deque<inner>& GetInnerCells() const { return m_inner; }
  const std::deque<outer>& GetLeaves() const { return m_leaves; }
  // The buckets the leaves refer to (outer::nBucket), as Deserialize received them.
  std::size_t GetBucketCount() const { return m_bucketIds.size(); }

 private:
  // Collects the matches of q below the cell of the given index, which covers cell and
  // sits at level. Every quadrant that meets q, touching included, is visited; the cell
  // itself is not tested.
  template <class Out>
  void GetNodeIds(const Rect2D& q, std::uint32_t index, const Rect2D& cell, int level, Out& out) const;
  template <class Visit>
  void VisitLeaves(const Rect2D& q, std::uint32_t index, const Rect2D& cell, int level, Visit& visit) const;
  void Insert(std::uint32_t index, int level, unsigned long code, const outer& content);
  std::uint32_t NewChild(int childLevel);

  int m_nMaxLevel;
  Rect2D m_rect;
  std::deque<inner> m_inner;
  std::deque<outer> m_leaves;
  std::vector<std::vector<Id>> m_bucketIds;
  std::vector<std::vector<Point>> m_bucketPoints;
};

template <class Id, class Node, class SerializeData>
class Tile {
 public:
  using IdType = Id;
  using NodeType = Node;
  using SerializeType = SerializeData;
  using const_node_ptr = const Node*;
  using outer_type = typename NodeQt<Id>::outer;
  using RecordTable = typename RecordTableOf<Node>::type;
  using Entry = typename RecordTable::Entry;  // has pRecord, the record's address

  explicit Tile(const TileId& id) : m_tiId(id) {}
  Tile(const Tile&) = delete;  // records are handed out by address; a tile stays where it was made
  Tile& operator=(const Tile&) = delete;

  // Fills a new tile from the bytes of its file, decoded by the configured serialize
  // type and quadtree depth. Records: entry i of m_keys with entry i of m_values, for
  // every i both have; of two equal keys the first stays. Building draws on a memory limit
  // of TileMemoryLimit(bytes.size()). Raises what decoding raises (ArchiveError and
  // ajson::exception, also where the decoded content would outgrow the limit),
  // std::invalid_argument for a depth outside 0..16, TileTreeError for records or a tree
  // that would go past the limit and TileGeometryError for a record with a position tuple
  // of fewer than two values; the errors of the tile's own checks are labelled
  // "tile <col>,<row>". The tile then holds no records and no tree.
  void Deserialize(const std::string& bytes);
  // The same over bytes that stay unchanged until it returns.
  void Deserialize(ByteView bytes);

  // The record stored under id, or null.
  const Node* GetNodeData(const Id& id) const;
  // Adds to out the ids indexed inside q.
  void GetNodeIdsInRect(const Rect2D& q, std::set<Id>& out) const;
  // Adds to out the records of the ids indexed inside q; an id that the tree holds but
  // the record map lacks is skipped.
  void GetNodesInRect(const Rect2D& q, std::set<const Node*>& out) const;
  // NodeQt::GetNearestNodeId of the tile's tree; false before Deserialize.
  bool GetNearestNodeId(const Point& p, const Rect2D& q, Id& id, double& dist, bool with3d) const;
  // The same records appended to out, in no particular order and possibly repeated
  // (once per matching point at most): the caller sorts and drops repeats once for
  // all its tiles instead of paying a set insertion per point.
  void CollectNodesInRect(const Rect2D& q, std::vector<const Node*>& out) const;
  // The same for the records' entries (RecordTable), the form the location queries read.
  void CollectEntriesInRect(const Rect2D& q, std::vector<const Entry*>& out) const;
  // Every record's entry, in record-map order.
  const RecordTable& GetRecordTable() const { return m_table; }
  // Whether GetNodeData(id) of e's record's own id is e's record (RecordTable::IsOwnRecord).
  bool IsOwnRecord(const Entry& e) const { return m_table.IsOwnRecord(e); }

  const TileId& GetTileId() const { return m_tiId; }
  const std::map<Id, Node>& GetNodes() const { return m_mapNodes; }
  const NodeQt<Id>* GetQuadtree() const { return m_pQt.get(); }  // null before Deserialize

 private:
  // Fills m_pairEntries and m_bucketStart for the buckets the tree's leaves refer to, from
  // table, which holds the entries of nodes in map order.
  void ResolvePairs(const NodeQt<Id>& tree, const std::map<Id, Node>& nodes, const RecordTable& table,
                    MemoryLimit& memory, const std::string& label);
  template <class Visit>
  void VisitEntriesInRect(const Rect2D& q, Visit&& visit) const;

  TileId m_tiId;
  std::unique_ptr<NodeQt<Id>> m_pQt;
  std::map<Id, Node> m_mapNodes;
  RecordTable m_table;
  // A run of neighbouring (id, point) pairs of one bucket that name the same entry, with the
  // box of their points: a box search rejects or takes the run whole and tests its points one by
  // one only where the box crosses the query's edge.
  struct PairRun {
    const Entry* pEntry;
    double dLon0, dLon1, dLat0, dLat1;  // the points' box; unused when bScan
    std::uint32_t nFirst, nCount;       // the run's pairs in the bucket
    bool bScan;                         // a point is NaN: no box, every point is tested
  };
  // The runs of every bucket that leaves refer to, resolved once when the tile is built (pairs
  // whose id the record map lacks belong to no run): bucket b's runs are m_runs[first, first +
  // count) for (first, count) = m_bucketRuns[b]. Records never move, so the addresses hold.
  std::vector<PairRun> m_runs;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> m_bucketRuns;
};

using HdTile = Tile<HdLinkId, HdLink, HdSerializeData>;

// ---- implementation ---------------------------------------------------------------

namespace tile_detail {

inline int BitCount(unsigned g) {
  int n = 0;
  for (; g != 0; g &= g - 1) ++n;
  return n;
}

// The 4-bit group of level (0 .. maxLevel - 1); only called with maxLevel in 1..16.
inline unsigned Group(unsigned long code, int level, int maxLevel) {
  return static_cast<unsigned>(code >> (4 * (maxLevel - level - 1))) & 0xFu;
}

// Union with the tie rule of the result sets: of two equal elements the one of the
// larger set stays (the left one when sizes match). Nodes move; nothing is copied.
template <class Id>
void UnionInto(std::set<Id>& out, std::set<Id>& tmp) {
  if (tmp.size() > out.size()) {
    tmp.merge(out);
    out.swap(tmp);
  } else {
    out.merge(tmp);
  }
}
template <class Id>
void UnionInto(std::vector<std::tuple<Id, Point>>& out, std::vector<std::tuple<Id, Point>>& tmp) {
  out.insert(out.end(), tmp.begin(), tmp.end());
}

// "<label>: <what> needs <bytes> bytes of memory, more than the <left> left of the <limit>
// this tile may take".
[[noreturn]] void RefuseMemory(const std::string& label, const std::string& what, std::uint64_t bytes,
                               const MemoryLimit& memory);

// Draws bytes from memory or refuses the tile; what() describes the part, only when refused.
template <class What>
void Draw(MemoryLimit& memory, std::uint64_t bytes, const std::string& label, const What& what) {
  if (!memory.Take(bytes)) RefuseMemory(label, what(), bytes, memory);
}

}  // namespace tile_detail

// Defined here so that each map's source instantiates the decoder of its own tile content.
template <class T>
void DoSeserialize(ByteView bytes, T& out, int type, MemoryLimit& memory) {
  if (type == 1) {
    // The text ends at its first NUL byte; the length is given exactly rather than as
    // "unbounded" so that no pointer past the buffer is ever formed.
    const char* const text = bytes.data != nullptr ? bytes.data : "";
    const void* const nul = bytes.size != 0 ? std::memchr(text, '\0', bytes.size) : nullptr;
    const std::size_t length =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : bytes.size;
    ajson::load_from_buff(out, text, length, memory);
  } else if (type == 2 || type == 3) {
    InArchive ar{bytes};  // bytes outlive the archive: read in place
    ar.SetMemoryLimit(&memory);
    ar >> out;
  }
}

template <class T>
void DoSeserialize(const std::string& bytes, T& out, int type, MemoryLimit& memory) {
  DoSeserialize(ByteView(bytes), out, type, memory);
}

template <class T>
void DoSeserialize(const std::string& bytes, T& out, int type) {
  MemoryLimit unlimited;
  DoSeserialize(bytes, out, type, unlimited);
}

template <class Id>
template <class Out>
void NodeQt<Id>::GetNodeIds(const Rect2D& q, std::uint32_t index, const Rect2D& cell, int level, Out& out) const {
  if (level == m_nMaxLevel) {
    Out tmp;
    m_leaves[index].GetData(q, tmp);
    tile_detail::UnionInto(out, tmp);
    return;
  }
  const inner& c = m_inner[index];
  // Same order as the bits: left-bottom, right-top, left-top, right-bottom.
  if (c.pLb != 0) {
    const Rect2D quad = cell.getLb();
    if (quad.intersect(q)) GetNodeIds(q, c.pLb, quad, level + 1, out);
  }
  if (c.pRt != 0) {
    const Rect2D quad = cell.getRt();
    if (quad.intersect(q)) GetNodeIds(q, c.pRt, quad, level + 1, out);
  }
  if (c.pLt != 0) {
    const Rect2D quad = cell.getLt();
    if (quad.intersect(q)) GetNodeIds(q, c.pLt, quad, level + 1, out);
  }
  if (c.pRb != 0) {
    const Rect2D quad = cell.getRb();
    if (quad.intersect(q)) GetNodeIds(q, c.pRb, quad, level + 1, out);
  }
}

template <class Id>
template <class Visit>
void NodeQt<Id>::VisitLeaves(const Rect2D& q, std::uint32_t index, const Rect2D& cell, int level,
                             Visit& visit) const {
  if (level == m_nMaxLevel) {
    visit(index);
    return;
  }
  const inner& c = m_inner[index];
  if (c.pLb != 0) {
    const Rect2D quad = cell.getLb();
    if (quad.intersect(q)) VisitLeaves(q, c.pLb, quad, level + 1, visit);
  }
  if (c.pRt != 0) {
    const Rect2D quad = cell.getRt();
    if (quad.intersect(q)) VisitLeaves(q, c.pRt, quad, level + 1, visit);
  }
  if (c.pLt != 0) {
    const Rect2D quad = cell.getLt();
    if (quad.intersect(q)) VisitLeaves(q, c.pLt, quad, level + 1, visit);
  }
  if (c.pRb != 0) {
    const Rect2D quad = cell.getRb();
    if (quad.intersect(q)) VisitLeaves(q, c.pRb, quad, level + 1, visit);
  }
}

template <class Id>
NodeQt<Id>::NodeQt(int maxLevel, const Rect2D& rect) : m_nMaxLevel(maxLevel), m_rect(rect) {
  if (maxLevel < 0 || maxLevel > sc_nQtMaxDepth) {
    // A negative depth never reaches a leaf and one above 16 has no group for its top levels.
    throw std::invalid_argument("qt_max_level " + std::to_string(maxLevel) + " is outside 0.." +
                                std::to_string(sc_nQtMaxDepth));
  }
  // The root, and leaf 0: the root itself at depth 0, a placeholder otherwise so that
  // index 0 never names a child.
  if (maxLevel > 0) m_inner.emplace_back();
  m_leaves.emplace_back();
}

template <class Id>
std::uint32_t NodeQt<Id>::NewChild(int childLevel) {
  if (childLevel == m_nMaxLevel) {
    m_leaves.emplace_back();
    return static_cast<std::uint32_t>(m_leaves.size() - 1);
  }
  m_inner.emplace_back();
  return static_cast<std::uint32_t>(m_inner.size() - 1);
}

template <class Id>
void NodeQt<Id>::Insert(std::uint32_t index, int level, unsigned long code, const outer& content) {
  if (level == m_nMaxLevel) {
    m_leaves[index] = content;  // the bucket replaces what an earlier one left
    return;
  }
  const unsigned g = tile_detail::Group(code, level, m_nMaxLevel);
  // Slots are re-read after every child is made: the arena may grow in between (a deque
  // keeps its elements in place, but the slot is looked up by index all the same).
  auto descend = [&](unsigned bit, std::uint32_t inner::*slot) {
    if ((g & bit) == 0) return;
    if (m_inner[index].*slot == 0) {
      const std::uint32_t child = NewChild(level + 1);
      m_inner[index].*slot = child;
    }
    Insert(m_inner[index].*slot, level + 1, code, content);
  };
  descend(1u, &inner::pLb);
  descend(2u, &inner::pRt);
  descend(4u, &inner::pLt);
  descend(8u, &inner::pRb);
}

template <class Id>
void NodeQt<Id>::Deserialize(const Rect2D& /*rect: the constructor's*/, std::vector<unsigned long> states,
                             std::vector<std::vector<Id>> nodes, std::vector<std::vector<Point>> ps,
                             const std::string& label, MemoryLimit* memory) {
  MemoryLimit slack(sc_nTileMemorySlack);
  MemoryLimit& limit = memory != nullptr ? *memory : slack;
  const std::size_t buckets = std::min(states.size(), std::min(nodes.size(), ps.size()));
  // Moving the arrays in keeps every inner array where it is: the leaves point into them.
  m_bucketIds = std::move(nodes);
  m_bucketPoints = std::move(ps);

  for (std::size_t i = 0; i < buckets; ++i) {
    // Cells below the root that this bucket enters, level by level: inner cells above the
    // leaves, and the leaves (the root itself at depth 0).
    std::uint64_t innerCells = 0;
    std::uint64_t width = 1;
    for (int level = 0; level < m_nMaxLevel && width != 0; ++level) {
      if (level > 0) innerCells += width;
      width *=
          static_cast<std::uint64_t>(tile_detail::BitCount(tile_detail::Group(states[i], level, m_nMaxLevel)));
    }
    const std::uint64_t leaves = width;  // at most 4^16: every sum and product here fits 64 bits
    const std::uint64_t bytes = innerCells * kInnerCost + leaves * kLeafCost;
    tile_detail::Draw(limit, bytes, label, [&] {
      return "bucket " + std::to_string(i) + ": path code " + std::to_string(states[i]) + " at depth " +
             std::to_string(m_nMaxLevel) + " enters " + std::to_string(innerCells + leaves) + " cells, which";
    });
    if (m_inner.size() + m_leaves.size() + innerCells + leaves >= UINT32_MAX) {
      throw TileTreeError(label, "bucket " + std::to_string(i) + ": the quadtree grows past " +
                                     std::to_string(UINT32_MAX) + " cells");
    }
    if (leaves == 0) continue;  // a zero group: the bucket reaches no leaf
    outer content;
    content.nPairs = static_cast<std::uint32_t>(std::min(m_bucketIds[i].size(), m_bucketPoints[i].size()));
    content.pIds = m_bucketIds[i].data();
    content.pPoints = m_bucketPoints[i].data();
    content.nBucket = static_cast<std::uint32_t>(i);
    Insert(0, 0, states[i], content);
  }
}

template <class Id>
void NodeQt<Id>::GetNodeIdsInRect(const Rect2D& q, std::set<Id>& out) const {
  static const std::string kSection = "NodeQt::GetNodeIdsInRect";
  Profiler::Start(kSection);
  GetNodeIds(q, 0, m_rect, 0, out);
  Profiler::End(kSection);
}

template <class Id>
void NodeQt<Id>::GetNodeIdsInRect(const Rect2D& q, std::vector<std::tuple<Id, Point>>& out) const {
  GetNodeIds(q, 0, m_rect, 0, out);
}

template <class Id>
bool NodeQt<Id>::GetNearestNodeId(const Point& p, const Rect2D& q, Id& id, double& dist, bool with3d) const {
  std::vector<std::tuple<Id, Point>> candidates;
  GetNodeIdsInRect(q, candidates);
  if (candidates.empty()) return false;
  const XYZ target = P2XYZ(p);  // D2XYZ of two Points projects both; p needs it once
  double best = std::numeric_limits<double>::max();
  const Id* winner = nullptr;
  for (const auto& candidate : candidates) {
    const double d = D2XYZ(P2XYZ(std::get<1>(candidate)), target, with3d);
    if (d < best) {  // strict: an equal distance later on does not replace the first
      best = d;
      winner = &std::get<0>(candidate);
    }
  }
  // Only a distance that is not a number or not finite (a height or position stored as
  // such) loses to the initial bound; such pairs are no answer, not a winner left unnamed.
  if (winner == nullptr) return false;
  id = *winner;
  dist = std::sqrt(best);
  return true;
}

template <class Id, class Node, class SerializeData>
void Tile<Id, Node, SerializeData>::Deserialize(const std::string& bytes) {
  Deserialize(ByteView(bytes));
}

template <class Id, class Node, class SerializeData>
void Tile<Id, Node, SerializeData>::Deserialize(ByteView bytes) {
  // Checked before the bytes are decoded: a bad depth fails every tile alike.
  if (MapConfig::qt_max_level < 0 || MapConfig::qt_max_level > sc_nQtMaxDepth) {
    throw std::invalid_argument("qt_max_level " + std::to_string(MapConfig::qt_max_level) + " is outside 0.." +
                                std::to_string(sc_nQtMaxDepth) + " (tile " + TId2String(m_tiId) + ")");
  }
  const std::string label = "tile " + TId2String(m_tiId);
  MemoryLimit memory(TileMemoryLimit(bytes.size));
  SerializeData content;
  DoSeserialize(bytes, content, MapConfig::serialize_type_json1_binary2, memory);

  auto tree = std::make_unique<NodeQt<Id>>(MapConfig::qt_max_level, content.r);
  tree->Deserialize(content.r, std::move(content.states), std::move(content.nodes), std::move(content.ps), label,
                    &memory);

  std::map<Id, Node> nodes;
  const std::size_t n = std::min(content.m_keys.size(), content.m_values.size());
  // A map node per record, allocated while the decoded record still holds its place.
  tile_detail::Draw(memory, n * MemoryLimit::Block(sizeof(std::pair<const Id, Node>) + 32), label,
                    [n] { return "the record map of " + std::to_string(n) + " records"; });
  for (std::size_t i = 0; i < n; ++i) {
    // try_emplace leaves both arguments untouched when the key is already there; the
    // hint makes files with ascending keys cost constant time per record.
    nodes.try_emplace(nodes.end(), std::move(content.m_keys[i]), std::move(content.m_values[i]));
  }
  for (const auto& record : nodes) CheckPositions(label, record.second);

  RecordTable table;
  tile_detail::Draw(memory, RecordTable::Cost(nodes), label,
                    [n] { return "the query data of " + std::to_string(n) + " records"; });
  table.Build(nodes);
  ResolvePairs(*tree, nodes, table, memory, label);
  m_mapNodes.swap(nodes);  // the nodes stay where they are: the entries' addresses hold
  m_table = std::move(table);
  m_pQt = std::move(tree);
}

template <class Id, class Node, class SerializeData>
void Tile<Id, Node, SerializeData>::ResolvePairs(const NodeQt<Id>& tree, const std::map<Id, Node>& nodes,
                                                 const RecordTable& table, MemoryLimit& memory,
                                                 const std::string& label) {
  const auto& leaves = tree.GetLeaves();
  const std::size_t buckets = tree.GetBucketCount();
  tile_detail::Draw(memory,
                    MemoryLimit::Block(buckets) + MemoryLimit::Block(buckets * sizeof(std::size_t)) +
                        MemoryLimit::Block(nodes.size() * sizeof(const Id*)),
                    label, [buckets] { return "the index of " + std::to_string(buckets) + " buckets"; });
  std::vector<char> done(buckets, 0);
  std::size_t pairs = 0;
  for (const outer_type& leaf : leaves) {
    if (leaf.nBucket == outer_type::kNoBucket || done[leaf.nBucket] != 0) continue;
    done[leaf.nBucket] = 1;
    pairs += leaf.nPairs;
  }
  // At most one run per pair; the list grows by doubling, so up to twice that while it is built.
  tile_detail::Draw(memory, 2 * MemoryLimit::Block(pairs * sizeof(PairRun)), label,
                    [pairs] { return "the records of " + std::to_string(pairs) + " pairs"; });

  // The keys in map order, beside the table's entries, to find a pair's entry by its id.
  std::vector<const Id*> keys;
  keys.reserve(nodes.size());
  for (const auto& record : nodes) keys.push_back(&record.first);
  const auto entryOf = [&](const Id& id) -> const Entry* {
    const auto it =
        std::lower_bound(keys.begin(), keys.end(), &id, [](const Id* a, const Id* b) { return *a < *b; });
    if (it == keys.end() || id < **it) return nullptr;
    return &table[static_cast<std::size_t>(it - keys.begin())];
  };

  std::vector<PairRun> runs;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> bucketRuns(buckets, {0, 0});
  std::fill(done.begin(), done.end(), 0);
  // Ids of one bucket repeat, so the last lookup is kept for the next pair.
  const Id* lastId = nullptr;
  const Entry* lastEntry = nullptr;
  for (const outer_type& leaf : leaves) {
    if (leaf.nBucket == outer_type::kNoBucket || done[leaf.nBucket] != 0) continue;
    done[leaf.nBucket] = 1;
    const std::size_t first = runs.size();
    const Entry* runEntry = nullptr;  // the entry of the open run, null: none open
    for (std::size_t k = 0; k < leaf.nPairs; ++k) {
      const Id& id = leaf.id(k);
      if (lastId == nullptr || *lastId < id || id < *lastId) {  // the map's own equivalence
        lastEntry = entryOf(id);
        lastId = &id;
      }
      if (lastEntry == nullptr) {
        runEntry = nullptr;
        continue;
      }
      const Point& v = leaf.point(k);
      if (lastEntry != runEntry) {
        runs.push_back(
            PairRun{lastEntry, v.dLon, v.dLon, v.dLat, v.dLat, static_cast<std::uint32_t>(k), 0, false});
        runEntry = lastEntry;
      }
      PairRun& run = runs.back();
      ++run.nCount;
      if (std::isnan(v.dLon) || std::isnan(v.dLat)) run.bScan = true;
      run.dLon0 = std::min(run.dLon0, v.dLon);
      run.dLon1 = std::max(run.dLon1, v.dLon);
      run.dLat0 = std::min(run.dLat0, v.dLat);
      run.dLat1 = std::max(run.dLat1, v.dLat);
    }
    bucketRuns[leaf.nBucket] = {static_cast<std::uint32_t>(first),
                                static_cast<std::uint32_t>(runs.size() - first)};
  }
  m_runs.swap(runs);
  m_bucketRuns.swap(bucketRuns);
}

template <class Id, class Node, class SerializeData>
const Node* Tile<Id, Node, SerializeData>::GetNodeData(const Id& id) const {
  const auto it = m_mapNodes.find(id);
  return it == m_mapNodes.end() ? nullptr : &it->second;
}

template <class Id, class Node, class SerializeData>
void Tile<Id, Node, SerializeData>::GetNodeIdsInRect(const Rect2D& q, std::set<Id>& out) const {
  if (m_pQt) m_pQt->GetNodeIdsInRect(q, out);
}

template <class Id, class Node, class SerializeData>
bool Tile<Id, Node, SerializeData>::GetNearestNodeId(const Point& p, const Rect2D& q, Id& id, double& dist,
                                                     bool with3d) const {
  return m_pQt && m_pQt->GetNearestNodeId(p, q, id, dist, with3d);
}

template <class Id, class Node, class SerializeData>
template <class Visit>
void Tile<Id, Node, SerializeData>::VisitEntriesInRect(const Rect2D& q, Visit&& visit) const {
  if (!m_pQt) return;
  const auto& leaves = m_pQt->GetLeaves();
  // The leaves of q in walk order, gathered first: a leaf, its bucket's run list and the runs lie
  // far apart in memory, so each stage is asked for over all leaves before the next one reads it,
  // and the cache misses of a large map overlap instead of following one another.
  thread_local std::vector<std::uint32_t> reached;
  reached.clear();
  m_pQt->VisitLeavesInRect(q, [](std::uint32_t index) { reached.push_back(index); });
  for (const std::uint32_t index : reached) __builtin_prefetch(&leaves[index]);
  for (const std::uint32_t index : reached) {
    const outer_type& leaf = leaves[index];
    if (leaf.nPairs != 0) __builtin_prefetch(&m_bucketRuns[leaf.nBucket]);
  }
  for (const std::uint32_t index : reached) {
    const outer_type& leaf = leaves[index];
    if (leaf.nPairs == 0) continue;
    const auto range = m_bucketRuns[leaf.nBucket];
    const char* first = reinterpret_cast<const char*>(m_runs.data() + range.first);
    const std::size_t bytes = std::min<std::size_t>(range.second * sizeof(PairRun), 8 * 64);
    for (std::size_t b = 0; b < bytes; b += 64) __builtin_prefetch(first + b);
  }
  for (const std::uint32_t index : reached) {
    const outer_type& leaf = leaves[index];
    if (leaf.nPairs == 0) continue;
    const Point* points = leaf.pPoints;
    const auto range = m_bucketRuns[leaf.nBucket];
    const PairRun* runs = m_runs.data() + range.first;
    const Entry* last = nullptr;  // the entry visited last: a repeat is skipped
    const double lon0 = q.lb.dLon, lon1 = q.rt.dLon, lat0 = q.lb.dLat, lat1 = q.rt.dLat;
    for (std::uint32_t r = 0; r < range.second; ++r) {
      const PairRun& run = runs[r];
      if (run.pEntry == last) continue;
      bool hit = false;
      if (!run.bScan && (run.dLon1 < lon0 || run.dLon0 >= lon1 || run.dLat1 < lat0 || run.dLat0 >= lat1)) {
        continue;  // every point lies outside q (lb <= p < rt)
      }
      if (!run.bScan && lon0 <= run.dLon0 && run.dLon1 < lon1 && lat0 <= run.dLat0 && run.dLat1 < lat1) {
        hit = true;  // every point lies inside
      } else {
        const Point* v = points + run.nFirst;
        for (std::uint32_t k = 0; k < run.nCount && !hit; ++k) {
          // Rect2D::Contains without its branches.
          hit = (lon0 <= v[k].dLon) & (v[k].dLon < lon1) & (lat0 <= v[k].dLat) & (v[k].dLat < lat1);
        }
      }
      if (hit) {
        visit(*run.pEntry);
        last = run.pEntry;
      }
    }
  }
}

template <class Id, class Node, class SerializeData>
void Tile<Id, Node, SerializeData>::CollectNodesInRect(const Rect2D& q, std::vector<const Node*>& out) const {
  VisitEntriesInRect(q, [&out](const Entry& entry) { out.push_back(entry.pRecord); });
}

template <class Id, class Node, class SerializeData>
void Tile<Id, Node, SerializeData>::CollectEntriesInRect(const Rect2D& q, std::vector<const Entry*>& out) const {
  if constexpr (std::is_same_v<RecordTable, LinkSummaryTable>) m_table.WorkOutPlaneLines();
  VisitEntriesInRect(q, [&out](const Entry& entry) { out.push_back(&entry); });
}

template <class Id, class Node, class SerializeData>
void Tile<Id, Node, SerializeData>::GetNodesInRect(const Rect2D& q, std::set<const Node*>& out) const {
  static const std::string kSection = "Tile::GetNodeIdsInRect";
  static const std::string kSection1 = "Tile::GetNodeIdsInRect 1";
  static const std::string kSection2 = "Tile::GetNodeIdsInRect 2";
  Profiler::Start(kSection);
  Profiler::Start(kSection1);
  std::set<Id> ids;
  GetNodeIdsInRect(q, ids);
  Profiler::End(kSection1);
  Profiler::Start(kSection2);
  for (const Id& id : ids) {
    const auto it = m_mapNodes.find(id);
    if (it != m_mapNodes.end()) out.insert(&it->second);
  }
  Profiler::End(kSection2);
  Profiler::End(kSection);
}

extern template class NodeQt<HdLinkId>;
extern template class Tile<HdLinkId, HdLink, HdSerializeData>;
extern template void DoSeserialize<HdSerializeData>(const std::string&, HdSerializeData&, int);

}  // namespace ql
