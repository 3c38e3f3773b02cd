#include "Gateway.h"

#include <httplib.h>

#include <chrono>
#include <cmath>
#include <ostream>

#include "Clock.h"
#include "Commands.h"
#include "Reason.h"
#include "Resources.h"

namespace gateway {

struct Gateway::Route {
  const char* method;
  const char* pattern;  // httplib's regular expression
  const char* path;     // as the OpenAPI description names it
  Role role;
  Handler handler;
};

namespace {

constexpr const char* kId = "([A-Za-z0-9._:~-]+)";

std::string Pattern(const char* before, const char* after = "") { return std::string(before) + kId + after; }

const char* RoleName(Role role) {
  switch (role) {
    case Role::kRead:
      return "read";
    case Role::kWrite:
      return "write";
    case Role::kNone:
      break;
  }
  return "none";
}

}  // namespace

const std::vector<Gateway::Route>& Gateway::Table() {
  // Reading and planning are reads; anything that changes a device or the list is a write.
  static const std::string device = Pattern("/api/v1/devices/");
  static const std::string config = Pattern("/api/v1/devices/", "/config");
  static const std::string plan = Pattern("/api/v1/devices/", "/config/plan");
  static const std::string apply = Pattern("/api/v1/devices/", "/config/apply");
  static const std::string move = Pattern("/api/v1/devices/", "/ptz/move");
  static const std::string stop = Pattern("/api/v1/devices/", "/ptz/stop");
  static const std::string clock = Pattern("/api/v1/devices/", "/clock");
  static const std::vector<Route> table = {
      {"GET", "/api/v1/whoami", "/api/v1/whoami", Role::kRead, &Gateway::WhoAmI},
      {"GET", "/api/v1/devices", "/api/v1/devices", Role::kRead, &Gateway::ListDevices},
      {"POST", "/api/v1/devices", "/api/v1/devices", Role::kWrite, &Gateway::AddDeviceRoute},
      {"DELETE", device.c_str(), "/api/v1/devices/{id}", Role::kWrite, &Gateway::RemoveDevice},
      {"GET", config.c_str(), "/api/v1/devices/{id}/config", Role::kRead, &Gateway::ReadConfig},
      {"POST", plan.c_str(), "/api/v1/devices/{id}/config/plan", Role::kRead, &Gateway::PlanConfig},
      {"POST", apply.c_str(), "/api/v1/devices/{id}/config/apply", Role::kWrite, &Gateway::ApplyConfig},
      {"POST", move.c_str(), "/api/v1/devices/{id}/ptz/move", Role::kWrite, &Gateway::PtzMove},
      {"POST", stop.c_str(), "/api/v1/devices/{id}/ptz/stop", Role::kWrite, &Gateway::PtzStop},
      {"POST", clock.c_str(), "/api/v1/devices/{id}/clock", Role::kWrite, &Gateway::SetClock},
      {"POST", "/api/v1/fleet/config/plan", "/api/v1/fleet/config/plan", Role::kRead, &Gateway::FleetPlan},
      {"POST", "/api/v1/fleet/config/apply", "/api/v1/fleet/config/apply", Role::kWrite,
       &Gateway::FleetApply},
      {"GET", "/openapi.json", "/openapi.json", Role::kNone, &Gateway::OpenApi},
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
      leases_(pool_) {}

Gateway::~Gateway() = default;

void Gateway::AddDevice(const std::string& id, const std::string& name, const vmlctl::Target& target) {
  const std::string chosen =
      id.empty() ? registry_.FreeId(target.host + ":" + std::to_string(target.port)) : id;
  registry_.Add(std::make_shared<DeviceEntry>(chosen, name, target));
}

void WriteJson(httplib::Response& response, int httpStatus, const Json& body) {
  response.status = httpStatus;
  // A caption read from a device may hold bytes of its own code page: they are replaced rather
  // than throwing half-way through a response.
  response.set_content(body.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n",
                       "application/json; charset=utf-8");
}

void WriteError(httplib::Response& response, int httpStatus, const std::string& stage,
                const std::string& message, int status) {
  WriteJson(response, httpStatus, {{"error", {{"stage", stage}, {"message", message}, {"status", status}}}});
}

bool ReadJson(const httplib::Request& request, httplib::Response& response, Json* body) {
  try {
    *body = Json::parse(request.body);
    return true;
  } catch (const Json::parse_error& e) {
    WriteError(response, 400, "bad-request",
               "the body is not valid JSON (it breaks off at byte " + std::to_string(e.byte) + ")");
  }
  return false;
}

void WriteDeviceError(httplib::Response& response, const DeviceEntry& device, const VmlCmdOutcome& outcome) {
  WriteError(response, 502, vmlctl::StageName(outcome.stage), vmlctl::Describe(outcome, device.Target()),
             outcome.status);
}

void Gateway::Mount(httplib::Server& server) {
  // An answer leaves in pieces (status and headers, then the body); with Nagle's algorithm the
  // second waits for the client's delayed acknowledgement, some 40 ms on every call.
  server.set_tcp_nodelay(true);
  // A console polls and a PTZ pad renews twice a second: a kept connection serves them all, rather
  // than a new one every five requests (the library's default), each with its own close to race.
  server.set_keep_alive_max_count(1000);
  // Who is calling is settled before any route runs; an /api/ request without a known token
  // never reaches a handler, whether its path exists or not.
  server.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
    if (request.path.rfind("/api/", 0) != 0) return httplib::Server::HandlerResponse::Unhandled;
    if (tokens_.RoleOf(request.get_header_value("Authorization")) == Role::kNone) {
      response.set_header("WWW-Authenticate", "Bearer");
      WriteError(response, 401, "unauthorized", "no token, or one this gateway does not know");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });

  for (const Route& route : Table()) {
    const Route* entry = &route;
    auto handler = [this, entry](const httplib::Request& request, httplib::Response& response) {
      if (entry->role == Role::kWrite &&
          tokens_.RoleOf(request.get_header_value("Authorization")) != Role::kWrite) {
        WriteError(response, 403, "forbidden",
                   "this needs a write token; a read token may read and plan only");
        return;
      }
      (this->*(entry->handler))(request, response);
    };
    const std::string method = route.method;
    if (method == "GET") server.Get(route.pattern, handler);
    if (method == "POST") server.Post(route.pattern, handler);
    if (method == "DELETE") server.Delete(route.pattern, handler);
  }
  server.Get("/", [this](const httplib::Request& request, httplib::Response& response) {
    Console(request, response);
  });
  server.Get("/console/[A-Za-z0-9._-]+", [this](const httplib::Request& request,
                                                httplib::Response& response) { Console(request, response); });

  server.set_error_handler([](const httplib::Request& request, httplib::Response& response) {
    if (!response.body.empty()) return;
    if (response.status == 404) {
      WriteError(response, 404, "not-found", "no route " + request.method + " " + request.path);
    } else if (response.status == 413) {
      WriteError(response, 413, "bad-request", "the body is too large");
    } else {
      WriteError(response, response.status, "bad-request", "the request was refused");
    }
  });
  server.set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
    WriteError(response, 500, "internal", "the gateway failed while answering; nothing more is known");
  });
  if (options_.log) {
    server.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
      // The path and the status only: bodies carry passwords and documents.
      std::lock_guard<std::mutex> lock(logMutex_);
      *options_.log << request.remote_addr << ' ' << request.method << ' ' << request.path << ' '
                    << response.status << '\n'
                    << std::flush;
    });
  }
}

