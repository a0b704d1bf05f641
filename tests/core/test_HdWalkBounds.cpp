// The endpoint walks on shapes whose listings multiply (HostileWalks.h), at the largest sizes a
// tile may hold (LinkLimits.h): each call's heap is bounded by its answer, its steps (WalkSteps)
// by what its links hold plus its answer, an answer past the budget is refused before it is
// built, and the answers are those of the walks' plain definition. Every operator new of this
// program is counted (HeapCount.cpp), so a call's peak is read off exactly; times are the
// benchmark's (bench/bench_hostile_walks.cpp).

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <limits>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "Errors.h"
#include "HdLib.h"
#include "HeapCount.h"
#include "HostileWalks.h"
#include "LinkLimits.h"
#include "MapBuilder.h"
#include "MemoryLimit.h"
#include "PlainWalks.h"
#include "internal/HdLinkParts.h"

namespace {

using qlhostile::LaneIdOf;

// The longest listings and the most lanes a tile may hold.
constexpr int kTimes = static_cast<int>(ql::sc_nMaxLaneListing);  // self-listings of the big shape
constexpr int kLanes = static_cast<int>(ql::sc_nMaxLinkLanes);    // lanes of the wide successor
constexpr int kListed = static_cast<int>(ql::sc_nMaxLinkListing);
constexpr std::size_t kTiles = ql::sc_nMaxLinkIdTiles;
static_assert(ql::sc_nMaxLinkListing == ql::sc_nMaxLaneListing, "the self-listing shape lists both");

// What one endpoint of a 1-tile id weighs against a call's budget (its record and its tile
// list's heap block), and the most copies of every move through a predecessor of kLanes
// crossable lanes that stay under it.
constexpr std::size_t kEndpointBytes = sizeof(ql::LaneEndpoint) + ql::MemoryLimit::Block(sizeof(ql::TileId));
constexpr int kUnderBudget =
    static_cast<int>(ql::sc_nMaxEndpointAnswerBytes / (std::size_t{kLanes} * kLanes * kEndpointBytes));
// Lanes of each of kListed successors that make their moves outweigh the budget together.
constexpr int kManyLanes = 64;
static_assert(std::size_t{kListed} * kManyLanes * kManyLanes * kEndpointBytes > ql::sc_nMaxEndpointAnswerBytes,
              "the distinct successors' moves must outweigh the budget");

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Link ids: 1 listing itself kTimes times, 2 -> 3 of kLanes lanes; 11 listing itself 3 times,
// 12 -> 13 of 4 lanes; the shapes of the walk tables below from 20 on (each listed there).
std::vector<ql::HdLink> Links() {
  const ql::Point& o = qltest::kOrigin;
  std::vector<ql::HdLink> links;
  for (auto shape : {
           qlhostile::SelfListing(o, kTimes, 1),
           qlhostile::WideSuccessor(o, kLanes, 2),
           qlhostile::SelfListing(o, 3, 11),
           qlhostile::WideSuccessor(o, 4, 12),
           qlhostile::WideSuccessor(o, kLanes, 20),  // 21 listed with 64 tile ids
           qlhostile::WideSuccessor(o, kLanes, 22),  // 23 listed with kTiles tile ids
           qlhostile::ClosedSuccessor(o, kLanes, kNaN, 30),
           qlhostile::ClosedSuccessor(o, kLanes, 1e9, 32),
           qlhostile::RepeatedSuccessor(o, kListed, 40),                 // 41's own id of kTiles tile ids
           qlhostile::WidePredecessor(o, kLanes, 1, 10.0 * kLanes, 50),  // 51's own id of kTiles tile ids
           qlhostile::WidePredecessor(o, kLanes, 1, 10.0 * kLanes, 52),  // 53 closed, own id of kTiles
           qlhostile::WidePredecessor(o, kLanes, kTimes, 10.0 * kLanes, 54),
           qlhostile::WidePredecessor(o, kLanes, kUnderBudget, 10.0 * kLanes, 56),
           qlhostile::WidePredecessor(o, kLanes, kUnderBudget + 1, 10.0 * kLanes, 58),
           qlhostile::WidePredecessor(o, kLanes, 1, 5.0, 60, kLanes / 2),  // only lane changes too short
           qlhostile::WidePredecessor(o, kLanes, 1, kNaN, 62),
           qlhostile::ManySuccessors(o, kListed, 1, 100),  // 101 to 356
           qlhostile::WideSuccessor(o, kLanes, 70),        // 71 too short for lane changes
           qlhostile::WidePredecessor(o, kLanes, 1, 5.0, 72),
           qlhostile::ManySuccessors(o, kListed, kManyLanes, 1000),  // 1001 to 1256
       }) {
    for (ql::HdLink& link : shape) links.push_back(std::move(link));
  }
  for (ql::HdLink& link : links) {
    if (link.liId.lValue == 53) qlhostile::CloseEveryEdge(link);
    if (link.liId.lValue == 71) link.dLength = 5.0;
    // The walk into them is refused before it reads a vertex, and the map is written faster.
    if (link.liId.lValue > 1000) {
      for (ql::HdLane& lane : link.vcthlLane) lane.vctvdGeoLink.clear();
    }
  }
  return links;
}

qlw::TileMap Tiles() {
  qlw::TileMap built = qlw::BuildTiles(Links(), 5);
  qlhostile::LengthenSuccessorListing(built, 20, 21, 64);
  qlhostile::LengthenSuccessorListing(built, 22, 23, kTiles);
  for (const long own : {41, 51, 53}) qlhostile::LengthenOwnTileList(built, own, kTiles);
  return built;
}

const qltest::WrittenMap& Map() {
  static const qltest::WrittenMap map("test_HdWalkBounds", Tiles(), 5, "config_json.json");
  return map;
}

ql::LaneEndpoint From(long link) {
  ql::LaneEndpoint e;
  e.liLinkId = Map().Stored(link).liId;
  e.liLaneId = LaneIdOf(link * 10000 + 1);
  return e;
}

const ql::HdLib& Lib() {
  // The walks keep a scratch list of a wide link's edges per thread; it grows to its size here,
  // by a walk through kLanes + 1 edges, before any call is measured.
  static const bool warm = [] {
    std::vector<ql::LaneEndpoint> out;
    return ql::HdLib::GetInstance()->GetNextLaneEndpoints(From(32), out);
  }();
  (void)warm;
  return *ql::HdLib::GetInstance();
}

// The most heap call() held above what was live before it, what it still holds after, and the
// steps its walks took.
struct Cost {
  std::size_t peak = 0;
  std::size_t kept = 0;
  std::size_t steps = 0;
};
template <class Call>
Cost Measure(Call&& call) {
  Lib().GetLinkData(Map().Stored(1).liId);  // every tile read before measuring
  const std::size_t before = qltest::g_heap.live;
  const std::size_t stepsBefore = ql::linkparts::WalkSteps();
  qltest::g_heap.ResetPeak();
  call();
  return Cost{qltest::g_heap.peak - before, qltest::g_heap.live - before,
              ql::linkparts::WalkSteps() - stepsBefore};
}

constexpr std::size_t kSlack = 1 << 20;  // bytes a call may hold beyond twice its answer

// What the walks from or into link `value` may read: the link and each link it lists, once,
// with their listings, lanes and lanes' listings. A walk's steps stay within a small multiple of
// it plus its answer; one pairing every lane with every other would not.
std::size_t Entries(const ql::HdLink& link) {
  std::size_t n = 1 + link.vctliPreLinkId.size() + link.vctliNxtLinkId.size() + link.vcthlLane.size();
  for (const ql::HdLane& lane : link.vcthlLane) n += lane.vctliPreLaneId.size() + lane.vctliNxtLaneId.size();
  return n;
}
std::size_t Held(long value) {
  const ql::HdLink& link = Map().Stored(value);
  std::set<long> listed;
  for (const auto* ids : {&link.vctliPreLinkId, &link.vctliNxtLinkId}) {
    for (const ql::HdLinkId& id : *ids) listed.insert(id.lValue);
  }
  std::size_t n = Entries(link);
  for (const long v : listed) n += Entries(Map().Stored(v));
  return n;
}
// The backward walk reads a predecessor's lanes some eight times: counting the answer and then
// building it, each time in its records and in both crossing groups.
constexpr std::size_t kStepsPerEntry = 12;

std::string Text(const ql::LaneEndpoint& e) {
  return std::to_string(e.liLinkId.lValue) + "/" + std::to_string(static_cast<long>(e.liLaneId)) + " " +
         std::to_string(e.nFromSeqNum) + ">" + std::to_string(e.nToSeqNum);
}

// ---- heap per call --------------------------------------------------------------------------------

TEST(WalkBounds, SelfListingLinkWalksHoldLittleMoreThanTheirAnswer) {
  std::vector<ql::LaneEndpoint> next, pre;
  std::vector<ql::HdLinkId> linkNext;
  const Cost nextHeap = Measure([&] { EXPECT_TRUE(Lib().GetNextLaneEndpoints(From(1), next)); });
  const Cost preHeap = Measure([&] { EXPECT_TRUE(Lib().GetPreEndpoints(From(1), pre)); });
  const Cost linkNextHeap = Measure([&] { EXPECT_TRUE(Lib().GetLinkNext(From(1).liLinkId, 1, linkNext)); });

  ASSERT_EQ(next.size(), 1u);
  EXPECT_EQ(Text(next[0]), "1/10001 1>1");
  // The predecessor walk lists the move once per listing of the lane: that answer stays.
  ASSERT_EQ(pre.size(), static_cast<std::size_t>(kTimes));
  for (const ql::LaneEndpoint& e : pre) ASSERT_EQ(Text(e), "1/10001 1>1");
  EXPECT_EQ(qltest::Values(linkNext), std::vector<long>{1});

  // Before, at 10,000 listings each call held the 10,000 x 10,000 listings at once (1.6 GB).
  EXPECT_LE(nextHeap.peak, 2 * nextHeap.kept + kSlack);
  EXPECT_LE(preHeap.peak, 2 * preHeap.kept + kSlack);
  EXPECT_LE(linkNextHeap.peak, 2 * linkNextHeap.kept + kSlack);
  EXPECT_LE(nextHeap.steps, kStepsPerEntry * Held(1) + 2 * next.size());
  EXPECT_LE(preHeap.steps, kStepsPerEntry * Held(1) + 2 * pre.size());
}

TEST(WalkBounds, WideSuccessorListsEveryMoveOnceHoldingLittleMoreThanThem) {
  std::vector<ql::LaneEndpoint> out;
  const Cost heap = Measure([&] { EXPECT_TRUE(Lib().GetNextLaneEndpoints(From(2), out)); });
  // Continuing lanes by descending id, each to every lane in stored order.
  ASSERT_EQ(out.size(), static_cast<std::size_t>(kLanes) * kLanes);
  std::size_t i = 0;
  for (int from = kLanes; from >= 1; --from) {
    for (int to = 1; to <= kLanes; ++to, ++i) {
      ASSERT_EQ(out[i].nFromSeqNum, from) << i;
      ASSERT_EQ(out[i].nToSeqNum, to) << i;
      ASSERT_EQ(static_cast<long>(out[i].liLaneId), 30000L + to) << i;
    }
  }
  EXPECT_LE(heap.peak, 2 * heap.kept + kSlack);
  EXPECT_LE(heap.steps, kStepsPerEntry * Held(2) + 2 * out.size());
}

// ---- the walks at the limits: answers, heap and steps ----------------------------------------------

// A move through link `through` from lane number `from` to lane number `to` (in these shapes
// lane k sits at position k - 1), `copies` times in a row.
struct Move {
  long through;
  int from, to;
  int copies = 1;
};

// The endpoint the walks hand out for a move: the lane's last vertex (every lane runs first to
// last), its link's length, and the link's id as the walk names it: the forward walk as the
// endpoint's link lists it, the backward walk the link's own.
ql::LaneEndpoint Expected(const ql::HdLink& through, const Move& m, const ql::HdLinkId& id) {
  const ql::HdLane& to = through.vcthlLane.at(static_cast<std::size_t>(m.to - 1));
  ql::LaneEndpoint e;
  e.ptEnd = ql::Point(to.vctvdGeoLink.back());
  e.liLinkId = id;
  e.liLaneId = to.liId;
  e.nFromSeqNum = m.from;
  e.nToSeqNum = m.to;
  e.dLinkLength = through.dLength;
  return e;
}

const ql::HdLinkId& ListedSuccessor(const ql::HdLink& from, long next) {
  for (const ql::HdLinkId& id : from.vctliNxtLinkId) {
    if (id.lValue == next) return id;
  }
  throw std::logic_error("link " + std::to_string(from.liId.lValue) + " does not list " + std::to_string(next));
}

// Compares an answer with the moves it should hand out, endpoint by endpoint, every field.
void ExpectMoves(bool forward, long from, const std::vector<ql::LaneEndpoint>& got,
                 const std::vector<Move>& moves) {
  std::size_t i = 0;
  const ql::HdLink& start = Map().Stored(from);
  const ql::HdLink* through = nullptr;
  for (const Move& m : moves) {
    if (through == nullptr || through->liId.lValue != m.through) through = &Map().Stored(m.through);
    const ql::LaneEndpoint want =
        Expected(*through, m, forward ? ListedSuccessor(start, m.through) : through->liId);
    for (int c = 0; c < m.copies; ++c, ++i) {
      ASSERT_LT(i, got.size()) << "answer too short";
      ASSERT_EQ(qlplain::Difference(got[i], want), "") << "endpoint " << i;
    }
  }
  EXPECT_EQ(got.size(), i);
}

// Every continuing lane, by descending id, to every lane it reaches, in stored order.
std::vector<Move> EveryLaneToEvery(long through, int lanes) {
  std::vector<Move> moves;
  for (int from = lanes; from >= 1; --from) {
    for (int to = 1; to <= lanes; ++to) moves.push_back(Move{through, from, to});
  }
  return moves;
}

std::vector<Move> EachLaneToItself(long through, int lanes, bool descending) {
  std::vector<Move> moves;
  for (int k = 1; k <= lanes; ++k)
    moves.push_back(Move{through, descending ? lanes + 1 - k : k, descending ? lanes + 1 - k : k});
  return moves;
}

// Into a link every lane of whose predecessor (all edges crossable, long enough) lists the lane
// `copies` times: the direct moves by lane number, the rightward moves (from ascending, then to
// ascending), the leftward moves (from descending, then to descending).
std::vector<Move> EveryMoveInto(long through, int lanes, int copies) {
  std::vector<Move> moves;
  for (int k = 1; k <= lanes; ++k) moves.push_back(Move{through, k, k, copies});
  for (int i = 1; i <= lanes; ++i) {
    for (int j = i + 1; j <= lanes; ++j) moves.push_back(Move{through, i, j, copies});
  }
  for (int i = lanes; i >= 1; --i) {
    for (int j = i - 1; j >= 1; --j) moves.push_back(Move{through, i, j, copies});
  }
  return moves;
}

enum class Walk { kNext, kPre };

struct WalkCase {
  const char* name;
  Walk walk;
  long from;                     // the endpoint: lane from * 10000 + 1 of link from
  std::vector<Move> (*moves)();  // the answer; null when the walk refuses it
  std::size_t refused = 0;       // the endpoints a refusal counts
};

void PrintTo(const WalkCase& c, std::ostream* os) { *os << c.name; }

class WalkAtLimits : public ::testing::TestWithParam<WalkCase> {};

// Each call holds at most twice its answer and 1 MB besides, and takes steps linear in what its
// links hold plus its answer; an answer past the budget is refused before anything is built,
// the list passed in untouched.
TEST_P(WalkAtLimits, AnswersWithinItsHeapAndStepsOrRefusesPromptly) {
  const WalkCase& c = GetParam();
  const ql::LaneEndpoint from = From(c.from);
  const bool forward = c.walk == Walk::kNext;
  const auto walk = [&](std::vector<ql::LaneEndpoint>& out) {
    return forward ? Lib().GetNextLaneEndpoints(from, out) : Lib().GetPreEndpoints(from, out);
  };
  ql::LaneEndpoint before;
  before.liLinkId = qltest::LinkId(-1, {ql::TileId(1, 2)});
  std::vector<ql::LaneEndpoint> out = {before};
  std::string refusal;
  refusal.reserve(1024);  // the message is copied in without a heap block of the call's
  const Cost cost = Measure([&] {
    try {
      EXPECT_TRUE(walk(out));
    } catch (const ql::EndpointAnswerError& e) {
      refusal = e.what();
    }
  });
  const std::size_t handedOut = out.size() - 1;
  EXPECT_LE(cost.steps, kStepsPerEntry * Held(c.from) + 2 * handedOut + c.refused)
      << Held(c.from) << " entries held, " << handedOut << " handed out";
  if (c.moves == nullptr) {
    const std::string call = forward ? "GetNextLaneEndpoints from link " + std::to_string(c.from) + ", lane " +
                                           std::to_string(c.from * 10000 + 1)
                                     : "GetPreEndpoints into lane " + std::to_string(c.from * 10000 + 1);
    EXPECT_EQ(refusal.rfind(call + ": an answer of " + std::to_string(c.refused) + " endpoints (", 0), 0u)
        << refusal;
    EXPECT_NE(refusal.find(" bytes), more than the 134217728 bytes one call may hand out"), std::string::npos)
        << refusal;
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(qlplain::Difference(out[0], before), "");
    EXPECT_LE(cost.peak, kSlack);
    EXPECT_EQ(cost.kept, 0u);
    return;
  }
  ASSERT_EQ(refusal, "");
  EXPECT_EQ(qlplain::Difference(out[0], before), "");
  out.erase(out.begin());
  ExpectMoves(forward, c.from, out, c.moves());
  EXPECT_LE(cost.peak, 2 * cost.kept + kSlack);
}

INSTANTIATE_TEST_SUITE_P(
    HostileShapes, WalkAtLimits,
    ::testing::Values(
        // The answer carries the successor's id as listed, 64 tile ids in each endpoint.
        WalkCase{"IntoWideSuccessorListedWith64Tiles", Walk::kNext, 20,
                 [] { return EveryLaneToEvery(21, kLanes); }},
        // The same moves with kTiles tile ids each would hold 143 MB.
        WalkCase{"IntoWideSuccessorListedWithMostTiles", Walk::kNext, 22, nullptr, std::size_t{kLanes} * kLanes},
        WalkCase{"IntoClosedSuccessorOfNaNLength", Walk::kNext, 30, [] { return std::vector<Move>{}; }},
        WalkCase{"IntoClosedSuccessor", Walk::kNext, 32, [] { return EachLaneToItself(33, kLanes, true); }},
        // The answer by ascending successor id, whatever the listing's order.
        WalkCase{"IntoDistinctSuccessorsListedDescending", Walk::kNext, 100,
                 [] {
                   std::vector<Move> moves;
                   for (long s = 101; s <= 100 + kListed; ++s) moves.push_back(Move{s, 1, 1});
                   return moves;
                 }},
        WalkCase{"IntoDistinctWideSuccessors", Walk::kNext, 1000, nullptr,
                 std::size_t{kListed} * kManyLanes* kManyLanes},
        // Every move into the lane, kTiles tile ids in each endpoint: 143 MB.
        WalkCase{"FromWidePredecessorWithMostTiles", Walk::kPre, 50, nullptr, std::size_t{kLanes} * kLanes},
        WalkCase{"FromClosedPredecessorWithMostTiles", Walk::kPre, 52,
                 [] { return EachLaneToItself(53, kLanes, false); }},
        WalkCase{"FromLanesListingTheLaneMostTimes", Walk::kPre, 54, nullptr,
                 std::size_t{kLanes} * kLanes* kTimes},
        WalkCase{"FromLanesListingTheLaneJustUnderTheBudget", Walk::kPre, 56,
                 [] { return EveryMoveInto(57, kLanes, kUnderBudget); }},
        WalkCase{"FromLanesListingTheLaneJustOverTheBudget", Walk::kPre, 58, nullptr,
                 std::size_t{kLanes} * kLanes*(kUnderBudget + 1)},
        // Only the middle lane leads in, and the link is too short for any lane change.
        WalkCase{"FromOneLaneLeadingIn", Walk::kPre, 60,
                 [] {
                   return std::vector<Move>{Move{61, kLanes / 2, kLanes / 2}};
                 }},
        WalkCase{"FromPredecessorOfNaNLength", Walk::kPre, 62, [] { return std::vector<Move>{}; }}),
    [](const auto& info) { return std::string(info.param.name); });

// Links of kLanes crossable lanes too short for any lane change: a walk that tried every pair of
// lanes would take kLanes x kLanes steps for kLanes moves (131,585 where these rows allow 6,728).
INSTANTIATE_TEST_SUITE_P(TooShortForLaneChanges, WalkAtLimits,
                         ::testing::Values(WalkCase{"IntoWideSuccessor", Walk::kNext, 70,
                                                    [] { return EachLaneToItself(71, kLanes, true); }},
                                           WalkCase{"FromWidePredecessor", Walk::kPre, 72,
                                                    [] { return EachLaneToItself(73, kLanes, false); }}),
                         [](const auto& info) { return std::string(info.param.name); });

// A link listing one successor kListed times, whose own id names kTiles tiles: an endpoint per
// listing, each with the successor's own id.
TEST(WalkBounds, RepeatedSuccessorWithTheLongestTileListHoldsLittleMoreThanItsAnswer) {
  ql::LinkEndpoint from;
  from.liLinkId = Map().Stored(40).liId;
  std::vector<ql::LinkEndpoint> out;
  const Cost cost = Measure([&] { EXPECT_TRUE(Lib().GetNextLinkEndpoints(from, out)); });
  const ql::HdLink& next = Map().Stored(41);
  ASSERT_EQ(next.liId.vcttiTileIds.size(), kTiles);
  ASSERT_EQ(out.size(), static_cast<std::size_t>(kListed));
  ql::LaneEndpoint want;
  static_cast<ql::LinkEndpoint&>(want) = ql::LinkEndpoint();
  want.liLinkId = next.liId;
  want.dLinkLength = next.dLength;
  const ql::Point end(next.vctvdGeoLink.back());
  want.ptEnd = ql::Point(end.dLon, end.dLat, 0.0);
  for (std::size_t i = 0; i < out.size(); ++i) {
    ql::LaneEndpoint got;
    static_cast<ql::LinkEndpoint&>(got) = out[i];
    ASSERT_EQ(qlplain::Difference(got, want), "") << "endpoint " << i;
  }
  EXPECT_LE(cost.peak, 2 * cost.kept + kSlack);
}

// ---- the answers against the plain definition ------------------------------------------------------

// Every pair of lanes of links of 5 lanes (scanned at each question) and of 12 (worked out once),
// numbered with both signs, one id listed twice, edges missing or listed twice, each edge's
// crossing type drawn from every value.
TEST(WalkBounds, ReachabilityAgreesWithThePlainDefinition) {
  const std::vector<std::vector<int>> numberings = {
      {1, 2, 3, 4, 5}, {-1, -2, -3, -4, -5}, {-2, -1, 1, 2, 3}, {2, 1, -1, 0, 3}, {INT_MIN, -1, 1, INT_MAX, 2}};
  unsigned seed = 12345;
  const auto draw = [&seed](std::size_t n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<std::size_t>((seed >> 16) % n);
  };
  std::size_t pairs = 0;
  for (const std::size_t lanes : {std::size_t{5}, std::size_t{12}}) {
    for (const std::vector<int>& numbers : numberings) {
      for (int round = 0; round < 40; ++round) {
        ql::HdLink link = qlhostile::Road(qltest::kOrigin, 90, 0.0, static_cast<int>(lanes), 100.0);
        for (ql::HdEdge& edge : link.vctheEdge) edge.nCross = static_cast<int>(draw(6)) - 1;
        link.vctheEdge.push_back(link.vctheEdge[draw(lanes + 1)]);  // an id listed twice
        link.vctheEdge.back().nCross = static_cast<int>(draw(5));
        if (draw(3) == 0) {
          link.vctheEdge.erase(link.vctheEdge.begin() + static_cast<long>(draw(lanes + 1)));  // a missing edge
        }
        for (std::size_t k = 0; k < lanes; ++k) link.vcthlLane[k].nSeqNum = numbers[k % 5];
        if (draw(2) == 0) link.vcthlLane[draw(lanes)].liId = link.vcthlLane[0].liId;
        std::vector<long> ids = {0};  // an id no lane has
        for (const ql::HdLane& lane : link.vcthlLane) ids.push_back(static_cast<long>(lane.liId));
        for (long from : ids) {
          for (long to : ids) {
            ASSERT_EQ(ql::HdLib::IsReachable(&link, LaneIdOf(from), LaneIdOf(to)),
                      qlplain::IsReachable(link, from, to))
                << lanes << " lanes, round " << round << " from " << from << " to " << to;
            ++pairs;
          }
        }
      }
    }
  }
  EXPECT_EQ(pairs, 5u * 40u * (6u * 6u + 13u * 13u));
}

TEST(WalkBounds, SmallShapesGiveThePlainAnswers) {
  std::vector<ql::LaneEndpoint> next, pre, wide;
  std::vector<ql::HdLinkId> linkNext;
  EXPECT_TRUE(Lib().GetNextLaneEndpoints(From(11), next));
  EXPECT_TRUE(Lib().GetPreEndpoints(From(11), pre));
  EXPECT_TRUE(Lib().GetLinkNext(From(11).liLinkId, 1, linkNext));
  EXPECT_TRUE(Lib().GetNextLaneEndpoints(From(12), wide));

  std::vector<std::string> texts;
  for (const ql::LaneEndpoint& e : next) texts.push_back(Text(e));
  EXPECT_EQ(texts, std::vector<std::string>{"11/110001 1>1"});
  texts.clear();
  for (const ql::LaneEndpoint& e : pre) texts.push_back(Text(e));
  EXPECT_EQ(texts, std::vector<std::string>(3, "11/110001 1>1"));
  EXPECT_EQ(qltest::Values(linkNext), std::vector<long>{11});
  // Lane 4 (the largest id) first; from each, every lane in stored order.
  texts.clear();
  for (const ql::LaneEndpoint& e : wide) texts.push_back(Text(e));
  std::vector<std::string> expected;
  for (int from = 4; from >= 1; --from) {
    for (int to = 1; to <= 4; ++to)
      expected.push_back("13/" + std::to_string(130000 + to) + " " + std::to_string(from) + ">" +
                         std::to_string(to));
  }
  EXPECT_EQ(texts, expected);
}

}  // namespace
