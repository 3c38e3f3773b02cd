// What keeps a long-running simulator usable under load: a bounded request log, an idle
// time-out, and an accept loop that backs off when the process runs out of descriptors.
#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "RawClient.h"
#include "napisim/Simulator.h"

namespace napisim::test {
namespace {

using Clock = std::chrono::steady_clock;

TEST(RequestLogTest, KeepsTheLastRequestsAndCountsTheRest) {
  Options options;
  options.requestLog = 5;
  Simulator sim(options);
  sim.Start();
  RawClient client(sim.Port());
  ASSERT_TRUE(client.Login());
  for (int i = 0; i < 11; ++i) ASSERT_EQ(client.Call(70, "-p " + std::to_string(i) + " -b 1"), kSuccess);

  EXPECT_TRUE(sim.WaitForRequests(12, 0ms)) << "waits count dropped requests too";
  const auto requests = sim.Requests();
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(requests.front().text, "-p 6 -b 1");
  EXPECT_EQ(requests.back().text, "-p 10 -b 1");
  const RequestLogStats log = sim.RequestLog();
  EXPECT_EQ(log.bound, 5u);
  EXPECT_EQ(log.kept, 5u);
  EXPECT_EQ(log.recorded, 12u);
  EXPECT_EQ(log.dropped, 7u);

  sim.SetRequestLog(2);
  EXPECT_EQ(sim.Requests().size(), 2u);
  EXPECT_EQ(sim.Requests().back().text, "-p 10 -b 1");
  sim.Reset();
  EXPECT_EQ(sim.RequestLog().bound, 2u) << "a bound set at run time outlives a reset";
  EXPECT_EQ(sim.RequestLog().recorded, 0u);

  sim.SetRequestLog(0);
  RawClient other(sim.Port());
  ASSERT_TRUE(other.Login());
  EXPECT_TRUE(sim.Requests().empty());
  EXPECT_EQ(sim.RequestLog().dropped, 1u);
}

class IdleTest : public ::testing::Test {
 protected:
  IdleTest() : sim_(WithIdle()) { sim_.Start(); }
  static Options WithIdle() {
    Options options;
    options.idleTimeout = 300ms;
    return options;
  }

  // How long until the device closes this client, or 5 s when it does not.
  Clock::duration TimeToClose(RawClient& client) {
    const auto start = Clock::now();
    client.WaitClosed(5000ms);
    return Clock::now() - start;
  }

