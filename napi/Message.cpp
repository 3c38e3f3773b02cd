#include "napi/Message.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "napi/ReplyReaders.h"

namespace vml::napi {

void PutInt32(std::uint8_t* at, std::int32_t value) {
  auto bits = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

std::int32_t GetInt32(const std::uint8_t* at) {
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = (bits << 8) | at[i];
  return static_cast<std::int32_t>(bits);
}

bool Request::HeaderOnly(std::int32_t command) {
  std::memset(bytes_, 0, sizeof bytes_);
  PutInt32(bytes_, kRequestMagic);
  PutInt32(bytes_ + 8, command);
  size_ = kRequestHeaderSize;
  return true;
}

bool Request::Join(std::int32_t command, std::initializer_list<std::string_view> pieces) {
  HeaderOnly(command);
  std::size_t length = 0;
  for (std::string_view piece : pieces) length += piece.size();
  if (length >= kRequestTextCapacity) {
    size_ = 0;
    return false;
  }
  std::uint8_t* text = bytes_ + kRequestHeaderSize;
  for (std::string_view piece : pieces) {
    if (piece.empty()) continue;
    std::memcpy(text, piece.data(), piece.size());
    text += piece.size();
  }
  PutInt32(bytes_ + 4, static_cast<std::int32_t>(length));
  size_ = static_cast<std::uint16_t>(kRequestHeaderSize + length);
  return true;
}

bool Request::Format(std::int32_t command, TextRule rule, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  bool formatted = FormatV(command, rule, format, arguments);
  va_end(arguments);
  return formatted;
}

bool Request::FormatV(std::int32_t command, TextRule rule, const char* format, std::va_list arguments) {
  if (rule == TextRule::HeaderOnly) return HeaderOnly(command);
  HeaderOnly(command);
  size_ = 0;
  char* text = reinterpret_cast<char*>(bytes_ + kRequestHeaderSize);
  int length = std::vsnprintf(text, kRequestTextCapacity, format, arguments);
  if (length < 0 || static_cast<std::size_t>(length) >= kRequestTextCapacity) {
    std::memset(text, 0, kRequestTextCapacity);
    return false;
  }
  std::int32_t textLength = length + (rule == TextRule::CountedNul ? 1 : 0);
  PutInt32(bytes_ + 4, textLength);
  size_ = static_cast<std::uint16_t>(kRequestHeaderSize + static_cast<std::size_t>(textLength));
  return true;
}

std::string_view ReplyView::Text() const {
  if (received <= kReplyHeaderSize) return {};
  std::size_t available = received - kReplyHeaderSize;
  if (available > kReplyReceiveLimit - kReplyHeaderSize) available = kReplyReceiveLimit - kReplyHeaderSize;
  const char* text = reinterpret_cast<const char*>(buffer + kReplyHeaderSize);
  const void* nul = std::memchr(text, 0, available);
  return {text, nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : available};
}

std::string_view ReplyView::AnnouncedText() const {
  std::string_view text = Text();
  std::int32_t announced = TextLength();
  if (announced < 0) announced = 0;
  if (static_cast<std::size_t>(announced) < text.size())
    text = text.substr(0, static_cast<std::size_t>(announced));
  return text;
}

std::optional<std::int32_t> ReplyView::Number(char letter) const {
  std::optional<std::int32_t> value = LetterNumber(Text(), letter);
  if (!value && missing != nullptr) *missing = letter;
  return value;
}

}  // namespace vml::napi
