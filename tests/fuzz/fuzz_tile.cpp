// Loads arbitrary bytes as an HD tile, as the store does: as a JSON tile, as a binary tile and,
// when they decrypt, as an encrypted binary tile. A tile that loads is cached in a fresh HD store
// under the grid tile of its rectangle's centre, and the location queries run at positions over
// that rectangle: the whole request (GetMapData), the lane search, the crossing test, the nearest
// lane line, and the box searches of the tile and its quadtree in both result forms.
//
// Loading may refuse the bytes with the errors it documents (the readers', the tile's own
// checks). A finding is anything else: a crash, a sanitizer report, another exception, an
// exception out of any query of a tile that loaded, answers of the box searches that disagree
// with each other, a hang, or a build, or the queries at one position, whose heap goes past
// 18 x the input's size + 32 MiB.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "Archive.h"
#include "CoordSys.h"
#include "Errors.h"
#include "FileSys.h"
#include "FuzzHeap.h"
#include "HdLib.h"
#include "MapConfig.h"
#include "MapInterface.h"
#include "Singleton.h"
#include "World.h"
#include "ajson.hpp"
#include "xxtea.h"

namespace {

using HdStore = ql::Singleton<ql::HdWorld, ql::NewHdWorld>;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz_tile: %s\n", what);
    std::abort();
  }
}

// The errors a tile that cannot be used is refused with.
bool IsRefusal(const std::exception& e) {
  return dynamic_cast<const ajson::exception*>(&e) != nullptr ||
         dynamic_cast<const ql::ArchiveError*>(&e) != nullptr ||
         dynamic_cast<const ql::TileTreeError*>(&e) != nullptr ||
         dynamic_cast<const ql::TileGeometryError*>(&e) != nullptr;
}

// Builds the tile, counting its heap; null when the bytes are refused.
std::unique_ptr<ql::HdTile> Build(const std::string& bytes) {
  auto tile = std::make_unique<ql::HdTile>(ql::TileId(0, 0));
  fz::g_heap.Start();
  bool loaded = true;
  try {
    tile->Deserialize(bytes);
  } catch (const std::exception& e) {
    fz::g_heap.Stop();
    Check(IsRefusal(e), e.what());
    loaded = false;
  }
  const std::size_t peak = fz::g_heap.Stop();
  const std::size_t bound = 18 * bytes.size() + (std::size_t{32} << 20);
  Check(peak + bytes.size() <= bound, "building the tile took more than its memory bound");
  return loaded ? std::move(tile) : nullptr;
}

// Positions over the rectangle (a grid of 3 x 3 inside it, its corners) and the first indexed
// point of the first leaves.
std::vector<ql::Point> Positions(const ql::HdTile& tile) {
  const ql::Rect2D& r = tile.GetQuadtree()->GetRect();
  std::vector<ql::Point> out;
  for (double fx : {0.0, 0.25, 0.5, 0.75, 1.0}) {
    for (double fy : {0.0, 0.5, 1.0}) {
      out.emplace_back(r.lb.dLon + fx * (r.rt.dLon - r.lb.dLon), r.lb.dLat + fy * (r.rt.dLat - r.lb.dLat), 0.0);
    }
  }
  std::size_t taken = 0;
  for (const auto& leaf : tile.GetQuadtree()->GetLeaves()) {
    if (leaf.size() == 0) continue;
    out.push_back(leaf.point(0));
    if (++taken == 8) break;
  }
  return out;
}

