// The table of subcommands: one entry per device operation. The command-line layer, the help
// dump and the tour are all built from it.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Device.h"

namespace vmlctl {

enum class ArgType {
  kInt,       // a 32-bit number, optionally signed ("+1" is accepted)
  kText,      // a free text; refused when it holds a hyphen, which the device cannot carry
  kRawText,   // passed on as given, hyphens and all (the texts of commands 51 and 52)
  kSwitch,    // on/off, 1/0, true/false, yes/no
  kDateTime,  // YYYY-MM-DDTHH:MM:SS
};

struct Param {
  std::string name;  // positional: upper case ("RATE"); option: the long name ("bitrate")
  ArgType type = ArgType::kInt;
  std::string help;
  int64_t min = std::numeric_limits<int32_t>::min();
  int64_t max = std::numeric_limits<int32_t>::max();
  bool option = false;  // an optional --name instead of a required positional
};

struct DateTime {
  int32_t year = 0;
  uint8_t month = 0;
  uint8_t day = 0;
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
};

// The arguments of one run as the user typed them; the command-line layer has already checked
// them against their types, so the accessors only convert.
class Args {
 public:
  Args() = default;
  explicit Args(std::map<std::string, std::string> raw) : raw_(std::move(raw)) {}

  bool Has(const std::string& name) const { return raw_.count(name) != 0; }
  int32_t Int(const std::string& name) const;
  const std::string& Text(const std::string& name) const;
  bool Switch(const std::string& name) const;
  DateTime Time(const std::string& name) const;

  std::map<std::string, std::string>& Raw() { return raw_; }

 private:
  const std::string& Get(const std::string& name) const;
  std::map<std::string, std::string> raw_;
};

// Why a free text cannot go to the device; empty when it can.
std::string WireTextProblem(const std::string& text);

// Conversions shared by the validators and the accessors; each returns false for a bad text.
bool ParseInt(const std::string& text, int64_t min, int64_t max, int32_t* value);
bool ParseSwitch(const std::string& text, bool* value);
bool ParseDateTime(const std::string& text, DateTime* value);

struct Entry {
  Entry(std::string path_, std::string help_, std::vector<Param> args_,
        std::function<Result(Device&, const Args&)> run_)
      : path(std::move(path_)), help(std::move(help_)), args(std::move(args_)), run(std::move(run_)) {}

  std::string path;  // "get-bitrate", or "group action" for a subcommand of a group
  std::string help;
  std::vector<Param> args;
  std::function<Result(Device&, const Args&)> run;
  std::string family;  // the help section; filled in by the table
  // Earlier names of this command, still accepted but not shown in the help, so scripts written
  // against them keep working for one release.
  std::vector<std::string> oldPaths;
};

struct Group {
  std::string name;
  std::string help;
};

const std::vector<Entry>& Table();
const std::vector<Group>& Groups();
const Entry* FindEntry(const std::string& path);

}  // namespace vmlctl
