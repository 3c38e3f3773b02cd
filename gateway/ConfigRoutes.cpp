// The configuration routes: the engine's document, plan and apply, served as vmlctl config has
// them. Only the transport is here; what is read, compared and written is the engine's.

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Engine.h"
#include "Gateway.h"
#include "Pool.h"
#include "Reason.h"

namespace gateway {

namespace {
constexpr std::size_t kMostPortsRead = 16;
}  // namespace

namespace config = vmlcmd::config;

namespace {

// The plan's changes as the audit trail keeps them: each path with its value before and the one
// wanted after.
void BeforeAfter(const Json& result, Json* before, Json* after) {
  *before = Json::object();
  *after = Json::object();
  if (!result.contains("changes")) return;
  for (const Json& change : result["changes"]) {
    (*before)[change["path"].get<std::string>()] = change["from"];
    (*after)[change["path"].get<std::string>()] = change["to"];
  }
}

Json ApplyDetail(const Json& result) {
  return {{"verified", result.value("verified", Json::array())},
          {"failed", result.value("failed", Json::array())},
          {"rolledBack", result.value("rolled_back", false)}};
}

// Parses and checks a document; false with a 400 written that lists every refusal. Nothing is
// sent to any device for a document that fails here.
bool ReadDocument(const HttpRequest& request, HttpResponse& response, const Json& body, Json* document) {
  std::vector<config::Refusal> refusals = config::Check(body);
  if (refusals.empty()) {
    *document = body;
    return true;
  }
  // The text again, for the lines the refusals stand on.
  Json parsed;
  config::Load(request.body, &parsed, &refusals);
  Json list = Json::array();
  for (const config::Refusal& refusal : refusals)
    list.push_back({{"path", refusal.Path()}, {"problem", refusal.problem}, {"line", refusal.line}});
  Json out = {{"error", {{"stage", "document-refused"}, {"message", refusals.front().Text()}, {"status", 0}}},
              {"refusals", list}};
  WriteJson(response, 400, out);
  return false;
}

bool Flag(const HttpRequest& request, const char* name, bool fallback) {
  if (!request.has_param(name)) return fallback;
  const std::string value = request.get_param_value(name);
  return value == "true" || value == "1" || value == "yes";
}

// The engine reports what did not hold in words; the stage comes from the last operation when
// that one failed, and names the engine's step otherwise.
Json EngineError(const VmlCmdOutcome& outcome, const std::string& step, const std::string& message) {
  const bool deviceFailed = outcome.stage != VmlCmdStageSuccess && outcome.stage != VmlCmdStageNone;
  return {{"stage", deviceFailed ? std::string(vmlctl::StageName(outcome.stage)) : step},
          {"message", message},
          {"status", deviceFailed ? outcome.status : 0}};
}

}  // namespace

void Gateway::ReadConfig(const HttpRequest& request, HttpResponse& response) {
  auto device = DeviceOf(request, response);
  if (!device) return;
  const std::string portText = request.has_param("ports") ? request.get_param_value("ports")
                                                          : std::to_string(device->Target().videoPort);
  std::vector<int32_t> ports;
  if (!config::ParsePorts(portText, &ports)) {
    WriteError(response, 400, "bad-request", "\"ports\" must be like 0, 0-3 or 0,2,5-6");
    return;
  }
  // Each port is five operations of the device's: a read token asking for thousands would hold
  // the device for minutes.
  if (ports.size() > kMostPortsRead) {
    WriteError(response, 400, "bad-request",
               "\"ports\" names " + std::to_string(ports.size()) + " video ports; at most " +
                   std::to_string(kMostPortsRead) + " are read at once");
    return;
  }
  config::ReadResult read;
  VmlCmdOutcome outcome{};
  if (!Call(
          *device, "config.read",
          [&](ICommand& command) { read = config::Read(command, ports, device->Target().textEncoding); },
          response, &outcome))
    return;
  Record(*device, "config.read", outcome, read.Ok());
  if (read.Ok()) {
    WriteJson(response, 200, read.document);
    return;
  }
  WriteJson(response, 502,
            {{"error", EngineError(outcome, "read-failed", read.errors.front())},
             {"errors", read.errors},
             {"document", read.document}});
}

void Gateway::PlanConfig(const HttpRequest& request, HttpResponse& response) {
  auto device = DeviceOf(request, response);
  if (!device) return;
  Json body, document;
  if (!ReadJson(request, response, &body) || !ReadDocument(request, response, body, &document)) return;
  config::PlanResult plan;
  VmlCmdOutcome outcome{};
  if (!Call(
          *device, "config.plan",
          [&](ICommand& command) { plan = config::Plan(command, document, device->Target().textEncoding); },
          response, &outcome))
    return;
  Record(*device, "config.plan", outcome, plan.Ok());
  Json out = config::ToJson(plan);
  if (plan.Ok()) {
    WriteJson(response, 200, out);
    return;
  }
  out["error"] = EngineError(outcome, "read-failed", plan.errors.front());
  WriteJson(response, 502, out);
}

void Gateway::ApplyConfig(const HttpRequest& request, HttpResponse& response) {
  auto device = DeviceOf(request, response);
  if (!device) return;
  Json body, document;
  if (!ReadJson(request, response, &body) || !ReadDocument(request, response, body, &document)) return;
  config::Target target{device->Target().host, device->Target().port, device->Target().user,
                        device->Target().password};
  config::ApplyOptions options;
  options.rollback = Flag(request, "rollback", true);
  options.allowAddressChange = Flag(request, "allow_address_change", false);
  options.target = &target;
  options.textEncoding = device->Target().textEncoding;
  config::ApplyResult result;
  VmlCmdOutcome outcome{};
  if (!Call(
          *device, "config.apply",
          [&](ICommand& command) { result = config::Apply(command, document, options); }, response, &outcome))
    return;
  Record(*device, "config.apply", outcome, result.Ok());
  Json out = config::ToJson(result);
  Change change{device->Id(), "config.apply", nullptr, nullptr, result.Ok(), "", "", ApplyDetail(out)};
  BeforeAfter(out, &change.before, &change.after);
  if (!result.Ok()) {
    change.stage = EngineError(outcome, "not-applied", result.failed.front())["stage"].get<std::string>();
    change.message = result.failed.front();
  }
  Audited(request, std::move(change));
  if (result.Ok()) {
    FollowAddress(*device, document);
    WriteJson(response, 200, out);
    return;
  }
  out["error"] = EngineError(outcome, "not-applied", result.failed.front());
  WriteJson(response, 502, out);
}

// A device whose address was changed (and read back there) is kept under its id at the new one.
void Gateway::FollowAddress(DeviceEntry& device, const Json& document) {
  if (!document.contains("network") || !document["network"].contains("ip")) return;
  const std::string ip = document["network"]["ip"].get<std::string>();
  if (ip == device.Target().host) return;
  vmlctl::Target moved = device.Target();
  moved.host = ip;
  auto entry = std::make_shared<DeviceEntry>(device.Id(), device.Name(), moved, device.Group());
  entry->SetDesired(device.Desired(), device.DesiredSource());
  std::lock_guard<std::mutex> lock(inventoryMutex_);
  registry_.Replace(entry);
  // The inventory follows, so that a restart finds the device where it now is. A file that
  // cannot be written keeps the old address; the device list says the new one until then.
  std::string problem;
  if (options_.inventoryWritable) SaveInventory(&problem);
}

void Gateway::Fleet(const HttpRequest& request, HttpResponse& response, bool apply) {
  Json body;
  if (!ReadJson(request, response, &body)) return;
  if (!body.is_object() || !body.contains("document")) {
    WriteError(response, 400, "bad-request", "a fleet call is {\"ids\": [...], \"document\": {...}}");
    return;
  }
  std::vector<std::string> ids;
  if (body.contains("ids")) {
    if (!body["ids"].is_array()) {
      WriteError(response, 400, "bad-request", "\"ids\" must be an array of device ids");
      return;
    }
    for (const Json& id : body["ids"]) {
      if (!id.is_string()) {
        WriteError(response, 400, "bad-request", "\"ids\" must be an array of device ids");
        return;
      }
      ids.push_back(id.get<std::string>());
    }
  } else {
    for (const auto& device : registry_.All()) ids.push_back(device->Id());
  }
  const Json document = body["document"];
  const std::vector<config::Refusal> refusals = config::Check(document);
  if (!refusals.empty()) {
    Json list = Json::array();
    for (const config::Refusal& refusal : refusals)
      list.push_back({{"path", refusal.Path()}, {"problem", refusal.problem}, {"line", 0}});
    WriteJson(
        response, 400,
        {{"error", {{"stage", "document-refused"}, {"message", refusals.front().Text()}, {"status", 0}}},
         {"refusals", list}});
    return;
  }
  const bool rollback = Flag(request, "rollback", true);

  std::vector<Json> results(ids.size());
  config::ForEachDevice(ids.size(), options_.fleetJobs, [&](std::size_t i) {
    Json& out = results[i];
    out = {{"id", ids[i]}, {"ok", false}};
    auto device = registry_.Find(ids[i]);
    if (!device) {
      out["error"] = {{"stage", "not-found"}, {"message", "no device \"" + ids[i] + "\""}, {"status", 0}};
      return;
    }
    VmlCmdOutcome outcome{};
    bool ok = false;
    Json result;
    const CallOutcome call =
        pool_.Run(*device, apply ? "config.apply" : "config.plan", [&](ICommand& command) {
          if (apply) {
            config::Target target{device->Target().host, device->Target().port, device->Target().user,
                                  device->Target().password};
            config::ApplyOptions options;
            options.rollback = rollback;
            options.target = &target;
            options.textEncoding = device->Target().textEncoding;
            const config::ApplyResult applied = config::Apply(command, document, options);
            ok = applied.Ok();
            result = config::ToJson(applied);
            if (!ok) result["error"] = applied.failed.front();
          } else {
            const config::PlanResult plan = config::Plan(command, document, device->Target().textEncoding);
            ok = plan.Ok();
            result = config::ToJson(plan);
            if (!ok) result["error"] = plan.errors.front();
          }
        });
    if (!call.ran) {
      out["error"] = {
          {"stage", "busy"}, {"message", "too many calls are waiting for this device"}, {"status", 0}};
      return;
    }
    outcome = call.outcome;
    Record(*device, apply ? "config.apply" : "config.plan", outcome, ok);
    out["ok"] = ok;
    if (!ok) {
      const std::string message = result["error"].get<std::string>();
      result.erase("error");
      out["error"] = EngineError(outcome, apply ? "not-applied" : "read-failed", message);
    }
    if (apply) {
      Change change{device->Id(), "fleet.config.apply", nullptr, nullptr, ok, "", "", ApplyDetail(result)};
      BeforeAfter(result, &change.before, &change.after);
      if (!ok) {
        change.stage = out["error"]["stage"].get<std::string>();
        change.message = out["error"]["message"].get<std::string>();
      }
      Audited(request, std::move(change));
    }
    out[apply ? "apply" : "plan"] = result;
  });
  Json list = Json::array();
  int failed = 0;
  for (Json& result : results) {
    if (!result["ok"].get<bool>()) ++failed;
    list.push_back(std::move(result));
  }
  WriteJson(response, 200,
            {{"results", list},
             {"summary",
              {{"devices", ids.size()}, {"ok", static_cast<int>(ids.size()) - failed}, {"failed", failed}}}});
}

void Gateway::FleetPlan(const HttpRequest& request, HttpResponse& response) {
  Fleet(request, response, false);
}

void Gateway::FleetApply(const HttpRequest& request, HttpResponse& response) {
  Fleet(request, response, true);
}

}  // namespace gateway

