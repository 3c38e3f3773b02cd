// One object per thread, many threads at once against one device: objects are independent, so
// every operation succeeds and every object's outcome is its own. Run under ThreadSanitizer too.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/DeviceFixture.h"

namespace vml::testing {
namespace {

using Threads = DeviceTest;

TEST_F(Threads, ObjectsOnDifferentThreadsAreIndependent) {
  constexpr int kThreads = 16;
  constexpr int kRounds = 40;  // six operations a round
  std::atomic<int> failures{0};
  std::atomic<int> wrongOutcomes{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ICommand* own = CreateICommand();
      own->SetNetworkTarget("127.0.0.1", device.Port(), "admin", "admin");
      own->SetVideoPort(t % 4);
      // setsCode: the operation sets the code on success, so its record must say 9.
      auto check = [&](bool ok, bool setsCode = true) {
        if (!ok) ++failures;
        VmlCmdOutcome outcome{};
        outcome.size = sizeof outcome;
        if (!VmlCmdGetLastOutcome(own, &outcome) || outcome.stage != VmlCmdStageSuccess) ++wrongOutcomes;
        if (setsCode && outcome.resultCode != kSuccess) ++wrongOutcomes;
      };
      for (int round = 0; round < kRounds; ++round) {
        check(own->GetVideoBitrate() != 0);
        check(own->PtzStop());
        check(own->SetOsdTime(true, round % 8), false);
        bool enabled = false;
        int32_t l = 0, top = 0, w = 0, h = 0;
        check(own->GetMaskRegion(&enabled, &l, &top, &w, &h, 0));
        VideoSettings settings{};
        check(own->GetVideoSettings(&settings));
        char address[VMLCMD_ADDRESS_BUFFER_SIZE] = {};
        check(own->GetIpAddress(address));
      }
      own->Release();
    });
  }
  // Objects whose every request the device refuses (a video port it does not have), beside
  // them: each outcome holds the code its own operation set, whatever the others set meanwhile.
  std::atomic<int> foreignCodes{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      ICommand* own = CreateICommand();
      own->SetNetworkTarget("127.0.0.1", device.Port(), "admin", "admin");
      own->SetVideoPort(9);
      for (int round = 0; round < kRounds; ++round) {
        if (own->GetVideoBitrate() != 0 || own->PtzStop()) ++failures;
        VmlCmdOutcome outcome{};
        outcome.size = sizeof outcome;
        VmlCmdGetLastOutcome(own, &outcome);
        if (outcome.stage != VmlCmdStageReplyStatus || outcome.resultCode != kWrongVideoPort) ++foreignCodes;
      }
      own->Release();
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(foreignCodes.load(), 0);
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(wrongOutcomes.load(), 0);
  EXPECT_TRUE(AllClosed());
}

}  // namespace
}  // namespace vml::testing
