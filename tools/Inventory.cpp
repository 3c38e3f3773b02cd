#include "Inventory.h"

#include <utility>

#include "inventory/Inventory.h"

namespace vmlctl {

bool ParseInventory(std::istream& in, const Target& defaults, std::vector<InventoryRow>* rows,
                    InventoryError* error) {
  rows->clear();
  vml::inventory::Defaults fill;
  fill.user = defaults.user;
  fill.password = defaults.password;
  fill.videoPort = defaults.videoPort;
  std::vector<vml::inventory::Entry> entries;
  vml::inventory::Error problem;
  if (!vml::inventory::Read(in, fill, &entries, &problem)) {
    error->line = problem.line;
    error->message = std::move(problem.message);
    return false;
  }
  for (vml::inventory::Entry& entry : entries) {
    InventoryRow row;
    row.line = entry.line;
    row.name = std::move(entry.name);
    row.group = std::move(entry.group);
    row.desired = std::move(entry.desired);
    row.target = defaults;
    row.target.host = std::move(entry.host);
    row.target.port = entry.port;
    row.target.user = std::move(entry.user);
    row.target.password = std::move(entry.password);
    row.target.videoPort = entry.videoPort;
    if (!entry.textEncoding.empty()) {
      row.target.textEncoding = vmlcmd_text_encoding(entry.textEncoding.c_str());
      if (row.target.textEncoding < 0) {
        error->line = entry.line;
        error->message =
            "text-encoding \"" + entry.textEncoding + "\" is none this system converts (cp936, utf-8 or cpN)";
        rows->clear();
        return false;
      }
    }
    rows->push_back(std::move(row));
  }
  return true;
}

}  // namespace vmlctl
