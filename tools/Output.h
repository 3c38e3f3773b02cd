// Running one table entry and showing what came of it, for people or as JSON.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>

#include "Commands.h"
#include "Device.h"

namespace vmlctl {

struct Outcome {
  std::string command;
  Result result;
  int32_t code = kUnknownCode;
  std::string text;  // GetErrorText after the operation
};

// Starts from a fresh target (result code 9), runs the entry and reads the result code.
Outcome Run(Device& device, const Entry& entry, const Args& args);

// "bitrate = 512, frame_rate = 25"; empty without values.
std::string InlineValues(const nlohmann::ordered_json& values);
// "[9 成功]"
std::string CodeTag(const Outcome& outcome);

void PrintHuman(std::ostream& out, const Outcome& outcome);
nlohmann::ordered_json ToJson(const Outcome& outcome);
// Non-UTF-8 bytes (a caption in another encoding) come out as U+FFFD instead of throwing.
std::string Dump(const nlohmann::ordered_json& json, int indent = -1);

}  // namespace vmlctl
