// Each object's own record of how its last operation ended, produced by real faults of the
// device and read back through the exported function; the result code behaves as it always did.
#include <cstring>
#include <string>

#include "support/DeviceFixture.h"
#include "support/HostText.h"

namespace vml::testing {
namespace {

using napisim::Fault;
using std::chrono::milliseconds;

class Outcome : public DeviceTest {
 protected:
  VmlCmdOutcome Last(ICommand* of = nullptr) const {
    VmlCmdOutcome outcome{};
    outcome.size = sizeof outcome;
    EXPECT_TRUE(VmlCmdGetLastOutcome(of != nullptr ? of : command, &outcome));
    return outcome;
  }
};

TEST_F(Outcome, SuccessRecordsTheCodeAndTheTime) {
  VmlCmdOutcome fresh = Last();
  EXPECT_EQ(fresh.stage, VmlCmdStageNone);
  ASSERT_TRUE(command->PtzStop());
  VmlCmdOutcome outcome = Last();
  EXPECT_EQ(outcome.stage, VmlCmdStageSuccess);
  EXPECT_EQ(outcome.resultCode, kSuccess);
  EXPECT_EQ(outcome.exchange, VmlCmdExchangeRequest);
  EXPECT_GT(outcome.elapsedMicroseconds, 0u);
  EXPECT_LT(outcome.elapsedMicroseconds, 1000000u);
  // The local operations leave the record alone, so the host can read the text first.
  char text[32];
  command->GetErrorText(sizeof text, text);
  command->SetVideoPort(2);
  EXPECT_EQ(Last().stage, VmlCmdStageSuccess);
}

TEST_F(Outcome, RefusalsBeforeSendingAndMissingLinks) {
  EXPECT_FALSE(command->GetMaskRegion(nullptr, nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(Last().stage, VmlCmdStageArgumentRefused);
  EXPECT_EQ(Last().resultCode, kInvalidArgument);
  EXPECT_EQ(Last().exchange, VmlCmdExchangeNone);

  EXPECT_FALSE(command->SetAudioMute(true));
  EXPECT_EQ(Last().stage, VmlCmdStageNotImplemented);
  EXPECT_EQ(Last().resultCode, kNotImplemented);

  ICommand* unlinked = CreateICommand();
  EXPECT_FALSE(unlinked->PtzStop());
  EXPECT_EQ(Last(unlinked).stage, VmlCmdStageNoNetworkLink);
  unlinked->SetNetworkTarget("localhost", device.Port(), "admin", "admin");
  EXPECT_FALSE(unlinked->PtzStop());
  EXPECT_EQ(Last(unlinked).stage, VmlCmdStageAddressInvalid);
  unlinked->SetNetworkTarget("127.0.0.1", device.Port(), "a_user_name_of_17", "admin");
  EXPECT_FALSE(unlinked->PtzStop());
  EXPECT_EQ(Last(unlinked).stage, VmlCmdStageArgumentRefused);
  unlinked->Release();
  EXPECT_TRUE(device.Requests().empty());
}

TEST_F(Outcome, AClosedPortAndAWrongPasswordAreTold) {
  const uint16_t port = device.Port();
  command->SetNetworkTarget("127.0.0.1", port, "admin", "wrong");
  SetLastErrorCode(kSuccess);
  EXPECT_FALSE(command->PtzStop());
  EXPECT_EQ(Last().stage, VmlCmdStageLoginRefused);
  EXPECT_EQ(Last().status, napisim::kWrongPassword);
  EXPECT_EQ(Last().exchange, VmlCmdExchangeLogin);
  EXPECT_EQ(LastErrorCode(), kSuccess);  // a refused login keeps the code, as it always has

  device.Stop();
  command->SetNetworkTarget("127.0.0.1", port, "admin", "admin");
  EXPECT_FALSE(command->PtzStop());
  EXPECT_EQ(Last().stage, VmlCmdStageConnectRefused);
  EXPECT_NE(Last().systemError, 0);
  EXPECT_EQ(Last().exchange, VmlCmdExchangeNone);
}

TEST_F(Outcome, StatusesSilenceClosesAndMissingValues) {
  device.SetFault(31, Fault::WithStatus(5));
  EXPECT_FALSE(command->SetVideoBitrate(256));
  EXPECT_EQ(Last().stage, VmlCmdStageReplyStatus);
  EXPECT_EQ(Last().status, 5);
  EXPECT_EQ(Last().resultCode, kWrongVideoPort);

  Answer(32, "-f 25");
  EXPECT_EQ(command->GetVideoBitrate(), 0);
  EXPECT_EQ(Last().stage, VmlCmdStageValueMissing);
  EXPECT_EQ(Last().letter, 'b');

  device.SetFault(60, Fault::Close());
  EXPECT_FALSE(command->PtzStop());
  EXPECT_EQ(Last().stage, VmlCmdStageClosedByDevice);

  device.SetFault(60, Fault::NoReply());
  EXPECT_FALSE(command->PtzStop());
  EXPECT_EQ(Last().stage, VmlCmdStageReplyTimedOut);
  EXPECT_GE(Last().elapsedMicroseconds, 900000u);
  EXPECT_TRUE(AllClosed());
}

TEST_F(Outcome, TheCombinedOperationsTellWhichExchange) {
  device.SetFault(31, Fault::WithStatus(3));
  SetLastErrorCode(kSuccess);
  VideoSettings settings{};
  EXPECT_FALSE(command->SetVideoSettings(&settings));
  EXPECT_EQ(Last().stage, VmlCmdStageReplyStatus);
  EXPECT_EQ(Last().exchange, VmlCmdExchangeSecond);
  EXPECT_EQ(Last().resultCode, kSuccess);  // these operations never map a status
  device.ClearFaults();
  device.SetFault(22, Fault::WithStatus(3));
  EXPECT_FALSE(command->GetVideoSettings(&settings));
  EXPECT_EQ(Last().exchange, VmlCmdExchangeRequest);
}

TEST(OutcomeRecord, AnOlderSmallerRecordGetsItsFirstFields) {
  ICommand* command = CreateICommand();
  command->PtzStop();  // no link
  unsigned char bytes[sizeof(VmlCmdOutcome) + 4];
  std::memset(bytes, 0xEE, sizeof bytes);
  const uint32_t small = 8;
  std::memcpy(bytes, &small, sizeof small);
  ASSERT_TRUE(VmlCmdGetLastOutcome(command, reinterpret_cast<VmlCmdOutcome*>(bytes)));
  int32_t stage = 0;
  std::memcpy(&stage, bytes + 4, sizeof stage);
  EXPECT_EQ(stage, VmlCmdStageNoNetworkLink);
  for (std::size_t i = 8; i < sizeof bytes; ++i) EXPECT_EQ(bytes[i], 0xEE) << i;

  VmlCmdOutcome tooSmall{};
  tooSmall.size = 4;
  EXPECT_FALSE(VmlCmdGetLastOutcome(command, &tooSmall));
  EXPECT_FALSE(VmlCmdGetLastOutcome(nullptr, &tooSmall));
  EXPECT_FALSE(VmlCmdGetLastOutcome(command, nullptr));
  command->Release();
}

TEST(OutcomeRecord, EveryStageHasAnEnglishAndAChineseText) {
  char text[64];
  for (int32_t stage = 0; stage < VmlCmdStageCount; ++stage) {
    EXPECT_GT(VmlCmdGetStageText(stage, 0, text, sizeof text), 0) << stage;
    EXPECT_GT(VmlCmdGetStageText(stage, 1, text, sizeof text), 0) << stage;
  }
  VmlCmdGetStageText(VmlCmdStageReplyTimedOut, 0, text, sizeof text);
  EXPECT_STREQ(text, "no reply within 1 s");
  VmlCmdGetStageText(VmlCmdStageConnectRefused, 1, text, sizeof text);
  EXPECT_EQ(std::string(text), HostText("连接被拒绝"));
  // Cut at whole characters, as the result texts are.
  EXPECT_EQ(VmlCmdGetStageText(VmlCmdStageSuccess, 1, text, 4), static_cast<int32_t>(HostText("成").size()));
  EXPECT_EQ(VmlCmdGetStageText(VmlCmdStageSuccess, 0, text, 4), 3);
  EXPECT_STREQ(text, "suc");
  EXPECT_EQ(VmlCmdGetStageText(VmlCmdStageCount, 0, text, sizeof text), 0);
  EXPECT_EQ(VmlCmdGetStageText(0, 2, text, sizeof text), 0);
  EXPECT_EQ(VmlCmdGetStageText(0, 0, nullptr, 8), 0);
}

}  // namespace
}  // namespace vml::testing
