// Bit-identity of the position request: every output of MapInterface::GetMapData, bit for bit,
// over the sample map's drive trace and 10,000 positions on the dense generated city, in every
// encoding, against digests recorded from the code as it stood before the request was sped up
// and the projection reworked. Both maps lie in the north-east quadrant inside one 3-degree zone,
// their lanes numbered 1 to n in stored order: work on speed or on the other quadrants must leave
// every one of these answers as it is, to the last bit.
//
// The HD store and HdLib are one per process and keep every tile they read, so a process answers
// for the first map it loaded only. Each (map, encoding) is one test case, and ctest runs each
// case in a process of its own; a run of the whole binary hands every case after the first to a
// fresh process.
//
// The city's geometry and positions come from std::cos and std::uniform_real_distribution, so
// the city digests hold for the C and C++ runtime they were recorded with (glibc, libstdc++);
// the input digest tells a changed input from a changed answer.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "DenseCity.h"
#include "FileSys.h"
#include "MapInterface.h"
#include "MapRequest.h"
#include "TestFiles.h"
#include "TileWriter.h"

namespace {

namespace fs = std::filesystem;
using qlw::city::Position;

// ---- digests -------------------------------------------------------------------------------------

// 64-bit FNV-1a over the bytes of each value in turn: integers by their two's complement, doubles
// by their IEEE bit pattern, lists by their length and then their elements.
class Digest {
 public:
  void Bytes(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) m_value = (m_value ^ bytes[i]) * 0x100000001b3ull;
  }
  void Int(int64_t v) { Bytes(&v, sizeof v); }
  void Double(double v) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    Bytes(&bits, sizeof bits);
  }
  void Point(const ql::Point& p) {
    Double(p.dLon);
    Double(p.dLat);
    Double(p.dAlt);
  }
  void Ints(const std::vector<long>& v) {
    Int(static_cast<int64_t>(v.size()));
    for (const long e : v) Int(e);
  }
  uint64_t Value() const { return m_value; }

 private:
  uint64_t m_value = 0xcbf29ce484222325ull;
};

// ---- one request ----------------------------------------------------------------------------------

using Answer = qltest::RequestOutputs;

void Add(Digest& d, const Answer& a) {
  d.Int(a.ok);
  d.Int(a.linkId);
  d.Ints(a.preIds);
  d.Ints(a.nxtIds);
  d.Int(a.laneCnt);
  d.Int(a.laneNum);
  d.Int(a.laneType);
  d.Int(a.leftCross);
  d.Int(a.rightCross);
  d.Int(a.speedLimit);
  d.Double(a.laneAngle);
  d.Point(a.foot);
  d.Int(a.isInCross);
}

std::string Text(const std::vector<long>& ids) {
  std::string s;
  for (const long id : ids) s += (s.empty() ? "" : ",") + std::to_string(id);
  return "[" + s + "]";
}

std::string Text(const Position& q, const Answer& a) {
  char line[512];
  std::snprintf(line, sizeof line,
                "at %.17g,%.17g heading %.17g: ok %d link %ld pre %s nxt %s lanes %d lane %d type %d cross %d/%d "
                "speed %d angle %.17g foot %.17g,%.17g,%.17g inCross %d",
                q.p.dLon, q.p.dLat, q.heading, a.ok, a.linkId, Text(a.preIds).c_str(), Text(a.nxtIds).c_str(),
                a.laneCnt, a.laneNum, static_cast<int>(a.laneType), static_cast<int>(a.leftCross),
                static_cast<int>(a.rightCross), a.speedLimit, a.laneAngle, a.foot.dLon, a.foot.dLat, a.foot.dAlt,
                a.isInCross);
  return line;
}

// ---- the maps and their positions ------------------------------------------------------------------

