// Faults that deliver a reply the way real devices and networks do: in pieces with gaps, one
// byte at a time, with an undeclared NUL behind it, or not at all because the connection is reset.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "RawClient.h"
#include "napisim/Simulator.h"

namespace napisim::test {
namespace {

using Clock = std::chrono::steady_clock;

const std::string kEncoderText = "-p 0 -b 512 -f 25 -i 100 -q 31 -r 1 -t 0";

class DeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // These compare whole replies, free header fields included, with the usual ones.
    sim_.SetReplyFields(ReplyFields::kUsual);
    sim_.Start();
  }

  // A logged-in client that has sent "read the encoder of port 0".
  std::unique_ptr<RawClient> AskEncoder() {
    auto client = std::make_unique<RawClient>(sim_.Port());
    EXPECT_TRUE(client->Login());
    client->Send(32, "-p 0");
    return client;
  }

  Simulator sim_;
};

// Each receive returns one piece when the gap is long enough that nothing else is on its way.
TEST_F(DeliveryTest, PiecesArriveAsPromised) {
  const std::string normal = ReplyBytes(32, 0, kEncoderText);
  Fault refusal = Fault::Split(10, 150ms);
  refusal.kind = Fault::Kind::kStatus;
  refusal.status = kInvalidArgument;
  struct Case {
    std::string name;
    Fault fault;
    std::vector<std::string> pieces;
  };
  const std::vector<Case> cases = {
      {"split inside the header", Fault::Split(7, 150ms), {normal.substr(0, 7), normal.substr(7)}},
      {"header apart from the text", Fault::HeaderApart(150ms), {normal.substr(0, 20), normal.substr(20)}},
      {"refusal split 10 + 10",
       refusal,
       {ReplyBytes(32, 3, "").substr(0, 10), ReplyBytes(32, 3, "").substr(10)}},
      {"split beyond the end is one write", Fault::Split(500, 150ms), {normal}},
  };
  for (const auto& c : cases) {
    sim_.SetFault(32, c.fault);
    auto client = AskEncoder();
    std::vector<std::string> got;
    for (std::size_t i = 0; i < c.pieces.size(); ++i) got.push_back(client->ReceiveOnce(2000ms));
    EXPECT_EQ(got, c.pieces) << c.name;
    EXPECT_EQ(client->ReceiveOnce(50ms), "") << c.name << ": nothing after the reply";
  }
}

TEST_F(DeliveryTest, OneByteAtATimeThenTheConnectionServesOn) {
  Fault slow = Fault::ByteByByte(10ms, 1);
  slow.kind = Fault::Kind::kStatus;
  slow.status = kWrongPassword;
  sim_.SetFault(45, slow);
  RawClient client(sim_.Port());
  client.Send(45, "-u admin -p admin");
  std::string got;
  int receives = 0;
  while (got.size() < 20 && receives < 40) {
    got += client.ReceiveOnce(2000ms);
    ++receives;
  }
  EXPECT_EQ(got, ReplyBytes(45, kWrongPassword, ""));
  EXPECT_GE(receives, 10) << "the bytes were not sent one by one";
  EXPECT_TRUE(client.Login());
}

TEST_F(DeliveryTest, DelayComesBeforeTheFirstPiece) {
  Fault fault = Fault::Split(5, 100ms);
  fault.delay = 200ms;
  sim_.SetFault(32, fault);
  const auto start = Clock::now();
  auto client = AskEncoder();
  EXPECT_EQ(client->ReceiveOnce(2000ms).size(), 5u);
  EXPECT_GE(Clock::now() - start, 190ms);
}

TEST_F(DeliveryTest, TrailingNulFollowsTheReplyUndeclared) {
  sim_.SetFault(32, Fault::TrailingNul());
  auto client = AskEncoder();
  bool closed = false;
  const std::string got = client->ReadUntilClosed(300ms, &closed);
  EXPECT_EQ(got, ReplyBytes(32, 0, kEncoderText) + std::string(1, '\0'));
  EXPECT_FALSE(closed);

  Fault apart = Fault::HeaderApart(100ms);
  apart.trailingNul = true;
  sim_.SetFault(32, apart);
  client = AskEncoder();
  EXPECT_EQ(client->ReceiveOnce(2000ms).size(), 20u);
  EXPECT_EQ(client->ReceiveOnce(2000ms), kEncoderText + std::string(1, '\0'));
}

TEST_F(DeliveryTest, ResetIsSeenAsAResetNotAnOrderlyClose) {
  sim_.SetFault(32, Fault::Reset());
  auto client = AskEncoder();
  int error = 0;
  EXPECT_EQ(client->ReceiveOnce(2000ms, &error), "");
  EXPECT_EQ(error, ECONNRESET);
  ASSERT_TRUE(sim_.WaitForIdle(1000ms));
  EXPECT_EQ(sim_.Stats().closedByDevice, 1u);
}

TEST_F(DeliveryTest, CloseAfterTheLoginsReply) {
  sim_.SetFault(45, Fault::CloseAfterReply(1));
  RawClient client(sim_.Port());
  client.Send(45, "-u admin -p admin");
  bool closed = false;
  EXPECT_EQ(client.ReadUntilClosed(2000ms, &closed), ReplyBytes(45, 0, ""));
  EXPECT_TRUE(closed);
  RawClient next(sim_.Port());
  EXPECT_TRUE(next.Login()) << "the fault ran out";
}

// The gaps are timers on the network thread: a reply trickling out holds up nobody else.
TEST_F(DeliveryTest, SlowDeliveryDoesNotHoldUpOtherConnections) {
  sim_.SetFault(32, Fault::ByteByByte(100ms));
  auto slow = AskEncoder();
  ASSERT_EQ(slow->ReceiveOnce(2000ms).size(), 1u);
  const auto start = Clock::now();
  RawClient fast(sim_.Port());
  ASSERT_TRUE(fast.Login());
  EXPECT_EQ(fast.Call(9, ""), kSuccess);
  EXPECT_LT(Clock::now() - start, 500ms);
}

}  // namespace
}  // namespace napisim::test