std::shared_ptr<DeviceEntry> Gateway::DeviceOf(const httplib::Request& request, httplib::Response& response) {
  const std::string id = request.matches.size() > 1 ? request.matches[1].str() : std::string();
  auto device = registry_.Find(id);
  if (!device) WriteError(response, 404, "not-found", "no device \"" + id + "\"");
  return device;
}

void Gateway::Record(DeviceEntry& device, const char* operation, const VmlCmdOutcome& outcome, bool ok) {
  LastResult last;
  last.operation = operation;
  last.ok = ok;
  last.stage = vmlctl::StageName(outcome.stage);
  last.message = ok ? "done" : vmlctl::Describe(outcome, device.Target());
  last.atMilliseconds = NowMilliseconds();
  device.Record(std::move(last));
}

bool Gateway::Call(DeviceEntry& device, const std::function<void(ICommand&)>& call,
                   httplib::Response& response, VmlCmdOutcome* outcome) {
  const CallOutcome result = pool_.Run(device, call);
  if (!result.ran) {
    response.set_header("Retry-After", "1");
    WriteError(response, 503, "busy",
               "too many calls are waiting for device \"" + device.Id() + "\"; try again");
    return false;
  }
  *outcome = result.outcome;
  return true;
}

void Gateway::WhoAmI(const httplib::Request& request, httplib::Response& response) {
  WriteJson(response, 200, {{"role", RoleName(tokens_.RoleOf(request.get_header_value("Authorization")))}});
}

