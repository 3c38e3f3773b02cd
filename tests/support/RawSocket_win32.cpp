#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h must come first: windows.h would otherwise pull in the old winsock.h.
#include <windows.h>

#include "support/RawSocket.h"

namespace vml::testing::raw {
namespace {
SOCKET AsSocket(Handle handle) { return static_cast<SOCKET>(handle); }

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

bool ReadyWithin(SOCKET socket, bool write, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(socket, &set);
  timeval limit{ms / 1000, (ms % 1000) * 1000};
  return (write ? ::select(0, nullptr, &set, nullptr, &limit) : ::select(0, &set, nullptr, nullptr, &limit)) >
         0;
}
}  // namespace

void Startup() {
  static const bool started = [] {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

Handle Listen(int backlog, std::uint16_t* port) {
  Startup();
  SOCKET fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (fd == INVALID_SOCKET) return kNone;
  sockaddr_in address = Loopback(0);
  int length = static_cast<int>(sizeof address);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, backlog) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::closesocket(fd);
    return kNone;
  }
  *port = ntohs(address.sin_port);
  return static_cast<Handle>(fd);
}

Handle ConnectNoWait(std::uint16_t port) {
  Startup();
  SOCKET fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (fd == INVALID_SOCKET) return kNone;
  u_long nonBlocking = 1;
  ::ioctlsocket(fd, static_cast<long>(FIONBIO), &nonBlocking);
  sockaddr_in address = Loopback(port);
  (void)::connect(fd, reinterpret_cast<sockaddr*>(&address), static_cast<int>(sizeof address));
  return static_cast<Handle>(fd);
}

bool ConnectedWithin(Handle socket, int ms) { return ReadyWithin(AsSocket(socket), true, ms); }

Handle AcceptWithin(Handle listener, int ms) {
  if (!ReadyWithin(AsSocket(listener), false, ms)) return kNone;
  SOCKET fd = ::accept(AsSocket(listener), nullptr, nullptr);
  return fd == INVALID_SOCKET ? kNone : static_cast<Handle>(fd);
}

int ReadWithin(Handle socket, void* buffer, int capacity, int ms) {
  if (!ReadyWithin(AsSocket(socket), false, ms)) return -2;
  int n = ::recv(AsSocket(socket), static_cast<char*>(buffer), capacity, 0);
  return n == SOCKET_ERROR ? -1 : n;
}

bool WriteAll(Handle socket, const void* data, int length) {
  const char* bytes = static_cast<const char*>(data);
  while (length > 0) {
    int n = ::send(AsSocket(socket), bytes, length, 0);
    if (n <= 0) return false;
    bytes += n;
    length -= n;
  }
  return true;
}

void Reset(Handle socket) {
  linger abort{1, 0};
  ::setsockopt(AsSocket(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
               static_cast<int>(sizeof abort));
  ::closesocket(AsSocket(socket));
}

void Close(Handle socket) {
  if (socket != kNone) ::closesocket(AsSocket(socket));
}

int OpenHandles() {
  DWORD count = 0;
  return ::GetProcessHandleCount(::GetCurrentProcess(), &count) ? static_cast<int>(count) : -1;
}

}  // namespace vml::testing::raw
