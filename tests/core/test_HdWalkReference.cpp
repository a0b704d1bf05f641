// The lane walks against their plain definition (PlainWalks.h) on many small random links: lane
// ids that repeat, numbers of both signs with 0 and the ends of int among them, edges missing,
// listed twice and of every crossing type, lengths that admit no move, some or all, listings with
// repeats and ids of nothing loaded, geometry that is empty or has two values. Every field of
// every endpoint is compared, in order. The draws are fixed by the seeds, so a failure repeats;
// counts of what the draws reached guard against draws that stop reaching a case.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "HdLib.h"
#include "MapBuilder.h"
#include "PlainWalks.h"
#include "TileWriter.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr long kNoLane = 7;    // a lane id no link has
constexpr long kNoLink = 999;  // a link id the map lacks

class Random {
 public:
  explicit Random(unsigned seed) : m_engine(seed) {}
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_engine); }
  bool Chance(double p) { return std::bernoulli_distribution(p)(m_engine); }
  template <class T>
  T Pick(const std::vector<T>& from) {
    return from[static_cast<std::size_t>(Int(0, static_cast<int>(from.size()) - 1))];
  }
  template <class T>
  void Shuffle(std::vector<T>& v) {
    std::shuffle(v.begin(), v.end(), m_engine);
  }

 private:
  std::mt19937 m_engine;
};

// Lane numbers for n lanes in stored order: runs that the crossing groups walk (ascending,
// descending, through 0, up to INT_MAX or from INT_MIN), or numbers drawn from a few, repeating.
std::vector<int> Numbers(Random& r, int n) {
  const int scheme = r.Int(0, 7);
  const int start = scheme == 3 ? r.Int(-8, 1) : scheme == 4 ? INT_MAX - n + 1 : INT_MIN;
  std::vector<int> numbers;
  for (int k = 0; k < n; ++k) {
    switch (scheme) {
      case 0:
        numbers.push_back(k + 1);
        break;
      case 1:
        numbers.push_back(-(k + 1));
        break;
      case 2:
        numbers.push_back(n - k);
        break;
      case 3:
      case 4:
      case 5:
        numbers.push_back(start + k);
        break;
      case 6:
        numbers.push_back(r.Int(-3, 3));
        break;
      default:
        numbers.push_back(r.Pick(std::vector<int>{INT_MIN, INT_MIN + 1, -2, -1, 0, 1, 2, INT_MAX - 1, INT_MAX}));
    }
  }
  if (r.Chance(0.2)) r.Shuffle(numbers);
  return numbers;
}

// A vertex of three values (the altitude now and then NaN) or of two.
std::vector<double> Tuple(Random& r, const ql::Point& p) {
  if (r.Chance(0.2)) return {p.dLon, p.dLat};
  return {p.dLon, p.dLat, r.Chance(0.05) ? kNaN : r.Int(-50, 50) / 4.0};
}

// Every crossing type and a few others, half of them crossable on either side.
int Crossing(Random& r) { return r.Pick(std::vector<int>{-1, 0, 1, 2, 2, 2, 2, 3, 4, 5}); }

// A link `id` of 1 to 12 lanes x metres east of the origin, without listings. Lane ids are
// id * 100 + 50 + k unless repeated; edge ids id * 100 + k, and id * 100 + 99 names no edge.
ql::HdLink RandomLink(Random& r, long id, double x) {
  const ql::Point a = qltest::At(x, 0), b = qltest::At(x, 10);
  ql::HdLink link = qltest::Link(id, {{a.dLon, a.dLat, 0.0}, {b.dLon, b.dLat, 0.0}});
  link.dLength = r.Pick(std::vector<double>{kNaN, -5.0, 0.0, 5.0, 10.0, 15.0, 25.0, 1e9, kInf});
  const int n = r.Int(1, 12);
  for (int k = 0; k <= n; ++k) {
    if (r.Chance(0.1)) continue;  // missing
    ql::HdEdge edge;
    edge.lId = id * 100 + k;
    edge.nCross = Crossing(r);
    link.vctheEdge.push_back(edge);
    if (r.Chance(0.1)) {  // listed again; the first one counts
      edge.nCross = Crossing(r);
      link.vctheEdge.push_back(edge);
    }
  }
  const std::vector<int> numbers = Numbers(r, n);
  for (int k = 0; k < n; ++k) {
    ql::HdLane lane;
    lane.liId.lValue = k > 0 && r.Chance(0.15)
                           ? link.vcthlLane[static_cast<std::size_t>(r.Int(0, k - 1))].liId.lValue
                           : id * 100 + 50 + k;
    lane.nSeqNum = numbers[static_cast<std::size_t>(k)];
    lane.nDirection = r.Pick(std::vector<int>{1, 2, 2, 2, 3, 3});
    lane.lLeftEdgeId = id * 100 + (r.Chance(0.1) ? r.Pick(std::vector<int>{0, n, 99}) : k);
    lane.lRightEdgeId = id * 100 + (r.Chance(0.1) ? r.Pick(std::vector<int>{0, n, 99}) : k + 1);
    if (!r.Chance(0.15)) {
      lane.vctvdGeoLink = {Tuple(r, qltest::At(x + 0.1 * k, 0)), Tuple(r, qltest::At(x + 0.1 * k, 10))};
    }
    link.vcthlLane.push_back(lane);
  }
  return link;
}

