// Replies as TCP really delivers them: in pieces, a header and its text written apart, one byte
// at a time, with bytes left over. A refusal in pieces is a refusal, a value in pieces is the
// value, and nothing of one reply is read as the next.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "VmlCmd/ICommand.h"
#include "core/ResultCode.h"
#include "support/HostilePeer.h"

namespace vml::testing {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
using End = Answer::End;

const std::string kLoginOk = ReplyBytes(0);

milliseconds Since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

class Framing : public ::testing::Test {
 protected:
  void TearDown() override {
    if (command_ != nullptr) command_->Release();
  }
  // A fresh object pointed at a peer that plays this script.
  ICommand* On(std::vector<Answer> script) {
    if (command_ != nullptr) command_->Release();
    peer_ = std::make_unique<HostilePeer>(std::move(script));
    command_ = CreateICommand();
    command_->SetNetworkTarget("127.0.0.1", peer_->Port(), "admin", "admin");
    SetLastErrorCode(kSuccess);
    return command_;
  }
  VmlCmdOutcome Outcome() const {
    VmlCmdOutcome outcome{};
    outcome.size = sizeof outcome;
    VmlCmdGetLastOutcome(command_, &outcome);
    return outcome;
  }

  std::unique_ptr<HostilePeer> peer_;
  ICommand* command_ = nullptr;
};

TEST_F(Framing, ARefusalInTwoPiecesIsARefusal) {
  const std::string refusal = ReplyBytes(3);
  EXPECT_FALSE(On({Whole(kLoginOk), CutAt(refusal, {10}, milliseconds(50))})->SetVideoBitrate(512));
  EXPECT_EQ(LastErrorCode(), kInvalidArgument);
  EXPECT_EQ(Outcome().stage, VmlCmdStageReplyStatus);
  EXPECT_EQ(Outcome().status, 3);
  EXPECT_FALSE(On({Whole(kLoginOk), CutAt(refusal, {10}, milliseconds(50))})->PtzStop());
  EXPECT_EQ(LastErrorCode(), kInvalidArgument);
}

TEST_F(Framing, ALoginRefusalInTwoPiecesSendsNoRequest) {
  ICommand* command = On({CutAt(ReplyBytes(7), {10}, milliseconds(50)), Whole(ReplyBytes(0))});
  EXPECT_FALSE(command->SetVideoBitrate(512));
  EXPECT_EQ(LastErrorCode(), kSuccess);  // a refused login keeps the code
  EXPECT_EQ(Outcome().stage, VmlCmdStageLoginRefused);
  EXPECT_EQ(Outcome().status, 7);
  EXPECT_EQ(Outcome().exchange, VmlCmdExchangeLogin);
  EXPECT_EQ(peer_->Commands(), std::vector<std::int32_t>{45});
}

TEST_F(Framing, AHeaderAndItsTextWrittenApartAreOneReply) {
  const std::string bitrate = ReplyBytes(0, "-p 0 -b 768");
  EXPECT_EQ(On({Whole(kLoginOk), CutAt(bitrate, {20}, milliseconds(30))})->GetVideoBitrate(), 768);

  char address[VMLCMD_ADDRESS_BUFFER_SIZE] = "untouched";
  const std::string network = ReplyBytes(0, "-i 10.1.2.3 -m 255.0.0.0 -g 10.0.0.1");
  EXPECT_TRUE(On({Whole(kLoginOk), CutAt(network, {20}, milliseconds(30))})->GetIpAddress(address));
  EXPECT_STREQ(address, "10.1.2.3 ");  // the token reader keeps the blank before the next hyphen

  bool show = false;
  int32_t position = 0;
  char caption[VMLCMD_CAPTION_BUFFER_SIZE] = "untouched";
  const std::string overlay = ReplyBytes(0, "-g 1 -l 3 -w gate");
  EXPECT_TRUE(On({Whole(kLoginOk), CutAt(overlay, {20}, milliseconds(30))})
                  ->GetOsdCaption(&show, &position, caption));
  EXPECT_TRUE(show);
  EXPECT_EQ(position, 3);
  EXPECT_STREQ(caption, "gate");
}

TEST_F(Framing, AReplyCutAtEveryOffsetReadsTheSame) {
  const std::string refusal = ReplyBytes(5, "-p 0");
  const std::string value = ReplyBytes(0, "-p 0 -b 640");
  for (std::size_t cut = 1; cut < value.size(); ++cut) {
    EXPECT_EQ(On({Whole(kLoginOk), CutAt(value, {cut}, milliseconds(3))})->GetVideoBitrate(), 640) << cut;
    if (cut < refusal.size()) {
      SetLastErrorCode(kSuccess);
      EXPECT_FALSE(On({Whole(kLoginOk), CutAt(refusal, {cut}, milliseconds(3))})->SetVideoFrameRate(25))
          << cut;
      EXPECT_EQ(LastErrorCode(), kWrongVideoPort) << cut;
    }
  }
}

TEST_F(Framing, OneByteAtATimeIsStillTheReply) {
  EXPECT_FALSE(
      On({Bytewise(kLoginOk, milliseconds(5)), Bytewise(ReplyBytes(3), milliseconds(20))})->PtzStop());
  EXPECT_EQ(LastErrorCode(), kInvalidArgument);
  EXPECT_EQ(On({Whole(kLoginOk), Bytewise(ReplyBytes(0, "-b 1024"), milliseconds(20))})->GetVideoBitrate(),
            1024);
}

TEST_F(Framing, ReplyPiecesShareOneSecond) {
  // Every piece comes well within a second of the one before, but the whole reply does not: it
  // is read as far as it came within the second from its start.
  auto start = Clock::now();
  EXPECT_EQ(
      On({Whole(kLoginOk), Bytewise(ReplyBytes(0, "-p 0 -b 12345678"), milliseconds(60))})->GetVideoBitrate(),
      0);
  auto elapsed = Since(start);
  EXPECT_GE(elapsed, milliseconds(950));
  EXPECT_LT(elapsed, milliseconds(2000));
  // What came is the reply: part of its header, the rest read as zeros, so status 0 and no text.
  EXPECT_EQ(Outcome().stage, VmlCmdStageValueMissing);
}

TEST_F(Framing, AShortReplyThatStaysShortCountsWithZerosAfterTheSecond) {
  // 16 bytes, then nothing: the missing status reads as zero, as devices that send a short
  // acknowledgement expect, once the second is over or the device closes.
  auto start = Clock::now();
  EXPECT_TRUE(On({Whole(kLoginOk), Whole(ReplyBytes(3).substr(0, 16))})->PtzStop());
  EXPECT_GE(Since(start), milliseconds(950));
  start = Clock::now();
  EXPECT_TRUE(On({Whole(kLoginOk), Whole(ReplyBytes(3).substr(0, 16), End::kClose)})->PtzStop());
  EXPECT_LT(Since(start), milliseconds(500));
}

TEST_F(Framing, ATooLongOrNulTrailedFirstReplyDoesNotSpoilTheSecond) {
  const std::string picture = "-b 130 -c -10 -s 5 -h 2 ";
  const std::string encoder = ReplyBytes(0, "-r 1 -f 25 -b 512 -q 31 -i 100 -t 7");
  const std::string padded = picture + std::string(400, ' ');
  for (const std::string& first : {ReplyBytes(0, padded), ReplyBytes(0, picture) + std::string(1, '\0')}) {
    VideoSettings settings{};
    ICommand* command = On({Whole(kLoginOk), Whole(first), Whole(encoder)});
    ASSERT_TRUE(command->GetVideoSettings(&settings)) << first.size();
    EXPECT_EQ(settings.brightness, 130);
    EXPECT_EQ(settings.contrast, -10);
    EXPECT_EQ(settings.bitrate, 512);
    EXPECT_EQ(settings.paramT, 7);
  }
}

TEST_F(Framing, AnUndeclaredNulAfterTheLoginReplyIsNotTheNextReply) {
  const std::string loginAndNul = kLoginOk + std::string(1, '\0');
  EXPECT_FALSE(On({Whole(loginAndNul), CutAt(ReplyBytes(9), {4}, milliseconds(20))})->SetVideoBitrate(1));
  EXPECT_EQ(LastErrorCode(), kInvalidNapiCommand);
  EXPECT_EQ(On({Whole(loginAndNul), Whole(ReplyBytes(0, "-b 99"))})->GetVideoBitrate(), 99);
}

TEST_F(Framing, TextBeyondWhatTheHeaderDeclaresIsStillRead) {
  // Devices that under-declare their text were read in full when it came with the header.
  EXPECT_EQ(On({Whole(kLoginOk), Whole(ReplyBytes(0, "-b 321", 0))})->GetVideoBitrate(), 321);
}

// The fields at offsets 0, 8 and 12 are the device's own: whatever it writes there, a short reply
// of any length counts as received with status 0, and a whole one is read by its status and text.
TEST_F(Framing, TheFreeFieldsDecideNothing) {
  for (FreeFields fields : {FreeFields::kUsual, FreeFields::kZero, FreeFields::kDrawn}) {
    SetFreeFields(fields);
    SCOPED_TRACE(FreeFieldsName(fields));
    for (std::size_t length : {1u, 3u, 16u}) {
      SCOPED_TRACE(length);
      EXPECT_TRUE(On({Whole(ReplyBytes(0)), Whole(ReplyBytes(3).substr(0, length), End::kClose)})->PtzStop());
      EXPECT_EQ(Outcome().stage, VmlCmdStageSuccess);
    }
    EXPECT_EQ(On({Whole(ReplyBytes(0)), Whole(ReplyBytes(0, "-p 0 -b 768"))})->GetVideoBitrate(), 768);
    EXPECT_FALSE(On({Whole(ReplyBytes(0)), Whole(ReplyBytes(5))})->SetVideoBitrate(512));
    EXPECT_EQ(LastErrorCode(), kWrongVideoPort);
    EXPECT_EQ(Outcome().stage, VmlCmdStageReplyStatus);
    EXPECT_FALSE(On({Whole(ReplyBytes(7))})->SetVideoBitrate(512));
    EXPECT_EQ(Outcome().stage, VmlCmdStageLoginRefused);
    // A device that writes something other than 100 and whose short login reply was all it
    // meant to send: its request's reply is read whole, not as the rest of the login's header.
    EXPECT_EQ(
        On({Whole(ReplyBytes(0).substr(0, 16)), Whole(ReplyBytes(0, "-p 0 -b 640"))})->GetVideoBitrate(),
        640);
  }
  SetFreeFields(FreeFields::kUsual);
}

// A reply cut short by its second counts under the short-reply rule, but its device is late, not
// silent: the rest comes after the deadline, ahead of the next reply on the same connection.
constexpr milliseconds kLate{1300};

TEST_F(Framing, ALoginTailAfterItsSecondIsNotTheRequestsReply) {
  EXPECT_EQ(On({CutAt(kLoginOk, {5}, kLate), Whole(ReplyBytes(0, "-p 0 -b 768"))})->GetVideoBitrate(), 768);
  EXPECT_EQ(Outcome().stage, VmlCmdStageSuccess);

  EXPECT_FALSE(On({CutAt(kLoginOk, {12}, kLate), Whole(ReplyBytes(3))})->SetVideoBitrate(512));
  EXPECT_EQ(LastErrorCode(), kInvalidArgument);  // the request's own status, not the tail's bytes
  EXPECT_EQ(Outcome().status, 3);

  // A login reply with a text, cut in its header: the text its header declares is owed too.
  VideoSettings settings{};
  const std::string encoder = ReplyBytes(0, "-r 1 -f 25 -b 512 -q 31 -i 100 -t 7");
  EXPECT_TRUE(On({CutAt(ReplyBytes(0, "-u admin"), {3}, kLate), Whole(ReplyBytes(0, "-b 130 -c 2 -s 5 -h 9")),
                  Whole(encoder)})
                  ->GetVideoSettings(&settings));
  EXPECT_EQ(settings.brightness, 130);
  EXPECT_EQ(settings.bitrate, 512);
}

TEST_F(Framing, AFirstExchangeTailAfterItsSecondIsNotTheSecondReply) {
  // Cut in the header: nothing of the first reply is read, its header and text are owed.
  ICommand* command = On({Whole(kLoginOk), CutAt(ReplyBytes(0, "-p 0"), {5}, kLate), Whole(ReplyBytes(3))});
  VideoSettings settings{};
  EXPECT_FALSE(command->SetVideoSettings(&settings));
  EXPECT_EQ(Outcome().exchange, VmlCmdExchangeSecond);
  EXPECT_EQ(Outcome().stage, VmlCmdStageReplyStatus);
  EXPECT_EQ(Outcome().status, 3);

  // Cut in the text, after the values the first exchange reads.
  const std::string picture = "-b 130 -c -10 -s 5 -h 2 ";
  const std::string first = ReplyBytes(0, picture + "-x 123456789");
  const std::string encoder = ReplyBytes(0, "-r 1 -f 25 -b 512 -q 31 -i 100 -t 7");
  ASSERT_TRUE(On({Whole(kLoginOk), CutAt(first, {20 + picture.size()}, kLate), Whole(encoder)})
                  ->GetVideoSettings(&settings));
  EXPECT_EQ(settings.contrast, -10);
  EXPECT_EQ(settings.bitrate, 512);
  EXPECT_EQ(settings.paramT, 7);
}

}  // namespace
}  // namespace vml::testing
