// vmlctl: runs one operation of the client library against a video server, or against a
// simulated one started in this process, and prints the result and the library's result text.
//
// Exit statuses: ExitStatus.h, the same for every subcommand.
#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <exception>
#include <fstream>
#include <functional>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Clock.h"
#include "Commands.h"
#include "Config.h"
#include "Device.h"
#include "Discover.h"
#include "ExitStatus.h"
#include "Files.h"
#include "Fleet.h"
#include "Inventory.h"
#include "Output.h"
#include "Reason.h"
#include "Terminal.h"
#include "TextEncodingOption.h"
#include "Tour.h"
#include "Trace.h"
#include "napisim/Simulator.h"

namespace vmlctl {
namespace {

// One table entry as a CLI11 subcommand, with the texts its arguments are parsed into.
struct Bound {
  const Entry* entry = nullptr;
  CLI::App* app = nullptr;
  std::map<std::string, std::string> raw;
  std::vector<std::pair<std::string, CLI::Option*>> options;
};

CLI::Validator ValidatorFor(const Param& param) {
  switch (param.type) {
    case ArgType::kInt: {
      const bool ranged = param.min != std::numeric_limits<int32_t>::min() ||
                          param.max != std::numeric_limits<int32_t>::max();
      const std::string range = ranged ? std::to_string(param.min) + ".." + std::to_string(param.max) : "";
      return CLI::Validator(
          [param, range, ranged](std::string& text) -> std::string {
            int32_t value = 0;
            if (ParseInt(text, param.min, param.max, &value)) return {};
            return ranged ? "expects a whole number in " + range : "expects a 32-bit whole number";
          },
          "");
    }
    case ArgType::kSwitch:
      return CLI::Validator(
          [](std::string& text) -> std::string {
            bool value = false;
            return ParseSwitch(text, &value) ? std::string() : std::string("expects on or off");
          },
          "");
    case ArgType::kDateTime:
      return CLI::Validator(
          [](std::string& text) -> std::string {
            DateTime value;
            return text == "now" || ParseDateTime(text, &value)
                       ? std::string()
                       : std::string("expects YYYY-MM-DDTHH:MM:SS or now");
          },
          "");
    case ArgType::kText:
      return CLI::Validator([](std::string& text) { return WireTextProblem(text); }, "");
    case ArgType::kRawText:
      break;
  }
  return CLI::Validator([](std::string&) { return std::string(); }, "");
}

std::string TypeName(const Param& param) {
  switch (param.type) {
    case ArgType::kInt:
      return "INT";
    case ArgType::kSwitch:
      return "on|off";
    case ArgType::kDateTime:
      return "YYYY-MM-DDTHH:MM:SS|now";
    case ArgType::kText:
    case ArgType::kRawText:
      break;
  }
  return "TEXT";
}

std::vector<std::unique_ptr<Bound>> AddTable(CLI::App& app) {
  // Groups are made when their first action comes up, so the help keeps the table's order.
  // An old name is hidden (CLI11's empty group) but parsed like the current one; a group that
  // only old names use is hidden too.
  std::map<std::string, CLI::App*> groups;
  auto group = [&](const std::string& name, const std::string& family) {
    CLI::App*& sub = groups[name];
    if (sub == nullptr) {
      std::string help;
      for (const Group& g : Groups()) {
        if (g.name == name) help = g.help;
      }
      sub = app.add_subcommand(name, help);
      sub->require_subcommand(1);
      sub->group(family);
    }
    return sub;
  };
  std::vector<std::unique_ptr<Bound>> bound;
  std::vector<std::pair<const Entry*, std::string>> paths;
  for (const Entry& entry : Table()) {
    paths.emplace_back(&entry, entry.path);
  }
  for (const Entry& entry : Table()) {
    for (const std::string& old : entry.oldPaths) paths.emplace_back(&entry, old);
  }
  for (const auto& [entryPointer, path] : paths) {
    const Entry& entry = *entryPointer;
    const bool old = path != entry.path;
    CLI::App* parent = &app;
    std::string name = path;
    if (const auto space = name.find(' '); space != std::string::npos) {
      parent = group(name.substr(0, space), old ? std::string() : entry.family);
      name = name.substr(space + 1);
    }
    auto b = std::make_unique<Bound>();
    b->entry = &entry;
    b->app = parent->add_subcommand(name, entry.help);
    if (parent == &app) b->app->group(old ? std::string() : entry.family);
    if (old) b->app->group("");
    for (const Param& param : entry.args) {
      std::string& target = b->raw[param.name];
      CLI::Option* option = param.option ? b->app->add_option("--" + param.name, target, param.help)
                                         : b->app->add_option(param.name, target, param.help)->required();
      option->type_name(TypeName(param))->check(ValidatorFor(param));
      b->options.emplace_back(param.name, option);
    }
    bound.push_back(std::move(b));
  }
  return bound;
}

// Each subcommand with the names of its parents, so its usage line reads "vmlctl ptz pan";
// a group's actions follow the group.
void PrintSubcommandHelp(CLI::App& parent, const std::string& parents, std::ostream& out) {
  for (CLI::App* sub : parent.get_subcommands([](CLI::App* s) { return !s->get_group().empty(); })) {
    out << "\n" << std::string(72, '-') << "\n" << sub->help(parents);
    PrintSubcommandHelp(*sub, parents + " " + sub->get_name(), out);
  }
}

void PrintAllHelp(CLI::App& app, std::ostream& out) {
  // Straight from the formatter: App::help() would show the help-all subcommand that ran.
  out << app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal);
  PrintSubcommandHelp(app, app.get_name(), out);
}

std::atomic<bool> interrupted{false};

// Ctrl-C stops starting devices; a second one ends the tool at once.
extern "C" void OnInterrupt(int) {
  interrupted = true;
  std::signal(SIGINT, SIG_DFL);
}

int RunInventory(const std::string& path, const Target& defaults, FleetOptions options,
                 const std::function<int(const std::vector<InventoryRow>&, FleetOptions)>& run) {
  if (const std::string problem = ReadProblem(path); !problem.empty()) {
    std::cerr << "vmlctl: " << problem << "; nothing was run\n";
    return kExitUsage;
  }
  std::ifstream file(path);
  std::vector<InventoryRow> rows;
  InventoryError error;
  if (!ParseInventory(file, defaults, &rows, &error)) {
    std::cerr << "vmlctl: " << path;
    if (error.line > 0) std::cerr << ":" << error.line;
    std::cerr << ": " << error.message << "; nothing was run\n";
    return kExitUsage;
  }
  options.progress = PrepareProgressDisplay();
  options.stop = &interrupted;
  std::signal(SIGINT, OnInterrupt);
  return run(rows, options);
}

int Main(int argc, char** argv) {
  CLI::App app{
      "Runs one operation of the video-server client library and prints its result and result text.\n"
      "Without --host it starts a simulated device in this process (127.0.0.1, any free port)."};
  app.name("vmlctl");
  app.require_subcommand(1);
  app.fallthrough();  // global options may follow the subcommand too
  app.set_version_flag("--version", "vmlctl " VMLCMD_VERSION_TEXT, "Print the version and exit");

  Target target;
  bool json = false;
  bool trace = false;
  bool timing = false;
  std::string inventory;
  int jobs = 16;
  CLI::Option* host = app.add_option("--host", target.host,
                                     "Device address (dotted quad); omit to use the embedded simulator");
  CLI::Option* port = app.add_option("--port", target.port, "Device TCP port (with --host)")
                          ->check(CLI::Range(1, 65535))
                          ->needs(host);
  const CLI::Validator wireText([](std::string& text) { return WireTextProblem(text); }, "");
  app.add_option("--user", target.user, "Login user name")->capture_default_str()->check(wireText);
  app.add_option("--password", target.password, "Login password")->capture_default_str()->check(wireText);
  app.add_option("--video-port", target.videoPort, "Video port the per-port operations address")
      ->capture_default_str();
  std::string textEncoding = "cp936";
  vmlctl::AddTextEncodingOption(
      app, &textEncoding,
      "Code page the devices keep their texts in (cp936, utf-8 or cpN); texts here are UTF-8 and "
      "converted to and from it (an inventory's text-encoding column overrides it per device)");
  app.add_flag("--json", json, "Print one JSON object instead of text (JSON lines with --inventory)");
  app.add_flag("--timing", timing, "Show how long each library operation took");
  CLI::Option* traceOption = app.add_flag(
      "--trace", trace,
      "Print every request and reply on stderr: header fields, hex and text (through a relay on 127.0.0.1)");
  CLI::Option* inventoryOption =
      app.add_option("--inventory", inventory,
                     "Run the command on every device of this CSV file (header host,port,user,password,"
                     "video-port; '#' comments); --user, --password and --video-port fill missing columns")
          ->excludes(host)
          ->excludes(port)
          ->excludes(traceOption);
  app.add_option("--jobs", jobs, "Devices worked on at once with --inventory")
      ->capture_default_str()
      ->check(CLI::Range(1, 1024))
      ->needs(inventoryOption);

  std::vector<std::unique_ptr<Bound>> bound = AddTable(app);
  // "now" in a time argument is the host's clock, local time unless --utc.
  bool utc = false;
  for (const auto& b : bound) {
    for (const Param& param : b->entry->args) {
      if (param.type == ArgType::kDateTime) {
        b->app->add_flag("--utc", utc, "With now: the host's clock in UTC rather than its local time");
        break;
      }
    }
  }
  // Read just before each device is worked on, so a long fleet run sets no device to a time
  // already past.
  const Bound* chosen = nullptr;
  auto resolveNow = [&utc, &chosen](const Args& args) {
    Args resolved = args;
    for (const Param& param : chosen->entry->args) {
      auto found = resolved.Raw().find(param.name);
      if (param.type == ArgType::kDateTime && found != resolved.Raw().end())
        found->second = ResolveNow(found->second, utc);
    }
    return resolved;
  };
  ConfigCommand config;
  AddConfigCommand(app, &config);
  CLI::App* tour = app.add_subcommand(
      "tour",
      "Walk through every family of operations against the embedded simulator, one checked step a line");
  CLI::App* state = app.add_subcommand("state", "Print the embedded simulator's device state as JSON");
  DiscoverOptions discover;
  CLI::App* discoverApp = app.add_subcommand(
      "discover",
      "Try every address and port of the targets for a device (a login and the version request, 100 ms "
      "to connect) and print what answered as an inventory; the summary goes to stderr");
  discoverApp
      ->add_option(
          "TARGET", discover.targets,
          "An address, a CIDR block (127.0.0.0/28) or a range (127.0.0.1-127.0.0.40 or 127.0.0.1-40); "
          "at most 65,536 endpoints in all")
      ->required();
  discoverApp
      ->add_option("--ports", discover.ports, "TCP ports to try: a list with ranges, such as 8000,9000-9010")
      ->capture_default_str();
  discoverApp->add_option("--jobs", discover.jobs, "Endpoints tried at once, one command object each")
      ->capture_default_str()
      ->check(CLI::Range(1, kMostDiscoverJobs));
  discoverApp->add_option("-o,--output", discover.output,
                          "Write the inventory to this file (replaced whole, only after a complete scan)");
  CLI::App* helpAll = app.add_subcommand("help-all", "Print the usage of every subcommand");
  for (CLI::App* tool : {tour, state, discoverApp, helpAll}) tool->group("Tool");
  // Set after the subcommands are made, which would inherit it: the table ends the tool's own
  // help only.
  app.footer(kExitStatusTable);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }

