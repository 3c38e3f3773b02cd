// One client TCP connection to the device. No step waits without a limit: 100 ms to connect,
// one second for every send and every reply. Each limit is a deadline on a monotonic clock, so a
// wait that a signal interrupts goes on with what is left instead of starting again.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/Platform.h"

namespace vml::napi {

using Clock = std::chrono::steady_clock;

// Why the channel's last step failed.
enum class ChannelFailure : std::uint8_t {
  kNone,
  kAddressInvalid,   // not a dotted-quad IPv4 address
  kConnectRefused,   // the peer refused the connection
  kConnectTimedOut,  // not established within 100 ms
  kConnectFailed,    // any other failure of the connect steps
  kSendFailed,       // an error, or the send did not finish within its second
  kTimedOut,         // nothing arrived before the deadline
  kClosed,           // the peer closed the connection
  kReceiveFailed,    // a receive error, e.g. a reset
};

class TcpChannel {
 public:
  static constexpr std::chrono::milliseconds kConnectTimeout{100};
  static constexpr std::chrono::milliseconds kIoTimeout{1000};

  TcpChannel() = default;
  TcpChannel(const TcpChannel&) = delete;
  TcpChannel& operator=(const TcpChannel&) = delete;
  virtual ~TcpChannel() { Close(); }

  // Makes a new connection; an open channel is closed first so that no socket leaks.
  bool Connect(const char* ipAddress, int port);
  // Sends all length bytes within one second.
  bool Send(const void* data, int length);
  // One receive within one second: bytes received, 0 when the device closed, -1 on an error or
  // time-out.
  int Receive(void* buffer, int capacity) {
    return ReceiveBefore(buffer, capacity, Clock::now() + kIoTimeout);
  }
  // The same with the caller's deadline, for a message that arrives in pieces.
  int ReceiveBefore(void* buffer, int capacity, Clock::time_point deadline);
  // Takes what has already arrived, without waiting: the bytes taken, 0 when there are none.
  // Leaves LastFailure() as it was.
  int ReceiveWaiting(void* buffer, int capacity);
  // Reads and drops whatever has already arrived, without waiting; the bytes dropped.
  int DiscardWaiting();
  void Close();
  bool IsOpen() const { return open_; }

  ChannelFailure LastFailure() const { return failure_; }
  // The system's error number of the last failure, 0 where there is none (a time-out, a close).
  int LastSystemError() const { return systemError_; }

 private:
  // Waits until the socket is ready or the deadline passes, resuming after interruptions.
  platform::WaitResult WaitUntil(platform::SocketHandle socket, platform::WaitFor what,
                                 Clock::time_point deadline);
  bool Fail(ChannelFailure failure, int systemError = 0);
  int Received(int n);

  platform::SocketHandle socket_ = platform::kInvalidSocket;
  int systemError_ = 0;
  bool open_ = false;
  ChannelFailure failure_ = ChannelFailure::kNone;
};

}  // namespace vml::napi
