#pragma once  // World.h: the process-wide tile cache that finds, reads and decodes tile files

// A World keeps every tile it decoded until the process ends, so the record pointers it
// hands out stay valid. Each tile id is in one of three states:
//   unknown  never asked for, or every attempt so far raised while decoding;
//   cached   read and decoded (final, whatever the content held);
//   failed   the file was missing or could not be opened (final: never read again).
// A tile that raises while it is read or decoded (a JSON syntax error, a binary file the
// archive rejects, an encrypted file that does not decrypt, a file over 1 GiB, content that
// would outgrow its memory limit, a position tuple without latitude) stays unknown, and the
// exception, naming the tile file, leaves the World call that asked. A file that is there but
// cannot be read (not a regular file, no permission) is failed and named on standard error.

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "Archive.h"
#include "CoordSys.h"
#include "FileBuffer.h"
#include "FileSys.h"
#include "HdTypes.h"
#include "MapConfig.h"
#include "Profiler.h"
#include "Save.h"
#include "Tile.h"
#include "Utils.h"

namespace ql {

// acc = init; acc = op(acc, f(element)) for each element in order; returns acc. Runs in the
// calling thread. The running value is moved into op, so an op taking it by value costs
// no copy.
template <class Result, class It, class F, class Op>
Result ParallelAccumulate(const It& first, const It& last, const Result& init, F f, Op op) {
  Result acc = init;
  for (It it = first; it != last; ++it) acc = op(std::move(acc), f(*it));
  return acc;
}

template <class Id, class Node, class TileT>
class World {
 public:
  using TileMap = std::map<TileId, std::shared_ptr<TileT>>;

  // save is not owned and never freed here.
  explicit World(Save* save) : m_pSave(save) {}
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  // Lists the tile directory and loads every tile named there that is neither cached nor
  // failed. Entry names are read as "col,row" ("." and ".." name no tile; any other name
  // without two numbers names tile (0, 0)). Each raises std::runtime_error and loads nothing:
  // - a serialize type that names no directory: "tile directory not found or not readable:
  //   serialize_type_json1_binary2 is <n>, which names none (1: JSON tiles, 2: binary tiles)";
  // - a directory that cannot be opened or read: "tile directory not found or not readable:
  //   <dir> (<reason>), set by <setting>", the reason the system's ("No such file or directory");
  // - a directory with entries of which none names a tile that is cached after the call (other
  //   files only, or tiles that cannot be read): "tile directory holds no readable tile: <dir>,
  //   set by <setting>".
  // The setting is the one the serialize type chose ("hd_config.save_dir_binary"). An empty
  // directory loads nothing and raises nothing; one where some tiles load leaves the others
  // failed. All or nothing: when this raises (or a tile does), the cache and the failed set are
  // put back as they were before the call, so that a retry (perhaps with other settings) starts
  // clean.
  void LoadAllTilesOnce();

  // The requested tiles that are cached after the call, loading the unknown ones in
  // TileId order.
  TileMap LoadTiles(const std::set<TileId>& ids);

  // The tile, from the cache or read now: false (out untouched) when it failed.
  bool LoadTile(const TileId& id, std::shared_ptr<TileT>& out);

  // Whether the tile is cached, and then the tile.
  bool LoadedTile(const TileId& id, std::shared_ptr<TileT>& out) const;

  // Decodes bytes into a new tile and caches it (an already cached tile is not
  // replaced). On an exception nothing is cached and the exception, naming the file,
  // propagates.
  std::shared_ptr<TileT> NewTileDeserialize(std::string& bytes, const TileId& id);
  std::shared_ptr<TileT> NewTileDeserialize(ByteView bytes, const TileId& id);

  // LoadTiles of the tiles the rectangle touches (configured intervals; none when both are 0).
  TileMap LoadTileInRect(const Rect2D& rect);

  // The record of id from the last tile of its tile list, after loading every tile of the
  // list; null when a listed tile failed, the list is empty, or the last tile lacks id.
  const Node* GetNodeData(const Id& id);
  // The same for an id whose record a box search handed out as entry: the id's last tile is not
  // searched when it holds entry as its own record (Tile::IsOwnRecord).
  const Node* GetNodeData(const Id& id, const typename TileT::Entry& entry);

