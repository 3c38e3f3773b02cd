#include "Leases.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Reason.h"

namespace gateway {

namespace {

void RecordStop(DeviceEntry& device, const char* operation, bool acknowledged, const VmlCmdOutcome& outcome,
                int attempts) {
  LastResult last;
  last.operation = operation;
  last.ok = acknowledged;
  last.stage = vmlctl::StageName(outcome.stage);
  last.stageCode = outcome.stage;
  // The device's answer is all there is to know: one that ignores a stop acknowledges it the
  // same way, so the gateway never claims more than an acknowledgement.
  last.message = acknowledged ? "the stop was acknowledged"
                              : vmlctl::Describe(outcome, device.Target()) + "; the head may be moving (" +
                                    std::to_string(attempts) + " stops sent)";
  last.atMilliseconds = NowMilliseconds();
  device.Record(std::move(last));
}

}  // namespace

std::vector<std::string> ReadMovingState(const std::string& path) {
  std::vector<std::string> ids;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const std::string id = line.substr(0, line.find('\t'));
    if (!id.empty() && ValidId(id)) ids.push_back(id);
  }
  return ids;
}

Leases::Leases(std::string statePath) : statePath_(std::move(statePath)), keeper_([this] { Keep(); }) {}

Leases::~Leases() {
  std::vector<std::shared_ptr<DeviceEntry>> moving;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    exitBound_ = Clock::now() + kExitBound;
    for (const auto& [id, lease] : leases_) {
      if (!lease.stopping) moving.push_back(lease.device);
    }
    leases_.clear();
  }
  changed_.notify_all();
  keeper_.join();
  // Every head still moving gets its stop, side by side, each within the exit's bound; the
  // stoppers already at work end by it too.
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& device : moving) StartStopper(device, exitBound_, "the gateway is stopping");
  }
  std::map<std::string, std::thread> stoppers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stoppers.swap(stoppers_);
  }
  for (auto& [id, thread] : stoppers) thread.join();
}

bool Leases::BeforeMove(const std::shared_ptr<DeviceEntry>& device) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_ || unconfirmed_.count(device->Id()) != 0) return false;
  if (leases_.count(device->Id()) == 0) {
    // Written before the move goes out: a crash between the two leaves the device listed.
    leases_[device->Id()] = Lease{device, Clock::now() + kMaxLease, false};
    WriteState();
  }
  return true;
}

void Leases::Hold(const std::shared_ptr<DeviceEntry>& device, std::chrono::milliseconds length) {
  if (length > kMaxLease) length = kMaxLease;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Lease& lease = leases_[device->Id()];
    lease.device = device;
    lease.end = Clock::now() + length;
    lease.stopping = false;
    device->SetPtzState(DeviceEntry::Ptz::kMoving);
    WriteState();
  }
  changed_.notify_all();
}

bool Leases::StopNow(const std::shared_ptr<DeviceEntry>& device, VmlCmdOutcome* outcome) {
  device->CountStop();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = leases_.find(device->Id());
    if (it != leases_.end() && !it->second.stopping) leases_.erase(it);
  }
  const bool acknowledged = device->SendStop(outcome);
  std::lock_guard<std::mutex> lock(mutex_);
  if (acknowledged) {
    if (unconfirmed_.count(device->Id()) == 0) device->SetPtzState(DeviceEntry::Ptz::kStopped);
    WriteState();
  } else {
    StartStopper(device, Clock::now() + kStopBound, "the stop was not acknowledged");
  }
  return acknowledged;
}

std::vector<std::string> Leases::Recover(const std::vector<std::shared_ptr<DeviceEntry>>& devices) {
  std::vector<std::string> missing;
  if (statePath_.empty()) return missing;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const std::string& id : ReadMovingState(statePath_)) {
    const auto found =
        std::find_if(devices.begin(), devices.end(), [&](const auto& d) { return d->Id() == id; });
    if (found == devices.end()) {
      missing.push_back(id);
      continue;
    }
    StartStopper(*found, Clock::now() + kStopBound, "an earlier run left it moving");
  }
  WriteState();
  return missing;
}