namespace gateway {

void Gateway::CheckDrift(DeviceEntry& device, bool idle) {
  const Json desired = device.Desired();
  if (desired.is_null()) return;
  config::PlanResult plan;
  const auto planIt = [&](ICommand& command) {
    plan = config::Plan(command, desired, device.Target().textEncoding);
  };
  // In the background a plan waits for nobody's call: a device with callers is planned later.
  const CallOutcome call = idle ? pool_.RunIdle(device, "drift", planIt) : pool_.Run(device, "drift", planIt);
  if (!call.ran) return;
  std::vector<std::string> paths;
  for (const config::Change& change : plan.changes) paths.push_back(change.path);
  device.RecordDrift(paths, plan.Ok() ? std::string() : plan.errors.front());
}

// At start too: the documents the inventory names have not been planned yet.
void Gateway::CheckAllDrift() {
  for (const auto& device : registry_.All()) CheckDrift(*device, true);
}

bool Gateway::SaveDesired(std::string* problem) {
  if (options_.desiredFile.empty()) return true;
  namespace fs = std::filesystem;
  Json all = Json::object();
  for (const auto& device : registry_.All()) {
    Json desired = device->Desired();
    // Those the inventory names are kept there.
    if (!desired.is_null() && device->DesiredSource().empty()) all[device->Id()] = std::move(desired);
  }
  fs::path temporary(options_.desiredFile);
  temporary += ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << all.dump(1, ' ', false, Json::error_handler_t::replace) << '\n';
    out.flush();
    if (!out) {
      *problem = "cannot write " + temporary.string();
      return false;
    }
  }
  std::error_code error;
  fs::rename(temporary, options_.desiredFile, error);
  if (error) {
    *problem = "cannot replace " + options_.desiredFile + ": " + error.message();
    return false;
  }
  return true;
}

