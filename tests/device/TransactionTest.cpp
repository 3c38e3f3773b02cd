// The transaction every device operation shares, against a simulated device over loopback TCP:
// login, one request, one reply, status mapping, and the connection closed on every way out.
#include <chrono>
#include <string>

#include "support/DeviceFixture.h"

namespace vml::testing {
namespace {

using napisim::Fault;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

using Transaction = DeviceTest;

std::vector<uint8_t> Hex(std::initializer_list<int> bytes) {
  std::vector<uint8_t> out;
  for (int b : bytes) out.push_back(static_cast<uint8_t>(b));
  return out;
}

TEST_F(Transaction, SendsTheProtocolsOwnExampleBytes) {
  ASSERT_TRUE(command->PtzStop());
  EXPECT_EQ(LastCommand().raw, Hex({0x64, 0, 0, 0,    0x0a, 0,    0,    0,    0x3c, 0,    0,    0,    0,
                                    0,    0, 0, 0x2d, 0x70, 0x20, 0x30, 0x20, 0x2d, 0x63, 0x20, 0x31, 0x32}));
  command->SetVideoPort(1);
  ASSERT_TRUE(command->SetVideoBitrate(128));
  EXPECT_EQ(LastCommand().raw,
            Hex({0x64, 0, 0,    0,    0x0c, 0,    0,    0,    0x1f, 0,    0,    0,    0,    0,
                 0,    0, 0x2d, 0x70, 0x20, 0x31, 0x20, 0x2d, 0x62, 0x20, 0x31, 0x32, 0x38, 0x00}));
}

TEST_F(Transaction, LogsInFirstOnEveryConnectionAndClosesIt) {
  ASSERT_TRUE(command->PtzStop());
  ASSERT_TRUE(command->PtzStop());
  auto requests = device.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].command, napisim::kLoginCommand);
  EXPECT_EQ(requests[0].text, "-u admin -p admin");
  EXPECT_EQ(requests[0].textLength, 17);
  EXPECT_EQ(requests[0].connection, requests[1].connection);
  EXPECT_NE(requests[1].connection, requests[2].connection);
  EXPECT_TRUE(AllClosed());
  EXPECT_EQ(device.Stats().accepted, 2u);
}

TEST_F(Transaction, MapsEveryStatusToItsCode) {
  struct Case {
    int32_t status;
    int32_t code;
  } cases[] = {{1, 18}, {2, 16}, {3, 15}, {4, 16},  {5, 14},  {6, 11},
               {7, 12}, {8, 13}, {9, 17}, {10, 16}, {64, 16}, {-1, 16}};
  for (const Case& c : cases) {
    device.SetFault(60, Fault::WithStatus(c.status));
    SetLastErrorCode(kSuccess);
    EXPECT_FALSE(command->PtzStop()) << c.status;
    EXPECT_EQ(LastErrorCode(), c.code) << c.status;
  }
  EXPECT_TRUE(AllClosed());
}

TEST_F(Transaction, NothingIsSentWithoutTheNetworkLink) {
  ASSERT_TRUE(command->CloseLink());
  SetLastErrorCode(kWrongVideoPort);
  EXPECT_FALSE(command->PtzStop());
  EXPECT_EQ(command->GetVideoBitrate(), 0);
  EXPECT_FALSE(command->SendCommand8());
  VideoSettings settings{};
  EXPECT_FALSE(command->GetVideoSettings(&settings));
  EXPECT_EQ(LastErrorCode(), kWrongVideoPort);
  EXPECT_EQ(device.Stats().accepted, 0u);
}

class LoginLimits : public DeviceTest {
 protected:
  LoginLimits() : DeviceTest(Options()) {}
  static napisim::Options Options() {
    napisim::Options options;
    options.accounts = {{"admin", "admin"}, {std::string(16, 'u'), std::string(8, 'p')}};
    return options;
  }
};

TEST_F(LoginLimits, SixteenAndEightCharactersAreTheLongestSent) {
  std::string user(16, 'u'), password(8, 'p');
  ASSERT_TRUE(command->SetNetworkTarget("127.0.0.1", device.Port(), user.c_str(), password.c_str()));
  EXPECT_TRUE(command->PtzStop());
  for (auto [u, p] : {std::pair{user + "u", password}, std::pair{user, password + "p"}}) {
    ASSERT_TRUE(command->SetNetworkTarget("127.0.0.1", device.Port(), u.c_str(), p.c_str()));
    SetLastErrorCode(kWrongVideoPort);
    EXPECT_FALSE(command->PtzStop());
    EXPECT_EQ(LastErrorCode(), kWrongVideoPort);
  }
  EXPECT_EQ(device.Stats().accepted, 1u);
}

