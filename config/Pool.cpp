#include "Pool.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace vmlcmd::config {

std::size_t ForEachDevice(std::size_t count, int jobs, const std::function<void(std::size_t)>& work,
                          const std::atomic<bool>* stop) {
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> started{0};
  auto worker = [&] {
    while (stop == nullptr || !stop->load()) {
      const std::size_t i = next.fetch_add(1);
      if (i >= count) return;
      started.fetch_add(1);
      try {
        work(i);
      } catch (...) {
        // One device's fault is that device's; the caller's work reports it before throwing.
      }
    }
  };
  const std::size_t threads = std::min(count, static_cast<std::size_t>(std::max(1, jobs)));
  std::vector<std::thread> pool;
  pool.reserve(threads);
  for (std::size_t t = 0; t < threads; ++t) pool.emplace_back(worker);
  for (std::thread& thread : pool) thread.join();
  return started.load();
}

}  // namespace vmlcmd::config