void Gateway::ListDevices(const httplib::Request&, httplib::Response& response) {
  Json list = Json::array();
  for (const auto& device : registry_.All()) list.push_back(device->Describe());
  WriteJson(response, 200, list);
}

void Gateway::AddDeviceRoute(const httplib::Request& request, httplib::Response& response) {
  Json body;
  if (!ReadJson(request, response, &body)) return;
  std::string id, name, problem;
  vmlctl::Target target;
  target.textEncoding = options_.textEncoding;
  if (!ParseDevice(body, &id, &name, &target, &problem)) {
    WriteError(response, 400, "bad-request", problem);
    return;
  }
  if (id.empty()) id = registry_.FreeId(target.host + ":" + std::to_string(target.port));
  auto device = std::make_shared<DeviceEntry>(id, name, target);
  if (!registry_.Add(device)) {
    WriteError(response, 409, "conflict", "a device \"" + id + "\" is already listed");
    return;
  }
  response.set_header("Location", "/api/v1/devices/" + id);
  WriteJson(response, 201, device->Describe());
}

void Gateway::RemoveDevice(const httplib::Request& request, httplib::Response& response) {
  auto device = DeviceOf(request, response);
  if (!device) return;
  // A head the gateway set moving is stopped before the gateway forgets the device.
  leases_.StopNow(device->Id());
  registry_.Remove(device->Id());
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

void Gateway::PtzMove(const httplib::Request& request, httplib::Response& response) {
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
  const auto lease = std::min(kMaxLease, std::chrono::milliseconds(std::llround(seconds * 1000)));
  bool ok = false;
  VmlCmdOutcome outcome{};
  if (!Call(
          *device,
          [&](ICommand& command) {
            ok = (command.*operation)(direction);
            if (ok) leases_.Hold(device, std::max(lease, std::chrono::milliseconds(1)));
          },
          response, &outcome))
    return;
  Record(*device, "ptz.move", outcome, ok);
  if (!ok) {
    WriteDeviceError(response, *device, outcome);
    return;
  }
  WriteJson(response, 200, {{"ok", true}, {"leaseSeconds", static_cast<double>(lease.count()) / 1000.0}});
}

void Gateway::PtzStop(const httplib::Request& request, httplib::Response& response) {
  auto device = DeviceOf(request, response);
  if (!device) return;
  bool ok = false;
  VmlCmdOutcome outcome{};
  if (!Call(
          *device,
          [&](ICommand& command) {
            leases_.Release(device->Id());
            ok = command.PtzStop();
          },
          response, &outcome))
    return;
  Record(*device, "ptz.stop", outcome, ok);
  if (!ok) {
    WriteDeviceError(response, *device, outcome);
    return;
  }
  WriteJson(response, 200, {{"ok", true}});
}

void Gateway::SetClock(const httplib::Request& request, httplib::Response& response) {
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
          *device,
          [&](ICommand& command) {
            ok = command.SetDeviceTime(when.year, when.month, when.day, when.hour, when.minute, when.second);
          },
          response, &outcome))
    return;
  Record(*device, "clock", outcome, ok);
  if (!ok) {
    WriteDeviceError(response, *device, outcome);
    return;
  }
  WriteJson(response, 200, {{"ok", true}, {"time", text}});
}

void Gateway::OpenApi(const httplib::Request& request, httplib::Response& response) {
  Console(request, response);
}

void Gateway::Console(const httplib::Request& request, httplib::Response& response) {
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