// 0 to 4 ids drawn from pool, repeats allowed.
template <class Id>
std::vector<Id> Listing(Random& r, const std::vector<long>& pool) {
  std::vector<Id> ids(static_cast<std::size_t>(r.Int(0, 4)));
  for (Id& id : ids) id.lValue = r.Pick(pool);
  return ids;
}

// Lane listings on every lane of the links, drawn from the lanes of all of them and a lane id
// no link has.
void ListLanes(Random& r, std::vector<ql::HdLink>& links) {
  std::vector<long> pool = {kNoLane};
  for (const ql::HdLink& link : links) {
    for (const ql::HdLane& lane : link.vcthlLane) pool.push_back(lane.liId);
  }
  for (ql::HdLink& link : links) {
    for (ql::HdLane& lane : link.vcthlLane) {
      lane.vctliPreLaneId = Listing<ql::HdLaneId>(r, pool);
      lane.vctliNxtLaneId = Listing<ql::HdLaneId>(r, pool);
    }
  }
}

// The lane ids a walk is asked about on that link: each of its lanes' and one no lane has.
std::vector<long> AskedLanes(const ql::HdLink& link) {
  std::vector<long> ids = {kNoLane};
  for (const ql::HdLane& lane : link.vcthlLane) ids.push_back(lane.liId);
  return ids;
}

// A record the walks never write, so that an answer appended behind it shows it was kept.
ql::LaneEndpoint Sentinel() {
  ql::LaneEndpoint e;
  e.liLinkId = qltest::LinkId(-1, {ql::TileId(1, 2)});
  e.nFromSeqNum = 99;
  return e;
}

// What the draws reached across a test.
struct Reached {
  std::size_t answers = 0;   // non-empty answers
  std::size_t changes = 0;   // moves across lanes
  std::size_t negative = 0;  // of those, among negative lanes
  void Add(const std::vector<ql::LaneEndpoint>& answer) {
    answers += answer.size() > 1 ? 1 : 0;  // beyond the sentinel
    for (const ql::LaneEndpoint& e : answer) {
      if (e.nFromSeqNum == e.nToSeqNum || e.nFromSeqNum == 99) continue;
      ++changes;
      negative += e.nFromSeqNum < 0 && e.nToSeqNum < 0 ? 1 : 0;
    }
  }
};

// ---- the static members, on links in memory ------------------------------------------------------

constexpr int kRounds = 3000;

// Every pair of lane ids of each link, the missing one included, and the crossing groups.
TEST(WalkReference, IsReachableAndGenCrossableAgreeOnRandomLinks) {
  Random r(20261211);
  std::size_t reachable = 0, pairs = 0, tabledWithRepeats = 0;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const ql::HdLink link = RandomLink(r, 11, 0.0);
    const std::vector<long> ids = AskedLanes(link);
    std::vector<long> distinct = ids;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    // Past 8 lanes reachability is worked out once per link, with its own handling of repeats.
    tabledWithRepeats += link.vcthlLane.size() > 8 && distinct.size() < ids.size() ? 1 : 0;
    for (const long from : ids) {
      for (const long to : ids) {
        const bool got = ql::HdLib::IsReachable(&link, qltest::LaneId(from), qltest::LaneId(to));
        ASSERT_EQ(got, qlplain::IsReachable(link, from, to)) << "from " << from << " to " << to;
        reachable += got && from != to ? 1 : 0;
        ++pairs;
      }
    }
    std::map<int, const ql::HdLane*> lanes, plainLanes;
    std::vector<std::vector<int>> right, left, plainRight, plainLeft;
    ql::HdLib::GenCrossable(&link, lanes, right, left);
    qlplain::GenCrossable(link, plainLanes, plainRight, plainLeft);
    ASSERT_EQ(lanes, plainLanes);
    ASSERT_EQ(right, plainRight);
    ASSERT_EQ(left, plainLeft);
  }
  EXPECT_GT(reachable, pairs / 20);
  EXPECT_GT(tabledWithRepeats, 300u);
}

