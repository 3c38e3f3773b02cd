// Running one table entry and showing what came of it, for people or as JSON.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Commands.h"
#include "Device.h"

namespace vmlctl {

struct Report {
  std::string command;
  Target target;
  Result result;
  int32_t code = kUnknownCode;
  std::string text;    // GetErrorText after the entry
  std::string reason;  // why it failed, in words; empty on success
  // The outcome of each library operation the entry made; the last one ended a failed entry.
  std::vector<VmlCmdOutcome> operations;
  uint64_t wallMicroseconds = 0;  // the whole entry as the tool saw it
};

// Starts from a fresh target (result code 9), runs the entry and reads what came of it.
Report Run(Device& device, const Entry& entry, const Args& args);

// Fills the reason of a failed report from its last operation and its target.
void Explain(Report& report);

// The time the library spent in the entry's operations.
uint64_t LibraryMicroseconds(const Report& report);

// "bitrate = 512, frame_rate = 25"; empty without values.
std::string InlineValues(const nlohmann::ordered_json& values);
// "[9 成功]"
std::string CodeTag(const Report& report);
// The reason and the entry's note; empty for a plain success.
std::string Why(const Report& report);
// "ok: bitrate = 512" or "failed: connection refused by 127.0.0.1:9", without the code tag.
std::string Headline(const Report& report);
// "0.84 ms", or "0.31 ms + 0.28 ms + 0.30 ms = 0.89 ms" for several operations.
std::string Timing(const Report& report);

void PrintHuman(std::ostream& out, const Report& report, bool timing = false);
nlohmann::ordered_json ToJson(const Report& report);
// Non-UTF-8 bytes (a caption in another encoding) come out as U+FFFD instead of throwing.
std::string Dump(const nlohmann::ordered_json& json, int indent = -1);

}  // namespace vmlctl
