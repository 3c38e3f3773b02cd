#include "Leases.h"

#include <vector>

#include "Reason.h"

namespace gateway {

Leases::Leases(DevicePool& pool) : pool_(pool), keeper_([this] { Keep(); }) {}

Leases::~Leases() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  keeper_.join();
  std::vector<std::pair<std::string, uint64_t>> held;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [id, lease] : leases_) held.emplace_back(id, lease.generation);
  }
  for (const auto& [id, generation] : held) Expire(id, generation, true);
}

void Leases::Hold(const std::shared_ptr<DeviceEntry>& device, std::chrono::milliseconds length) {
  if (length > kMaxLease) length = kMaxLease;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    leases_[device->Id()] = Lease{device, Clock::now() + length, nextGeneration_++};
  }
  changed_.notify_all();
}

void Leases::Release(const std::string& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  leases_.erase(id);
}

void Leases::StopNow(const std::string& id) {
  uint64_t generation = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = leases_.find(id);
    if (it == leases_.end()) return;
    generation = it->second.generation;
  }
  Expire(id, generation, true);
}

std::size_t Leases::Held() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return leases_.size();
}

void Leases::Keep() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    const auto now = Clock::now();
    std::vector<std::pair<std::string, uint64_t>> expired;
    auto next = Clock::time_point::max();
    for (const auto& [id, lease] : leases_) {
      if (lease.end <= now) {
        expired.emplace_back(id, lease.generation);
      } else if (lease.end < next) {
        next = lease.end;
      }
    }
    if (!expired.empty()) {
      lock.unlock();
      for (const auto& [id, generation] : expired) Expire(id, generation, false);
      lock.lock();
      continue;
    }
    if (next == Clock::time_point::max()) {
      changed_.wait(lock);
    } else {
      changed_.wait_until(lock, next);
    }
  }
}

// The check is made again once the device is ours: a move that renewed the lease in between
// keeps its head moving.
void Leases::Expire(const std::string& id, uint64_t generation, bool force) {
  std::shared_ptr<DeviceEntry> device;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = leases_.find(id);
    if (it == leases_.end() || it->second.generation != generation) return;
    device = it->second.device;
  }
  bool stopped = false;
  const CallOutcome call = pool_.Run(
      *device,
      [&](ICommand& command) {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          const auto it = leases_.find(id);
          if (it == leases_.end() || it->second.generation != generation) return;
          if (!force && it->second.end > Clock::now()) return;
          leases_.erase(it);
        }
        stopped = true;
        command.PtzStop();
      },
      true);
  if (!stopped) {
    // A device without a command object never runs the call; its lease must not spin.
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = leases_.find(id);
    if (it != leases_.end() && it->second.generation == generation &&
        (force || it->second.end <= Clock::now()))
      leases_.erase(it);
    return;
  }
  LastResult last;
  last.operation = "ptz.lease-stop";
  last.ok = call.outcome.stage == VmlCmdStageSuccess;
  last.stage = vmlctl::StageName(call.outcome.stage);
  last.message =
      last.ok ? "the lease ran out; the head was stopped" : vmlctl::Describe(call.outcome, device->Target());
  last.atMilliseconds = NowMilliseconds();
  device->Record(std::move(last));
}

}  // namespace gateway
