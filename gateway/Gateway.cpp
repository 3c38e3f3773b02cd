#include "Gateway.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "Clock.h"
#include "Commands.h"
#include "Reason.h"
#include "Resources.h"
#include "inventory/Inventory.h"

namespace gateway {

struct Gateway::Route {
  const char* method;
  const char* path;  // as the OpenAPI description names it
  Role role;
  Handler handler;
};

namespace {

// A configuration document nests five levels; nothing the API takes nests deeper than a dozen.
constexpr int kDeepestJson = 32;

// Bytes outside printable ASCII, the blank and the percent sign as %XX: a log line is one line,
// and a terminal shows it as it is.
std::string LogText(const std::string& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text.substr(0, 512)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > 0x20 && byte < 0x7F && c != '%') {
      out += c;
    } else {
      out += '%';
      out += kDigits[byte >> 4];
      out += kDigits[byte & 0x0F];
    }
  }
  if (text.size() > 512) out += "...";
  return out.empty() ? "-" : out;
}

// A route's path as the OpenAPI description names it ("/api/v1/devices/{id}/config"), matched
// segment by segment; {id} takes one segment that is a valid device id.
bool PathMatches(const std::string& pattern, const std::string& path, std::string* id) {
  std::size_t p = 0;
  std::size_t q = 0;
  while (p < pattern.size() && q <= path.size()) {
    const std::size_t patternEnd = std::min(pattern.find('/', p + 1), pattern.size());
    const std::size_t pathEnd = std::min(path.find('/', q + 1), path.size());
    const std::string part = pattern.substr(p, patternEnd - p);
    const std::string segment = path.substr(q, pathEnd - q);
    if (part == "/{id}" || part == "/{group}") {
      if (segment.size() < 2 || !ValidId(segment.substr(1))) return false;
      *id = segment.substr(1);
    } else if (part != segment) {
      return false;
    }
    p = patternEnd;
    q = pathEnd;
  }
  return p == pattern.size() && q == path.size();
}

// A method as a metric's label: a client may send any word there, and each new label value
// would be a new series kept for the process's life.
std::string MethodLabel(const std::string& method) {
  static const char* const kKnown[] = {"GET", "HEAD", "POST", "PUT", "DELETE", "PATCH", "OPTIONS"};
  for (const char* known : kKnown) {
    if (method == known) return method;
  }
  return "other";
}

bool IsConsoleFile(const std::string& path) {
  static const std::string prefix = "/console/";
  if (path.rfind(prefix, 0) != 0 || path.size() == prefix.size()) return false;
  for (std::size_t i = prefix.size(); i < path.size(); ++i) {
    const char c = path[i];
    const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                         c == '.' || c == '_' || c == '-';
    if (!allowed) return false;
  }
  return true;
}

}  // namespace

