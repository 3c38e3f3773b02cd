// What the simulated device answers: login gate, commands, refused values and bad headers.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "RawClient.h"
#include "napisim/ControlServer.h"
#include "napisim/Simulator.h"

namespace napisim::test {
namespace {

class ProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // These compare whole replies, free header fields included, with the usual ones.
    sim_.SetReplyFields(ReplyFields::kUsual);
    sim_.Start();
  }

  Simulator sim_;
};

TEST_F(ProtocolTest, LoginStatuses) {
  struct Case {
    std::string text;
    int32_t status;
  };
  const std::vector<Case> cases = {
      {"-u admin -p admin", kSuccess},       {"-u nobody -p admin", kUnknownUser},
      {"-u admin -p Admin", kWrongPassword}, {"-u admin -p ", kWrongPassword},
      {"-u  -p admin", kUnknownUser},        {"admin admin", kInvalidArgument},
  };
  for (const auto& c : cases) {
    RawClient client(sim_.Port());
    EXPECT_EQ(client.Call(45, c.text), c.status) << c.text;
  }
}

TEST_F(ProtocolTest, CommandsNeedASuccessfulLoginOnTheSameConnection) {
  {
    RawClient client(sim_.Port());
    EXPECT_EQ(client.Call(31, "-p 0 -b 1000"), kInvalidTicket);
    EXPECT_EQ(client.Call(45, "-u admin -p wrong"), kWrongPassword);
    EXPECT_EQ(client.Call(9, ""), kInvalidTicket);
  }
  EXPECT_EQ(sim_.State().videoPorts[0].encoder.bitrate, 512);
  EXPECT_EQ(sim_.State().command9Count, 0);

  RawClient loggedIn(sim_.Port());
  ASSERT_TRUE(loggedIn.Login());
  RawClient other(sim_.Port());
  EXPECT_EQ(other.Call(9, ""), kInvalidTicket);
}

TEST_F(ProtocolTest, AccountCommandAddsALoginAndKeepsTheOthers) {
  {
    RawClient client(sim_.Port());
    ASSERT_TRUE(client.Login());
    EXPECT_EQ(client.Call(41, "-u operator -p s3cret"), kSuccess);
  }
  RawClient asOperator(sim_.Port());
  EXPECT_TRUE(asOperator.Login("operator", "s3cret"));
  EXPECT_EQ(asOperator.Call(41, "-u admin -p changed"), kSuccess);
  RawClient oldPassword(sim_.Port());
  EXPECT_EQ(oldPassword.Call(45, "-u admin -p admin"), kWrongPassword);
  RawClient newPassword(sim_.Port());
  EXPECT_TRUE(newPassword.Login("admin", "changed"));
  EXPECT_EQ(sim_.State().account.user, "admin");
  EXPECT_EQ(sim_.State().account.password, "changed");
}

