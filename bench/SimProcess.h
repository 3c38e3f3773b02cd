// napi-sim as a child process of a benchmark, and what /proc says about a process: its resident
// memory, its processor time and its open descriptors.
#ifndef VMLCMD_BENCH_SIMPROCESS_H
#define VMLCMD_BENCH_SIMPROCESS_H

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

class SimProcess {
 public:
  // Starts napi-sim with these arguments (besides --port 0) and waits until it listens.
  explicit SimProcess(const std::vector<std::string>& arguments);
  ~SimProcess();  // SIGTERM, then waits for it
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  pid_t Pid() const { return pid_; }
  // One port per device, device 0 first.
  const std::vector<uint16_t>& Ports() const { return ports_; }

 private:
  pid_t pid_ = -1;
  std::vector<uint16_t> ports_;
};

double ResidentMegabytes(pid_t pid);  // 0 for this process
double CpuSeconds(pid_t pid);         // user and system; 0 for this process
std::size_t OpenDescriptors();        // of this process

}  // namespace bench

#endif
