// The device in another process: napi-sim started with --control-port, reached over loopback
// with the library's own socket functions, so this file is the same on every platform.
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "napisim/ControlJson.h"
#include "platform/Platform.h"
#include "support/TestDevice.h"

namespace vml::testing {
namespace {

using nlohmann::json;

constexpr char kVariable[] = "VMLCMD_SIM_CONTROL";
constexpr char kLoopback[] = "127.0.0.1";
// Beyond a wait's own time-out: for the simulator to answer and for Wine to pass it on.
constexpr int kAnswerSlackMs = 10000;
constexpr int kConnectMicroseconds = 5000000;

uint16_t ControlPort() {
  const char* value = std::getenv(kVariable);
  if (value == nullptr || *value == '\0') {
    throw std::runtime_error(std::string(kVariable) +
                             " is not set: start napi-sim --control-port 0 and set it to 127.0.0.1:PORT "
                             "(scripts/wine-tests.sh does both)");
  }
  const std::string text(value);
  const std::string prefix = std::string(kLoopback) + ":";
  std::size_t used = 0;
  unsigned long port = 0;
  if (text.rfind(prefix, 0) == 0) {
    try {
      port = std::stoul(text.substr(prefix.size()), &used);
    } catch (const std::exception&) {
      used = 0;
    }
  }
  if (used == 0 || prefix.size() + used != text.size() || port == 0 || port > 65535) {
    throw std::runtime_error(std::string(kVariable) + "=" + text + ": expected 127.0.0.1:PORT");
  }
  return static_cast<uint16_t>(port);
}

// One control connection: a request line out, a response line back.
class Connection {
 public:
  explicit Connection(uint16_t port) {
    platform::StartSockets();
    socket_ = platform::OpenTcpSocket();
    std::uint32_t address = 0;
    if (socket_ == platform::kInvalidSocket || !platform::ParseIpv4(kLoopback, address) ||
        !platform::SetSocketBlocking(socket_, false)) {
      throw std::runtime_error("cannot open a socket for the simulator's control channel");
    }
    platform::StartConnect(socket_, address, port);
    if (platform::WaitConnected(socket_, kConnectMicroseconds) != 1 ||
        !platform::SetSocketBlocking(socket_, true) || !platform::SetSendTimeout(socket_, kAnswerSlackMs)) {
      platform::CloseSocket(socket_);
      throw std::runtime_error("nothing answers on the simulator's control channel at 127.0.0.1:" +
                               std::to_string(port));
    }
  }
  ~Connection() { platform::CloseSocket(socket_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The response of an accepted request; throws when the simulator refuses it or cannot be heard.
  json Call(const json& request, long long waitMs = 0) {
    const std::string op = request.at("op").get<std::string>();
    const std::string line = request.dump() + "\n";
    for (std::size_t sent = 0; sent < line.size();) {
      const int n = platform::SendBytes(socket_, line.data() + sent, static_cast<int>(line.size() - sent));
      if (n <= 0) throw std::runtime_error("control channel: sending " + op + " failed");
      sent += static_cast<std::size_t>(n);
    }
    platform::SetReceiveTimeout(socket_, static_cast<int>(waitMs) + kAnswerSlackMs);
    std::size_t end;
    while ((end = pending_.find('\n')) == std::string::npos) {
      char buffer[4096];
      const int n = platform::ReceiveBytes(socket_, buffer, static_cast<int>(sizeof buffer));
      if (n <= 0) throw std::runtime_error("control channel: no answer to " + op);
      pending_.append(buffer, static_cast<std::size_t>(n));
    }
    json response = json::parse(pending_.substr(0, end));
    pending_.erase(0, end + 1);
    if (!response.value("ok", false)) {
      throw std::runtime_error("napi-sim refused " + op + ": " + response.value("error", std::string("?")));
    }
    return response;
  }

 private:
  platform::SocketHandle socket_ = platform::kInvalidSocket;
  std::string pending_;
};

}  // namespace

// Only the accounts and the number of video ports of the options apply: the address, port and
// log belong to the simulator's own command line.
class TestDevice::Impl {
 public:
  explicit Impl(napisim::Options opts) : options(std::move(opts)) {}

  json Call(const json& request, long long waitMs = 0) {
    if (!connection) connection = std::make_unique<Connection>(ControlPort());
    return connection->Call(request, waitMs);
  }

  napisim::Options options;
  std::unique_ptr<Connection> connection;
  uint16_t port = 0;
};

TestDevice::TestDevice(napisim::Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}
TestDevice::~TestDevice() = default;

void TestDevice::Start() {
  json accounts = json::array();
  for (const auto& account : impl_->options.accounts) {
    accounts.push_back({{"user", account.user}, {"password", account.password}});
  }
  const json listening = impl_->Call({{"op", "start-listening"}});
  impl_->Call({{"op", "reset"}, {"accounts", accounts}, {"videoPorts", impl_->options.videoPorts}});
  impl_->port = listening.at("port").get<uint16_t>();
}

void TestDevice::Stop() { impl_->Call({{"op", "stop-listening"}}); }

uint16_t TestDevice::Port() const { return impl_->port; }

std::vector<napisim::RecordedRequest> TestDevice::Requests() const {
  return impl_->Call({{"op", "requests"}}).at("requests").get<std::vector<napisim::RecordedRequest>>();
}

void TestDevice::ClearRequests() { impl_->Call({{"op", "clear-requests"}}); }

bool TestDevice::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  return impl_
      ->Call({{"op", "wait-requests"}, {"count", count}, {"timeoutMs", timeout.count()}}, timeout.count())
      .at("reached")
      .get<bool>();
}

void TestDevice::SetFault(int32_t command, napisim::Fault fault) {
  impl_->Call({{"op", "set-fault"}, {"command", command}, {"fault", fault}});
}

void TestDevice::ClearFaults() { impl_->Call({{"op", "clear-faults"}}); }
void TestDevice::SetReplyFields(napisim::ReplyFields fields) {
  impl_->Call({{"op", "set-reply-fields"}, {"fields", napisim::ReplyFieldsName(fields)}});
}

napisim::DeviceState TestDevice::State() const {
  return impl_->Call({{"op", "state"}}).at("state").get<napisim::DeviceState>();
}

napisim::ConnectionStats TestDevice::Stats() const {
  return impl_->Call({{"op", "stats"}}).at("stats").get<napisim::ConnectionStats>();
}

bool TestDevice::WaitForIdle(std::chrono::milliseconds timeout) const {
  return impl_->Call({{"op", "wait-idle"}, {"timeoutMs", timeout.count()}}, timeout.count())
      .at("idle")
      .get<bool>();
}

}  // namespace vml::testing
