// A host that receives signals all the time (a profiler, an interval timer) still gets every
// operation back within its bound: waits resume with what their deadline leaves.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>

#include <chrono>

#include "VmlCmd/ICommand.h"
#include "support/HostilePeer.h"

namespace vml::testing {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

volatile sig_atomic_t ticks = 0;
void Tick(int) { ticks = ticks + 1; }

// SIGALRM every 200 ms, with a handler installed without SA_RESTART, so that every blocking call
// of the library sees EINTR.
class Signals : public ::testing::Test {
 protected:
  void SetUp() override {
    struct sigaction action {};
    action.sa_handler = Tick;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGALRM, &action, &previous_);
    itimerval every{{0, 200000}, {0, 200000}};
    setitimer(ITIMER_REAL, &every, nullptr);
    ticks = 0;
  }
  void TearDown() override {
    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous_, nullptr);
  }
  static milliseconds Time(const std::function<void()>& operation) {
    auto start = Clock::now();
    operation();
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
  }
  struct sigaction previous_ {};
};

TEST_F(Signals, ASilentDeviceStillEndsAfterAboutOneSecond) {
  HostilePeer silent({Answer{}});
  ICommand* command = CreateICommand();
  command->SetNetworkTarget("127.0.0.1", silent.Port(), "admin", "admin");
  auto elapsed = Time([&] { EXPECT_FALSE(command->PtzStop()); });
  EXPECT_GE(elapsed, milliseconds(950));
  EXPECT_LT(elapsed, milliseconds(1800));
  EXPECT_GE(ticks, 4);
  command->Release();
}

TEST_F(Signals, AConnectionNeverAcceptedStillEndsAfterAbout100Ms) {
  FullListener full;
  ICommand* command = CreateICommand();
  command->SetNetworkTarget("127.0.0.1", full.Port(), "admin", "admin");
  // Several attempts, so that some of them are cut by a signal.
  for (int i = 0; i < 5; ++i) {
    auto elapsed = Time([&] { EXPECT_EQ(command->GetVideoBitrate(), 0); });
    EXPECT_GE(elapsed, milliseconds(95));
    EXPECT_LT(elapsed, milliseconds(600));
  }
  command->Release();
}

TEST_F(Signals, TheCombinedOperationsEndWithinThreeReceives) {
  // Short acknowledgements that stay short: each of the three receives waits its whole second.
  const std::string shortAck = ReplyBytes(0).substr(0, 16);
  HostilePeer slow({Whole(shortAck), Whole(shortAck), Whole(shortAck)});
  ICommand* command = CreateICommand();
  command->SetNetworkTarget("127.0.0.1", slow.Port(), "admin", "admin");
  VideoSettings settings{};
  auto elapsed = Time([&] { EXPECT_TRUE(command->SetVideoSettings(&settings)); });
  EXPECT_GE(elapsed, milliseconds(2900));
  EXPECT_LT(elapsed, milliseconds(3100 + 1000));
  command->Release();
}

}  // namespace
}  // namespace vml::testing
