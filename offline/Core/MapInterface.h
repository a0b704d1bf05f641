#pragma once  // MapInterface.h: the position request, which lane and link hold a position

#include <string>
#include <vector>

#include "CoordSys.h"
#include "HdTypes.h"
#include "MapLib.h"

namespace ql {

// The top-level map object: one per process (the Python module's g_qlMap). It owns the
// facade and reaches the whole map through it.
class MapInterface {
 public:
  MapInterface() = default;  // builds the facade, which obtains the HdLib instance

  // Reads projectPath + configPath and loads every HD tile of the configured directory.
  void Init(const std::string& projectPath, std::string configPath);

  // Locates p (degrees) on the lanes of the map, picks the lane whose angle is closest to
  // `heading` (degrees, on the map's azimuth scale) and reads its attributes there:
  //   linkId                the chosen link's lValue
  //   preIds, nxtIds        lValues of its predecessors and successors (appended, not cleared)
  //   laneCnt               lanes of the link
  //   laneNum               the lane's nSeqNum (any number, negative ones included)
  //   laneType              the lane's type
  //   leftCross, rightCross crossing types of the lane's left and right edge lines
  //   speedLimit            the link's speed limit
  //   laneAngle             azimuth of the lane's ADAS sample nearest to p
  //   foot                  foot of the perpendicular from p on the lane's line
  //   isInCross             1 when p lies in a crossing area near it (whichever lane is chosen)
  // Returns false when a step fails: no lane holds p (foot = p, no message), or an attribute
  // cannot be read (a console line names the step; none when the lane has no line, or an empty
  // one). A failing step sets its own output and those of the later steps to 0 (foot to
  // Point()) and leaves those of the earlier steps as they were, linkId, the id lists and isInCross among
  // them. Exceptions from tiles read on demand pass through.
  bool GetMapData(const Point& p, double heading, long& linkId, std::vector<long>& preIds,
                  std::vector<long>& nxtIds, int& laneCnt, int& laneNum, LaneType& laneType,
                  EdgeCrossType& leftCross, EdgeCrossType& rightCross, int& speedLimit, double& laneAngle,
                  Point& foot, int& isInCross);

  // The same request without link id, id lists and crossing flag.
  bool GetMapData(const Point& p, double heading, int& laneCnt, int& laneNum, LaneType& laneType,
                  EdgeCrossType& leftCross, EdgeCrossType& rightCross, int& speedLimit, double& laneAngle,
                  Point& foot);

 private:
  MapLib m_mapLib;
};

}  // namespace ql
