// The Windows platform layer on its own: memory the host hands over, the string table in the
// host's code page, Winsock time-outs and the serial port's confirmation.
#include <winsock2.h>
// winsock2.h must come first: windows.h would otherwise pull in the old winsock.h.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "napi/TcpChannel.h"
#include "platform/Platform.h"

namespace vml::platform {
namespace {

using Clock = std::chrono::steady_clock;

// ---- GuardedCopy ----------------------------------------------------------------------------

class GuardedCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    pageSize_ = info.dwPageSize;
    pages_ =
        static_cast<char*>(::VirtualAlloc(nullptr, 2 * pageSize_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(pages_, nullptr);
  }
  void TearDown() override { ::VirtualFree(pages_, 0, MEM_RELEASE); }
  void Protect(char* page, DWORD protection) {
    DWORD old = 0;
    ASSERT_TRUE(::VirtualProtect(page, pageSize_, protection, &old));
  }

  DWORD pageSize_ = 0;
  char* pages_ = nullptr;
};

TEST_F(GuardedCopyTest, CopiesIntoWritableMemory) {
  EXPECT_TRUE(GuardedCopy(pages_ + pageSize_ - 3, "abcdef", 6));  // across the two pages
  EXPECT_EQ(std::memcmp(pages_ + pageSize_ - 3, "abcdef", 6), 0);
}

TEST_F(GuardedCopyTest, RefusesReadOnlyAndInaccessiblePages) {
  Protect(pages_, PAGE_READONLY);
  EXPECT_FALSE(GuardedCopy(pages_, "vormel", 7));
  EXPECT_EQ(pages_[0], '\0');
  Protect(pages_, PAGE_NOACCESS);
  EXPECT_FALSE(GuardedCopy(pages_, "vormel", 7));
}

TEST_F(GuardedCopyTest, WritesNothingWhenTheTailIsReadOnly) {
  Protect(pages_ + pageSize_, PAGE_READONLY);
  EXPECT_FALSE(GuardedCopy(pages_ + pageSize_ - 3, "abcdef", 6));
  EXPECT_EQ(pages_[pageSize_ - 3], '\0');
}

TEST_F(GuardedCopyTest, RefusesFreedMemory) {
  char* freed =
      static_cast<char*>(::VirtualAlloc(nullptr, pageSize_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(freed, nullptr);
  ::VirtualFree(freed, 0, MEM_RELEASE);
  EXPECT_FALSE(GuardedCopy(freed, "vormel", 7));
}

// ---- LoadText --------------------------------------------------------------------------------

TEST(LoadTextTest, GivesTheTextsInTheSimplifiedChineseCodePage) {
  if (::GetACP() != 936) GTEST_SKIP() << "code page " << ::GetACP() << ", run under LC_ALL=zh_CN.UTF-8";
  char text[64];
  EXPECT_EQ(LoadText(9, text, sizeof text), 4);
  EXPECT_STREQ(text, "\xb3\xc9\xb9\xa6");
  for (int id = 4; id <= 8; ++id) {
    EXPECT_EQ(LoadText(id, text, sizeof text), 8) << id;
    EXPECT_STREQ(text, "OSD \xc9\xe8\xd6\xc3") << id;
  }
  EXPECT_EQ(LoadText(18, text, sizeof text), 12);
  EXPECT_STREQ(text, "NAPI\xb0\xe6\xb1\xbe\xb3\xe5\xcd\xbb");
}

TEST(LoadTextTest, CutsBeforeAWholeCharacter) {
  if (::GetACP() != 936) GTEST_SKIP() << "code page " << ::GetACP();
  char text[8];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(LoadText(9, text, 4), 2);  // room for three bytes holds one two-byte character
  EXPECT_STREQ(text, "\xb3\xc9");
  EXPECT_EQ(LoadText(9, text, 5), 4);
  EXPECT_EQ(LoadText(9, text, 1), 0);
  EXPECT_STREQ(text, "");
}

TEST(LoadTextTest, GivesNothingForUnknownIdsOrNoBuffer) {
  char text[16] = "unchanged";
  EXPECT_EQ(LoadText(0, text, sizeof text), 0);
  EXPECT_STREQ(text, "");
  std::strcpy(text, "unchanged");
  EXPECT_EQ(LoadText(99, text, sizeof text), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(LoadText(-1, text, sizeof text), 0);
  EXPECT_EQ(LoadText(9, nullptr, 16), 0);
  EXPECT_EQ(LoadText(9, text, 0), 0);
}

// ---- Sockets ---------------------------------------------------------------------------------

class SocketTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartSockets(); }

  void SetUp() override {
    listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(listener_, INVALID_SOCKET);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    int length = static_cast<int>(sizeof address);
    ASSERT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length), 0);
    port_ = ::ntohs(address.sin_port);
  }
  void TearDown() override {
    if (peer_ != INVALID_SOCKET) ::closesocket(peer_);
    ::closesocket(listener_);
  }
  void Listen() { ASSERT_EQ(::listen(listener_, 1), 0); }
  void Accept() {
    peer_ = ::accept(listener_, nullptr, nullptr);
    ASSERT_NE(peer_, INVALID_SOCKET);
  }

