#include "Health.h"

#include <algorithm>

#include "Reason.h"

namespace gateway {

namespace {

// Devices listed at start are probed over at least this time, and a large fleet over this much
// a device, within the interval: their state is known in seconds, and a thousand devices are not
// asked all at once.
constexpr std::chrono::milliseconds kFirstSpread{3000};
constexpr std::chrono::milliseconds kFirstSpreadPerDevice{20};

}  // namespace

Prober::Prober(Registry& registry, DevicePool& pool, std::chrono::milliseconds interval)
    : registry_(registry), pool_(pool), interval_(interval), random_(std::random_device{}()) {}

Prober::~Prober() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (auto& worker : workers_) worker.join();
}

Prober::Clock::duration Prober::Jittered() {
  // Ten per cent either way, so that devices added together drift apart and no second of the
  // interval carries all the probes.
  std::uniform_real_distribution<double> factor(0.9, 1.1);
  return std::chrono::duration_cast<Clock::duration>(interval_ * factor(random_));
}

void Prober::Start() {
  if (interval_.count() <= 0) return;
  const auto now = Clock::now();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto devices = registry_.All();
    const auto spread = std::min<std::chrono::milliseconds>(
        std::max<std::chrono::milliseconds>(kFirstSpread,
                                            kFirstSpreadPerDevice * static_cast<long long>(devices.size())),
        interval_);
    std::uniform_int_distribution<long long> offset(0, spread.count());
    for (const auto& device : devices) {
      if (scheduled_.insert(device->Id()).second)
        due_.push({now + std::chrono::milliseconds(offset(random_)), device->Id()});
    }
  }
  const int workers = std::max(1, pool_.Concurrency() / 4);
  for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
}

void Prober::Watch(const std::string& id) {
  if (interval_.count() <= 0) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // A device removed and added again under its id keeps its one place in the schedule.
    if (!scheduled_.insert(id).second) return;
    due_.push({Clock::now(), id});
  }
  changed_.notify_one();
}

void Prober::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    if (due_.empty()) {
      changed_.wait(lock);
      continue;
    }
    const Due next = due_.top();
    if (next.first > Clock::now()) {
      changed_.wait_until(lock, next.first);
      continue;
    }
    due_.pop();
    lock.unlock();
    // A device removed since it was scheduled is dropped here.
    if (auto device = registry_.Find(next.second)) {
      int32_t version = 0;
      const CallOutcome call = pool_.RunIdle(
          *device, "probe", [&](ICommand& command) { version = VmlCmdQueryBspVersion(&command); });
      if (call.ran) Probe(*device, call, version);
      lock.lock();
      due_.push({Clock::now() + Jittered(), next.second});
    } else {
      lock.lock();
      scheduled_.erase(next.second);
    }
  }
}

bool Prober::ProbeNow(DeviceEntry& device) {
  int32_t version = 0;
  const CallOutcome call =
      pool_.Run(device, "probe", [&](ICommand& command) { version = VmlCmdQueryBspVersion(&command); });
  if (!call.ran) return false;
  Probe(device, call, version);
  return true;
}

void Prober::Probe(DeviceEntry& device, const CallOutcome& call, int32_t version) {
  const std::string message = call.outcome.stage == VmlCmdStageSuccess
                                  ? std::string()
                                  : vmlctl::Describe(call.outcome, device.Target());
  device.RecordProbe(call.outcome, message, version, call.seconds);
}

Periodic::~Periodic() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void Periodic::Start(std::chrono::milliseconds interval, std::function<void()> work) {
  thread_ = std::thread([this, interval, work = std::move(work)] {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
      lock.unlock();
      work();
      lock.lock();
      if (changed_.wait_for(lock, interval, [this] { return stopping_; })) break;
    }
  });
}

}  // namespace gateway