const std::vector<Gateway::Route>& Gateway::Table() {
  // Reading and planning are reads; anything that changes a device or the list is a write.
  static const std::vector<Route> table = {
      {"GET", "/api/v1/whoami", Role::kRead, &Gateway::WhoAmI},
      {"GET", "/api/v1/devices", Role::kRead, &Gateway::ListDevices},
      {"POST", "/api/v1/devices", Role::kWrite, &Gateway::AddDeviceRoute},
      {"DELETE", "/api/v1/devices/{id}", Role::kWrite, &Gateway::RemoveDevice},
      {"GET", "/api/v1/devices/{id}/config", Role::kRead, &Gateway::ReadConfig},
      {"POST", "/api/v1/devices/{id}/config/plan", Role::kRead, &Gateway::PlanConfig},
      {"POST", "/api/v1/devices/{id}/config/apply", Role::kWrite, &Gateway::ApplyConfig},
      {"POST", "/api/v1/devices/{id}/ptz/move", Role::kWrite, &Gateway::PtzMove},
      {"POST", "/api/v1/devices/{id}/ptz/stop", Role::kWrite, &Gateway::PtzStop},
      {"POST", "/api/v1/devices/{id}/clock", Role::kWrite, &Gateway::SetClock},
      {"POST", "/api/v1/devices/{id}/probe", Role::kRead, &Gateway::ProbeDevice},
      {"GET", "/api/v1/devices/{id}/desired", Role::kRead, &Gateway::GetDesired},
      {"PUT", "/api/v1/devices/{id}/desired", Role::kWrite, &Gateway::PutDesired},
      {"DELETE", "/api/v1/devices/{id}/desired", Role::kWrite, &Gateway::DeleteDesired},
      {"PUT", "/api/v1/groups/{group}/desired", Role::kWrite, &Gateway::PutGroupDesired},
      {"POST", "/api/v1/fleet/config/plan", Role::kRead, &Gateway::FleetPlan},
      {"POST", "/api/v1/fleet/config/apply", Role::kWrite, &Gateway::FleetApply},
      {"GET", "/api/v1/audit", Role::kRead, &Gateway::AuditRoute},
      {"GET", "/openapi.json", Role::kNone, &Gateway::OpenApi},
      {"GET", "/healthz", Role::kNone, &Gateway::Healthz},
      {"GET", "/metrics", Role::kMetrics, &Gateway::MetricsRoute},
      {"GET", "/probe", Role::kMetrics, &Gateway::ProbeRoute},
  };
  return table;
}

std::vector<RouteInfo> Gateway::Routes() {
  std::vector<RouteInfo> routes;
  for (const Route& route : Table()) routes.push_back({route.method, route.path, route.role});
  return routes;
}

Gateway::Gateway(Tokens tokens, Options options)
    : tokens_(std::move(tokens)),
      options_(options),
      pool_(options.concurrentCalls, options.queuePerDevice),
      audit_(options.auditFile),
      prober_(registry_, pool_, options.probeInterval),
      leases_(options.movesFile) {
  pool_.Observe([this](const char* kind, double seconds) { metrics_.ObserveCall(kind, seconds); });
  // The gateway's own stops are changes too: nobody asked for them, so they carry the reason.
  leases_.ObserveStops([this](const DeviceEntry& device, const char* why, bool acknowledged,
                              const VmlCmdOutcome& outcome, int attempts) {
    Json record = {{"who", "gateway"},
                   {"role", "none"},
                   {"address", ""},
                   {"device", device.Id()},
                   {"operation", "ptz.stop"},
                   {"before", nullptr},
                   {"after", {{"ptz", DeviceEntry::PtzName(device.PtzState())}}},
                   {"result", acknowledged ? "ok" : "failed"},
                   {"stage", vmlctl::StageName(outcome.stage)},
                   {"detail", {{"why", why}, {"stopsSent", attempts}}}};
    if (!acknowledged) record["message"] = vmlctl::Describe(outcome, device.Target());
    audit_.Append(std::move(record));
  });
}

Gateway::~Gateway() = default;

void Gateway::StartProbes() {
  prober_.Start();
  if (options_.driftInterval.count() > 0) drift_.Start(options_.driftInterval, [this] { CheckAllDrift(); });
}

void Gateway::AddDevice(const std::string& id, const std::string& name, const vmlctl::Target& target,
                        const std::string& group) {
  const std::string chosen =
      id.empty() ? registry_.FreeId(target.host + ":" + std::to_string(target.port)) : id;
  registry_.Add(std::make_shared<DeviceEntry>(chosen, name, target, group));
}

void WriteJson(HttpResponse& response, int httpStatus, const Json& body) {
  response.status = httpStatus;
  // A caption read from a device may hold bytes of its own code page: they are replaced rather
  // than throwing half-way through a response.
  response.set_content(body.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n",
                       "application/json; charset=utf-8");
}

void WriteError(HttpResponse& response, int httpStatus, const std::string& stage, const std::string& message,
                int status) {
  WriteJson(response, httpStatus, {{"error", {{"stage", stage}, {"message", message}, {"status", status}}}});
}

