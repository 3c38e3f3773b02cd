// napi-sim as a host developer runs it: a fleet and its inventory file, its control channel and
// its stop on a signal.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "RawClient.h"
#include "inventory/Inventory.h"

extern char** environ;

namespace napisim::test {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// napi-sim with these arguments, its standard output read line by line.
class NapiSim {
 public:
  explicit NapiSim(std::vector<std::string> arguments) {
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    arguments.insert(arguments.begin(), NAPI_SIM_PATH);
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const int failed = ::posix_spawn(&pid_, NAPI_SIM_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (failed != 0) throw std::runtime_error("cannot start napi-sim");
    output_ = ::fdopen(out[0], "r");
  }
  ~NapiSim() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    std::fclose(output_);
  }

  // SIGTERM, then true once the process has exited (with status 0) within the bound.
  bool Terminate(std::chrono::milliseconds within) {
    ::kill(pid_, SIGTERM);
    const auto deadline = SteadyClock::now() + within;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (SteadyClock::now() > deadline) return false;
      std::this_thread::sleep_for(10ms);
    }
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  // The descriptors the process holds open.
  std::size_t Descriptors() const {
    const std::filesystem::path fds = "/proc/" + std::to_string(pid_) + "/fd";
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(fds), std::filesystem::directory_iterator()));
  }

  std::string Line() {
    char line[512];
    if (std::fgets(line, sizeof line, output_) == nullptr) return {};
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }

 private:
  pid_t pid_ = -1;
  std::FILE* output_ = nullptr;
};

TEST(NapiSimTest, FleetWritesItsInventoryOnceListening) {
  const auto inventory =
      std::filesystem::temp_directory_path() / ("napi-sim-inventory-" + std::to_string(::getpid()) + ".csv");
  NapiSim sim({"--devices", "3", "--inventory-out", inventory.string()});
  const std::string first = sim.Line();
  const std::string prefix = "napi-sim listening on 127.0.0.1:";
  ASSERT_EQ(first.rfind(prefix, 0), 0u) << first;
  const int firstPort = std::stoi(first.substr(prefix.size()));

  // Written before that line, so a script that waits for it can read the file at once.
  // It reads back through the reader every tool shares, with nothing taken from the defaults.
  std::ifstream in(inventory);
  vml::inventory::Defaults none{"", "", -1, ""};
  std::vector<vml::inventory::Entry> entries;
  vml::inventory::Error error;
  ASSERT_TRUE(vml::inventory::Read(in, none, &entries, &error)) << error.line << ": " << error.message;
  std::vector<int> ports;
  for (const vml::inventory::Entry& entry : entries) {
    EXPECT_EQ(entry.name, "sim-" + std::to_string(ports.size() + 1));
    EXPECT_EQ(entry.host, "127.0.0.1");
    EXPECT_EQ(entry.user + ":" + entry.password, "admin:admin");
    EXPECT_EQ(entry.videoPort, 0);
    ports.push_back(entry.port);
  }
  std::filesystem::remove(inventory);
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[0], firstPort);
  for (const int port : ports) {
    RawClient client(static_cast<uint16_t>(port));
    EXPECT_TRUE(client.Login()) << port;
  }
}

// A client of the control channel that sends one line and keeps the connection.
int SendControl(uint16_t port, const std::string& line) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  return fd;
}

// Waits on the control channel hold neither the process nor, once their client is gone, a
// descriptor: a crowd of waiters once kept napi-sim from stopping for the length of their waits.
TEST(NapiSimTest, ControlWaitersEndWithTheirClientAndDoNotHoldUpAStop) {
  NapiSim sim({"--control-port", "0"});
  const std::string prefix = "napi-sim control on 127.0.0.1:";
  std::string line;
  while (!(line = sim.Line()).empty() && line.rfind(prefix, 0) != 0) {
  }
  ASSERT_EQ(line.rfind(prefix, 0), 0u) << "no control port announced";
  const auto port = static_cast<uint16_t>(std::stoi(line.substr(prefix.size())));

  const std::size_t before = sim.Descriptors();
  constexpr std::size_t kWaiters = 100;
  std::vector<int> clients;
  for (std::size_t i = 0; i < kWaiters; ++i) {
    const int fd = SendControl(port, R"({"op":"wait-requests","count":1000,"timeoutMs":30000})"
                                     "\n");
    ASSERT_GE(fd, 0) << i;
    clients.push_back(fd);
  }
  auto settles = [&](auto holds) {
    const auto deadline = SteadyClock::now() + 5s;
    while (!holds() && SteadyClock::now() < deadline) std::this_thread::sleep_for(10ms);
    return holds();
  };
  ASSERT_TRUE(settles([&] { return sim.Descriptors() >= before + kWaiters; })) << sim.Descriptors();
  // Counted again once the main thread has surely set up its signal handling, which opens a few.
  std::this_thread::sleep_for(100ms);
  const std::size_t held = sim.Descriptors();

  // Half the clients go; their waits end and their descriptors close long before the deadline.
  for (std::size_t i = 0; i < kWaiters / 2; ++i) ::close(clients[i]);
  EXPECT_TRUE(settles([&] { return sim.Descriptors() <= held - kWaiters / 2; }))
      << sim.Descriptors() << " of " << held;

  EXPECT_TRUE(sim.Terminate(5s)) << "napi-sim did not exit on SIGTERM with waiters on its control channel";
  for (std::size_t i = kWaiters / 2; i < kWaiters; ++i) ::close(clients[i]);
}

}  // namespace
}  // namespace napisim::test
