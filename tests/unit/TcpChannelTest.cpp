// The channel's limits on loopback: 100 ms to connect, one second to receive, no socket left
// behind on any way out.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "napi/TcpChannel.h"
#include "support/Descriptors.h"

namespace vml::napi {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

milliseconds Since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// A loopback listener that accepts nothing (and answers nothing).
class Listener {
 public:
  explicit Listener(int backlog) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, backlog);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~Listener() { Close(); }
  void Close() {
    for (int fd : fillers_) ::close(fd);
    fillers_.clear();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int Port() const { return port_; }

  // Connects until the accept queue is full, so that a further attempt times out instead of
  // being refused.
  void FillBacklog() {
    for (int i = 0; i < 16; ++i) {
      int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      address.sin_port = htons(static_cast<uint16_t>(port_));
      ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
      fillers_.push_back(fd);
      pollfd entry{fd, POLLOUT, 0};
      if (::poll(&entry, 1, 50) == 0) return;
    }
  }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::vector<int> fillers_;
};

int UnusedPort() {
  Listener listener(1);
  return listener.Port();  // closed again when the listener goes
}

TEST(TcpChannel, NothingListeningFailsQuicklyAndLeavesNoSocket) {
  int before = OpenDescriptors();
  TcpChannel channel;
  auto start = Clock::now();
  EXPECT_FALSE(channel.Connect("127.0.0.1", UnusedPort()));
  EXPECT_LT(Since(start), milliseconds(150));
  EXPECT_FALSE(channel.IsOpen());
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST(TcpChannel, AConnectionThatIsNeverAcceptedTimesOutAfterAbout100Ms) {
  Listener listener(0);
  listener.FillBacklog();
  int before = OpenDescriptors();
  TcpChannel channel;
  auto start = Clock::now();
  EXPECT_FALSE(channel.Connect("127.0.0.1", listener.Port()));
  auto elapsed = Since(start);
  EXPECT_GE(elapsed, milliseconds(90));
  EXPECT_LT(elapsed, milliseconds(600));
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST(TcpChannel, OnlyDottedQuadsAreAccepted) {
  TcpChannel channel;
  for (const char* address : {"localhost", "", "255.255.255.255", "1.2.3.4.5"}) {
    EXPECT_FALSE(channel.Connect(address, 80)) << address;
  }
  EXPECT_FALSE(channel.Connect(nullptr, 80));
}

TEST(TcpChannel, ThePortKeepsItsLow16Bits) {
  Listener listener(4);
  TcpChannel channel;
  EXPECT_TRUE(channel.Connect("127.0.0.1", listener.Port() + 65536));
}

TEST(TcpChannel, ReceiveGivesUpAfterAboutOneSecond) {
  Listener listener(4);
  TcpChannel channel;
  ASSERT_TRUE(channel.Connect("127.0.0.1", listener.Port()));
  char buffer[8];
  auto start = Clock::now();
  EXPECT_EQ(channel.Receive(buffer, sizeof buffer), -1);
  auto elapsed = Since(start);
  EXPECT_GE(elapsed, milliseconds(900));
  EXPECT_LT(elapsed, milliseconds(2500));
}

TEST(TcpChannel, ArgumentsAndStateAreCheckedBeforeTheSocket) {
  TcpChannel channel;
  char buffer[4] = {};
  EXPECT_FALSE(channel.Send(buffer, 4));
  EXPECT_EQ(channel.Receive(buffer, 4), 0);
  channel.Close();
  channel.Close();

  Listener listener(4);
  ASSERT_TRUE(channel.Connect("127.0.0.1", listener.Port()));
  EXPECT_FALSE(channel.Send(buffer, 0));
  EXPECT_FALSE(channel.Send(nullptr, 4));
  EXPECT_EQ(channel.Receive(buffer, 0), 0);
  EXPECT_EQ(channel.Receive(nullptr, 4), 0);
  EXPECT_TRUE(channel.Send(buffer, 4));
}

TEST(TcpChannel, ReconnectingClosesTheEarlierSocket) {
  Listener listener(8);
  TcpChannel channel;
  ASSERT_TRUE(channel.Connect("127.0.0.1", listener.Port()));
  int afterFirst = OpenDescriptors();
  ASSERT_TRUE(channel.Connect("127.0.0.1", listener.Port()));
  EXPECT_EQ(OpenDescriptors(), afterFirst);
  channel.Close();
  EXPECT_EQ(OpenDescriptors(), afterFirst - 1);
}

TEST(TcpChannel, SendingToAClosedPeerFailsWithoutSignal) {
  Listener listener(4);
  TcpChannel channel;
  ASSERT_TRUE(channel.Connect("127.0.0.1", listener.Port()));
  // Closing the listener resets the queued connection; sending must report an error, and
  // SIGPIPE (which would end this test process) must not be raised.
  listener.Close();
  char data[1024] = {};
  bool failed = false;
  for (int i = 0; i < 50 && !failed; ++i) failed = !channel.Send(data, sizeof data);
  EXPECT_TRUE(failed);
}

}  // namespace
}  // namespace vml::napi