bool ReadJson(const HttpRequest& request, HttpResponse& response, Json* body) {
  if (request.body.empty()) {
    WriteError(response, 400, "bad-request", "this route needs a JSON body");
    return false;
  }
  // Nesting is bounded while parsing, before any value is built: a document a hundred thousand
  // levels deep would exhaust the stack of whatever walks it afterwards.
  int depth = 0;
  bool tooDeep = false;
  const auto guard = [&](int level, Json::parse_event_t event, Json&) {
    if (event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) {
      depth = level + 1;
      if (depth > kDeepestJson) tooDeep = true;
    }
    return !tooDeep;
  };
  try {
    *body = Json::parse(request.body, guard);
  } catch (const Json::parse_error& e) {
    WriteError(response, 400, "bad-request",
               "the body is not valid JSON (it breaks off at byte " + std::to_string(e.byte) + ")");
    return false;
  } catch (const Json::exception& e) {
    // A number beyond what a double holds: the parser names it ("number overflow parsing '1e400'").
    const std::string what = e.what();
    const std::size_t quote = what.find('\'');
    WriteError(response, 400, "bad-request",
               "the body holds a number out of range" +
                   (quote == std::string::npos ? std::string() : " (" + what.substr(quote, 40) + ")"));
    return false;
  }
  if (tooDeep || body->is_discarded()) {
    WriteError(response, 400, "bad-request",
               "the body nests deeper than " + std::to_string(kDeepestJson) + " levels");
    return false;
  }
  return true;
}

void WriteBusy(HttpResponse& response, const std::string& id) {
  response.set_header("Retry-After", "1");
  WriteError(response, 503, "busy", "too many calls are waiting for device \"" + id + "\"; try again");
}

void WriteDeviceError(HttpResponse& response, const DeviceEntry& device, const VmlCmdOutcome& outcome) {
  WriteError(response, 502, vmlctl::StageName(outcome.stage), vmlctl::Describe(outcome, device.Target()),
             outcome.status);
}

void Gateway::Handle(const HttpRequest& request, HttpResponse& response) {
  const auto start = std::chrono::steady_clock::now();
  std::string route = "other";
  try {
    Answer(request, response, &route);
  } catch (...) {
    response = HttpResponse{};
    WriteError(response, 500, "internal", "the gateway failed while answering; nothing more is known");
  }
  metrics_.CountRequest(route, MethodLabel(request.method), response.status);
  Log(request, response, start);
}

void Gateway::Refuse(const HttpRequest& request, int status, const std::string& message,
                     HttpResponse& response) {
  WriteError(response, status, status == 503 ? "busy" : "bad-request", message);
  metrics_.CountRequest("other", MethodLabel(request.method), status);
  Log(request, response, std::chrono::steady_clock::now());
}

