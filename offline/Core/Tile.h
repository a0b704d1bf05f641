#pragma once  // Tile.h: one decoded tile file, its records by id and its per-tile quadtree

// A tile holds the records of one tile file by id and a quadtree of fixed depth over the
// tile's rectangle (NodeQt.h), whose leaves refer to the buckets' (id, point) pairs.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
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
#include "NodeQt.h"
#include "Profiler.h"
#include "ajson.hpp"

namespace ql {

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

// Refuses with TileLimitError, labelled with label, content holding a list longer than its limit
// (LinkLimits.h): the tile list of a link id (a key, a record's own id or a listing), the lanes of
// a link, its successor or predecessor listing, or a lane's. Content of other maps passes.
void CheckListLengths(const std::string& label, const HdSerializeData& content);
template <class Content>
void CheckListLengths(const std::string& /*label*/, const Content& /*content*/) {}

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
  // of fewer than two values, TileLimitError for a list longer than its limit (LinkLimits.h);
  // the errors of the tile's own checks are labelled
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
  // Fills m_runs and m_bucketRuns for the buckets the tree's leaves refer to, from table, which
  // holds the entries of nodes in map order.
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
  CheckListLengths(label, content);

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
  // Of the leaves that refer to one bucket only the first is kept: the bucket's runs give the
  // same entries from any of them, and a bucket entering every leaf would otherwise be read once
  // per leaf.
  thread_local std::vector<std::uint32_t> reached;
  thread_local tile_detail::BucketMarks marks;
  reached.clear();
  m_pQt->VisitLeavesInRect(q, [](std::uint32_t index) { reached.push_back(index); });
  for (const std::uint32_t index : reached) __builtin_prefetch(&leaves[index]);
  marks.Begin(m_pQt->GetBucketCount());
  std::size_t kept = 0;
  for (const std::uint32_t index : reached) {
    const outer_type& leaf = leaves[index];
    if (leaf.nPairs == 0 || !marks.First(leaf.nBucket)) continue;
    __builtin_prefetch(&m_bucketRuns[leaf.nBucket]);
    reached[kept++] = index;
  }
  reached.resize(kept);
  for (const std::uint32_t index : reached) {
    const outer_type& leaf = leaves[index];
    const auto range = m_bucketRuns[leaf.nBucket];
    const char* first = reinterpret_cast<const char*>(m_runs.data() + range.first);
    const std::size_t bytes = std::min<std::size_t>(range.second * sizeof(PairRun), 8 * 64);
    for (std::size_t b = 0; b < bytes; b += 64) __builtin_prefetch(first + b);
  }
  for (const std::uint32_t index : reached) {
    const outer_type& leaf = leaves[index];
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
  // A box over a deep tree may reach hundreds of thousands of leaves; the list does not keep
  // that size for the rest of the thread.
  if (reached.capacity() > (std::size_t{1} << 16)) std::vector<std::uint32_t>().swap(reached);
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
