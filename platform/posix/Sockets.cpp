// POSIX sockets behind the channel: poll instead of select (no FD_SETSIZE limit), SO_ERROR asked
// only when poll reports an error, MSG_NOSIGNAL so a closed peer never kills the host. The
// channel's socket blocks under its own time-outs, set before it connects: the connect and a
// reply's first receive then wait without a poll of their own, and a poll with a time-out arms a
// high-resolution timer each time, which on a virtual machine costs more than the whole wait is
// worth. A send or any other receive passes MSG_DONTWAIT.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Platform.h"

namespace vml::platform {

void StartSockets() {}
void StopSockets() {}

SocketHandle OpenTcpSocket() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  return fd < 0 ? kInvalidSocket : fd;
}

static bool SetTimeout(SocketHandle socket, int option, int milliseconds);

SocketHandle OpenChannelSocket(int connectLimitMs) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kInvalidSocket;
  // A blocking connect waits under the send time-out, as Linux has it (some other systems let a
  // connect run its own course); sends never wait on it (MSG_DONTWAIT).
  if (!SetTimeout(fd, SO_SNDTIMEO, connectLimitMs) || !SetTimeout(fd, SO_RCVTIMEO, kReceiveLimitMs)) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return kInvalidSocket;
  }
  return fd;
}

bool SetSocketBlocking(SocketHandle socket, bool blocking) {
  int nonBlocking = blocking ? 0 : 1;
  return ::ioctl(static_cast<int>(socket), FIONBIO, &nonBlocking) == 0;
}

// Four decimal parts of 0 to 255 and nothing else, the form every caller writes, read without
// the library's general reader. A part with a leading zero (octal there) or anything else is left
// to it, so every text still reads as inet_aton reads it.
static bool ParsePlainDottedQuad(const char* text, std::uint32_t& address) {
  std::uint32_t host = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && *text++ != '.') return false;
    if (*text < '0' || *text > '9' || (text[0] == '0' && text[1] >= '0' && text[1] <= '9')) return false;
    unsigned value = 0;
    int digits = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
      if (++digits > 3) return false;
      value = value * 10 + static_cast<unsigned>(*text - '0');
    }
    if (value > 255) return false;
    host = (host << 8) | value;
  }
  if (*text != '\0') return false;
  address = htonl(host);
  return true;
}

bool ParseIpv4(const char* text, std::uint32_t& address) {
  if (text == nullptr) return false;
  std::uint32_t plain = 0;
  if (ParsePlainDottedQuad(text, plain)) {
    if (plain == INADDR_NONE) return false;
    address = plain;
    return true;
  }
  // inet_aton reads the same forms as inet_addr; its "none" value (the broadcast address) is
  // never a device, so it fails here as it does there.
  in_addr parsed{};
  if (::inet_aton(text, &parsed) == 0 || parsed.s_addr == INADDR_NONE) return false;
  address = parsed.s_addr;
  return true;
}

ConnectStart StartConnect(SocketHandle socket, std::uint32_t address, std::uint16_t port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = address;
  peer.sin_port = htons(port);
  if (::connect(static_cast<int>(socket), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0)
    return ConnectStart::kConnected;
  // An interrupted connect goes on in the background, as one in progress does; a blocking one
  // that its time-out ended answers EINPROGRESS, and the caller finds its deadline passed.
  return (errno == EINPROGRESS || errno == EINTR) ? ConnectStart::kInProgress : ConnectStart::kFailed;
}

int WaitConnected(SocketHandle socket, int timeoutMicroseconds) {
  WaitResult result;
  do {
    result = WaitSocket(socket, WaitFor::kWrite, timeoutMicroseconds);
  } while (result == WaitResult::kInterrupted);
  if (result == WaitResult::kTimedOut) return 0;
  if (result == WaitResult::kFailed) return -1;
  return result == WaitResult::kReady || ConnectError(socket) == 0 ? 1 : -1;
}

WaitResult WaitSocket(SocketHandle socket, WaitFor what, int timeoutMicroseconds) {
  pollfd entry{static_cast<int>(socket), static_cast<short>(what == WaitFor::kRead ? POLLIN : POLLOUT), 0};
  // poll counts whole milliseconds: round up, so a wait never ends before its deadline.
  int milliseconds = timeoutMicroseconds <= 0 ? 0 : (timeoutMicroseconds + 999) / 1000;
  int ready = ::poll(&entry, 1, milliseconds);
  // A failed connect makes the socket writable too, but only then with POLLERR or POLLHUP.
  if (ready > 0)
    return (entry.revents & (POLLERR | POLLHUP)) != 0 ? WaitResult::kReadyWithError : WaitResult::kReady;
  if (ready == 0) return WaitResult::kTimedOut;
  return errno == EINTR ? WaitResult::kInterrupted : WaitResult::kFailed;
}

int ConnectError(SocketHandle socket) {
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(static_cast<int>(socket), SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

int LastSocketError() { return errno; }

bool IsConnectionRefused(int error) { return error == ECONNREFUSED; }

int SendNow(SocketHandle socket, const void* data, int length) {
  ssize_t sent =
      ::send(static_cast<int>(socket), data, static_cast<size_t>(length), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (sent >= 0) return static_cast<int>(sent);
  return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? kWouldBlock : -1;
}

int ReceiveWithin(SocketHandle socket, void* buffer, int capacity) {
  // Without MSG_DONTWAIT: waits up to the socket's receive time-out. A signal ends the wait
  // (a receive with a time-out is never restarted), and the caller waits on for what is left.
  ssize_t received = ::recv(static_cast<int>(socket), buffer, static_cast<size_t>(capacity), 0);
  if (received >= 0) return static_cast<int>(received);
  return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? kWouldBlock : -1;
}

int ReceiveNow(SocketHandle socket, void* buffer, int capacity) {
  ssize_t received = ::recv(static_cast<int>(socket), buffer, static_cast<size_t>(capacity), MSG_DONTWAIT);
  if (received >= 0) return static_cast<int>(received);
  return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? kWouldBlock : -1;
}

static bool SetTimeout(SocketHandle socket, int option, int milliseconds) {
  timeval limit{};
  limit.tv_sec = milliseconds / 1000;
  limit.tv_usec = (milliseconds % 1000) * 1000;
  return ::setsockopt(static_cast<int>(socket), SOL_SOCKET, option, &limit, sizeof limit) == 0;
}

bool SetSendTimeout(SocketHandle socket, int milliseconds) {
  return SetTimeout(socket, SO_SNDTIMEO, milliseconds);
}

bool SetReceiveTimeout(SocketHandle socket, int milliseconds) {
  return SetTimeout(socket, SO_RCVTIMEO, milliseconds);
}

int SendBytes(SocketHandle socket, const void* data, int length) {
  ssize_t sent;
  do {
    sent = ::send(static_cast<int>(socket), data, static_cast<size_t>(length), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent < 0 ? -1 : static_cast<int>(sent);
}

int ReceiveBytes(SocketHandle socket, void* buffer, int capacity) {
  ssize_t received;
  do {
    received = ::recv(static_cast<int>(socket), buffer, static_cast<size_t>(capacity), 0);
  } while (received < 0 && errno == EINTR);
  return received < 0 ? -1 : static_cast<int>(received);
}

void CloseSocket(SocketHandle socket) {
  if (socket != kInvalidSocket) ::close(static_cast<int>(socket));
}

}  // namespace vml::platform