bool Gateway::IsStop(const HttpRequest& request) {
  static const std::string suffix = "/ptz/stop";
  return request.method == "POST" && request.path.size() > suffix.size() &&
         request.path.compare(request.path.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void Gateway::Log(const HttpRequest& request, const HttpResponse& response,
                  std::chrono::steady_clock::time_point start) {
  if (!options_.log) return;
  // The path and the status only: bodies carry passwords and documents. The role and the
  // token's name, never the token. Whatever the client sent is escaped, so no request can forge a line of its
  // own.
  const auto micros =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
  const Caller caller = tokens_.CallerOf(request.get_header_value("Authorization"));
  const std::string line = UtcText(NowMilliseconds(), false) + ' ' + LogText(request.remote_addr) + ' ' +
                           LogText(request.method) + ' ' +
                           LogText(request.path.empty() ? request.target : request.path) + ' ' +
                           std::to_string(response.status) + " role=" + RoleName(caller.role) +
                           (caller.name.empty() ? std::string() : " who=" + caller.name) + ' ' +
                           std::to_string(micros / 1000) + '.' + std::to_string(micros % 1000 / 100) + "ms\n";
  std::lock_guard<std::mutex> lock(logMutex_);
  *options_.log << line << std::flush;
}

void Gateway::Answer(const HttpRequest& request, HttpResponse& response, std::string* routeName) {
  // Who is calling is settled before any route runs; an /api/ request without a known token
  // never reaches a handler, whether its path exists or not.
  if (request.path.rfind("/api/", 0) == 0 &&
      tokens_.RoleOf(request.get_header_value("Authorization")) == Role::kNone) {
    response.set_header("WWW-Authenticate", "Bearer");
    WriteError(response, 401, "unauthorized", "no token, or one this gateway does not know");
    return;
  }
  for (const auto& route : Table()) {
    if (request.method != route.method) continue;
    std::string id;
    if (!PathMatches(route.path, request.path, &id)) continue;
    HttpRequest matched = request;
    matched.matches = {request.path, id};
    *routeName = route.path;
    RunRoute(route, matched, response);
    return;
  }
  if (request.method == "GET" && (request.path == "/" || IsConsoleFile(request.path))) {
    Console(request, response);
    return;
  }
  WriteError(response, 404, "not-found", "no route " + request.method + " " + request.path);
}

void Gateway::RunRoute(const Route& route, const HttpRequest& request, HttpResponse& response) {
  const Role role = tokens_.RoleOf(request.get_header_value("Authorization"));
  if (route.role == Role::kWrite && role != Role::kWrite) {
    WriteError(response, 403, "forbidden",
               role == Role::kMetrics ? "this needs a write token; a metrics token may read the metrics only"
                                      : "this needs a write token; a read token may read and plan only");
    return;
  }
  if (route.role == Role::kRead && role == Role::kMetrics) {
    WriteError(response, 403, "forbidden", "a metrics token may read the metrics only");
    return;
  }
  if (route.role == Role::kMetrics && role == Role::kNone && !options_.metricsPublic) {
    response.set_header("WWW-Authenticate", "Bearer");
    WriteError(response, 401, "unauthorized",
               "the metrics need a token of any role (or a gateway started with --metrics-public)");
    return;
  }
  (this->*(route.handler))(request, response);
}

std::shared_ptr<DeviceEntry> Gateway::DeviceOf(const HttpRequest& request, HttpResponse& response) {
  const std::string id = request.matches.size() > 1 ? request.matches[1] : std::string();
  auto device = registry_.Find(id);
  if (!device) WriteError(response, 404, "not-found", "no device \"" + id + "\"");
  return device;
}

void Gateway::Record(DeviceEntry& device, const char* operation, const VmlCmdOutcome& outcome, bool ok) {
  LastResult last;
  last.operation = operation;
  last.ok = ok;
  last.stage = vmlctl::StageName(outcome.stage);
  last.stageCode = outcome.stage;
  last.message = ok ? "done" : vmlctl::Describe(outcome, device.Target());
  last.atMilliseconds = NowMilliseconds();
  device.Record(std::move(last));
}

void Gateway::Audited(const HttpRequest& request, Change change) {
  const Caller caller = tokens_.CallerOf(request.get_header_value("Authorization"));
  Json record;
  record["who"] = caller.name;
  record["role"] = RoleName(caller.role);
  record["address"] = request.remote_addr;
  record["device"] = change.device;
  record["operation"] = change.operation;
  record["before"] = std::move(change.before);
  record["after"] = std::move(change.after);
  record["result"] = change.ok ? "ok" : "failed";
  record["stage"] = change.stage.empty() ? (change.ok ? "success" : "failed") : change.stage;
  if (!change.message.empty()) record["message"] = change.message;
  if (!change.detail.is_null()) record["detail"] = std::move(change.detail);
  audit_.Append(std::move(record));
}

bool Gateway::MayChangeList(HttpResponse& response) {
  if (options_.inventoryWritable) return true;
  WriteError(response, 409, "inventory-not-writable",
             "this gateway cannot write its inventory " + options_.inventoryFile +
                 ", so a change of the device list would be lost at its next start; it was refused");
  return false;
}

bool Gateway::SaveInventory(std::string* problem) {
  if (options_.inventoryFile.empty()) return true;
  namespace fs = std::filesystem;
  std::vector<vml::inventory::Entry> entries;
  for (const auto& device : registry_.All()) {
    vml::inventory::Entry entry;
    // The id is what the inventory's name column gives back at the next start.
    entry.name = device->Id();
    entry.host = device->Target().host;
    entry.port = device->Target().port;
    entry.user = device->Target().user;
    entry.password = device->Target().password;
    entry.videoPort = device->Target().videoPort;
    entry.group = device->Group();
    entry.desired = device->DesiredSource();
    if (device->Target().textEncoding != options_.textEncoding)
      entry.textEncoding = vmlctl::EncodingName(device->Target().textEncoding);
    entries.push_back(std::move(entry));
  }
  const fs::path path(options_.inventoryFile);
  fs::path temporary = path;
  temporary += ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      *problem = "cannot create " + temporary.string();
      return false;
    }
    out << "# written by vmlcmd-gateway when its device list changed\n";
    vml::inventory::Write(out, entries);
    out.flush();
    if (!out) {
      *problem = "cannot write " + temporary.string();
      return false;
    }
  }
  std::error_code error;
  // The inventory holds the devices' passwords: the new file keeps the old one's permissions.
  const fs::file_status status = fs::status(path, error);
  if (!error) fs::permissions(temporary, status.permissions(), error);
  fs::rename(temporary, path, error);
  if (error) {
    *problem = "cannot replace it: " + error.message();
    fs::remove(temporary, error);
    return false;
  }
  return true;
}

