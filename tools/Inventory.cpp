#include "Inventory.h"

#include <array>
#include <istream>
#include <limits>

#include "Commands.h"
#include "Reason.h"

namespace vmlctl {

namespace {

// The library's own limits: longer names are refused before anything is sent, on every device.
constexpr std::size_t kUserLimit = 16;
constexpr std::size_t kPasswordLimit = 8;

enum Column { kHost, kPort, kUser, kPassword, kVideoPort, kName, kColumnCount };
constexpr std::array<const char*, kColumnCount> kColumnNames = {"host",     "port",       "user",
                                                                "password", "video-port", "name"};

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Splits one line at commas. A field may be quoted ("a,b", "say ""hi""") so that a password can
// hold a comma or blanks; unquoted fields lose their surrounding blanks.
bool SplitFields(const std::string& line, std::vector<std::string>* fields, std::string* problem) {
  fields->clear();
  std::size_t i = 0;
  while (true) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::string field;
    if (i < line.size() && line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          closed = true;
          ++i;
          break;
        }
        field += line[i++];
      }
      if (!closed) {
        *problem = "a quoted field has no closing quote";
        return false;
      }
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      if (i < line.size() && line[i] != ',') {
        *problem = "text after a closing quote";
        return false;
      }
    } else {
      const std::size_t comma = line.find(',', i);
      field = Trim(line.substr(i, comma == std::string::npos ? std::string::npos : comma - i));
      i = comma == std::string::npos ? line.size() : comma;
    }
    fields->push_back(field);
    if (i >= line.size()) return true;
    ++i;  // the comma
  }
}

bool Fail(InventoryError* error, int line, std::string message) {
  error->line = line;
  error->message = std::move(message);
  return false;
}

}  // namespace

bool ParseInventory(std::istream& in, const Target& defaults, std::vector<InventoryRow>* rows,
                    InventoryError* error) {
  rows->clear();
  std::array<int, kColumnCount> position;
  position.fill(-1);
  std::size_t columns = 0;
  bool haveHeader = false;
  std::string line;
  std::vector<std::string> fields;
  std::string problem;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);  // a byte-order mark
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    if (!SplitFields(line, &fields, &problem)) return Fail(error, number, problem);

    if (!haveHeader) {
      for (std::size_t i = 0; i < fields.size(); ++i) {
        int column = -1;
        for (int c = 0; c < kColumnCount; ++c) {
          if (fields[i] == kColumnNames[static_cast<std::size_t>(c)]) column = c;
        }
        if (column < 0)
          return Fail(error, number,
                      "unknown column \"" + fields[i] +
                          "\" in the header (expected host,port,user,password,video-port,name)");
        if (position[static_cast<std::size_t>(column)] >= 0)
          return Fail(error, number, "column \"" + fields[i] + "\" appears twice in the header");
        position[static_cast<std::size_t>(column)] = static_cast<int>(i);
      }
      if (position[kHost] < 0 || position[kPort] < 0)
        return Fail(error, number, "the header must name at least the columns host and port");
      columns = fields.size();
      haveHeader = true;
      continue;
    }

    if (fields.size() != columns)
      return Fail(error, number,
                  std::to_string(fields.size()) + " fields, the header has " + std::to_string(columns));
    auto field = [&](Column c) -> const std::string& {
      return fields[static_cast<std::size_t>(position[c])];
    };
    InventoryRow row;
    row.line = number;
    row.target = defaults;
    row.target.host = field(kHost);
    if (!IsDottedQuad(row.target.host))
      return Fail(error, number,
                  "host \"" + row.target.host + "\" is not a dotted-quad IPv4 address (no host names)");
    if (!ParseInt(field(kPort), 1, 65535, &row.target.port))
      return Fail(error, number, "port \"" + field(kPort) + "\" is not a number in 1..65535");
    if (position[kUser] >= 0) row.target.user = field(kUser);
    if (position[kName] >= 0) row.name = field(kName);
    if (position[kPassword] >= 0) row.target.password = field(kPassword);
    if (position[kVideoPort] >= 0 &&
        !ParseInt(field(kVideoPort), 0, std::numeric_limits<int32_t>::max(), &row.target.videoPort))
      return Fail(error, number,
                  "video-port \"" + field(kVideoPort) + "\" is not a whole number of 0 or more");
    if (row.target.user.size() > kUserLimit)
      return Fail(error, number,
                  "the user name is longer than " + std::to_string(kUserLimit) + " characters");
    if (row.target.password.size() > kPasswordLimit)
      return Fail(error, number,
                  "the password is longer than " + std::to_string(kPasswordLimit) + " characters");
    rows->push_back(std::move(row));
  }
  if (!haveHeader) return Fail(error, 0, "no header line (host,port,user,password,video-port)");
  if (rows->empty()) return Fail(error, 0, "no devices listed");
  return true;
}

}  // namespace vmlctl
