#pragma once

#include <pybind11/pybind11.h>

namespace vmlcmd_python {

// vmlcmd._vmlcmd.Simulator: napisim::Simulator in this process, its state and faults in the
// JSON forms of its control channel (the pure-Python half turns them into dicts).
void DefineSimulator(pybind11::module_& m);

}  // namespace vmlcmd_python