bool Gateway::Call(DeviceEntry& device, const char* kind, const std::function<void(ICommand&)>& call,
                   HttpResponse& response, VmlCmdOutcome* outcome) {
  const CallOutcome result = pool_.Run(device, kind, call);
  if (!result.ran) {
    WriteBusy(response, device.Id());
    return false;
  }
  *outcome = result.outcome;
  return true;
}

void Gateway::WhoAmI(const HttpRequest& request, HttpResponse& response) {
  WriteJson(response, 200, {{"role", RoleName(tokens_.RoleOf(request.get_header_value("Authorization")))}});
}

void Gateway::ListDevices(const HttpRequest&, HttpResponse& response) {
  Json list = Json::array();
  for (const auto& device : registry_.All()) list.push_back(device->Describe());
  WriteJson(response, 200, list);
}

void Gateway::AddDeviceRoute(const HttpRequest& request, HttpResponse& response) {
  Json body;
  if (!ReadJson(request, response, &body)) return;
  std::string id, name, group, problem;
  vmlctl::Target target;
  target.textEncoding = options_.textEncoding;
  if (!ParseDevice(body, &id, &name, &target, &group, &problem)) {
    WriteError(response, 400, "bad-request", problem);
    return;
  }
  if (!MayChangeList(response)) return;
  std::lock_guard<std::mutex> lock(inventoryMutex_);
  if (id.empty()) id = registry_.FreeId(target.host + ":" + std::to_string(target.port));
  auto device = std::make_shared<DeviceEntry>(id, name, target, group);
  if (!registry_.Add(device)) {
    WriteError(response, 409, "conflict", "a device \"" + id + "\" is already listed");
    return;
  }
  if (!SaveInventory(&problem)) {
    // Not kept where a restart finds it: not added at all.
    registry_.Remove(id);
    WriteError(response, 500, "inventory-not-written",
               "the device was not added: the inventory could not be written (" + problem + ")");
    return;
  }
  prober_.Watch(id);
  Audited(request, {id, "device.add", nullptr, device->Describe(), true, "", "", nullptr});
  response.set_header("Location", "/api/v1/devices/" + id);
  WriteJson(response, 201, device->Describe());
}

