// The library from C++: load a map once, ask where a position lies, walk on from its lane.
//   example [PROJECT_DIR]   (default examples/sample_map/, run from the checkout)

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "HdLib.h"
#include "MapInterface.h"

int main(int argc, char** argv) {
  const std::string project = argc > 1 ? argv[1] : "examples/sample_map/";  // ends in '/'
  try {
    ql::MapInterface map;  // one map per process: every instance shares the one ql::HdLib
    map.Init(project, "config_binary.json");

    const ql::Point p(116.3988513, 39.9067495, 0.0);  // longitude, latitude (degrees), altitude
    long link = 0;
    std::vector<long> pre, nxt;
    int laneCnt = 0, laneNum = 0, speedLimit = 0, inCross = 0;
    ql::LaneType laneType{};
    ql::EdgeCrossType left{}, right{};
    double laneAngle = 0.0;
    ql::Point foot;
    if (!map.GetMapData(p, 90.0, link, pre, nxt, laneCnt, laneNum, laneType, left, right, speedLimit, laneAngle,
                        foot, inCross)) {
      std::cout << "not on the map\n";
      return 1;
    }
    std::cout << "link " << link << ", lane " << laneNum << " of " << laneCnt << "\n";

    // The lanes holding p as endpoints, and the moves from the first through the links after it.
    const ql::HdLib& hd = *ql::HdLib::GetInstance();
    std::vector<ql::LaneEndpoint> here, next;
    if (hd.GetLocateEndpoints(p, 20.0f, 20.0f, here) && hd.GetNextLaneEndpoints(here.front(), next)) {
      for (const ql::LaneEndpoint& e : next) {
        std::cout << "next: link " << e.liLinkId.lValue << ", lane " << e.nFromSeqNum << " to " << e.nToSeqNum
                  << "\n";
      }
    }
  } catch (const std::exception& e) {  // a map that cannot be loaded, a tile read on demand
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