TEST_F(ProtocolTest, WriteThenReadRoundTrips) {
  struct Write {
    int32_t command;
    std::string text;
    bool withNul;
  };
  struct Case {
    std::string name;
    std::vector<Write> writes;
    int32_t readCommand;
    std::string readText;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"encoder all values, counted NUL",
       {{31, "-p 2 -b 2048 -f 30 -i 50 -q 20 -r 3 -t abc", true}},
       32,
       "-p 2",
       "-p 2 -b 2048 -f 30 -i 50 -q 20 -r 3 -t abc"},
      {"encoder one value keeps the others",
       {{31, "-p 1 -f 12", false}},
       32,
       "-p 1",
       "-p 1 -b 512 -f 12 -i 100 -q 31 -r 1 -t 0"},
      {"picture with negative values and trailing blank",
       {{21, "-p 0 -b 200 -c -10 -s 5 -h -128 ", false}, {23, "-p 0 -s 127", false}},
       22,
       "-p 0",
       "-p 0 -b 200 -c -10 -s 127 -h -128"},
      {"mask",
       {{29, "-p 3 -b 1 -l 10 -t 20 -w 100 -h 50", false}},
       30,
       "-p 3",
       "-p 3 -b 1 -l 10 -t 20 -w 100 -h 50"},
      {"motion region does not touch the mask",
       {{29, "-p 1 -b 1 -l 604 -t 476 -w 100 -h 100 -d 3", false}},
       28,
       "-p 1",
       "-p 1 -b 1 -l 604 -t 476 -w 100 -h 100 -d 3"},
      {"caption with blanks and hyphens, then clock",
       {{25, "-p 1 -g 1 -l 3 -w Gate 4 - north -o", false}, {25, "-p 1 -o 1 -t 8", false}},
       26,
       "-p 1",
       "-p 1 -g 1 -l 3 -o 1 -t 8 -w Gate 4 - north -o"},
      {"empty caption", {{25, "-p 0 -g 0 -l 2 -w ", false}}, 26, "-p 0", "-p 0 -g 0 -l 2 -o 0 -t 1 -w "},
      {"network, all three",
       {{4, "-a 10.1.2.3 -m 255.255.0.0 -g 10.1.0.1", false}},
       5,
       "",
       "-i 10.1.2.3-a 10.1.2.3-m 255.255.0.0-g 10.1.0.1"},
      {"network, gateway only",
       {{4, "-g 192.0.2.254", true}},
       5,
       "",
       "-i 192.0.2.10-a 192.0.2.10-m 255.255.255.0-g 192.0.2.254"},
      {"serial", {{6, "-p 2 -b 115200", false}}, 7, "-p 2", "-p 2 -b 115200"},
      {"serial other port untouched", {{6, "-p 2 -b 1200", false}}, 7, "-p 1", "-p 1 -b 9600"},
      {"version", {}, 1, "-p 1", "-p 1 -b 20261208 -n 3"},
  };
  for (const auto& c : cases) {
    Simulator sim;
    sim.SetReplyFields(ReplyFields::kUsual);  // the reply's command field is read below
    sim.Start();
    RawClient client(sim.Port());
    ASSERT_TRUE(client.Login()) << c.name;
    for (const auto& w : c.writes) EXPECT_EQ(client.Call(w.command, w.text, w.withNul), kSuccess) << c.name;
    client.Send(c.readCommand, c.readText);
    const auto reply = client.Receive();
    ASSERT_TRUE(reply) << c.name;
    EXPECT_EQ(reply->command, c.readCommand) << c.name;
    EXPECT_EQ(reply->status, kSuccess) << c.name;
    EXPECT_EQ(reply->text, c.expected) << c.name;
  }
}

TEST_F(ProtocolTest, WritesWithoutReadCommandReachTheState) {
  RawClient client(sim_.Port());
  ASSERT_TRUE(client.Login());
  const std::vector<std::pair<int32_t, std::string>> writes = {
      {3, "-d 2026128 -t 102030"}, {61, "-n 3 -p 2"},          {62, "-p 2 -a 255"},
      {62, "-p 1 -r 7 -s -3"},     {70, "-p 5 -b 200"},        {60, "-p 2 -c 4"},
      {60, "-p 3 -c 11"},          {51, "-p 4 -t  -a y -o 9"}, {52, "-p 1 -t abc -a  -o 0"},
  };
  for (const auto& [command, text] : writes) EXPECT_EQ(client.Call(command, text), kSuccess) << text;

  const DeviceState state = sim_.State();
  EXPECT_EQ(state.clock.date, "2026128");
  EXPECT_EQ(state.clock.time, "102030");
  EXPECT_EQ(state.ptzHeads[3].protocol, 2);
  EXPECT_EQ(state.ptzHeads[2].address, 255);
  EXPECT_TRUE(state.videoPorts[1].ptzParameters.set);
  EXPECT_EQ(state.videoPorts[1].ptzParameters.r, 7);
  EXPECT_EQ(state.videoPorts[1].ptzParameters.s, -3);
  EXPECT_EQ(state.portSettings.at(5), 200);
  EXPECT_EQ(state.videoPorts[2].ptz.action, 4);
  EXPECT_TRUE(state.videoPorts[3].ptz.autoMode);
  EXPECT_EQ(state.last51.p, 4);
  EXPECT_EQ(state.last51.t, "");
  EXPECT_EQ(state.last51.a, "y");
  EXPECT_EQ(state.last51.o, 9);
  EXPECT_EQ(state.last52.t, "abc");
  EXPECT_EQ(state.last52.a, "");

  EXPECT_EQ(client.Call(60, "-p 2 -c 12"), kSuccess);
  EXPECT_EQ(sim_.State().videoPorts[2].ptz.action, 0);
}

