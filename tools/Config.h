// vmlctl config get|plan|apply: the command-line front end of the configuration engine
// (config/Engine.h), for one device or for every device of an inventory.
#pragma once

#include <CLI/CLI.hpp>
#include <iosfwd>
#include <string>
#include <vector>

#include "Device.h"
#include "Fleet.h"
#include "Inventory.h"

namespace vmlctl {

struct ConfigCommand {
  CLI::App* group = nullptr;
  CLI::App* get = nullptr;
  CLI::App* plan = nullptr;
  CLI::App* apply = nullptr;
  std::string ports = "0";
  std::string output;   // get -o FILE
  std::string outDir;   // get --out DIR (fleet)
  std::string file;     // plan/apply FILE
  std::string fromDir;  // plan/apply --from DIR (fleet)
  bool check = false;
  bool noRollback = false;
  bool allowAddressChange = false;
  bool summary = false;  // --inventory: the counts alone

  bool Parsed() const { return group != nullptr && group->parsed(); }
};

void AddConfigCommand(CLI::App& app, ConfigCommand* config);

// One device; the result goes to out, problems to err. Returns the exit status.
int RunConfig(const ConfigCommand& config, const Target& target, bool json, std::ostream& out,
              std::ostream& err);

// Every device of the inventory in inventory order, through the fleet mode's pool (Fleet.h): a
// line per device and one per change or problem (a JSON line per device with --json), then
// the summary.
int RunConfigFleet(const ConfigCommand& config, const std::vector<InventoryRow>& rows,
                   const FleetOptions& options, std::ostream& out, std::ostream& err);

// "DIR/192.0.2.10_4000.json"
std::string DeviceFile(const std::string& dir, const Target& target);

}  // namespace vmlctl
