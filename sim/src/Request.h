// One request as the device handles it, apart from the network: the header check, the login
// gate of a connection, the reply bytes and how a fault delivers them. The server and the fuzz
// target share these functions, so what is fuzzed is what the server runs.
#ifndef NAPISIM_REQUEST_H
#define NAPISIM_REQUEST_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Device.h"
#include "napisim/DeviceState.h"
#include "napisim/Types.h"

namespace napisim {

struct RequestHeader {
  int32_t magic = 0;
  int32_t textLength = 0;
  int32_t command = 0;
  int32_t reserved = 0;
};

// bytes holds kRequestHeaderSize bytes, little-endian fields.
RequestHeader ReadRequestHeader(const uint8_t* bytes);
// The device trusts a text length only after this check: it never reads more than the
// protocol's longest text, and a header that fails drops the connection.
bool IsAcceptable(const RequestHeader& header);

// What the device answers a whole request on a connection whose login state is loggedIn; a
// login changes it. Requests before an accepted login are refused with status 8.
Outcome Answer(DeviceState& state, bool& loggedIn, int32_t command, std::string_view text);

// The reply's three fields that the client does not interpret.
struct ReplyFreeValues {
  int32_t first = kMagic;
  int32_t third = 0;  // usually the command code
  int32_t fourth = 0;
};
ReplyFreeValues UsualFreeValues(int32_t command);

std::string EncodeReply(const ReplyFreeValues& free, int32_t status, const std::string& text);

// The bytes a fault sends for a request whose normal answer is outcome, or false for the kinds
// that send nothing (no reply, close, reset, and a silent normal answer).
bool FaultReply(const Fault& fault, const ReplyFreeValues& free, const Outcome& outcome, std::string* bytes);

// The writes that deliver bytes under a fault's delivery fields, in order, with fault.gap
// between them; always at least one (possibly empty) piece.
std::vector<std::string> DeliveryPieces(std::string bytes, const Fault& fault);

}  // namespace napisim

#endif