  if (helpAll->parsed()) {
    PrintAllHelp(app, std::cout);
    return kExitOk;
  }
  target.textEncoding = vmlcmd_text_encoding(textEncoding.c_str());
  if (discoverApp->parsed()) {
    if (host->count() != 0 || inventoryOption->count() != 0 || trace) {
      std::cerr << "vmlctl: discover finds its own devices; drop --host, --inventory and --trace\n";
      return kExitUsage;
    }
    discover.json = json;
    discover.login = target;
    discover.stop = &interrupted;
    discover.progress = PrepareProgressDisplay();
    std::signal(SIGINT, OnInterrupt);
    return RunDiscover(discover, std::cout, std::cerr);
  }
  const bool embedded = host->count() == 0 && inventoryOption->count() == 0;
  if ((state->parsed() || tour->parsed()) && !embedded) {
    std::cerr << "vmlctl: " << (state->parsed() ? "state" : "tour")
              << " works only with the embedded simulator; drop --host and --inventory\n";
    return kExitUsage;
  }
  if (host->count() != 0 && !IsDottedQuad(target.host)) {
    // The library takes addresses only; a name would fail later as an obscure connection failure.
    std::cerr << "vmlctl: --host \"" << target.host
              << "\" is not a dotted-quad IPv4 address such as 192.0.2.10; the library connects to "
                 "addresses only, not host names"
              << (target.host == "localhost" ? " (this machine is 127.0.0.1)" : "") << '\n';
    return kExitUsage;
  }

