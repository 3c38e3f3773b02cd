// Work run on every device of an inventory by a pool of worker threads, one command object per
// device, with the results printed in inventory order: a table entry here, the configuration
// commands in Config.cpp, through the same pool, labels, JSON fields and progress bar.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "Commands.h"
#include "ExitStatus.h"
#include "Inventory.h"
#include "Output.h"

namespace vmlctl {

struct FleetOptions {
  int jobs = 16;
  bool json = false;      // JSON lines: one object per device, then {"summary": ...}
  bool timing = false;    // human lines end with the time the library spent
  bool progress = false;  // a progress bar on the error stream (only for a terminal)
  // Set from outside (Ctrl-C) to stop starting devices; those running finish.
  const std::atomic<bool>* stop = nullptr;
  // The arguments each device runs with, made from the command line's just before it starts
  // (set-clock now reads the clock then); none: the command line's as they are.
  std::function<Args(const Args&)> prepare;
};

// "gate-north 10.0.0.7:8000", or the address alone for a row without a name; ShortLabel is the
// name alone where there is one, the start of each detail line under a device's result.
std::string Label(const InventoryRow& row);
std::string ShortLabel(const InventoryRow& row);
std::size_t LabelWidth(const std::vector<InventoryRow>& rows);
std::string PaddedLabel(const InventoryRow& row, std::size_t width);

// The fields every JSON line of a fleet run starts with: line, name (where there is one), host,
// port, video_port.
nlohmann::ordered_json RowJson(const InventoryRow& row);

// Runs work(i) for rows 0..count-1 on options.jobs threads and calls show(i) on this thread in
// inventory order, each as soon as its row and every row before it have finished (streamed in
// order, not sorted at the end, so a caller can free a row's result once shown). work returns
// whether the device succeeded, for the progress bar drawn on err while options.progress.
// Returns how many rows were shown: fewer than count when options.stop came first.
std::size_t RunInOrder(std::size_t count, const FleetOptions& options, std::ostream& err,
                       const std::function<bool(std::size_t)>& work,
                       const std::function<void(std::size_t)>& show);

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