TEST_F(ProtocolTest, RefusedRequestsGetTheirStatus) {
  struct Case {
    int32_t command;
    std::string text;
    int32_t status;
  };
  const std::vector<Case> cases = {
      // No such video port.
      {32, "-p 4", kWrongVideoPort},
      {31, "-p -1 -b 100", kWrongVideoPort},
      {29, "-p 9 -b 1 -l 0 -t 0 -w 1 -h 1", kWrongVideoPort},
      {26, "-p 4", kWrongVideoPort},
      {60, "-p 7 -c 1", kWrongVideoPort},
      {62, "-p 4 -r 1 -s 2", kWrongVideoPort},
      // Values out of range.
      {31, "-p 0 -b 15", kInvalidArgument},
      {31, "-p 0 -f 61", kInvalidArgument},
      {31, "-p 0 -t " + std::string(33, 'x'), kInvalidArgument},
      {21, "-p 0 -c 128", kInvalidArgument},
      {21, "-p 0 -b -1", kInvalidArgument},
      {6, "-p 1 -b 1234", kInvalidArgument},
      {6, "-p 3 -b 9600", kInvalidArgument},
      {7, "-p 0", kInvalidArgument},
      {29, "-p 0 -b 1 -l 700 -t 0 -w 5 -h 5", kInvalidArgument},
      {29, "-p 0 -b 1 -l 0 -t 500 -w 5 -h 77", kInvalidArgument},
      {29, "-p 0 -b 2 -l 0 -t 0 -w 5 -h 5", kInvalidArgument},
      {29, "-p 0 -b 1 -l 0 -t 0 -w 5 -h 5 -d 101", kInvalidArgument},
      {25, "-p 0 -g 1 -l 9 -w x", kInvalidArgument},
      {25, "-p 0 -o 1 -t 0", kInvalidArgument},
      {25, "-p 0 -g 1 -l 1 -w " + std::string(201, 'c'), kInvalidArgument},
      {4, "-a 1.2.3", kInvalidArgument},
      {4, "-a 1.2.3.256", kInvalidArgument},
      {4, "-m 255.255.255.0 -a host", kInvalidArgument},
      {3, "-d 2026-12-8", kInvalidArgument},
      {61, "-n 4 -p 1", kInvalidArgument},
      {61, "-n 0 -p 3", kInvalidArgument},
      {62, "-p 0 -a 256", kInvalidArgument},
      {70, "-p 1 -b 256", kInvalidArgument},
      {60, "-p 0 -c 13", kInvalidArgument},
      {1, "-p 2", kInvalidArgument},
      // Not understood at all.
      {31, "garbage", kInvalidArgument},
      {31, "-p 0 -z 1", kInvalidArgument},
      {31, "-p0", kInvalidArgument},
      {32, "", kInvalidArgument},
      {41, "-u x", kInvalidArgument},
      // Unknown commands.
      {99, "", kUnknownCommand},
      {0, "-p 0", kUnknownCommand},
      {-5, "", kUnknownCommand},
  };
  RawClient client(sim_.Port());
  ASSERT_TRUE(client.Login());
  for (const auto& c : cases) {
    client.Send(c.command, c.text);
    const auto reply = client.Receive();
    ASSERT_TRUE(reply) << c.command << " " << c.text;
    EXPECT_EQ(reply->status, c.status) << c.command << " " << c.text;
    EXPECT_EQ(reply->text, "") << c.command << " " << c.text;
  }
  const DeviceState state = sim_.State();
  EXPECT_EQ(state.network.ip, "192.0.2.10");
  EXPECT_EQ(state.network.mask, "255.255.255.0");
}

TEST_F(ProtocolTest, RefusedWriteChangesNothing) {
  RawClient client(sim_.Port());
  ASSERT_TRUE(client.Login());
  EXPECT_EQ(client.Call(31, "-p 0 -b 1000 -f 99"), kInvalidArgument);
  EXPECT_EQ(client.Call(21, "-p 0 -b 10 -h 300"), kInvalidArgument);
  EXPECT_EQ(client.Call(4, "-a 10.0.0.1 -g 10.0.0"), kInvalidArgument);
  const DeviceState state = sim_.State();
  EXPECT_EQ(state.videoPorts[0].encoder.bitrate, 512);
  EXPECT_EQ(state.videoPorts[0].picture.brightness, 128);
  EXPECT_EQ(state.network.ip, "192.0.2.10");
}

