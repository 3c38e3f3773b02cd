#include <winsock2.h>
#include <ws2tcpip.h>

#include <system_error>

#include "Socket.h"

namespace vmlctl::net {

namespace {
SOCKET Raw(Handle socket) { return static_cast<SOCKET>(socket); }
Handle Wrap(SOCKET socket) { return socket == INVALID_SOCKET ? kNoSocket : static_cast<Handle>(socket); }
}  // namespace

bool Startup() {
  // Counted by Winsock; the library makes its own call as well.
  WSADATA data;
  return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

Handle ListenOnLoopback(uint16_t* port, int* error) {
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (socket == INVALID_SOCKET ||
      ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(socket, 8) != 0 ||
      ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    *error = ::WSAGetLastError();
    if (socket != INVALID_SOCKET) ::closesocket(socket);
    return kNoSocket;
  }
  *port = ntohs(address.sin_port);
  return Wrap(socket);
}

Handle Accept(Handle listener) { return Wrap(::accept(Raw(listener), nullptr, nullptr)); }

Handle ConnectWithin(const std::string& host, uint16_t port, int ms, ConnectResult* result, int* error) {
  *result = ConnectResult::kFailed;
  *error = 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
    *error = WSAEINVAL;
    return kNoSocket;
  }
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, 0);
  if (socket == INVALID_SOCKET) {
    *error = ::WSAGetLastError();
    return kNoSocket;
  }
  u_long on = 1, off = 0;
  ::ioctlsocket(socket, static_cast<long>(FIONBIO), &on);
  int failure = 0;
  if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    failure = ::WSAGetLastError();
    if (failure == WSAEWOULDBLOCK) {
      // A failed attempt shows in the except set, not the write set.
      fd_set writable, failed;
      FD_ZERO(&writable);
      FD_ZERO(&failed);
      FD_SET(socket, &writable);
      FD_SET(socket, &failed);
      timeval limit{ms / 1000, (ms % 1000) * 1000};
      const int ready = ::select(0, nullptr, &writable, &failed, &limit);
      int length = sizeof failure;
      failure = 0;
      if (ready == 0) {
        failure = WSAETIMEDOUT;
      } else if (ready < 0) {
        failure = ::WSAGetLastError();
      } else if (FD_ISSET(socket, &failed)) {
        ::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&failure), &length);
        if (failure == 0) failure = WSAECONNREFUSED;
      }
    }
  }
  if (failure != 0) {
    ::closesocket(socket);
    *error = failure;
    *result = failure == WSAECONNREFUSED ? ConnectResult::kRefused
              : failure == WSAETIMEDOUT  ? ConnectResult::kTimedOut
                                         : ConnectResult::kFailed;
    return kNoSocket;
  }
  ::ioctlsocket(socket, static_cast<long>(FIONBIO), &off);
  *result = ConnectResult::kConnected;
  return Wrap(socket);
}

bool WaitReadable(const Handle* handles, bool* ready, int count, int ms) {
  fd_set readable;
  FD_ZERO(&readable);
  for (int i = 0; i < count; ++i) FD_SET(Raw(handles[i]), &readable);
  timeval limit{ms / 1000, (ms % 1000) * 1000};
  const int got = ::select(0, &readable, nullptr, nullptr, &limit);
  for (int i = 0; i < count; ++i) ready[i] = got > 0 && FD_ISSET(Raw(handles[i]), &readable);
  return got > 0;
}

long Receive(Handle socket, char* buffer, std::size_t size, bool* reset) {
  const int got = ::recv(Raw(socket), buffer, static_cast<int>(size), 0);
  *reset = got == SOCKET_ERROR && ::WSAGetLastError() == WSAECONNRESET;
  return got == SOCKET_ERROR ? -1 : got;
}

bool SendAll(Handle socket, const char* data, std::size_t size) {
  while (size > 0) {
    const int sent = ::send(Raw(socket), data, static_cast<int>(size), 0);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

void SetSendTimeout(Handle socket, int ms) {
  const DWORD limit = static_cast<DWORD>(ms);
  ::setsockopt(Raw(socket), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
}

void Close(Handle socket) { ::closesocket(Raw(socket)); }

void CloseWithReset(Handle socket) {
  linger hard{1, 0};
  ::setsockopt(Raw(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
  ::closesocket(Raw(socket));
}

int LastError() { return ::WSAGetLastError(); }

std::string ErrorText(int error) { return std::error_code(error, std::system_category()).message(); }

}  // namespace vmlctl::net
