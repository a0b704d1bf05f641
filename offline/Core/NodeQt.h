#pragma once  // NodeQt.h: the quadtree of one tile, built from the file's path-coded buckets

// The tree's shape is not computed here: every bucket of a tile file carries a path code
// (one 4-bit group per level, level 0 in the highest used group) whose set bits name the
// quadrants it descends into:
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
#include <deque>
#include <limits>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "CoordSys.h"
#include "Errors.h"
#include "MapConfig.h"
#include "MemoryLimit.h"
#include "Profiler.h"
#include "Utils.h"

namespace ql {

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

// The buckets one query has already read. Many leaves may refer to one bucket (a bucket whose
// path code enters every leaf is the extreme), and a query that read its pairs once gains nothing
// from reading them again: the ids, records and distances they give are the same from any leaf.
// A mark is the number of the query that set it, so a new query needs no clearing, also when the
// previous one ended in an exception.
class BucketMarks {
 public:
  // Starts a query over a tree of that many buckets.
  void Begin(std::size_t buckets) {
    if (++m_now == 0) {  // the numbers wrapped around: every old mark could be taken for new
      std::fill(m_marks.begin(), m_marks.end(), 0u);
      m_now = 1;
    }
    if (m_marks.size() < buckets) m_marks.resize(buckets, 0u);
  }
  // True the first time this query asks for bucket b.
  bool First(std::uint32_t b) {
    if (m_marks[b] == m_now) return false;
    m_marks[b] = m_now;
    return true;
  }
  // For tests of the wrap-around: numbers the queries on as if lastQuery had just begun; the
  // marks stay as they are.
  void SkipTo(std::uint32_t lastQuery) { m_now = lastQuery; }

 private:
  std::vector<std::uint32_t> m_marks;
  std::uint32_t m_now = 0;
};

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

  // Adds to out the ids indexed at a point inside q (half-open). Each bucket the leaves of q
  // refer to is read once, however many of those leaves refer to it.
  void GetNodeIdsInRect(const Rect2D& q, std::set<Id>& out) const;
  // The same walk for callers that need every matching pair with its point: the pairs of every
  // leaf reached, so a bucket's pairs come once per leaf that refers to it (leaves x pairs).
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
  // Calls visit(leafIndex) for every leaf below the cell of the given index, which covers cell
  // and sits at level, that the walk of q reaches: every quadrant that meets q, touching
  // included, in the order of the bits; the cell itself is not tested.
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

// ---- implementation ---------------------------------------------------------------

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
  thread_local tile_detail::BucketMarks marks;
  marks.Begin(GetBucketCount());
  auto visit = [&](std::uint32_t index) {
    const outer& leaf = m_leaves[index];
    if (leaf.nPairs == 0 || !marks.First(leaf.nBucket)) return;
    std::set<Id> tmp;
    leaf.GetData(q, tmp);
    Utils::UnionInto(out, tmp);  // the result sets' tie rule; a bucket read again would leave out as it is
  };
  VisitLeaves(q, 0, m_rect, 0, visit);
  Profiler::End(kSection);
}

template <class Id>
void NodeQt<Id>::GetNodeIdsInRect(const Rect2D& q, std::vector<std::tuple<Id, Point>>& out) const {
  auto visit = [&](std::uint32_t index) { m_leaves[index].GetData(q, out); };
  VisitLeaves(q, 0, m_rect, 0, visit);
}

template <class Id>
bool NodeQt<Id>::GetNearestNodeId(const Point& p, const Rect2D& q, Id& id, double& dist, bool with3d) const {
  // The pairs of GetNodeIdsInRect(q) measured as the walk reaches them, each bucket once: a pair
  // met again at a later leaf is at the same distance and cannot take the strict lead.
  thread_local tile_detail::BucketMarks marks;
  marks.Begin(GetBucketCount());
  bool projected = false;
  XYZ target{};  // D2XYZ of two Points projects both; p needs it once
  double best = std::numeric_limits<double>::max();
  const Id* winner = nullptr;
  auto visit = [&](std::uint32_t index) {
    const outer& leaf = m_leaves[index];
    if (leaf.nPairs == 0 || !marks.First(leaf.nBucket)) return;
    for (std::size_t k = 0; k < leaf.nPairs; ++k) {
      if (!q.Contains(leaf.point(k))) continue;
      if (!projected) {
        target = P2XYZ(p);
        projected = true;
      }
      const double d = D2XYZ(P2XYZ(leaf.point(k)), target, with3d);
      if (d < best) {  // strict: an equal distance later on does not replace the first
        best = d;
        winner = &leaf.id(k);
      }
    }
  };
  VisitLeaves(q, 0, m_rect, 0, visit);
  // Only a distance that is not a number or not finite (a height or position stored as
  // such) loses to the initial bound; such pairs are no answer, not a winner left unnamed.
  if (winner == nullptr) return false;
  id = *winner;
  dist = std::sqrt(best);
  return true;
}

}  // namespace ql