TEST_F(ProtocolTest, BadHeaderClosesOnlyThatConnection) {
  struct Case {
    std::string name;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"wrong magic", RequestHeader(7, 0, 45)},
      {"negative length", RequestHeader(100, -1, 45)},
      {"length above 256", RequestHeader(100, 257, 45)},
      {"huge length", RequestHeader(100, 0x7FFFFFFF, 31)},
  };
  RawClient bystander(sim_.Port());
  ASSERT_TRUE(bystander.Login());
  for (const auto& c : cases) {
    RawClient client(sim_.Port());
    client.SendBytes(c.bytes);
    EXPECT_TRUE(client.WaitClosed()) << c.name;
    const auto requests = sim_.Requests();
    ASSERT_FALSE(requests.empty()) << c.name;
    EXPECT_TRUE(requests.back().badHeader) << c.name;
  }
  EXPECT_EQ(bystander.Call(9, ""), kSuccess);

  // 256 is still a valid length.
  RawClient longest(sim_.Port());
  ASSERT_TRUE(longest.Login());
  EXPECT_EQ(longest.Call(9, std::string(256, 'x')), kSuccess);
}

TEST_F(ProtocolTest, Command8IsNeverAnsweredButTheConnectionStaysUsable) {
  RawClient client(sim_.Port());
  ASSERT_TRUE(client.Login());
  client.Send(8, "");
  EXPECT_FALSE(client.Receive(300ms));
  EXPECT_EQ(sim_.State().command8Count, 1);
  EXPECT_EQ(sim_.Stats().open, 1u);
  EXPECT_EQ(client.Call(9, ""), kSuccess);
  EXPECT_EQ(sim_.State().command9Count, 1);
}

TEST_F(ProtocolTest, RecordsRequestsAsReceived) {
  {
    RawClient first(sim_.Port());
    ASSERT_TRUE(first.Login());
    EXPECT_EQ(first.Call(31, "-p 0 -t x", true), kSuccess);
  }
  RawClient second(sim_.Port());
  ASSERT_TRUE(second.Login());
  ASSERT_TRUE(sim_.WaitForRequests(3, 1000ms));

  const auto requests = sim_.Requests();
  ASSERT_EQ(requests.size(), 3u);
  const auto& encoder = requests[1];
  EXPECT_EQ(encoder.command, 31);
  EXPECT_EQ(encoder.textLength, 10);
  EXPECT_EQ(encoder.text, std::string("-p 0 -t x\0", 10));
  EXPECT_EQ(std::string(encoder.raw.begin(), encoder.raw.end()), Request(31, "-p 0 -t x", true));
  EXPECT_EQ(requests[0].connection, encoder.connection);
  EXPECT_NE(requests[2].connection, encoder.connection);

  sim_.ClearRequests();
  EXPECT_TRUE(sim_.Requests().empty());
}

// The header fields a client does not interpret are the device's choice; tests run against each.
TEST_F(ProtocolTest, TheFreeReplyFieldsAreWhatTheDeviceChooses) {
  auto reply = [&] {
    RawClient client(sim_.Port());
    EXPECT_TRUE(client.Login());
    client.Send(26, "-p 0");
    return client.Receive().value_or(Reply{});
  };
  sim_.SetReplyFields(ReplyFields::kUsual);  // whatever the run's environment chose
  const Reply usual = reply();
  EXPECT_EQ(usual.magic, kMagic);
  EXPECT_EQ(usual.command, 26);
  EXPECT_EQ(usual.reserved, 0);

  AnswerControlRequest(sim_, {{"op", "set-reply-fields"}, {"fields", "zero"}});
  const Reply zero = reply();
  EXPECT_EQ(zero.magic, 0);
  EXPECT_EQ(zero.command, 0);
  EXPECT_EQ(zero.status, kSuccess);
  EXPECT_FALSE(zero.text.empty());

  sim_.SetReplyFields(ReplyFields::kDrawn);
  const Reply first = reply();
  const Reply second = reply();
  for (const Reply& drawn : {first, second}) {
    EXPECT_NE(drawn.magic & 0xFF, kMagic);
    EXPECT_EQ(drawn.text, zero.text);
  }
  EXPECT_NE(first.magic, second.magic);
  EXPECT_EQ(sim_.GetReplyFields(), ReplyFields::kDrawn);
  EXPECT_THROW(AnswerControlRequest(sim_, {{"op", "set-reply-fields"}, {"fields", "hundred"}}),
               std::invalid_argument);
  sim_.Reset();
  EXPECT_EQ(sim_.GetReplyFields(), DefaultReplyFields());
}

}  // namespace
}  // namespace napisim::test
