#pragma once  // MapRequest.h: the position request with every output, each started at a value no step writes

#include <vector>

#include "CoordSys.h"
#include "HdTypes.h"
#include "MapInterface.h"

namespace qltest {

// The outputs of MapInterface::GetMapData and its result. Every output starts at a value no step
// writes, so an output a request leaves alone shows.
struct RequestOutputs {
  bool ok = false;
  long linkId = -77;
  std::vector<long> preIds{-1};
  std::vector<long> nxtIds{-2};
  int laneCnt = -3;
  int laneNum = -4;
  ql::LaneType laneType = static_cast<ql::LaneType>(-5);
  ql::EdgeCrossType leftCross = static_cast<ql::EdgeCrossType>(-6);
  ql::EdgeCrossType rightCross = static_cast<ql::EdgeCrossType>(-7);
  int speedLimit = -8;
  double laneAngle = -9.0;
  ql::Point foot{-10.0, -10.0, -10.0};
  int isInCross = -11;
};

// The request with every output (the form the Python module calls), into fresh outputs.
inline RequestOutputs Request(ql::MapInterface& map, const ql::Point& p, double heading) {
  RequestOutputs r;
  r.ok = map.GetMapData(p, heading, r.linkId, r.preIds, r.nxtIds, r.laneCnt, r.laneNum, r.laneType, r.leftCross,
                        r.rightCross, r.speedLimit, r.laneAngle, r.foot, r.isInCross);
  return r;
}

}  // namespace qltest