// The drive trace of the sample map (columns lat, lon, heading).
std::vector<Position> TracePositions() {
  const std::string file = std::string(QL_SOURCE_DIR) + "/examples/sample_map/trace.csv";
  std::ifstream in(file);
  std::string line;
  std::vector<Position> positions;
  if (!std::getline(in, line) || line != "lat,lon,heading") {
    ADD_FAILURE() << file << ": no header lat,lon,heading";
    return positions;
  }
  while (std::getline(in, line)) {
    double lat = 0, lon = 0, heading = 0;
    char c1 = 0, c2 = 0;
    std::istringstream row(line);
    if (!(row >> lat >> c1 >> lon >> c2 >> heading) || c1 != ',' || c2 != ',') {
      ADD_FAILURE() << file << ": bad row " << line;
      continue;
    }
    positions.push_back({ql::Point(lon, lat, 0.0), heading});
  }
  return positions;
}

// Uniform in [lo, hi) from the top 53 bits, the same on every standard library.
double Uniform(std::mt19937_64& rng, double lo, double hi) {
  return lo + (hi - lo) * (static_cast<double>(rng() >> 11) * 0x1p-53);
}

// The benchmark's first 8,000 lane positions, then 2,000 that lie elsewhere, 400 of each kind:
// anywhere over the city, just beyond a street's outer edge, on an edge line between lanes (half
// of them on its vertices), near a junction with headings beyond 0 .. 360, and off the map.
std::vector<Position> CityPositions(const std::vector<qlw::city::Segment>& segs) {
  using namespace qlw::city;
  std::vector<Position> positions = LanePositions(segs, 8000);
  std::mt19937_64 rng(2);
  const double extent = (kNodes - 1) * kBlock;
  const auto segment = [&]() -> const Segment& { return segs[rng() % segs.size()]; };
  for (int i = 0; i < 400; ++i) {
    const double east = Uniform(rng, -60, extent + 60);
    const double north = Uniform(rng, -60, extent + 60);
    positions.push_back({At(east, north), Uniform(rng, 0, 360)});
  }
  for (int i = 0; i < 400; ++i) {
    const Segment& s = segment();
    const double along = Uniform(rng, 0, kBlock);
    const double beyond = s.lanes * kLaneWidth + Uniform(rng, 0.05, 3.0);
    positions.push_back({Along(s, along, beyond), std::fmod(s.bearing + Uniform(rng, -20, 20) + 360.0, 360.0)});
  }
  for (int i = 0; i < 400; ++i) {
    const Segment& s = segment();
    const double along = i % 2 ? Uniform(rng, 0, kBlock) : kSpacing * static_cast<double>(rng() % 16);
    const double offset = kLaneWidth * static_cast<double>(rng() % static_cast<unsigned>(s.lanes + 1));
    positions.push_back({Along(s, along, offset), Uniform(rng, 0, 360)});
  }
  for (int i = 0; i < 400; ++i) {
    const double east = kBlock * static_cast<double>(rng() % kNodes) + Uniform(rng, -15, 15);
    const double north = kBlock * static_cast<double>(rng() % kNodes) + Uniform(rng, -15, 15);
    positions.push_back({At(east, north), Uniform(rng, -180, 540)});
  }
  for (int i = 0; i < 400; ++i) {
    const double out = Uniform(rng, 30, 3000);
    const double across = Uniform(rng, -60, extent + 60);
    const int side = static_cast<int>(rng() % 4);
    const double east = side == 0 ? -out : side == 1 ? extent + out : across;
    const double north = side == 2 ? -out : side == 3 ? extent + out : across;
    positions.push_back({At(east, north), Uniform(rng, 0, 360)});
  }
  return positions;
}

// ---- the cases ------------------------------------------------------------------------------------

enum class MapKind { kSampleTrace, kCity };

