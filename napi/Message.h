// The two NAPI messages. All integers on the wire are 32-bit two's complement, least
// significant byte first.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>

#if defined(__GNUC__)
#define VML_PRINTF(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define VML_PRINTF(formatIndex, firstArgument)
#endif

namespace vml::napi {

inline constexpr std::int32_t kRequestMagic = 100;
inline constexpr std::size_t kRequestHeaderSize = 16;
inline constexpr std::size_t kRequestTextCapacity = 256;  // 255 characters and the NUL
inline constexpr std::size_t kReplyHeaderSize = 20;
inline constexpr std::size_t kReplyBufferSize = 300;
// One byte of the buffer always stays NUL, so the reply text is terminated within it.
inline constexpr std::size_t kReplyReceiveLimit = kReplyBufferSize - 1;

// How the request's textLength counts its text.
enum class TextRule {
  Plain,       // the characters; no NUL sent
  CountedNul,  // the characters and the NUL, which is sent
  HeaderOnly,  // no text at all
};

void PutInt32(std::uint8_t* at, std::int32_t value);
std::int32_t GetInt32(const std::uint8_t* at);

class Request {
 public:
  // Assembles header and text. False, leaving nothing to send, when the text would not fit its
  // 255 characters (the text is refused rather than cut: a cut value would reach the device).
  bool Format(std::int32_t command, TextRule rule, const char* format, ...) VML_PRINTF(4, 5);
  bool FormatV(std::int32_t command, TextRule rule, const char* format, std::va_list arguments)
      VML_PRINTF(4, 0);
  bool HeaderOnly(std::int32_t command);
  // Header and a text made of the pieces, one after the other, as Format with "%s" for each
  // piece would make it (the login's text, sent before every operation, without a formatter).
  bool Join(std::int32_t command, std::initializer_list<std::string_view> pieces);

  const std::uint8_t* Data() const { return bytes_; }
  int Size() const { return static_cast<int>(size_); }

 private:
  std::uint8_t bytes_[kRequestHeaderSize + kRequestTextCapacity] = {};
  std::uint16_t size_ = 0;
};

// A received reply in the object's reply buffer. Bytes that did not arrive read as zero, since
// the buffer is cleared before every receive.
struct ReplyView {
  const std::uint8_t* buffer;  // kReplyBufferSize bytes
  std::size_t received;
  // Where Number() notes a letter it did not find, so the reason of a failure can be told.
  char* missing = nullptr;

  // The first header field: 100 from every NAPI device. Short replies keep it, since a device's
  // first byte alone already reads as 100.
  std::int32_t Magic() const { return GetInt32(buffer); }
  std::int32_t Status() const { return GetInt32(buffer + 16); }
  std::int32_t TextLength() const { return GetInt32(buffer + 4); }
  // The reply text up to its NUL, never beyond the bytes that arrived.
  std::string_view Text() const;
  // The part of the text that its textLength announces, cut at the bytes that arrived and at a
  // NUL: what the token reader splits.
  std::string_view AnnouncedText() const;
  // The letter reader over Text(); a missing letter is noted in *missing.
  std::optional<std::int32_t> Number(char letter) const;
};

}  // namespace vml::napi
