// One table entry run on every device of an inventory by a pool of worker threads, one command
// object per device, with the results printed in inventory order.
#pragma once

#include <atomic>
#include <chrono>
#include <iosfwd>
#include <string>
#include <vector>

#include "Commands.h"
#include "ExitStatus.h"
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

// The bar the fleet runs redraw in place on a terminal: "\r[####....] 12/20  failed 1  0.4 s".
std::string ProgressBar(std::size_t done, std::size_t total, std::size_t failed,
                        std::chrono::steady_clock::duration elapsed);

// The exit status of a fleet run: kExitInterrupted when fewer devices finished than there are,
// else kExitOk, kExitFailed or kExitNoneSucceeded by how many of them failed.
int FleetStatus(std::size_t devices, std::size_t finished, std::size_t failed);

// Returns the exit status: kExitOk when every device succeeded, kExitFailed when some failed,
// kExitNoneSucceeded when all did, kExitInterrupted when stop came before every device had
// started.
int RunFleet(const std::vector<InventoryRow>& rows, const Entry& entry, const Args& args,
             const FleetOptions& options, std::ostream& out, std::ostream& err);

}  // namespace vmlctl
