// Winsock behind the channel. Winsock must be started before the first socket and is started
// once per process, from CreateICommand rather than from DllMain (no loader-lock work).
// A refused non-blocking connect shows only in select's except set, so both sets are watched.
// Winsock has no per-call "don't wait" flag: the socket is made non-blocking once, at its
// creation, and stays so, so that no send or receive waits beyond the caller's deadline.
#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h must come first: windows.h would otherwise pull in the old winsock.h.
#include <windows.h>

#include <atomic>

#include "platform/Platform.h"

namespace vml::platform {
namespace {

INIT_ONCE startOnce = INIT_ONCE_STATIC_INIT;
std::atomic<bool> socketsStarted{false};

BOOL CALLBACK StartWinsock(PINIT_ONCE, PVOID, PVOID*) {
  WSADATA data{};
  if (::WSAStartup(MAKEWORD(2, 2), &data) == 0) socketsStarted.store(true);
  // Done either way: a failed start shows as failing sockets, not as a retry on every call.
  return TRUE;
}

SOCKET AsSocket(SocketHandle socket) { return static_cast<SOCKET>(socket); }

bool SetTimeout(SocketHandle socket, int option, int milliseconds) {
  DWORD limit = milliseconds < 0 ? 0 : static_cast<DWORD>(milliseconds);
  return ::setsockopt(AsSocket(socket), SOL_SOCKET, option, reinterpret_cast<const char*>(&limit),
                      static_cast<int>(sizeof limit)) == 0;
}

}  // namespace

void StartSockets() { ::InitOnceExecuteOnce(&startOnce, StartWinsock, nullptr, nullptr); }

void StopSockets() {
  if (socketsStarted.exchange(false)) ::WSACleanup();
}

SocketHandle OpenTcpSocket() {
  // Not inherited, so that a process the host starts cannot keep a device connection open.
  SOCKET socket = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                               WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  // Systems before Windows 7 SP1 reject the flag.
  if (socket == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL) {
    socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  }
  if (socket == INVALID_SOCKET) return kInvalidSocket;
  u_long nonBlocking = 1;
  if (::ioctlsocket(socket, static_cast<long>(FIONBIO), &nonBlocking) != 0) {
    int error = ::WSAGetLastError();
    ::closesocket(socket);
    ::WSASetLastError(error);
    return kInvalidSocket;
  }
  return static_cast<SocketHandle>(socket);
}

bool SetSocketBlocking(SocketHandle socket, bool blocking) {
  u_long nonBlocking = blocking ? 0 : 1;
  return ::ioctlsocket(AsSocket(socket), static_cast<long>(FIONBIO), &nonBlocking) == 0;
}

bool ParseIpv4(const char* text, std::uint32_t& address) {
  if (text == nullptr) return false;
  // INADDR_NONE is both the error value and the broadcast address; neither is a device.
  unsigned long parsed = ::inet_addr(text);
  if (parsed == INADDR_NONE) return false;
  address = static_cast<std::uint32_t>(parsed);
  return true;
}

ConnectStart StartConnect(SocketHandle socket, std::uint32_t address, std::uint16_t port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = address;
  peer.sin_port = ::htons(port);
  if (::connect(AsSocket(socket), reinterpret_cast<const sockaddr*>(&peer), static_cast<int>(sizeof peer)) ==
      0)
    return ConnectStart::kConnected;
  // WSAEWOULDBLOCK is the expected answer: the attempt goes on.
  return ::WSAGetLastError() == WSAEWOULDBLOCK ? ConnectStart::kInProgress : ConnectStart::kFailed;
}

int WaitConnected(SocketHandle socket, int timeoutMicroseconds) {
  WaitResult result = WaitSocket(socket, WaitFor::kWrite, timeoutMicroseconds);
  if (result == WaitResult::kTimedOut) return 0;
  if (result == WaitResult::kReady) return 1;
  if (result != WaitResult::kReadyWithError) return -1;
  return ConnectError(socket) == 0 ? 1 : -1;
}

WaitResult WaitSocket(SocketHandle socket, WaitFor what, int timeoutMicroseconds) {
  fd_set ready;
  fd_set failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(AsSocket(socket), &ready);
  FD_SET(AsSocket(socket), &failed);
  if (timeoutMicroseconds < 0) timeoutMicroseconds = 0;
  timeval limit{};
  limit.tv_sec = timeoutMicroseconds / 1000000;
  limit.tv_usec = timeoutMicroseconds % 1000000;
  // The first argument is ignored by Winsock. A failed connect shows only in the except set:
  // ready with an error, which ConnectError then tells. A read wait leaves the except set out:
  // out-of-band data there would make a receive wait for normal data.
  int count = what == WaitFor::kRead ? ::select(0, &ready, nullptr, nullptr, &limit)
                                     : ::select(0, nullptr, &ready, &failed, &limit);
  if (count > 0) {
    return what == WaitFor::kWrite && FD_ISSET(AsSocket(socket), &failed) ? WaitResult::kReadyWithError
                                                                          : WaitResult::kReady;
  }
  if (count == 0) return WaitResult::kTimedOut;
  return ::WSAGetLastError() == WSAEINTR ? WaitResult::kInterrupted : WaitResult::kFailed;
}

int ConnectError(SocketHandle socket) {
  int error = 0;
  int length = static_cast<int>(sizeof error);
  if (::getsockopt(AsSocket(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
    return ::WSAGetLastError();
  }
  return error;
}

int LastSocketError() { return ::WSAGetLastError(); }

bool IsConnectionRefused(int error) { return error == WSAECONNREFUSED; }

// The socket is non-blocking, so these calls return at once.
int SendNow(SocketHandle socket, const void* data, int length) {
  int sent = ::send(AsSocket(socket), static_cast<const char*>(data), length, 0);
  if (sent != SOCKET_ERROR) return sent;
  int error = ::WSAGetLastError();
  return (error == WSAEWOULDBLOCK || error == WSAEINTR) ? kWouldBlock : -1;
}

// The channel's socket is non-blocking like every other: the connect is a start and a wait, and
// a reply's first receive a wait and a receive.
SocketHandle OpenChannelSocket(int) { return OpenTcpSocket(); }

int ReceiveWithin(SocketHandle socket, void* buffer, int capacity) {
  WaitResult ready = WaitSocket(socket, WaitFor::kRead, kReceiveLimitMs * 1000);
  if (ready == WaitResult::kFailed) return -1;
  if (ready != WaitResult::kReady) return kWouldBlock;
  return ReceiveNow(socket, buffer, capacity);
}

int ReceiveNow(SocketHandle socket, void* buffer, int capacity) {
  int received = ::recv(AsSocket(socket), static_cast<char*>(buffer), capacity, 0);
  if (received != SOCKET_ERROR) return received;
  int error = ::WSAGetLastError();
  return (error == WSAEWOULDBLOCK || error == WSAEINTR) ? kWouldBlock : -1;
}

// Winsock takes these time-outs as a DWORD of milliseconds, not as a timeval.
bool SetSendTimeout(SocketHandle socket, int milliseconds) {
  return SetTimeout(socket, SO_SNDTIMEO, milliseconds);
}

bool SetReceiveTimeout(SocketHandle socket, int milliseconds) {
  return SetTimeout(socket, SO_RCVTIMEO, milliseconds);
}

int SendBytes(SocketHandle socket, const void* data, int length) {
  // Windows has no SIGPIPE: plain flags are enough.
  int sent = ::send(AsSocket(socket), static_cast<const char*>(data), length, 0);
  return sent == SOCKET_ERROR ? -1 : sent;
}

int ReceiveBytes(SocketHandle socket, void* buffer, int capacity) {
  int received = ::recv(AsSocket(socket), static_cast<char*>(buffer), capacity, 0);
  return received == SOCKET_ERROR ? -1 : received;
}

void CloseSocket(SocketHandle socket) {
  if (socket != kInvalidSocket) ::closesocket(AsSocket(socket));
}

}  // namespace vml::platform