// What a map's answers must be. The three encodings of a map hold the same values (the tile writer
// encodes the binary tiles from the JSON as read back), and recorded from each encoding the tables
// came out the same, so one table serves all three.
struct Expected {
  std::size_t positions;
  uint64_t inputs;      // digest of the positions (and, for the city, of its link records)
  std::size_t onMap;    // requests answering true
  std::size_t inCross;  // requests setting isInCross
  std::size_t chunk;    // positions per digest
  std::vector<uint64_t> digests;
};

const Expected kSampleTrace = {12,
                               0x0a2388f7c023fb82ull,
                               11,
                               1,
                               1,
                               {
                                   0xb19ebd5d709f386bull,
                                   0xedeb34947256215full,
                                   0xd45cec756c9a5e77ull,
                                   0xa296b1886219b44eull,
                                   0x7c16a07ebbb4a22dull,
                                   0xea459c587d8049c5ull,
                                   0xb031df326686d84eull,
                                   0xdafc23d16224c1f7ull,
                                   0x144f5f5c1782c749ull,
                                   0xeaef5cf49b586420ull,
                                   0xd0d6ddbc20636bd1ull,
                                   0x905be749b80f9249ull,
                               }};

// Positions 9200 to 9599 lie near junctions with headings from -180 to 540: their digests were
// recorded again when the heading came to be compared with the lane's angle modulo a turn. Of
// their answers 37 had a heading more than 360 degrees from a candidate's angle; 15 of those chose
// another lane, and no answer within a turn of every candidate changed.
const Expected kCity = {
    10000,
    0xa49964a9b8a8feafull,
    8725,
    166,
    100,
    {
        0x1ce8dd4b08372dd7ull, 0xebbba4894f543975ull, 0x72df6612f89ab649ull, 0x5a92a395b005fd69ull,
        0x9165d28df3d16727ull, 0x732507c418c97950ull, 0xc944f7036d2c03dfull, 0xbd40ed8677c51c37ull,
        0x7444f52cb04e22cdull, 0x5c006e7620c6e9e1ull, 0x107189d2178dfdabull, 0x9493f9b4342c8215ull,
        0xc79ca702db765c9dull, 0xff0432d9a26a0b21ull, 0x15d023bc22c8be9dull, 0xa700d846f6e6a321ull,
        0xb874520ea4a0b97eull, 0x24d7e0554e70e2ccull, 0x583bc1b0f6040963ull, 0x17fe9fbbc0eec2e8ull,
        0x43141cd7c56b9a9aull, 0x7e4a3c08ca087c64ull, 0xc39e533ab66db261ull, 0x8a0ee3d8d00160faull,
        0xb8c840adbc94160aull, 0x5ce50a5764b0ff87ull, 0x71c773b36781b4b4ull, 0xeae66a77c17a6dd7ull,
        0x32f8f2199912a86cull, 0xf04a507613dd0aa7ull, 0x156c72c862baf7a7ull, 0x609fa71a7f20d4c7ull,
        0xa2bcb927f32f919dull, 0x26580be26bb3fb58ull, 0xdbfbec935cbe8756ull, 0xbfd522dd9ba08386ull,
        0xb2d3460b27d45c3full, 0xec472a0259eb6fd0ull, 0xea6bd8014f54c888ull, 0x3a8bc6699c356bc6ull,
        0x75479e67026d3804ull, 0xdb57f2c2025b0a80ull, 0x954ed5e7b301dd62ull, 0xf6e19306a561d46aull,
        0x96f3efda702b074aull, 0x49774a67eb1cfab8ull, 0xb83f473f58d93100ull, 0x711b6716aa8439ceull,
        0x9e3bbb55a82d8bc1ull, 0x11d4f8a6c4c90534ull, 0x1076aa9e2dc5600full, 0x883eaab5aa95fdb9ull,
        0x651a4da5f819beffull, 0x6b5b1748cf0e8cf6ull, 0xaa63999085d4c8b6ull, 0x19eadb9f5403d3d6ull,
        0x123bce208415b372ull, 0x83b2a63eafae6befull, 0xaec2bd0013b233ebull, 0x7d501e4058d35b91ull,
        0xe5a19b5bcccaccadull, 0x3035b19612626cdcull, 0x78420ac39398d2daull, 0x22a10bec6f41b9acull,
        0xe794451ee6715c75ull, 0x9e9e445152f4d80aull, 0x2d26f661850c60dcull, 0x699a3f45b594ad43ull,
        0x075944f98e09d49cull, 0x7a951cfcf62b98ddull, 0x21aac77d1d7fbb35ull, 0x38f3835d01e8c00full,
        0x798abc276288ccd7ull, 0xaea119b8888216bcull, 0x0968fb30150cd772ull, 0xcf2662d52949eb91ull,
        0x7b8f8bd549dcc42cull, 0x5541d02e533392f0ull, 0x91afca02e7c3b716ull, 0x14b46c69a07319e3ull,
        0x9785eec1e6df0a09ull, 0xc69de20416723b48ull, 0x4e99f2cc0170bafaull, 0x521f3c6dd12fab0eull,
        0x922e98e58236819eull, 0xe602d5b92c06c0f3ull, 0x333e928491d8b913ull, 0xbd282276c88667ffull,
        0x1d3ad487aa285b2bull, 0xda6765af7bc36badull, 0x4c0c5fbd7f910b48ull, 0xfd3818ca53e3d039ull,
        0xe099a7ab6c3f5961ull, 0x06b3552fae011116ull, 0x56aaac25f8c54102ull, 0x135838aca6520b9bull,
        0x10e13e7057726c86ull, 0x010944fbd8eefd0aull, 0x36ecc61bc0dcfbadull, 0x009c688a3173aae6ull,
    }};

