#include "inventory/Inventory.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <istream>
#include <limits>
#include <ostream>
#include <utility>

namespace vml::inventory {
namespace {

// The login's own limits: the library refuses longer names before anything is sent.
constexpr std::size_t kUserLimit = 16;
constexpr std::size_t kPasswordLimit = 8;

enum Column {
  kName,
  kHost,
  kPort,
  kUser,
  kPassword,
  kVideoPort,
  kTextEncoding,
  kGroup,
  kDesired,
  kColumnCount
};
constexpr std::array<const char*, kColumnCount> kColumnNames = {
    "name", "host", "port", "user", "password", "video-port", "text-encoding", "group", "desired"};

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool ParseNumber(const std::string& text, std::int64_t min, std::int64_t max, std::int32_t* value) {
  std::int64_t parsed = 0;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, parsed);
  if (error != std::errc() || end != last || text.empty() || parsed < min || parsed > max) return false;
  *value = static_cast<std::int32_t>(parsed);
  return true;
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

bool Fail(Error* error, int line, std::string message) {
  error->line = line;
  error->message = std::move(message);
  return false;
}

// Why the library would refuse a login text, or empty.
std::string LoginProblem(const char* what, const std::string& text, std::size_t limit) {
  if (text.size() > limit)
    return std::string("the ") + what + " is longer than " + std::to_string(limit) + " characters";
  if (text.find('-') != std::string::npos)
    return std::string("the ") + what + " holds '-', which the device reads as the start of an option";
  return {};
}

std::string Quoted(const std::string& field) {
  if (field.find_first_of(",\"#") == std::string::npos && field == Trim(field)) return field;
  std::string quoted = "\"";
  for (char c : field) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace

bool Read(std::istream& in, const Defaults& defaults, std::vector<Entry>* entries, Error* error) {
  entries->clear();
  std::array<int, kColumnCount> position;
  position.fill(-1);
  std::size_t columns = 0;
  bool haveHeader = false;
  std::string line;
  std::vector<std::string> fields;
  std::string problem;
  std::vector<Entry> read;
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
                      "unknown column \"" + fields[i] + "\" in the header (known: " + kHeader +
                          ",text-encoding,group,desired)");
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
    Entry entry;
    entry.line = number;
    entry.user = defaults.user;
    entry.password = defaults.password;
    entry.videoPort = defaults.videoPort;
    entry.textEncoding = defaults.textEncoding;
    if (position[kTextEncoding] >= 0 && !field(kTextEncoding).empty())
      entry.textEncoding = field(kTextEncoding);
    if (position[kName] >= 0) entry.name = field(kName);
    if (position[kGroup] >= 0) entry.group = field(kGroup);
    if (position[kDesired] >= 0) entry.desired = field(kDesired);
    entry.host = field(kHost);
    if (!IsDottedQuad(entry.host))
      return Fail(error, number,
                  "host \"" + entry.host + "\" is not a dotted-quad IPv4 address (no host names)");
    if (!ParseNumber(field(kPort), 1, 65535, &entry.port))
      return Fail(error, number, "port \"" + field(kPort) + "\" is not a number in 1..65535");
    if (position[kUser] >= 0) entry.user = field(kUser);
    if (position[kPassword] >= 0) entry.password = field(kPassword);
    if (position[kVideoPort] >= 0 &&
        !ParseNumber(field(kVideoPort), 0, std::numeric_limits<std::int32_t>::max(), &entry.videoPort))
      return Fail(error, number,
                  "video-port \"" + field(kVideoPort) + "\" is not a whole number of 0 or more");
    if (problem = LoginProblem("user name", entry.user, kUserLimit); !problem.empty())
      return Fail(error, number, problem);
    if (problem = LoginProblem("password", entry.password, kPasswordLimit); !problem.empty())
      return Fail(error, number, problem);
    read.push_back(std::move(entry));
  }
  if (!haveHeader) return Fail(error, 0, std::string("no header line (") + kHeader + ")");
  if (read.empty()) return Fail(error, 0, "no devices listed");
  *entries = std::move(read);
  return true;
}

void Write(std::ostream& out, const std::vector<Entry>& entries) {
  // The encoding's column only where a row names one, so files of plain fleets keep their shape.
  const bool encodings =
      std::any_of(entries.begin(), entries.end(), [](const Entry& e) { return !e.textEncoding.empty(); });
  const bool groups =
      std::any_of(entries.begin(), entries.end(), [](const Entry& e) { return !e.group.empty(); });
  const bool desired =
      std::any_of(entries.begin(), entries.end(), [](const Entry& e) { return !e.desired.empty(); });
  out << kHeader << (encodings ? ",text-encoding" : "") << (groups ? ",group" : "")
      << (desired ? ",desired" : "") << '\n';
  for (const Entry& e : entries) {
    for (std::string comment : e.comments) {
      // A line break would end the comment and start a row.
      for (char& c : comment) {
        if (c == '\n' || c == '\r') c = ' ';
      }
      out << "# " << comment << '\n';
    }
    out << Quoted(e.name) << ',' << e.host << ',' << e.port << ',' << Quoted(e.user) << ','
        << Quoted(e.password) << ',' << e.videoPort;
    if (encodings) out << ',' << Quoted(e.textEncoding);
    if (groups) out << ',' << Quoted(e.group);
    if (desired) out << ',' << Quoted(e.desired);
    out << '\n';
  }
}

bool IsDottedQuad(const std::string& text) {
  int parts = 0;
  std::size_t i = 0;
  while (i <= text.size()) {
    std::size_t digits = 0;
    int value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      value = value * 10 + (text[i] - '0');
      if (++digits > 3) return false;
      ++i;
    }
    // A leading zero would make the library read the part as octal.
    if (digits == 0 || value > 255 || (digits > 1 && text[i - digits] == '0')) return false;
    ++parts;
    if (i == text.size()) break;
    if (text[i] != '.' || parts == 4) return false;
    ++i;
  }
  return parts == 4;
}

}  // namespace vml::inventory
