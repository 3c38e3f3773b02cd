// Health probes: every device is asked for its version numbers at an interval, in the
// background, so the device list says which devices are up before anybody touches one. The
// query is one short transaction that also yields the versions. Probes go through the same
// device pool as API calls but never make a caller wait: a device that has callers is not
// probed (their calls are evidence enough), and probes use at most a quarter of the pool's
// calls at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <queue>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Devices.h"

namespace gateway {

class Prober {
 public:
  using Clock = std::chrono::steady_clock;

  // interval 0: no background probes (ProbeNow still works).
  Prober(Registry& registry, DevicePool& pool, std::chrono::milliseconds interval);
  ~Prober();
  Prober(const Prober&) = delete;
  Prober& operator=(const Prober&) = delete;

  // Starts the background probes of the devices listed now and of those Watch() adds.
  void Start();
  // A device added: probed soon.
  void Watch(const std::string& id);
  // Probes the device now, waiting its turn like an API call; false when it was turned away
  // busy.
  bool ProbeNow(DeviceEntry& device);

 private:
  using Due = std::pair<Clock::time_point, std::string>;
  void Work();
  void Probe(DeviceEntry& device, const CallOutcome& call, int32_t version);
  Clock::duration Jittered();

  Registry& registry_;
  DevicePool& pool_;
  const std::chrono::milliseconds interval_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::priority_queue<Due, std::vector<Due>, std::greater<Due>> due_;
  std::set<std::string> scheduled_;  // the ids in due_, each once
  std::mt19937 random_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

// Runs work on a thread of its own at start and then every interval, until it is destroyed,
// which waits for the round in progress.
class Periodic {
 public:
  Periodic() = default;
  ~Periodic();
  Periodic(const Periodic&) = delete;
  Periodic& operator=(const Periodic&) = delete;

  void Start(std::chrono::milliseconds interval, std::function<void()> work);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace gateway
