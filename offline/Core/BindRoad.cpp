#include "BindRoad.h"

#include <functional>

#include "MapConfig.h"

namespace ql {

std::shared_ptr<BindRoad> BindRoad::m_spInstance;

BindRoad::BindRoad() : m_nCandidateMax(MapConfig::algorithm_condidate_max) {}

std::shared_ptr<BindRoad> BindRoad::GetInstance() {
  if (!m_spInstance) m_spInstance = std::make_shared<BindRoad>();
  return m_spInstance;
}

void BindRoad::BindRoadLnn(const BindRoadInput& /*in*/, const SdNode* /*node*/) {}

void BindRoad::BindRoadHmm(const BindRoadInput& /*in*/, BindRoadOutput& /*out*/) {}

void BindRoad::GetNextNNodes(int /*n*/, const SdNode* /*node*/, std::set<AlgoNodeData>& /*out*/) {}

double BindRoad::GetTransProb(const SdNode* /*node*/, const BindRoadInput& /*in*/) { return 0.0; }

unsigned long BindRoad::GetRid(const SdNode* /*node*/) { return 0; }

bool operator<(const BindRoad::AlgoNodeData& a, const BindRoad::AlgoNodeData& b) {
  return std::less<const SdNode*>()(a.pNode, b.pNode);
}

}  // namespace ql
