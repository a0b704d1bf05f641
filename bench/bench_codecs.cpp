// Tile decoding at start-up: one large HD tile (3000 links, each with two lanes, three edge
// lines, a road edge, objects and 20-vertex geometry) decoded from the binary encoding and from
// JSON, each plain and XXTEA-encrypted. Throughput is in bytes of the file as stored.
//
// The encrypted cases copy the stored bytes first (standing for the file read, which hands
// over a buffer that the in-place decryption then overwrites), decrypt, then decode.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "Archive.h"
#include "FileSys.h"
#include "HdTypes.h"
#include "TileWriter.h"
#include "ajson.hpp"
#include "xxtea.h"

namespace {

constexpr int kLinks = 3000;
constexpr int kVertices = 20;

// n vertices about 2 m apart heading north-east from (lon, lat), with altitude.
std::vector<std::vector<double>> Line(double lon, double lat, int n) {
  std::vector<std::vector<double>> line;
  for (int i = 0; i < n; ++i) line.push_back({lon + i * 1.7e-5, lat + i * 1.3e-5, 31.25 + i * 0.01});
  return line;
}

ql::HdLink MakeLink(int i) {
  const double lon = 116.30 + (i % 60) * 3.3e-4 + 1.234567e-7 * i;
  const double lat = 39.90 + (i / 60) * 3.9e-4 + 7.654321e-8 * i;
  ql::HdLink link;
  link.liId.lValue = 1000000 + i;
  link.liId.vcttiTileIds = {ql::TileId(5815, 1995)};
  link.jcStartJunc.lId = 2 * i;
  link.jcStartJunc.vctdGeoNode = {lon, lat, 31.0};
  link.jcEndJunc.lId = 2 * i + 1;
  link.jcEndJunc.vctdGeoNode = {lon + 3.4e-4, lat + 2.6e-4, 31.2};
  link.dLength = 38.7 + i * 0.001;
  link.nLaneNum = 2;
  link.nDirection = 1;
  link.nRank = 3;
  link.dStartAngle = 37.25;
  link.strName = "Ring Road " + std::to_string(i % 17);
  link.nSpeedLimit = 60;
  link.vctvdGeoLink = Line(lon, lat, kVertices);
  ql::RoadEdge re;
  re.lId = 7 * i;
  re.vctvdGeoLink = Line(lon - 2e-5, lat, kVertices);
  link.vctreLeftEdge = {re};
  for (int e = 0; e < 3; ++e) {
    ql::HdEdge edge;
    edge.lId = 10 * i + e;
    edge.nCross = 2;
    edge.vctvdGeoLink = Line(lon + e * 3e-5, lat, kVertices);
    link.vctheEdge.push_back(edge);
  }
  for (int l = 0; l < 2; ++l) {
    ql::HdLane lane;
    lane.liId.lValue = 10 * i + l;
    lane.lLeftEdgeId = 10 * i + l;
    lane.lRightEdgeId = 10 * i + l + 1;
    lane.nSeqNum = l + 1;
    lane.strArrows = "C";
    lane.nMaxSpeed = 60;
    lane.vctvdGeoLink = Line(lon + (l + 0.5) * 3e-5, lat, kVertices);
    lane.vctliNxtLaneId = {ql::HdLaneId{10 * (i + 1) + l}};
    lane.vctliPreLaneId = {ql::HdLaneId{10 * (i - 1) + l}};
    ql::HdLaneAdas adas;
    adas.dLon = lon;
    adas.dLat = lat;
    adas.dOutAzimuth = 37.25;
    lane.vctlaLaneAdas = {adas, adas};
    link.vcthlLane.push_back(lane);
  }
  ql::ObjStopLine sl;
  sl.lId = i;
  sl.vctvdGeoLink = Line(lon, lat, 2);
  link.vctslStopLine = {sl};
  ql::ObjCrossing cr;
  cr.lId = i;
  cr.vctvdGeoArea = Line(lon, lat, 5);
  link.vctcrCrossing = {cr};
  ql::HdLinkId next;
  next.lValue = link.liId.lValue + 1;
  next.vcttiTileIds = link.liId.vcttiTileIds;
  link.vctliNxtLinkId = {next};
  return link;
}

struct Fixture {
  std::string binary, json, binaryEncrypted, jsonEncrypted;
};

std::string Encrypt(const std::string& plain) {
  size_t n = 0;
  void* buf = xxtea_encrypt(plain.data(), plain.size(), ql::FileSys::key.c_str(), &n);
  std::string out(static_cast<const char*>(buf), n);
  std::free(buf);
  return out;
}

const Fixture& Tile() {
  static const Fixture fixture = [] {
    ql::HdSerializeData tile;
    tile.r = ql::Rect2D(ql::Point(116.30, 39.90, 0), ql::Point(116.32, 39.92, 0));
    for (int i = 0; i < kLinks; ++i) {
      ql::HdLink link = MakeLink(i);
      tile.m_keys.push_back(link.liId);
      tile.states.push_back(static_cast<unsigned long>(i));
      tile.nodes.push_back({link.liId});
      tile.ps.push_back({ql::Point(link.vctvdGeoLink[0])});
      tile.m_values.push_back(std::move(link));
    }
    Fixture f;
    f.binary = qlw::EncodeBinary(tile);
    f.json = qlw::EncodeJson(tile);
    f.binaryEncrypted = Encrypt(f.binary);
    f.jsonEncrypted = Encrypt(f.json);
    return f;
  }();
  return fixture;
}

void DecodeBinary(const std::string& bytes) {
  ql::InArchive ar{ql::ByteView(bytes)};  // in place, as the tile decoder reads
  ql::HdSerializeData tile;
  ar >> tile;
  benchmark::DoNotOptimize(tile.m_values.data());
}

void DecodeJson(const std::string& text) {
  ql::HdSerializeData tile;
  ajson::load_from_buff(tile, text.c_str(), static_cast<std::size_t>(-1));
  benchmark::DoNotOptimize(tile.m_values.data());
}

std::string Decrypted(const std::string& stored) {
  std::string buf = stored;
  if (!xxtea_decrypt_inplace(buf, ql::FileSys::key.c_str())) std::abort();
  return buf;
}

void BM_DecodeBinaryTile(benchmark::State& state) {
  const std::string& bytes = Tile().binary;
  for (auto _ : state) DecodeBinary(bytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
  state.counters["file_MB"] = static_cast<double>(bytes.size()) / 1e6;
}
BENCHMARK(BM_DecodeBinaryTile)->Unit(benchmark::kMillisecond);

void BM_DecodeBinaryTileEncrypted(benchmark::State& state) {
  const std::string& stored = Tile().binaryEncrypted;
  for (auto _ : state) DecodeBinary(Decrypted(stored));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stored.size()));
}
BENCHMARK(BM_DecodeBinaryTileEncrypted)->Unit(benchmark::kMillisecond);

void BM_DecodeJsonTile(benchmark::State& state) {
  const std::string& text = Tile().json;
  for (auto _ : state) DecodeJson(text);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.counters["file_MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_DecodeJsonTile)->Unit(benchmark::kMillisecond);

void BM_DecodeJsonTileEncrypted(benchmark::State& state) {
  const std::string& stored = Tile().jsonEncrypted;
  for (auto _ : state) DecodeJson(Decrypted(stored));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stored.size()));
}
BENCHMARK(BM_DecodeJsonTileEncrypted)->Unit(benchmark::kMillisecond);

// The cipher alone, on the binary tile: the share of decryption in the encrypted cases.
void BM_DecodeXxteaOnly(benchmark::State& state) {
  const std::string& stored = Tile().binaryEncrypted;
  for (auto _ : state) {
    std::string plain = Decrypted(stored);
    benchmark::DoNotOptimize(plain.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stored.size()));
}
BENCHMARK(BM_DecodeXxteaOnly)->Unit(benchmark::kMillisecond);

}  // namespace
