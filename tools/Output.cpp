#include "Output.h"

#include <algorithm>
#include <ostream>

namespace vmlctl {

namespace {

std::string ShowValue(const nlohmann::ordered_json& value) {
  // Strings are shown with their raw bytes: a caption may not be UTF-8.
  if (value.is_string()) return "\"" + value.get<std::string>() + "\"";
  return Dump(value);
}

constexpr std::size_t kInlineLimit = 3;

}  // namespace

Outcome Run(Device& device, const Entry& entry, const Args& args) {
  Outcome outcome;
  outcome.command = entry.path;
  if (device.Begin()) {
    outcome.result = entry.run(device, args);
  } else {
    outcome.result.note = "the library refused the connection settings (host, user or password too long)";
  }
  outcome.text = device.Text();
  outcome.code = CodeForText(outcome.text);
  if (!outcome.result.ok && outcome.code == kSuccess && outcome.result.note.empty()) {
    // The library names a reason only for refused arguments and device statuses; everything
    // else (no connection, login refused, no or short reply) leaves the code as it was.
    outcome.result.note = "no usable answer from the device (connection, login or reply failed)";
  }
  return outcome;
}

std::string InlineValues(const nlohmann::ordered_json& values) {
  std::string line;
  for (const auto& [name, value] : values.items()) {
    if (!line.empty()) line += ", ";
    line += name + " = " + ShowValue(value);
  }
  return line;
}

std::string CodeTag(const Outcome& outcome) {
  return "[" + std::to_string(outcome.code) + " " + outcome.text + "]";
}

void PrintHuman(std::ostream& out, const Outcome& outcome) {
  const Result& r = outcome.result;
  std::string head = r.ok ? "ok" : "failed";
  if (!r.note.empty()) head += ": " + r.note;
  if (r.values.size() <= kInlineLimit) {
    if (!r.values.empty()) head += ": " + InlineValues(r.values);
    out << head << "  " << CodeTag(outcome) << '\n';
    return;
  }
  out << head << "  " << CodeTag(outcome) << '\n';
  std::size_t width = 0;
  for (const auto& item : r.values.items()) width = std::max(width, item.key().size());
  for (const auto& [name, value] : r.values.items()) {
    out << "  " << name << std::string(width - name.size(), ' ') << " = " << ShowValue(value) << '\n';
  }
}

nlohmann::ordered_json ToJson(const Outcome& outcome) {
  nlohmann::ordered_json json;
  json["command"] = outcome.command;
  json["ok"] = outcome.result.ok;
  json["values"] = outcome.result.values;
  json["code"] = outcome.code;
  json["text"] = outcome.text;
  if (!outcome.result.note.empty()) json["note"] = outcome.result.note;
  return json;
}

std::string Dump(const nlohmann::ordered_json& json, int indent) {
  return json.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace vmlctl
