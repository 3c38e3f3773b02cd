// Small pieces shared by the device operations of every family.
#pragma once

#include <cstdint>
#include <cstring>

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

// The device splits a request text at every hyphen, so a free text holding one would reach it cut
// there, the rest read as further options, while the operation reports success. True when every
// text is given and none holds a hyphen.
template <class... Texts>
bool Carriable(const Texts*... texts) {
  return ((texts != nullptr && std::strchr(texts, '-') == nullptr) && ...);
}

}  // namespace vml::commands