bool Gateway::LoadDesired(std::vector<std::string>* unknown, std::string* problem) {
  if (options_.desiredFile.empty()) return true;
  std::ifstream in(options_.desiredFile, std::ios::binary);
  if (!in) return true;  // none registered yet
  std::ostringstream text;
  text << in.rdbuf();
  Json all = Json::parse(text.str(), nullptr, false);
  if (all.is_discarded() || !all.is_object()) {
    *problem = "not a JSON object of device ids and documents";
    return false;
  }
  for (auto it = all.begin(); it != all.end(); ++it) {
    const std::vector<config::Refusal> refusals = config::Check(it.value());
    if (!refusals.empty()) {
      *problem = "the document of \"" + it.key() + "\": " + refusals.front().Text();
      return false;
    }
    if (auto device = registry_.Find(it.key())) {
      // The inventory's own wins: registering through the API is refused for such a device.
      if (device->DesiredSource().empty()) device->SetDesired(it.value());
    } else {
      unknown->push_back(it.key());
    }
  }
  return true;
}

namespace {

Json DesiredView(const DeviceEntry& device) {
  return {{"document", device.Desired()}, {"drift", device.Describe()["drift"]}};
}

}  // namespace

void Gateway::GetDesired(const HttpRequest& request, HttpResponse& response) {
  auto device = DeviceOf(request, response);
  if (!device) return;
  WriteJson(response, 200, DesiredView(*device));
}

