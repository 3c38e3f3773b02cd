#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "support/RawSocket.h"

namespace vml::testing::raw {
namespace {
sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

bool ReadyWithin(int fd, short events, int ms) {
  pollfd entry{fd, events, 0};
  int ready;
  do {
    ready = ::poll(&entry, 1, ms);
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}
}  // namespace

void Startup() {}

Handle Listen(int backlog, std::uint16_t* port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNone;
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, backlog) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return kNone;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

Handle ConnectNoWait(std::uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNone;
  sockaddr_in address = Loopback(port);
  (void)::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  return fd;
}

bool ConnectedWithin(Handle socket, int ms) { return ReadyWithin(static_cast<int>(socket), POLLOUT, ms); }

Handle AcceptWithin(Handle listener, int ms) {
  if (!ReadyWithin(static_cast<int>(listener), POLLIN, ms)) return kNone;
  int fd = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
  return fd < 0 ? kNone : fd;
}

int ReadWithin(Handle socket, void* buffer, int capacity, int ms) {
  if (!ReadyWithin(static_cast<int>(socket), POLLIN, ms)) return -2;
  ssize_t n = ::recv(static_cast<int>(socket), buffer, static_cast<size_t>(capacity), 0);
  return n < 0 ? -1 : static_cast<int>(n);
}

bool WriteAll(Handle socket, const void* data, int length) {
  const char* bytes = static_cast<const char*>(data);
  while (length > 0) {
    ssize_t n = ::send(static_cast<int>(socket), bytes, static_cast<size_t>(length), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    length -= static_cast<int>(n);
  }
  return true;
}

void Reset(Handle socket) {
  linger abort{1, 0};
  ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  ::close(static_cast<int>(socket));
}

void Close(Handle socket) {
  if (socket != kNone) ::close(static_cast<int>(socket));
}

int OpenHandles() {
  int count = 0;
  DIR* directory = ::opendir("/proc/self/fd");
  if (directory == nullptr) return -1;
  while (::readdir(directory) != nullptr) ++count;
  ::closedir(directory);
  return count;
}

}  // namespace vml::testing::raw