  for (const auto& b : bound) {
    if (!b->app->parsed()) continue;
    for (const auto& [name, option] : b->options) {
      if (option->count() == 0) b->raw.erase(name);  // an optional value not given
    }
    chosen = b.get();
  }
  if (inventoryOption->count() != 0) {
    if (config.Parsed()) {
      FleetOptions options;
      options.jobs = jobs;
      options.json = json;
      return RunInventory(inventory, target, options,
                          [&](const std::vector<InventoryRow>& rows, FleetOptions o) {
                            return RunConfigFleet(config, rows, o, std::cout, std::cerr);
                          });
    }
    if (chosen == nullptr) return kExitUsage;
    FleetOptions options;
    options.jobs = jobs;
    options.json = json;
    options.timing = timing;
    options.prepare = resolveNow;
    return RunInventory(inventory, target, options,
                        [&](const std::vector<InventoryRow>& rows, FleetOptions o) {
                          return RunFleet(rows, *chosen->entry, Args(chosen->raw), o, std::cout, std::cerr);
                        });
  }

  std::unique_ptr<napisim::Simulator> simulator;
  if (embedded) {
    simulator = std::make_unique<napisim::Simulator>();
    simulator->Start();
    target.host = "127.0.0.1";
    target.port = simulator->Port();
  }