  // The records, or ids, indexed inside rect over every tile it touches. A link indexed
  // in two tiles comes back as two records (one per tile) but as one id.
  std::set<const Node*> GetNodesInRect(const Rect2D& rect);
  std::set<Id> GetNodeIdsInRect(const Rect2D& rect);
  // The records of GetNodesInRect in the same order (ascending address), as a vector:
  // out is replaced. Tiles are loaded and queried as GetNodesInRect does.
  void CollectNodesInRect(const Rect2D& rect, std::vector<const Node*>& out);
  // The same records' entries (Tile::Entry: the record and what the location queries read of
  // it), ascending by record address and once each; out is replaced.
  void CollectEntriesInRect(const Rect2D& rect, std::vector<const typename TileT::Entry*>& out);

  // The id indexed nearest to p inside rect over every tile it touches, loaded as needed
  // in TileId order (Tile::GetNearestNodeId per tile; of equal distances the first tile's
  // node wins). id and dist are always written: Id() and the largest finite double when
  // no tile holds a pair in rect, and the function returns false then.
  bool GetNearestNodeId(const Point& p, const Rect2D& rect, Id& id, double& dist, bool with3d);

  Save* GetSave() const { return m_pSave; }

  // Read-only views for callers and tests.
  const TileMap& GetTiles() const { return m_mapTiles; }
  const std::set<TileId>& GetFailedTiles() const { return m_setFailedTiles; }

 private:
  // The cached tile, or the tile read now, or null when it failed.
  const TileT* AvailableTile(const TileId& id);
  // The last tile of the id's tile list after loading every one of them; null when one fails or
  // the list is empty.
  const TileT* LastTileOf(const Id& id);
  // LoadTile reading the file, when it must, into bytes (reused from tile to tile).
  bool LoadTile(const TileId& id, std::shared_ptr<TileT>& out, FileBuffer& bytes);