// GenPreEndpoints over one to three links (one of them listed twice at times), into a lane some
// lane lists, or none does.
TEST(WalkReference, GenPreEndpointsAgreesOnRandomLinks) {
  Random r(7);
  Reached reached;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<ql::HdLink> links;
    for (int i = r.Int(1, 3); i > 0; --i) links.push_back(RandomLink(r, 11 + i, 0.0));
    ListLanes(r, links);
    std::vector<const ql::HdLink*> order;
    for (const ql::HdLink& link : links) order.push_back(&link);
    if (r.Chance(0.2)) order.push_back(order.front());
    std::vector<long> into = {kNoLane};
    for (const ql::HdLink& link : links) {
      for (const ql::HdLane& lane : link.vcthlLane) {
        for (const ql::HdLaneId& id : lane.vctliNxtLaneId) into.push_back(id);
      }
    }
    const long laneId = r.Pick(into);
    std::vector<ql::LaneEndpoint> got = {Sentinel()}, want = {Sentinel()};
    ql::HdLib::GenPreEndpoints(qltest::LaneId(laneId), order, got);
    qlplain::GenPreEndpoints(laneId, order, want);
    ASSERT_EQ(qlplain::Difference(got, want), "") << "into lane " << laneId;
    reached.Add(got);
  }
  EXPECT_GT(reached.answers, kRounds / 2u);
  EXPECT_GT(reached.changes, 2000u);
  EXPECT_GT(reached.negative, 800u);
}

// GenPreRLanes on the records GenPreEndpoints would build, and on records a caller changed: one
// left out, one added under a number no lane has, one listing other lanes.
TEST(WalkReference, GenPreRLanesAgreesOnRandomRecords) {
  Random r(99);
  Reached reached;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<ql::HdLink> links = {RandomLink(r, 11, 0.0)};
    ListLanes(r, links);
    const ql::HdLink& link = links.front();
    std::map<int, ql::HdLib::LaneEndpointExt> records = qlplain::LanesByNumber(link);
    if (!records.empty() && r.Chance(0.3)) {
      auto it = records.begin();
      std::advance(it, r.Int(0, static_cast<int>(records.size()) - 1));
      records.erase(it);
    }
    if (!records.empty() && r.Chance(0.3)) {
      ql::HdLib::LaneEndpointExt added = records.begin()->second;
      const long long below = records.begin()->first - 1LL, above = records.rbegin()->first + 1LL;
      std::vector<int> numbers = {0, 4};
      if (below >= INT_MIN) numbers.push_back(static_cast<int>(below));
      if (above <= INT_MAX) numbers.push_back(static_cast<int>(above));
      const int number = r.Pick(numbers);
      added.nFromSeqNum = added.nToSeqNum = added.nLaneSeqNum = number;
      added.liLaneId.lValue = 4242;
      records.emplace(number, added);
    }
    if (!records.empty() && r.Chance(0.3)) {
      records.rbegin()->second.vctliNxtLanes = Listing<ql::HdLaneId>(r, {kNoLane, 4242, 1150, 1151});
    }
    std::vector<long> into = {kNoLane};
    for (const auto& entry : records) {
      for (const ql::HdLaneId& id : entry.second.vctliNxtLanes) into.push_back(id);
    }
    const long laneId = r.Pick(into);
    std::vector<ql::LaneEndpoint> got = {Sentinel()}, want = {Sentinel()};
    ql::HdLib::GenPreRLanes(qltest::LaneId(laneId), &link, records, got);
    qlplain::GenPreRLanes(laneId, link, records, want);
    ASSERT_EQ(qlplain::Difference(got, want), "") << "into lane " << laneId;
    reached.Add(got);
  }
  EXPECT_GT(reached.answers, kRounds / 2u);
  EXPECT_GT(reached.changes, 1400u);
  EXPECT_GT(reached.negative, 500u);
}

// ---- the walks through tiles, on a random map ----------------------------------------------------

constexpr int kClusters = 80;
constexpr int kClusterLinks = 5;

long LinkValue(int cluster, int i) { return 1000 + cluster * 10 + i; }

