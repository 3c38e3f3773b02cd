#include "napi/ReplyReaders.h"

#include <cstring>
#include <limits>

namespace vml::napi {
namespace {
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
}  // namespace

std::int32_t ReadNumber(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && IsSpace(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    value = value * 10 + (text[at] - '0');
    if (value > kLimit) value = kLimit;
  }
  if (negative) return static_cast<std::int32_t>(-value);
  return value >= kLimit ? std::numeric_limits<std::int32_t>::max() : static_cast<std::int32_t>(value);
}

std::optional<std::string_view> TokenText(std::string_view text, char letter) {
  std::optional<std::string_view> found;
  ForEachToken(text, [&](std::string_view token) {
    if (token[0] == letter) found = TokenValue(token);
  });
  return found;
}

std::optional<std::int32_t> LetterNumber(std::string_view text, char letter) {
  std::size_t at = text.find(letter);
  if (at == std::string_view::npos) return std::nullopt;
  return ReadNumber(text.substr(at + 1));
}

std::optional<std::int32_t> ReadPortOneValue(std::string_view text) {
  std::size_t from = 0;
  for (;;) {
    std::size_t at = text.find('p', from);
    if (at == std::string_view::npos) return std::nullopt;
    from = at + 1;
    if (ReadNumber(text.substr(from)) == 1) break;
  }
  return LetterNumber(text, 'b');
}

void CopyValue(std::string_view value, char* buffer, std::size_t bufferSize) {
  if (buffer == nullptr || bufferSize == 0) return;
  std::size_t length = value.size() < bufferSize ? value.size() : bufferSize - 1;
  if (length > 0) std::memcpy(buffer, value.data(), length);
  buffer[length] = '\0';
}

}  // namespace vml::napi
