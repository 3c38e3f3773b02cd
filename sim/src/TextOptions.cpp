#include "TextOptions.h"

#include <cctype>
#include <charconv>

namespace napisim {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

std::optional<OptionMap> ParseOptions(std::string_view text, char restLetter) {
  OptionMap options;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (true) {
    while (i < n && IsBlank(text[i])) ++i;
    if (i == n) return options;
    if (text[i] != '-' || i + 1 >= n || !IsLetter(text[i + 1])) return std::nullopt;
    const char letter = text[i + 1];
    i += 2;
    if (i < n) {
      if (!IsBlank(text[i])) return std::nullopt;
      ++i;
    }
    if (restLetter != '\0' && letter == restLetter) {
      options[letter] = std::string(text.substr(i));
      return options;
    }
    std::size_t end = i;
    const bool nextIsOption = i + 1 < n && text[i] == '-' && IsLetter(text[i + 1]);
    if (!nextIsOption) {
      while (end < n && !IsBlank(text[end])) ++end;
    }
    options[letter] = std::string(text.substr(i, end - i));
    i = end;
  }
}

std::optional<int32_t> ParseInt(std::string_view text) {
  if (text.empty()) return std::nullopt;
  int32_t value = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last) return std::nullopt;
  return value;
}

bool IsDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool IsDottedQuad(std::string_view text) {
  int parts = 0;
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = text.find('.', start);
    const std::string_view part = text.substr(start, dot == std::string_view::npos ? text.npos : dot - start);
    if (part.size() > 3 || !IsDigits(part)) return false;
    const auto value = ParseInt(part);
    if (!value || *value > 255) return false;
    ++parts;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return parts == 4;
}

std::string_view StripTrailingNuls(std::string_view text) {
  while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
  return text;
}

}  // namespace napisim
