// vmlctl discover: its targets, ports and bounds, and a scan over loopback TCP of simulated
// devices, peers that speak something else and closed ports, whose inventory the tools read.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Discover.h"
#include "Inventory.h"
#include "ToolRun.h"
#include "napisim/Simulator.h"

extern char** environ;

namespace vmlctl {
namespace {

using tooltest::ClosedPort;
using tooltest::Has;
using tooltest::RunTool;
using tooltest::Slurp;
using tooltest::ToolRun;

// A service that is no video server: it writes its greeting to every connection and closes it,
// whatever the client sends.
class BannerPeer {
 public:
  explicit BannerPeer(std::string banner) : banner_(std::move(banner)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] {
      while (true) {
        const int connection = ::accept(listener_, nullptr, nullptr);
        if (connection < 0 || stop_) {
          if (connection >= 0) ::close(connection);
          return;
        }
        (void)!::send(connection, banner_.data(), banner_.size(), MSG_NOSIGNAL);
        ::close(connection);
      }
    });
  }
  ~BannerPeer() {
    stop_ = true;
    ::shutdown(listener_, SHUT_RDWR);  // wakes the accept
    if (acceptor_.joinable()) acceptor_.join();
    ::close(listener_);
  }
  uint16_t Port() const { return port_; }

 private:
  std::string banner_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread acceptor_;
};

TEST(DiscoverPartsTest, TargetsPortsAndTheBound) {
  const struct {
    std::vector<std::string> targets;
    std::string ports;
    std::size_t endpoints;  // 0: refused, with problem
    const char* first;      // "address:port" of the first endpoint and of the last
    const char* last;
    const char* problem;
  } cases[] = {
      {{"127.0.0.5"}, "8000", 1, "127.0.0.5:8000", "127.0.0.5:8000", ""},
      {{"127.0.0.0/28"}, "8000", 16, "127.0.0.0:8000", "127.0.0.15:8000", ""},
      {{"127.0.0.9/30"}, "8000", 4, "127.0.0.8:8000", "127.0.0.11:8000", ""},  // host bits dropped
      {{"127.0.0.1-127.0.0.40"}, "8000", 40, "127.0.0.1:8000", "127.0.0.40:8000", ""},
      {{"127.0.0.1-40"}, "8000", 40, "127.0.0.1:8000", "127.0.0.40:8000", ""},
      {{"127.0.0.250-127.0.1.5"}, "8000", 12, "127.0.0.250:8000", "127.0.1.5:8000", ""},
      // Overlaps count once, in address order.
      {{"127.0.0.3", "127.0.0.2-5", "127.0.0.0/30"}, "8000", 6, "127.0.0.0:8000", "127.0.0.5:8000", ""},
      {{"127.0.0.1"}, "9000-9010,8001,8000,8001", 13, "127.0.0.1:8000", "127.0.0.1:9010", ""},
      {{"127.0.0.1"}, "1,65535", 2, "127.0.0.1:1", "127.0.0.1:65535", ""},
      {{"127.0.0.0/16"}, "8000", 65536, "127.0.0.0:8000", "127.0.255.255:8000", ""},
      {{"127.0.0.0/16"}, "8000,8001", 0, "", "", "131,072 endpoints (65,536 addresses x 2 ports)"},
      {{"127.0.0.0/24", "127.0.1.0/24"}, "8000-8128", 0, "", "", "66,048 endpoints"},
      {{"127.0.0.0/8"}, "8000", 0, "", "", "16,777,216 addresses"},
      {{}, "8000", 0, "", "", "no target given"},
      {{"127.0.0.1", "127.0.0.256"}, "8000", 0, "", "", "target \"127.0.0.256\" is not an IPv4 address"},
      {{"127.0.0.0/33"}, "8000", 0, "", "", "target \"127.0.0.0/33\" is not a CIDR block"},
      {{"127.0.0.40-1"}, "8000", 0, "", "", "target \"127.0.0.40-1\" ends before it starts"},
      {{"127.0.0.1-256"}, "8000", 0, "", "", "target \"127.0.0.1-256\" is not a range"},
      {{"127.0.0.1-127.0.0"}, "8000", 0, "", "", "target \"127.0.0.1-127.0.0\" is not a range"},
      {{"127.0.0.1"}, "0", 0, "", "", "--ports \"0\": \"0\" is not a port"},
      {{"127.0.0.1"}, "8000,,8001", 0, "", "", "\"\" is not a port"},
      {{"127.0.0.1"}, "9010-9000", 0, "", "", "\"9010-9000\" is not a port"},
      {{"127.0.0.1"}, "", 0, "", "", "--ports \"\""},
  };
  for (const auto& c : cases) {
    std::vector<uint32_t> addresses;
    std::vector<uint16_t> ports;
    std::vector<Endpoint> endpoints;
    std::string problem;
    const bool ok = ParseTargets(c.targets, &addresses, &problem) &&
                    ParsePortList(c.ports, &ports, &problem) &&
                    Endpoints(addresses, ports, &endpoints, &problem);
    const std::string which = (c.targets.empty() ? std::string() : c.targets.back()) + " " + c.ports;
    if (c.endpoints == 0) {
      EXPECT_FALSE(ok) << which;
      EXPECT_TRUE(Has(problem, c.problem)) << which << ": " << problem;
      continue;
    }
    ASSERT_TRUE(ok) << which << ": " << problem;
    ASSERT_EQ(endpoints.size(), c.endpoints) << which;
    auto text = [](const Endpoint& e) { return AddressText(e.address) + ":" + std::to_string(e.port); };
    EXPECT_EQ(text(endpoints.front()), c.first) << which;
    EXPECT_EQ(text(endpoints.back()), c.last) << which;
  }
}

