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
  // The result code and its text, only where the entry's last operation produced them: the
  // module-wide code keeps its old value on every failure the device never answered, and that
  // value says nothing about this run. codeShown false: code kUnknownCode and no text.
  bool codeShown = false;
  int32_t code = kUnknownCode;
  std::string text;
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
// Whether an operation produced the result code it left: it set a code other than the one
// before the call (codeBefore), or the device answered it (success or a refusing status).
bool ProducedCode(const VmlCmdOutcome& outcome, int32_t codeBefore);
// "[9 成功]"; empty where no operation produced the code
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
