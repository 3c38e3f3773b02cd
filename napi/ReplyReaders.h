// Readers of reply texts: pure functions over the text, with no I/O, so every quirk devices rely
// on is testable (and fuzzed) on plain strings.
//
// A reply text is a list of tokens "-x value". Two readers exist and devices are known to
// depend on their differences:
// - the token reader splits at hyphens and lets the last token of a letter win; the value is the
//   token from its third character (trailing blanks kept, cut at the next hyphen);
// - the letter reader takes the first occurrence of the letter anywhere in the text, even inside
//   another token's value, and reads the number right after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vml::napi {

// Reads a decimal number as the C library's atoi does (leading white space, an optional sign,
// digits up to the first non-digit, 0 without digits); out-of-range values saturate.
std::int32_t ReadNumber(std::string_view text);

// Calls visit(token) for every non-empty piece of text between hyphens, in order.
template <class Visit>
void ForEachToken(std::string_view text, Visit&& visit) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('-', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) visit(text.substr(start, end - start));
    start = end + 1;
  }
}

// The value of a token: its text from the third character on (the second, normally the blank
// after the letter, is skipped). A token shorter than two characters has an empty value.
inline std::string_view TokenValue(std::string_view token) {
  return token.size() > 2 ? token.substr(2) : std::string_view{};
}

// The value of the last token that starts with letter, if any.
std::optional<std::string_view> TokenText(std::string_view text, char letter);

// The number after the first occurrence of letter anywhere in text; none when it does not occur.
std::optional<std::int32_t> LetterNumber(std::string_view text, char letter);

// The serial-port reply reading: find a letter 'p' whose number is 1 (moving on from one 'p' to
// the next), then the number after the first 'b' of the whole text.
std::optional<std::int32_t> ReadPortOneValue(std::string_view text);

// Copies value into a caller buffer of bufferSize bytes: at most bufferSize - 1 bytes and a NUL.
void CopyValue(std::string_view value, char* buffer, std::size_t bufferSize);

}  // namespace vml::napi
