#include "Trace.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <utility>

#include "Socket.h"

namespace vmlctl {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kRequestHeader = 16;
constexpr std::size_t kReplyHeader = 20;
// A declared length beyond this is no NAPI message; the bytes are shown as they came.
constexpr int32_t kLengthLimit = 4096;
constexpr int kConnectMs = 100;                  // as long as the library waits for its own connect
constexpr auto kIdle = std::chrono::seconds(3);  // longer than any one wait of the library
constexpr auto kLifetime = std::chrono::seconds(10);
constexpr int kSlice = 100;  // ms between looks at the stop flag

int32_t Field(const std::string& bytes, std::size_t offset) {
  int32_t value = 0;
  std::memcpy(&value, bytes.data() + offset, sizeof value);  // little-endian on every host we run on
  return value;
}

std::string Printable(const std::string& bytes) {
  std::string text;
  for (char raw : bytes) {
    const auto c = static_cast<unsigned char>(raw);
    if (c == '\\' || c == '"') {
      text += '\\';
      text += static_cast<char>(c);
    } else if (c >= 0x20 && c != 0x7f) {
      text += static_cast<char>(c);  // bytes above 0x7f pass: a GBK or UTF-8 caption stays readable
    } else {
      std::array<char, 8> escaped{};
      std::snprintf(escaped.data(), escaped.size(), c == 0 ? "\\0" : "\\x%02x", c);
      text += escaped.data();
    }
  }
  return text;
}

}  // namespace

std::string HeaderFields(const std::string& bytes, bool request) {
  static const char* const kNames[] = {"magic", "length", "command", "reserved", "status"};
  const std::size_t fields = request ? 4 : 5;
  std::string line;
  for (std::size_t i = 0; i < fields && (i + 1) * 4 <= bytes.size(); ++i) {
    if (!line.empty()) line += "  ";
    line += std::string(kNames[i]) + " " + std::to_string(Field(bytes, i * 4));
  }
  return line;
}

std::string HexDump(const std::string& bytes) {
  std::string dump;
  for (std::size_t at = 0; at < bytes.size(); at += 16) {
    std::array<char, 24> offset{};
    std::snprintf(offset.data(), offset.size(), "  %04zx ", at);
    std::string hex = offset.data(), text;
    for (std::size_t i = at; i < at + 16; ++i) {
      if (i < bytes.size()) {
        std::array<char, 4> byte{};
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::snprintf(byte.data(), byte.size(), " %02x", c);
        hex += byte.data();
        text += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '.';
      } else {
        hex += "   ";
      }
    }
    dump += hex + "  " + text + "\n";
  }
  return dump;
}

void WireLog::Feed(const char* data, std::size_t size, const std::string& prefix) {
  pending_.append(data, size);
  const std::size_t header = requests_ ? kRequestHeader : kReplyHeader;
  while (pending_.size() >= header) {
    const int32_t length = Field(pending_, 4);
    if (length < 0 || length > kLengthLimit) {
      Print(pending_, false, prefix);  // no sane length: show the bytes and frame afresh
      pending_.clear();
      return;
    }
    const std::size_t whole = header + static_cast<std::size_t>(length);
    if (pending_.size() < whole) return;
    Print(pending_.substr(0, whole), true, prefix);
    pending_.erase(0, whole);
  }
}

void WireLog::End(const std::string& prefix) {
  if (!pending_.empty()) Print(pending_, false, prefix);
  pending_.clear();
}

void WireLog::Print(const std::string& bytes, bool whole, const std::string& prefix) {
  const std::size_t header = requests_ ? kRequestHeader : kReplyHeader;
  std::string head =
      prefix + (requests_ ? " → request " : " ← reply ") + std::to_string(bytes.size()) + " bytes";
  if (!whole) {
    head += bytes.size() < header ? " (short: " + std::to_string(header) + "-byte header incomplete)"
                                  : " (the declared length does not match what arrived)";
  }
  const std::string fields = HeaderFields(bytes, requests_);
  if (!fields.empty()) head += "  " + fields;
  std::string text;
  if (bytes.size() > header) text = "  text \"" + Printable(bytes.substr(header)) + "\"\n";
  std::lock_guard<std::mutex> guard(lock_);
  out_ << head << '\n' << HexDump(bytes) << text << std::flush;
}

TraceRelay::TraceRelay(std::string host, int32_t port, std::ostream& out)
    : host_(std::move(host)), targetPort_(port), out_(out), start_(Clock::now()) {}

TraceRelay::~TraceRelay() { Stop(); }

