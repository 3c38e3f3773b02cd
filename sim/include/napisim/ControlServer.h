// The simulator's control channel: JSON lines over TCP on 127.0.0.1, one request line answered
// by one response line. It lets a test program drive a simulator it cannot hold in its own
// process; the Windows build of the tests runs under Wine while the simulator runs natively.
//
// A request is {"op": NAME, ...}; the response is {"ok": true, ...} or {"ok": false, "error": TEXT}.
// Every op that concerns one device takes an optional "device": INDEX (default 0).
//   reset {accounts?: [{user, password}], videoPorts?: N}   Simulator::Reset, then these options
//                                     for every device
//   set-fault {command, fault}, clear-fault {command}, clear-faults, clear-requests
//   requests                          -> {requests: [RecordedRequest...], bound, recorded, dropped}
//   request-log {bound?}              -> {log: RequestLogStats} (bound: a new one for every device)
//   wait-requests {count, timeoutMs}  -> {reached: bool}
//   wait-idle {timeoutMs}             -> {idle: bool}
//   stats -> {stats}, state -> {state}
//   devices                           -> {count, ports: [...]}
//   port, stop-listening, start-listening  -> {port, listening}: with "device", that device's
//                                     listener alone (its connections dropped; it listens again
//                                     at the same port); without, every device at once
// The JSON forms of faults, requests and counts are in napisim/ControlJson.h; the state's is
// DeviceState's own.
// The waits answer once their condition holds or at their time-out. A client that closes its
// connection or shuts down its sending side while it waits ends the wait there and then
// (TCP cannot tell the two apart); Stop() closes waiting connections unanswered.
#ifndef NAPISIM_CONTROLSERVER_H
#define NAPISIM_CONTROLSERVER_H

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>

#include "napisim/Simulator.h"

namespace napisim {

namespace detail {
class ControlImpl;
}

class ControlServer {
 public:
  // The simulator must outlive the server.
  explicit ControlServer(Simulator& simulator, uint16_t port = 0);
  ~ControlServer();
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

  // Listens on 127.0.0.1 only. Throws std::runtime_error when the port cannot be bound.
  void Start();
  // Closes the listener and every control connection; waits in progress end with them.
  void Stop();
  uint16_t Port() const;

 private:
  std::unique_ptr<detail::ControlImpl> impl_;
};

// Answers one request at once, as the server does for every op but the two waits (which it
// answers without holding up its other connections). Throws for a malformed request.
nlohmann::json AnswerControlRequest(Simulator& simulator, const nlohmann::json& request);

}  // namespace napisim

#endif
