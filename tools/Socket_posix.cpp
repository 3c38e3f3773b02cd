#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

#include "Socket.h"

namespace vmlctl::net {

namespace {
int Fd(Handle socket) { return static_cast<int>(socket); }
}  // namespace

bool Startup() { return true; }

Handle ListenOnLoopback(uint16_t* port, int* error) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 8) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    *error = errno;
    if (fd >= 0) ::close(fd);
    return kNoSocket;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

Handle Accept(Handle listener) {
  const int fd = ::accept4(Fd(listener), nullptr, nullptr, SOCK_CLOEXEC);
  return fd < 0 ? kNoSocket : fd;
}

Handle ConnectWithin(const std::string& host, uint16_t port, int ms, ConnectResult* result, int* error) {
  *result = ConnectResult::kFailed;
  *error = 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
    *error = EINVAL;
    return kNoSocket;
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    *error = errno;
    return kNoSocket;
  }
  int failure = 0;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    failure = errno;
    if (failure == EINPROGRESS) {
      pollfd entry{fd, POLLOUT, 0};
      const int ready = ::poll(&entry, 1, ms);
      socklen_t length = sizeof failure;
      if (ready == 0) {
        failure = ETIMEDOUT;
      } else if (ready < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &length) != 0) {
        failure = errno;
      }
    }
  }
  if (failure != 0) {
    ::close(fd);
    *error = failure;
    *result = failure == ECONNREFUSED ? ConnectResult::kRefused
              : failure == ETIMEDOUT  ? ConnectResult::kTimedOut
                                      : ConnectResult::kFailed;
    return kNoSocket;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  *result = ConnectResult::kConnected;
  return fd;
}

bool WaitReadable(const Handle* handles, bool* ready, int count, int ms) {
  std::vector<pollfd> entries;
  for (int i = 0; i < count; ++i) entries.push_back(pollfd{Fd(handles[i]), POLLIN, 0});
  const int got = ::poll(entries.data(), entries.size(), ms);
  for (int i = 0; i < count; ++i) ready[i] = got > 0 && entries[static_cast<std::size_t>(i)].revents != 0;
  return got > 0;
}

long Receive(Handle socket, char* buffer, std::size_t size, bool* reset) {
  ssize_t got = 0;
  do {
    got = ::recv(Fd(socket), buffer, size, 0);
  } while (got < 0 && errno == EINTR);
  *reset = got < 0 && errno == ECONNRESET;
  return static_cast<long>(got);
}

bool SendAll(Handle socket, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = ::send(Fd(socket), data, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

void SetSendTimeout(Handle socket, int ms) {
  timeval limit{ms / 1000, (ms % 1000) * 1000};
  ::setsockopt(Fd(socket), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

void Close(Handle socket) { ::close(Fd(socket)); }

void CloseWithReset(Handle socket) {
  linger hard{1, 0};
  ::setsockopt(Fd(socket), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  ::close(Fd(socket));
}

int LastError() { return errno; }

// std::error_code's message is safe from several threads, unlike strerror.
std::string ErrorText(int error) { return std::error_code(error, std::generic_category()).message(); }

}  // namespace vmlctl::net
