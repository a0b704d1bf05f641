#include <pybind11/pybind11.h>
PYBIND11_MODULE(libquilmar_python, m) { m.doc() = "offline HD map"; }
