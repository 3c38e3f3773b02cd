// The gateway: HTTP/JSON in front of the device list, the configuration engine and the PTZ
// operations, and the web console's files. It parses a request, checks who sent it, calls the
// engine or the table through the device pool and serves the result; it decides nothing about
// devices itself.
#pragma once

#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Devices.h"
#include "Leases.h"
#include "Tokens.h"
#include "VmlCmd/vmlcmd.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace gateway {

struct Options {
  int concurrentCalls = 16;     // device calls at once, all devices together
  int queuePerDevice = 8;       // callers of one device, running or waiting, before 503
  int fleetJobs = 16;           // devices of one fleet call worked on at once
  std::ostream* log = nullptr;  // one line per request; nullptr: none
  // The code page of device texts for devices added without one (vmlcmd_text_encoding).
  int32_t textEncoding = VMLCMD_TEXT_ENCODING_CP936;
  // The file of PTZ moves in flight (Leases.h); empty keeps none.
  std::string movesFile;
};

// One route as the OpenAPI description names it: "GET", "/api/v1/devices/{id}/config", the
// role it needs (kNone: no token).
struct RouteInfo {
  std::string method;
  std::string path;
  Role role;
};

class Gateway {
 public:
  Gateway(Tokens tokens, Options options);
  ~Gateway();

  Registry& Devices() { return registry_; }
  // Adds the inventory's rows with their names as ids where given ("host:port" otherwise).
  void AddDevice(const std::string& id, const std::string& name, const vmlctl::Target& target);

  // Registers every route, the check of the token that runs before any of them, the JSON
  // error pages and the request log.
  void Mount(httplib::Server& server);

  static std::vector<RouteInfo> Routes();

  // Stops the heads a crashed or killed earlier run left moving (its moves file), in the
  // background; the ids it lists that are no device of this run are returned.
  std::vector<std::string> StopLeftoverMoves() { return leases_.Recover(registry_.All()); }

  // Every handler has this shape; matches are the path's captured parts.
  using Handler = void (Gateway::*)(const httplib::Request&, httplib::Response&);

 private:
  // Device routes.
  void WhoAmI(const httplib::Request& request, httplib::Response& response);
  void ListDevices(const httplib::Request& request, httplib::Response& response);
  void AddDeviceRoute(const httplib::Request& request, httplib::Response& response);
  void RemoveDevice(const httplib::Request& request, httplib::Response& response);
  void PtzMove(const httplib::Request& request, httplib::Response& response);
  void PtzStop(const httplib::Request& request, httplib::Response& response);
  void SetClock(const httplib::Request& request, httplib::Response& response);
  // Configuration routes (ConfigRoutes.cpp, over the configuration engine).
  void ReadConfig(const httplib::Request& request, httplib::Response& response);
  void PlanConfig(const httplib::Request& request, httplib::Response& response);
  void ApplyConfig(const httplib::Request& request, httplib::Response& response);
  void FleetPlan(const httplib::Request& request, httplib::Response& response);
  void FleetApply(const httplib::Request& request, httplib::Response& response);
  // Documents.
  void OpenApi(const httplib::Request& request, httplib::Response& response);
  void Console(const httplib::Request& request, httplib::Response& response);

  // The device named by the path's first capture, or a 404 written to response.
  std::shared_ptr<DeviceEntry> DeviceOf(const httplib::Request& request, httplib::Response& response);
  // Runs call on device through the pool; false with a 503 written when the device is busy.
  bool Call(DeviceEntry& device, const std::function<void(ICommand&)>& call, httplib::Response& response,
            VmlCmdOutcome* outcome);
  void Fleet(const httplib::Request& request, httplib::Response& response, bool apply);
  void FollowAddress(DeviceEntry& device, const Json& document);
  void Record(DeviceEntry& device, const char* operation, const VmlCmdOutcome& outcome, bool ok);

  struct Route;
  static const std::vector<Route>& Table();
  // Checks the route's role and runs it.
  void RunRoute(const Route& route, const httplib::Request& request, httplib::Response& response);
  // Runs the route that matches a request that has no body; false when none does.
  bool Dispatch(const httplib::Request& request, httplib::Response& response);

  Tokens tokens_;
  Options options_;
  Registry registry_;
  DevicePool pool_;
  Leases leases_;
  std::mutex logMutex_;
};

// The JSON body of every error: {"error": {"stage", "message", "status"}}; status is the
// device's reply status where it gave one, else 0.
void WriteError(httplib::Response& response, int httpStatus, const std::string& stage,
                const std::string& message, int status = 0);
void WriteJson(httplib::Response& response, int httpStatus, const Json& body);
// Parses the request's body as JSON; false with a 400 written. The parser's own message is not
// passed on: it quotes the text it stopped at, which may be a password.
bool ReadJson(const httplib::Request& request, httplib::Response& response, Json* body);
// The error a device call ended with, as HTTP: 502 with the outcome's stage and words.
void WriteDeviceError(httplib::Response& response, const DeviceEntry& device, const VmlCmdOutcome& outcome);

}  // namespace gateway
