// A bounded pool of workers for fleets: each device is one piece of work on its own command
// object, so a slow or dead device holds up only its worker. Results are not kept here: the
// work reports each device as it ends, so memory stays flat in the number of devices.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

namespace vmlcmd::config {

// Calls work(i) once for every i in [0, count) on at most jobs threads, and returns when all
// have ended. A work that throws counts as ended; the exception is dropped, so the others go
// on. When stop becomes true no further work starts. Returns how many were started.
std::size_t ForEachDevice(std::size_t count, int jobs, const std::function<void(std::size_t)>& work,
                          const std::atomic<bool>* stop = nullptr);

}  // namespace vmlcmd::config
