// Small pieces shared by the device operations of every family.
#pragma once

#include <cstdint>

#include "napi/Message.h"
#include "napi/ReplyReaders.h"
#include "napi/Session.h"

namespace vml::commands {

using napi::SuccessRule;
using napi::TextRule;

// Integer offsets between the caller's scale and the device's wrap as the hardware's 32-bit
// arithmetic does instead of overflowing.
inline std::int32_t Shift(std::int32_t value, std::int32_t offset) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) + static_cast<std::uint32_t>(offset));
}

inline int Flag(bool on) { return on ? 1 : 0; }

}  // namespace vml::commands
