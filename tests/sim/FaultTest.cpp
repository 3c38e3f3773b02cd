// Injected faults: each kind changes exactly what the client sees, for exactly as long as asked.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RawClient.h"
#include "napisim/Simulator.h"

namespace napisim::test {
namespace {

using Clock = std::chrono::steady_clock;

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // These compare whole replies, free header fields included, with the usual ones.
    sim_.SetReplyFields(ReplyFields::kUsual);
    sim_.Start();
  }

  Simulator sim_;
};

// Faults that replace the reply bytes: the client must see exactly these bytes, then the
// connection closed or still open as asked.
TEST_F(FaultTest, ReplyBytesFaults) {
  const std::string normalRead = ReplyBytes(32, 0, "-p 0 -b 512 -f 25 -i 100 -q 31 -r 1 -t 0");
  const std::string oversized = Le32(100) + Le32(5000) + Le32(32) + Le32(0) + Le32(0) + "-p 0";
  struct Case {
    std::string name;
    Fault fault;
    std::string expected;
    bool closed;
  };
  const std::vector<Case> cases = {
      {"truncate then close", Fault::Truncate(10), normalRead.substr(0, 10), true},
      {"truncate inside the text, keep open", Fault::Truncate(25, false), normalRead.substr(0, 25), false},
      {"status", Fault::WithStatus(kVersionConflict), ReplyBytes(32, kVersionConflict, ""), false},
      {"raw oversized length", Fault::Raw(oversized, true), oversized, true},
      {"text", Fault::WithText("-p 0 -b 9x"), ReplyBytes(32, 0, "-p 0 -b 9x"), false},
  };
  for (const auto& c : cases) {
    sim_.SetFault(32, c.fault);
    RawClient client(sim_.Port());
    ASSERT_TRUE(client.Login()) << c.name;
    client.Send(32, "-p 0");
    bool closed = false;
    const std::string got = client.ReadUntilClosed(c.closed ? 2000ms : 300ms, &closed);
    EXPECT_EQ(got, c.expected) << c.name;
    EXPECT_EQ(closed, c.closed) << c.name;
  }
}

TEST_F(FaultTest, DelayedReplyArrivesLateAndIntact) {
  sim_.SetFault(32, Fault::Delay(300ms));
  RawClient client(sim_.Port());
  ASSERT_TRUE(client.Login());
  const auto start = Clock::now();
  client.Send(32, "-p 0");
  const auto reply = client.Receive();
  ASSERT_TRUE(reply);
  EXPECT_GE(Clock::now() - start, 290ms);
  EXPECT_EQ(reply->text, "-p 0 -b 512 -f 25 -i 100 -q 31 -r 1 -t 0");
}

TEST_F(FaultTest, DelayDoesNotHoldUpOtherConnections) {
  sim_.SetFault(45, Fault::Delay(1500ms, 1));
  RawClient slow(sim_.Port());
  slow.Send(45, "-u admin -p admin");
  ASSERT_TRUE(sim_.WaitForRequests(1, 1000ms));

  const auto start = Clock::now();
  RawClient fast(sim_.Port());
  EXPECT_TRUE(fast.Login());
  EXPECT_LT(Clock::now() - start, 1000ms);
  const auto late = slow.Receive(3000ms);
  ASSERT_TRUE(late);
  EXPECT_EQ(late->status, kSuccess);
}

TEST_F(FaultTest, NoReplyKeepsTheConnectionOpen) {
  sim_.SetFault(45, Fault::NoReply(1));
  RawClient client(sim_.Port());
  client.Send(45, "-u admin -p admin");
  EXPECT_FALSE(client.Receive(300ms));
  EXPECT_EQ(sim_.Stats().open, 1u);
  // Limited to one request: the next login is answered on the same connection.
  EXPECT_TRUE(client.Login());
}

TEST_F(FaultTest, CloseInsteadOfReplying) {
  sim_.SetFault(45, Fault::Close());
  RawClient client(sim_.Port());
  client.Send(45, "-u admin -p admin");
  EXPECT_TRUE(client.WaitClosed());
  ASSERT_TRUE(sim_.WaitForIdle(1000ms));
  EXPECT_EQ(sim_.Stats().closedByDevice, 1u);
}

TEST_F(FaultTest, CountedFaultRunsOutAndClearFaultsRestores) {
  sim_.SetFault(45, Fault::WithStatus(kWrongPassword, 2));
  sim_.SetFault(9, Fault::WithStatus(kVersionConflict));
  std::vector<int32_t> statuses;
  for (int i = 0; i < 3; ++i) {
    RawClient client(sim_.Port());
    statuses.push_back(client.Call(45, "-u admin -p admin"));
    if (statuses.back() == kSuccess) {
      EXPECT_EQ(client.Call(9, ""), kVersionConflict);
    }
  }
  EXPECT_EQ(statuses, (std::vector<int32_t>{kWrongPassword, kWrongPassword, kSuccess}));

  sim_.ClearFaults();
  RawClient client(sim_.Port());
  ASSERT_TRUE(client.Login());
  EXPECT_EQ(client.Call(9, ""), kSuccess);
}

TEST_F(FaultTest, ProcessFlagDecidesWhetherTheDeviceActs) {
  RawClient client(sim_.Port());
  ASSERT_TRUE(client.Login());

  sim_.SetFault(31, Fault::WithStatus(kInvalidArgument, 1));
  EXPECT_EQ(client.Call(31, "-p 0 -b 1000"), kInvalidArgument);
  EXPECT_EQ(sim_.State().videoPorts[0].encoder.bitrate, 1000);

  Fault ignored = Fault::WithStatus(kSuccess, 1);
  ignored.process = false;
  sim_.SetFault(31, ignored);
  EXPECT_EQ(client.Call(31, "-p 0 -b 2000"), kSuccess);
  EXPECT_EQ(sim_.State().videoPorts[0].encoder.bitrate, 1000);
}

}  // namespace
}  // namespace napisim::test
