// libquilmar_python: the Python entry points over the one map object of the process.
//
//   import libquilmar_python as ql
//   ql.InitMap("/path/to/project/", "config_binary.json")   # once per process
//   info = ql.GetMapData(39.9072, 116.3990, 90.0)             # lat, lon, heading (degrees)
//
// Every GetMapData call resets and refills the one global MapInfo and hands it to Python by
// reference, so a result kept from an earlier call shows the latest request.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "Console.h"
#include "MapInterface.h"
#include "VersionCheck.h"

namespace py = pybind11;

// The answer of one request. The field name lOutRaodId is spelled so on purpose: Python code
// reads it under that name.
struct MapInfo {
  int isInMap = 0;
  long lOutRaodId = 0;
  std::vector<long> vctlOutPreRoadId;
  std::vector<long> vctlOutNxtRoadId;
  int nLaneCnt = 0;
  int nOutLaneNum = 0;
  int nOutLaneType = 0;
  int nOutLeftEdgeCrossType = 0;
  int nOutRightEdgeCrossType = 0;
  int nOutSpeedLimit = 0;
  double dOutLaneAngle = 0.0;
  double ptOutFoot_lat = 0.0;
  double ptOutFoot_lon = 0.0;
  int isInCross = 0;
};

// Built at load, in this order, possibly before the library's own dynamic initialisers (this
// file comes first on the link line): the construction touches only the HdLib instance holder
// and settings that are constant-initialised, so it does not depend on that order.
ql::MapInterface g_qlMap;  // obtains (creates) the HdLib instance
MapInfo g_info;            // the record every GetMapData returns