bool Gateway::DesiredFromFile(const std::string& id, const std::string& path, const std::string& shown,
                              std::string* problem) {
  auto device = registry_.Find(id);
  std::ifstream in(path, std::ios::binary);
  if (!device || !in) {
    *problem = shown + ": cannot read it";
    return false;
  }
  std::string text;
  // The engine's own bound on a document, read one byte beyond so that a longer file is refused.
  text.resize(config::kLongestDocument + 1);
  in.read(&text[0], static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  Json document;
  std::vector<config::Refusal> refusals;
  if (!config::Load(text, &document, &refusals)) {
    *problem = shown +
               (refusals.front().line > 0 ? ":" + std::to_string(refusals.front().line) : std::string()) +
               ": " + refusals.front().Text();
    return false;
  }
  device->SetDesired(config::Canonical(document), shown);
  return true;
}

bool Gateway::DesiredIsOurs(const DeviceEntry& device, HttpResponse& response) {
  const std::string source = device.DesiredSource();
  if (source.empty()) return true;
  WriteError(response, 409, "desired-in-inventory",
             "the desired configuration of \"" + device.Id() + "\" is the file its inventory row names (" +
                 source + "); change it there");
  return false;
}

void Gateway::PutGroupDesired(const HttpRequest& request, HttpResponse& response) {
  const std::string group = request.matches.size() > 1 ? request.matches[1] : std::string();
  std::vector<std::shared_ptr<DeviceEntry>> members;
  for (const auto& device : registry_.All()) {
    if (device->Group() == group) members.push_back(device);
  }
  if (members.empty()) {
    WriteError(response, 404, "not-found", "no device is in group \"" + group + "\"");
    return;
  }
  for (const auto& device : members) {
    if (!DesiredIsOurs(*device, response)) return;
  }
  Json body, document;
  if (!ReadJson(request, response, &body) || !ReadDocument(request, response, body, &document)) return;
  document = config::Canonical(document);
  std::vector<Json> before;
  {
    std::lock_guard<std::mutex> lock(desiredMutex_);
    for (const auto& device : members) {
      before.push_back(device->Desired());
      device->SetDesired(document);
    }
    std::string problem;
    if (!SaveDesired(&problem)) {
      for (std::size_t i = 0; i < members.size(); ++i) members[i]->SetDesired(before[i]);
      WriteError(response, 500, "desired-not-written", "the document was not registered: " + problem);
      return;
    }
  }
  Json list = Json::array();
  for (std::size_t i = 0; i < members.size(); ++i) {
    Audited(request, {members[i]->Id(), "desired.register", before[i], document, true, "", "",
                      Json{{"group", group}}});
    CheckDrift(*members[i], false);
    list.push_back({{"id", members[i]->Id()}, {"drift", members[i]->Describe()["drift"]}});
  }
  WriteJson(response, 200, {{"group", group}, {"document", document}, {"devices", list}});
}

void Gateway::PutDesired(const HttpRequest& request, HttpResponse& response) {
  auto device = DeviceOf(request, response);
  if (!device || !DesiredIsOurs(*device, response)) return;
  Json body, document;
  if (!ReadJson(request, response, &body) || !ReadDocument(request, response, body, &document)) return;
  Json before;
  {
    std::lock_guard<std::mutex> lock(desiredMutex_);
    before = device->Desired();
    device->SetDesired(config::Canonical(document));
    std::string problem;
    if (!SaveDesired(&problem)) {
      device->SetDesired(before);
      WriteError(response, 500, "desired-not-written", "the document was not registered: " + problem);
      return;
    }
  }
  Audited(request, {device->Id(), "desired.register", before, device->Desired(), true, "", "", nullptr});
  // Planned at once, so the answer already says how far the device is from it. Never applied.
  CheckDrift(*device, false);
  WriteJson(response, 200, DesiredView(*device));
}

void Gateway::DeleteDesired(const HttpRequest& request, HttpResponse& response) {
  auto device = DeviceOf(request, response);
  if (!device || !DesiredIsOurs(*device, response)) return;
  Json before;
  {
    std::lock_guard<std::mutex> lock(desiredMutex_);
    before = device->Desired();
    device->SetDesired(nullptr);
    std::string problem;
    if (!SaveDesired(&problem)) {
      device->SetDesired(before);
      WriteError(response, 500, "desired-not-written", "the document was not removed: " + problem);
      return;
    }
  }
  Audited(request, {device->Id(), "desired.remove", before, nullptr, true, "", "", nullptr});
  response.status = 204;
}

}  // namespace gateway
