// The library-wide result code. Its values are the identifiers of its own texts in the string
// table, so the code is its own message key. One value for the whole module, shared by every
// command object; atomic so that hosts calling from several threads have no data race.
#pragma once

#include <cstdint>

namespace vml {

enum ResultCode : std::int32_t {
  kSuccess = 9,
  kNotImplemented = 10,
  kWrongUserName = 11,
  kWrongPassword = 12,
  kInvalidVideoTicket = 13,
  kWrongVideoPort = 14,
  kInvalidArgument = 15,
  kUnknownNapiError = 16,
  kInvalidNapiCommand = 17,
  kNapiVersionConflict = 18,
};

std::int32_t LastErrorCode();
void SetLastErrorCode(std::int32_t code);

// The code that a non-zero reply status stands for.
std::int32_t CodeForStatus(std::int32_t status);

}  // namespace vml