std::size_t Leases::Held() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return leases_.size();
}

void Leases::StartStopper(const std::shared_ptr<DeviceEntry>& device, Clock::time_point bound,
                          const char* why) {
  device->SetPtzState(DeviceEntry::Ptz::kMayBeMoving);
  unconfirmed_[device->Id()] = device;
  WriteState();
  if (stoppers_.count(device->Id()) != 0) return;  // one is at work on it already
  stoppers_[device->Id()] = std::thread([this, device, bound, why] { Stopper(device, bound, why); });
}

void Leases::Stopper(std::shared_ptr<DeviceEntry> device, Clock::time_point bound, const char* why) {
  auto wait = kFirstRetry;
  int attempts = 0;
  VmlCmdOutcome outcome{};
  bool acknowledged = false;
  while (true) {
    ++attempts;
    device->CountStop();
    acknowledged = device->SendStop(&outcome, attempts > 1);
    if (acknowledged) break;
    std::unique_lock<std::mutex> lock(mutex_);
    const auto next = Clock::now() + wait;
    changed_.wait_until(lock, std::min(next, exitBound_),
                        [&] { return Clock::now() >= std::min(next, exitBound_); });
    if (Clock::now() >= std::min(bound, exitBound_)) break;
    wait = std::min(wait * 2, kLastRetry);
  }
  RecordStop(*device, "ptz.stop", acknowledged, outcome, attempts);
  if (observer_) observer_(*device, why, acknowledged, outcome, attempts);
  std::lock_guard<std::mutex> lock(mutex_);
  if (acknowledged) {
    unconfirmed_.erase(device->Id());
    const auto lease = leases_.find(device->Id());
    if (lease == leases_.end() || lease->second.stopping) {
      leases_.erase(device->Id());
      device->SetPtzState(DeviceEntry::Ptz::kStopped);
    }
  }
  // Past the bound the device stays "may be moving", listed in the state file for the next
  // start, and a new move is still refused; an explicit stop that is acknowledged clears it.
  WriteState();
  finished_.push_back(device->Id());
  changed_.notify_all();
}

void Leases::Reap() {
  for (const std::string& id : finished_) {
    const auto it = stoppers_.find(id);
    if (it == stoppers_.end()) continue;
    it->second.join();
    stoppers_.erase(it);
  }
  finished_.clear();
}

void Leases::Keep() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    Reap();
    const auto now = Clock::now();
    auto next = Clock::time_point::max();
    for (auto& [id, lease] : leases_) {
      if (lease.stopping) continue;
      if (lease.end <= now) {
        // Each device's stop on its own thread: a slow or dead device delays nobody else's.
        lease.stopping = true;
        StartStopper(lease.device, now + kStopBound, "the lease ended");
      } else if (lease.end < next) {
        next = lease.end;
      }
    }
    if (next == Clock::time_point::max()) {
      changed_.wait(lock);
    } else {
      changed_.wait_until(lock, next);
    }
  }
  Reap();
}

void Leases::WriteState() {
  if (statePath_.empty()) return;
  std::ostringstream text;
  std::map<std::string, const DeviceEntry*> listed;
  for (const auto& [id, lease] : leases_) listed[id] = lease.device.get();
  for (const auto& [id, device] : unconfirmed_) listed[id] = device.get();
  for (const auto& [id, device] : listed) {
    text << id << '\t' << device->Target().host << ':' << device->Target().port << '\n';
  }
  // A new file renamed over the old one: a crash half-way leaves the old list, never half of one.
  const std::string temporary = statePath_ + ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << text.str();
    if (!out.flush()) return;
  }
  if (listed.empty()) {
    std::remove(temporary.c_str());
    std::remove(statePath_.c_str());
    return;
  }
  // Over the old file: on Windows the C library's rename refuses a target that exists, and the
  // list would keep its first devices only.
  std::error_code error;
  std::filesystem::rename(temporary, statePath_, error);
}

}  // namespace gateway
