#pragma once  // BindRoad.h: the road-binding engine over the SD network, with its input and output records

// The engine is the place where a position is matched to SD roads (a nearest-road pass,
// BindRoadLnn, and a hidden-Markov pass over candidate nodes, BindRoadHmm). No matching
// is implemented: every operation returns at once and changes nothing, so a binding
// request only has the effect of what its caller did before (ql::SdLib loads the SD
// tiles around the position). The records and members carry what a binding would use.

#include <memory>
#include <set>

#include "CoordSys.h"
#include "SdTypes.h"

namespace ql {

// What a binding request is given. A plain aggregate: BindRoadInput{} is all empty.
struct BindRoadInput {
  Point ptPos;                       // the position to bind
  std::set<unsigned long> setRids1;  // SD road ids (the type of SdNode::outRids)
  std::set<unsigned long> setRids2;  // the same
  std::set<SdNodeId> setNodes1;      // SD node ids, altitude ignored in the order
  std::set<SdNodeId> setNodes2;      // the same
};

// What a binding request hands back. Nothing is computed, so there is nothing to hold.
struct BindRoadOutput {};

class BindRoad {
 public:
  // A node entry of the binding, the element of the sets GetNextNNodes fills.
  struct AlgoNodeData {
    const SdNode* pNode = nullptr;
    double dReserved1 = 0.0;
    double dReserved2 = 0.0;
    double dReserved3 = 0.0;
  };

  // Copies the configured candidate limit (MapConfig::algorithm_condidate_max) as it is
  // now: an engine built before the configuration is read keeps 0.
  BindRoad();

  // The process-wide engine, made on the first call with the configuration of that moment.
  static std::shared_ptr<BindRoad> GetInstance();

  // The binding passes. None has an effect: the output and the set stay as they were.
  void BindRoadLnn(const BindRoadInput& in, const SdNode* node);
  void BindRoadHmm(const BindRoadInput& in, BindRoadOutput& out);
  void GetNextNNodes(int n, const SdNode* node, std::set<AlgoNodeData>& out);
  // Always 0.0: no transition is scored.
  double GetTransProb(const SdNode* node, const BindRoadInput& in);
  // Always 0, which names no road: no road is looked up.
  unsigned long GetRid(const SdNode* node);

  int m_nReserved = 0;
  bool m_bReserved1 = true;
  bool m_bReserved2 = true;
  int m_nCandidateMax;  // the most candidate nodes a binding would weigh
  AlgoNodeData m_algoNodeData;

  static std::shared_ptr<BindRoad> m_spInstance;  // empty until GetInstance
};

// One entry per node in a set: by the node's address; the doubles take no part.
bool operator<(const BindRoad::AlgoNodeData& a, const BindRoad::AlgoNodeData& b);

}  // namespace ql
