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

  platform::SocketHandle socket = platform::OpenTcpSocket();
  if (socket == platform::kInvalidSocket)
    return Fail(ChannelFailure::kConnectFailed, platform::LastSocketError());
  auto fail = [&](ChannelFailure failure, int error) {
    platform::CloseSocket(socket);
    return Fail(failure, error);
  };
  if (!platform::SetSocketBlocking(socket, false))
    return fail(ChannelFailure::kConnectFailed, platform::LastSocketError());
  // The port keeps its low 16 bits, as the wire's port field does.
  platform::StartConnect(socket, address, static_cast<std::uint16_t>(static_cast<unsigned>(port) & 0xFFFFu));
  switch (WaitUntil(socket, WaitFor::kWrite, deadline)) {
    case WaitResult::kReady:
      break;
    case WaitResult::kTimedOut:
      return fail(ChannelFailure::kConnectTimedOut, 0);
    default:
      return fail(ChannelFailure::kConnectFailed, platform::LastSocketError());
  }
  if (int error = platform::ConnectError(socket); error != 0) {
    return fail(platform::IsConnectionRefused(error) ? ChannelFailure::kConnectRefused
                                                     : ChannelFailure::kConnectFailed,
                error);
  }
  (void)platform::SetSocketBlocking(socket, true);
  // The socket's own time-outs stay as a last limit behind the deadlines.
  if (!platform::QueryBytesWaiting(socket) ||
      !platform::SetSendTimeout(socket, static_cast<int>(kIoTimeout.count())) ||
      !platform::SetReceiveTimeout(socket, static_cast<int>(kIoTimeout.count()))) {
    return fail(ChannelFailure::kConnectFailed, platform::LastSocketError());
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
  while (sent < length) {
    WaitResult ready = WaitUntil(socket_, WaitFor::kWrite, deadline);
    if (ready == WaitResult::kTimedOut) return Fail(ChannelFailure::kSendFailed);
    if (ready != WaitResult::kReady) return Fail(ChannelFailure::kSendFailed, platform::LastSocketError());
    int n = platform::SendNow(socket_, bytes + sent, length - sent);
    if (n < 0 && n != platform::kWouldBlock)
      return Fail(ChannelFailure::kSendFailed, platform::LastSocketError());
    if (n > 0) sent += n;
  }
  return true;
}

int TcpChannel::ReceiveBefore(void* buffer, int capacity, Clock::time_point deadline) {
  if (!open_ || buffer == nullptr || capacity < 1) return 0;
  for (;;) {
    switch (WaitUntil(socket_, WaitFor::kRead, deadline)) {
      case WaitResult::kReady:
        break;
      case WaitResult::kTimedOut:
        Fail(ChannelFailure::kTimedOut);
        return -1;
      default:
        Fail(ChannelFailure::kReceiveFailed, platform::LastSocketError());
        return -1;
    }
    int n = platform::ReceiveNow(socket_, buffer, capacity);
    if (n > 0) return n;
    if (n == 0) {
      Fail(ChannelFailure::kClosed);
      return 0;
    }
    if (n != platform::kWouldBlock) {
      Fail(ChannelFailure::kReceiveFailed, platform::LastSocketError());
      return -1;
    }
  }
}

int TcpChannel::ReceiveWaiting(void* buffer, int capacity) {
  if (!open_ || buffer == nullptr || capacity < 1) return 0;
  if (platform::WaitSocket(socket_, WaitFor::kRead, 0) != WaitResult::kReady) return 0;
  int n = platform::ReceiveNow(socket_, buffer, capacity);
  return n > 0 ? n : 0;
}

int TcpChannel::DiscardWaiting() {
  if (!open_) return 0;
  std::uint8_t scrap[1024];
  int dropped = 0;
  // Bounded, so that a device that never stops sending cannot hold the caller here.
  constexpr int kMostDropped = 64 * 1024;
  while (dropped < kMostDropped && platform::WaitSocket(socket_, WaitFor::kRead, 0) == WaitResult::kReady) {
    int n = platform::ReceiveNow(socket_, scrap, static_cast<int>(sizeof scrap));
    if (n <= 0) break;
    dropped += n;
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