  if (state->parsed()) {
    std::cout << Dump(simulator->StateJson(), 2) << '\n';
    return kExitOk;
  }

  // With --trace the library talks to the relay, which talks to the device.
  std::unique_ptr<TraceRelay> relay;
  Target reached = target;
  if (trace) {
    relay = std::make_unique<TraceRelay>(target.host, target.port, std::cerr);
    std::string problem;
    if (!relay->Start(&problem)) {
      std::cerr << "vmlctl: " << problem << '\n';
      return kExitFailed;
    }
    std::cerr << "vmlctl: tracing through 127.0.0.1:" << relay->Port() << " to " << target.host << ":"
              << target.port << '\n';
    reached.host = "127.0.0.1";
    reached.port = relay->Port();
  }

  if (config.Parsed()) return RunConfig(config, reached, json, std::cout, std::cerr);
  if (tour->parsed()) return RunTour(*simulator, reached, std::cout, {json, timing}) ? kExitOk : kExitFailed;
  if (chosen == nullptr) return kExitUsage;  // a group without its action; CLI11 normally refuses that

  Device device(reached);
  if (!device.Created()) {
    std::cerr << "vmlctl: CreateICommand returned no object\n";
    return kExitFailed;
  }
  Report report = Run(device, *chosen->entry, resolveNow(Args(chosen->raw)));
  if (relay) {
    relay->Stop();  // every connection has ended: the library closes its own before returning
    report.target = target;
    Explain(report);
    // The library saw only the relay; what the relay met on its way to the device is the reason.
    const std::string upstream = relay->UpstreamFailure();
    if (!report.result.ok && !upstream.empty()) {
      report.reason = upstream;
      // The JSON outcome says the same: the stage the relay met, not the relay's closing.
      if (!report.operations.empty()) relay->UpstreamOutcome(&report.operations.back());
    }
  }
  if (json) {
    std::cout << Dump(ToJson(report)) << '\n';
  } else {
    PrintHuman(std::cout, report, timing);
  }
  return report.result.ok ? kExitOk : kExitFailed;
}

}  // namespace
}  // namespace vmlctl

int main(int argc, char** argv) {
  // Results that cannot be written are a failure, not a silent success: nothing is run without
  // an output, and a write that failed on the way turns the exit status to 1.
  if (!vmlctl::OutputOpen()) {
    std::cerr << "vmlctl: standard output is closed; nothing was run\n";
    return 1;
  }
  int status = 1;
  try {
    vmlctl::PrepareTerminal();
    status = vmlctl::Main(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "vmlctl: " << e.what() << '\n';
    return 1;
  }
  if (!std::cout.flush()) {
    std::cerr << "vmlctl: the results could not be written to standard output\n";
    return 1;
  }
  return status;
}
