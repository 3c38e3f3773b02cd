// The gateway's devices: one command object each, calls to one device run one at a time, calls
// to different devices side by side, at most a fixed number at once. A device that is slow or
// dead keeps only its own callers waiting, and only a few of them: past that they are turned
// away at once instead of tying up the server's threads.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Device.h"
#include "VmlCmd/ICommand.h"

namespace gateway {

using Json = nlohmann::ordered_json;

// How the last call to a device ended, for the fleet view.
struct LastResult {
  std::string operation;  // "config.read", "ptz.move", ...
  bool ok = false;
  std::string stage;           // the outcome's stage name ("success", "connect-refused", ...)
  std::string message;         // in words, never with the password
  int64_t atMilliseconds = 0;  // since the epoch
};

class DeviceEntry {
 public:
  DeviceEntry(std::string id, std::string name, vmlctl::Target target);
  ~DeviceEntry();
  DeviceEntry(const DeviceEntry&) = delete;
  DeviceEntry& operator=(const DeviceEntry&) = delete;

  const std::string& Id() const { return id_; }
  const std::string& Name() const { return name_; }
  const vmlctl::Target& Target() const { return target_; }

  // What GET /devices shows of it: never the password.
  Json Describe() const;
  void Record(LastResult result);

  // What the gateway knows of the head it moves: stopped (or never moved), moving under a lease,
  // or may be moving (a stop was not acknowledged yet).
  enum class Ptz { kStopped, kMoving, kMayBeMoving };
  Ptz PtzState() const { return ptz_.load(); }
  void SetPtzState(Ptz state) { ptz_.store(state); }
  static const char* PtzName(Ptz state);
  // Counts the stops asked for: a move that waited in the queue while a stop went out is not
  // sent after it.
  uint64_t StopEpoch() const { return stopEpoch_.load(); }
  void CountStop() { ++stopEpoch_; }
  // Sends a stop on the device's own stop object, which no other call waits for or holds. True
  // when the device acknowledged it (a device that ignores it acknowledges it the same way).
  bool SendStop(VmlCmdOutcome* outcome);

 private:
  friend class DevicePool;
  const std::string id_;
  const std::string name_;
  const vmlctl::Target target_;
  ICommand* command_ = nullptr;  // used only under callMutex_
  std::mutex callMutex_;
  ICommand* stopCommand_ = nullptr;  // used only under stopMutex_
  std::mutex stopMutex_;
  std::atomic<Ptz> ptz_{Ptz::kStopped};
  std::atomic<uint64_t> stopEpoch_{0};
  int waiting_ = 0;  // callers queued or running, under the pool's mutex
  mutable std::mutex lastMutex_;
  LastResult last_;
};

// What a call ended with when it ran: the outcome of the object's last operation.
struct CallOutcome {
  bool ran = false;  // false: turned away (busy)
  VmlCmdOutcome outcome{};
};

class DevicePool {
 public:
  DevicePool(int concurrentCalls, int queuePerDevice);

  // Runs call on the device's command object, alone on that device and within the bound of
  // calls at once. Turned away (ran false, call not made) when queuePerDevice callers are
  // already waiting for the device; stops never come here (DeviceEntry::SendStop). The
  // object's video port is set back to the device's own afterwards.
  CallOutcome Run(DeviceEntry& device, const std::function<void(ICommand&)>& call);

 private:
  std::mutex mutex_;
  std::condition_variable freed_;
  int free_;
  const int queuePerDevice_;
};

// The device list, in the order devices were added.
class Registry {
 public:
  // False when the id is taken.
  bool Add(std::shared_ptr<DeviceEntry> device);
  bool Remove(const std::string& id);
  // Puts device in the place of the one with its id (a device that moved to a new address).
  void Replace(std::shared_ptr<DeviceEntry> device);
  std::shared_ptr<DeviceEntry> Find(const std::string& id) const;
  std::vector<std::shared_ptr<DeviceEntry>> All() const;
  // An id for a device without a name: "host:port", then "host:port~2" ... when taken.
  std::string FreeId(const std::string& base) const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<DeviceEntry>> devices_;
};

// An id is what a URL path segment can carry without escaping and what a person can type.
bool ValidId(const std::string& id);

int64_t NowMilliseconds();

// Validates a device sent to POST /devices ({id?, name?, host, port, user?, password?,
// videoPort?}). False with a message that never holds the password.
bool ParseDevice(const Json& body, std::string* id, std::string* name, vmlctl::Target* target,
                 std::string* problem);

}  // namespace gateway
