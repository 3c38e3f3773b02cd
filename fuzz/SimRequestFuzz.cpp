// Feeds fuzzed bytes to the simulated device as one connection would deliver them: requests one
// after another, each header checked before its length is trusted, each whole request answered
// and its reply cut into the pieces a fuzzed fault asks for. The device state must survive as
// JSON, since the control channel carries it to test programs in other processes.
//
// Input: two bytes of setup (bit 0: already logged in; bits 1-3 and 7: fault kind; bit 4: one
// byte at a time; bit 5: trailing NUL; bit 6: check the state's JSON; second byte: split point),
// then the bytes of the connection.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>

#include "Request.h"
#include "napisim/DeviceState.h"

namespace {

using namespace napisim;

void Check(bool holds) {
  if (!holds) std::abort();
}

DeviceState NewDevice() {
  DeviceState state;
  state.logins = {{"admin", "admin"}};
  state.videoPorts.assign(4, VideoPort{});
  return state;
}

Fault FaultFrom(uint8_t flags, uint8_t split) {
  static constexpr Fault::Kind kKinds[] = {
      Fault::Kind::kNormal,   Fault::Kind::kNoReply, Fault::Kind::kClose,
      Fault::Kind::kTruncate, Fault::Kind::kStatus,  Fault::Kind::kRaw,
      Fault::Kind::kText,     Fault::Kind::kReset,   Fault::Kind::kIgnore};
  Fault fault;
  fault.kind = kKinds[(((flags >> 1) & 7u) | ((flags >> 4) & 8u)) % std::size(kKinds)];
  fault.oneByteAtATime = (flags & 0x10) != 0;
  fault.trailingNul = (flags & 0x20) != 0;
  fault.splitAfter = split;
  fault.truncateTo = split;
  fault.status = split;
  fault.bytes = "raw";
  fault.text = "-p 0 -b 9x";
  return fault;
}

int32_t ReadLe32(const std::string& bytes, std::size_t offset) {
  uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + i])) << (8 * i);
  return static_cast<int32_t>(value);
}

void Deliver(const Fault& fault, int32_t command, const Outcome& outcome) {
  std::string bytes;
  if (!FaultReply(fault, UsualFreeValues(command), outcome, &bytes)) return;
  if (fault.kind == Fault::Kind::kNormal) {
    // The header declares exactly the text that follows it.
    Check(bytes.size() == kReplyHeaderSize + outcome.text.size());
    Check(ReadLe32(bytes, 0) == kMagic && ReadLe32(bytes, 4) == static_cast<int32_t>(outcome.text.size()));
    Check(ReadLe32(bytes, 8) == command && ReadLe32(bytes, 16) == outcome.status);
  }
  const std::string expected = fault.trailingNul ? bytes + std::string(1, '\0') : bytes;
  std::string joined;
  for (const std::string& piece : DeliveryPieces(bytes, fault)) joined += piece;
  Check(joined == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static const DeviceState kNew = NewDevice();
  DeviceState state = kNew;
  bool loggedIn = (data[0] & 1) != 0;
  const Fault fault = FaultFrom(data[0], data[1]);
  std::size_t at = 2;
  while (size - at >= kRequestHeaderSize) {
    const RequestHeader header = ReadRequestHeader(data + at);
    at += kRequestHeaderSize;
    if (!IsAcceptable(header)) break;  // the device drops the connection
    const auto length = static_cast<std::size_t>(header.textLength);
    if (size - at < length) break;  // the client went away half-way through
    const std::string_view text(reinterpret_cast<const char*>(data + at), length);
    at += length;
    const Outcome outcome = Answer(state, loggedIn, header.command, text);
    Deliver(fault, header.command, outcome);
    Check(state.videoPorts.size() == kNew.videoPorts.size());
  }
  if ((data[0] & 0x40) == 0) return 0;
  const nlohmann::json json = state;
  Check(nlohmann::json(json.get<DeviceState>()) == json);
  (void)json.dump();
  return 0;
}