  SOCKET listener_ = INVALID_SOCKET;
  SOCKET peer_ = INVALID_SOCKET;
  int port_ = 0;
};

TEST_F(SocketTest, ParsesDottedQuadsOnly) {
  std::uint32_t address = 0;
  ASSERT_TRUE(ParseIpv4("127.0.0.1", address));
  EXPECT_EQ(address, ::htonl(INADDR_LOOPBACK));
  EXPECT_FALSE(ParseIpv4("255.255.255.255", address));
  EXPECT_FALSE(ParseIpv4("localhost", address));
  EXPECT_FALSE(ParseIpv4(nullptr, address));
}

TEST_F(SocketTest, RefusedConnectFailsWithinTheConnectTimeout) {
  // The port is bound but nothing listens: Winsock reports the refusal in the except set.
  napi::TcpChannel channel;
  auto start = Clock::now();
  EXPECT_FALSE(channel.Connect("127.0.0.1", port_));
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(400));
  EXPECT_FALSE(channel.IsOpen());
}

TEST_F(SocketTest, ExchangesBytesWithAListeningPeer) {
  Listen();
  napi::TcpChannel channel;
  ASSERT_TRUE(channel.Connect("127.0.0.1", port_));
  Accept();
  EXPECT_TRUE(channel.Send("ping", 4));
  char buffer[8] = {};
  EXPECT_EQ(::recv(peer_, buffer, sizeof buffer, 0), 4);
  EXPECT_EQ(::send(peer_, "pong!", 5, 0), 5);
  EXPECT_EQ(channel.Receive(buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "pong!");
  ::closesocket(peer_);
  peer_ = INVALID_SOCKET;
  EXPECT_EQ(channel.Receive(buffer, sizeof buffer), 0);  // the peer closed
}

TEST_F(SocketTest, SilentPeerTimesOutAfterAboutOneSecond) {
  // The receive limit is a DWORD of milliseconds on Windows: a wrong form gives no limit or a
  // far shorter one.
  Listen();
  napi::TcpChannel channel;
  ASSERT_TRUE(channel.Connect("127.0.0.1", port_));
  Accept();
  char buffer[8];
  auto start = Clock::now();
  EXPECT_EQ(channel.Receive(buffer, sizeof buffer), -1);
  auto elapsed = Clock::now() - start;
  EXPECT_GT(elapsed, std::chrono::milliseconds(700));
  EXPECT_LT(elapsed, std::chrono::milliseconds(3000));
}

// ---- Serial port -----------------------------------------------------------------------------

struct Prompt {
  bool answer = true;
  int calls = 0;
  std::string portName;
  VmlCmdSerialSettings offered{};
  VmlCmdSerialSettings chosen{};
};

bool Confirm(const char* portName, VmlCmdSerialSettings* settings, void* context) {
  auto* prompt = static_cast<Prompt*>(context);
  ++prompt->calls;
  prompt->portName = portName;
  prompt->offered = *settings;
  if (prompt->answer) *settings = prompt->chosen;
  return prompt->answer;
}

class SerialTest : public ::testing::Test {
 protected:
  void TearDown() override { SetSerialConfirm(nullptr, nullptr); }
};

TEST_F(SerialTest, MissingPortFailsAfterConfirmation) {
  Prompt prompt;
  prompt.chosen = {115200, 8, 0, 0, 0};
  SetSerialConfirm(Confirm, &prompt);
  SerialPort port;
  EXPECT_FALSE(port.Open(250));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(prompt.calls, 1);
  EXPECT_EQ(prompt.portName, "com250");
  EXPECT_EQ(prompt.offered.baudRate, 115200u);
  EXPECT_EQ(prompt.offered.byteSize, 8);
  EXPECT_EQ(prompt.offered.parity, 0);
  EXPECT_EQ(prompt.offered.stopBits, 0);
}

TEST_F(SerialTest, DeclinedSettingsOpenNothing) {
  Prompt prompt;
  prompt.answer = false;
  SetSerialConfirm(Confirm, &prompt);
  SerialPort port;
  EXPECT_FALSE(port.Open(1));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(prompt.calls, 1);
  port.Close();  // closing what never opened is harmless
}

TEST_F(SerialTest, ChosenSettingsComeBackThroughTheDeviceBlock) {
  Prompt prompt;
  prompt.chosen = {9600, 7, 2, 2, 0};
  SetSerialConfirm(Confirm, &prompt);
  VmlCmdSerialSettings settings{19200, 8, 1, 0, 0};
  ASSERT_TRUE(ConfirmSerialSettings("com2", settings));
  EXPECT_EQ(prompt.offered.baudRate, 19200u);
  EXPECT_EQ(prompt.offered.parity, 1);
  EXPECT_EQ(settings.baudRate, 9600u);
  EXPECT_EQ(settings.byteSize, 7);
  EXPECT_EQ(settings.parity, 2);
  EXPECT_EQ(settings.stopBits, 2);
}

}  // namespace
}  // namespace vml::platform