struct Case {
  const char* name;
  MapKind map;
  const char* config;
};

const Case kCases[] = {
    {"SampleTraceJson", MapKind::kSampleTrace, "config_json.json"},
    {"SampleTraceBinary", MapKind::kSampleTrace, "config_binary.json"},
    {"SampleTraceEncrypted", MapKind::kSampleTrace, "config_encrypted.json"},
    {"CityJson", MapKind::kCity, "config_json.json"},
    {"CityBinary", MapKind::kCity, "config_binary.json"},
    {"CityEncrypted", MapKind::kCity, "config_encrypted.json"},
};

// Writes the city's tiles in the one encoding a case reads, as qlw::WriteTiles writes them (which
// writes all three, and under the sanitizers takes half a minute on this city, most of it for
// the JSON text). Its binary tiles are encoded from the JSON as read back; for this city that is
// byte for byte the binary encoding of the tiles as built, so the files are the same.
void WriteCity(const std::string& dir, const qlw::TileMap& tiles, const std::string& config) {
  const bool json = config == "config_json.json";
  const bool encrypt = config == "config_encrypted.json";
  const std::string tileDir = json ? "hd/json/" : encrypt ? "hd/encrypted/" : "hd/binary/";
  fs::create_directories(dir + "/" + tileDir);
  for (const auto& [id, tile] : tiles) {
    ql::FileSys::Save(dir + "/" + tileDir + qlw::TileFileName(id),
                      json ? qlw::EncodeJson(tile) : qlw::EncodeBinary(tile), encrypt);
  }
  ql::FileSys::Save(
      dir + "/" + config,
      qlw::ConfigJson(json ? 1 : 2, encrypt, "hd/json/", json ? "hd/binary/" : tileDir, qlw::city::kDepth), false);
}

std::string& LoadedInThisProcess() {
  static std::string name;
  return name;
}

