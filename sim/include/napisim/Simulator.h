// napisim: a video server that answers NAPI requests on a loopback TCP port, for tests of the
// client library and for manual work with the command-line tool.
//
// The server runs its network on one background thread. Every public member is thread-safe.
#ifndef NAPISIM_SIMULATOR_H
#define NAPISIM_SIMULATOR_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "napisim/DeviceState.h"
#include "napisim/Types.h"

namespace napisim {

namespace detail {
class Server;
}

class Simulator {
 public:
  explicit Simulator(Options options = {});
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Binds, starts the network thread and returns once the port is listening. Throws
  // std::runtime_error when the address is refused or the port cannot be bound.
  void Start();
  // Closes the listener and every connection (silenced or delayed ones too) and joins the
  // network thread. Safe to call twice; the destructor calls it.
  void Stop();
  uint16_t Port() const;   // the last port bound, also after Stop()
  bool Listening() const;  // between Start() and Stop()

  // Back to a new simulator's state with these options: default device state, no faults, no
  // recorded requests, zero counts. Open connections are closed first, so nothing left over
  // from earlier work is counted or recorded afterwards. Connection numbers keep counting, so
  // a request recorded before cannot pass for a later one. Throws std::runtime_error when the
  // network thread does not take the reset within seconds.
  void Reset();

  std::vector<RecordedRequest> Requests() const;
  void ClearRequests();
  // True once at least count requests are recorded (since the last ClearRequests()).
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

  // One fault per command code; a new one replaces the old one.
  void SetFault(int32_t command, Fault fault);
  void ClearFault(int32_t command);
  void ClearFaults();

  DeviceState State() const;
  void UpdateState(const std::function<void(DeviceState&)>& change);
  nlohmann::json StateJson() const;

  ConnectionStats Stats() const;
  // True once every accepted connection is closed.
  bool WaitForIdle(std::chrono::milliseconds timeout) const;

 private:
  std::unique_ptr<detail::Server> impl_;
};

}  // namespace napisim

#endif
