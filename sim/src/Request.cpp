#include "Request.h"

#include <algorithm>

#include "TextOptions.h"

namespace napisim {
namespace {

int32_t ReadLe32(const uint8_t* p) {
  const uint32_t value = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  return static_cast<int32_t>(value);
}

void AppendLe32(std::string& out, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((bits >> shift) & 0xFFu));
}

}  // namespace

RequestHeader ReadRequestHeader(const uint8_t* bytes) {
  return RequestHeader{ReadLe32(bytes), ReadLe32(bytes + 4), ReadLe32(bytes + 8), ReadLe32(bytes + 12)};
}

bool IsAcceptable(const RequestHeader& header) {
  return header.magic == kMagic && header.textLength >= 0 && header.textLength <= kMaxTextLength;
}

Outcome Answer(DeviceState& state, bool& loggedIn, int32_t command, std::string_view text) {
  if (command != kLoginCommand && !loggedIn) return Outcome{kInvalidTicket, {}, false};
  Outcome outcome = Execute(state, command, StripTrailingNuls(text));
  if (command == kLoginCommand) loggedIn = outcome.status == kSuccess;
  return outcome;
}

ReplyFreeValues UsualFreeValues(int32_t command) { return ReplyFreeValues{kMagic, command, 0}; }

std::string EncodeReply(const ReplyFreeValues& free, int32_t status, const std::string& text) {
  std::string out;
  out.reserve(kReplyHeaderSize + text.size() + 1);
  AppendLe32(out, free.first);
  AppendLe32(out, static_cast<int32_t>(text.size()));
  AppendLe32(out, free.third);
  AppendLe32(out, free.fourth);
  AppendLe32(out, status);
  out += text;
  return out;
}

bool FaultReply(const Fault& fault, const ReplyFreeValues& free, const Outcome& outcome, std::string* bytes) {
  switch (fault.kind) {
    case Fault::Kind::kNormal:
      if (outcome.silent) return false;
      *bytes = EncodeReply(free, outcome.status, outcome.text);
      return true;
    case Fault::Kind::kNoReply:
    case Fault::Kind::kClose:
    case Fault::Kind::kReset:
      return false;
    case Fault::Kind::kTruncate:
      *bytes = EncodeReply(free, outcome.status, outcome.text);
      bytes->resize(std::min(bytes->size(), fault.truncateTo));
      return true;
    case Fault::Kind::kStatus:
      *bytes = EncodeReply(free, fault.status, {});
      return true;
    case Fault::Kind::kRaw:
      *bytes = fault.bytes;
      return true;
    case Fault::Kind::kText:
      *bytes = EncodeReply(free, kSuccess, fault.text);
      return true;
    case Fault::Kind::kIgnore:
      *bytes = EncodeReply(free, kSuccess, {});
      return true;
  }
  return false;
}

std::vector<std::string> DeliveryPieces(std::string bytes, const Fault& fault) {
  if (fault.trailingNul) bytes.push_back('\0');
  std::vector<std::string> pieces;
  if (fault.oneByteAtATime && bytes.size() > 1) {
    pieces.reserve(bytes.size());
    for (const char c : bytes) pieces.emplace_back(1, c);
  } else if (fault.splitAfter > 0 && fault.splitAfter < bytes.size()) {
    pieces.push_back(bytes.substr(0, fault.splitAfter));
    pieces.push_back(bytes.substr(fault.splitAfter));
  } else {
    pieces.push_back(std::move(bytes));
  }
  return pieces;
}

}  // namespace napisim
