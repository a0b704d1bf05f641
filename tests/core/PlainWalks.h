#pragma once  // PlainWalks.h: the lane walks of HdLib written plainly, step by step, to check it against

// Each function follows the definition of the HdLib member of the same name literally: every
// lane and edge is looked up by walking the lists, every candidate is built and then filtered,
// and nothing is worked out once for reuse. They are slow on purpose (an edge lookup per edge
// crossed, a copy per candidate) and meant for small links. Where the definition leaves a case
// open the choice HdLib documents is taken: lane numbers and their differences in 64 bits (no
// wrap at INT_MIN and INT_MAX), a to-lane numbered 0 never reached from another lane, a missing
// end vertex (0, 0, 0) and a two-value vertex at altitude 0, and of continuing lanes sharing an
// id the first collected.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "HdLib.h"
#include "HdTypes.h"

namespace qlplain {

// How a walk finds a link by id (HdLib::GetLinkData in the tests); null when it is not loaded.
using Lookup = std::function<const ql::HdLink*(const ql::HdLinkId&)>;

int GetEdgeCross(const ql::HdLink& link, long edgeId);
bool PassesLaneChangeRule(const ql::LaneEndpoint& e);
bool IsReachable(const ql::HdLink& link, long from, long to);
void GenCrossable(const ql::HdLink& link, std::map<int, const ql::HdLane*>& lanesByNumber,
                  std::vector<std::vector<int>>& rightGroups, std::vector<std::vector<int>>& leftGroups);
void GenPreRLanes(long laneId, const ql::HdLink& link,
                  const std::map<int, ql::HdLib::LaneEndpointExt>& lanesByNumber,
                  std::vector<ql::LaneEndpoint>& out);
// GenPreEndpoints' records of one predecessor link: its lanes with geometry by lane number.
std::map<int, ql::HdLib::LaneEndpointExt> LanesByNumber(const ql::HdLink& link);
// Predecessor links that are null are passed over.
void GenPreEndpoints(long laneId, const std::vector<const ql::HdLink*>& links, std::vector<ql::LaneEndpoint>& out);
// reported, when given, receives the lane id of every move handed out whose lane has no end
// direction (nDirection neither 2 nor 3), in order: the console lines the walk prints.
bool GetNextLaneEndpoints(const Lookup& lookup, const ql::LaneEndpoint& endpoint,
                          std::vector<ql::LaneEndpoint>& out, std::vector<long>* reported = nullptr);
bool GetPreEndpoints(const Lookup& lookup, const ql::LaneEndpoint& endpoint, std::vector<ql::LaneEndpoint>& out);

// The fields in which two endpoints differ ("" when none does), NaN equal to NaN, tile lists
// compared tile by tile: "dLinkLength 5 != 15; liLinkId tiles [0] 5823,1997 != 5823,1998".
std::string Difference(const ql::LaneEndpoint& got, const ql::LaneEndpoint& want);
// The first position at which two answers differ, and how ("" when they are the same).
std::string Difference(const std::vector<ql::LaneEndpoint>& got, const std::vector<ql::LaneEndpoint>& want);

}  // namespace qlplain
