// One client TCP connection to the device. No step waits without a limit: 100 ms to connect,
// one second for every send and receive.
#pragma once

#include "platform/Platform.h"

namespace vml::napi {

class TcpChannel {
 public:
  static constexpr int kConnectTimeoutMicroseconds = 100000;
  static constexpr int kIoTimeoutMilliseconds = 1000;

  TcpChannel() = default;
  TcpChannel(const TcpChannel&) = delete;
  TcpChannel& operator=(const TcpChannel&) = delete;
  virtual ~TcpChannel() { Close(); }

  // Makes a new connection; an open channel is closed first so that no socket leaks.
  bool Connect(const char* ipAddress, int port);
  // One send; a short send counts as success and nothing is retried.
  bool Send(const void* data, int length);
  // One receive: bytes received, 0 when the device closed, -1 on an error or time-out.
  int Receive(void* buffer, int capacity);
  void Close();
  bool IsOpen() const { return open_; }

 private:
  bool open_ = false;
  platform::SocketHandle socket_ = platform::kInvalidSocket;
};

}  // namespace vml::napi