  TileMap m_mapTiles;
  std::set<TileId> m_setFailedTiles;
  Save* m_pSave;
};

using HdWorld = World<HdLinkId, HdLink, HdTile>;

// Creator of the HD World for ql::Singleton: a new Save and a World over it, never freed
// once an initialisation has succeeded. Destroy frees both again (null does nothing), for an
// initialisation that fails before any record was handed out.
struct NewHdWorld {
  static HdWorld* Create();
  static void Destroy(HdWorld* world);
};

// ---- implementation ---------------------------------------------------------------

namespace world_detail {

// Rethrows the exception in flight with the tile file named (see World.cpp).
[[noreturn]] void RethrowNamingFile(const std::string& path);

// The tile list of an id without copying it where the id keeps one.
inline const std::vector<TileId>& TileListOf(const HdLinkId& id) { return id.vcttiTileIds; }
template <class Id>
std::vector<TileId> TileListOf(const Id& id) {
  return id.GetTileIds();
}

// The fold's step over the per-tile result sets: Utils::UnionInto, the running set on the
// left; nodes move, nothing is copied.
template <class Set>
Set UnionBySize(Set a, Set b) {
  Utils::UnionInto(a, b);
  return a;
}

// The box searches fill lists that their callers keep from call to call. A list that one call
// (a box over some hostile tile) made large gives its memory back once the answer is small again,
// instead of holding it for the rest of the process; everyday sizes stay allocated.
constexpr std::size_t kKeptListEntries = std::size_t{1} << 14;
template <class T>
void ReleaseSurplus(std::vector<T>& list) {
  if (list.capacity() > kKeptListEntries && list.size() <= kKeptListEntries) list.shrink_to_fit();
}

}  // namespace world_detail

template <class Id, class Node, class TileT>
void World<Id, Node, TileT>::LoadAllTilesOnce() {
  const std::string setting = Save::GetSerializeDirSetting<TileT>();
  if (setting.empty()) {
    throw std::runtime_error("tile directory not found or not readable: serialize_type_json1_binary2 is " +
                             std::to_string(MapConfig::serialize_type_json1_binary2) +
                             ", which names none (1: JSON tiles, 2: binary tiles)");
  }
  const std::string dir = Save::GetSerializeDir<TileT>();
  std::vector<std::string> names;
  std::string unlisted;
  if (!FileSys::GetAllFiles(dir, names, unlisted)) {
    throw std::runtime_error("tile directory not found or not readable: " + dir + " (" + unlisted + "), set by " +
                             setting);
  }
  std::set<TileId> ids;
  for (const std::string& name : names) {
    if (name != "." && name != "..") ids.insert(String2TId(name));
  }
  TileMap tilesBefore = m_mapTiles;  // shared pointers: the tiles themselves are not copied
  std::set<TileId> failedBefore = m_setFailedTiles;
  try {
    // A map without tiles would answer every request "not on the map" for the rest of the
    // process. An empty directory is such a map on purpose; entries of which none loads are a
    // mistake to report: most often the directory setting is missing or misspelt, so that the
    // project directory with its configuration files is listed.
    if (!ids.empty() && LoadTiles(ids).empty())
      throw std::runtime_error("tile directory holds no readable tile: " + dir + ", set by " + setting);
  } catch (...) {
    m_mapTiles.swap(tilesBefore);  // the tiles of this call go when tilesBefore does
    m_setFailedTiles.swap(failedBefore);
    throw;
  }
}

template <class Id, class Node, class TileT>
typename World<Id, Node, TileT>::TileMap World<Id, Node, TileT>::LoadTiles(const std::set<TileId>& ids) {
  TileMap result;
  FileBuffer bytes;  // one buffer for every file read here: its pages are faulted in once
  for (const TileId& id : ids) {
    std::shared_ptr<TileT> tile;
    if (LoadTile(id, tile, bytes)) {
      result.emplace_hint(result.end(), id, std::move(tile));
    } else {
      m_setFailedTiles.insert(id);
    }
  }
  return result;
}

template <class Id, class Node, class TileT>
bool World<Id, Node, TileT>::LoadTile(const TileId& id, std::shared_ptr<TileT>& out) {
  FileBuffer bytes;  // maps nothing unless the tile is read
  return LoadTile(id, out, bytes);
}

template <class Id, class Node, class TileT>
bool World<Id, Node, TileT>::LoadTile(const TileId& id, std::shared_ptr<TileT>& out, FileBuffer& bytes) {
  if (m_setFailedTiles.count(id) != 0) return false;
  if (LoadedTile(id, out)) return true;
  if (m_pSave->template LoadTile<TileT>(id, bytes)) {
    out = NewTileDeserialize(ByteView(bytes.data(), bytes.size()), id);
    return true;
  }
  m_setFailedTiles.insert(id);
  return false;
}

template <class Id, class Node, class TileT>
bool World<Id, Node, TileT>::LoadedTile(const TileId& id, std::shared_ptr<TileT>& out) const {
  const auto it = m_mapTiles.find(id);
  if (it == m_mapTiles.end()) return false;
  out = it->second;
  return true;
}

template <class Id, class Node, class TileT>
std::shared_ptr<TileT> World<Id, Node, TileT>::NewTileDeserialize(std::string& bytes, const TileId& id) {
  return NewTileDeserialize(ByteView(bytes), id);
}

template <class Id, class Node, class TileT>
std::shared_ptr<TileT> World<Id, Node, TileT>::NewTileDeserialize(ByteView bytes, const TileId& id) {
  auto tile = std::make_shared<TileT>(id);
  try {
    tile->Deserialize(bytes);
  } catch (...) {
    world_detail::RethrowNamingFile(m_pSave->template TilePath<TileT>(id));
  }
  return m_mapTiles.emplace(id, std::move(tile)).first->second;
}

template <class Id, class Node, class TileT>
typename World<Id, Node, TileT>::TileMap World<Id, Node, TileT>::LoadTileInRect(const Rect2D& rect) {
  return LoadTiles(R2TIds(rect));
}

template <class Id, class Node, class TileT>
const TileT* World<Id, Node, TileT>::AvailableTile(const TileId& id) {
  const auto it = m_mapTiles.find(id);
  if (it != m_mapTiles.end()) return it->second.get();
  std::shared_ptr<TileT> tile;
  return LoadTile(id, tile) ? tile.get() : nullptr;  // the cache keeps it alive
}

template <class Id, class Node, class TileT>
const TileT* World<Id, Node, TileT>::LastTileOf(const Id& id) {
  const TileT* last = nullptr;
  for (const TileId& t : world_detail::TileListOf(id)) {
    last = AvailableTile(t);
    if (last == nullptr) return nullptr;
  }
  return last;
}

template <class Id, class Node, class TileT>
const Node* World<Id, Node, TileT>::GetNodeData(const Id& id) {
  const TileT* last = LastTileOf(id);
  return last == nullptr ? nullptr : last->GetNodeData(id);
}

template <class Id, class Node, class TileT>
const Node* World<Id, Node, TileT>::GetNodeData(const Id& id, const typename TileT::Entry& entry) {
  const TileT* last = LastTileOf(id);
  if (last == nullptr) return nullptr;
  return last->IsOwnRecord(entry) ? entry.pRecord : last->GetNodeData(id);
}

template <class Id, class Node, class TileT>
std::set<const Node*> World<Id, Node, TileT>::GetNodesInRect(const Rect2D& rect) {
  static const std::string kSection = "World::GetNodesInRect";
  Profiler::Start(kSection);
  // Tiles are loaded and queried in TileId order; a tile that raises ends the call, as
  // it would had every tile been loaded first (queries change nothing).
  const std::set<TileId> ids = R2TIds(rect);
  std::set<const Node*> result = ParallelAccumulate(
      ids.begin(), ids.end(), std::set<const Node*>(),
      [this, &rect](const TileId& t) {
        std::set<const Node*> s;
        if (const TileT* tile = AvailableTile(t)) tile->GetNodesInRect(rect, s);
        return s;
      },
      world_detail::UnionBySize<std::set<const Node*>>);
  Profiler::End(kSection);
  return result;
}

template <class Id, class Node, class TileT>
std::set<Id> World<Id, Node, TileT>::GetNodeIdsInRect(const Rect2D& rect) {
  static const std::string kSection = "World::GetNodeIdsInRect";
  Profiler::Start(kSection);
  const std::set<TileId> ids = R2TIds(rect);
  std::set<Id> result = ParallelAccumulate(
      ids.begin(), ids.end(), std::set<Id>(),
      [this, &rect](const TileId& t) {
        std::set<Id> s;
        if (const TileT* tile = AvailableTile(t)) tile->GetNodeIdsInRect(rect, s);
        return s;
      },
      world_detail::UnionBySize<std::set<Id>>);
  Profiler::End(kSection);
  return result;
}

template <class Id, class Node, class TileT>
void World<Id, Node, TileT>::CollectNodesInRect(const Rect2D& rect, std::vector<const Node*>& out) {
  out.clear();
  thread_local std::vector<TileId> tiles;  // kept from call to call
  R2TIdsInto(rect, tiles);
  for (const TileId& t : tiles) {
    if (const TileT* tile = AvailableTile(t)) tile->CollectNodesInRect(rect, out);
  }
  std::sort(out.begin(), out.end(), std::less<const Node*>());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  world_detail::ReleaseSurplus(out);
}

template <class Id, class Node, class TileT>
void World<Id, Node, TileT>::CollectEntriesInRect(const Rect2D& rect,
                                                  std::vector<const typename TileT::Entry*>& out) {
  using Entry = typename TileT::Entry;
  out.clear();
  thread_local std::vector<TileId> tiles;  // kept from call to call
  R2TIdsInto(rect, tiles);
  for (const TileId& t : tiles) {
    if (const TileT* tile = AvailableTile(t)) tile->CollectEntriesInRect(rect, out);
  }
  // An entry is one record: ordered and told apart by the record's address.
  std::sort(out.begin(), out.end(),
            [](const Entry* a, const Entry* b) { return std::less<const Node*>()(a->pRecord, b->pRecord); });
  out.erase(std::unique(out.begin(), out.end()), out.end());
  world_detail::ReleaseSurplus(out);
}

template <class Id, class Node, class TileT>
bool World<Id, Node, TileT>::GetNearestNodeId(const Point& p, const Rect2D& rect, Id& id, double& dist,
                                              bool with3d) {
  double best = std::numeric_limits<double>::max();
  Id bestId = Id();
  bool found = false;
  for (const TileId& t : R2TIds(rect)) {
    std::shared_ptr<TileT> tile;
    if (!LoadTile(t, tile)) continue;
    // The tile writes the caller's outputs; a tile that raises while loading leaves them
    // as the tiles before it wrote them.
    if (tile->GetNearestNodeId(p, rect, id, dist, with3d) && dist < best) {
      best = dist;
      bestId = id;
      found = true;
    }
  }
  id = bestId;
  dist = best;
  return found;
}

extern template class World<HdLinkId, HdLink, HdTile>;

}  // namespace ql