void Gateway::RemoveDevice(const HttpRequest& request, HttpResponse& response) {
  auto device = DeviceOf(request, response);
  if (!device) return;
  if (!MayChangeList(response)) return;
  // A head the gateway set moving is stopped before the gateway forgets the device.
  if (device->PtzState() != DeviceEntry::Ptz::kStopped) {
    VmlCmdOutcome outcome{};
    leases_.StopNow(device, &outcome);
  }
  std::lock_guard<std::mutex> lock(inventoryMutex_);
  registry_.Remove(device->Id());
  std::string problem;
  if (!SaveInventory(&problem)) {
    registry_.Add(device);
    WriteError(response, 500, "inventory-not-written",
               "the device was not removed: the inventory could not be written (" + problem + ")");
    return;
  }
  Audited(request, {device->Id(), "device.remove", device->Describe(), nullptr, true, "", "", nullptr});
  response.status = 204;
}

namespace {

using PtzOperation = bool (ICommand::*)(int32_t);

PtzOperation AxisOperation(const std::string& axis) {
  if (axis == "pan") return &ICommand::PtzPan;
  if (axis == "tilt") return &ICommand::PtzTilt;
  if (axis == "zoom") return &ICommand::PtzZoom;
  if (axis == "focus") return &ICommand::PtzFocus;
  if (axis == "iris") return &ICommand::PtzIris;
  return nullptr;
}

}  // namespace

void Gateway::PtzMove(const HttpRequest& request, HttpResponse& response) {
  auto device = DeviceOf(request, response);
  if (!device) return;
  Json body;
  if (!ReadJson(request, response, &body)) return;
  if (!body.is_object()) {
    WriteError(response, 400, "bad-request", "a move is a JSON object {axis, direction, seconds}");
    return;
  }
  const PtzOperation operation = body.contains("axis") && body["axis"].is_string()
                                     ? AxisOperation(body["axis"].get<std::string>())
                                     : nullptr;
  if (!operation) {
    WriteError(response, 400, "bad-request", "\"axis\" must be pan, tilt, zoom, focus or iris");
    return;
  }
  if (!body.contains("direction") || !body["direction"].is_number_integer() ||
      (body["direction"].get<int64_t>() != 1 && body["direction"].get<int64_t>() != -1)) {
    WriteError(response, 400, "bad-request", "\"direction\" must be 1 or -1");
    return;
  }
  const int32_t direction = body["direction"].get<int32_t>();
  double seconds = 0.5;
  if (body.contains("seconds")) {
    if (!body["seconds"].is_number() || !(body["seconds"].get<double>() > 0) ||
        !std::isfinite(body["seconds"].get<double>())) {
      WriteError(response, 400, "bad-request", "\"seconds\" must be a number above 0 (at most 2 is used)");
      return;
    }
    seconds = body["seconds"].get<double>();
  }
  // Clamped before it becomes milliseconds: 1e300 seconds is no reason to overflow.
  const double longest = std::chrono::duration<double>(kMaxLease).count();
  const auto lease =
      std::chrono::milliseconds(std::max<long long>(1, std::llround(std::min(seconds, longest) * 1000)));
  if (device->PtzState() == DeviceEntry::Ptz::kMayBeMoving || !leases_.BeforeMove(device)) {
    WriteError(
        response, 409, "may-be-moving",
        "the head may still be moving: its last stop was not acknowledged, and it is being sent again; "
        "no new move is sent until it is");
    return;
  }
  const uint64_t epoch = device->StopEpoch();
  bool ok = false;
  bool overtaken = false;
  VmlCmdOutcome outcome{};
  if (!Call(
          *device, "ptz.move",
          [&](ICommand& command) {
            // A stop that went out while this move waited its turn wins: the move is not sent.
            if (device->StopEpoch() != epoch) {
              overtaken = true;
              return;
            }
            ok = (command.*operation)(direction);
            if (ok) leases_.Hold(device, lease);
          },
          response, &outcome))
    return;
  if (overtaken) {
    WriteError(response, 409, "stopped",
               "a stop was sent while this move waited for the device; it was not sent");
    return;
  }
  Record(*device, "ptz.move", outcome, ok);
  Audited(request, {device->Id(), "ptz.move", nullptr,
                    Json{{"axis", body["axis"]},
                         {"direction", direction},
                         {"leaseSeconds", static_cast<double>(lease.count()) / 1000.0}},
                    ok, vmlctl::StageName(outcome.stage),
                    ok ? "" : vmlctl::Describe(outcome, device->Target()), nullptr});
  if (!ok) {
    WriteDeviceError(response, *device, outcome);
    return;
  }
  WriteJson(response, 200, {{"ok", true}, {"leaseSeconds", static_cast<double>(lease.count()) / 1000.0}});
}

