// The gateway: HTTP/JSON in front of the device list, the configuration engine and the PTZ
// operations, and the web console's files. It parses a request, checks who sent it, calls the
// engine or the table through the device pool and serves the result; it decides nothing about
// devices itself.
#pragma once

#include <chrono>
#include <condition_variable>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Audit.h"
#include "Devices.h"
#include "Health.h"
#include "Http.h"
#include "Leases.h"
#include "Metrics.h"
#include "Tokens.h"
#include "VmlCmd/vmlcmd.h"

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
  // How often each device is probed in the background; 0: never (GET /probe still probes).
  std::chrono::milliseconds probeInterval{30000};
  // /metrics and /probe answer without a token (for a Prometheus on a trusted network).
  bool metricsPublic = false;
  // The audit trail's file; empty keeps the newest records in memory only.
  std::string auditFile;
  // The inventory that devices added or removed through the API are written back to; empty:
  // such changes last until the gateway stops. inventoryWritable false: they are refused,
  // since they would be lost at the next start.
  std::string inventoryFile;
  bool inventoryWritable = true;
  // How often each device that has a desired configuration is planned against it (never
  // applied); 0: only when one is registered. The file the registered documents are kept in
  // (empty: memory only).
  std::chrono::milliseconds driftInterval{600000};
  std::string desiredFile;
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
  void AddDevice(const std::string& id, const std::string& name, const vmlctl::Target& target,
                 const std::string& group = {});
  // The desired configuration an inventory row names (path as found, shown as the row wrote
  // it); false with why, a line of the document included.
  bool DesiredFromFile(const std::string& id, const std::string& path, const std::string& shown,
                       std::string* problem);

  // Answers one request: the check of the token before any route, the route, the JSON error
  // pages, the request log. Never throws.
  void Handle(const HttpRequest& request, HttpResponse& response);
  // The answer to a request the HTTP server refused itself (a limit, a malformed request).
  void Refuse(const HttpRequest& request, int status, const std::string& message, HttpResponse& response);
  // A PTZ stop: the server gives it a worker that no other request waits for.
  static bool IsStop(const HttpRequest& request);

  static std::vector<RouteInfo> Routes();

  // Stops the heads a crashed or killed earlier run left moving (its moves file), in the
  // background; the ids it lists that are no device of this run are returned.
  std::vector<std::string> StopLeftoverMoves() { return leases_.Recover(registry_.All()); }
  // Opens the audit file; false with why.
  bool OpenAudit(std::string* problem) { return audit_.Open(problem); }
  // Starts the background health probes of the devices added so far and of those added later,
  // and the drift checks.
  void StartProbes();
  // Reads the desired configurations an earlier run registered; false with why. The ids it
  // names that are no device of this run are returned in unknown.
  bool LoadDesired(std::vector<std::string>* unknown, std::string* problem);

  // Every handler has this shape; matches are the path's captured parts.
  using Handler = void (Gateway::*)(const HttpRequest&, HttpResponse&);

 private:
  // Device routes.
  void WhoAmI(const HttpRequest& request, HttpResponse& response);
  void ListDevices(const HttpRequest& request, HttpResponse& response);
  void AddDeviceRoute(const HttpRequest& request, HttpResponse& response);
  void RemoveDevice(const HttpRequest& request, HttpResponse& response);
  void PtzMove(const HttpRequest& request, HttpResponse& response);
  void PtzStop(const HttpRequest& request, HttpResponse& response);
  void SetClock(const HttpRequest& request, HttpResponse& response);
  // Health and metrics.
  void Healthz(const HttpRequest& request, HttpResponse& response);
  void MetricsRoute(const HttpRequest& request, HttpResponse& response);
  void ProbeRoute(const HttpRequest& request, HttpResponse& response);
  void ProbeDevice(const HttpRequest& request, HttpResponse& response);
  void AuditRoute(const HttpRequest& request, HttpResponse& response);
  // Desired state (ConfigRoutes.cpp).
  void GetDesired(const HttpRequest& request, HttpResponse& response);
  void PutDesired(const HttpRequest& request, HttpResponse& response);
  void DeleteDesired(const HttpRequest& request, HttpResponse& response);
  void PutGroupDesired(const HttpRequest& request, HttpResponse& response);
  // False with a 409 written when the device's desired configuration is its inventory row's.
  bool DesiredIsOurs(const DeviceEntry& device, HttpResponse& response);
  void CheckDrift(DeviceEntry& device, bool idle);
  void CheckAllDrift();
  bool SaveDesired(std::string* problem);
  // Configuration routes (ConfigRoutes.cpp, over the configuration engine).
  void ReadConfig(const HttpRequest& request, HttpResponse& response);
  void PlanConfig(const HttpRequest& request, HttpResponse& response);
  void ApplyConfig(const HttpRequest& request, HttpResponse& response);
  void FleetPlan(const HttpRequest& request, HttpResponse& response);
  void FleetApply(const HttpRequest& request, HttpResponse& response);
  // Documents.
  void OpenApi(const HttpRequest& request, HttpResponse& response);
  void Console(const HttpRequest& request, HttpResponse& response);

  // The device named by the path's first capture, or a 404 written to response.
  std::shared_ptr<DeviceEntry> DeviceOf(const HttpRequest& request, HttpResponse& response);
  // Runs call on device through the pool; false with a 503 written when the device is busy.
  bool Call(DeviceEntry& device, const char* kind, const std::function<void(ICommand&)>& call,
            HttpResponse& response, VmlCmdOutcome* outcome);
  void Fleet(const HttpRequest& request, HttpResponse& response, bool apply);
  void FollowAddress(DeviceEntry& device, const Json& document);
  void Record(DeviceEntry& device, const char* operation, const VmlCmdOutcome& outcome, bool ok);
  // One change, into the audit trail: who asked (the token's name, never the token), the
  // device, the operation, the values before and after, how it ended.
  struct Change {
    std::string device;
    std::string operation;
    Json before;
    Json after;
    bool ok = false;
    std::string stage;
    std::string message;
    Json detail;  // anything else worth keeping (verified fields, a rollback)
  };
  void Audited(const HttpRequest& request, Change change);
  // Writes the device list back to the inventory (a temporary file renamed over it); false
  // with why.
  bool SaveInventory(std::string* problem);
  // False with a 409 written when the device list may not change.
  bool MayChangeList(HttpResponse& response);

  struct Route;
  static const std::vector<Route>& Table();
  // Checks the route's role and runs it.
  void RunRoute(const Route& route, const HttpRequest& request, HttpResponse& response);
  // route: the OpenAPI path of the route that answered, "other" for none.
  void Answer(const HttpRequest& request, HttpResponse& response, std::string* route);
  void Log(const HttpRequest& request, const HttpResponse& response,
           std::chrono::steady_clock::time_point start);

  Tokens tokens_;
  Options options_;
  Registry registry_;
  DevicePool pool_;
  Metrics metrics_;
  Audit audit_;  // before the leases, whose stops at exit it records
  Prober prober_;
  Periodic drift_;  // the drift checks
  // Last, so that it is the first to go: at exit the heads are stopped before the background
  // work (a probe, a plan in progress) is waited for.
  Leases leases_;
  std::mutex inventoryMutex_;  // one rewrite of the inventory at a time, and the list change with it
  std::mutex desiredMutex_;    // one rewrite of the desired file at a time
  std::mutex logMutex_;
};

// The JSON body of every error: {"error": {"stage", "message", "status"}}; status is the
// device's reply status where it gave one, else 0.
void WriteError(HttpResponse& response, int httpStatus, const std::string& stage, const std::string& message,
                int status = 0);
void WriteJson(HttpResponse& response, int httpStatus, const Json& body);
// Parses the request's body as JSON; false with a 400 written. The parser's own message is not
// passed on: it quotes the text it stopped at, which may be a password.
bool ReadJson(const HttpRequest& request, HttpResponse& response, Json* body);
// 503 with Retry-After: the device's queue of calls is full.
void WriteBusy(HttpResponse& response, const std::string& id);
// The error a device call ended with, as HTTP: 502 with the outcome's stage and words.
void WriteDeviceError(HttpResponse& response, const DeviceEntry& device, const VmlCmdOutcome& outcome);

}  // namespace gateway
