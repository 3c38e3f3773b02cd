// A walk through every family of operations against the embedded simulator: each step runs one
// table entry and checks what came back, or what the simulated device now holds.
#pragma once

#include <iosfwd>

#include "Device.h"

namespace napisim {
class Simulator;
}

namespace vmlctl {

// Prints one line per step; returns true when every step passed.
bool RunTour(napisim::Simulator& simulator, const Target& target, std::ostream& out);

}  // namespace vmlctl