// The stop is safety: it waits for no queued call and is never turned away as busy. It goes out
// on the device's own stop object; one the device does not acknowledge is sent again in the
// background until it is.
void Gateway::PtzStop(const HttpRequest& request, HttpResponse& response) {
  auto device = DeviceOf(request, response);
  if (!device) return;
  VmlCmdOutcome outcome{};
  const bool acknowledged = leases_.StopNow(device, &outcome);
  Record(*device, "ptz.stop", outcome, acknowledged);
  Audited(request,
          {device->Id(), "ptz.stop", nullptr, Json{{"ptz", DeviceEntry::PtzName(device->PtzState())}},
           acknowledged, vmlctl::StageName(outcome.stage),
           acknowledged ? "" : vmlctl::Describe(outcome, device->Target()), nullptr});
  if (!acknowledged) {
    Json body = {{"error",
                  {{"stage", vmlctl::StageName(outcome.stage)},
                   {"message", vmlctl::Describe(outcome, device->Target()) +
                                   "; the stop is being sent again until the device acknowledges it"},
                   {"status", outcome.status}}},
                 {"ptz", DeviceEntry::PtzName(device->PtzState())}};
    WriteJson(response, 502, body);
    return;
  }
  // A device that ignores the stop answers it the same way: all the gateway can say is this.
  WriteJson(response, 200,
            {{"ok", true}, {"stop", "acknowledged"}, {"ptz", DeviceEntry::PtzName(device->PtzState())}});
}

void Gateway::SetClock(const HttpRequest& request, HttpResponse& response) {
  auto device = DeviceOf(request, response);
  if (!device) return;
  // No body at all is "now": a client that only wants the clock right need not say so.
  std::string text = "now";
  if (!request.body.empty()) {
    Json body;
    if (!ReadJson(request, response, &body)) return;
    if (!body.is_object() || !body.contains("time") || !body["time"].is_string()) {
      WriteError(response, 400, "bad-request",
                 R"(a clock is {"time": "now"} or {"time": "YYYY-MM-DDTHH:MM:SS"})");
      return;
    }
    text = body["time"].get<std::string>();
  }
  // The gateway host's local time, read when the call comes, not when it reaches the device.
  text = vmlctl::ResolveNow(text, false);
  vmlctl::DateTime when;
  if (!vmlctl::ParseDateTime(text, &when)) {
    WriteError(response, 400, "bad-request", "\"time\" must be now or a time YYYY-MM-DDTHH:MM:SS");
    return;
  }
  bool ok = false;
  VmlCmdOutcome outcome{};
  if (!Call(
          *device, "clock",
          [&](ICommand& command) {
            ok = command.SetDeviceTime(when.year, when.month, when.day, when.hour, when.minute, when.second);
          },
          response, &outcome))
    return;
  Record(*device, "clock", outcome, ok);
  Audited(request,
          {device->Id(), "clock", nullptr, Json{{"time", text}}, ok, vmlctl::StageName(outcome.stage),
           ok ? "" : vmlctl::Describe(outcome, device->Target()), nullptr});
  if (!ok) {
    WriteDeviceError(response, *device, outcome);
    return;
  }
  WriteJson(response, 200, {{"ok", true}, {"time", text}});
}

