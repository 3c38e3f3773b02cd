// A soak through the public table: many threads, one command object each, a mix of operations
// against napi-sim in its own process (one simulated device per thread, so every value read
// back can be checked). Prints the rate, the unexpected failures, and whether descriptors and
// memory stay flat, on the host's side and on the simulator's.
//
//   soak [--threads N] [--operations N]     (defaults 64 and 100000; --quick: 4 and 400)
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "SimProcess.h"
#include "VmlCmd/ICommand.h"

namespace {

struct Sample {
  std::size_t descriptors;
  double hostMegabytes;
  double simMegabytes;
};

Sample Take(pid_t sim) {
  return {bench::OpenDescriptors(), bench::ResidentMegabytes(0), bench::ResidentMegabytes(sim)};
}

// One operation of the mix; false when it failed or read back something else than was written.
bool Operate(ICommand* camera, std::size_t step, int32_t& bitrate, std::string& caption) {
  char text[64] = {};
  switch (step % 8) {
    case 0:
      bitrate = 100 + static_cast<int32_t>(step % 1000);
      return camera->SetVideoBitrate(bitrate);
    case 1:
      return camera->GetVideoBitrate() == bitrate;
    case 2:
      return camera->PtzStop();
    case 3:
      return camera->GetIpAddress(text) && std::strcmp(text, "192.0.2.10") == 0;
    case 4:
      caption = "soak " + std::to_string(step);
      return camera->SetOsdCaption(true, 2, caption.c_str());
    case 5: {
      bool shown = false;
      int32_t position = 0;
      return camera->GetOsdCaption(&shown, &position, text) && shown && caption == text;
    }
    case 6: {
      VideoSettings settings{};
      return camera->GetVideoSettings(&settings) && settings.bitrate == bitrate;
    }
    default: {
      bool enabled = false;
      int32_t left = 0, top = 0, width = 0, height = 0;
      return camera->SetMaskRegion(true, 10, 20, 100, 50, 0) &&
             camera->GetMaskRegion(&enabled, &left, &top, &width, &height, 0) && enabled;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t threads = 64, operations = 100000;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--quick") {
      threads = 4;
      operations = 400;
    } else if (argument == "--threads" && i + 1 < argc) {
      threads = std::stoul(argv[++i]);
    } else if (argument == "--operations" && i + 1 < argc) {
      operations = std::stoul(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: soak [--quick] [--threads N] [--operations N]\n");
      return 2;
    }
  }
  bench::SimProcess sim({"--devices", std::to_string(threads)});

  std::atomic<std::size_t> next{0}, done{0}, failures{0};
  const Sample start = Take(sim.Pid());
  const auto began = std::chrono::steady_clock::now();
  std::vector<std::thread> workers;
  for (std::size_t t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      ICommand* camera = CreateICommand();
      camera->SetNetworkTarget("127.0.0.1", sim.Ports()[t], "admin", "admin");
      camera->SetVideoPort(0);
      int32_t bitrate = 512;
      std::string caption;
      std::size_t local = 0;
      while (next.fetch_add(1) < operations) {
        if (!Operate(camera, local++, bitrate, caption)) {
          if (failures.fetch_add(1) < 5) std::fprintf(stderr, "thread %zu: step %zu failed\n", t, local - 1);
        }
        ++done;
      }
      camera->Release();
    });
  }
  Sample middle = start;
  bool sampled = false;
  while (done.load() < operations) {
    if (!sampled && done.load() >= operations / 2) {
      middle = Take(sim.Pid());
      sampled = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (auto& worker : workers) worker.join();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  const Sample end = Take(sim.Pid());

  std::printf("soak: %zu threads, %zu operations in %.1f s: %.0f operations/s, %zu unexpected failures\n",
              threads, operations, seconds, static_cast<double>(operations) / seconds, failures.load());
  std::printf("host descriptors start/middle/end: %zu / %zu / %zu\n", start.descriptors, middle.descriptors,
              end.descriptors);
  std::printf("host RSS start/middle/end: %.1f / %.1f / %.1f MB\n", start.hostMegabytes, middle.hostMegabytes,
              end.hostMegabytes);
  std::printf("napi-sim RSS start/middle/end: %.1f / %.1f / %.1f MB\n", start.simMegabytes,
              middle.simMegabytes, end.simMegabytes);
  return failures.load() == 0 && end.descriptors == start.descriptors ? 0 : 1;
}
