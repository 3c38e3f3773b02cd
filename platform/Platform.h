// The only place where Windows and POSIX differ. Everything above it is written once against
// these functions; each platform folder implements them with its own system calls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "VmlCmd/ICommand.h"

namespace vml::platform {

// ---- Sockets -------------------------------------------------------------------------------
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kInvalidSocket = -1;

// Starts the socket layer once per process (a no-op where there is nothing to start).
void StartSockets();
void StopSockets();

// A TCP socket that never blocks: every wait is the caller's own, bounded by its deadline.
SocketHandle OpenTcpSocket();
inline constexpr int kReceiveLimitMs = 980;
// The channel's socket, readied before it connects so that no call is spent on it afterwards.
// On POSIX it blocks: its connect waits at most connectLimitMs (then fails with EINPROGRESS, the
// attempt timed out) and a receive at most kReceiveLimitMs, each under the socket's own time-out,
// so neither needs a wait of its own (each send and each other receive passes a flag that it must
// not wait). On Windows it never blocks, as OpenTcpSocket's, and every wait is a select.
SocketHandle OpenChannelSocket(int connectLimitMs);
bool SetSocketBlocking(SocketHandle socket, bool blocking);
// A dotted-quad text in network byte order; false for anything else (no name lookup).
bool ParseIpv4(const char* text, std::uint32_t& address);
enum class ConnectStart {
  kConnected,   // established at once
  kInProgress,  // wait for the socket to become writable
  kFailed,      // LastSocketError() tells why
};
// Starts a connection attempt: kInProgress on a non-blocking socket, or when a signal or the
// socket's time-out ended a blocking connect before it was established.
ConnectStart StartConnect(SocketHandle socket, std::uint32_t address, std::uint16_t port);
// 1 when the connection is established within the time-out, 0 on time-out, -1 when it failed.
int WaitConnected(SocketHandle socket, int timeoutMicroseconds);

enum class WaitFor { kRead, kWrite };
enum class WaitResult {
  kReady,           // readable (data or the peer's close) or writable
  kReadyWithError,  // ready, with an error pending: a failed connect, a reset (ConnectError tells)
  kTimedOut,        // nothing within the time-out
  kInterrupted,     // a signal cut the wait short: the caller waits again for what its deadline leaves
  kFailed,          // the wait itself failed; LastSocketError() tells why
};
// One wait of at most timeoutMicroseconds (0: only a look).
WaitResult WaitSocket(SocketHandle socket, WaitFor what, int timeoutMicroseconds);
// The error of a finished connection attempt (0 when it is established).
int ConnectError(SocketHandle socket);
// The last socket error of this thread: errno, or the Winsock error.
int LastSocketError();
bool IsConnectionRefused(int error);

// On a socket from OpenChannelSocket, one receive that waits at most about kReceiveLimitMs for
// its first byte: bytes received, 0 when the peer closed, kWouldBlock when nothing came in time
// or a signal cut the wait short, -1 on an error.
int ReceiveWithin(SocketHandle socket, void* buffer, int capacity);

inline constexpr int kWouldBlock = -2;
// One send or receive that never waits: bytes moved, 0 (receive only) when the peer closed,
// kWouldBlock when nothing can move now or a signal interrupted it, -1 on an error. Never
// raises SIGPIPE.
int SendNow(SocketHandle socket, const void* data, int length);
int ReceiveNow(SocketHandle socket, void* buffer, int capacity);
bool SetSendTimeout(SocketHandle socket, int milliseconds);
bool SetReceiveTimeout(SocketHandle socket, int milliseconds);
// Never raises SIGPIPE. The result is the system's: bytes sent, or -1.
int SendBytes(SocketHandle socket, const void* data, int length);
// Bytes received, 0 when the peer closed, -1 on an error or time-out.
int ReceiveBytes(SocketHandle socket, void* buffer, int capacity);
void CloseSocket(SocketHandle socket);

// ---- Serial port ---------------------------------------------------------------------------
// One open serial port with what the platform needs to drive it.
class SerialPort {
 public:
  SerialPort() = default;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;
  ~SerialPort() { Close(); }

  // Asks the user to confirm the port's settings, then opens and configures the port. Nothing is
  // left open when it returns false.
  bool Open(int portNumber);
  void Close();
  bool IsOpen() const { return open_; }

 private:
  bool open_ = false;
#if defined(_WIN32)
  void* handle_ = nullptr;
  // Room for two OVERLAPPED blocks (two pointer-sized fields, an 8-byte offset, an event handle);
  // their event handles are the only record of the events, so the object stays under 1 KiB.
  alignas(void*) unsigned char overlapped_[2][3 * sizeof(void*) + 8] = {};
#else
  int fd_ = -1;
#endif
};

void SetSerialConfirm(VmlCmdSerialConfirm confirm, void* context);
// Asks the installed confirmation (or the system dialog) for the settings of a port.
bool ConfirmSerialSettings(const char* portName, VmlCmdSerialSettings& settings);

// ---- Memory and texts ----------------------------------------------------------------------
// Copies length bytes to destination unless destination is not writable; never faults.
bool GuardedCopy(void* destination, const void* source, std::size_t length);

// Copies the text of a string-table entry (at most bufferSize - 1 bytes and the NUL, in the
// host's character set) and returns the bytes copied without the NUL; 0 when there is none.
int LoadText(int id, char* buffer, int bufferSize);

// ---- The device's code page ---------------------------------------------------------------
// Devices hold their texts in a code page: 936 (Simplified Chinese) unless a deployment says
// otherwise, as Windows hosts write them; 65001 is UTF-8 itself. Every front end that speaks
// UTF-8 converts here. All return the bytes written, a NUL after them, or -1.
inline constexpr int kDeviceCodePage = 936;
inline constexpr int kUtf8CodePage = 65001;
// UTF-8 to the code page: -1 when text is not UTF-8, holds a character the code page lacks, or
// does not fit in capacity - 1 bytes. Nothing is ever replaced by a guess.
int Utf8ToDeviceText(int codePage, const char* text, char* out, std::size_t capacity);
// The code page to UTF-8. strict: -1 when a byte or sequence is not valid in the code page, so
// the caller can keep the bytes as they are; otherwise such bytes become a replacement
// character (U+FFFD with iconv, the system's own choice on Windows). -1 also when the result
// does not fit in capacity - 1 bytes, or the code page is unknown to the system.
int DeviceTextToUtf8(int codePage, const char* text, char* out, std::size_t capacity, bool strict);

inline int Utf8ToDeviceText(const char* text, char* out, std::size_t capacity) {
  return Utf8ToDeviceText(kDeviceCodePage, text, out, capacity);
}
inline int DeviceTextToUtf8(const char* text, char* out, std::size_t capacity) {
  return DeviceTextToUtf8(kDeviceCodePage, text, out, capacity, false);
}

}  // namespace vml::platform