// Clusters of links listing each other (themselves included, with repeats, and a link the map
// lacks) as predecessors and successors, their lanes listing lanes of the cluster. Some listings
// name the tile they need twice, and some links' own ids name theirs three times, so that an
// endpoint shows which of the ids it copied.
qlw::TileMap RandomTiles() {
  Random r(4711);
  std::vector<ql::HdLink> all;
  for (int c = 0; c < kClusters; ++c) {
    std::vector<ql::HdLink> cluster;
    std::vector<long> ids = {kNoLink};
    for (int i = 0; i < kClusterLinks; ++i) {
      cluster.push_back(RandomLink(r, LinkValue(c, i), 6.0 * c + 1.2 * i));
      ids.push_back(LinkValue(c, i));
    }
    ListLanes(r, cluster);
    for (ql::HdLink& link : cluster) {
      link.vctliPreLinkId = Listing<ql::HdLinkId>(r, ids);
      link.vctliNxtLinkId = Listing<ql::HdLinkId>(r, ids);
      all.push_back(link);
    }
  }
  qlw::TileMap built = qlw::BuildTiles(all, 5);
  for (auto& entry : built) {
    ql::HdSerializeData& content = entry.second;
    for (std::size_t i = 0; i < content.m_values.size(); ++i) {
      ql::HdLink& link = content.m_values[i];
      for (auto* listing : {&link.vctliPreLinkId, &link.vctliNxtLinkId}) {
        for (ql::HdLinkId& id : *listing) {
          if (!id.vcttiTileIds.empty() && r.Chance(0.3)) id.vcttiTileIds.push_back(id.vcttiTileIds.back());
        }
      }
      if (r.Chance(0.2)) {
        link.liId.vcttiTileIds.assign(3, link.liId.vcttiTileIds.back());
        content.m_keys[i] = link.liId;
      }
    }
  }
  return built;
}

const qltest::WrittenMap& Map() {
  static const qltest::WrittenMap map("test_HdWalkReference", RandomTiles(), 5, "config_binary.json");
  return map;
}

const ql::HdLib& Lib() {
  Map();
  return *ql::HdLib::GetInstance();
}

const qlplain::Lookup kLookup = [](const ql::HdLinkId& id) { return Lib().GetLinkData(id); };

// Calls walk(endpoint) for the endpoint of every lane of every link of the map, of a lane no
// link has and of a link the map lacks.
template <class Walk>
void ForEveryEndpoint(Walk&& walk) {
  for (int c = 0; c < kClusters; ++c) {
    for (int i = 0; i < kClusterLinks; ++i) {
      const ql::HdLink& link = Map().Stored(LinkValue(c, i));
      for (const long lane : AskedLanes(link)) {
        ql::LaneEndpoint e;
        e.liLinkId = link.liId;
        e.liLaneId = qltest::LaneId(lane);
        SCOPED_TRACE("link " + std::to_string(link.liId.lValue) + ", lane " + std::to_string(lane));
        walk(e);
        if (testing::Test::HasFatalFailure()) return;
      }
    }
  }
  ql::LaneEndpoint missing;
  missing.liLinkId = qltest::LinkId(kNoLink);
  missing.liLaneId = qltest::LaneId(kNoLane);
  walk(missing);
}

TEST(WalkReference, GetNextLaneEndpointsAgreesOnARandomMap) {
  Reached reached;
  std::size_t calls = 0, found = 0, reports = 0;
  ForEveryEndpoint([&](const ql::LaneEndpoint& e) {
    std::vector<ql::LaneEndpoint> got = {Sentinel()}, want = {Sentinel()};
    std::vector<long> reported;
    testing::internal::CaptureStdout();
    const bool gotFound = Lib().GetNextLaneEndpoints(e, got);
    const std::string console = testing::internal::GetCapturedStdout();
    const bool wantFound = qlplain::GetNextLaneEndpoints(kLookup, e, want, &reported);
    ASSERT_EQ(gotFound, wantFound);
    ASSERT_EQ(qlplain::Difference(got, want), "");
    // One line per move handed out into a lane without an end direction, in answer order.
    std::string lines;
    for (const long lane : reported) lines += "=====ERROR=====lane" + std::to_string(lane) + "方向需要特殊处理\n";
    ASSERT_EQ(console, lines);
    ++calls;
    found += gotFound ? 1 : 0;
    reports += reported.size();
    reached.Add(got);
  });
  EXPECT_GT(found, calls / 4);
  EXPECT_GT(reached.answers, calls / 6);
  EXPECT_GT(reached.changes, 400u);
  EXPECT_GT(reached.negative, 150u);
  EXPECT_GT(reports, 200u);
}

TEST(WalkReference, GetPreEndpointsAgreesOnARandomMap) {
  Reached reached;
  std::size_t calls = 0, found = 0;
  ForEveryEndpoint([&](const ql::LaneEndpoint& e) {
    std::vector<ql::LaneEndpoint> got = {Sentinel()}, want = {Sentinel()};
    const bool gotFound = Lib().GetPreEndpoints(e, got);
    ASSERT_EQ(gotFound, qlplain::GetPreEndpoints(kLookup, e, want));
    ASSERT_EQ(qlplain::Difference(got, want), "");
    ++calls;
    found += gotFound ? 1 : 0;
    reached.Add(got);
  });
  EXPECT_GT(found, calls / 4);
  EXPECT_GT(reached.answers, calls / 6);
  EXPECT_GT(reached.changes, 600u);
  EXPECT_GT(reached.negative, 150u);
}

}  // namespace
