// PTZ moves started for remote clients end by themselves: each move holds a lease, a later move
// renews it, and when it runs out the gateway sends the stop. A client that vanishes (a closed
// laptop, a lost Wi-Fi link) therefore leaves no camera turning longer than its lease.
//
// Whatever starts a movement must end it, so a stop never waits for anything else: it goes out
// on each device's own stop object (its own connection, beside the device's queue of calls), on
// its own thread for each device, and one the device does not acknowledge (refused, reset,
// silent) is sent again with back-off until it is acknowledged or kStopBound has passed. Until
// then the device "may be moving", and no new move is sent to it. The devices with a move in
// flight are kept in a small state file, written before a move is sent and cleared once its stop
// is acknowledged, so that a gateway started again after a crash stops them first.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Devices.h"

namespace gateway {

constexpr std::chrono::milliseconds kMaxLease{2000};
// How long an unacknowledged stop is sent again, with back-off from kFirstRetry up to kLastRetry.
constexpr std::chrono::milliseconds kStopBound{30000};
constexpr std::chrono::milliseconds kFirstRetry{100};
constexpr std::chrono::milliseconds kLastRetry{2000};
// At exit every moving head gets its stop, each on its own thread, within this time in all.
constexpr std::chrono::milliseconds kExitBound{3000};

class Leases {
 public:
  using Clock = std::chrono::steady_clock;

  // statePath: the file of moves in flight; empty keeps none.
  explicit Leases(std::string statePath = {});
  ~Leases();  // sends the stop of every head that may be moving, within kExitBound
  Leases(const Leases&) = delete;
  Leases& operator=(const Leases&) = delete;

  // Before a move is sent: the device is recorded as moving in the state file. False, sending
  // nothing, while an earlier stop of the device is still unacknowledged.
  bool BeforeMove(const std::shared_ptr<DeviceEntry>& device);
  // After a move the device accepted: the head moves until the lease's end unless renewed.
  void Hold(const std::shared_ptr<DeviceEntry>& device, std::chrono::milliseconds length);
  // An explicit stop, sent now and once; when it is not acknowledged it is sent again in the
  // background as for an expired lease. True when the device acknowledged it.
  bool StopNow(const std::shared_ptr<DeviceEntry>& device, VmlCmdOutcome* outcome);
  // The devices a state file left behind by an earlier run (crashed or killed), found among
  // these: each is stopped, in the background, as for an expired lease. The ids of the listed
  // devices not found are returned, for the start to report.
  std::vector<std::string> Recover(const std::vector<std::shared_ptr<DeviceEntry>>& devices);

  std::size_t Held() const;

  // Told how each stop sent in the background ended (a lease's end, the re-sends of a stop not
  // acknowledged, a head left moving by an earlier run, the gateway's exit), on the stopper's
  // thread. Set before the first move.
  using StopObserver = std::function<void(const DeviceEntry& device, const char* why, bool acknowledged,
                                          const VmlCmdOutcome& outcome, int attempts)>;
  void ObserveStops(StopObserver observer) { observer_ = std::move(observer); }

 private:
  struct Lease {
    std::shared_ptr<DeviceEntry> device;
    Clock::time_point end;
    bool stopping = false;  // its end passed: a stopper thread owns it
  };
  void Keep();
  // Sends the stop until acknowledged or the bound passes; on its own thread.
  void Stopper(std::shared_ptr<DeviceEntry> device, Clock::time_point bound, const char* why);
  void StartStopper(const std::shared_ptr<DeviceEntry>& device, Clock::time_point bound, const char* why);
  // Rewrites the state file with the devices that may be moving. Caller holds mutex_.
  void WriteState();
  void Reap();

  const std::string statePath_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, Lease> leases_;
  std::map<std::string, std::shared_ptr<DeviceEntry>> unconfirmed_;  // stops not yet acknowledged
  std::map<std::string, std::thread> stoppers_;
  std::vector<std::string> finished_;  // stoppers that ended, to be joined
  bool stopping_ = false;
  // At exit no stopper sends later than this, whatever its own bound.
  Clock::time_point exitBound_ = Clock::time_point::max();
  StopObserver observer_;
  std::thread keeper_;
};

// The ids a state file lists, one a line ("ID<TAB>HOST:PORT"); empty when there is none.
std::vector<std::string> ReadMovingState(const std::string& path);

}  // namespace gateway
