#include "Tour.h"

#include <cstddef>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "Commands.h"
#include "Output.h"
#include "napisim/Simulator.h"

namespace vmlctl {

namespace {

constexpr std::size_t kShownValues = 6;

using DeviceCheck = std::function<bool(const napisim::DeviceState&, const napisim::VideoPort&)>;

struct Step {
  std::string command;
  std::map<std::string, std::string> args;
  // Values that must come back (a subset of the result's values).
  nlohmann::ordered_json expect = nlohmann::ordered_json::object();
  // For writes with no getter: what the device must hold afterwards.
  DeviceCheck device;
};

// The command line a user would type for the step, in the entry's argument order.
std::string Label(const Entry& entry, const Args& args) {
  std::string label = entry.path;
  for (const Param& param : entry.args) {
    if (!args.Has(param.name)) continue;
    const std::string& value = args.Text(param.name);
    label += " " + (value.find(' ') == std::string::npos ? value : "\"" + value + "\"");
  }
  return label;
}

std::string Mismatches(const nlohmann::ordered_json& expect, const nlohmann::ordered_json& got) {
  std::string wrong;
  for (const auto& [name, value] : expect.items()) {
    if (got.contains(name) && got[name] == value) continue;
    if (!wrong.empty()) wrong += ", ";
    wrong += name + " should be " + Dump(value);
  }
  return wrong;
}

std::vector<Step> Steps() {
  using J = nlohmann::ordered_json;
  return {
      {"vendor", {}, J::object(), {}},
      {"network", {}, J::object(), {}},
      {"set-network",
       {{"IP", "192.0.2.20"}, {"MASK", "255.255.0.0"}, {"GW", "192.0.2.254"}},
       J::object(),
       {}},
      {"network", {}, {{"ip", "192.0.2.20"}, {"subnet_mask", "255.255.0.0"}, {"gateway", "192.0.2.254"}}, {}},
      {"set-baud", {{"RATE", "19200"}}, J::object(), {}},
      {"get-baud", {}, {{"baud", 19200}}, {}},
      {"ptz-protocol",
       {{"PROTOCOL", "2"}, {"HEAD", "1"}},
       J::object(),
       [](const auto& s, const auto&) { return s.ptzHeads[1].protocol == 2; }},
      {"ptz-address",
       {{"ADDRESS", "7"}, {"HEAD", "1"}},
       J::object(),
       [](const auto& s, const auto&) { return s.ptzHeads[1].address == 7; }},
      {"ptz-parameters",
       {{"R", "3"}, {"S", "4"}},
       J::object(),
       [](const auto&, const auto& p) {
         return p.ptzParameters.set && p.ptzParameters.r == 3 && p.ptzParameters.s == 4;
       }},
      {"set-clock",
       {{"DATETIME", "2026-12-25T13:45:30"}},
       J::object(),
       [](const auto& s, const auto&) { return s.clock.date == "20261225" && s.clock.time == "134530"; }},
      {"ptz pan",
       {{"DIRECTION", "+1"}},
       J::object(),
       [](const auto&, const auto& p) { return p.ptz.action == 4; }},
      {"ptz stop", {}, J::object(), [](const auto&, const auto& p) { return p.ptz.action == 0; }},
      {"set-bitrate", {{"N", "700"}}, J::object(), {}},
      {"get-bitrate", {}, {{"bitrate", 700}}, {}},
      {"set-frame-rate", {{"N", "15"}}, J::object(), {}},
      {"get-frame-rate", {}, {{"frame_rate", 15}}, {}},
      {"set-brightness", {{"N", "100"}}, J::object(), {}},
      {"get-brightness", {}, {{"brightness", 100}}, {}},
      {"set-contrast", {{"N", "150"}}, J::object(), {}},
      {"get-contrast", {}, {{"contrast", 150}}, {}},
      {"set-saturation", {{"N", "90"}}, J::object(), {}},
      {"get-saturation", {}, {{"saturation", 90}}, {}},
      {"set-hue", {{"N", "140"}}, J::object(), {}},
      {"get-hue", {}, {{"hue", 140}}, {}},
      // The combined read shows the single-value scale too, whatever the device keeps.
      {"video-settings",
       {},
       {{"bitrate", 700},
        {"frame_rate", 15},
        {"brightness", 100},
        {"contrast", 150},
        {"saturation", 90},
        {"hue", 140}},
       {}},
      {"restore-video-defaults", {}, J::object(), {}},
      {"video-settings",
       {},
       {{"bitrate", 512}, {"frame_rate", 25}, {"brightness", 128}, {"contrast", 199}},
       {}},
      {"privacy-mask set",
       {{"ENABLED", "on"}, {"LEFT", "16"}, {"TOP", "16"}, {"WIDTH", "64"}, {"HEIGHT", "48"}},
       J::object(),
       {}},
      {"privacy-mask get",
       {},
       {{"enabled", true}, {"left", 16}, {"top", 16}, {"width", 64}, {"height", 48}},
       {}},
      {"motion set",
       {{"ENABLED", "on"},
        {"LEFT", "32"},
        {"TOP", "24"},
        {"WIDTH", "320"},
        {"HEIGHT", "240"},
        {"SENSITIVITY", "60"}},
       J::object(),
       {}},
      {"motion get", {}, {{"enabled", true}, {"left", 32}, {"width", 320}, {"sensitivity", 60}}, {}},
      {"osd set-caption", {{"SHOW", "on"}, {"POSITION", "3"}, {"TEXT", "Gate 1"}}, J::object(), {}},
      {"osd caption", {}, {{"show", true}, {"position", 3}, {"caption", "Gate 1"}}, {}},
      {"osd set-clock-overlay", {{"SHOW", "on"}, {"POSITION", "8"}}, J::object(), {}},
      {"osd clock-overlay", {}, {{"show", true}, {"position", 8}}, {}},
  };
}

}  // namespace

bool RunTour(napisim::Simulator& simulator, const Target& target, std::ostream& out, TourOptions options) {
  Device device(target);
  if (!device.Created()) {
    if (options.json) {
      out << Dump({{"command", "tour"}, {"ok", false}, {"reason", "CreateICommand returned no object"}})
          << '\n';
    } else {
      out << "✗ CreateICommand returned no object\n";
    }
    return false;
  }
  const std::vector<Step> steps = Steps();
  std::size_t passed = 0;
  nlohmann::ordered_json shown = nlohmann::ordered_json::array();
  for (const Step& step : steps) {
    const Entry* entry = FindEntry(step.command);
    const Args args(step.args);
    const Report report = Run(device, *entry, args);
    std::string problem;
    if (!report.result.ok) {
      problem = Why(report);
    } else {
      problem = Mismatches(step.expect, report.result.values);
      if (problem.empty() && step.device) {
        const napisim::DeviceState state = simulator.State();
        const auto port = static_cast<std::size_t>(target.videoPort);
        if (port >= state.videoPorts.size() || !step.device(state, state.videoPorts[port]))
          problem = "the device does not hold the new setting";
      }
    }
    const std::string label = Label(*entry, args);
    if (problem.empty()) ++passed;
    if (options.json) {
      nlohmann::ordered_json one;
      one["step"] = label;
      one["passed"] = problem.empty();
      if (!problem.empty()) one["problem"] = problem;
      one["report"] = ToJson(report);
      shown.push_back(one);
      continue;
    }
    std::string detail =
        report.result.values.empty() ? std::string("ok") : InlineValues(report.result.values);
    if (report.result.values.size() > kShownValues && !step.expect.empty()) {
      detail = InlineValues(step.expect) + ", …";  // the checked values; the rest would overrun the line
    }
    if (!problem.empty()) detail = problem;
    out << (problem.empty() ? "✓ " : "✗ ") << label
        << std::string(label.size() < 40 ? 40 - label.size() : 1, ' ') << detail;
    if (report.codeShown) out << "  " << CodeTag(report);
    if (options.timing) out << "  (" << Timing(report) << ")";
    out << '\n';
  }
  if (options.json) {
    nlohmann::ordered_json json;
    json["command"] = "tour";
    json["ok"] = passed == steps.size();
    json["passed"] = passed;
    json["steps_total"] = steps.size();
    json["steps"] = shown;
    out << Dump(json) << '\n';
  } else {
    out << passed << " of " << steps.size() << " steps passed\n";
  }
  return passed == steps.size();
}

}  // namespace vmlctl
