// The fleet mode against its ideal: vmlctl --inventory over 1,000 devices, 900 simulated and
// 100 dead, with 1, 16 and 64 workers. The ideal for N workers is the sum of the single-operation
// times of the one-worker run divided by N; the figure is wall time / ideal. Dead devices come in
// two kinds: closed ports (refused at once) and a loopback listener whose accept queue is full,
// which drops the connection attempt so that the library waits its whole 100 ms connect time.
//
// fleet_bench [VMLCTL]   (default: the vmlctl of this build)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "ToolProcess.h"
#include "napisim/Simulator.h"

namespace {

constexpr std::size_t kDevices = 1000;
constexpr std::size_t kDeadEvery = 10;  // every tenth row is dead
constexpr int kJobs[] = {1, 16, 64};
constexpr double kConnectTimeoutSeconds = 0.1;

struct Row {
  uint16_t port = 0;
  bool dead = false;
};

struct Run {
  double wallSeconds = 0;       // the tool's own figure, from its summary
  double operationSeconds = 0;  // the sum of every device's operation time
  std::size_t wrong = 0;        // devices reported other than they are
  std::size_t lines = 0;
  double toolCpuSeconds = 0;  // the tool's user and system time, all its threads
  double simCpuSeconds = 0;   // this process's meanwhile: the simulators' threads, mostly
};

double CpuSeconds(const rusage& usage) {
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int Listener(int backlog) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, backlog) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

uint16_t PortOf(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

// A listener that never accepts, its queue filled: further connection attempts go unanswered.
int Blackhole(std::vector<int>& fillers) {
  const int fd = Listener(0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(PortOf(fd));
  for (int i = 0; i < 3; ++i) {
    const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
    fillers.push_back(filler);
  }
  return fd;
}

void WriteInventory(const std::string& path, const std::vector<Row>& rows) {
  std::ofstream out(path);
  out << "host,port,user,password,video-port\n";
  for (const Row& row : rows) out << "127.0.0.1," << row.port << ",admin,admin,0\n";
}

Run RunTool(const std::string& vmlctl, const std::string& inventory, const std::vector<Row>& rows, int jobs,
            const char* deadStage) {
  const std::string jobText = std::to_string(jobs);
  std::vector<std::string> args = {vmlctl,   "--inventory", inventory,    "--json",
                                   "--jobs", jobText,       "get-bitrate"};
  rusage selfBefore{};
  ::getrusage(RUSAGE_SELF, &selfBefore);
  const vmlbench::ToolProcess process = vmlbench::RunTool(std::move(args));
  if (!process.started) return {};

  Run run;
  rusage selfAfter{};
  ::getrusage(RUSAGE_SELF, &selfAfter);
  run.toolCpuSeconds = CpuSeconds(process.usage);
  run.simCpuSeconds = CpuSeconds(selfAfter) - CpuSeconds(selfBefore);
  std::size_t device = 0;
  vmlbench::ForEachLine(process.output, [&](const std::string& line) {
    const auto json = nlohmann::json::parse(line);
    if (json.contains("summary")) {
      run.wallSeconds = json["summary"]["wall_us"].get<double>() / 1e6;
      return;
    }
    ++run.lines;
    run.operationSeconds += json["elapsed_us"].get<double>() / 1e6;
    const bool dead = device < rows.size() && rows[device].dead;
    const std::string stage = json.contains("outcome") ? json["outcome"]["stage"].get<std::string>() : "";
    if (json["port"] != rows[device].port || (dead ? stage != deadStage : json["ok"] != true)) ++run.wrong;
    ++device;
  });
  if (run.lines != rows.size()) run.wrong += rows.size() - run.lines;
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string vmlctl = argc > 1 ? argv[1] : VMLCTL_PATH;
  vmlbench::RaiseOpenFileLimit();

  // One simulator per core, the devices dealt out among them in turn: a simulator serves its
  // devices from one thread, one request after another, while real devices answer side by side.
  // With one simulator for the whole fleet, 16 workers measured its thread (1.33 times the ideal
  // against 1.04 with two), not the tool.
  const unsigned simulators = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::unique_ptr<napisim::Simulator>> fleets;
  for (unsigned i = 0; i < simulators; ++i) {
    napisim::Options options;
    options.devices = static_cast<int>((kDevices - kDevices / kDeadEvery + simulators - 1 - i) / simulators);
    fleets.push_back(std::make_unique<napisim::Simulator>(options));
    fleets.back()->Start();
  }
  auto port = [&](std::size_t live) { return fleets[live % simulators]->Port(live / simulators); };

  // Closed ports: given out by the system and taken back.
  std::vector<uint16_t> closed;
  {
    std::vector<int> taken;
    for (std::size_t i = 0; i < kDevices / kDeadEvery; ++i) {
      taken.push_back(Listener(1));
      closed.push_back(PortOf(taken.back()));
    }
    for (int fd : taken) ::close(fd);
  }
  std::vector<int> fillers;
  const int blackhole = Blackhole(fillers);

  std::vector<Row> refused, silent;
  for (std::size_t i = 0, live = 0, dead = 0; i < kDevices; ++i) {
    Row row;
    row.dead = i % kDeadEvery == kDeadEvery - 1;
    row.port = row.dead ? closed[dead++] : port(live++);
    refused.push_back(row);
    if (row.dead) row.port = PortOf(blackhole);
    silent.push_back(row);
  }
  const std::string inventory = "/tmp/fleet-bench-" + std::to_string(::getpid()) + ".csv";

  std::printf(
      "vmlctl --inventory: %zu devices (%zu simulated by %u simulators, %zu dead), get-bitrate, one command "
      "object each\n",
      kDevices, kDevices - kDevices / kDeadEvery, simulators, kDevices / kDeadEvery);
  std::printf("ideal = (sum of single-operation times with --jobs 1) / jobs; %u cores\n\n",
              std::thread::hardware_concurrency());
  std::printf(
      "(cpu: user and system time of the tool's process and of the simulators'; on %u cores the\n"
      " wall cannot be shorter than their sum / cores, and cpu floor is that sum / cores / ideal)\n\n",
      std::thread::hardware_concurrency());
  std::printf("%-34s %5s %10s %10s %7s %12s %6s %9s %9s %9s %9s\n", "devices", "jobs", "wall", "ideal",
              "ratio", "sum of ops", "wrong", "speed-up", "tool cpu", "sim cpu", "cpu floor");
  struct Scenario {
    const char* name;
    const std::vector<Row>* rows;
    const char* deadStage;
    std::chrono::milliseconds replyDelay;
  };
  const Scenario scenarios[] = {
      {"instant replies, closed ports", &refused, "connect-refused", std::chrono::milliseconds(0)},
      {"instant replies, connect time-outs", &silent, "connect-timed-out", std::chrono::milliseconds(0)},
      {"replies after 5 ms, closed ports", &refused, "connect-refused", std::chrono::milliseconds(5)},
  };
  double refusedWall[3] = {};
  int failures = 0;
  for (const Scenario& scenario : scenarios) {
    for (auto& fleet : fleets) {
      for (std::size_t i = 0; i < fleet->DeviceCount(); ++i) {
        if (scenario.replyDelay.count() == 0) {
          fleet->ClearFaults(i);
        } else {
          fleet->SetFault(i, 32, napisim::Fault::Delay(scenario.replyDelay));
        }
      }
    }
    WriteInventory(inventory, *scenario.rows);
    double single = 0, singleWall = 0;
    for (std::size_t j = 0; j < 3; ++j) {
      const Run run = RunTool(vmlctl, inventory, *scenario.rows, kJobs[j], scenario.deadStage);
      if (j == 0) {
        single = run.operationSeconds;
        singleWall = run.wallSeconds;
      }
      const double ideal = single / kJobs[j];
      const double cores = std::max(1u, std::thread::hardware_concurrency());
      const double cpuFloor = (run.toolCpuSeconds + run.simCpuSeconds) / cores / ideal;
      std::printf("%-34s %5d %8.3f s %8.3f s %7.2f %10.3f s %6zu %8.2fx %7.3f s %7.3f s %9.2f\n",
                  scenario.name, kJobs[j], run.wallSeconds, ideal, run.wallSeconds / ideal,
                  run.operationSeconds, run.wrong, singleWall / run.wallSeconds, run.toolCpuSeconds,
                  run.simCpuSeconds, cpuFloor);
      if (run.wrong != 0) ++failures;
      if (&scenario == &scenarios[0]) refusedWall[j] = run.wallSeconds;
      if (&scenario == &scenarios[1]) {
        const double bound = static_cast<double>(kDevices / kDeadEvery) * kConnectTimeoutSeconds / kJobs[j];
        std::printf(
            "%-34s %5s   the time-outs cost %.3f s more than closed ports; 100 x 100 ms / jobs = %.3f s\n",
            "", "", run.wallSeconds - refusedWall[j], bound);
      }
    }
  }
  std::remove(inventory.c_str());
  for (int fd : fillers) ::close(fd);
  ::close(blackhole);
  return failures == 0 ? 0 : 1;
}
