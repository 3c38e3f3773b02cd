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
  int32_t stageCode = 0;       // the same, as a VmlCmdStage
  std::string message;         // in words, never with the password
  int64_t atMilliseconds = 0;  // since the epoch
};

// What the gateway knows of a device's health, from its probes and from every call made to it.
struct Health {
  enum class State { kUnknown, kUp, kDown };
  State state = State::kUnknown;
  int64_t sinceMilliseconds = 0;  // when the state last changed; 0 while unknown
  // The last failure, of a probe or a call.
  std::string failureStage;
  std::string failureMessage;
  int64_t failureAtMilliseconds = 0;
  bool versionsKnown = false;
  int32_t bspVersion = 0;
  int32_t napiVersion = 0;
  double probeSeconds = 0;                        // the last probe's duration
  int64_t probedAtMilliseconds = 0;               // 0: never probed
  std::map<std::string, uint64_t> probeFailures;  // by stage name
  // Drift from the desired configuration, where one is registered.
  bool hasDesired = false;
  int driftFields = 0;
  int64_t driftCheckedAtMilliseconds = 0;  // 0: not planned yet
  std::string driftError;                  // the plan failed: why
};

const char* StateName(Health::State state);

// What an ended operation says of the device: up when it answered as a device does, down when
// it did not answer or not usably (a refused login included: nothing can be done with it),
// nothing when the operation never reached it.
enum class Evidence { kNone, kUp, kDown };
Evidence EvidenceOf(int32_t stage);

class DeviceEntry {
 public:
  DeviceEntry(std::string id, std::string name, vmlctl::Target target, std::string group = {});
  ~DeviceEntry();
  DeviceEntry(const DeviceEntry&) = delete;
  DeviceEntry& operator=(const DeviceEntry&) = delete;

  const std::string& Id() const { return id_; }
  const std::string& Name() const { return name_; }
  const vmlctl::Target& Target() const { return target_; }
  const std::string& Group() const { return group_; }

  // What GET /devices shows of it: never the password.
  Json Describe() const;
  // A call's result, which is also evidence of the device's health.
  void Record(LastResult result);
  // A probe's result: version holds the number read when the outcome is a success.
  void RecordProbe(const VmlCmdOutcome& outcome, const std::string& message, int32_t version, double seconds);
  Health HealthNow() const;

  // The configuration the device should have, if one is registered (null: none), and where
  // it came from: the file its inventory row names, or empty for one registered through the
  // API. Drift is what a plan of it against the device found: the paths that differ, or why it
  // failed.
  void SetDesired(Json document, std::string source = {});
  Json Desired() const;
  std::string DesiredSource() const;
  void RecordDrift(const std::vector<std::string>& paths, const std::string& error);
  std::vector<std::string> DriftPaths() const;

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
  // A retry of a stop not acknowledged before counts as one.
  bool SendStop(VmlCmdOutcome* outcome, bool retry = false);
  struct StopCounts {
    uint64_t sent = 0;
    uint64_t failed = 0;
    uint64_t retried = 0;
  };
  StopCounts Stops() const { return {stopsSent_.load(), stopsFailed_.load(), stopsRetried_.load()}; }

 private:
  friend class DevicePool;
  const std::string id_;
  const std::string name_;
  const vmlctl::Target target_;
  const std::string group_;
  ICommand* command_ = nullptr;  // used only under callMutex_
  std::mutex callMutex_;
  ICommand* stopCommand_ = nullptr;  // used only under stopMutex_
  std::mutex stopMutex_;
  std::atomic<Ptz> ptz_{Ptz::kStopped};
  std::atomic<uint64_t> stopEpoch_{0};
  int waiting_ = 0;  // callers queued or running, under the pool's mutex
  std::atomic<uint64_t> stopsSent_{0};
  std::atomic<uint64_t> stopsFailed_{0};
  std::atomic<uint64_t> stopsRetried_{0};
  mutable std::mutex lastMutex_;
  LastResult last_;
  Health health_;                        // under lastMutex_
  Json desired_;                         // under lastMutex_
  std::string desiredSource_;            // under lastMutex_
  std::vector<std::string> driftPaths_;  // under lastMutex_

  void Witness(int32_t stage, const std::string& message, int64_t at);  // caller holds lastMutex_
};

// What a call ended with when it ran: the outcome of the object's last operation.
struct CallOutcome {
  bool ran = false;  // false: turned away (busy)
  VmlCmdOutcome outcome{};
  double seconds = 0;  // the call's own time, without its wait
};

class DevicePool {
 public:
  DevicePool(int concurrentCalls, int queuePerDevice);

  // Runs call on the device's command object, alone on that device and within the bound of
  // calls at once. Turned away (ran false, call not made) when queuePerDevice callers are
  // already waiting for the device; stops never come here (DeviceEntry::SendStop). The
  // object's video port is set back to the device's own afterwards. kind names the call for
  // the observer ("config.read", "ptz.move", ...).
  CallOutcome Run(DeviceEntry& device, const char* kind, const std::function<void(ICommand&)>& call);
  // A background call (a health probe): made only when nobody waits for the device, so that it
  // never delays a caller; ran false otherwise.
  CallOutcome RunIdle(DeviceEntry& device, const char* kind, const std::function<void(ICommand&)>& call);

  // Callers running or waiting, all devices together.
  int Waiting() const { return waitingAll_.load(); }
  int Concurrency() const { return concurrency_; }
  // Told the duration of every call the pool made (not its wait), from the caller's thread.
  void Observe(std::function<void(const char* kind, double seconds)> observer) {
    observer_ = std::move(observer);
  }

 private:
  CallOutcome Enter(DeviceEntry& device, const char* kind, const std::function<void(ICommand&)>& call,
                    bool idleOnly);

  std::mutex mutex_;
  std::condition_variable freed_;
  int free_;
  const int concurrency_;
  const int queuePerDevice_;
  std::atomic<int> waitingAll_{0};
  std::function<void(const char*, double)> observer_;
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
// videoPort?, textEncoding?, group?}). False with a message that never holds the password.
bool ParseDevice(const Json& body, std::string* id, std::string* name, vmlctl::Target* target,
                 std::string* group, std::string* problem);

}  // namespace gateway