  Simulator sim_;
};

TEST_F(IdleTest, SilentAndStalledConnectionsAreClosed) {
  struct Case {
    std::string name;
    std::string bytes;  // sent right after connecting
  };
  const std::vector<Case> cases = {
      {"nothing sent", ""},
      {"half a header", Request(45, "-u admin -p admin").substr(0, 9)},
      {"header without its text", Request(45, "-u admin -p admin").substr(0, 20)},
  };
  for (const auto& c : cases) {
    RawClient client(sim_.Port());
    if (!c.bytes.empty()) client.SendBytes(c.bytes);
    const auto waited = TimeToClose(client);
    EXPECT_GE(waited, 250ms) << c.name;
    EXPECT_LT(waited, 3000ms) << c.name;
  }
  ASSERT_TRUE(sim_.WaitForIdle(1000ms));
  EXPECT_EQ(sim_.Stats().closedIdle, cases.size());
  EXPECT_EQ(sim_.Stats().closedByDevice, cases.size());
}

TEST_F(IdleTest, EachWholeRequestStartsTheTimeAgain) {
  RawClient client(sim_.Port());
  ASSERT_TRUE(client.Login());
  for (int i = 0; i < 5; ++i) {
    std::this_thread::sleep_for(150ms);
    ASSERT_EQ(client.Call(9, ""), kSuccess) << "request " << i << ", " << (i + 1) * 150 << " ms in";
  }
  EXPECT_TRUE(client.WaitClosed(3000ms));
}

TEST_F(IdleTest, ADelayedReplyIsNotIdleness) {
  sim_.SetFault(9, Fault::Delay(600ms));
  RawClient client(sim_.Port());
  ASSERT_TRUE(client.Login());
  EXPECT_EQ(client.Call(9, ""), kSuccess);
}

TEST(IdleTimeoutTest, ZeroWaitsForEver) {
  Options options;
  options.idleTimeout = 0ms;
  Simulator sim(options);
  sim.Start();
  RawClient client(sim.Port());
  EXPECT_FALSE(client.WaitClosed(500ms));
  EXPECT_TRUE(client.Login());
}

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count - 3;  // ".", ".." and the directory itself
}

// User and system time of a process so far, from /proc.
std::chrono::milliseconds CpuTime(pid_t pid) {
  std::FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
  if (file == nullptr) return 0ms;
  char line[1024] = {};
  const bool read = std::fgets(line, sizeof line, file) != nullptr;
  std::fclose(file);
  if (!read) return 0ms;
  // Fields after the command name, which is in parentheses and may hold blanks.
  const char* rest = std::strrchr(line, ')');
  unsigned long long utime = 0, stime = 0;
  if (rest == nullptr ||
      std::sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2)
    return 0ms;
  return std::chrono::milliseconds((utime + stime) * 1000 /
                                   static_cast<unsigned long long>(::sysconf(_SC_CLK_TCK)));
}

// A simulator in a child process with a small descriptor table, so that the clients of this
// process can fill it.
class ChildSimulator {
 public:
  ChildSimulator() {
    int portPipe[2], stopPipe[2];
    if (::pipe(portPipe) != 0 || ::pipe(stopPipe) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      ::close(portPipe[0]);
      ::close(stopPipe[1]);
      rlimit limit{};
      ::getrlimit(RLIMIT_NOFILE, &limit);
      limit.rlim_cur = OpenDescriptors() + 12;
      uint16_t port = 0;
      if (::setrlimit(RLIMIT_NOFILE, &limit) == 0) {
        try {
          Simulator sim;
          sim.Start();
          port = sim.Port();
          (void)!::write(portPipe[1], &port, sizeof port);
          char ignored;
          (void)!::read(stopPipe[0], &ignored, 1);  // until the parent closes its end
          sim.Stop();
        } catch (const std::exception&) {
        }
      }
      if (port == 0) (void)!::write(portPipe[1], &port, sizeof port);
      ::_exit(0);
    }
    ::close(portPipe[1]);
    ::close(stopPipe[0]);
    stop_ = stopPipe[1];
    if (::read(portPipe[0], &port_, sizeof port_) != sizeof port_) port_ = 0;
    ::close(portPipe[0]);
  }
  ~ChildSimulator() {
    ::close(stop_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  uint16_t Port() const { return port_; }
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int stop_ = -1;
  uint16_t port_ = 0;
};

TEST(DescriptorExhaustionTest, BacksOffKeepsServingAndAcceptsWhenDescriptorsComeBack) {
  ChildSimulator child;
  ASSERT_NE(child.Port(), 0) << "the simulator did not start in the child";
  RawClient served(child.Port());
  ASSERT_TRUE(served.Login());

  // More connections than the child has descriptors: the last ones wait in its backlog.
  std::vector<std::unique_ptr<RawClient>> waiting;
  for (int i = 0; i < 24; ++i) waiting.push_back(std::make_unique<RawClient>(child.Port()));
  std::this_thread::sleep_for(200ms);

  const auto before = CpuTime(child.Pid());
  std::this_thread::sleep_for(1000ms);
  const auto spent = CpuTime(child.Pid()) - before;
  std::printf("simulator CPU while out of descriptors: %lld ms in 1 s\n",
              static_cast<long long>(spent.count()));
  EXPECT_LT(spent, 200ms) << "the accept loop spins";
  EXPECT_EQ(served.Call(9, ""), kSuccess) << "an open connection is served meanwhile";
  waiting.back()->Send(45, "-u admin -p admin");
  EXPECT_FALSE(waiting.back()->Receive(300ms)) << "the descriptor table was not full";

  waiting.clear();
  // The connections that waited are accepted and seen closed; then a new one is served.
  bool servedAgain = false;
  for (int attempt = 0; attempt < 20 && !servedAgain; ++attempt) {
    RawClient later(child.Port());
    servedAgain = later.Login();
  }
  EXPECT_TRUE(servedAgain);
}

}  // namespace
}  // namespace napisim::test
