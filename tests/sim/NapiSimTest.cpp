// napi-sim as a host developer runs it: a fleet and its inventory file.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "RawClient.h"
#include "inventory/Inventory.h"

extern char** environ;

namespace napisim::test {
namespace {

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
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    std::fclose(output_);
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
  vml::inventory::Defaults none{"", "", -1};
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

}  // namespace
}  // namespace napisim::test
