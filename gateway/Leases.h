// PTZ moves started for remote clients end by themselves: each move holds a lease, a later move
// renews it, and when it runs out the gateway sends the stop. A client that vanishes (a closed
// laptop, a lost Wi-Fi link) therefore leaves no camera turning longer than its lease.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Devices.h"

namespace gateway {

constexpr std::chrono::milliseconds kMaxLease{2000};

class Leases {
 public:
  using Clock = std::chrono::steady_clock;

  explicit Leases(DevicePool& pool);
  ~Leases();  // sends the stop of every lease still held
  Leases(const Leases&) = delete;
  Leases& operator=(const Leases&) = delete;

  // Called while the device's calls are serialised (inside DevicePool::Run), right after a
  // move the device accepted: the head now moves until the lease's end unless renewed.
  void Hold(const std::shared_ptr<DeviceEntry>& device, std::chrono::milliseconds length);
  // Called inside DevicePool::Run before an explicit stop: nothing is left to stop later.
  void Release(const std::string& id);
  // Stops a device's head now if it holds a lease (a device taken off the list).
  void StopNow(const std::string& id);

  std::size_t Held() const;

 private:
  struct Lease {
    std::shared_ptr<DeviceEntry> device;
    Clock::time_point end;
    uint64_t generation = 0;
  };
  void Keep();
  void Expire(const std::string& id, uint64_t generation, bool force);

  DevicePool& pool_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, Lease> leases_;
  uint64_t nextGeneration_ = 1;
  bool stopping_ = false;
  std::thread keeper_;
};

}  // namespace gateway
