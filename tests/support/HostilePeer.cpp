#include "support/HostilePeer.h"

#include <cstring>
#include <random>
#include <utility>

namespace vml::testing {
namespace {

void Put32(std::string& out, std::size_t at, std::int32_t value) {
  auto bits = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i)
    out[at + static_cast<std::size_t>(i)] = static_cast<char>((bits >> (8 * i)) & 0xFF);
}

std::int32_t Get32(const unsigned char* at) {
  return static_cast<std::int32_t>(
      static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
      static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24);
}

constexpr int kPollMs = 20;

thread_local FreeFields freeFields = FreeFields::kUsual;
thread_local std::mt19937 draws{20261210};

std::int32_t FreeValue() {
  auto value = static_cast<std::uint32_t>(draws());
  if ((value & 0xFFu) == 100u) value ^= 1u;
  return static_cast<std::int32_t>(value);
}

}  // namespace

void SetFreeFields(FreeFields fields) { freeFields = fields; }

const char* FreeFieldsName(FreeFields fields) {
  switch (fields) {
    case FreeFields::kUsual:
      return "usual";
    case FreeFields::kZero:
      return "zero";
    case FreeFields::kDrawn:
      return "drawn";
  }
  return "?";
}

std::string ReplyBytes(std::int32_t status, std::string_view text, std::optional<std::int32_t> declared) {
  std::string bytes(20, '\0');
  if (freeFields == FreeFields::kUsual) Put32(bytes, 0, 100);
  if (freeFields == FreeFields::kDrawn) {
    for (std::size_t at : {0u, 8u, 12u}) Put32(bytes, at, FreeValue());
  }
  Put32(bytes, 4, declared.value_or(static_cast<std::int32_t>(text.size())));
  Put32(bytes, 16, status);
  bytes.append(text);
  return bytes;
}

Answer Whole(std::string bytes, Answer::End end) { return Answer{{Piece{std::move(bytes)}}, end}; }

Answer CutAt(const std::string& bytes, std::vector<std::size_t> offsets, std::chrono::milliseconds gap) {
  Answer answer;
  std::size_t from = 0;
  for (std::size_t offset : offsets) {
    if (offset <= from || offset >= bytes.size()) continue;
    answer.pieces.push_back(
        {bytes.substr(from, offset - from), from == 0 ? std::chrono::milliseconds(0) : gap});
    from = offset;
  }
  answer.pieces.push_back({bytes.substr(from), from == 0 ? std::chrono::milliseconds(0) : gap});
  return answer;
}

Answer Bytewise(const std::string& bytes, std::chrono::milliseconds gap) {
  Answer answer;
  for (std::size_t i = 0; i < bytes.size(); ++i) answer.pieces.push_back({bytes.substr(i, 1), gap});
  return answer;
}

Answer Hangup(Answer::End end) { return Answer{{}, end}; }

HostilePeer::HostilePeer(std::vector<Answer> script) : script_(std::move(script)) {
  listener_ = raw::Listen(16, &port_);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

HostilePeer::~HostilePeer() {
  stop_ = true;
  acceptor_.join();
  for (auto& connection : connections_) connection.join();
  raw::Close(listener_);
}

std::vector<std::int32_t> HostilePeer::Commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

void HostilePeer::AcceptLoop() {
  while (!stop_) {
    raw::Handle connection = raw::AcceptWithin(listener_, kPollMs);
    if (connection == raw::kNone) continue;
    connections_.emplace_back([this, connection] { Serve(connection); });
  }
}

bool HostilePeer::ReadRequest(raw::Handle connection) {
  unsigned char buffer[16 + 256];
  std::size_t have = 0;
  std::size_t want = 16;
  while (have < want) {
    if (stop_) return false;
    int n = raw::ReadWithin(connection, buffer + have, static_cast<int>(want - have), kPollMs);
    if (n == -2) continue;
    if (n <= 0) return false;
    have += static_cast<std::size_t>(n);
    if (have == 16 && want == 16) {
      std::int32_t length = Get32(buffer + 4);
      if (length < 0 || length > 256) return false;
      want += static_cast<std::size_t>(length);
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  commands_.push_back(Get32(buffer + 8));
  return true;
}

void HostilePeer::Serve(raw::Handle connection) {
  for (const Answer& answer : script_) {
    if (!ReadRequest(connection)) {
      raw::Close(connection);
      return;
    }
    for (const Piece& piece : answer.pieces) {
      if (piece.before.count() > 0) std::this_thread::sleep_for(piece.before);
      if (!piece.bytes.empty() &&
          !raw::WriteAll(connection, piece.bytes.data(), static_cast<int>(piece.bytes.size()))) {
        raw::Close(connection);
        return;
      }
    }
    if (answer.end == Answer::End::kReset) {
      raw::Reset(connection);
      return;
    }
    if (answer.end == Answer::End::kClose) {
      raw::Close(connection);
      return;
    }
  }
  // Past the script: silent until the client leaves (or the test ends).
  while (ReadRequest(connection)) {
  }
  raw::Close(connection);
}

FullListener::FullListener() {
  listener_ = raw::Listen(0, &port_);
  for (int i = 0; i < 16; ++i) {
    raw::Handle filler = raw::ConnectNoWait(port_);
    fillers_.push_back(filler);
    if (!raw::ConnectedWithin(filler, 50)) return;
  }
}

FullListener::~FullListener() {
  for (raw::Handle filler : fillers_) raw::Close(filler);
  raw::Close(listener_);
}

std::uint16_t UnusedPort() {
  std::uint16_t port = 0;
  raw::Close(raw::Listen(1, &port));
  return port;
}

}  // namespace vml::testing