bool TraceRelay::Start(std::string* problem) {
  int error = 0;
  if (!net::Startup() || (listener_ = net::ListenOnLoopback(&port_, &error)) == net::kNoSocket) {
    *problem = "the trace relay cannot listen on 127.0.0.1: " + net::ErrorText(error);
    return false;
  }
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void TraceRelay::Stop() {
  // A connection the library has just closed is let end by itself, so its last line is true.
  for (int i = 0; i < 50 && busy_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ != net::kNoSocket) net::Close(listener_);
  listener_ = net::kNoSocket;
}

std::string TraceRelay::UpstreamFailure() const {
  std::lock_guard<std::mutex> guard(lock_);
  return upstreamFailure_;
}

bool TraceRelay::UpstreamOutcome(VmlCmdOutcome* outcome) const {
  std::lock_guard<std::mutex> guard(lock_);
  if (upstreamFailure_.empty()) return false;
  outcome->stage = upstreamStage_;
  outcome->systemError = upstreamError_;
  outcome->exchange = VmlCmdExchangeNone;
  outcome->status = 0;
  return true;
}

std::string TraceRelay::Prefix(uint64_t number) const {
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count();
  std::array<char, 48> text{};
  std::snprintf(text.data(), text.size(), "[%llu +%.1f ms]", static_cast<unsigned long long>(number),
                static_cast<double>(us) / 1000.0);
  return text.data();
}

void TraceRelay::Serve() {
  uint64_t connections = 0;
  while (!stop_) {
    bool ready = false;
    if (!net::WaitReadable(&listener_, &ready, 1, kSlice)) continue;
    const net::Handle downstream = net::Accept(listener_);
    if (downstream == net::kNoSocket) continue;
    busy_ = true;
    Relay(downstream, ++connections);
    busy_ = false;
  }
}

net::Handle TraceRelay::ConnectUpstream(std::string* failure, int32_t* stage, int* errorOut) const {
  const std::string where = host_ + ":" + std::to_string(targetPort_);
  net::ConnectResult result = net::ConnectResult::kFailed;
  int error = 0;
  const net::Handle socket =
      net::ConnectWithin(host_, static_cast<uint16_t>(targetPort_), kConnectMs, &result, &error);
  *errorOut = error;
  switch (result) {
    case net::ConnectResult::kConnected:
      net::SetSendTimeout(socket, 1000);
      return socket;
    case net::ConnectResult::kRefused:
      *failure = "connection refused by " + where;
      *stage = VmlCmdStageConnectRefused;
      break;
    case net::ConnectResult::kTimedOut:
      *failure = "no connection to " + where + " within 100 ms";
      *stage = VmlCmdStageConnectTimedOut;
      break;
    case net::ConnectResult::kFailed:
      *failure = "connection to " + where + " failed: " + net::ErrorText(error);
      *stage = VmlCmdStageConnectFailed;
      break;
  }
  return net::kNoSocket;
}

void TraceRelay::Relay(net::Handle downstream, uint64_t number) {
  std::string failure;
  int32_t stage = VmlCmdStageNone;
  int error = 0;
  const net::Handle upstream = ConnectUpstream(&failure, &stage, &error);
  {
    std::lock_guard<std::mutex> guard(lock_);
    upstreamFailure_ = failure;
    upstreamStage_ = stage;
    upstreamError_ = error;
    if (upstream == net::kNoSocket)
      out_ << Prefix(number) << " relay: " << failure << "; closing the library's connection\n";
  }
  if (upstream == net::kNoSocket) {
    net::Close(downstream);
    return;
  }
  net::SetSendTimeout(downstream, 1000);
  WireLog requests(true, out_, lock_), replies(false, out_, lock_);
  const auto opened = Clock::now();
  auto active = opened;
  std::string end;
  std::array<char, 4096> buffer{};
  while (end.empty()) {
    if (stop_) {
      end = "the trace stopped";
      break;
    }
    const auto now = Clock::now();
    if (now - active > kIdle || now - opened > kLifetime) {
      end = "the relay gave up: no traffic for 3 s";
      break;
    }
    const std::array<net::Handle, 2> sides = {downstream, upstream};
    std::array<bool, 2> ready = {false, false};
    if (!net::WaitReadable(sides.data(), ready.data(), 2, kSlice)) continue;
    for (std::size_t side = 0; side < sides.size() && end.empty(); ++side) {
      if (!ready[side]) continue;
      const bool fromLibrary = side == 0;
      const net::Handle from = fromLibrary ? downstream : upstream;
      const net::Handle to = fromLibrary ? upstream : downstream;
      bool reset = false;
      const long got = net::Receive(from, buffer.data(), buffer.size(), &reset);
      if (got > 0) {
        active = Clock::now();
        (fromLibrary ? requests : replies).Feed(buffer.data(), static_cast<std::size_t>(got), Prefix(number));
        if (!net::SendAll(to, buffer.data(), static_cast<std::size_t>(got)))
          end = fromLibrary ? "the device took no more bytes" : "the library took no more bytes";
        continue;
      }
      if (got == 0) {
        end = fromLibrary ? "closed by the library" : "the device closed the connection";
      } else if (!fromLibrary && reset) {
        end = "the device reset the connection";
        requests.End(Prefix(number));
        replies.End(Prefix(number));
        net::CloseWithReset(downstream);
        downstream = net::kNoSocket;
      } else {
        end = std::string(fromLibrary ? "the library's side failed: " : "the device's side failed: ") +
              net::ErrorText(net::LastError());
      }
    }
  }
  requests.End(Prefix(number));
  replies.End(Prefix(number));
  {
    std::lock_guard<std::mutex> guard(lock_);
    out_ << Prefix(number) << " " << end << '\n' << std::flush;
  }
  if (downstream != net::kNoSocket) net::Close(downstream);
  net::Close(upstream);
}

}  // namespace vmlctl