// The box searches of one tile over q must agree with each other and with the plain definition:
// the ids of every pair in q of every bucket the leaves of q refer to, each bucket read once.
void BoxSearches(const ql::HdTile& tile, const ql::Rect2D& q) {
  std::set<ql::HdLinkId> ids;
  tile.GetNodeIdsInRect(q, ids);
  const ql::NodeQt<ql::HdLinkId>& tree = *tile.GetQuadtree();
  std::set<std::uint32_t> buckets;
  std::set<ql::HdLinkId> plain;
  tree.VisitLeavesInRect(q, [&](std::uint32_t index) {
    const auto& leaf = tree.GetLeaves()[index];
    if (leaf.nPairs == 0 || !buckets.insert(leaf.nBucket).second) return;
    for (std::size_t k = 0; k < leaf.size(); ++k) {
      if (q.Contains(leaf.point(k))) plain.insert(leaf.id(k));
    }
  });
  Check(plain == ids, "the box search and the plain definition disagree");
  std::set<const ql::HdLink*> records;
  tile.GetNodesInRect(q, records);
  std::set<const ql::HdLink*> recordsOfIds;  // an id without a record in the tile has none
  for (const ql::HdLinkId& id : ids) {
    if (const ql::HdLink* record = tile.GetNodeData(id)) recordsOfIds.insert(record);
  }
  Check(records == recordsOfIds, "the record set is not the records of the id set");
  std::vector<const ql::HdLink*> collected;
  tile.CollectNodesInRect(q, collected);
  const std::set<const ql::HdLink*> collectedSet(collected.begin(), collected.end());
  Check(collectedSet == records, "the record set and the record vector disagree");
}

// The heap an endpoint list holds: its records and their link ids' tile lists.
template <class Endpoint>
std::size_t AnswerBytes(const std::vector<Endpoint>& out) {
  std::size_t bytes = out.capacity() * sizeof(Endpoint);
  for (const Endpoint& e : out) bytes += e.liLinkId.vcttiTileIds.capacity() * sizeof(ql::TileId) + 32;
  return bytes;
}

// One endpoint search or walk: it may hold its answer twice over (while a list grows) beyond what
// any query may hold, or refuse an answer over the budget before building it.
template <class Call>
void EndpointCall(std::size_t input, Call&& call) {
  std::vector<ql::LaneEndpoint> out;
  fz::g_heap.Start();
  try {
    call(out);
  } catch (const ql::EndpointAnswerError&) {
    Check(out.empty(), "a refused answer left endpoints behind");
  }
  const std::size_t peak = fz::g_heap.Stop();
  const std::size_t answer = AnswerBytes(out);
  fz::CheckQueryHeap("fuzz_tile", peak > 2 * answer ? peak - 2 * answer : 0, input);
}

ql::LinkEndpoint LinkEndpointOf(const ql::HdLink& link) {
  ql::LinkEndpoint e;
  e.liLinkId = link.liId;
  return e;
}

void Queries(ql::MapInterface& map, const ql::HdTile& tile, std::size_t input) {
  const std::shared_ptr<ql::HdLib> lib = ql::HdLib::GetInstance();
  const ql::Rect2D& r = tile.GetQuadtree()->GetRect();
  const double w = (r.rt.dLon - r.lb.dLon) / 32;
  const double h = (r.rt.dLat - r.lb.dLat) / 32;
  for (const ql::Point& p : Positions(tile)) {
    fz::g_heap.Start();
    BoxSearches(tile, ql::Rect2D(ql::Point(p.dLon - w, p.dLat - h, 0), ql::Point(p.dLon + w, p.dLat + h, 0)));
    BoxSearches(tile, ql::P2R(p, 20, 20));

    long linkId = 0;
    std::vector<long> pre, nxt;
    int laneCnt = 0, laneNum = 0, speed = 0, inCross = 0;
    ql::LaneType laneType{};
    ql::EdgeCrossType left{}, right{};
    double angle = 0.0;
    ql::Point foot;
    map.GetMapData(p, 90.0, linkId, pre, nxt, laneCnt, laneNum, laneType, left, right, speed, angle, foot,
                   inCross);

    std::vector<ql::HdLinkId> links;
    std::vector<ql::HdLaneId> lanes;
    lib->GetLocateLanes(p, links, lanes);
    Check(links.size() == lanes.size(), "lane search lists out of step");
    lib->GetIsInCross(p);
    double dist = 0.0;
    lib->GetNearestPointfromLaneGeo(p, foot, dist);
    std::vector<ql::HdLinkId> near;
    lib->GetLinkIdsInRect(p, 20.0f, 20.0f, near, false);
    fz::CheckQueryHeap("fuzz_tile", fz::g_heap.Stop(), input);

    EndpointCall(input,
                 [&](std::vector<ql::LaneEndpoint>& out) { lib->GetLocateEndpoints(p, 20.0f, 20.0f, out); });
    EndpointCall(input, [&](std::vector<ql::LaneEndpoint>& out) {
      std::vector<ql::Point> feet;
      std::vector<double> distances;
      lib->GetNearEndpoints(p, 20.0f, 20.0f, feet, out, distances);
    });
  }
  // The walks from the first lanes of the first links, whatever their geometry.
  std::size_t walked = 0;
  for (const auto& [id, link] : tile.GetNodes()) {
    for (std::size_t k = 0; k < link.vcthlLane.size() && k < 4; ++k) {
      ql::LaneEndpoint from;
      from.liLinkId = link.liId;
      from.liLaneId = link.vcthlLane[k].liId;
      EndpointCall(input, [&](std::vector<ql::LaneEndpoint>& out) { lib->GetNextLaneEndpoints(from, out); });
      EndpointCall(input, [&](std::vector<ql::LaneEndpoint>& out) { lib->GetPreEndpoints(from, out); });
    }
    std::vector<ql::LinkEndpoint> next;
    fz::g_heap.Start();
    lib->GetNextLinkEndpoints(LinkEndpointOf(link), next);
    fz::CheckQueryHeap("fuzz_tile", fz::g_heap.Stop(), input);
    if (++walked == 8) break;
  }
}

