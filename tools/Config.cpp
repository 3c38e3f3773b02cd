#include "Config.h"

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>

#include "Engine.h"
#include "ExitStatus.h"
#include "Files.h"
#include "Fleet.h"
#include "Reason.h"

namespace vmlctl {

namespace cfg = vmlcmd::config;

namespace {

using Clock = std::chrono::steady_clock;

std::string DumpDocument(const cfg::Json& document) {
  return document.dump(2, ' ', false, cfg::Json::error_handler_t::replace) + "\n";
}

// A document from a file, checked; false with the refusals as lines.
bool LoadFile(const std::string& path, cfg::Json* document, std::vector<std::string>* problems) {
  std::string text;
  std::string problem;
  if (!ReadText(path, &text, &problem)) {
    problems->push_back(problem);
    return false;
  }
  std::vector<cfg::Refusal> refusals;
  if (cfg::Load(text, document, &refusals)) return true;
  for (const cfg::Refusal& refusal : refusals) problems->push_back(path + ": " + refusal.Text());
  return false;
}

// A command object pointed at the target, released with its owner.
struct Object {
  explicit Object(const Target& target) : command(CreateICommand()) {
    std::string user;
    std::string password;
    if (command != nullptr &&
        (!ToDeviceText(target.textEncoding, target.user, &user) ||
         !ToDeviceText(target.textEncoding, target.password, &password) ||
         !command->SetNetworkTarget(target.host.c_str(), target.port, user.c_str(), password.c_str()))) {
      command->Release();
      command = nullptr;
    }
  }
  ~Object() {
    if (command != nullptr) command->Release();
  }
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  ICommand* command;
};

cfg::Target EngineTarget(const Target& target) {
  return {target.host, target.port, target.user, target.password};
}

enum class Kind { kGet, kPlan, kApply };

Kind KindOf(const ConfigCommand& config) {
  if (config.get->parsed()) return Kind::kGet;
  if (config.plan->parsed() || config.check) return Kind::kPlan;
  return Kind::kApply;
}

// What one device came to, for its line and the summary.
struct DeviceResult {
  std::string status;              // read, unchanged, changes, changed, failed, rolled back
  std::vector<std::string> lines;  // the details, one a line
  cfg::Json json = cfg::Json::object();
};

DeviceResult GetOne(ICommand& command, const std::vector<int32_t>& ports, const std::string& file,
                    cfg::Json* document, int32_t textEncoding) {
  DeviceResult result;
  cfg::ReadResult read = cfg::Read(command, ports, textEncoding);
  result.json["transactions"] = {{"operations", read.cost.operations}, {"requests", read.cost.requests}};
  result.json["errors"] = read.errors;
  if (!read.Ok()) {
    result.status = "failed";
    result.lines = read.errors;
    return result;
  }
  result.status = "read";
  if (!file.empty()) {
    std::string problem;
    if (!WriteText(file, DumpDocument(read.document), &problem)) {
      result.status = "failed";
      result.lines.push_back(problem);
      result.json["errors"].push_back(result.lines.back());
      return result;
    }
    result.json["file"] = file;
  }
  if (document != nullptr) *document = std::move(read.document);
  return result;
}

DeviceResult PlanOne(ICommand& command, const cfg::Json& wanted, int32_t textEncoding) {
  DeviceResult result;
  cfg::PlanResult plan = cfg::Plan(command, wanted, textEncoding);
  result.json = cfg::ToJson(plan);
  for (const cfg::Change& change : plan.changes) result.lines.push_back(cfg::ChangeLine(change));
  if (!plan.Ok()) {
    result.status = "failed";
    result.lines.insert(result.lines.end(), plan.errors.begin(), plan.errors.end());
  } else {
    result.status = plan.changes.empty() ? "unchanged" : "changes";
  }
  return result;
}

DeviceResult ApplyOne(ICommand& command, const cfg::Json& wanted, const ConfigCommand& config,
                      const Target& target) {
  DeviceResult result;
  const cfg::Target where = EngineTarget(target);
  cfg::ApplyOptions options;
  options.rollback = !config.noRollback;
  options.allowAddressChange = config.allowAddressChange;
  options.target = &where;
  options.textEncoding = target.textEncoding;
  cfg::ApplyResult applied = cfg::Apply(command, wanted, options);
  result.json = cfg::ToJson(applied);
  for (const cfg::Change& change : applied.changes) {
    bool held = false;
    for (const std::string& path : applied.verified) held = held || path == change.path;
    if (held) result.lines.push_back("changed: " + cfg::ChangeLine(change));
  }
  for (const std::string& failure : applied.failed) result.lines.push_back(failure);
  if (applied.rollbackTried && applied.rolledBack)
    result.lines.push_back("rolled back: the device is as it was");
  if (!applied.Ok()) {
    result.status = applied.rolledBack ? "rolled back" : "failed";
  } else {
    result.status = applied.changes.empty() ? "unchanged" : "changed";
  }
  return result;
}

// Every file the fleet run will read or write, looked at before the first device is contacted:
// the --out folder made, each device's backup writable, each --from file readable. All the
// problems, so one run shows them all.
std::vector<std::string> FleetFileProblems(const ConfigCommand& config, Kind kind,
                                           const std::vector<InventoryRow>& rows) {
  std::vector<std::string> problems;
  auto check = [&](std::string problem) {
    if (!problem.empty()) problems.push_back(std::move(problem));
  };
  if (kind == Kind::kGet) {
    check(MakeDirectory(config.outDir));
    if (!problems.empty()) return problems;
    for (const InventoryRow& row : rows) check(WriteProblem(DeviceFile(config.outDir, row.target)));
  } else if (!config.fromDir.empty()) {
    for (const InventoryRow& row : rows) check(ReadProblem(DeviceFile(config.fromDir, row.target)));
  }
  return problems;
}

bool Failed(const std::string& status) { return status == "failed" || status == "rolled back"; }

int ExitOf(Kind kind, const std::string& status) {
  if (Failed(status)) return kExitFailed;
  if (kind == Kind::kPlan && status == "changes") return kExitChanges;
  return kExitOk;
}

}  // namespace

std::string DeviceFile(const std::string& dir, const Target& target) {
  return dir + "/" + target.host + "_" + std::to_string(target.port) + ".json";
}

void AddConfigCommand(CLI::App& app, ConfigCommand* config) {
  config->group = app.add_subcommand(
      "config", "A device's whole configuration as one JSON document: back up, compare, apply what differs");
  config->group->require_subcommand(1);
  config->group->group("Configuration");
  config->get = config->group->add_subcommand(
      "get",
      "Read the configuration (network, serial, the video ports named) and print it as JSON; exit 0 when "
      "all was read, else 1");
  config->get->add_option("--ports", config->ports, "Video ports to read: a list or range such as 0-3 or 0,2")
      ->capture_default_str();
  CLI::Option* output =
      config->get->add_option("-o,--output", config->output, "Write the document to this file");
  config->get
      ->add_option("--out", config->outDir,
                   "With --inventory: write one file per device, DIR/<host>_<port>.json")
      ->excludes(output);

  config->plan = config->group->add_subcommand("plan",
                                               "Compare a document with the device and print one line per "
                                               "difference; exit 0 none, 2 changes, 1 error");
  config->apply = config->group->add_subcommand("apply",
                                                "Write what differs, read it back, roll back when a change "
                                                "does not hold; exit 0 when all held or nothing "
                                                "differed, else 1");
  for (CLI::App* sub : {config->get, config->plan, config->apply}) {
    sub->add_flag("--summary", config->summary,
                  "With --inventory: print the summary alone, not a line per device and change");
  }
  for (CLI::App* sub : {config->plan, config->apply}) {
    CLI::Option* file =
        sub->add_option("FILE", config->file, "The wanted document (fields left out stay as they are)");
    sub->add_option("--from", config->fromDir, "With --inventory: each device's DIR/<host>_<port>.json")
        ->excludes(file);
  }
  config->apply->add_flag("--check", config->check,
                          "Do everything but write: the output and exit codes of plan");
  config->apply->add_flag("--no-rollback", config->noRollback,
                          "Leave the device as it is when a change fails");
  config->apply->add_flag("--allow-address-change", config->allowAddressChange,
                          "Write the network section (last), then look for the device at its new address");
}

int RunConfig(const ConfigCommand& config, const Target& target, bool json, std::ostream& out,
              std::ostream& err) {
  const Kind kind = KindOf(config);
  if (!config.outDir.empty() || !config.fromDir.empty() || config.summary) {
    err << "vmlctl: --out, --from and --summary go with --inventory\n";
    return kExitUsage;
  }
  std::vector<int32_t> ports;
  if (kind == Kind::kGet && !cfg::ParsePorts(config.ports, &ports)) {
    err << "vmlctl: --ports \"" << config.ports << "\" is not a list or range of video ports such as 0-3\n";
    return kExitUsage;
  }
  cfg::Json wanted;
  if (kind != Kind::kGet) {
    if (config.file.empty()) {
      err << "vmlctl: config " << (config.plan->parsed() ? "plan" : "apply") << " needs a FILE\n";
      return kExitUsage;
    }
    std::vector<std::string> problems;
    if (!LoadFile(config.file, &wanted, &problems)) {
      for (const std::string& problem : problems) err << "vmlctl: " << problem << '\n';
      err << "vmlctl: nothing was sent\n";
      return kExitUsage;
    }
  }
  if (kind == Kind::kGet && !config.output.empty()) {
    if (const std::string problem = WriteProblem(config.output); !problem.empty()) {
      err << "vmlctl: " << problem << "; nothing was sent\n";
      return kExitUsage;
    }
  }
  Object object(target);
  if (object.command == nullptr) {
    err << "vmlctl: CreateICommand returned no object\n";
    return kExitFailed;
  }
  DeviceResult result;
  if (kind == Kind::kGet) {
    cfg::Json document;
    result = GetOne(*object.command, ports, config.output, &document, target.textEncoding);
    if (result.status != "failed" && config.output.empty()) out << DumpDocument(document);
  } else if (kind == Kind::kPlan) {
    result = PlanOne(*object.command, wanted, target.textEncoding);
  } else {
    result = ApplyOne(*object.command, wanted, config, target);
  }
  if (json && kind != Kind::kGet) {
    out << result.json.dump(-1, ' ', false, cfg::Json::error_handler_t::replace) << '\n';
  } else if (kind == Kind::kGet) {
    for (const std::string& line : result.lines) err << "vmlctl: " << line << '\n';
  } else {
    std::ostream& lines = result.status == "failed" ? err : out;
    for (const std::string& line : result.lines) lines << line << '\n';
    if (result.status == "unchanged") out << "no changes\n";
  }
  return ExitOf(kind, result.status);
}

int RunConfigFleet(const ConfigCommand& config, const std::vector<InventoryRow>& rows,
                   const FleetOptions& options, std::ostream& out, std::ostream& err) {
  const Kind kind = KindOf(config);
  std::vector<int32_t> ports;
  if (kind == Kind::kGet) {
    if (config.outDir.empty()) {
      err << "vmlctl: config get --inventory needs --out DIR (one file per device)\n";
      return kExitUsage;
    }
    if (!cfg::ParsePorts(config.ports, &ports)) {
      err << "vmlctl: --ports \"" << config.ports << "\" is not a list or range of video ports such as 0-3\n";
      return kExitUsage;
    }
  }
  // One document for every device is checked once, before any device is reached.
  auto shared = std::make_shared<cfg::Json>();
  if (kind != Kind::kGet) {
    if (config.file.empty() == config.fromDir.empty()) {
      err << "vmlctl: config " << (config.plan->parsed() ? "plan" : "apply")
          << " --inventory takes one FILE for every device or --from DIR\n";
      return kExitUsage;
    }
    std::vector<std::string> problems;
    if (!config.file.empty() && !LoadFile(config.file, shared.get(), &problems)) {
      for (const std::string& problem : problems) err << "vmlctl: " << problem << '\n';
      err << "vmlctl: nothing was sent\n";
      return kExitUsage;
    }
  }
  if (const auto problems = FleetFileProblems(config, kind, rows); !problems.empty()) {
    for (const std::string& problem : problems) err << "vmlctl: " << problem << '\n';
    err << "vmlctl: nothing was sent\n";
    return kExitUsage;
  }

  const auto start = Clock::now();
  const std::size_t width = LabelWidth(rows);
  std::map<std::string, std::size_t> counts;
  std::size_t failed = 0;
  // A device's result lives from its end until its lines are printed: in inventory order, as
  // soon as every device before it has ended; only those waiting on a slower one are held.
  std::vector<std::optional<DeviceResult>> results(rows.size());

  auto work = [&](std::size_t i) {
    const InventoryRow& row = rows[i];
    DeviceResult result;
    cfg::Json own;
    const cfg::Json* wanted = shared.get();
    if (kind != Kind::kGet && !config.fromDir.empty()) {
      std::vector<std::string> problems;
      if (!LoadFile(DeviceFile(config.fromDir, row.target), &own, &problems)) {
        result.status = "failed";
        result.lines = problems;
        result.lines.push_back("nothing was sent");
        result.json["errors"] = result.lines;
        results[i] = std::move(result);
        return false;
      }
      wanted = &own;
    }
    Object object(row.target);
    if (object.command == nullptr) {
      result.status = "failed";
      result.lines.push_back("CreateICommand returned no object");
    } else if (kind == Kind::kGet) {
      result = GetOne(*object.command, ports, DeviceFile(config.outDir, row.target), nullptr,
                      row.target.textEncoding);
    } else if (kind == Kind::kPlan) {
      result = PlanOne(*object.command, *wanted, row.target.textEncoding);
    } else {
      result = ApplyOne(*object.command, *wanted, config, row.target);
    }
    const bool ok = !Failed(result.status);
    results[i] = std::move(result);
    return ok;
  };

  auto show = [&](std::size_t i) {
    const InventoryRow& row = rows[i];
    const DeviceResult& result = *results[i];
    ++counts[result.status];
    if (Failed(result.status)) ++failed;
    if (config.summary) {
      results[i].reset();
      return;
    }
    if (options.json) {
      cfg::Json line = RowJson(row);
      line["status"] = result.status;
      for (const auto& [key, value] : result.json.items()) line[key] = value;
      out << line.dump(-1, ' ', false, cfg::Json::error_handler_t::replace) << '\n';
    } else {
      out << PaddedLabel(row, width) << "  " << result.status;
      if (!Failed(result.status) && kind != Kind::kGet && !result.lines.empty()) {
        out << " (" << result.lines.size() << (result.lines.size() == 1 ? " field)" : " fields)");
      }
      out << '\n';
      // Each change or problem on a line of its own that starts with the device, so a grep for a
      // field or a device finds the whole of it.
      const std::string who = ShortLabel(row);
      for (const std::string& detail : result.lines) out << who << ' ' << detail << '\n';
    }
    out << std::flush;
    results[i].reset();
  };

  const std::size_t started = RunInOrder(rows.size(), options, err, work, show);

  const auto wall = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
  const std::size_t notStarted = rows.size() - started;
  const std::vector<std::string> order =
      kind == Kind::kGet    ? std::vector<std::string>{"read", "failed"}
      : kind == Kind::kPlan ? std::vector<std::string>{"unchanged", "changes", "failed"}
                            : std::vector<std::string>{"unchanged", "changed", "failed", "rolled back"};
  if (options.json) {
    cfg::Json summary = cfg::Json::object();
    summary["devices"] = rows.size();
    for (const std::string& status : order) summary[status] = counts[status];
    summary["not_started"] = notStarted;
    summary["jobs"] = options.jobs;
    summary["wall_us"] = wall;
    out << cfg::Json{{"summary", summary}}.dump() << '\n';
  } else {
    std::string line = std::to_string(rows.size()) + " devices:";
    for (std::size_t i = 0; i < order.size(); ++i) {
      line += (i == 0 ? " " : ", ") + std::to_string(counts[order[i]]) + " " + order[i];
    }
    if (notStarted != 0) line += ", " + std::to_string(notStarted) + " not started (interrupted)";
    line += "; wall time " + FormatElapsed(static_cast<uint64_t>(wall)) + " with " +
            std::to_string(options.jobs) + (options.jobs == 1 ? " job" : " jobs");
    out << line << '\n' << std::flush;
  }
  const int status = FleetStatus(rows.size(), started, failed);
  return status == kExitOk && kind == Kind::kPlan && counts["changes"] != 0 ? kExitChanges : status;
}

}  // namespace vmlctl
