// One table entry run on every device of an inventory by a pool of worker threads, one command
// object per device, with the results printed in inventory order.
#pragma once

#include <atomic>
#include <chrono>
#include <iosfwd>
#include <string>
#include <vector>

#include "Commands.h"
#include "Inventory.h"

namespace vmlctl {

struct FleetOptions {
  int jobs = 16;
  bool json = false;      // JSON lines: one object per device, then {"summary": ...}
  bool timing = false;    // human lines end with the time the library spent
  bool progress = false;  // a progress bar on the error stream (only for a terminal)
  // Set from outside (Ctrl-C) to stop starting devices; those running finish.
  const std::atomic<bool>* stop = nullptr;
};

constexpr int kExitInterrupted = 130;

// Returns the exit status: 0 when every device succeeded, 1 when one failed, kExitInterrupted
// when stop came before every device had started.
// The bar the fleet runs redraw in place on a terminal: "\r[####....] 12/20  failed 1  0.4 s".
std::string ProgressBar(std::size_t done, std::size_t total, std::size_t failed,
                        std::chrono::steady_clock::duration elapsed);

int RunFleet(const std::vector<InventoryRow>& rows, const Entry& entry, const Args& args,
             const FleetOptions& options, std::ostream& out, std::ostream& err);

}  // namespace vmlctl
