#include "RawClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace napisim::test {
namespace {

// Waits for the socket to become readable; false on timeout.
bool WaitReadable(int fd, std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count()))) > 0;
}

int32_t FromLe(const std::string& bytes, std::size_t offset) {
  uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
  }
  return static_cast<int32_t>(value);
}

}  // namespace

std::string Le32(int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  std::string out;
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((bits >> shift) & 0xFFu));
  return out;
}

std::string RequestHeader(int32_t magic, int32_t textLength, int32_t command, int32_t reserved) {
  return Le32(magic) + Le32(textLength) + Le32(command) + Le32(reserved);
}

std::string Request(int32_t command, const std::string& text, bool withNul) {
  const std::string body = withNul ? text + std::string(1, '\0') : text;
  return RequestHeader(100, static_cast<int32_t>(body.size()), command) + body;
}

std::string ReplyBytes(int32_t command, int32_t status, const std::string& text) {
  return Le32(100) + Le32(static_cast<int32_t>(text.size())) + Le32(command) + Le32(0) + Le32(status) + text;
}

RawClient::RawClient(uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd_ < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd_);
    throw std::runtime_error("connect failed");
  }
  int one = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

RawClient::~RawClient() { ::close(fd_); }

void RawClient::SendBytes(const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) throw std::runtime_error("send failed");
    sent += static_cast<std::size_t>(n);
  }
}

void RawClient::Send(int32_t command, const std::string& text, bool withNul) {
  SendBytes(Request(command, text, withNul));
}

bool RawClient::ReadExactly(std::string& out, std::size_t size,
                            std::chrono::steady_clock::time_point deadline) {
  out.clear();
  while (out.size() < size) {
    if (!WaitReadable(fd_, deadline)) return false;
    char buffer[512];
    const ssize_t n = ::recv(fd_, buffer, std::min(sizeof buffer, size - out.size()), 0);
    if (n <= 0) return false;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

std::optional<Reply> RawClient::Receive(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string header;
  if (!ReadExactly(header, 20, deadline)) return std::nullopt;
  Reply reply{FromLe(header, 0),  FromLe(header, 4),  FromLe(header, 8),
              FromLe(header, 12), FromLe(header, 16), {}};
  if (reply.textLength < 0 || reply.textLength > 4096) return std::nullopt;
  if (!ReadExactly(reply.text, static_cast<std::size_t>(reply.textLength), deadline)) return std::nullopt;
  return reply;
}

int32_t RawClient::Call(int32_t command, const std::string& text, bool withNul) {
  Send(command, text, withNul);
  const auto reply = Receive();
  return reply ? reply->status : -1;
}

bool RawClient::Login(const std::string& user, const std::string& password) {
  return Call(45, "-u " + user + " -p " + password) == 0;
}

std::string RawClient::ReadUntilClosed(std::chrono::milliseconds timeout, bool* closed) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string out;
  *closed = false;
  while (WaitReadable(fd_, deadline)) {
    char buffer[512];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) {
      *closed = true;
      break;
    }
    out.append(buffer, static_cast<std::size_t>(n));
  }
  return out;
}

std::string RawClient::ReceiveOnce(std::chrono::milliseconds timeout, int* error, std::size_t max) {
  if (error != nullptr) *error = 0;
  if (!WaitReadable(fd_, std::chrono::steady_clock::now() + timeout)) return {};
  std::string buffer(max, '\0');
  const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), 0);
  if (n < 0 && error != nullptr) *error = errno;
  buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return buffer;
}

bool RawClient::WaitClosed(std::chrono::milliseconds timeout) {
  bool closed = false;
  ReadUntilClosed(timeout, &closed);
  return closed;
}

}  // namespace napisim::test
