// A walk through every family of operations against the embedded simulator: each step runs one
// table entry and checks what came back, or what the simulated device now holds.
#pragma once

#include <iosfwd>

#include "Device.h"

namespace napisim {
class Simulator;
}

namespace vmlctl {

struct TourOptions {
  bool json = false;    // one JSON object with every step instead of lines
  bool timing = false;  // each line ends with the time the step's operations took
};

// Prints one line per step (or one JSON object); returns true when every step passed.
bool RunTour(napisim::Simulator& simulator, const Target& target, std::ostream& out,
             TourOptions options = {});

}  // namespace vmlctl
