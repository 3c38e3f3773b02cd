// vmlctl discover over 4,096 endpoints (127.1.0.0/20 on one port) against the bound of the
// scan: endpoints x 100 ms connect time / jobs. Two kinds of silence, one run each:
//   dropped  every address has a listener whose accept queue is full, so the connection
//            attempt is dropped and the library waits its whole 100 ms: the wall time measures
//            how closely the workers follow the bound;
//   closed   the same endpoints with nothing listening: loopback refuses at once, so the wall
//            time is the tool's own cost per endpoint, far below the bound.
//
// discover_bench [VMLCTL] [JOBS]   (default: the vmlctl of this build, 64 jobs)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ToolProcess.h"

namespace {

constexpr uint32_t kFirstAddress = 0x7F010000;  // 127.1.0.0
constexpr std::size_t kEndpoints = 4096;        // a /20
constexpr double kConnectBoundSeconds = 0.1;

sockaddr_in At(uint32_t address, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(address);
  a.sin_port = htons(port);
  return a;
}

// A listener at address:port that never accepts, its queue filled by connections of its own,
// so that further attempts are dropped; -1 when the port is taken there.
int Blackhole(uint32_t address, uint16_t port, std::vector<int>& fillers) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = At(address, port);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 0) != 0) {
    ::close(fd);
    return -1;
  }
  for (int i = 0; i < 2; ++i) {
    const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ::connect(filler, reinterpret_cast<sockaddr*>(&a), sizeof a);
    fillers.push_back(filler);
  }
  return fd;
}

// A port free on every address of the block: the one the system gives the first, if the rest
// take it too.
bool Listen(std::vector<int>& listeners, std::vector<int>& fillers, uint16_t* port) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = At(kFirstAddress, 0);
    socklen_t length = sizeof a;
    ::bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(probe);
    *port = ntohs(a.sin_port);
    bool all = true;
    for (std::size_t i = 0; i < kEndpoints && all; ++i) {
      const int fd = Blackhole(kFirstAddress + static_cast<uint32_t>(i), *port, fillers);
      all = fd >= 0;
      if (all) listeners.push_back(fd);
    }
    if (all) return true;
    for (int fd : listeners) ::close(fd);
    for (int fd : fillers) ::close(fd);
    listeners.clear();
    fillers.clear();
  }
  return false;
}

struct Scan {
  bool ok = false;
  double wallSeconds = 0;
  double cpuSeconds = 0;
  std::size_t silent = 0;
  std::size_t scanned = 0;
};

Scan RunScan(const std::string& vmlctl, uint16_t port, int jobs) {
  const vmlbench::ToolProcess process =
      vmlbench::RunTool({vmlctl, "--json", "discover", "127.1.0.0/20", "--ports", std::to_string(port),
                         "--jobs", std::to_string(jobs)});
  Scan scan;
  vmlbench::ForEachLine(process.output, [&](const std::string& line) {
    const auto json = nlohmann::json::parse(line, nullptr, false);
    if (!json.is_object() || !json.contains("summary")) return;
    scan.ok = true;
    scan.wallSeconds = json["summary"]["wall_us"].get<double>() / 1e6;
    scan.silent = json["summary"]["silent"].get<std::size_t>();
    scan.scanned = json["summary"]["scanned"].get<std::size_t>();
  });
  const rusage& u = process.usage;
  scan.cpuSeconds = static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                    static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  return scan;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string vmlctl = argc > 1 ? argv[1] : VMLCTL_PATH;
  const int jobs = argc > 2 ? std::atoi(argv[2]) : 64;
  vmlbench::RaiseOpenFileLimit();
  std::vector<int> listeners;
  std::vector<int> fillers;
  uint16_t port = 0;
  if (!Listen(listeners, fillers, &port)) {
    std::fprintf(stderr, "discover_bench: no port free on all of 127.1.0.0/20 (or too few open files)\n");
    return 1;
  }
  const double bound = static_cast<double>(kEndpoints) * kConnectBoundSeconds / jobs;
  std::printf("vmlctl discover 127.1.0.0/20 --ports %u --jobs %d: %zu endpoints, none a device\n", port, jobs,
              kEndpoints);
  std::printf("bound = endpoints x 100 ms / jobs = %.3f s\n\n", bound);
  std::printf("%-44s %10s %7s %12s %10s %8s\n", "endpoints", "wall", "ratio", "per endpoint", "tool cpu",
              "wrong");
  int failures = 0;
  const struct {
    const char* name;
    bool dropped;
  } scenarios[] = {{"dropped connects (each waits its 100 ms)", true},
                   {"closed ports (refused at once)", false}};
  for (const auto& scenario : scenarios) {
    if (!scenario.dropped) {
      for (int fd : fillers) ::close(fd);
      for (int fd : listeners) ::close(fd);
    }
    std::fflush(stdout);  // the tool's summary on stderr comes after this table's lines so far
    const Scan scan = RunScan(vmlctl, port, jobs);
    const std::size_t wrong = scan.ok ? kEndpoints - scan.silent : kEndpoints;
    if (wrong != 0 || scan.scanned != kEndpoints) ++failures;
    std::printf("%-44s %8.3f s %7.3f %9.1f us %8.3f s %8zu\n", scenario.name, scan.wallSeconds,
                scan.wallSeconds / bound, scan.wallSeconds * 1e6 / static_cast<double>(kEndpoints) * jobs,
                scan.cpuSeconds, wrong);
  }
  std::printf(
      "\nratio = wall / bound. Dropped: how close %d workers keep to the connect bound (1.00 is the bound\n"
      "itself). Closed: the tool's own cost against the same bound; per endpoint is wall x jobs / "
      "endpoints,\n"
      "the time one worker spends on one endpoint.\n",
      jobs);
  return failures == 0 ? 0 : 1;
}