TEST_F(Transaction, ARefusedLoginLeavesTheCodeAndItsConnectionOpen) {
  ASSERT_TRUE(command->SetNetworkTarget("127.0.0.1", device.Port(), "admin", "wrong"));
  SetLastErrorCode(kInvalidArgument);
  EXPECT_FALSE(command->PtzStop());
  EXPECT_EQ(LastErrorCode(), kInvalidArgument);
  EXPECT_TRUE(Commands().empty());
  EXPECT_EQ(device.Stats().open, 1u);
  // The next login, a closed link or the object's end closes it.
  ASSERT_TRUE(command->CloseLink());
  EXPECT_TRUE(AllClosed());
}

TEST_F(Transaction, TransportFailuresLeaveTheCodeAndCloseTheConnection) {
  struct Case {
    const char* name;
    Fault fault;
  } cases[] = {
      {"device closes", Fault::Close()},
      {"no reply", Fault::NoReply()},
      {"empty reply", Fault::Raw("", true)},
  };
  for (const Case& c : cases) {
    device.SetFault(60, c.fault);
    SetLastErrorCode(kWrongPassword);
    auto start = Clock::now();
    EXPECT_FALSE(command->PtzStop()) << c.name;
    EXPECT_LT(Clock::now() - start, milliseconds(2500)) << c.name;
    EXPECT_EQ(LastErrorCode(), kWrongPassword) << c.name;
    EXPECT_TRUE(AllClosed()) << c.name;
  }
}

TEST_F(Transaction, ADeviceThatNeverAnswersIsGivenUpAfterAboutOneSecond) {
  device.SetFault(51, Fault::NoReply());
  auto start = Clock::now();
  EXPECT_FALSE(command->SendCommand51(1, "a", "b", 0));
  auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, milliseconds(900));
  EXPECT_LT(elapsed, milliseconds(2500));
}

TEST_F(Transaction, NothingListeningFailsWithinAbout100Ms) {
  uint16_t port = device.Port();
  device.Stop();
  ASSERT_TRUE(command->SetNetworkTarget("127.0.0.1", port, "admin", "admin"));
  auto start = Clock::now();
  EXPECT_FALSE(command->PtzStop());
  EXPECT_LT(Clock::now() - start, milliseconds(300));
}

TEST_F(Transaction, AOneByteReplyCountsAsStatusZero) {
  device.SetFault(60, Fault::Truncate(1));
  SetLastErrorCode(kWrongPassword);
  EXPECT_TRUE(command->PtzStop());
  EXPECT_EQ(LastErrorCode(), kSuccess);
  device.SetFault(32, Fault::Truncate(16));
  EXPECT_EQ(command->GetVideoBitrate(), 0);  // no text: the letter is missing
}

TEST_F(Transaction, ALoginReplyOfOneByteReadsAsAcceptedNeverAsStaleBytes) {
  // The earlier reply left a non-zero status in the buffer; a short login reply must not
  // inherit it.
  device.SetFault(60, Fault::WithStatus(7, 1));
  EXPECT_FALSE(command->PtzStop());
  device.SetFault(napisim::kLoginCommand, Fault::Truncate(1, false, 1));
  EXPECT_TRUE(command->PtzStop());
}

TEST_F(Transaction, OversizedAndMalformedRepliesAreReadSafely) {
  std::string huge(20, '\0');
  huge[0] = 100;
  huge[4] = '\x7f';  // textLength far beyond the buffer
  huge += std::string(1000, 'b');
  device.SetFault(32, Fault::Raw(huge, true));
  EXPECT_EQ(command->GetVideoBitrate(), 0);
  char address[VMLCMD_ADDRESS_BUFFER_SIZE];
  std::string noHyphens(20, '\0');
  noHyphens[0] = 100;
  noHyphens[4] = '\xff';
  noHyphens[5] = '\xff';
  noHyphens[6] = '\xff';
  noHyphens[7] = '\xff';  // textLength -1
  noHyphens += "-i 1.2.3.4";
  device.SetFault(5, Fault::Raw(noHyphens, true));
  std::strcpy(address, "unchanged");
  EXPECT_TRUE(command->GetIpAddress(address));
  EXPECT_STREQ(address, "unchanged");
}

