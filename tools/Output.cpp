#include "Output.h"

#include <algorithm>
#include <chrono>
#include <ostream>

#include "Reason.h"

namespace vmlctl {

namespace {

std::string ShowValue(const nlohmann::ordered_json& value) {
  // Device texts arrive here converted to UTF-8 (or as {"hex": ...} where they are not text).
  if (value.is_string()) return "\"" + value.get<std::string>() + "\"";
  return Dump(value);
}

constexpr std::size_t kInlineLimit = 3;

}  // namespace

Report Run(Device& device, const Entry& entry, const Args& args) {
  Report report;
  report.command = entry.path;
  report.target = device.GetTarget();
  const auto start = std::chrono::steady_clock::now();
  // Texts are typed in UTF-8 and the device keeps them in its own encoding: they are converted
  // here, once for every entry, and one that cannot be converted is refused before any traffic.
  Args wire = args;
  for (const Param& param : entry.args) {
    if ((param.type != ArgType::kText && param.type != ArgType::kRawText) || !wire.Has(param.name)) continue;
    std::string bytes;
    if (!device.ToDevice(wire.Raw()[param.name], &bytes)) {
      report.result.note = param.name + " holds a character that the device's text encoding (" +
                           EncodingName(device.GetTarget().textEncoding) +
                           ") cannot carry; nothing was sent (--text-encoding chooses another)";
      Explain(report);
      return report;
    }
    wire.Raw()[param.name] = std::move(bytes);
  }
  if (device.Begin()) {
    report.result = entry.run(device, wire);
  } else {
    report.result.note =
        "the library refused the connection settings (host, user or password too long, a hyphen in the "
        "user or password, or a character of theirs that the device's text encoding cannot carry)";
  }
  report.wallMicroseconds = static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start)
          .count());
  report.operations = device.Operations();
  // The outcome carries the code itself, and the text comes from the code: the library's text is
  // in the host's code page (CP936 on Windows) and cannot be matched elsewhere. Begin() left the
  // code at success, so that is the code before the entry's operations.
  if (!report.operations.empty() && ProducedCode(report.operations.back(), kSuccess)) {
    report.codeShown = true;
    report.code = report.operations.back().resultCode;
    report.text = TextForCode(report.code);
  }
  Explain(report);
  return report;
}

void Explain(Report& report) {
  report.reason.clear();
  if (report.result.ok) return;
  if (!report.operations.empty()) {
    const VmlCmdOutcome& last = report.operations.back();
    // An entry can fail after a successful operation (it found the values wrong); its note says why.
    if (last.stage != VmlCmdStageSuccess && last.stage != VmlCmdStageNone)
      report.reason = Describe(last, report.target);
  }
  if (report.reason.empty() && report.result.note.empty())
    report.reason = "the operation failed without naming a reason";
}

uint64_t LibraryMicroseconds(const Report& report) {
  uint64_t sum = 0;
  for (const VmlCmdOutcome& operation : report.operations) sum += operation.elapsedMicroseconds;
  return sum;
}

std::string InlineValues(const nlohmann::ordered_json& values) {
  std::string line;
  for (const auto& [name, value] : values.items()) {
    if (!line.empty()) line += ", ";
    line += name + " = " + ShowValue(value);
  }
  return line;
}

bool ProducedCode(const VmlCmdOutcome& outcome, int32_t codeBefore) {
  if (outcome.stage == VmlCmdStageNone) return false;
  return outcome.stage == VmlCmdStageSuccess || outcome.stage == VmlCmdStageReplyStatus ||
         outcome.resultCode != codeBefore;
}

std::string CodeTag(const Report& report) {
  if (!report.codeShown) return {};
  return "[" + std::to_string(report.code) + " " + report.text + "]";
}

std::string Why(const Report& report) {
  std::string why = report.reason;
  if (!report.result.note.empty()) why += (why.empty() ? "" : "; ") + report.result.note;
  return why;
}

std::string Headline(const Report& report) {
  const Result& r = report.result;
  std::string head = r.ok ? "ok" : "failed";
  const std::string why = Why(report);
  if (!why.empty()) head += ": " + why;
  if (!r.values.empty() && r.values.size() <= kInlineLimit) head += ": " + InlineValues(r.values);
  return head;
}

std::string Timing(const Report& report) {
  if (report.operations.empty()) return FormatElapsed(report.wallMicroseconds) + " (no device traffic)";
  if (report.operations.size() == 1) return FormatElapsed(report.operations.front().elapsedMicroseconds);
  std::string line;
  for (const VmlCmdOutcome& operation : report.operations) {
    if (!line.empty()) line += " + ";
    line += FormatElapsed(operation.elapsedMicroseconds);
  }
  return line + " = " + FormatElapsed(LibraryMicroseconds(report));
}

void PrintHuman(std::ostream& out, const Report& report, bool timing) {
  const Result& r = report.result;
  out << Headline(report);
  if (report.codeShown) out << "  " << CodeTag(report);
  out << '\n';
  if (r.values.size() > kInlineLimit) {
    std::size_t width = 0;
    for (const auto& item : r.values.items()) width = std::max(width, item.key().size());
    for (const auto& [name, value] : r.values.items()) {
      out << "  " << name << std::string(width - name.size(), ' ') << " = " << ShowValue(value) << '\n';
    }
  }
  if (timing) out << "  time: " << Timing(report) << '\n';
}

nlohmann::ordered_json ToJson(const Report& report) {
  nlohmann::ordered_json json;
  json["command"] = report.command;
  json["ok"] = report.result.ok;
  json["values"] = report.result.values;
  if (report.codeShown) {
    json["code"] = report.code;
    json["text"] = report.text;
  }
  if (!report.reason.empty()) json["reason"] = report.reason;
  if (!report.result.note.empty()) json["note"] = report.result.note;
  if (!report.operations.empty()) json["outcome"] = OutcomeJson(report.operations.back());
  if (report.operations.size() > 1) {
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    for (const VmlCmdOutcome& operation : report.operations) all.push_back(OutcomeJson(operation));
    json["operations"] = all;
  }
  json["elapsed_us"] = LibraryMicroseconds(report);
  json["wall_us"] = report.wallMicroseconds;
  return json;
}

std::string Dump(const nlohmann::ordered_json& json, int indent) {
  return json.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace vmlctl