// Runs one case of this binary in a process of its own; its report goes to this one's console.
// Not sharded (a shard could hold no test and pass) and writing no report file over this one's.
int RunAlone(const std::string& testName) {
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const std::string command = "env -u GTEST_SHARD_INDEX -u GTEST_TOTAL_SHARDS -u GTEST_OUTPUT '" + self +
                              "' '--gtest_filter=" + testName + "'";
  std::fflush(stdout);
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class AnswerDigest : public ::testing::TestWithParam<Case> {};

TEST_P(AnswerDigest, EveryOutputOfEveryRequestIsAsRecorded) {
  const Case& c = GetParam();
  const std::string testName = std::string(::testing::UnitTest::GetInstance()->current_test_suite()->name()) +
                               "." + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  if (!LoadedInThisProcess().empty()) {
    // This process already holds another map's tiles.
    EXPECT_EQ(RunAlone(testName), 0) << testName << " failed in a process of its own (its report is above)";
    return;
  }
  LoadedInThisProcess() = c.name;

  const Expected& expected = c.map == MapKind::kCity ? kCity : kSampleTrace;
  Digest inputs;
  std::vector<Position> positions;
  std::string project;
  std::optional<qltest::TempDir> city;  // removed at the end of the case
  if (c.map == MapKind::kCity) {
    city.emplace("answer_digest");
    const std::vector<qlw::city::Segment> segs = qlw::city::Segments();
    const std::vector<ql::HdLink> links = qlw::city::Links(segs);
    for (const ql::HdLink& link : links) {
      const std::string bytes = qlw::EncodeBinary(link);
      inputs.Bytes(bytes.data(), bytes.size());
    }
    positions = CityPositions(segs);
    WriteCity(city->str(), qlw::BuildTiles(links, qlw::city::kDepth), c.config);
    project = city->str() + "/";
  } else {
    positions = TracePositions();
    project = std::string(QL_SOURCE_DIR) + "/examples/sample_map/";
  }
  for (const Position& q : positions) {
    inputs.Point(q.p);
    inputs.Double(q.heading);
  }
  ASSERT_EQ(positions.size(), expected.positions);
  EXPECT_EQ(inputs.Value(), expected.inputs) << "the positions or the map changed, not (only) the answers";

  static ql::MapInterface map;
  testing::internal::CaptureStdout();  // the configuration echo and the tile listing
  map.Init(project, c.config);
  testing::internal::GetCapturedStdout();

  std::vector<Answer> answers(positions.size());
  testing::internal::CaptureStdout();
  for (std::size_t i = 0; i < positions.size(); ++i)
    answers[i] = qltest::Request(map, positions[i].p, positions[i].heading);
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_EQ(console, "") << "no step of these requests fails after a lane was found";

  std::size_t onMap = 0, inCross = 0;
  std::vector<uint64_t> digests;
  for (std::size_t first = 0; first < answers.size(); first += expected.chunk) {
    Digest d;
    for (std::size_t i = first; i < first + expected.chunk && i < answers.size(); ++i) {
      Add(d, answers[i]);
      onMap += answers[i].ok;
      inCross += answers[i].isInCross == 1;
    }
    digests.push_back(d.Value());
  }
  EXPECT_EQ(onMap, expected.onMap) << "requests on the map";
  EXPECT_EQ(inCross, expected.inCross) << "requests in a crossing";
  ASSERT_EQ(digests.size(), expected.digests.size());
  for (std::size_t k = 0; k < digests.size(); ++k) {
    if (digests[k] == expected.digests[k]) continue;
    const std::size_t first = k * expected.chunk;
    const std::size_t last = std::min(first + expected.chunk, answers.size());
    std::string shown;
    for (std::size_t i = first; i < last; ++i)
      shown += "\n  #" + std::to_string(i) + " " + Text(positions[i], answers[i]);
    const std::string where = last - first == 1
                                  ? "at position " + std::to_string(first)
                                  : "among positions " + std::to_string(first) + " to " + std::to_string(last - 1);
    ADD_FAILURE() << "the first answers that differ are " << where << " (digest " << std::hex << digests[k]
                  << ", recorded " << expected.digests[k] << std::dec << "); they now answer:" << shown;
    break;
  }
}

INSTANTIATE_TEST_SUITE_P(Requests, AnswerDigest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