std::string Join(const std::vector<uint16_t>& ports) {
  std::string list;
  for (uint16_t port : ports) list += (list.empty() ? "" : ",") + std::to_string(port);
  return list;
}

// The line just above the row of a port: its comment.
std::string CommentAbove(const std::string& inventory, uint16_t port) {
  const std::size_t row = inventory.find(",127.0.0.1," + std::to_string(port) + ",");
  if (row == std::string::npos || row == 0) return {};
  const std::size_t start = inventory.rfind('\n', row - 2);
  return inventory.substr(start == std::string::npos ? 0 : start + 1, row - 1 - (start + 1));
}

#ifdef VMLCMD_GATEWAY_PATH
// Reads the first line the gateway prints, which counts the devices it took from the inventory.
std::string GatewayFirstLine(const std::string& inventory, const std::string& tokens) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return {};
  std::vector<std::string> args = {VMLCMD_GATEWAY_PATH, "--inventory", inventory, "--tokens", tokens,
                                   "--listen",          "127.0.0.1:0", "--quiet"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  std::string line;
  char c = 0;
  while (spawned == 0 && ::read(pipeFds[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(pipeFds[0]);
  if (spawned == 0) {
    ::kill(pid, SIGTERM);
    int raw = 0;
    waitpid(pid, &raw, 0);
  }
  return line;
}
#endif

TEST(DiscoverTest, FindsTheDevicesAmongOtherServicesAndClosedPorts) {
  // Four simulated devices whose free reply fields are drawn anew for every reply, so nothing
  // may hang on a first field of 100: one plain, one with other accounts, one refusing the
  // version request, one whose login answers with a status the protocol does not name.
  napisim::Options options;
  options.devices = 4;
  options.replyFields = napisim::ReplyFields::kDrawn;
  napisim::Simulator sim(options);
  sim.Start();
  sim.UpdateState(1, [](napisim::DeviceState& state) { state.logins = {{"other", "secret"}}; });
  sim.SetFault(2, 1, napisim::Fault::WithStatus(napisim::kUnknownCommand));
  sim.SetFault(3, napisim::kLoginCommand, napisim::Fault::WithStatus(42));
  // A greeting shorter than a reply header and one longer, each closing at once.
  BannerPeer shortBanner("SSH-2.0-x\r\n");
  BannerPeer httpBanner("HTTP/1.0 400 Bad Request\r\n\r\n");
  ASSERT_NE(shortBanner.Port(), 0);
  ASSERT_NE(httpBanner.Port(), 0);
  const std::vector<uint16_t> ports = {sim.Port(0),        sim.Port(1),       sim.Port(2),  sim.Port(3),
                                       shortBanner.Port(), httpBanner.Port(), ClosedPort(), ClosedPort()};
  const std::string dir = std::filesystem::temp_directory_path() / ("discover-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string file = dir + "/site.csv";

  const ToolRun run =
      RunTool(VMLCTL_PATH, {"discover", "127.0.0.1", "--ports", Join(ports), "-o", file, "--jobs", "3"});
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_TRUE(std::regex_match(
      run.errors,
      std::regex(
          "scanned 8 endpoints: 2 devices, 1 refused the login, 3 not NAPI, 2 silent; [0-9]+\\.[0-9] s\n")))
      << run.errors;
  EXPECT_TRUE(run.output.empty()) << run.output;

  const std::string inventory = Slurp(file);
  std::istringstream in(inventory);
  std::vector<InventoryRow> rows;
  InventoryError error;
  ASSERT_TRUE(ParseInventory(in, Target{}, &rows, &error)) << error.line << ": " << error.message << "\n"
                                                           << inventory;
  std::vector<uint16_t> found;
  for (const InventoryRow& row : rows) {
    found.push_back(static_cast<uint16_t>(row.target.port));
    EXPECT_EQ(row.target.host, "127.0.0.1");
    EXPECT_EQ(row.target.user, "admin");
    EXPECT_TRUE(row.name.empty());
  }
  std::vector<uint16_t> devices = {sim.Port(0), sim.Port(1), sim.Port(2)};
  std::sort(devices.begin(), devices.end());
  EXPECT_EQ(found, devices) << inventory;
  EXPECT_TRUE(Has(CommentAbove(inventory, sim.Port(0)), "# versions: bsp 20261208, napi 20261208"))
      << inventory;
  EXPECT_TRUE(Has(CommentAbove(inventory, sim.Port(1)), "# refused the login: status 6")) << inventory;
  EXPECT_TRUE(
      Has(CommentAbove(inventory, sim.Port(2)), "# versions unknown: device refused the request: status 9"))
      << inventory;

  // Every tool reads it: vmlctl runs a command on its rows (the refused one fails), the gateway
  // serves them.
  const ToolRun versions = RunTool(VMLCTL_PATH, {"--inventory", file, "--json", "versions"});
  EXPECT_EQ(versions.status, 1) << versions.output << versions.errors;
  EXPECT_TRUE(Has(versions.output, "\"summary\":{\"devices\":3,\"succeeded\":1,\"failed\":2"))
      << versions.output;
#ifdef VMLCMD_GATEWAY_PATH
  const std::string tokens = dir + "/tokens";
  std::ofstream(tokens) << "read discover-test-token-0123456789abcdef0123456789\n";
  EXPECT_TRUE(Has(GatewayFirstLine(file, tokens), "(3 devices)"));
#endif

  // The login and the rows take the scan's credentials: the other device is found now, and the
  // ones that know only admin refuse them.
  const ToolRun other = RunTool(VMLCTL_PATH, {"--user", "other", "--password", "secret", "--json", "discover",
                                              "127.0.0.1", "--ports", Join(ports)});
  EXPECT_EQ(other.status, 0) << other.errors;
  EXPECT_TRUE(Has(other.output, "{\"host\":\"127.0.0.1\",\"port\":" + std::to_string(sim.Port(1)) +
                                    ",\"found\":\"device\",\"bsp\":20261208,"))
      << other.output;
  EXPECT_TRUE(Has(other.output, "\"devices\":1,\"login_refused\":2,\"not_napi\":3,\"silent\":2,"))
      << other.output;
  std::filesystem::remove_all(dir);
}

// Nothing is sent before the arguments and the output file are known good, and a scan that
// finds nothing writes no inventory, which no tool could read.
TEST(DiscoverTest, RefusesBeforeSendingAndWritesNoEmptyInventory) {
  napisim::Simulator sim;
  sim.Start();
  const std::string port = std::to_string(sim.Port());
  const std::string file = "/tmp/discover-test-" + std::to_string(::getpid()) + ".csv";
  const struct {
    std::vector<std::string> args;
    int status;
    const char* error;
  } cases[] = {
      {{"discover", "127.0.0.1", "127.0.0.300", "--ports", port}, 64, "target \"127.0.0.300\""},
      {{"discover", "127.0.0.1", "--ports", port + ",70000"}, 64, "\"70000\" is not a port"},
      {{"discover", "127.0.0.1", "--ports", port, "-o", "/nonexistent/site.csv"},
       64,
       "/nonexistent/site.csv: "},
      {{"--password", "longerthan8", "discover", "127.0.0.1", "--ports", port}, 64, "password"},
      {{"discover", "127.0.0.1", "--ports", port, "--jobs", "0"}, 64, "--jobs"},
      {{"--host", "127.0.0.1", "discover", "127.0.0.1", "--ports", port}, 64, "drop --host"},
  };
  for (const auto& c : cases) {
    const ToolRun run = RunTool(VMLCTL_PATH, c.args);
    EXPECT_EQ(run.status, c.status) << c.args.back() << ": " << run.errors;
    EXPECT_TRUE(Has(run.errors, c.error)) << run.errors;
  }
  EXPECT_EQ(sim.Stats().accepted, 0u) << "a refused scan sent nothing";

  const ToolRun none =
      RunTool(VMLCTL_PATH, {"discover", "127.0.0.1", "--ports", std::to_string(ClosedPort()), "-o", file});
  EXPECT_EQ(none.status, 1) << none.errors;
  EXPECT_TRUE(Has(none.errors, "scanned 1 endpoints: 0 devices, 0 refused the login, 0 not NAPI, 1 silent;"))
      << none.errors;
  EXPECT_FALSE(std::filesystem::exists(file));
}

// Ctrl-C lets the running probe end and writes nothing: a partial scan never replaces the
// inventory of an earlier one.
TEST(DiscoverTest, CtrlCKeepsTheEarlierInventory) {
  napisim::Options options;
  options.devices = 6;
  napisim::Simulator sim(options);
  sim.Start();
  std::vector<uint16_t> ports;
  for (std::size_t i = 0; i < sim.DeviceCount(); ++i) {
    sim.SetFault(i, 1, napisim::Fault::Delay(std::chrono::milliseconds(300)));
    ports.push_back(sim.Port(i));
  }
  // The scan goes in port order: the device on the lowest port is probed first.
  const std::size_t first =
      static_cast<std::size_t>(std::min_element(ports.begin(), ports.end()) - ports.begin());
  const std::string file = "/tmp/discover-test-kept-" + std::to_string(::getpid()) + ".csv";
  std::ofstream(file) << "host,port\n127.0.0.1,8000\n";
  const ToolRun run =
      RunTool(VMLCTL_PATH, {"discover", "127.0.0.1", "--ports", Join(ports), "--jobs", "1", "-o", file},
              [&](pid_t pid) {
                // Once the first device has its login: five left, 300 ms each.
                sim.WaitForRequests(first, 1, std::chrono::seconds(10));
                ::kill(pid, SIGINT);
              });
  EXPECT_EQ(run.status, 130) << run.errors;
  EXPECT_TRUE(Has(run.errors, " of 6 endpoints (interrupted): ")) << run.errors;
  EXPECT_EQ(Slurp(file), "host,port\n127.0.0.1,8000\n");
  std::remove(file.c_str());
}

}  // namespace
}  // namespace vmlctl