namespace {

int g_isInit = 0;  // 1 once an InitMap has run to its end; never reset

// Python buffers its own stdout; the library prints through C stdio and std::cout. Python's
// buffer is emptied before the library's first line of a call and C's after the call, so that the
// console lines keep the order they were made in. A call that prints nothing flushes nothing.
bool g_pythonFlushed = false;  // Python's stdout already emptied during this call
bool g_printed = false;        // the library has written to stdout during this call

void FlushPythonStdout() {
  g_pythonFlushed = true;
  PyObject* out = PySys_GetObject("stdout");  // borrowed; null or None without a console
  if (out == nullptr || out == Py_None) return;
  PyObject* r = PyObject_CallMethod(out, "flush", nullptr);
  if (r == nullptr) {
    PyErr_Clear();  // a closed stdout is no reason to fail the request
  } else {
    Py_DECREF(r);
  }
}

// The library's console hook: runs with the GIL held, as every call of the module does.
void BeforeLibraryOutput() {
  g_printed = true;
  if (!g_pythonFlushed) FlushPythonStdout();
}

// Opens a call of the module; at its end, C's buffers are flushed if the library printed.
class ConsoleScope {
 public:
  ConsoleScope(const ConsoleScope&) = delete;
  ConsoleScope& operator=(const ConsoleScope&) = delete;
  ConsoleScope() {
    g_pythonFlushed = false;
    g_printed = false;
  }
  ~ConsoleScope() {
    if (!g_printed) return;
    std::cout.flush();
    std::fflush(stdout);
  }
};

int add(int i, int j) { return i + j; }

bool InitMap(std::string strPrjPath, std::string strCfgPath) {
  const ConsoleScope console;
  BeforeLibraryOutput();
  std::printf("strPrjPath = %s, strCfgPath = %s g_isInit = %d", strPrjPath.c_str(), strCfgPath.c_str(), g_isInit);
  if (g_isInit != 0) return false;
  g_qlMap.Init(strPrjPath, strCfgPath);  // an exception leaves g_isInit at 0, so a later call retries
  g_isInit = 1;
  return true;
}

void Reset(MapInfo& info) {
  info.isInMap = 0;
  info.lOutRaodId = 0;
  info.vctlOutPreRoadId.clear();
  info.vctlOutNxtRoadId.clear();
  info.nLaneCnt = 0;
  info.nOutLaneNum = 0;
  info.nOutLaneType = 0;
  info.nOutLeftEdgeCrossType = 0;
  info.nOutRightEdgeCrossType = 0;
  info.nOutSpeedLimit = 0;
  info.dOutLaneAngle = 0.0;
  info.ptOutFoot_lat = 0.0;
  info.ptOutFoot_lon = 0.0;
  info.isInCross = 0;
}

MapInfo* GetMapData(double lat, double lon, double heading) {
  Reset(g_info);
  if (g_isInit != 1) return &g_info;

  const ql::Point p(lon, lat, 0.0);
  long linkId = 0;
  // Kept from call to call (calls hold the GIL, one at a time): copied into g_info, whose lists
  // keep their buffers too, so a request allocates nothing for them.
  static std::vector<long> preIds;
  static std::vector<long> nxtIds;
  preIds.clear();
  nxtIds.clear();
  int laneCnt = 0;
  int laneNum = 0;
  ql::LaneType laneType{};
  ql::EdgeCrossType leftCross{};
  ql::EdgeCrossType rightCross{};
  int speedLimit = 0;
  double laneAngle = 0.0;
  ql::Point foot;
  int isInCross = 0;

  const ConsoleScope console;
  if (g_qlMap.GetMapData(p, heading, linkId, preIds, nxtIds, laneCnt, laneNum, laneType, leftCross, rightCross,
                         speedLimit, laneAngle, foot, isInCross)) {
    g_info.isInMap = 1;
    g_info.lOutRaodId = linkId;
    g_info.vctlOutPreRoadId = preIds;
    g_info.vctlOutNxtRoadId = nxtIds;
    g_info.nLaneCnt = laneCnt;
    g_info.nOutLaneNum = laneNum;
    g_info.nOutLaneType = laneType;
    g_info.nOutLeftEdgeCrossType = leftCross;
    g_info.nOutRightEdgeCrossType = rightCross;
    g_info.nOutSpeedLimit = speedLimit;
    g_info.dOutLaneAngle = laneAngle;
    g_info.ptOutFoot_lat = foot.dLat;
    g_info.ptOutFoot_lon = foot.dLon;
    g_info.isInCross = isInCross;
  }
  return &g_info;
}

void DefineModule(py::module_& m) {
  m.doc() = "pybind11 example plugin";
  ql::SetConsoleHook(&BeforeLibraryOutput);

  // No constructor: Python only ever receives g_info.
  py::class_<MapInfo>(m, "MapInfo")
      .def_readwrite("isInMap", &MapInfo::isInMap)
      .def_readwrite("lOutRaodId", &MapInfo::lOutRaodId)
      .def_readwrite("vctlOutPreRoadId", &MapInfo::vctlOutPreRoadId)
      .def_readwrite("vctlOutNxtRoadId", &MapInfo::vctlOutNxtRoadId)
      .def_readwrite("nLaneCnt", &MapInfo::nLaneCnt)
      .def_readwrite("nOutLaneNum", &MapInfo::nOutLaneNum)
      .def_readwrite("nOutLaneType", &MapInfo::nOutLaneType)
      .def_readwrite("nOutLeftEdgeCrossType", &MapInfo::nOutLeftEdgeCrossType)
      .def_readwrite("nOutRightEdgeCrossType", &MapInfo::nOutRightEdgeCrossType)
      .def_readwrite("nOutSpeedLimit", &MapInfo::nOutSpeedLimit)
      .def_readwrite("dOutLaneAngle", &MapInfo::dOutLaneAngle)
      .def_readwrite("ptOutFoot_lat", &MapInfo::ptOutFoot_lat)
      .def_readwrite("ptOutFoot_lon", &MapInfo::ptOutFoot_lon)
      .def_readwrite("isInCross", &MapInfo::isInCross);

  m.def("add", &add, "A function which adds two numbers", py::arg("i") = 1, py::arg("j") = 2);
  m.def("InitMap", &InitMap, "A function which init map", py::return_value_policy::copy);
  m.def("GetMapData", &GetMapData, "A function which GetInfo", py::return_value_policy::reference);

  m.attr("the_answer") = 42;
  m.attr("what") = py::str("World");
}

constexpr const char* kCompiledFor = PYBIND11_TOSTRING(PY_MAJOR_VERSION) "." PYBIND11_TOSTRING(PY_MINOR_VERSION);

py::module_::module_def g_moduleDef;

}  // namespace

// Written out rather than through PYBIND11_MODULE so that the version rule is the one in
// VersionCheck.h, which the tests exercise with other versions than the running one.
PYBIND11_PLUGIN_IMPL(libquilmar_python) {
  const char* runtime = Py_GetVersion();
  if (!qlpy::IsCompatiblePython(kCompiledFor, runtime)) {
    PyErr_SetString(PyExc_ImportError, qlpy::PythonVersionMismatch(kCompiledFor, runtime).c_str());
    return nullptr;
  }
  PYBIND11_ENSURE_INTERNALS_READY
  auto m = py::module_::create_extension_module("libquilmar_python", nullptr, &g_moduleDef);
  try {
    DefineModule(m);
    return m.ptr();
  }
  PYBIND11_CATCH_INIT_EXCEPTIONS
}
