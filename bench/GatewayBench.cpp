// The gateway's cost: requests per second for GET /devices/{id}/config and for a PTZ move across
// the demo fleet (8 simulated devices) with 64 concurrent clients, and the gateway's own time
// per call against the same work done directly through the library and the engine, one call at
// a time. Then the gateway's memory (resident set) before and after 100,000 PTZ moves.
//
// gateway_bench [--requests N]   (default 100000 for the memory run)
#include <httplib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Engine.h"
#include "Gateway.h"
#include "HttpServer.h"
#include "napisim/Simulator.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kDevices = 8;
constexpr int kClients = 64;
const char* const kToken = "bench-token-0123456789abcdef";

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Every client sends `each` requests to its own device (eight clients a device) over one kept-alive
// connection.
double RequestsPerSecond(int port, int each,
                         const std::function<httplib::Result(httplib::Client&, int)>& send,
                         std::atomic<int>* failures) {
  std::vector<std::thread> clients;
  const auto start = Clock::now();
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      httplib::Client client("127.0.0.1", port);
      client.set_keep_alive(true);
      client.set_tcp_nodelay(true);
      // Eight clients queue on each device; on a loaded machine the last of them may wait longer
      // than the client's default 5 s.
      client.set_read_timeout(30, 0);
      client.set_default_headers({{"Authorization", std::string("Bearer ") + kToken}});
      for (int i = 0; i < each; ++i) {
        auto result = send(client, c % kDevices);
        if (!result || result->status != 200) {
          if (failures->fetch_add(1) == 0) {
            std::fprintf(stderr, "first failure: %s\n",
                         result ? (std::to_string(result->status) + " " + result->body).c_str()
                                : httplib::to_string(result.error()).c_str());
          }
        }
      }
    });
  }
  for (auto& t : clients) t.join();
  return kClients * each / Seconds(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
  int memoryRequests = 100000;
  if (argc == 3 && std::strcmp(argv[1], "--requests") == 0) memoryRequests = std::atoi(argv[2]);

  napisim::Options simOptions;
  simOptions.devices = kDevices;
  simOptions.requestLog = 0;
  napisim::Simulator simulator(simOptions);
  simulator.Start();

  gateway::Tokens tokens;
  tokens.Add(gateway::Role::kWrite, kToken);
  gateway::Options options;
  gateway::Gateway gw(tokens, options);
  for (int i = 0; i < kDevices; ++i) {
    vmlctl::Target target;
    target.port = simulator.Port(static_cast<std::size_t>(i));
    gw.AddDevice("cam" + std::to_string(i + 1), "", target);
  }
  gateway::HttpLimits limits;
  limits.workers = kClients + 8;
  gateway::HttpServer server(
      limits, [&gw](const gateway::HttpRequest& r, gateway::HttpResponse& w) { gw.Handle(r, w); },
      [&gw](const gateway::HttpRequest& r, int status, const std::string& why, gateway::HttpResponse& w) {
        gw.Refuse(r, status, why, w);
      },
      &gateway::Gateway::IsStop);
  std::string problem;
  const int port = server.Bind("127.0.0.1", 0, &problem);
  std::thread serving([&] { server.Run(); });

  std::atomic<int> failures{0};
  const std::string move = R"({"axis": "pan", "direction": 1, "seconds": 2})";
  auto getConfig = [](httplib::Client& c, int d) {
    return c.Get(("/api/v1/devices/cam" + std::to_string(d + 1) + "/config?ports=0").c_str());
  };
  auto ptzMove = [&](httplib::Client& c, int d) {
    return c.Post(("/api/v1/devices/cam" + std::to_string(d + 1) + "/ptz/move").c_str(), move,
                  "application/json");
  };
  std::printf("64 clients, %d devices:\n", kDevices);
  std::printf("  GET config  %8.0f requests/s\n", RequestsPerSecond(port, 50, getConfig, &failures));
  std::printf("  PTZ move    %8.0f requests/s\n", RequestsPerSecond(port, 200, ptzMove, &failures));
  std::printf("  failed so far: %d\n", failures.load());

  // One call at a time: through the gateway, then the same work straight on a command object.
  constexpr int kSerial = 400;
  httplib::Client client("127.0.0.1", port);
  client.set_keep_alive(true);
  client.set_tcp_nodelay(true);
  client.set_default_headers({{"Authorization", std::string("Bearer ") + kToken}});
  ICommand* direct = CreateICommand();
  direct->SetNetworkTarget("127.0.0.1", simulator.Port(0), "admin", "admin");
  auto time = [&](const std::function<void()>& call) {
    const auto start = Clock::now();
    for (int i = 0; i < kSerial; ++i) call();
    return Seconds(Clock::now() - start) / kSerial * 1e6;
  };
  const double gatewayRead = time([&] {
    if (!getConfig(client, 0)) ++failures;
  });
  const double directRead = time([&] { vmlcmd::config::Read(*direct, {0}); });
  const double gatewayMove = time([&] {
    if (!ptzMove(client, 0)) ++failures;
  });
  const double directMove = time([&] { direct->PtzPan(1); });
  std::printf("one call at a time (us per call): gateway / direct / gateway's own\n");
  std::printf("  GET config  %8.1f %8.1f %8.1f\n", gatewayRead, directRead, gatewayRead - directRead);
  std::printf("  PTZ move    %8.1f %8.1f %8.1f\n", gatewayMove, directMove, gatewayMove - directMove);
  direct->Release();

  const long before = ResidentKilobytes();
  RequestsPerSecond(port, memoryRequests / kClients, ptzMove, &failures);
  const long after = ResidentKilobytes();
  std::printf("memory (resident, whole process): %ld kB before, %ld kB after %d more PTZ moves\n", before,
              after, memoryRequests / kClients * kClients);
  std::printf("failed requests: %d\n", failures.load());
  server.Stop();
  serving.join();
  return failures.load() == 0 ? 0 : 1;
}