TEST_F(Transaction, TooLongOrNullTextsAreRefusedBeforeAnyConnection) {
  std::string longText(300, 'x');
  struct Case {
    const char* name;
    bool (*call)(ICommand&, const char*);
  } cases[] = {
      {"SetIpAddress", [](ICommand& c, const char* t) { return c.SetIpAddress(t); }},
      {"SetNetworkConfig", [](ICommand& c, const char* t) { return c.SetNetworkConfig(t, "m", "g"); }},
      {"SetAccount", [](ICommand& c, const char* t) { return c.SetAccount("u", t); }},
      {"SendCommand51", [](ICommand& c, const char* t) { return c.SendCommand51(1, t, "a", 2); }},
      {"SetVideoParamT", [](ICommand& c, const char* t) { return c.SetVideoParamT(t, 0); }},
      {"SetOsdCaption", [](ICommand& c, const char* t) { return c.SetOsdCaption(true, 0, t); }},
  };
  for (const Case& c : cases) {
    for (const char* text : {longText.c_str(), static_cast<const char*>(nullptr)}) {
      SetLastErrorCode(kSuccess);
      EXPECT_FALSE(c.call(*command, text)) << c.name;
      EXPECT_EQ(LastErrorCode(), kInvalidArgument) << c.name;
    }
  }
  EXPECT_EQ(device.Stats().accepted, 0u);
}

// The device splits a request at every hyphen: a free text holding one would arrive cut while
// the operation reported success.
TEST_F(Transaction, TextsHoldingAHyphenAreRefusedBeforeAnyConnection) {
  struct Case {
    const char* name;
    bool (*call)(ICommand&, const char*);
  } cases[] = {
      {"SetIpAddress", [](ICommand& c, const char* t) { return c.SetIpAddress(t); }},
      {"SetSubnetMask", [](ICommand& c, const char* t) { return c.SetSubnetMask(t); }},
      {"SetGateway", [](ICommand& c, const char* t) { return c.SetGateway(t); }},
      {"SetNetworkConfig ip", [](ICommand& c, const char* t) { return c.SetNetworkConfig(t, "m", "g"); }},
      {"SetNetworkConfig mask", [](ICommand& c, const char* t) { return c.SetNetworkConfig("i", t, "g"); }},
      {"SetNetworkConfig gateway",
       [](ICommand& c, const char* t) { return c.SetNetworkConfig("i", "m", t); }},
      {"SetAccount user", [](ICommand& c, const char* t) { return c.SetAccount(t, "p"); }},
      {"SetAccount password", [](ICommand& c, const char* t) { return c.SetAccount("u", t); }},
      {"SetVideoParamT", [](ICommand& c, const char* t) { return c.SetVideoParamT(t, 0); }},
      {"SetOsdCaption", [](ICommand& c, const char* t) { return c.SetOsdCaption(true, 0, t); }},
  };
  for (const Case& c : cases) {
    for (const char* text : {"Gate-1 north", "-", "x-"}) {
      SetLastErrorCode(kSuccess);
      EXPECT_FALSE(c.call(*command, text)) << c.name << " " << text;
      EXPECT_EQ(LastErrorCode(), kInvalidArgument) << c.name;
      VmlCmdOutcome outcome{};
      outcome.size = sizeof outcome;
      ASSERT_TRUE(VmlCmdGetLastOutcome(command, &outcome));
      EXPECT_EQ(outcome.stage, VmlCmdStageArgumentRefused) << c.name;
    }
  }
  EXPECT_EQ(device.Stats().accepted, 0u);

  // The login's user name and password travel the same way; the target stays as it was.
  SetLastErrorCode(kSuccess);
  EXPECT_FALSE(command->SetNetworkTarget("127.0.0.1", device.Port(), "ad-min", "admin"));
  EXPECT_FALSE(command->SetNetworkTarget("127.0.0.1", device.Port(), "admin", "pa-ss"));
  EXPECT_EQ(LastErrorCode(), kInvalidArgument);
  EXPECT_TRUE(command->SendCommand9());  // logs in with the account set before

  // Commands 51 and 52 carry their texts as given: the library knows nothing of their options.
  device.ClearRequests();
  command->SendCommand51(1, "x -b 2", "y", 0);  // whatever the device makes of it
  EXPECT_EQ(device.Requests().back().text, "-p 1 -t x -b 2 -a y -o 0");
}

TEST_F(Transaction, ReleasingTheObjectClosesALeftOpenConnection) {
  ASSERT_TRUE(command->SetNetworkTarget("127.0.0.1", device.Port(), "nobody", "x"));
  EXPECT_FALSE(command->PtzStop());
  EXPECT_EQ(device.Stats().open, 1u);
  command->Release();
  command = nullptr;
  EXPECT_TRUE(AllClosed());
}

}  // namespace
}  // namespace vml::testing
