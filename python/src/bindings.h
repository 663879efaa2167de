// The parts of the Python module, each declared into it by its own function.
#pragma once

#include <pybind11/pybind11.h>

namespace QuorvanePython {

void bindTracker(pybind11::module_& m);
void bindOrientationFilter(pybind11::module_& m);

}  // namespace QuorvanePython
