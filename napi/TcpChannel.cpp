#include "napi/TcpChannel.h"

#include <cstdint>

namespace vml::napi {

using platform::WaitFor;
using platform::WaitResult;

bool TcpChannel::Fail(ChannelFailure failure, int systemError) {
  failure_ = failure;
  systemError_ = systemError;
  return false;
}

WaitResult TcpChannel::WaitUntil(platform::SocketHandle socket, WaitFor what, Clock::time_point deadline) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    if (left <= 0) return WaitResult::kTimedOut;
    WaitResult result = platform::WaitSocket(socket, what, static_cast<int>(left));
    if (result != WaitResult::kInterrupted) return result;
  }
}

bool TcpChannel::Connect(const char* ipAddress, int port) {
  Close();
  failure_ = ChannelFailure::kNone;
  systemError_ = 0;
  const Clock::time_point deadline = Clock::now() + kConnectTimeout;
  std::uint32_t address = 0;
  // Only dotted quads: a host name would need a lookup that could block without limit.
  if (!platform::ParseIpv4(ipAddress, address)) return Fail(ChannelFailure::kAddressInvalid);

  platform::SocketHandle socket = platform::OpenChannelSocket(static_cast<int>(kConnectTimeout.count()));
  if (socket == platform::kInvalidSocket)
    return Fail(ChannelFailure::kConnectFailed, platform::LastSocketError());
  auto fail = [&](int error) {
    platform::CloseSocket(socket);
    return Fail(platform::IsConnectionRefused(error) ? ChannelFailure::kConnectRefused
                                                     : ChannelFailure::kConnectFailed,
                error);
  };
  // The port keeps its low 16 bits, as the wire's port field does.
  switch (platform::StartConnect(socket, address,
                                 static_cast<std::uint16_t>(static_cast<unsigned>(port) & 0xFFFFu))) {
    case platform::ConnectStart::kConnected:
      break;
    case platform::ConnectStart::kFailed:
      return fail(platform::LastSocketError());
    case platform::ConnectStart::kInProgress:
      switch (WaitUntil(socket, WaitFor::kWrite, deadline)) {
        case WaitResult::kReady:
          break;
        case WaitResult::kReadyWithError:
          // A refused or unreachable attempt; an error of 0 is a connection the peer has already
          // closed again, which the first send or receive reports.
          if (int error = platform::ConnectError(socket); error != 0) return fail(error);
          break;
        case WaitResult::kTimedOut:
          platform::CloseSocket(socket);
          return Fail(ChannelFailure::kConnectTimedOut);
        default:
          platform::CloseSocket(socket);
          return Fail(ChannelFailure::kConnectFailed, platform::LastSocketError());
      }
      break;
  }
  socket_ = socket;
  open_ = true;
  return true;
}

bool TcpChannel::Send(const void* data, int length) {
  if (!open_ || data == nullptr || length < 1) return false;
  const Clock::time_point deadline = Clock::now() + kIoTimeout;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  int sent = 0;
  // Sends first: a request fits the empty send buffer of a fresh connection, so the wait is for
  // the rare send that finds the buffer full.
  for (;;) {
    int n = platform::SendNow(socket_, bytes + sent, length - sent);
    if (n < 0 && n != platform::kWouldBlock)
      return Fail(ChannelFailure::kSendFailed, platform::LastSocketError());
    if (n > 0) sent += n;
    if (sent >= length) return true;
    WaitResult ready = WaitUntil(socket_, WaitFor::kWrite, deadline);
    if (ready == WaitResult::kTimedOut) return Fail(ChannelFailure::kSendFailed);
    if (ready == WaitResult::kFailed) return Fail(ChannelFailure::kSendFailed, platform::LastSocketError());
  }
}

// A receive that did not merely find nothing yet: its bytes, or the close or failure recorded.
int TcpChannel::Received(int n) {
  if (n > 0) return n;
  if (n == 0) {
    Fail(ChannelFailure::kClosed);
    return 0;
  }
  Fail(ChannelFailure::kReceiveFailed, platform::LastSocketError());
  return -1;
}

int TcpChannel::ReceiveBefore(void* buffer, int capacity, Clock::time_point deadline) {
  if (!open_ || buffer == nullptr || capacity < 1) return 0;
  // A reply's first receive, with all its second still ahead: one receive that waits under the
  // socket's own limit, which ends before the deadline; whatever is left of the deadline then
  // (after a signal, or a silence) is waited below.
  if (deadline - Clock::now() >= std::chrono::milliseconds(platform::kReceiveLimitMs + 10)) {
    int n = platform::ReceiveWithin(socket_, buffer, capacity);
    if (n != platform::kWouldBlock) return Received(n);
  }
  // Waits first: this is called when a reply is due, and it is rarely there already.
  for (;;) {
    switch (WaitUntil(socket_, WaitFor::kRead, deadline)) {
      case WaitResult::kReady:
      case WaitResult::kReadyWithError:
        break;
      case WaitResult::kTimedOut:
        Fail(ChannelFailure::kTimedOut);
        return -1;
      default:
        Fail(ChannelFailure::kReceiveFailed, platform::LastSocketError());
        return -1;
    }
    int n = platform::ReceiveNow(socket_, buffer, capacity);
    if (n != platform::kWouldBlock) return Received(n);
  }
}

int TcpChannel::ReceiveWaiting(void* buffer, int capacity) {
  if (!open_ || buffer == nullptr || capacity < 1) return 0;
  // A receive that does not wait answers what a look first would: nothing there is kWouldBlock.
  int n = platform::ReceiveNow(socket_, buffer, capacity);
  return n > 0 ? n : 0;
}

int TcpChannel::DiscardWaiting() {
  if (!open_) return 0;
  std::uint8_t scrap[1024];
  int dropped = 0;
  // Bounded, so that a device that never stops sending cannot hold the caller here.
  constexpr int kMostDropped = 64 * 1024;
  while (dropped < kMostDropped) {
    int n = platform::ReceiveNow(socket_, scrap, static_cast<int>(sizeof scrap));
    if (n <= 0) break;
    dropped += n;
    // A short read took all there was: asking again would only hear that nothing is left.
    if (n < static_cast<int>(sizeof scrap)) break;
  }
  return dropped;
}

void TcpChannel::Close() {
  if (!open_) return;
  platform::CloseSocket(socket_);
  socket_ = platform::kInvalidSocket;
  open_ = false;
}

}  // namespace vml::napi
