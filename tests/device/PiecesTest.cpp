// The simulator's own misbehaviours, through the public table: the same device faults that the
// independent peer plays, here from the device the rest of the suite uses (in the Windows build
// steered through its control channel), across the families.
#include "support/DeviceFixture.h"

namespace vml::testing {
namespace {

using napisim::Fault;
using std::chrono::milliseconds;

using Pieces = DeviceTest;

Fault Refusal(Fault delivery, int32_t status) {
  delivery.kind = Fault::Kind::kStatus;
  delivery.status = status;
  return delivery;
}

TEST_F(Pieces, ARefusalInPiecesIsARefusal) {
  for (const Fault& delivery : {Fault::Split(10, milliseconds(40)), Fault::ByteByByte(milliseconds(10)),
                                Fault::HeaderApart(milliseconds(30))}) {
    device.SetFault(31, Refusal(delivery, 3));
    SetLastErrorCode(kSuccess);
    EXPECT_FALSE(command->SetVideoBitrate(512));
    EXPECT_EQ(LastErrorCode(), kInvalidArgument);
    device.SetFault(60, Refusal(delivery, 9));
    EXPECT_FALSE(command->PtzStop());
    EXPECT_EQ(LastErrorCode(), kInvalidNapiCommand);
  }
  device.ClearFaults();
  device.ClearRequests();
  device.SetFault(napisim::kLoginCommand, Refusal(Fault::Split(12, milliseconds(40)), 7));
  SetLastErrorCode(kSuccess);
  EXPECT_FALSE(command->PtzStop());
  EXPECT_EQ(LastErrorCode(), kSuccess);
  EXPECT_EQ(Commands().size(), 0u);  // the request never went out
}

TEST_F(Pieces, ValuesInPiecesAreRead) {
  for (const Fault& delivery : {Fault::HeaderApart(milliseconds(30)), Fault::ByteByByte(milliseconds(5)),
                                Fault::Split(23, milliseconds(20)), Fault::TrailingNul()}) {
    device.SetFault(napisim::kLoginCommand, delivery);
    for (int32_t code : {5, 22, 26, 30, 32}) device.SetFault(code, delivery);
    EXPECT_NE(command->GetVideoBitrate(), 0);
    char address[VMLCMD_ADDRESS_BUFFER_SIZE] = {};
    EXPECT_TRUE(command->GetIpAddress(address));
    EXPECT_STRNE(address, "");
    bool enabled = false;
    int32_t left = -1, top = -1, width = -1, height = -1, position = -1;
    EXPECT_TRUE(command->GetMaskRegion(&enabled, &left, &top, &width, &height, 0));
    char caption[VMLCMD_CAPTION_BUFFER_SIZE] = {};
    EXPECT_TRUE(command->GetOsdCaption(&enabled, &position, caption));
    EXPECT_GE(position, 1);
    VideoSettings settings{};
    EXPECT_TRUE(command->GetVideoSettings(&settings));
    EXPECT_NE(settings.bitrate, 0);
  }
  EXPECT_TRUE(AllClosed());
}

TEST_F(Pieces, ALateTailIsNeverTheNextReply) {
  // The first bytes come, the second passes, the short reply counts; the rest comes later, ahead
  // of the next reply on the same connection, and is skipped, never read as that reply. Only the
  // usual 100 in the first field tells a late tail from a reply, so the device writes it.
  device.SetReplyFields(napisim::ReplyFields::kUsual);
  const int32_t bitrate = command->GetVideoBitrate();
  VideoSettings settings{};
  ASSERT_TRUE(command->GetVideoSettings(&settings));
  const Fault late = Fault::Split(5, milliseconds(1300));
  device.SetFault(napisim::kLoginCommand, late);
  EXPECT_EQ(command->GetVideoBitrate(), bitrate);
  device.SetFault(60, Fault::WithStatus(3));
  SetLastErrorCode(kSuccess);
  EXPECT_FALSE(command->PtzStop());
  EXPECT_EQ(LastErrorCode(), kInvalidArgument);  // the request's own status
  device.ClearFaults();
  device.SetFault(napisim::kLoginCommand, late);
  settings.brightness = 140;
  EXPECT_TRUE(command->SetVideoSettings(&settings));
  device.ClearFaults();
  device.SetFault(23, late);  // the first of the two exchanges
  settings.contrast = 60;
  EXPECT_TRUE(command->SetVideoSettings(&settings));
  device.ClearFaults();
  VideoSettings stored{};
  ASSERT_TRUE(command->GetVideoSettings(&stored));
  EXPECT_EQ(stored.brightness, 140);
  EXPECT_EQ(stored.contrast, 60);
  EXPECT_EQ(stored.bitrate, settings.bitrate);
  EXPECT_TRUE(AllClosed());
}

TEST_F(Pieces, ResetsAreFailuresThatLeaveTheCode) {
  device.SetFault(32, Fault::Reset());
  SetLastErrorCode(kSuccess);
  EXPECT_EQ(command->GetVideoBitrate(), 0);
  EXPECT_EQ(LastErrorCode(), kSuccess);
  VmlCmdOutcome outcome{};
  outcome.size = sizeof outcome;
  VmlCmdGetLastOutcome(command, &outcome);
  EXPECT_TRUE(outcome.stage == VmlCmdStageReceiveFailed || outcome.stage == VmlCmdStageClosedByDevice);
}

}  // namespace
}  // namespace vml::testing
