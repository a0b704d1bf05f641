// The endpoint walks on shapes whose listings multiply (HostileWalks.h): each call's heap is
// bounded by its answer, and the answers are those of the walks' plain definition. Every
// operator new of this program is counted (HeapCount.cpp), so a call's peak is read off exactly;
// times are the benchmark's (bench/bench_hostile_walks.cpp).

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <string>
#include <vector>

#include "HdLib.h"
#include "HeapCount.h"
#include "HostileWalks.h"
#include "LinkLimits.h"
#include "MapBuilder.h"

namespace {

using qlhostile::LaneIdOf;

// The longest listings and the most lanes a tile may hold.
constexpr int kTimes = static_cast<int>(ql::sc_nMaxLaneListing);  // self-listings of the big shape
constexpr int kLanes = static_cast<int>(ql::sc_nMaxLinkLanes);    // lanes of the wide successor
static_assert(ql::sc_nMaxLinkListing == ql::sc_nMaxLaneListing, "the self-listing shape lists both");

// Link ids: 1 listing itself kTimes times, 2 -> 3 of kLanes lanes; 11 listing itself 3 times,
// 12 -> 13 of 4 lanes.
std::vector<ql::HdLink> Links() {
  std::vector<ql::HdLink> links;
  for (auto shape :
       {qlhostile::SelfListing(qltest::kOrigin, kTimes, 1), qlhostile::WideSuccessor(qltest::kOrigin, kLanes, 2),
        qlhostile::SelfListing(qltest::kOrigin, 3, 11), qlhostile::WideSuccessor(qltest::kOrigin, 4, 12)}) {
    for (ql::HdLink& link : shape) links.push_back(std::move(link));
  }
  return links;
}

const qltest::WrittenMap& Map() {
  static const qltest::WrittenMap map("test_HdWalkBounds", Links(), 5, "config_json.json");
  return map;
}

const ql::HdLib& Lib() {
  Map();
  return *ql::HdLib::GetInstance();
}

ql::LaneEndpoint From(long link) {
  ql::LaneEndpoint e;
  e.liLinkId = Map().Stored(link).liId;
  e.liLaneId = LaneIdOf(link * 10000 + 1);
  return e;
}

// The most heap call() held above what was live before it, and what it still holds after.
struct Heap {
  std::size_t peak = 0;
  std::size_t kept = 0;
};
template <class Call>
Heap Measure(Call&& call) {
  Lib().GetLinkData(Map().Stored(1).liId);  // every tile read before measuring
  const std::size_t before = qltest::g_heap.live;
  qltest::g_heap.ResetPeak();
  call();
  return Heap{qltest::g_heap.peak - before, qltest::g_heap.live - before};
}

constexpr std::size_t kSlack = 1 << 20;  // bytes a call may hold beyond twice its answer

std::string Text(const ql::LaneEndpoint& e) {
  return std::to_string(e.liLinkId.lValue) + "/" + std::to_string(static_cast<long>(e.liLaneId)) + " " +
         std::to_string(e.nFromSeqNum) + ">" + std::to_string(e.nToSeqNum);
}

// ---- heap per call --------------------------------------------------------------------------------

TEST(WalkBounds, SelfListingLinkWalksHoldLittleMoreThanTheirAnswer) {
  std::vector<ql::LaneEndpoint> next, pre;
  std::vector<ql::HdLinkId> linkNext;
  const Heap nextHeap = Measure([&] { EXPECT_TRUE(Lib().GetNextLaneEndpoints(From(1), next)); });
  const Heap preHeap = Measure([&] { EXPECT_TRUE(Lib().GetPreEndpoints(From(1), pre)); });
  const Heap linkNextHeap = Measure([&] { EXPECT_TRUE(Lib().GetLinkNext(From(1).liLinkId, 1, linkNext)); });

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
}

TEST(WalkBounds, WideSuccessorListsEveryMoveOnceHoldingLittleMoreThanThem) {
  std::vector<ql::LaneEndpoint> out;
  const Heap heap = Measure([&] { EXPECT_TRUE(Lib().GetNextLaneEndpoints(From(2), out)); });
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
}

// ---- the answers against the plain definition ------------------------------------------------------

// IsReachable as defined, lane by lane and edge by edge.
bool PlainReachable(const ql::HdLink& link, long from, long to) {
  const auto& lanes = link.vcthlLane;
  long a = -1, b = -1;
  for (std::size_t i = 0; i < lanes.size(); ++i) {
    if (static_cast<long>(lanes[i].liId) == from) a = static_cast<long>(i);
    if (static_cast<long>(lanes[i].liId) == to) b = static_cast<long>(i);
  }
  if (a < 0 || b < 0) return false;
  if (a == b) return true;
  const long long s = lanes[a].nSeqNum, t = lanes[b].nSeqNum;
  if (t == 0 || s == 0 || s / t < 0) return false;
  const auto cross = [&](long edgeId) {
    for (const ql::HdEdge& edge : link.vctheEdge) {
      if (edge.lId == edgeId) return edge.nCross;
    }
    return -1;
  };
  const auto left = [&](long k) {
    const int c = cross(lanes[k].lLeftEdgeId);
    return c == 2 || c == 3;
  };
  const auto right = [&](long k) {
    const int c = cross(lanes[k].lRightEdgeId);
    return c == 2 || c == 4;
  };
  if (a < b) {
    for (long k = a; k < b; ++k) {
      if (!(s > 0 ? right(k) : left(k))) return false;
    }
  } else {
    for (long k = a; k > b; --k) {
      if (!(s > 0 ? left(k) : right(k))) return false;
    }
  }
  return true;
}

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
            ASSERT_EQ(ql::HdLib::IsReachable(&link, LaneIdOf(from), LaneIdOf(to)), PlainReachable(link, from, to))
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
