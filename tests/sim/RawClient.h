// A deliberately small blocking client for the simulator tests: it writes exactly the bytes it
// is told to, so tests can also send malformed requests and read malformed replies.
#ifndef NAPISIM_TESTS_RAWCLIENT_H
#define NAPISIM_TESTS_RAWCLIENT_H

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace napisim::test {

using namespace std::chrono_literals;

struct Reply {
  int32_t magic = 0;
  int32_t textLength = 0;
  int32_t command = 0;
  int32_t reserved = 0;
  int32_t status = 0;
  std::string text;
};

std::string Le32(int32_t value);
std::string RequestHeader(int32_t magic, int32_t textLength, int32_t command, int32_t reserved = 0);
std::string Request(int32_t command, const std::string& text, bool withNul = false);
std::string ReplyBytes(int32_t command, int32_t status, const std::string& text);

class RawClient {
 public:
  explicit RawClient(uint16_t port);  // connects to 127.0.0.1:port, throws on failure
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  void SendBytes(const std::string& bytes);
  void Send(int32_t command, const std::string& text, bool withNul = false);
  // One whole reply, or nullopt when it does not arrive in time or the connection closes.
  std::optional<Reply> Receive(std::chrono::milliseconds timeout = 2000ms);
  // Sends and returns the reply status, or -1 without a reply.
  int32_t Call(int32_t command, const std::string& text, bool withNul = false);
  bool Login(const std::string& user = "admin", const std::string& password = "admin");

  // Everything that arrives until the peer closes or the timeout passes.
  std::string ReadUntilClosed(std::chrono::milliseconds timeout, bool* closed);
  // True when the peer closes within the timeout (any data in between is dropped).
  bool WaitClosed(std::chrono::milliseconds timeout = 2000ms);
  // One receive of at most max bytes: what it returned, empty on close, timeout or error;
  // *error (if given) is the receive's errno, 0 when it did not fail.
  std::string ReceiveOnce(std::chrono::milliseconds timeout, int* error = nullptr, std::size_t max = 4096);

 private:
  // Reads exactly size bytes; false on timeout or close.
  bool ReadExactly(std::string& out, std::size_t size, std::chrono::steady_clock::time_point deadline);

  int fd_ = -1;
};

}  // namespace napisim::test

#endif
