#include "napi/TcpChannel.h"

#include <cstdint>

namespace vml::napi {

bool TcpChannel::Connect(const char* ipAddress, int port) {
  Close();
  std::uint32_t address = 0;
  // Only dotted quads: a host name would need a lookup that could block without limit.
  if (!platform::ParseIpv4(ipAddress, address)) return false;

  platform::SocketHandle socket = platform::OpenTcpSocket();
  if (socket == platform::kInvalidSocket) return false;
  auto fail = [socket] {
    platform::CloseSocket(socket);
    return false;
  };
  if (!platform::SetSocketBlocking(socket, false)) return fail();
  // The port keeps its low 16 bits, as the wire's port field does.
  platform::StartConnect(socket, address, static_cast<std::uint16_t>(static_cast<unsigned>(port) & 0xFFFFu));
  if (platform::WaitConnected(socket, kConnectTimeoutMicroseconds) <= 0) return fail();
  (void)platform::SetSocketBlocking(socket, true);
  if (!platform::QueryBytesWaiting(socket)) return fail();
  if (!platform::SetSendTimeout(socket, kIoTimeoutMilliseconds)) return fail();
  if (!platform::SetReceiveTimeout(socket, kIoTimeoutMilliseconds)) return fail();
  socket_ = socket;
  open_ = true;
  return true;
}

bool TcpChannel::Send(const void* data, int length) {
  if (!open_ || data == nullptr || length < 1) return false;
  return platform::SendBytes(socket_, data, length) >= 0;
}

int TcpChannel::Receive(void* buffer, int capacity) {
  if (!open_ || buffer == nullptr || capacity < 1) return 0;
  return platform::ReceiveBytes(socket_, buffer, capacity);
}

void TcpChannel::Close() {
  if (!open_) return;
  platform::CloseSocket(socket_);
  socket_ = platform::kInvalidSocket;
  open_ = false;
}

}  // namespace vml::napi
