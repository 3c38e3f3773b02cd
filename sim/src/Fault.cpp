// The fault factories, apart from the server: clients of the control channel build faults too.
#include <utility>

#include "napisim/Types.h"

namespace napisim {

Fault Fault::Delay(std::chrono::milliseconds ms, int times) {
  Fault f;
  f.delay = ms;
  f.remaining = times;
  return f;
}

Fault Fault::NoReply(int times) {
  Fault f;
  f.kind = Kind::kNoReply;
  f.remaining = times;
  return f;
}

Fault Fault::Close(int times) {
  Fault f;
  f.kind = Kind::kClose;
  f.remaining = times;
  return f;
}

Fault Fault::Truncate(std::size_t bytes, bool thenClose, int times) {
  Fault f;
  f.kind = Kind::kTruncate;
  f.truncateTo = bytes;
  f.closeAfter = thenClose;
  f.remaining = times;
  return f;
}

Fault Fault::WithStatus(int32_t status, int times) {
  Fault f;
  f.kind = Kind::kStatus;
  f.status = status;
  f.remaining = times;
  return f;
}

Fault Fault::Raw(std::string bytes, bool thenClose, int times) {
  Fault f;
  f.kind = Kind::kRaw;
  f.bytes = std::move(bytes);
  f.closeAfter = thenClose;
  f.remaining = times;
  return f;
}

Fault Fault::WithText(std::string text, int times) {
  Fault f;
  f.kind = Kind::kText;
  f.text = std::move(text);
  f.remaining = times;
  return f;
}

}  // namespace napisim
