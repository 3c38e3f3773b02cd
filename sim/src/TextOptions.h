// Reading the "-x value -y value" texts of requests.
#ifndef NAPISIM_TEXTOPTIONS_H
#define NAPISIM_TEXTOPTIONS_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace napisim {

using OptionMap = std::map<char, std::string>;

// Splits a request text into options. Each option is a hyphen, one letter, one blank and a
// value that runs to the next blank. A value is empty when the next option follows directly
// ("-t  -a y", or "-t -a y"); a hyphen followed by a digit is a negative number, not an option.
// The option named restLetter (if any) takes the rest of the text verbatim, blanks included.
// Blanks around options are ignored. Returns nullopt when the text does not have this shape.
// A repeated option keeps its last value.
std::optional<OptionMap> ParseOptions(std::string_view text, char restLetter = '\0');

// Whole-text decimal integer with an optional leading minus, inside int32_t.
std::optional<int32_t> ParseInt(std::string_view text);

// Four decimal numbers 0..255 separated by dots.
bool IsDottedQuad(std::string_view text);

bool IsDigits(std::string_view text);

// Request texts may carry the terminating NUL(s) of the client's C string.
std::string_view StripTrailingNuls(std::string_view text);

}  // namespace napisim

#endif