void LoadAndQuery(const std::string& bytes, int type, int depth) {
  ql::MapConfig::serialize_type_json1_binary2 = type;
  ql::MapConfig::qt_max_level = depth;
  const std::unique_ptr<ql::HdTile> probe = Build(bytes);
  if (!probe) return;

  // The store with this one tile, where the rectangle's centre lies; any other tile a query
  // reaches is missing (the directories do not exist).
  const ql::Rect2D& r = probe->GetQuadtree()->GetRect();
  const ql::TileId id = ql::P2TId(ql::Point((r.lb.dLon + r.rt.dLon) / 2, (r.lb.dLat + r.rt.dLat) / 2, 0));
  ql::HdWorld* world = ql::NewHdWorld::Create();
  HdStore::m_pInstance = world;
  std::string copy = bytes;
  const std::shared_ptr<ql::HdTile> cached = world->NewTileDeserialize(copy, id);  // loads as before

  static ql::MapInterface map;  // its facade holds the HdLib instance over the store
  Queries(map, *cached, bytes.size());

  HdStore::m_pInstance = nullptr;
  ql::NewHdWorld::Destroy(world);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();  // the request's console lines
  fz::InstallHeapHooks();
  ql::MapConfig::tile_lon_interval = 0.02;
  ql::MapConfig::tile_lat_interval = 0.02;
  ql::MapConfig::tile_encrypt = false;  // decrypted here, as the store's read does
  ql::MapConfig::hdConfig::save_dir_json = "/nonexistent-ql-fuzz/";
  ql::MapConfig::hdConfig::save_dir_binary = "/nonexistent-ql-fuzz/";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  // The sample map's depth; small inputs also at a depth they choose, for deep and flat trees, and
  // at the depth a binary tile's path codes were written for (the groups its widest code uses).
  std::set<int> depths = {5, size != 0 && size < 65536 ? data[size - 1] % 17 : 5};
  try {
    ql::InArchive ar(bytes);
    ql::HdSerializeData content;
    ar >> content;
    unsigned long widest = 0;
    for (const unsigned long code : content.states) widest |= code;
    int depth = 0;
    for (; widest != 0; widest >>= 4) ++depth;
    depths.insert(depth);
  } catch (const ql::ArchiveError&) {
  }
  for (const int depth : depths) {
    LoadAndQuery(bytes, 1, depth);
    LoadAndQuery(bytes, 2, depth);
    std::string plain = bytes;
    if (!plain.empty() && xxtea_decrypt_inplace(plain, ql::FileSys::key.c_str())) LoadAndQuery(plain, 2, depth);
  }
  return 0;
}
