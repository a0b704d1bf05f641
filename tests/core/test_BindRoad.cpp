// The road-binding engine: what a new engine holds, when it reads the configured candidate
// limit, the process-wide instance, and that no binding operation changes what it is given.

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

#include "BindRoad.h"
#include "MapConfig.h"
#include "MapLib.h"
#include "SdLib.h"
#include "SdStore.h"
#include "Singleton.h"
#include "TestConfig.h"

namespace {

using ql::BindRoad;
using ql::BindRoadInput;
using ql::BindRoadOutput;
using ql::Point;
using ql::SdNode;
using ql::SdNodeId;

TEST(BindRoad, NewEngineHoldsItsDefaultsAndTheLimitOfTheMomentItWasBuilt) {
  struct Case {
    const char* name;
    int limit;
  };
  const Case cases[] = {{"NotConfigured", 0}, {"Configured", 12}, {"Negative", -3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qltest::ConfigGuard guard;
    ql::MapConfig::algorithm_condidate_max = c.limit;
    const BindRoad engine;
    ql::MapConfig::algorithm_condidate_max = 99;  // read once, at construction
    EXPECT_EQ(engine.m_nReserved, 0);
    EXPECT_TRUE(engine.m_bReserved1);
    EXPECT_TRUE(engine.m_bReserved2);
    EXPECT_EQ(engine.m_nCandidateMax, c.limit);
    EXPECT_EQ(engine.m_algoNodeData.pNode, nullptr);
    EXPECT_EQ(engine.m_algoNodeData.dReserved1, 0.0);
    EXPECT_EQ(engine.m_algoNodeData.dReserved2, 0.0);
    EXPECT_EQ(engine.m_algoNodeData.dReserved3, 0.0);
  }
}

TEST(BindRoad, InstanceIsMadeOnceWithTheConfigurationOfTheFirstCall) {
  const std::shared_ptr<BindRoad> saved = BindRoad::m_spInstance;
  BindRoad::m_spInstance.reset();
  {
    qltest::ConfigGuard guard;
    ql::MapConfig::algorithm_condidate_max = 7;
    const std::shared_ptr<BindRoad> first = BindRoad::GetInstance();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(BindRoad::m_spInstance, first);
    ql::MapConfig::algorithm_condidate_max = 8;
    const std::shared_ptr<BindRoad> second = BindRoad::GetInstance();
    EXPECT_EQ(second, first);
    EXPECT_EQ(second->m_nCandidateMax, 7);
    EXPECT_EQ(first.use_count(), 3);  // the static holder and the two copies
  }
  BindRoad::m_spInstance = saved;
}

// What the binding operations are given: a node, an input, an output and a node set over the node.
struct Given {
  Given() {
    node.id_p = SdNodeId(Point(116.385, 39.905, 0));
    node.outRids = {77};
    in.ptPos = Point(116.385, 39.905, 3);
    in.setRids1 = {1, 2};
    in.setNodes2 = {SdNodeId(Point(1, 2, 3))};
    nodes = {BindRoad::AlgoNodeData{&node, 1.0, 2.0, 3.0}};
  }
  Given(const Given&) = delete;
  Given& operator=(const Given&) = delete;

  SdNode node;
  BindRoadInput in;
  BindRoadOutput out;
  std::set<BindRoad::AlgoNodeData> nodes;  // refers to node
};

// Every operation returns at once: its result (where it has one) is 0, and the engine, the node,
// the input and the set are as they were.
TEST(BindRoad, OperationsChangeNothing) {
  struct Case {
    const char* name;
    double (*run)(BindRoad& engine, Given& g);  // the operation's result, 0 for those without one
  };
  const Case cases[] = {
      {"BindRoadHmm",
       [](BindRoad& e, Given& g) {
         e.BindRoadHmm(g.in, g.out);
         return 0.0;
       }},
      {"BindRoadLnn",
       [](BindRoad& e, Given& g) {
         e.BindRoadLnn(g.in, &g.node);
         return 0.0;
       }},
      {"BindRoadLnnWithoutNode",
       [](BindRoad& e, Given& g) {
         e.BindRoadLnn(g.in, nullptr);
         return 0.0;
       }},
      {"GetNextNNodes",
       [](BindRoad& e, Given& g) {
         e.GetNextNNodes(5, &g.node, g.nodes);
         return 0.0;
       }},
      {"GetTransProb", [](BindRoad& e, Given& g) { return e.GetTransProb(&g.node, g.in); }},
      {"GetRid", [](BindRoad& e, Given& g) { return static_cast<double>(e.GetRid(&g.node)); }},
      {"GetRidWithoutNode", [](BindRoad& e, Given&) { return static_cast<double>(e.GetRid(nullptr)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BindRoad engine;
    const int limit = engine.m_nCandidateMax;
    Given g;
    EXPECT_EQ(c.run(engine, g), 0.0);
    // The engine is as it was built.
    EXPECT_EQ(engine.m_nReserved, 0);
    EXPECT_TRUE(engine.m_bReserved1 && engine.m_bReserved2);
    EXPECT_EQ(engine.m_nCandidateMax, limit);
    EXPECT_EQ(engine.m_algoNodeData.pNode, nullptr);
    // So is what it was given.
    EXPECT_EQ(g.node.outRids, std::vector<unsigned long>{77});
    EXPECT_EQ(g.in.ptPos.dAlt, 3.0);
    EXPECT_EQ(g.in.setRids1, (std::set<unsigned long>{1, 2}));
    EXPECT_EQ(g.in.setNodes2.size(), 1u);
    ASSERT_EQ(g.nodes.size(), 1u);
    EXPECT_EQ(g.nodes.begin()->pNode, &g.node);
    EXPECT_EQ(g.nodes.begin()->dReserved1, 1.0);
    EXPECT_EQ(g.nodes.begin()->dReserved3, 3.0);
  }
}

TEST(BindRoad, NodeSetHoldsOneEntryPerNode) {
  SdNode a, b;
  std::set<BindRoad::AlgoNodeData> nodes;
  EXPECT_TRUE(nodes.insert({&a, 1.0, 0.0, 0.0}).second);
  EXPECT_FALSE(nodes.insert({&a, 2.0, 5.0, 6.0}).second);  // the doubles take no part
  EXPECT_TRUE(nodes.insert({&b, 1.0, 0.0, 0.0}).second);
  EXPECT_TRUE(nodes.insert({nullptr, 0.0, 0.0, 0.0}).second);
  EXPECT_EQ(nodes.size(), 3u);
}

TEST(BindRoad, InputStartsEmpty) {
  const BindRoadInput in{};
  EXPECT_EQ(in.ptPos.dLon, 0.0);
  EXPECT_EQ(in.ptPos.dLat, 0.0);
  EXPECT_EQ(in.ptPos.dAlt, 0.0);
  EXPECT_TRUE(in.setRids1.empty() && in.setRids2.empty());
  EXPECT_TRUE(in.setNodes1.empty() && in.setNodes2.empty());
  // Node ids that differ only in altitude are one entry.
  BindRoadInput ids;
  ids.setNodes1 = {SdNodeId(Point(116.4, 39.9, 0)), SdNodeId(Point(116.4, 39.9, 50))};
  EXPECT_EQ(ids.setNodes1.size(), 1u);
}

}  // namespace

// The facade's own engine: a binding through MapLib changes nothing and, unlike
// SdLib::GetBindRoadResult, loads no SD tile (the SD store is not even created).
TEST(BindRoad, FacadeBindingChangesNothingAndLoadsNoSdTile) {
  qltest::ConfigGuard guard;
  ql::MapConfig::algorithm_condidate_max = 5;
  ql::MapLib facade;
  BindRoadInput in;
  in.ptPos = Point(116.38, 39.9, 0.0);
  in.setRids1 = {7};
  BindRoadOutput out;
  facade.HmmBindRoad(in, out);
  EXPECT_EQ(in.setRids1, std::set<unsigned long>{7});
  EXPECT_EQ((ql::Singleton<ql::SdWorld, ql::newSdWorld>::m_pInstance), nullptr);
}