void Gateway::Healthz(const HttpRequest&, HttpResponse& response) {
  // The gateway's own health: it answers, so it is up. Devices that are down do not make it
  // unhealthy; their own metrics and states say so.
  WriteJson(response, 200, {{"status", "ok"}, {"devices", registry_.All().size()}});
}

void Gateway::MetricsRoute(const HttpRequest&, HttpResponse& response) {
  if (!Metrics::Available()) {
    WriteError(response, 501, "not-built", "this build of the gateway has no metrics library");
    return;
  }
  response.status = 200;
  response.set_content(metrics_.Text(registry_.All(), pool_.Waiting()), kMetricsContentType);
}

void Gateway::AuditRoute(const HttpRequest& request, HttpResponse& response) {
  AuditQuery query;
  query.device = request.get_param_value("device");
  const auto number = [&](const char* name, int64_t low, int64_t* out) {
    if (!request.has_param(name)) return true;
    const std::string text = request.get_param_value(name);
    if (text.empty() || text.size() > 15 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoll(text) < low) {
      WriteError(response, 400, "bad-request", std::string("\"") + name + "\" must be a whole number");
      return false;
    }
    *out = std::stoll(text);
    return true;
  };
  int64_t since = 0;
  int64_t limit = 100;
  if (!number("since", 0, &since) || !number("limit", 1, &limit)) return;
  query.sinceMilliseconds = since;
  query.limit =
      static_cast<std::size_t>(std::min<int64_t>(limit, static_cast<int64_t>(Audit::kMostAnswered)));
  Json list = Json::array();
  for (Json& record : audit_.Find(query)) list.push_back(std::move(record));
  WriteJson(response, 200, {{"records", list}});
}

// A probe changes nothing on the device, so a read token may ask for one.
void Gateway::ProbeDevice(const HttpRequest& request, HttpResponse& response) {
  auto device = DeviceOf(request, response);
  if (!device) return;
  if (!prober_.ProbeNow(*device)) {
    WriteBusy(response, device->Id());
    return;
  }
  WriteJson(response, 200, device->Describe());
}

void Gateway::ProbeRoute(const HttpRequest& request, HttpResponse& response) {
  if (!Metrics::Available()) {
    WriteError(response, 501, "not-built", "this build of the gateway has no metrics library");
    return;
  }
  if (!request.has_param("target")) {
    WriteError(response, 400, "bad-request", "name the device: /probe?target=ID");
    return;
  }
  const std::string id = request.get_param_value("target");
  auto device = registry_.Find(id);
  if (!device) {
    WriteError(response, 404, "not-found", "no device \"" + id + "\"");
    return;
  }
  if (!prober_.ProbeNow(*device)) {
    WriteBusy(response, id);
    return;
  }
  response.status = 200;
  response.set_content(metrics_.DeviceText(device), kMetricsContentType);
}

void Gateway::OpenApi(const HttpRequest& request, HttpResponse& response) { Console(request, response); }

void Gateway::Console(const HttpRequest& request, HttpResponse& response) {
  const Resource* resource = EmbeddedFile(request.path == "/" ? "/console/index.html" : request.path);
  if (!resource) {
    WriteError(response, 404, "not-found", "no file " + request.path);
    return;
  }
  response.set_header(
      "Content-Security-Policy",
      "default-src 'self'; img-src 'self' data:; style-src 'self' 'unsafe-inline'; script-src 'self'");
  response.set_header("X-Content-Type-Options", "nosniff");
  response.set_header("Cache-Control", "no-cache");
  response.set_content(reinterpret_cast<const char*>(resource->data), resource->size, resource->type);
}

}  // namespace gateway
