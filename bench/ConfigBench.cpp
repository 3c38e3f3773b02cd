// What a whole configuration costs. First the transactions of one config get of one and of
// four video ports, counted by the engine. Then vmlctl config get --inventory --out DIR and a
// one-field config apply --inventory over 1,000 devices (900 simulated, 100 closed ports) with
// 16 and 64 workers, against the ideal: (one device's time on its own, measured here serially,
// times the devices) / jobs. The tool's peak memory is shown for 100 and for 1,000 devices: the
// results go to their files and lines as each device ends, so it should not grow with the fleet.
//
// config_bench [VMLCTL]   (default: the vmlctl of this build)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "Engine.h"
#include "ToolProcess.h"
#include "napisim/Simulator.h"

namespace {

namespace cfg = vmlcmd::config;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kDevices = 1000;
constexpr std::size_t kDeadEvery = 10;
constexpr int kJobs[] = {16, 64};

struct ToolRun {
  double wallSeconds = 0;  // from the tool's summary
  long maxRssKiB = 0;
  int status = -1;
  std::size_t lines = 0;
};

ToolRun RunTool(std::vector<std::string> args) {
  const vmlbench::ToolProcess process = vmlbench::RunTool(std::move(args));
  ToolRun run;
  if (!process.started) return run;
  run.status = process.status;
  run.maxRssKiB = process.usage.ru_maxrss;
  vmlbench::ForEachLine(process.output, [&run](const std::string& line) {
    const auto json = nlohmann::json::parse(line, nullptr, false);
    if (json.is_discarded()) return;
    if (json.contains("summary")) {
      run.wallSeconds = json["summary"]["wall_us"].get<double>() / 1e6;
    } else {
      ++run.lines;
    }
  });
  return run;
}

// Seconds per call of work, over kSamples calls.
template <typename Work>
double Mean(int samples, Work&& work) {
  const auto start = Clock::now();
  for (int i = 0; i < samples; ++i) work(i);
  return std::chrono::duration<double>(Clock::now() - start).count() / samples;
}

// Every command the engine sends, and the login, answered after delay: a device on a real
// network, where the time of an operation is waiting rather than work.
void DelayReplies(napisim::Simulator& fleet, std::chrono::milliseconds delay) {
  static constexpr int32_t kCodes[] = {45, 4, 5, 6, 7, 21, 22, 23, 25, 26, 28, 29, 30, 31, 32};
  for (std::size_t i = 0; i < fleet.DeviceCount(); ++i) {
    for (const int32_t code : kCodes) {
      if (delay.count() == 0) {
        fleet.ClearFault(i, code);
      } else {
        fleet.SetFault(i, code, napisim::Fault::Delay(delay));
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string vmlctl = argc > 1 ? argv[1] : VMLCTL_PATH;
  vmlbench::RaiseOpenFileLimit();

  napisim::Options options;
  options.devices = static_cast<int>(kDevices - kDevices / kDeadEvery);
  napisim::Simulator fleet(options);
  fleet.Start();
  std::vector<uint16_t> closed;
  {
    napisim::Options few;
    few.devices = static_cast<int>(kDevices / kDeadEvery);
    napisim::Simulator gone(few);
    gone.Start();
    for (std::size_t i = 0; i < gone.DeviceCount(); ++i) closed.push_back(gone.Port(i));
  }

  ICommand* object = CreateICommand();
  object->SetNetworkTarget("127.0.0.1", fleet.Port(0), "admin", "admin");
  const cfg::ReadResult one = cfg::Read(*object, {0});
  const cfg::ReadResult four = cfg::Read(*object, {0, 1, 2, 3});
  std::printf(
      "config get, one device: 1 port %u operations (%u requests), 4 ports %u operations (%u requests)\n",
      one.cost.operations, one.cost.requests, four.cost.operations, four.cost.requests);
  ICommand* dead = CreateICommand();
  dead->SetNetworkTarget("127.0.0.1", closed[0], "admin", "admin");

  const std::string dir = "/tmp/config-bench-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  auto inventory = [&](std::size_t devices) {
    const std::string path = dir + "/fleet-" + std::to_string(devices) + ".csv";
    std::ofstream out(path);
    out << "host,port\n";
    for (std::size_t i = 0, live = 0, gone = 0; i < devices; ++i) {
      const bool isDead = i % kDeadEvery == kDeadEvery - 1;
      out << "127.0.0.1," << (isDead ? closed[gone++] : fleet.Port(live++)) << "\n";
    }
    return path;
  };
  const std::string all = inventory(kDevices);
  const std::string tenth = inventory(kDevices / 10);
  const std::size_t live = kDevices - kDevices / kDeadEvery;
  int failures = 0;
  int round = 0;

  for (const int delayMs : {0, 5}) {
    DelayReplies(fleet, std::chrono::milliseconds(delayMs));
    const int samples = delayMs == 0 ? 200 : 10;
    const double getTime = Mean(samples, [&](int) { cfg::Read(*object, {0}); });
    const double opTime = getTime / one.cost.operations;
    cfg::ApplyResult applied;
    const double applyTime = Mean(samples, [&](int i) {
      applied = cfg::Apply(
          *object, cfg::Json{{"video_ports", {{"0", {{"encoder", {{"bitrate", 600 + i % 2}}}}}}}}, {});
    });
    const double deadTime = Mean(samples, [&](int) { cfg::Read(*dead, {0}); });
    std::printf(
        "\nreplies after %d ms; serially: one operation %.1f us, config get %.1f us, one-field apply "
        "(%u operations) %.1f us, dead device %.1f us\n",
        delayMs, opTime * 1e6, getTime * 1e6, applied.cost.operations, applyTime * 1e6, deadTime * 1e6);
    const double getWork =
        static_cast<double>(live) * getTime + static_cast<double>(kDevices - live) * deadTime;
    const double applyWork =
        static_cast<double>(live) * applyTime + static_cast<double>(kDevices - live) * deadTime;
    std::printf(
        "vmlctl --inventory, %zu devices (%zu dead); ideal = (transactions x operation time) / jobs; %u "
        "cores\n",
        kDevices, kDevices - live, std::thread::hardware_concurrency());
    std::printf("%-28s %5s %10s %10s %7s %10s\n", "run", "jobs", "wall", "ideal", "ratio", "peak RSS");
    for (const int jobs : kJobs) {
      const std::string out = dir + "/out";
      std::filesystem::remove_all(out);
      std::filesystem::create_directories(out);
      const ToolRun get = RunTool({vmlctl, "--inventory", all, "--json", "--jobs", std::to_string(jobs),
                                   "config", "get", "--out", out});
      std::printf("%-28s %5d %8.3f s %8.3f s %7.2f %7ld KiB\n", "config get --out DIR", jobs, get.wallSeconds,
                  getWork / jobs, get.wallSeconds / (getWork / jobs), get.maxRssKiB);
      if (get.status != 1 || get.lines != kDevices) ++failures;  // 1: the dead devices
      const std::string file = dir + "/one-field.json";
      std::ofstream(file) << "{\"video_ports\": {\"0\": {\"encoder\": {\"bitrate\": " << 700 + ++round
                          << "}}}}\n";
      const ToolRun apply = RunTool(
          {vmlctl, "--inventory", all, "--json", "--jobs", std::to_string(jobs), "config", "apply", file});
      std::printf("%-28s %5d %8.3f s %8.3f s %7.2f %7ld KiB\n", "config apply (one field)", jobs,
                  apply.wallSeconds, applyWork / jobs, apply.wallSeconds / (applyWork / jobs),
                  apply.maxRssKiB);
      if (apply.status != 1 || apply.lines != kDevices) ++failures;
    }
  }
  object->Release();
  dead->Release();
  DelayReplies(fleet, std::chrono::milliseconds(0));
  const std::string out = dir + "/out";
  const ToolRun small =
      RunTool({vmlctl, "--inventory", tenth, "--json", "--jobs", "16", "config", "get", "--out", out});
  std::printf("\n%-28s %5d %8.3f s %21s %7ld KiB  (%zu devices: memory does not grow with the fleet)\n",
              "config get --out DIR", 16, small.wallSeconds, "", small.maxRssKiB, kDevices / 10);
  std::filesystem::remove_all(dir);
  return failures == 0 ? 0 : 1;
}
