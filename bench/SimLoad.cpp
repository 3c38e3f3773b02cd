// Load on napi-sim in its own process from raw-socket clients: the simulator's transactions per
// second and processor use, and whether its memory stays flat over a long run. A transaction
// is what the library makes of one operation: connect, log in, requests, close.
//
//   sim_load [--clients N] [--requests N] [--per-connection K]
//   (defaults 64 clients, 200000 requests, 1 request after each login)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "SimProcess.h"

namespace {

std::string Request(int32_t command, const std::string& text) {
  std::string bytes(16, '\0');
  const int32_t header[4] = {100, static_cast<int32_t>(text.size()), command, 0};
  std::memcpy(bytes.data(), header, sizeof header);
  return bytes + text;
}

// Sends one request and reads its whole reply; true when it arrived with status 0.
bool Exchange(int fd, const std::string& request) {
  if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
    return false;
  char reply[512];
  std::size_t have = 0, want = 20;
  while (have < want) {
    const ssize_t n = ::recv(fd, reply + have, sizeof reply - have, 0);
    if (n <= 0) return false;
    have += static_cast<std::size_t>(n);
    if (have >= 20) {
      int32_t length = 0;
      std::memcpy(&length, reply + 4, 4);
      want = 20 + static_cast<std::size_t>(length);
      if (want > sizeof reply) return false;
    }
  }
  int32_t status = -1;
  std::memcpy(&status, reply + 16, 4);
  return status == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t clients = 64, requests = 200000, perConnection = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const std::size_t value = std::stoul(argv[i + 1]);
    if (option == "--clients") clients = value;
    if (option == "--requests") requests = value;
    if (option == "--per-connection") perConnection = value;
  }
  bench::SimProcess sim({});
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(sim.Ports()[0]);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

  const std::string login = Request(45, "-u admin -p admin");
  const std::string mix[] = {Request(32, "-p 0"), Request(21, "-p 1 -b 128"), Request(60, "-p 0 -c 12"),
                             Request(5, ""), Request(26, "-p 2")};
  const std::size_t transactions = requests / (perConnection + 1);
  std::atomic<std::size_t> next{0}, done{0}, failures{0};

  const double rssStart = bench::ResidentMegabytes(sim.Pid());
  const double cpuStart = bench::CpuSeconds(sim.Pid());
  const auto began = std::chrono::steady_clock::now();
  std::vector<std::thread> workers;
  for (std::size_t c = 0; c < clients; ++c) {
    workers.emplace_back([&] {
      std::size_t index;
      while ((index = next.fetch_add(1)) < transactions) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        bool good = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                    Exchange(fd, login);
        for (std::size_t k = 0; good && k < perConnection; ++k) good = Exchange(fd, mix[(index + k) % 5]);
        ::close(fd);
        if (!good) ++failures;
        ++done;
      }
    });
  }
  double rssMiddle = rssStart;
  bool sampled = false;
  while (done.load() < transactions) {
    if (!sampled && done.load() >= transactions / 2) {
      rssMiddle = bench::ResidentMegabytes(sim.Pid());
      sampled = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (auto& worker : workers) worker.join();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  const double cpu = bench::CpuSeconds(sim.Pid()) - cpuStart;
  const double rssEnd = bench::ResidentMegabytes(sim.Pid());

  const std::size_t sent = transactions * (perConnection + 1);
  std::printf("napi-sim load: %zu clients, %zu transactions (%zu requests) in %.1f s, %zu failed\n", clients,
              transactions, sent, seconds, failures.load());
  std::printf("  %.0f transactions/s, %.0f requests/s\n", static_cast<double>(transactions) / seconds,
              static_cast<double>(sent) / seconds);
  std::printf("  napi-sim CPU %.1f s = %.0f%% of one core (%.1f us per request)\n", cpu, 100 * cpu / seconds,
              1e6 * cpu / static_cast<double>(sent));
  std::printf("  napi-sim RSS start/middle/end: %.1f / %.1f / %.1f MB\n", rssStart, rssMiddle, rssEnd);
  return failures.load() == 0 ? 0 : 1;
}
