// The inventory of a fleet as vmlctl runs it: the rows of the shared inventory reader
// (inventory/Inventory.h), each made a target with the command line's defaults.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "Device.h"

namespace vmlctl {

struct InventoryRow {
  int line = 0;      // in the file, counted from 1
  std::string name;  // the row's label; empty without one
  Target target;
  std::string group;    // the gateway's: empty without one
  std::string desired;  // the gateway's: a document's path as the row names it
};

struct InventoryError {
  int line = 0;  // 0 when the fault is the file as a whole
  std::string message;
};

// Reads every row, or stops at the first bad one. Columns the header leaves out take their
// values from defaults; host and port are required. False with error filled for a bad file.
bool ParseInventory(std::istream& in, const Target& defaults, std::vector<InventoryRow>* rows,
                    InventoryError* error);

}  // namespace vmlctl
