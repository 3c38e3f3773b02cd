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

// With Options::devices above 1 it plays a fleet: independent devices on one network thread,
// one listening port each. The members without a device index address device 0, so a
// single-device simulator reads as it always has; an index out of range throws
// std::out_of_range.
class Simulator {
 public:
  explicit Simulator(Options options = {});
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Binds every device's port, starts the network thread and returns once all listen (when it
  // runs already: every device whose listener was stopped). Throws std::runtime_error when the
  // address is refused or a port cannot be bound.
  void Start();
  // Closes the listeners and every connection (silenced or delayed ones too) and joins the
  // network thread. Safe to call twice; the destructor calls it.
  void Stop();
  // Each device keeps the port it first bound: Start() after Stop() listens there again.
  uint16_t Port() const;   // device 0's, also after Stop()
  bool Listening() const;  // between Start() and Stop()
  // One device's listener: stopped, it refuses connections and its open ones are dropped while
  // the others go on; started, it listens again at its port. Start() restarts every stopped
  // one. StartListening throws std::logic_error while the simulator is stopped, and
  // std::runtime_error when the port cannot be bound again.
  bool Listening(std::size_t device) const;
  void StopListening(std::size_t device);
  void StartListening(std::size_t device);
  std::size_t DeviceCount() const;
  uint16_t Port(std::size_t device) const;

  // Back to a new simulator's state with these options, for every device: default device
  // state, no faults, no recorded requests, zero counts. Open connections are closed first, so
  // nothing left over from earlier work is counted or recorded afterwards. Connection numbers
  // keep counting, so a request recorded before cannot pass for a later one. Throws
  // std::runtime_error when the network thread does not take the reset within seconds.
  void Reset();

  // The last requests received, oldest first (at most the request log's bound).
  std::vector<RecordedRequest> Requests() const;
  std::vector<RecordedRequest> Requests(std::size_t device) const;
  void ClearRequests();
  void ClearRequests(std::size_t device);
  // True once at least count requests are recorded (since the last ClearRequests()), whether
  // the log still holds them or not.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
  bool WaitForRequests(std::size_t device, std::size_t count, std::chrono::milliseconds timeout) const;
  RequestLogStats RequestLog(std::size_t device = 0) const;
  // A new bound for the log (Options::requestLog, kept across Reset()); the oldest requests
  // beyond it go.
  void SetRequestLog(std::size_t bound);

  // One fault per command code; a new one replaces the old one.
  void SetFault(int32_t command, Fault fault);
  void SetFault(std::size_t device, int32_t command, Fault fault);
  void ClearFault(int32_t command);
  void ClearFault(std::size_t device, int32_t command);
  void ClearFaults();
  void ClearFaults(std::size_t device);

  // What the devices write in the reply fields the protocol leaves free; Reset() goes back to
  // Options::replyFields. Without an index, every device.
  void SetReplyFields(ReplyFields fields);
  void SetReplyFields(std::size_t device, ReplyFields fields);
  ReplyFields GetReplyFields(std::size_t device = 0) const;

  DeviceState State() const;
  DeviceState State(std::size_t device) const;
  void UpdateState(const std::function<void(DeviceState&)>& change);
  void UpdateState(std::size_t device, const std::function<void(DeviceState&)>& change);
  nlohmann::json StateJson() const;
  nlohmann::json StateJson(std::size_t device) const;

  ConnectionStats Stats() const;
  ConnectionStats Stats(std::size_t device) const;
  // True once every accepted connection is closed.
  bool WaitForIdle(std::chrono::milliseconds timeout) const;
  bool WaitForIdle(std::size_t device, std::chrono::milliseconds timeout) const;

  // Calls the listener after every change the waits above wait for (a request recorded, a
  // connection accepted or closed, a reset), on whichever thread made it and without the
  // simulator's lock held, so that a waiter elsewhere (an event loop) needs no polling. The
  // listener must be quick and must not add or remove listeners.
  uint64_t AddChangeListener(std::function<void()> listener);
  // Once this returns, the listener is neither running nor called again.
  void RemoveChangeListener(uint64_t handle);

 private:
  std::unique_ptr<detail::Server> impl_;
};

}  // namespace napisim

#endif
