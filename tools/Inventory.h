// The inventory of a fleet: a CSV file with a header naming its columns (host, port, user,
// password, video-port, and an optional name for the device), one device a row, '#' lines as
// comments.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "Device.h"

namespace vmlctl {

struct InventoryRow {
  int line = 0;  // in the file, counted from 1
  Target target;
  std::string name;  // empty when the file has no name column
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
