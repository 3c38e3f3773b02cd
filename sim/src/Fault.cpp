// The fault factories, apart from the server: clients of the control channel build faults too.
#include <cstdlib>
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

Fault Fault::Reset(int times) {
  Fault f;
  f.kind = Kind::kReset;
  f.remaining = times;
  return f;
}

Fault Fault::Ignore(int times) {
  Fault f;
  f.kind = Kind::kIgnore;
  f.process = false;
  f.remaining = times;
  return f;
}

Fault Fault::Split(std::size_t after, std::chrono::milliseconds gap, int times) {
  Fault f;
  f.splitAfter = after;
  f.gap = gap;
  f.remaining = times;
  return f;
}

Fault Fault::ByteByByte(std::chrono::milliseconds gap, int times) {
  Fault f;
  f.oneByteAtATime = true;
  f.gap = gap;
  f.remaining = times;
  return f;
}

Fault Fault::HeaderApart(std::chrono::milliseconds gap, int times) {
  return Split(kReplyHeaderSize, gap, times);
}

Fault Fault::TrailingNul(int times) {
  Fault f;
  f.trailingNul = true;
  f.remaining = times;
  return f;
}

Fault Fault::CloseAfterReply(int times) {
  Fault f;
  f.closeAfter = true;
  f.remaining = times;
  return f;
}

bool ParseReplyFields(const std::string& name, ReplyFields* fields) {
  for (ReplyFields each : {ReplyFields::kUsual, ReplyFields::kZero, ReplyFields::kDrawn}) {
    if (name == ReplyFieldsName(each)) {
      *fields = each;
      return true;
    }
  }
  return false;
}

const char* ReplyFieldsName(ReplyFields fields) {
  switch (fields) {
    case ReplyFields::kUsual:
      return "usual";
    case ReplyFields::kZero:
      return "zero";
    case ReplyFields::kDrawn:
      return "drawn";
  }
  return "usual";
}

ReplyFields DefaultReplyFields() {
  ReplyFields fields = ReplyFields::kUsual;
  const char* name = std::getenv("NAPISIM_REPLY_FIELDS");
  if (name != nullptr) ParseReplyFields(name, &fields);
  return fields;
}

}  // namespace napisim
